#pragma once

#include "app/tooling/CLICancelToken.h"
#include "app/tooling/DependencyStatus.h"
#include "app/tooling/DetectedToolsModel.h"
#include "app/wizard/AgentSummaryModel.h"
#include "app/wizard/SetupLogModel.h"
#include "app/tooling/SecurityPosture.h"
#include "core/VisibleText.h"

#include <QObject>
#include <optional>
#include <QPointer>
#include <QString>
#include <QUrl>

#include <QCoroTask>
#include <QtQmlIntegration/qqmlintegration.h>

#include <chrono>
#include <functional>
#include <memory>

class CLIProcess;
class CLIService;
class InstallPhase;
class QNetworkAccessManager;

// The single wizard model: which screen is shown and everything the screens
// display. Made once by the window manager and kept for the whole process, so
// a reopened wizard window shows the state it was left in. Every field is a
// property that notifies on change.
class WizardState : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("made by the window manager")
    Q_CLASSINFO("RegisterEnumClassesUnscoped", "false")
    Q_PROPERTY(WizardScreen currentScreen READ currentScreen WRITE setCurrentScreen NOTIFY currentScreenChanged)
    Q_PROPERTY(bool isLoading READ isLoading WRITE setIsLoading NOTIFY isLoadingChanged)
    Q_PROPERTY(QString errorMessage READ errorMessage WRITE setErrorMessage NOTIFY errorMessageChanged)
    Q_PROPERTY(QString sessionToken READ sessionToken WRITE setSessionToken NOTIFY sessionTokenChanged)
    Q_PROPERTY(QString signedInEmail READ signedInEmail WRITE setSignedInEmail NOTIFY signedInEmailChanged)
    // The e-mail as the done screen shows it.
    Q_PROPERTY(QString shownEmail READ shownEmail NOTIFY signedInEmailChanged)
    Q_PROPERTY(bool approverOnly READ approverOnly WRITE setApproverOnly NOTIFY approverOnlyChanged)
    Q_PROPERTY(bool isApproverOnly READ isApproverOnly WRITE setIsApproverOnly NOTIFY isApproverOnlyChanged)
    Q_PROPERTY(bool installLLM READ installLLM WRITE setInstallLLM NOTIFY installLLMChanged)
    // Why the local model cannot be chosen (the runtime is missing and this
    // build cannot install it); empty when it can.
    Q_PROPERTY(
        QString modelUnavailableReason READ modelUnavailableReason NOTIFY modelUnavailableReasonChanged)
    Q_PROPERTY(bool discoverMcpServers READ discoverMcpServers WRITE setDiscoverMcpServers NOTIFY
            discoverMcpServersChanged)
    Q_PROPERTY(double llmDownloadProgress READ llmDownloadProgress WRITE setLlmDownloadProgress NOTIFY
            llmDownloadProgressChanged)
    Q_PROPERTY(bool llmDownloadComplete READ llmDownloadComplete WRITE setLlmDownloadComplete NOTIFY
            llmDownloadCompleteChanged)
    Q_PROPERTY(bool llmDownloading READ llmDownloading WRITE setLlmDownloading NOTIFY llmDownloadingChanged)
    Q_PROPERTY(DependencyStatus ollamaStatus READ ollamaStatus WRITE setOllamaStatus NOTIFY ollamaStatusChanged)
    Q_PROPERTY(DependencyStatus cliStatus READ cliStatus WRITE setCliStatus NOTIFY cliStatusChanged)
    Q_PROPERTY(DependencyStatus keychainStatus READ keychainStatus WRITE setKeychainStatus NOTIFY keychainStatusChanged)
    Q_PROPERTY(DependencyStatus machineStatus READ machineStatus WRITE setMachineStatus NOTIFY machineStatusChanged)
    // The same model for the whole process; detectedToolsChanged tells that detection replaced its rows.
    Q_PROPERTY(DetectedToolsModel* detectedTools READ detectedTools NOTIFY detectedToolsChanged)
    Q_PROPERTY(bool isDetectingTools READ isDetectingTools NOTIFY isDetectingToolsChanged)
    Q_PROPERTY(SecurityPostures::SecurityPosture securityPosture READ securityPosture WRITE setSecurityPosture NOTIFY securityPostureChanged)
    Q_PROPERTY(QString agentName READ agentName WRITE setAgentName NOTIFY agentNameChanged)
    // The message under the name field; empty when the name is acceptable.
    Q_PROPERTY(QString agentNameError READ agentNameErrorText NOTIFY agentNameChanged)
    Q_PROPERTY(bool canContinue READ canContinue NOTIFY canContinueChanged)
    // The same models for the whole process; each run of the set-up empties and refills them.
    Q_PROPERTY(SetupLogModel* setupLog READ setupLog CONSTANT)
    Q_PROPERTY(double setupProgress READ setupProgress WRITE setSetupProgress NOTIFY setupProgressChanged)
    // The setting-up screen's caption for setupProgress.
    Q_PROPERTY(QString phaseText READ phaseText NOTIFY setupProgressChanged)
    Q_PROPERTY(AgentSummaryModel* registeredAgents READ registeredAgents CONSTANT)
    Q_PROPERTY(int templateRuleCount READ templateRuleCount WRITE setTemplateRuleCount NOTIFY templateRuleCountChanged)
    Q_PROPERTY(int suggestionCount READ suggestionCount WRITE setSuggestionCount NOTIFY suggestionCountChanged)
    Q_PROPERTY(bool analysisWaitingForLLM READ analysisWaitingForLLM WRITE setAnalysisWaitingForLLM NOTIFY analysisWaitingForLLMChanged)
    Q_PROPERTY(bool analysisInProgress READ analysisInProgress WRITE setAnalysisInProgress NOTIFY analysisInProgressChanged)
    Q_PROPERTY(bool analysisComplete READ analysisComplete WRITE setAnalysisComplete NOTIFY analysisCompleteChanged)
    Q_PROPERTY(double analysisProgress READ analysisProgress WRITE setAnalysisProgress NOTIFY analysisProgressChanged)
    Q_PROPERTY(QString analysisError READ analysisError WRITE setAnalysisError NOTIFY analysisErrorChanged)
    // What the screens derive from the fields above.
    Q_PROPERTY(bool hasPerProjectTool READ hasPerProjectTool NOTIFY hasPerProjectToolChanged)
    // The done screen's line about the analysis (empty: none), and whether the
    // note pointing to the web dashboard follows it.
    Q_PROPERTY(QString analysisStatusLine READ analysisStatusLine NOTIFY analysisStatusChanged)
    Q_PROPERTY(bool analysisShowsReviewNote READ analysisShowsReviewNote NOTIFY analysisStatusChanged)
    // What closing the done screen asks first; empty while nothing runs ("Close" then finishes at once).
    Q_PROPERTY(QString closeAlertTitle READ closeAlertTitle NOTIFY analysisStatusChanged)
    Q_PROPERTY(QString closeAlertMessage READ closeAlertMessage NOTIFY analysisStatusChanged)
    // The alert's buttons: the first only closes the alert, the second (destructive) finishes the wizard.
    Q_PROPERTY(QString keepRunningLabel READ keepRunningLabel CONSTANT)
    Q_PROPERTY(QString stopAndCloseLabel READ stopAndCloseLabel CONSTANT)

