#pragma once

#include "app/tooling/AgentInfo.h"
#include "app/dashboard/AgentListModel.h"
#include "app/tooling/CLICancelToken.h"
#include "app/tooling/CLIEvent.h"
#include "app/dashboard/ModelRuntimeState.h"

#include <QList>
#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <qcorotask.h>

#include <memory>
#include <optional>

class CLIService;
class DependencyService;
class MachineAuthService;
class QNetworkAccessManager;
class QSettings;

// The dashboard's model: the agents of this machine, the local AI model's
// state (ModelRuntimeState), the activity analysis, the MCP server inventory
// sync and the "MCP AI Summaries" preference. Made once by the composition
// root; everything happens on the main thread.
//
// Optional values are published as QVariant: an invalid QVariant (undefined in
// QML) when absent.
class HomeState : public QObject
{
    Q_OBJECT
    Q_PROPERTY(AgentListModel* agents READ agentList CONSTANT)
    // The decision history's model, for the "History" view; set once before the views are shown.
    Q_PROPERTY(QObject* history READ history CONSTANT)
    Q_PROPERTY(ModelRuntimeState* modelRuntime READ modelRuntimePointer CONSTANT)
    Q_PROPERTY(bool analysisRunning READ analysisRunning NOTIFY analysisRunningChanged)
    Q_PROPERTY(QVariant analysisSuggestionCount READ analysisSuggestionCountValue NOTIFY
                   analysisSuggestionCountChanged)
    Q_PROPERTY(bool showAddAgent READ showAddAgent WRITE setShowAddAgent NOTIFY showAddAgentChanged)
    Q_PROPERTY(bool mcpLlmSummary READ mcpLlmSummary WRITE setMcpLlmSummary NOTIFY mcpLlmSummaryChanged)
    Q_PROPERTY(bool isApproverOnly READ isApproverOnly NOTIFY isApproverOnlyChanged)

public:
    // The preference key in the application's settings.
    static constexpr char mcpLlmSummaryKey[] = "mcpLlmSummary";

    // settings: the application's settings (organisation and application names
    // set by the composition root). wizardDownload: the wizard's model
    // download, which the model runtime's state follows; may be null.
    HomeState(CLIService& cli, DependencyService& dependencies, MachineAuthService& auth,
              QNetworkAccessManager& network, QSettings& settings,
              ModelDownloadProgressSource* wizardDownload = nullptr, QObject* parent = nullptr);
    ~HomeState() override;

    AgentListModel* agentList() const { return m_agents; }
    QObject* history() const { return m_history; }
    void setHistory(QObject* history) { m_history = history; }
    ModelRuntimeState& modelRuntime() const { return *m_modelRuntime; }
    const QList<AgentInfo>& agents() const { return m_agents->agents(); }
    bool analysisRunning() const { return m_analysisRunning; }
    std::optional<qint64> analysisSuggestionCount() const { return m_analysisSuggestionCount; }
    bool showAddAgent() const { return m_showAddAgent; }

    // Whether ~/.quorvane/machine/approver-only existed when the state was
    // made or last refreshed (refresh()).
    bool isApproverOnly() const { return m_isApproverOnly; }

    // The "mcpLlmSummary" preference (false unless stored as true). Setting a
    // new value stores it, then sends it to the back-end.
    bool mcpLlmSummary() const;
    void setMcpLlmSummary(bool value);

    void setShowAddAgent(bool value);

    // What the dashboard does each time it is shown: re-reads the agents, the
    // approver-only marker and the model status.
    Q_INVOKABLE void refresh();
    // agents <- the agent registry (AgentInfo::loadAll()).
    Q_INVOKABLE void reloadAgents();

    // "Re-scan" and "Cancel" of the activity analysis.
    Q_INVOKABLE void startAnalysis();
    Q_INVOKABLE void cancelAnalysis();

    // Sends the MCP server inventory file to the back-end as a signed POST.
    // Never fails: true when a request was sent (its answer is ignored), false
    // when there was nothing valid to send or no signed request could be made.
    static QCoro::Task<bool> syncMcpServers(MachineAuthService& auth, QNetworkAccessManager& network);
    QCoro::Task<bool> syncMcpServers();

    // Sends the stored preference as a signed PUT; true when a request was sent.
    QCoro::Task<bool> syncMcpSummaryPreference();
    // {"mcp_llm_summary":true} or {"mcp_llm_summary":false}.
    static QByteArray preferenceBody(bool enabled);

Q_SIGNALS:
    void analysisRunningChanged();
    void analysisSuggestionCountChanged();
    void showAddAgentChanged();
    void mcpLlmSummaryChanged();
    void isApproverOnlyChanged();

private:
    QVariant analysisSuggestionCountValue() const;
    ModelRuntimeState* modelRuntimePointer() const { return m_modelRuntime; }

    void setAnalysisRunning(bool value);
    void setAnalysisSuggestionCount(const std::optional<qint64>& value);
    void setIsApproverOnly(bool value);

    QCoro::Task<> runAnalysis(quint64 analysis, CLICancelToken cancel);
    void applyAnalysisEvent(const CLIEvent& event);

    QCoro::Task<> sendPreferenceUntilSettled();

    CLIService& m_cli;
    MachineAuthService& m_auth;
    QNetworkAccessManager& m_network;
    QSettings& m_settings;

    AgentListModel* m_agents;
    QObject* m_history = nullptr;
    ModelRuntimeState* m_modelRuntime;
    bool m_analysisRunning = false;
    std::optional<qint64> m_analysisSuggestionCount;
    // The running analysis, for cancelling it.
    std::optional<CLICancelToken> m_analysisTask;
    quint64 m_analysisGeneration = 0;
    bool m_showAddAgent = false;
    bool m_isApproverOnly = false;

    // Preference requests go out one at a time; a change made meanwhile is
    // sent when the running one has ended, so the last value sent is the
    // stored one.
    bool m_preferenceSyncRunning = false;
    bool m_preferenceSyncPending = false;
};
