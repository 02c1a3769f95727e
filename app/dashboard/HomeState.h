#pragma once

#include "app/tooling/AgentInfo.h"
#include "app/dashboard/AgentListModel.h"
#include "app/tooling/CLICancelToken.h"
#include "app/tooling/CLIEvent.h"
#include "app/dashboard/ModelRuntimeState.h"
#include "core/QuitOffer.h"
#include "core/VisibleText.h"

#include <QList>
#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantMap>
#include <QtQmlIntegration/qqmlintegration.h>

#include <qcorotask.h>

#include <functional>
#include <memory>
#include <optional>

class AddAgentState;
class ApplicationInstallation;
class CLIService;
class DesktopNotifier;
class DesktopRegistration;
class LoginItem;
class ModelRuntimeServer;
class UpdateCheckService;
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
    QML_ELEMENT
    QML_UNCREATABLE("made by the window manager")
    Q_MOC_INCLUDE("app/dashboard/AddAgentState.h")
    Q_PROPERTY(AgentListModel* agents READ agentList CONSTANT)
    // The decision history's model, for the "History" view; null when there is none.
    Q_PROPERTY(QObject* history READ history CONSTANT)
    Q_PROPERTY(QuitOffer* quitOffer READ quitOffer CONSTANT)
    Q_PROPERTY(ModelRuntimeState* modelRuntime READ modelRuntimePointer CONSTANT)
    Q_PROPERTY(bool analysisRunning READ analysisRunning NOTIFY analysisRunningChanged)
    Q_PROPERTY(QVariant analysisSuggestionCount READ analysisSuggestionCountValue NOTIFY
                   analysisSuggestionCountChanged)
    Q_PROPERTY(bool showAddAgent READ showAddAgent WRITE setShowAddAgent NOTIFY showAddAgentChanged)
    Q_PROPERTY(bool mcpLlmSummary READ mcpLlmSummary WRITE setMcpLlmSummary NOTIFY mcpLlmSummaryChanged)
    Q_PROPERTY(bool isApproverOnly READ isApproverOnly NOTIFY isApproverOnlyChanged)
    Q_PROPERTY(QString analysisSubtitle READ analysisSubtitle NOTIFY analysisSuggestionCountChanged)
    Q_PROPERTY(QVariant cliVersion READ cliVersionValue NOTIFY cliVersionChanged)
    // This program's own version (UpdateCheckService::ownVersion).
    Q_PROPERTY(QString appVersion READ appVersion NOTIFY updatesChanged)
    Q_PROPERTY(QObject* updates READ updatesObject NOTIFY updatesChanged)
    Q_PROPERTY(AddAgentState* addAgent READ addAgent NOTIFY addAgentChanged)
    Q_PROPERTY(QVariant removingAgentName READ removingAgentNameValue NOTIFY removingAgentNameChanged)
    Q_PROPERTY(QVariant removalError READ removalErrorValue NOTIFY removalErrorChanged)
    Q_PROPERTY(bool isUninstalling READ isUninstalling NOTIFY isUninstallingChanged)
    Q_PROPERTY(bool uninstallComplete READ uninstallComplete NOTIFY uninstallCompleteChanged)
    Q_PROPERTY(QString uninstallStatus READ uninstallStatus NOTIFY uninstallStatusChanged)
    Q_PROPERTY(QStringList uninstallReport READ uninstallReport NOTIFY uninstallReportChanged)
    Q_PROPERTY(QString appRemovalAdvice READ appRemovalAdvice NOTIFY appRemovalAdviceChanged)
    // The back-end keeps refusing this machine's key: "Set up this machine again" is offered.
    Q_PROPERTY(
        bool identityRefused READ identityRefused WRITE setIdentityRefused NOTIFY identityRefusedChanged)
    // The popover no longer opens by itself (after a freeze): "Resume" is offered.
    Q_PROPERTY(bool autoOpenPaused READ autoOpenPaused WRITE setAutoOpenPaused NOTIFY autoOpenPausedChanged)

