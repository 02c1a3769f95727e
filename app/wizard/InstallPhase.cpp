#include "app/wizard/InstallPhase.h"

#include "app/tooling/CLIService.h"
#include "app/tooling/DependencyService.h"
#include "app/wizard/AccountSignIn.h"
#include "app/wizard/AgentConfiguration.h"
#include "app/wizard/ModelDownload.h"
#include "core/CoreConstants.h"
#include "core/LifetimeGuard.h"
#include "core/LogCategories.h"
#include "core/MachineAuthService.h"
#include "platform/LoginItem.h"

#include <QFile>

namespace {

QString installationFailed()
{
    return InstallPhase::tr("Installation failed");
}

} // namespace

InstallPhase::InstallPhase(const AccountSignIn& account, AgentConfiguration& configuration, QObject* parent)
    : QObject(parent)
    , m_account(account)
    , m_configuration(configuration)
    , m_modelDownload(new ModelDownload(this))
{
}

InstallPhase::~InstallPhase()
{
    m_preparation.cancel();
}

void InstallPhase::cancel()
{
    m_preparation.cancel();
}

void InstallPhase::setServices(const Services& services)
{
    m_cli = services.cli;
    m_dependencies = services.dependencies;
    m_auth = services.auth;
    m_loginItem = services.loginItem;
}

void InstallPhase::showInstallScreen()
{
    if (!m_dependencies)
        return;
    setModelUnavailableReason(m_dependencies->installBlockedReason().value_or(QString()));
    setOllamaStatus(
        m_dependencies->isOllamaInstalled() ? DependencyStatus::installed() : DependencyStatus::missing());
}

QCoro::Task<> InstallPhase::runInstall()
{
    if (m_running)
        co_return;
    const LifetimeGuard guard(this);
    setRunning(true);
    setErrorMessage(QString());

    // The runtime (when chosen), then the product tool's preparation. The
    // runtime is optional: its failure shows on its row and the phase goes on;
    // a failed preparation stops the phase.
    if (m_installLLM) {
        co_await installRuntime();
        if (!guard.alive())
            co_return;
    }
    const std::optional<QString> stopped = co_await prepareCli();
    if (!guard.alive())
        co_return;
    if (stopped) {
        stop(*stopped);
        co_return;
    }
    setCliStatus(DependencyStatus::installed());
    setCredentialStoreStatus(DependencyStatus::installed());
    setMachineStatus(DependencyStatus::installing());

    // Without a registered machine nothing later works (no agent links, no
    // approvals): a failed registration stops the phase, and the button retries.
    const std::optional<QString> unregistered = co_await registerMachine();
    if (!guard.alive())
        co_return;
    if (unregistered) {
        setMachineStatus(DependencyStatus::failed(*unregistered));
        stop(*unregistered);
        co_return;
    }
    setMachineStatus(DependencyStatus::installed());
    registerLoginItem();
    // The model needs the runtime; without it the dashboard offers both later.
    if (m_installLLM && m_ollamaStatus == DependencyStatus::installed()) {
        co_await m_modelDownload->start(m_cli);
        if (!guard.alive())
            co_return;
    }
    // The button stays disabled while the tool scan runs.
    co_await finish();
}

QString InstallPhase::runtimeFailureText(const QString& what)
{
    QString text = what.trimmed();
    if (text.endsWith(u'.'))
        text.chop(1);
    return tr("%1. You can install the local model later from the dashboard").arg(text);
}

QCoro::Task<> InstallPhase::installRuntime()
{
    if (!m_dependencies) {
        setOllamaStatus(DependencyStatus::failed(runtimeFailureText(tr("Ollama installer unavailable"))));
        co_return;
    }
    // The row follows every status the installer reports, while the phase lives.
    // (Handlers are named, never temporaries of a co_await expression: GCC
    // destroys such temporaries twice.)
    const LifetimeGuard guard(this);
    // A failure says what failed and that the model can come later.
    const auto onStatus = [this, guard](const DependencyStatus& status) {
        if (!guard.alive())
            return;
        if (status.kind() != DependencyStatus::Kind::failed) {
            setOllamaStatus(status);
            return;
        }
        qCWarning(lcWizard).noquote() << QStringLiteral("Quorvane: local model runtime not installed: ") + status.message();
        setOllamaStatus(DependencyStatus::failed(runtimeFailureText(status.message())));
    };
    // Called before the co_await, as in prepareCli.
    QCoro::Task<CLIResult<DependencyStatus>> installing = m_dependencies->installOllamaIfMissing(onStatus);
    co_await std::move(installing);
}

QCoro::Task<std::optional<QString>> InstallPhase::prepareCli()
{
    setCliStatus(DependencyStatus::installing());
    if (!m_cli) {
        const QString message = CLIError::launchFailed(tr("the product tool is unavailable")).description();
        setCliStatus(DependencyStatus::failed(message));
        co_return message;
    }
    const LifetimeGuard guard(this);
    const QStringList arguments{QStringLiteral("init"), QStringLiteral("--preflight")};
    const CLIService::EventHandler onEvent = [this, guard](const CLIEvent& event) {
        if (guard.alive())
            applyPreflightEvent(event);
    };
    // The call is made before the co_await: GCC 12 destroys the temporaries of
    // a co_await's operand twice (here the handler's copy of the pointer).
    m_preparation = CLICancelToken();
    QCoro::Task<CLIResult<void>> running
        = m_cli->run(arguments, QString(), onEvent, m_preparation, CLIRunLimits::init());
    const CLIResult<void> prepared = co_await std::move(running);
    if (!guard.alive())
        co_return std::nullopt;
    if (!prepared) {
        const QString message = prepared.error().description();
        setCliStatus(DependencyStatus::failed(message));
        co_return message;
    }
    co_return std::nullopt;
}