public:
    enum class WizardScreen { welcome = 0, signIn = 1, install = 2, configure = 3, settingUp = 4, done = 5 };
    Q_ENUM(WizardScreen)
    enum class SetupStep { signIn = 0, install = 1, configure = 2, setup = 3, done = 4 };
    Q_ENUM(SetupStep)
    enum class StepState { done, active, pending };
    Q_ENUM(StepState)

    // Opens a URL in the person's default browser; false when nothing opened it.
    using BrowserOpener = std::function<bool(const QUrl&)>;

    explicit WizardState(QObject* parent = nullptr);
    ~WizardState() override;

    // The process's network access manager for the code exchange (without one
    // the model makes its own) and, for tests, how the browser is opened
    // (default: the desktop's handler for web links).
    void setNetwork(QNetworkAccessManager* network) { m_network = network; }
    void setBrowserOpener(BrowserOpener opener) { m_openBrowser = std::move(opener); }
    // The product tool that detection asks; without one nothing is detected.
    void setCli(CLIService* cli);

    // The step bar: the step a screen highlights (none for the welcome screen),
    // the state of a step for the active one, and the labels.
    static std::optional<SetupStep> stepForScreen(WizardScreen screen);
    Q_INVOKABLE static WizardState::StepState stepState(int step, int activeStep);
    Q_INVOKABLE static QString stepLabel(int step);

    // The step a screen highlights, as the step bar's index; -1 for the welcome screen.
    Q_INVOKABLE static int activeStepOf(int screen);
    // A progress value (0 to 1) as a whole percentage with "%"; any value is
    // safe, out-of-range ones are clamped.
    Q_INVOKABLE static QString percentText(double progress);
    Q_INVOKABLE static double clampedProgress(double progress);
    // The chooser's postures in order: label, description, recommended.
    Q_INVOKABLE static QVariantList securityPostureChoices();
    // The scope radios in order (all projects, per project): label, sublabel.
    Q_INVOKABLE static QVariantList scopeChoices();

    // "Need help? View setup guide": the web origin's set-up guide at `section`
    // ("setup-install", "setup-configure") in the browser.
    Q_INVOKABLE void openSetupGuide(const QString& section);
    // "Close" on the done screen, after any confirmation: the window manager
    // finishes the wizard.
    Q_INVOKABLE void closeWizard();

    // "Get Started" on the welcome screen.
    Q_INVOKABLE void getStarted();

    // "Sign in with Google" and "Retry": opens the sign-in page in the browser
    // with a fresh random "state" and waits for the callback.
    Q_INVOKABLE void startSignIn();
    // "Stop waiting": the browser gives no sign of a sign-in given up, so the
    // person ends the wait; no error is shown. A code that still arrives later
    // is accepted.
    Q_INVOKABLE void stopWaitingForSignIn();
    bool isWaitingForBrowser() const { return m_authSession != nullptr; }

    // A URL opened with the program (the desktop entry's scheme handler). Only
    // the sign-in screen takes a callback; on any other screen (and on a
    // machine that is set up) it is ignored with one log line, as is a
    // callback whose "state" is not the current attempt's (none before
    // "Sign in with Google"); a matching callback uses the attempt up. While the
    // browser sign-in waits, a callback ends it as the sign-in's completion
    // (a callback without a usable code is then an error); otherwise only a
    // callback with a code is taken. Returns whether the URL was a callback of
    // our scheme that was dealt with (taken or ignored on purpose).
    bool handleCallbackURL(const QUrl& url);

    // Proposes a new default agent name and replaces the detected tools with
    // what the product tool's scan reports (an empty list when the scan fails).
    // The window stays responsive meanwhile: isDetectingTools is true while the
    // scan runs.
    QCoro::Task<> detectTools();
    std::optional<QString> agentNameError() const;

    // "Install & Continue": the install screen's work (InstallPhase).
    Q_INVOKABLE void runInstall();
    // "Cancel" on the install screen while it works (InstallPhase::cancel).
    Q_INVOKABLE void cancelInstall();
    // The install screen appeared: its runtime row says whether the runtime is there.
    Q_INVOKABLE void installScreenShown();
    InstallPhase& installPhase() { return *m_installPhase; }

    // "Continue" on the configure screen: shows the setting-up screen and
    // starts the set-up run, unless one is running.
    Q_INVOKABLE void startSetup();
    // The set-up run itself (see SetupRun); it ends on the done screen.
    QCoro::Task<> runSetup();
    // "Skip & Finish Setup": stops the model download, so no analysis follows,
    // and goes to the done screen. A registration already running goes on.
    Q_INVOKABLE void skipSetup();
    // The model download the install phase started, kept so that it can be
    // stopped; it outlives the install screen. Null when none runs.
    void setLlmProcess(std::shared_ptr<CLIProcess> process);
    const std::shared_ptr<CLIProcess>& llmProcess() const { return m_llmProcess; }

    // Waits for the model download, then runs the activity analysis (see
    // ActivityAnalysis); an analysis already under way is cancelled first.
    Q_INVOKABLE void startAnalysis();
    // Ends the analysis silently: analysisComplete stays as it was.
    Q_INVOKABLE void cancelAnalysis();
    // How long the analysis waits for the model download (tests shorten it).
    void setAnalysisWaitLimit(std::chrono::milliseconds limit) { m_analysisWaitLimit = limit; }
    // Some detected tool is enabled and the agent name is acceptable.
    bool canContinue() const { return m_canContinue; }


    WizardScreen currentScreen() const { return m_currentScreen; }
    bool isLoading() const { return m_isLoading; }
    QString errorMessage() const { return visibleText(m_errorMessage); }
    QString sessionToken() const { return m_sessionToken; }
    QString signedInEmail() const { return m_signedInEmail; }
    QString shownEmail() const { return visibleText(m_signedInEmail); }
    bool approverOnly() const { return m_approverOnly; }
    bool isApproverOnly() const { return m_isApproverOnly; }
    bool installLLM() const { return m_installLLM; }
    QString modelUnavailableReason() const { return m_modelUnavailableReason; }
    bool discoverMcpServers() const { return m_discoverMcpServers; }
    double llmDownloadProgress() const { return m_llmDownloadProgress; }
    bool llmDownloadComplete() const { return m_llmDownloadComplete; }
    bool llmDownloading() const { return m_llmDownloading; }
    DependencyStatus ollamaStatus() const { return m_ollamaStatus; }
    DependencyStatus cliStatus() const { return m_cliStatus; }
    DependencyStatus keychainStatus() const { return m_keychainStatus; }
    DependencyStatus machineStatus() const { return m_machineStatus; }
    DetectedToolsModel* detectedTools() const { return m_detectedTools; }
    bool isDetectingTools() const { return m_isDetectingTools; }
    SecurityPosture securityPosture() const { return m_securityPosture; }
    QString agentName() const { return m_agentName; }
    QString agentNameErrorText() const { return agentNameError().value_or(QString()); }
    SetupLogModel* setupLog() const { return m_setupLog; }
    double setupProgress() const { return m_setupProgress; }
    AgentSummaryModel* registeredAgents() const { return m_registeredAgents; }
    int templateRuleCount() const { return m_templateRuleCount; }
    int suggestionCount() const { return m_suggestionCount; }
    bool analysisWaitingForLLM() const { return m_analysisWaitingForLLM; }
    bool analysisInProgress() const { return m_analysisInProgress; }
    bool analysisComplete() const { return m_analysisComplete; }
    double analysisProgress() const { return m_analysisProgress; }
    QString analysisError() const { return m_analysisError; }
    // At least one detected tool gets one agent per project folder.
    bool hasPerProjectTool() const { return m_hasPerProjectTool; }
    QString phaseText() const;
    QString analysisStatusLine() const;
    bool analysisShowsReviewNote() const;
    QString closeAlertTitle() const;
    QString closeAlertMessage() const;
    static QString keepRunningLabel() { return QStringLiteral("Keep Running"); }
    static QString stopAndCloseLabel() { return QStringLiteral("Stop & Close"); }

    // The process's network access manager (made on first use when none was given).
    QNetworkAccessManager& network();

    void setCurrentScreen(WizardScreen value);
    void setIsLoading(bool value);
    void setErrorMessage(const QString& value);
    void setSessionToken(const QString& value);
    // The account session is needed only during set-up: wiped when set-up ends.
    void clearSessionToken();
    void setSignedInEmail(const QString& value);
    void setApproverOnly(bool value);
    void setIsApproverOnly(bool value);
    // Turning the model on is refused while modelUnavailableReason is set.
    void setInstallLLM(bool value);
    // A reason turns the model off.
    void setModelUnavailableReason(const QString& reason);
    void setDiscoverMcpServers(bool value);
    void setLlmDownloadProgress(double value);
    void setLlmDownloadComplete(bool value);
    void setLlmDownloading(bool value);
    void setOllamaStatus(const DependencyStatus& value);
    void setCliStatus(const DependencyStatus& value);
    void setKeychainStatus(const DependencyStatus& value);
    void setMachineStatus(const DependencyStatus& value);
    void setSecurityPosture(SecurityPosture value);
    void setAgentName(const QString& value);
    void setSetupProgress(double value);
    void setTemplateRuleCount(int value);
    void setSuggestionCount(int value);
    void setAnalysisWaitingForLLM(bool value);
    void setAnalysisInProgress(bool value);
    void setAnalysisComplete(bool value);
    void setAnalysisProgress(double value);
    void setAnalysisError(const QString& value);

