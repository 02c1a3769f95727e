#include "app/wizard/WizardState.h"
#include "core/VisibleText.h"

#include "app/tooling/AgentNameRules.h"
#include "app/tooling/CLIProcess.h"
#include "app/tooling/CLIService.h"
#include "app/tooling/ScopeChoice.h"
#include "app/tooling/SecurityPosture.h"
#include "app/tooling/ToolDetection.h"
#include "app/wizard/ActivityAnalysis.h"
#include "app/wizard/SetupRun.h"
#include "core/CodeExchangeResponse.h"
#include "core/CoreConstants.h"
#include "core/Http.h"
#include "core/LogCategories.h"
#include "core/ProgressPercent.h"
#include "core/SecretBytes.h"
#include "core/SignInCallback.h"
#include "core/SystemLog.h"
#include "app/wizard/InstallPhase.h"

#include <QDesktopServices>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkRequest>

#include <algorithm>

namespace {

constexpr int exchangeTimeoutMilliseconds = 60 * 1000;

} // namespace

WizardState::WizardState(QNetworkAccessManager* network, const InstallPhase::Services& services, QObject* parent)
    : QObject(parent)
    , m_detectedTools(new DetectedToolsModel(this))
    , m_setupLog(new SetupLogModel(this))
    , m_registeredAgents(new AgentSummaryModel(this))
    , m_network(network)
    , m_openBrowser(&QDesktopServices::openUrl)
    , m_cli(services.cli)
    , m_analysisWaitLimit(ActivityAnalysis::defaultWaitLimit)
    , m_installPhase(new InstallPhase(*this, services))
{
    for (auto changed : {&WizardState::analysisWaitingForLLMChanged, &WizardState::analysisInProgressChanged,
                         &WizardState::analysisCompleteChanged, &WizardState::analysisProgressChanged,
                         &WizardState::analysisErrorChanged, &WizardState::suggestionCountChanged})
        connect(this, changed, this, &WizardState::analysisStatusChanged);
    connect(m_detectedTools, &QAbstractItemModel::modelReset, this, &WizardState::updateCanContinue);
    connect(m_detectedTools, &QAbstractItemModel::dataChanged, this, &WizardState::updateCanContinue);
    connect(this, &WizardState::agentNameChanged, this, &WizardState::updateCanContinue);
    connect(m_detectedTools, &QAbstractItemModel::modelReset, this, &WizardState::updateHasPerProjectTool);
    connect(m_detectedTools, &QAbstractItemModel::dataChanged, this, &WizardState::updateHasPerProjectTool);
}

void WizardState::updateHasPerProjectTool()
{
    const QList<DetectedTool>& tools = m_detectedTools->tools();
    const bool value = std::any_of(tools.begin(), tools.end(),
                                   [](const DetectedTool& tool) { return tool.scope == ScopeChoice::perProject; });
    if (m_hasPerProjectTool == value)
        return;
    m_hasPerProjectTool = value;
    Q_EMIT hasPerProjectToolChanged();
}

int WizardState::activeStepOf(int screen)
{
    if (screen < int(WizardScreen::welcome) || screen > int(WizardScreen::done))
        return -1;
    const std::optional<SetupStep> step = stepForScreen(WizardScreen(screen));
    return step ? int(*step) : -1;
}

QString WizardState::percentText(double progress)
{
    return ProgressPercent::text(progress);
}

double WizardState::clampedProgress(double progress)
{
    return ProgressPercent::clamped(progress);
}

QVariantList WizardState::securityPostureChoices()
{
    QVariantList choices;
    for (const SecurityPosture posture : SecurityPostures::all()) {
        choices.append(QVariantMap{
            {QStringLiteral("label"), SecurityPostures::rawValue(posture)},
            {QStringLiteral("description"), SecurityPostures::description(posture)},
            {QStringLiteral("recommended"), SecurityPostures::isRecommended(posture)},
        });
    }
    return choices;
}

