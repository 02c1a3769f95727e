#include "app/wizard/InstallPhase.h"

#include "app/tooling/CLIService.h"
#include "app/tooling/DependencyService.h"
#include "app/wizard/WizardState.h"
#include "core/CoreConstants.h"
#include "core/LogCategories.h"
#include "core/MachineAuthService.h"
#include "core/SystemLog.h"
#include "platform/LoginItem.h"

#include <QFile>

namespace {

const QString installationFailed = QStringLiteral("Installation failed");

} // namespace

InstallPhase::InstallPhase(WizardState& state, const Services& services)
    : QObject(&state)
    , m_state(state)
    , m_cli(services.cli)
    , m_dependencies(services.dependencies)
    , m_auth(services.auth)
    , m_loginItem(services.loginItem)
{
    connect(&state, &WizardState::currentScreenChanged, this, [this] {
        if (m_state.currentScreen() == WizardState::WizardScreen::install)
            showInstallScreen();
    });
}

InstallPhase::~InstallPhase()
{
    m_preparation.cancel();
}

void InstallPhase::cancel()
{
    m_preparation.cancel();
}

void InstallPhase::showInstallScreen()
{
    if (!m_dependencies)
        return;
    m_state.setModelUnavailableReason(m_dependencies->installBlockedReason().value_or(QString()));
    m_state.setOllamaStatus(
        m_dependencies->isOllamaInstalled() ? DependencyStatus::installed() : DependencyStatus::missing());
}

QCoro::Task<> InstallPhase::runInstall()
{
    if (m_running)
        co_return;
    m_running = true;
    const QPointer<InstallPhase> self(this);
    m_state.setIsLoading(true);
    m_state.setErrorMessage(QString());

    // The runtime (when chosen), then the product tool's preparation. The
    // runtime is optional: its failure shows on its row and the phase goes on;
    // a failed preparation stops the phase.
    if (m_state.installLLM()) {
        co_await installRuntime();
        if (!self)
            co_return;
    }
    const std::optional<QString> stopped = co_await prepareCli();
    if (!self)
        co_return;
    if (stopped) {
        stop(*stopped);
        co_return;
    }
    m_state.setCliStatus(DependencyStatus::installed());
    m_state.setKeychainStatus(DependencyStatus::installed());
    m_state.setMachineStatus(DependencyStatus::installing());

    // Without a registered machine nothing later works (no agent links, no
    // approvals): a failed registration stops the phase, and the button retries.
    const std::optional<QString> unregistered = co_await registerMachine();
    if (!self)
        co_return;
    if (unregistered) {
        m_state.setMachineStatus(DependencyStatus::failed(*unregistered));
        stop(*unregistered);
        co_return;
    }
    m_state.setMachineStatus(DependencyStatus::installed());
    registerLoginItem();
    // The model needs the runtime; without it the dashboard offers both later.
    if (m_state.installLLM() && m_state.ollamaStatus() == DependencyStatus::installed()) {
        co_await startModelDownload();
        if (!self)
            co_return;
    }
    // The button stays disabled while the tool scan runs.
    co_await finish();
    if (self)
        m_running = false;
}

QString InstallPhase::runtimeFailureText(const QString& what)
{
    QString text = what.trimmed();
    if (text.endsWith(u'.'))
        text.chop(1);
    return text + QStringLiteral(". You can install the local model later from the dashboard");
}

QCoro::Task<> InstallPhase::installRuntime()
{
    if (!m_dependencies) {
        m_state.setOllamaStatus(
            DependencyStatus::failed(runtimeFailureText(QStringLiteral("Ollama installer unavailable"))));
        co_return;
    }
    // The row follows every status the installer reports, while the model lives.
    // (Handlers are named, never temporaries of a co_await expression: GCC
    // destroys such temporaries twice.)
    const QPointer<WizardState> state(&m_state);
    // A failure says what failed and that the model can come later.
    const auto onStatus = [state](const DependencyStatus& status) {
        if (!state)
            return;
        if (status.kind() != DependencyStatus::Kind::failed) {
            state->setOllamaStatus(status);
            return;
        }
        SystemLog::write(
            lcWizard(), QStringLiteral("Quorvane: local model runtime not installed: ") + status.message());
        state->setOllamaStatus(DependencyStatus::failed(runtimeFailureText(status.message())));
    };
    // Called before the co_await, as in prepareCli.
    QCoro::Task<CLIResult<DependencyStatus>> installing = m_dependencies->installOllamaIfMissing(onStatus);
    co_await std::move(installing);
}