Q_SIGNALS:
    void currentScreenChanged();
    void isLoadingChanged();
    void errorMessageChanged();
    void sessionTokenChanged();
    void signedInEmailChanged();
    void approverOnlyChanged();
    void isApproverOnlyChanged();
    void installLLMChanged();
    void modelUnavailableReasonChanged();
    void discoverMcpServersChanged();
    void llmDownloadProgressChanged();
    void llmDownloadCompleteChanged();
    void llmDownloadingChanged();
    void ollamaStatusChanged();
    void cliStatusChanged();
    void keychainStatusChanged();
    void machineStatusChanged();
    void detectedToolsChanged();
    void isDetectingToolsChanged();
    void canContinueChanged();
    void securityPostureChanged();
    void agentNameChanged();
    void setupProgressChanged();
    void templateRuleCountChanged();
    void suggestionCountChanged();
    void analysisWaitingForLLMChanged();
    void analysisInProgressChanged();
    void analysisCompleteChanged();
    void analysisProgressChanged();
    void analysisErrorChanged();
    void hasPerProjectToolChanged();
    // "Close" on the done screen.
    void closeRequested();
    // Any of the fields the analysis status line and the closing alert read changed.
    void analysisStatusChanged();
    // A sign-in finished: the application comes to the front.
    void activationRequested();