QVariantList WizardState::scopeChoices()
{
    QVariantList choices;
    for (const ScopeChoice scope : {ScopeChoice::allProjects, ScopeChoice::perProject}) {
        choices.append(QVariantMap{
            {QStringLiteral("label"), ScopeChoices::label(scope)},
            {QStringLiteral("sublabel"), ScopeChoices::subLabel(scope)},
        });
    }
    return choices;
}

void WizardState::openSetupGuide(const QString& section)
{
    const QUrl guide(CoreConstants::webBaseURL() + QStringLiteral("/docs#") + section);
    if (guide.isValid() && m_openBrowser)
        m_openBrowser(guide);
}

void WizardState::closeWizard()
{
    Q_EMIT closeRequested();
}

QCoro::Task<> WizardState::detectTools()
{
    const QPointer<WizardState> self(this);
    setAgentName(randomDefaultAgentName());
    setIsDetectingTools(true);
    QList<DetectedTool> tools;
    if (m_cli)
        tools = co_await ToolDetection::detectTools(*m_cli, CoreConstants::homeDirectory());
    if (!self)
        co_return;
    m_detectedTools->setTools(std::move(tools));
    Q_EMIT detectedToolsChanged();
    setIsDetectingTools(false);
}

void WizardState::startSetup()
{
    if (m_setupRunning)
        return;
    setCurrentScreen(WizardScreen::settingUp);
    runSetup();
}

QCoro::Task<> WizardState::runSetup()
{
    const QPointer<WizardState> self(this);
    m_setupRunning = true;
    m_setupCancel = CLICancelToken();
    co_await SetupRun::run(self, m_cli, network(), m_setupCancel);
    if (self)
        m_setupRunning = false;
}

void WizardState::skipSetup()
{
    m_setupCancel.cancel();
    if (m_llmProcess)
        m_llmProcess->terminate();
    m_llmProcess.reset();
    setLlmDownloading(false);
    setInstallLLM(false);
    setSetupProgress(1.0);
    clearSessionToken();
    setCurrentScreen(WizardScreen::done);
}

void WizardState::setLlmProcess(std::shared_ptr<CLIProcess> process)
{
    m_llmProcess = std::move(process);
}

void WizardState::startAnalysis()
{
    setAnalysisWaitingForLLM(true);
    setAnalysisError(QString());
    if (m_analysisTask)
        m_analysisTask->cancel();
    const CLICancelToken cancel;
    m_analysisTask = cancel;
    ActivityAnalysis::run(this, m_cli, cancel, m_analysisWaitLimit);
}

void WizardState::cancelAnalysis()
{
    if (m_analysisTask)
        m_analysisTask->cancel();
    m_analysisTask.reset();
    setAnalysisInProgress(false);
    setAnalysisWaitingForLLM(false);
}

QString WizardState::phaseText() const
{
    return SetupRun::phaseText(m_setupProgress);
}

QString WizardState::analysisStatusLine() const
{
    return visibleText(ActivityAnalysis::statusLine(*this));
}

bool WizardState::analysisShowsReviewNote() const
{
    return ActivityAnalysis::showsReviewNote(*this);
}

QString WizardState::closeAlertTitle() const
{
    return ActivityAnalysis::closeAlertTitle(*this);
}

QString WizardState::closeAlertMessage() const
{
    return ActivityAnalysis::closeAlertMessage(*this);
}

void WizardState::runInstall()
{
    m_installPhase->runInstall();
}

void WizardState::cancelInstall()
{
    m_installPhase->cancel();
}

void WizardState::installScreenShown()
{
    m_installPhase->showInstallScreen();
}

std::optional<QString> WizardState::agentNameError() const
{
    return ::agentNameError(m_agentName);
}

void WizardState::setIsDetectingTools(bool value)
{
    if (m_isDetectingTools == value)
        return;
    m_isDetectingTools = value;
    Q_EMIT isDetectingToolsChanged();
}

