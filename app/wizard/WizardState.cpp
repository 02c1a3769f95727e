#include "app/wizard/WizardState.h"

#include "app/tooling/CLIService.h"
#include "core/CoreConstants.h"
#include "core/LifetimeGuard.h"
#include "core/LogCategories.h"
#include "core/SignInCallback.h"

#include <QDesktopServices>
#include <QNetworkAccessManager>
#include <QVariantMap>

#include <iterator>
#include <optional>

namespace {

std::optional<WizardState::SetupStep> stepForScreen(WizardState::WizardScreen screen)
{
    using Screen = WizardState::WizardScreen;
    using Step = WizardState::SetupStep;
    switch (screen) {
    case Screen::welcome:
        return std::nullopt;
    case Screen::signIn:
        return Step::signIn;
    case Screen::install:
        return Step::install;
    case Screen::configure:
        return Step::configure;
    case Screen::settingUp:
        return Step::setup;
    case Screen::done:
        return Step::done;
    }
    return std::nullopt;
}

// Translated where they are shown.
constexpr const char* stepLabels[]{QT_TRANSLATE_NOOP("WizardState", "Sign In"),
    QT_TRANSLATE_NOOP("WizardState", "Install"), QT_TRANSLATE_NOOP("WizardState", "Configure"),
    QT_TRANSLATE_NOOP("WizardState", "Setup"), QT_TRANSLATE_NOOP("WizardState", "Done")};

} // namespace

WizardState::WizardState(QObject* parent)
    : QObject(parent)
    , m_account(new AccountSignIn(this))
    , m_configuration(new AgentConfiguration(this))
    , m_install(new InstallPhase(*m_account, *m_configuration, this))
    , m_setup(new SetupRun(*m_account, *m_configuration, this))
    , m_analysis(new ActivityAnalysis(*m_install, this))
    , m_openBrowser(&QDesktopServices::openUrl)
{
    connect(m_account, &AccountSignIn::signedIn, this, [this] {
        Q_EMIT activationRequested();
        setCurrentScreen(WizardScreen::install);
    });
    connect(m_install, &InstallPhase::finished, this, [this] {
        setCurrentScreen(m_install->approverOnly() ? WizardScreen::done : WizardScreen::configure);
    });
    connect(this, &WizardState::currentScreenChanged, this, [this] {
        if (m_currentScreen == WizardScreen::install)
            m_install->showInstallScreen();
    });
}

WizardState::~WizardState() = default;

void WizardState::setServices(const Services& services)
{
    m_network = services.network;
    m_cli = services.cli;
    if (services.openBrowser) {
        m_openBrowser = services.openBrowser;
        m_account->setBrowserOpener(services.openBrowser);
    }
    m_configuration->setCli(services.cli);
    m_analysis->setCli(services.cli);
    m_install->setServices({services.cli, services.dependencies, services.auth, services.loginItem});
}

int WizardState::activeStepOf(int screen)
{
    if (screen < int(WizardScreen::welcome) || screen > int(WizardScreen::done))
        return -1;
    const std::optional<SetupStep> step = stepForScreen(WizardScreen(screen));
    return step ? int(*step) : -1;
}

QVariantList WizardState::steps(int activeStep)
{
    QVariantList steps;
    for (int step = 0; step < int(std::size(stepLabels)); ++step) {
        const StepState state
            = step < activeStep ? StepState::done : (step == activeStep ? StepState::active : StepState::pending);
        steps.append(QVariantMap{
            {QStringLiteral("label"), tr(stepLabels[step])},
            {QStringLiteral("state"), int(state)},
        });
    }
    return steps;
}

void WizardState::getStarted()
{
    if (m_currentScreen == WizardScreen::welcome)
        setCurrentScreen(WizardScreen::signIn);
}

void WizardState::signInAgain()
{
    setCurrentScreen(WizardScreen::signIn);
}

bool WizardState::handleCallbackURL(const QUrl& url)
{
    if (!SignInCallback::hasOurScheme(url))
        return false;
    if (m_currentScreen != WizardScreen::signIn) {
        // A stray or replayed link must not reopen the wizard with another
        // account's session, least of all on a machine that is set up.
        qCInfo(lcWizard).noquote() << QStringLiteral("Quorvane: ignored a sign-in link: no sign-in is waiting for one");
        return true;
    }
    return m_account->handleCallback(url, network());
}

void WizardState::startSetup()
{
    if (m_setup->isRunning())
        return;
    setCurrentScreen(WizardScreen::settingUp);
    runSetup();
}

QCoro::Task<> WizardState::runSetup()
{
    const LifetimeGuard guard(this);
    QCoro::Task<bool> running = m_setup->run(m_cli, network());
    const bool completed = co_await std::move(running);
    if (!guard.alive() || !completed)
        co_return;
    clearSessionToken();
    setCurrentScreen(WizardScreen::done);
    if (m_install->installLLM())
        m_analysis->start();
}

void WizardState::skipSetup()
{
    m_setup->cancel();
    m_install->modelDownload()->stop();
    m_install->chooseInstallLLM(false);
    clearSessionToken();
    setCurrentScreen(WizardScreen::done);
}

void WizardState::cancelAnalysis()
{
    m_analysis->cancel();
}

void WizardState::clearSessionToken()
{
    m_account->forgetSession();
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

void WizardState::setCurrentScreen(WizardScreen value)
{
    if (m_currentScreen == value)
        return;
    m_currentScreen = value;
    Q_EMIT currentScreenChanged();
}

QNetworkAccessManager& WizardState::network()
{
    if (!m_network) {
        m_ownNetwork = std::make_unique<QNetworkAccessManager>();
        m_network = m_ownNetwork.get();
    }
    return *m_network;
}