void InstallPhase::applyPreflightEvent(const CLIEvent& event)
{
    if (event.type == QLatin1String("error")) {
        setErrorMessage(event.message.value_or(installationFailed()));
    } else if (event.type == QLatin1String("complete")) {
        setCliStatus(DependencyStatus::installed());
        setCredentialStoreStatus(DependencyStatus::installed());
    }
}

QCoro::Task<std::optional<QString>> InstallPhase::registerMachine()
{
    if (!m_auth)
        co_return tr("Machine registration unavailable");
    const QString token = m_account.sessionToken();
    if (token.isEmpty()) {
        // Only an identity that is already loaded does without a session.
        if (m_auth->isConfigured())
            co_return std::nullopt;
        co_return tr("Not signed in: sign in again to register this computer");
    }
    const LifetimeGuard guard(this);
    const QString email = m_account.email();
    const std::optional<MachineRegistrationError> failure = co_await m_auth->registerMachine(token, email);
    if (!guard.alive())
        co_return std::nullopt;
    if (failure) {
        qCWarning(lcWizard).noquote() << QStringLiteral("Quorvane: machine registration failed: ") + failure->description();
        co_return failure->description();
    }
    if (!m_auth->isConfigured())
        co_return tr("Machine registration left no usable identity");
    co_return std::nullopt;
}

void InstallPhase::registerLoginItem()
{
    if (!m_loginItem)
        return;
    if (const std::optional<QString> failure = m_loginItem->registerItem())
        qCWarning(lcWizard).noquote() << QStringLiteral("Quorvane: Login item registration failed: ") + *failure;
}

QCoro::Task<> InstallPhase::finish()
{
    if (!m_approverOnly) {
        const LifetimeGuard guard(this);
        co_await m_configuration.detectTools();
        if (!guard.alive())
            co_return;
        setRunning(false);
        Q_EMIT finished();
        co_return;
    }
    // "Ready to approve" needs this machine's identity.
    if (!m_auth || !m_auth->isConfigured()) {
        const QString message = tr("This computer has no machine identity; registration must succeed first");
        setMachineStatus(DependencyStatus::failed(message));
        stop(message);
        co_return;
    }
    setRunning(false);
    // The marker alone says "approval device"; a failure to write it is ignored.
    const QString marker = CoreConstants::approverOnlyPath();
    QFile file(marker);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        qCWarning(lcWizard).noquote() << QStringLiteral("Quorvane: approval-device marker not written: ") + file.errorString();
    Q_EMIT finished();
}

void InstallPhase::stop(const QString& message)
{
    setRunning(false);
    setErrorMessage(message);
}

void InstallPhase::chooseInstallLLM(bool value)
{
    if (m_installLLM == value || (value && !m_modelUnavailableReason.isEmpty()))
        return;
    m_installLLM = value;
    Q_EMIT installLLMChanged();
}

void InstallPhase::chooseDiscoverMcpServers(bool value)
{
    if (m_discoverMcpServers == value)
        return;
    m_discoverMcpServers = value;
    Q_EMIT discoverMcpServersChanged();
}

void InstallPhase::chooseApproverOnly(bool value)
{
    if (m_approverOnly == value)
        return;
    m_approverOnly = value;
    Q_EMIT approverOnlyChanged();
    if (m_approverOnly) {
        chooseInstallLLM(false);
        chooseDiscoverMcpServers(false);
    }
}

void InstallPhase::setRunning(bool value)
{
    if (m_running == value)
        return;
    m_running = value;
    Q_EMIT isRunningChanged();
}

void InstallPhase::setErrorMessage(const QString& value)
{
    if (m_errorMessage == value)
        return;
    m_errorMessage = value;
    Q_EMIT errorMessageChanged();
}

// A reason turns the model off.
void InstallPhase::setModelUnavailableReason(const QString& reason)
{
    if (m_modelUnavailableReason == reason)
        return;
    m_modelUnavailableReason = reason;
    if (!reason.isEmpty())
        chooseInstallLLM(false);
    Q_EMIT modelUnavailableReasonChanged();
}

void InstallPhase::setOllamaStatus(const DependencyStatus& value)
{
    if (m_ollamaStatus == value)
        return;
    m_ollamaStatus = value;
    Q_EMIT ollamaStatusChanged();
}

void InstallPhase::setCliStatus(const DependencyStatus& value)
{
    if (m_cliStatus == value)
        return;
    m_cliStatus = value;
    Q_EMIT cliStatusChanged();
}

void InstallPhase::setCredentialStoreStatus(const DependencyStatus& value)
{
    if (m_credentialStoreStatus == value)
        return;
    m_credentialStoreStatus = value;
    Q_EMIT credentialStoreStatusChanged();
}

void InstallPhase::setMachineStatus(const DependencyStatus& value)
{
    if (m_machineStatus == value)
        return;
    m_machineStatus = value;
    Q_EMIT machineStatusChanged();
}