void WizardState::updateCanContinue()
{
    const bool value = ::canContinue(m_detectedTools->tools(), m_agentName);
    if (m_canContinue == value)
        return;
    m_canContinue = value;
    Q_EMIT canContinueChanged();
}

WizardState::~WizardState()
{
    // A running analysis would otherwise leave the product tool's run behind.
    if (m_analysisTask)
        m_analysisTask->cancel();
    m_setupCancel.cancel();
}

QNetworkAccessManager& WizardState::network()
{
    if (!m_network) {
        m_ownNetwork = std::make_unique<QNetworkAccessManager>();
        m_network = m_ownNetwork.get();
    }
    return *m_network;
}

void WizardState::setCurrentScreen(WizardScreen value)
{
    if (m_currentScreen == value)
        return;
    m_currentScreen = value;
    Q_EMIT currentScreenChanged();
}

void WizardState::setIsLoading(bool value)
{
    if (m_isLoading == value)
        return;
    m_isLoading = value;
    Q_EMIT isLoadingChanged();
}

void WizardState::setErrorMessage(const QString& value)
{
    if (m_errorMessage == value)
        return;
    m_errorMessage = value;
    Q_EMIT errorMessageChanged();
}

void WizardState::setSessionToken(const QString& value)
{
    if (m_sessionToken == value)
        return;
    m_sessionToken = value;
    Q_EMIT sessionTokenChanged();
}

void WizardState::clearSessionToken()
{
    if (m_sessionToken.isEmpty())
        return;
    SecretBytes::cleanse(m_sessionToken);
    m_sessionToken.clear();
    Q_EMIT sessionTokenChanged();
}

void WizardState::setSignedInEmail(const QString& value)
{
    if (m_signedInEmail == value)
        return;
    m_signedInEmail = value;
    Q_EMIT signedInEmailChanged();
}

void WizardState::setApproverOnly(bool value)
{
    if (m_approverOnly == value)
        return;
    m_approverOnly = value;
    Q_EMIT approverOnlyChanged();
    // An approval device gets no agents: no model and no MCP scan. Turning it
    // off again does not bring them back.
    if (m_approverOnly) {
        setInstallLLM(false);
        setDiscoverMcpServers(false);
    }
}

void WizardState::setIsApproverOnly(bool value)
{
    if (m_isApproverOnly == value)
        return;
    m_isApproverOnly = value;
    Q_EMIT isApproverOnlyChanged();
}

void WizardState::setInstallLLM(bool value)
{
    if (m_installLLM == value || (value && !m_modelUnavailableReason.isEmpty()))
        return;
    m_installLLM = value;
    Q_EMIT installLLMChanged();
}

void WizardState::setModelUnavailableReason(const QString& reason)
{
    if (m_modelUnavailableReason == reason)
        return;
    m_modelUnavailableReason = reason;
    if (!reason.isEmpty())
        setInstallLLM(false);
    Q_EMIT modelUnavailableReasonChanged();
}

void WizardState::setDiscoverMcpServers(bool value)
{
    if (m_discoverMcpServers == value)
        return;
    m_discoverMcpServers = value;
    Q_EMIT discoverMcpServersChanged();
}

void WizardState::setLlmDownloadProgress(double value)
{
    if (m_llmDownloadProgress == value)
        return;
    m_llmDownloadProgress = value;
    Q_EMIT llmDownloadProgressChanged();
}

void WizardState::setLlmDownloadComplete(bool value)
{
    if (m_llmDownloadComplete == value)
        return;
    m_llmDownloadComplete = value;
    Q_EMIT llmDownloadCompleteChanged();
}

void WizardState::setLlmDownloading(bool value)
{
    if (m_llmDownloading == value)
        return;
    m_llmDownloading = value;
    Q_EMIT llmDownloadingChanged();
}

void WizardState::setOllamaStatus(const DependencyStatus& value)
{
    if (m_ollamaStatus == value)
        return;
    m_ollamaStatus = value;
    Q_EMIT ollamaStatusChanged();
}