public:
    // The preference key in the application's settings.
    static constexpr char mcpLlmSummaryKey[] = "mcpLlmSummary";

    // What uninstalling and leaving need from the desktop; each may be null
    // (that step is then left out). terminate ends the program without the
    // quit question.
    struct Platform
    {
        LoginItem* loginItem = nullptr;
        DesktopRegistration* desktop = nullptr;
        DesktopNotifier* notifier = nullptr;
        ApplicationInstallation* installation = nullptr;
        std::function<void()> terminate;
        // The product tool's installed file; empty: wherever the product tool
        // is installed (CLIService::installedLocations()).
        QString cliBinaryPath = QString();
        // The model runtime's server, whose user unit the uninstall removes.
        ModelRuntimeServer* runtimeServer = nullptr;
        // The package database's query program, asked who owns the tool.
        QString dpkg = QStringLiteral("dpkg");
    };

    // settings: the application's settings (organisation and application names
    // set by the composition root). wizardDownload: the wizard's model
    // download, which the model runtime's state follows; may be null.
    // history: the decision history's model; may be null.
    HomeState(CLIService& cli, DependencyService& dependencies, MachineAuthService& auth,
              QNetworkAccessManager& network, QSettings& settings,
              ModelDownloadProgressSource* wizardDownload = nullptr, QObject* history = nullptr,
              QObject* parent = nullptr);
    ~HomeState() override;

    AgentListModel* agentList() const { return m_agents; }
    QObject* history() const { return m_history; }
    QuitOffer* quitOffer() const { return m_quitOffer; }
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

    // Opening the sheet makes a fresh AddAgentState (addAgent), closing it drops it.
    void setShowAddAgent(bool value);
    // The sheet's "Done": the agents are read again and the sheet closes.
    Q_INVOKABLE void finishAddAgent();
    void setPlatform(Platform platform) { m_platform = std::move(platform); }
    void setUpdates(UpdateCheckService* updates);

    // "N suggestion(s) found" once an analysis counted, else the row's description.
    QString analysisSubtitle() const;
    // The whole percent of a fraction: 0.999 is "99%".
    Q_INVOKABLE static QString percentText(double fraction);

    std::optional<QString> cliVersion() const { return m_cliVersion; }
    QString appVersion() const;
    AddAgentState* addAgent() const;

    // Agent removal: one at a time; a request while one runs is dropped.
    std::optional<QString> removingAgentName() const { return m_removingAgentName; }
    std::optional<QString> removalError() const { return m_removalError; }
    Q_INVOKABLE void removeAgent(const QString& name, bool removeGlobalRules);
    Q_INVOKABLE QVariantMap removeConfirmation(const QString& name) const;

    // Uninstall: normal -> uninstalling (status texts) -> complete (report).
    bool isUninstalling() const { return m_isUninstalling; }
    bool uninstallComplete() const { return m_uninstallComplete; }
    QString uninstallStatus() const { return visibleText(m_uninstallStatus); }
    QStringList uninstallReport() const { return visibleText(m_uninstallReport); }
    Q_INVOKABLE void uninstall(bool removeGlobalRules);
    // "Skip" while the uninstall waits for agents' removal to be approved:
    // the waiting "unregister" is stopped and the rest of the uninstall goes on.
    Q_INVOKABLE void skipUnregistering();
    Q_INVOKABLE QVariantMap uninstallConfirmation() const;

    // Ends the program without the quit question.
    Q_INVOKABLE void quit();
    // Puts a user-local installation in the trash and quits. Any other
    // installation stays, and appRemovalAdvice tells how to remove it.
    Q_INVOKABLE void deleteAppAndQuit();
    QString appRemovalAdvice() const { return visibleText(m_appRemovalAdvice); }

    // What the dashboard does each time it is shown: re-reads the agents, the
    // approver-only marker and the model status, and asks the product tool
    // for its version.
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

    bool identityRefused() const { return m_identityRefused; }
    void setIdentityRefused(bool refused);
    bool autoOpenPaused() const { return m_autoOpenPaused; }
    void setAutoOpenPaused(bool paused);
    // "Set up this machine again": back to the wizard's sign-in (the agents stay).
    Q_INVOKABLE void setUpAgain() { Q_EMIT setUpAgainRequested(); }
    Q_INVOKABLE void resume() { Q_EMIT resumeRequested(); }