private:
    WizardScreen m_currentScreen = WizardScreen::welcome; // screen shown
    bool m_isLoading = false; // a sign-in or install step is running
    QString m_errorMessage = QString(); // last user-visible error of the wizard; empty: none
    QString m_sessionToken = QString(); // account session from sign-in; empty: none
    QString m_signedInEmail = QString(); // account e-mail from sign-in; empty: none
    bool m_approverOnly = false; // "Approval Device Only" chosen on the install screen
    bool m_isApproverOnly = false; // the machine was set up as approval device
    bool m_installLLM = true; // install the local model
    QString m_modelUnavailableReason; // why the model cannot be installed; empty: it can
    bool m_discoverMcpServers = true; // scan MCP servers during analysis
    double m_llmDownloadProgress = 0.0; // model download progress, 0 to 1
    bool m_llmDownloadComplete = false; // model download finished
    bool m_llmDownloading = false; // model download running
    DependencyStatus m_ollamaStatus = DependencyStatus::missing(); // install row
    DependencyStatus m_cliStatus = DependencyStatus::missing(); // install row
    DependencyStatus m_keychainStatus = DependencyStatus::missing(); // install row
    DependencyStatus m_machineStatus = DependencyStatus::missing(); // install row
    DetectedToolsModel* m_detectedTools; // the detected AI tools
    bool m_isDetectingTools = false; // the tool scan runs
    bool m_canContinue = false; // cached for canContinueChanged
    bool m_hasPerProjectTool = false; // cached for hasPerProjectToolChanged
    SecurityPosture m_securityPosture = SecurityPosture::developer; // baseline rule template
    QString m_agentName = QString(); // the name typed on the configure screen
    SetupLogModel* m_setupLog; // lines of the set-up run
    double m_setupProgress = 0.0; // set-up run progress, 0 to 1
    AgentSummaryModel* m_registeredAgents; // agents made by the set-up run
    int m_templateRuleCount = 0; // rules seeded from the posture template
    int m_suggestionCount = 0; // rule suggestions from the activity analysis
    bool m_analysisWaitingForLLM = false; // analysis waits for the model download
    bool m_analysisInProgress = false; // analysis runs
    bool m_analysisComplete = false; // analysis finished
    double m_analysisProgress = 0.0; // analysis progress, 0 to 1
    QString m_analysisError = QString(); // analysis failure; empty: none
    // The code exchange: sets the session or the error, then the install screen.
    QCoro::Task<> exchangeCode(QString code);
    void completeSignIn(const QUrl& callbackURL);
    bool ignoreCallbackOutsideSignIn();
    void setIsDetectingTools(bool value);
    void updateCanContinue();
    void updateHasPerProjectTool();

    QNetworkAccessManager* m_network = nullptr;
    std::unique_ptr<QNetworkAccessManager> m_ownNetwork;
    BrowserOpener m_openBrowser;
    QPointer<QObject> m_authSession; // the browser sign-in while it is waited for
    QString m_signInState; // the current attempt's state; empty: none is open
    QPointer<CLIService> m_cli;
    bool m_setupRunning = false;
    std::shared_ptr<CLIProcess> m_llmProcess; // the running model download
    std::optional<CLICancelToken> m_analysisTask; // the running analysis, for cancelling it
    CLICancelToken m_setupCancel; // the set-up run's product tool runs, stopped by skipping
    std::chrono::milliseconds m_analysisWaitLimit;
    InstallPhase* m_installPhase;
};