void WizardState::setCliStatus(const DependencyStatus& value)
{
    if (m_cliStatus == value)
        return;
    m_cliStatus = value;
    Q_EMIT cliStatusChanged();
}

void WizardState::setKeychainStatus(const DependencyStatus& value)
{
    if (m_keychainStatus == value)
        return;
    m_keychainStatus = value;
    Q_EMIT keychainStatusChanged();
}

void WizardState::setMachineStatus(const DependencyStatus& value)
{
    if (m_machineStatus == value)
        return;
    m_machineStatus = value;
    Q_EMIT machineStatusChanged();
}

void WizardState::setSecurityPosture(SecurityPosture value)
{
    if (m_securityPosture == value)
        return;
    m_securityPosture = value;
    Q_EMIT securityPostureChanged();
}

void WizardState::setAgentName(const QString& value)
{
    if (m_agentName == value)
        return;
    m_agentName = value;
    Q_EMIT agentNameChanged();
}

void WizardState::setSetupProgress(double value)
{
    if (m_setupProgress == value)
        return;
    m_setupProgress = value;
    Q_EMIT setupProgressChanged();
}

void WizardState::setTemplateRuleCount(int value)
{
    if (m_templateRuleCount == value)
        return;
    m_templateRuleCount = value;
    Q_EMIT templateRuleCountChanged();
}

void WizardState::setSuggestionCount(int value)
{
    if (m_suggestionCount == value)
        return;
    m_suggestionCount = value;
    Q_EMIT suggestionCountChanged();
}

void WizardState::setAnalysisWaitingForLLM(bool value)
{
    if (m_analysisWaitingForLLM == value)
        return;
    m_analysisWaitingForLLM = value;
    Q_EMIT analysisWaitingForLLMChanged();
}

void WizardState::setAnalysisInProgress(bool value)
{
    if (m_analysisInProgress == value)
        return;
    m_analysisInProgress = value;
    Q_EMIT analysisInProgressChanged();
}

void WizardState::setAnalysisComplete(bool value)
{
    if (m_analysisComplete == value)
        return;
    m_analysisComplete = value;
    Q_EMIT analysisCompleteChanged();
}

void WizardState::setAnalysisProgress(double value)
{
    if (m_analysisProgress == value)
        return;
    m_analysisProgress = value;
    Q_EMIT analysisProgressChanged();
}

void WizardState::setAnalysisError(const QString& value)
{
    if (m_analysisError == value)
        return;
    m_analysisError = value;
    Q_EMIT analysisErrorChanged();
}

std::optional<WizardState::SetupStep> WizardState::stepForScreen(WizardScreen screen)
{
    switch (screen) {
    case WizardScreen::welcome:
        return std::nullopt;
    case WizardScreen::signIn:
        return SetupStep::signIn;
    case WizardScreen::install:
        return SetupStep::install;
    case WizardScreen::configure:
        return SetupStep::configure;
    case WizardScreen::settingUp:
        return SetupStep::setup;
    case WizardScreen::done:
        return SetupStep::done;
    }
    return std::nullopt;
}

WizardState::StepState WizardState::stepState(int step, int activeStep)
{
    if (step < activeStep)
        return StepState::done;
    if (step == activeStep)
        return StepState::active;
    return StepState::pending;
}

QString WizardState::stepLabel(int step)
{
    switch (step) {
    case 0:
        return QStringLiteral("Sign In");
    case 1:
        return QStringLiteral("Install");
    case 2:
        return QStringLiteral("Configure");
    case 3:
        return QStringLiteral("Setup");
    case 4:
        return QStringLiteral("Done");
    default:
        return {};
    }
}

void WizardState::getStarted()
{
    if (m_currentScreen == WizardScreen::welcome)
        setCurrentScreen(WizardScreen::signIn);
}