Q_SIGNALS:
    void identityRefusedChanged();
    void autoOpenPausedChanged();
    void setUpAgainRequested();
    void resumeRequested();
    void analysisRunningChanged();
    void analysisSuggestionCountChanged();
    void showAddAgentChanged();
    void mcpLlmSummaryChanged();
    void isApproverOnlyChanged();
    void cliVersionChanged();
    void updatesChanged();
    void addAgentChanged();
    void removingAgentNameChanged();
    void removalErrorChanged();
    void isUninstallingChanged();
    void uninstallCompleteChanged();
    void uninstallStatusChanged();
    void uninstallReportChanged();
    void appRemovalAdviceChanged();

private:
    QVariant analysisSuggestionCountValue() const;
    ModelRuntimeState* modelRuntimePointer() const { return m_modelRuntime; }
    QVariant cliVersionValue() const;
    QVariant removingAgentNameValue() const;
    QVariant removalErrorValue() const;
    QObject* updatesObject() const;

    void setAnalysisRunning(bool value);
    void setAnalysisSuggestionCount(const std::optional<qint64>& value);
    void setIsApproverOnly(bool value);
    void setCliVersion(const std::optional<QString>& value);
    void setRemovingAgentName(const std::optional<QString>& value);
    void setRemovalError(const std::optional<QString>& value);
    void setIsUninstalling(bool value);
    void setUninstallComplete(bool value);
    void setUninstallStatus(const QString& value);
    void setUninstallReport(const QStringList& value);
    void setAppRemovalAdvice(const QString& value);

    QCoro::Task<> loadCliVersion();
    QCoro::Task<> runRemoval(QString name, bool removeGlobalRules);
    QCoro::Task<> runUninstall(QStringList agentNames, bool removeGlobalRules);
    void terminate();

    QCoro::Task<> runAnalysis(quint64 analysis, CLICancelToken cancel);
    void applyAnalysisEvent(const CLIEvent& event);

    QCoro::Task<> sendPreferenceUntilSettled();

    CLIService& m_cli;
    MachineAuthService& m_auth;
    QNetworkAccessManager& m_network;
    QSettings& m_settings;

    AgentListModel* m_agents;
    QuitOffer* m_quitOffer;
    QObject* m_history = nullptr;
    ModelRuntimeState* m_modelRuntime;
    bool m_analysisRunning = false;
    std::optional<qint64> m_analysisSuggestionCount;
    // The running analysis, for cancelling it.
    std::optional<CLICancelToken> m_analysisTask;
    CLICancelToken
        m_cliRuns; // the uninstall's and removals' product tool runs, stopped on skip and on destruction
    quint64 m_analysisGeneration = 0;
    bool m_showAddAgent = false;
    bool m_isApproverOnly = false;
    std::optional<QString> m_cliVersion;
    QPointer<UpdateCheckService> m_updates;
    QPointer<AddAgentState> m_addAgent;
    Platform m_platform;
    std::optional<QString> m_removingAgentName;
    std::optional<QString> m_removalError;
    bool m_isUninstalling = false;
    bool m_uninstallComplete = false;
    QString m_uninstallStatus;
    QStringList m_uninstallReport;
    QString m_appRemovalAdvice;

    // Preference requests go out one at a time; a change made meanwhile is
    // sent when the running one has ended, so the last value sent is the
    // stored one.
    bool m_preferenceSyncRunning = false;
    bool m_preferenceSyncPending = false;
    bool m_identityRefused = false;
    bool m_autoOpenPaused = false;
};