QCoro::Task<std::optional<QString>> InstallPhase::prepareCli()
{
    m_state.setCliStatus(DependencyStatus::installing());
    if (!m_cli) {
        const QString message
            = CLIError::launchFailed(QStringLiteral("the product tool is unavailable")).description();
        m_state.setCliStatus(DependencyStatus::failed(message));
        co_return message;
    }
    const QPointer<InstallPhase> self(this);
    const QStringList arguments{QStringLiteral("init"), QStringLiteral("--preflight")};
    const CLIService::EventHandler onEvent = [self](const CLIEvent& event) {
        if (self)
            self->applyPreflightEvent(event);
    };
    // The call is made before the co_await: GCC 12 destroys the temporaries of
    // a co_await's operand twice (here the handler's copy of the pointer).
    m_preparation = CLICancelToken();
    QCoro::Task<CLIResult<void>> running
        = m_cli->run(arguments, QString(), onEvent, m_preparation, CLIRunLimits::init());
    const CLIResult<void> prepared = co_await std::move(running);
    if (!self)
        co_return std::nullopt;
    if (!prepared) {
        const QString message = prepared.error().description();
        m_state.setCliStatus(DependencyStatus::failed(message));
        co_return message;
    }
    co_return std::nullopt;
}

void InstallPhase::applyPreflightEvent(const CLIEvent& event)
{
    if (event.type == QLatin1String("error")) {
        m_state.setErrorMessage(event.message.value_or(installationFailed));
    } else if (event.type == QLatin1String("complete")) {
        m_state.setCliStatus(DependencyStatus::installed());
        m_state.setKeychainStatus(DependencyStatus::installed());
    }
}

QCoro::Task<std::optional<QString>> InstallPhase::registerMachine()
{
    if (!m_auth)
        co_return QStringLiteral("Machine registration unavailable");
    const QString token = m_state.sessionToken();
    if (token.isEmpty()) {
        // Only an identity that is already loaded does without a session.
        if (m_auth->isConfigured())
            co_return std::nullopt;
        co_return QStringLiteral("Not signed in: sign in again to register this computer");
    }
    const QPointer<InstallPhase> self(this);
    const QString email = m_state.signedInEmail();
    const std::optional<MachineRegistrationError> failure = co_await m_auth->registerMachine(token, email);
    if (!self)
        co_return std::nullopt;
    if (failure) {
        SystemLog::write(lcWizard(), QStringLiteral("Quorvane: machine registration failed: ") + failure->description());
        co_return failure->description();
    }
    if (!m_auth->isConfigured())
        co_return QStringLiteral("Machine registration left no usable identity");
    co_return std::nullopt;
}

void InstallPhase::registerLoginItem()
{
    if (!m_loginItem)
        return;
    if (const std::optional<QString> failure = m_loginItem->registerItem())
        SystemLog::write(lcWizard(), QStringLiteral("Quorvane: Login item registration failed: ") + *failure);
}

QCoro::Task<> InstallPhase::startModelDownload()
{
    m_state.setLlmDownloading(true);
    m_state.setLlmDownloadProgress(0.0);
    m_state.setLlmDownloadComplete(false);
    if (!m_cli)
        co_return;
    // The handler holds the model weakly: the download may outlive it.
    const QPointer<InstallPhase> self(this);
    const QStringList arguments{QStringLiteral("download-model"), QStringLiteral("--wizard")};
    const CLIService::EventHandler onEvent = [self](const CLIEvent& event) {
        if (self)
            self->applyModelDownloadEvent(event);
    };
    // Called before the co_await, as in prepareCli.
    QCoro::Task<CLIResult<std::shared_ptr<CLIProcess>>> starting = m_cli->start(arguments, onEvent);
    CLIResult<std::shared_ptr<CLIProcess>> started = co_await std::move(starting);
    if (!self || !started)
        co_return;
    m_state.setLlmProcess(std::move(started.value()));
}

void InstallPhase::applyModelDownloadEvent(const CLIEvent& event)
{
    if (event.progress)
        m_state.setLlmDownloadProgress(*event.progress);
    if (event.type == QLatin1String("complete")) {
        m_state.setLlmDownloadComplete(true);
        m_state.setLlmDownloading(false);
    } else if (event.type == QLatin1String("error")) {
        m_state.setLlmDownloading(false);
    }
}

QCoro::Task<> InstallPhase::finish()
{
    if (!m_state.approverOnly()) {
        const QPointer<InstallPhase> self(this);
        co_await m_state.detectTools();
        if (!self)
            co_return;
        m_state.setIsLoading(false);
        m_state.setCurrentScreen(WizardState::WizardScreen::configure);
        co_return;
    }
    // "Ready to approve" needs this machine's identity.
    if (!m_auth || !m_auth->isConfigured()) {
        const QString message = QStringLiteral("This computer has no machine identity; registration must succeed first");
        m_state.setMachineStatus(DependencyStatus::failed(message));
        stop(message);
        co_return;
    }
    m_state.setIsLoading(false);
    m_state.setIsApproverOnly(true);
    // The marker alone says "approval device"; a failure to write it is ignored.
    const QString marker = CoreConstants::approverOnlyPath();
    QFile file(marker);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        SystemLog::write(lcWizard(),
            QStringLiteral("Quorvane: approval-device marker not written: ") + file.errorString());
    m_state.setCurrentScreen(WizardState::WizardScreen::done);
}

void InstallPhase::stop(const QString& message)
{
    m_state.setIsLoading(false);
    m_state.setErrorMessage(message);
    m_running = false;
}