void WizardState::startSignIn()
{
    setIsLoading(true);
    setErrorMessage(QString());
    delete m_authSession.data();
    // Each attempt has a state of its own: only the callback that carries it
    // back is taken, and a callback of an earlier attempt no longer is.
    m_signInState = SignInCallback::newState();
    const QUrl page(CoreConstants::webBaseURL() + QStringLiteral("/auth/login?platform=macos&state=")
                    + m_signInState);
    if (!page.isValid() || !m_openBrowser || !m_openBrowser(page)) {
        m_signInState.clear();
        setIsLoading(false);
        setErrorMessage(QStringLiteral("Could not open the web browser"));
        return;
    }
    m_authSession = new QObject(this);
}

void WizardState::stopWaitingForSignIn()
{
    if (!m_authSession)
        return;
    delete m_authSession.data();
    setIsLoading(false);
}

bool WizardState::handleCallbackURL(const QUrl& url)
{
    if (!SignInCallback::hasOurScheme(url))
        return false;
    if (m_currentScreen != WizardScreen::signIn)
        return ignoreCallbackOutsideSignIn();
    // Any local program can open a quorvane: link: only the callback of this
    // program's current attempt is exchanged, and only once.
    if (m_signInState.isEmpty() || SignInCallback::state(url) != std::optional<QString>(m_signInState)) {
        SystemLog::write(lcWizard(),
                         QStringLiteral("Quorvane: ignored a sign-in link: its state is not the current sign-in's"));
        return true;
    }
    m_signInState.clear();
    if (m_authSession) {
        completeSignIn(url);
        return true;
    }
    const std::optional<QString> code = SignInCallback::code(url);
    if (!code)
        return false;
    exchangeCode(*code);
    return true;
}

bool WizardState::ignoreCallbackOutsideSignIn()
{
    // A stray or replayed link must not reopen the wizard with another
    // account's session, least of all on a machine that is set up.
    SystemLog::write(
        lcWizard(), QStringLiteral("Quorvane: ignored a sign-in link: no sign-in is waiting for one"));
    return true;
}

void WizardState::completeSignIn(const QUrl& callbackURL)
{
    delete m_authSession.data();
    const std::optional<QString> code = SignInCallback::code(callbackURL);
    if (!code) {
        setIsLoading(false);
        setErrorMessage(QStringLiteral("Invalid authentication response"));
        return;
    }
    exchangeCode(*code);
}

QCoro::Task<> WizardState::exchangeCode(QString code)
{
    const QUrl url(CoreConstants::webBaseURL() + QStringLiteral("/auth/exchange-code"), QUrl::StrictMode);
    if (!url.isValid()) {
        setIsLoading(false);
        setErrorMessage(QStringLiteral("Invalid exchange URL"));
        co_return;
    }
    setIsLoading(true);
    setErrorMessage(QString());
    QNetworkRequest request(url);
    request.setTransferTimeout(exchangeTimeoutMilliseconds);
    request.setRawHeader(QByteArrayLiteral("Content-Type"), QByteArrayLiteral("application/json"));
    QJsonObject body;
    body.insert(QLatin1String("code"), code);
    const QByteArray json = QJsonDocument(body).toJson(QJsonDocument::Compact);

    QPointer<WizardState> self(this);
    const HttpResponse response = co_await Http::send(network(), request, QByteArrayLiteral("POST"), json);
    if (!self)
        co_return;
    setIsLoading(false);
    if (!response.isHttp()) {
        setErrorMessage(response.transportError);
        co_return;
    }
    const std::optional<CodeExchangeResponse> exchanged = CodeExchangeResponse::decode(response.status, response.body);
    if (!exchanged) {
        setErrorMessage(QStringLiteral("Authentication failed. Please try again."));
        co_return;
    }
    setSessionToken(exchanged->session);
    setSignedInEmail(exchanged->email.value_or(QString()));
    Q_EMIT activationRequested();
    setCurrentScreen(WizardScreen::install);
}
