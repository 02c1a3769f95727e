#pragma once

#include "AgentInfo.h"
#include "AgentListModel.h"
#include "CLICancelToken.h"
#include "CLIEvent.h"
#include "ModelDownloadProgressSource.h"

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

class CLIProcess;
class CLIService;
class DependencyService;
class MachineAuthService;
class QNetworkAccessManager;
class QSettings;

// The dashboard's model: the agents of this machine, the local AI model, the
// activity analysis, the MCP server inventory sync and the "MCP AI Summaries"
// window manager; everything happens on the main thread.
//
// Optional values are published as QVariant: an invalid QVariant (undefined in
// QML) when absent.
class HomeState : public QObject
{
    Q_OBJECT
    Q_PROPERTY(AgentListModel* agents READ agentList CONSTANT)
    Q_PROPERTY(bool ollamaInstalled READ ollamaInstalled NOTIFY ollamaInstalledChanged)
    Q_PROPERTY(bool gemmaInstalled READ gemmaInstalled NOTIFY gemmaInstalledChanged)
    Q_PROPERTY(bool llmInstalling READ llmInstalling NOTIFY llmInstallingChanged)
    Q_PROPERTY(double llmProgress READ llmProgress NOTIFY llmProgressChanged)
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
    // download, mirrored by refreshLLMStatus(); may be null.
    HomeState(CLIService& cli, DependencyService& dependencies, MachineAuthService& auth,
              QNetworkAccessManager& network, QSettings& settings,
              ModelDownloadProgressSource* wizardDownload = nullptr, QObject* parent = nullptr);
    ~HomeState() override;

    void setWizardDownloadSource(ModelDownloadProgressSource* source) { m_wizardDownload = source; }

    AgentListModel* agentList() const { return m_agents; }
    const QList<AgentInfo>& agents() const { return m_agents->agents(); }
    bool ollamaInstalled() const { return m_ollamaInstalled; }
    bool gemmaInstalled() const { return m_gemmaInstalled; }
    bool llmInstalling() const { return m_llmInstalling; }
    double llmProgress() const { return m_llmProgress; }
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

    // Sets ollamaInstalled, gemmaInstalled and, while the wizard downloads the
    // model, llmInstalling and llmProgress, which then follow the wizard's
    // download until it ends. Otherwise the runtime and model are looked up;
    // an answer overtaken by a later refresh or by a finished download is
    // dropped.
    QCoro::Task<> refreshLLMStatus();
    bool isMirroringWizardDownload() const { return !m_wizardDownloadConnections.isEmpty(); }

    // "Download": starts the tool's model download unless one is running.
    Q_INVOKABLE void installModel();

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
    void ollamaInstalledChanged();
    void gemmaInstalledChanged();
    void llmInstallingChanged();
    void llmProgressChanged();
    void analysisRunningChanged();
    void analysisSuggestionCountChanged();
    void showAddAgentChanged();
    void mcpLlmSummaryChanged();
    void isApproverOnlyChanged();

private:
    QVariant analysisSuggestionCountValue() const;

    void setRemovingAgentName(const std::optional<QString>& value);
    void setOllamaInstalled(bool value);
    void setGemmaInstalled(bool value);
    void setLlmInstalling(bool value);
    void setLlmProgress(double value);
    void setAnalysisRunning(bool value);
    void setAnalysisSuggestionCount(const std::optional<qint64>& value);
    void setIsApproverOnly(bool value);

    void mirrorWizardDownload();
    void dropWizardDownloadMirror();

    QCoro::Task<> runModelDownload(quint64 download);
    void applyDownloadEvent(quint64 download, const CLIEvent& event);
    void downloadEnded(quint64 download);

    QCoro::Task<> runAnalysis(quint64 analysis, CLICancelToken cancel);
    void applyAnalysisEvent(const CLIEvent& event);

    QCoro::Task<> sendPreferenceUntilSettled();

    CLIService& m_cli;
    DependencyService& m_dependencies;
    MachineAuthService& m_auth;
    QNetworkAccessManager& m_network;
    QSettings& m_settings;
    QPointer<ModelDownloadProgressSource> m_wizardDownload;

    AgentListModel* m_agents;
    bool m_ollamaInstalled = false;
    bool m_gemmaInstalled = false;
    bool m_llmInstalling = false;
    double m_llmProgress = 0.0;
    bool m_analysisRunning = false;
    std::optional<qint64> m_analysisSuggestionCount;
    // The running analysis, for cancelling it.
    std::optional<CLICancelToken> m_analysisTask;
    quint64 m_analysisGeneration = 0;
    // Subscriptions that mirror a model download started by the wizard.
    QList<QMetaObject::Connection> m_wizardDownloadConnections;
    bool m_showAddAgent = false;
    bool m_isApproverOnly = false;

    // Bumped by every refresh and by every settled download, so that a model
    // lookup answering late cannot undo a newer state.
    quint64 m_llmStatusGeneration = 0;
    // Our own model download: its process (destroying the handle would stop
    // it), which download it is, and whether it told how it ended.
    std::shared_ptr<CLIProcess> m_modelDownload;
    quint64 m_downloadGeneration = 0;
    bool m_downloadSettled = false;

    // Preference requests go out one at a time; a change made meanwhile is
    // sent when the running one has ended, so the last value sent is the
    // stored one.
    bool m_preferenceSyncRunning = false;
    bool m_preferenceSyncPending = false;
};
