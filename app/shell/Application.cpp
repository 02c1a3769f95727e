#include "app/shell/Application.h"

#include "app/shell/StatusItemNotifierItem.h"
#include "app/shell/StatusItemTray.h"
#include "app/views/ViewsLibrary.h"
#include "app/wizard/InstallPhase.h"
#include "app/wizard/WizardState.h"
#include "core/CoreConstants.h"
#include "core/LogCategories.h"
#include "platform/CredentialStoreFactory.h"
#include "platform/MachineIdentifier.h"
#include "platform/PolkitPresenceConfirmer.h"
#include "platform/XdgUrlSchemeRegistration.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QGuiApplication>
#include <QSessionManager>
#include <QSystemTrayIcon>

#include <cstdio>

namespace {

void printLine(const QString& line)
{
    std::fputs(line.toUtf8().constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

// Only polkit needs our action installed; a stand-in confirmer asks nobody.
std::optional<PresencePolicy> watchedPresencePolicy(const PresenceConfirmer& confirmer)
{
    if (!qobject_cast<const PolkitPresenceConfirmer*>(&confirmer))
        return std::nullopt;
    return PresencePolicy();
}

} // namespace

Application::Application(Options options, QObject* parent)
    : QObject(parent)
    , m_options(options)
    , m_credentialStore(CredentialStoreFactory::create())
    , m_auth(*m_credentialStore, m_network, &MachineIdentifier::localMachine)
    , m_receipts(CoreConstants::receiptLogPath())
    , m_history(m_receipts)
    , m_sync(m_auth, &m_receipts)
    , m_updates(&m_network)
    , m_cli(&m_privilegedRunner)
    , m_runtimeServer(&m_network)
    , m_dependencies(&m_network, &m_cli, &m_runtimeServer)
    , m_home(m_cli, m_dependencies, m_auth, m_network, m_settings, m_wizard.install()->modelDownload(), &m_history)
    , m_windows(m_wizard, &m_home)
    , m_presence(PresenceConfirmer::createDefault())
    , m_biometric(*m_presence)
    , m_presencePolicy(watchedPresencePolicy(*m_presence), m_privilegedRunner)
    , m_trust(m_auth, m_sync.decisionNetwork(), m_biometric, &m_sync, &m_receipts, &m_presencePolicy)
    , m_panel(m_sync, m_updates, m_trust)
    , m_popover(ApprovalsPanel::viewUrl(), { { QStringLiteral("panel"), QVariant::fromValue(&m_panel) } })
    , m_trayShell(
          TrayShell::Services { m_auth, m_sync, m_updates, m_windows, m_notifier },
          [this] { return makeStatusItem(); }, m_popover, m_quitPrompt)
    , m_quitGuard([this] { return m_trayShell.confirmQuit(); })
{
    m_network.setTransferTimeout(MachineAuthService::requestTimeoutMilliseconds);
    m_home.setUpdates(&m_updates);
    HomeState::Platform platform{&m_loginItem, &m_desktopRegistration, &m_notifier, &m_installation, [this] {
                                     m_trayShell.setAllowTermination(true);
                                     QCoreApplication::quit();
                                 }};
    platform.runtimeServer = &m_runtimeServer;
    m_home.setPlatform(platform);
    m_wizard.setServices({&m_network, &m_cli, &m_dependencies, &m_auth, &m_loginItem, {}});
    QCoreApplication::instance()->installEventFilter(&m_quitGuard);
    // The windows are dark unless the desktop prefers light.
    connect(&m_colorScheme, &ColorSchemePreference::schemeChanged, this, [this] {
        ViewsLibrary::setDarkAppearance(m_colorScheme.scheme() != ColorSchemePreference::Scheme::preferLight);
        if (m_tray)
            m_tray->setColorScheme(m_colorScheme.scheme());
    });
    connect(&m_termination, &TerminationSignalNotifier::terminationRequested, &m_trayShell, &TrayShell::endSession);
    // The session manager saves and ends the session: no question then.
    if (auto* gui = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        connect(gui, &QGuiApplication::commitDataRequest, &m_trayShell,
                [this](QSessionManager&) { m_trayShell.setAllowTermination(true); });
    }
    connect(&m_popover, &PopoverHost::shownChanged, &m_panel, &ApprovalsPanel::setShown);
    // Where the desktop offers a global shortcut, it opens the popover once the tray is up.
    connect(&m_trayShell, &TrayShell::statusItemReadyChanged, &m_shortcut, &GlobalShortcut::bind);
    connect(&m_shortcut, &GlobalShortcut::activated, &m_trayShell, &TrayShell::showPopover);
    connect(&m_panel, &ApprovalsPanel::closeRequested, &m_popover, &PopoverWindow::close);
    connect(&m_trayShell, &TrayShell::freezeRequested, m_panel.freeze(), &FreezeAll::requestConfirmation);
    connect(m_panel.freeze(), &FreezeAll::autoOpenPaused, &m_trayShell, &TrayShell::pauseAutoOpen);
    connect(m_panel.freeze(), &FreezeAll::finished, &m_trayShell, &TrayShell::reportFreeze);
    connect(&m_trayShell, &TrayShell::isMutedChanged, this, [this] {
        m_panel.setAutoOpenPaused(m_trayShell.isMuted());
        m_home.setAutoOpenPaused(m_trayShell.isMuted());
    });
    connect(&m_panel, &ApprovalsPanel::resumeRequested, &m_trayShell, &TrayShell::resumeAutoOpen);
    connect(&m_home, &HomeState::resumeRequested, &m_trayShell, &TrayShell::resumeAutoOpen);
    connect(&m_sync, &ApprovalSyncService::identityRefusedChanged, &m_home, &HomeState::setIdentityRefused);
    // A report or notice on the popover keeps it open until dismissed.
    connect(&m_panel, &ApprovalsPanel::holdsPopoverChanged, &m_trayShell,
        [this] { m_trayShell.setPopoverHeld(m_panel.holdsPopover()); });
    connect(m_panel.connection(), &ConnectionStatus::changed, &m_trayShell,
        [this] { m_trayShell.setConnectionNote(m_panel.connection()->text()); });
    // Back to the sign-in, which registers this machine again; the agents stay.
    const auto setUpAgain = [this] {
        m_settingUpAgain = true;
        m_popover.close();
        m_wizard.signInAgain();
        m_windows.showWizard();
    };
    connect(&m_panel, &ApprovalsPanel::setUpAgainRequested, this, setUpAgain);
    connect(&m_home, &HomeState::setUpAgainRequested, this, setUpAgain);
    // The wizard has closed: the sync takes the identity it may have registered.
    connect(&m_windows, &ShellWindows::wizardWindowChanged, this, [this] {
        if (!m_settingUpAgain || m_windows.wizardWindow())
            return;
        m_settingUpAgain = false;
        m_auth.reload();
        m_sync.stop();
        m_sync.start();
    });
    // Uninstalled: nothing may go on deciding, and the program ends with the
    // dashboard that shows the uninstall's report.
    connect(&m_home, &HomeState::uninstallCompleteChanged, this, [this] {
        if (!m_home.uninstallComplete())
            return;
        m_sync.stop();
        m_popover.close();
        m_trayShell.setAllowTermination(true);
        if (!m_windows.dashboardWindow())
            QCoreApplication::quit();
    });
    connect(&m_windows, &ShellWindows::dashboardWindowChanged, this, [this] {
        if (m_home.uninstallComplete() && !m_windows.dashboardWindow())
            QCoreApplication::quit();
    });
    // Without a tray menu, the popover and the dashboard offer "Quit Quorvane".
    const auto offerQuitWithoutTray = [this](QuitOffer* offer) {
        offer->setOffered(!(m_tray && m_tray->isInTray()));
    };
    connect(&m_popover, &PopoverHost::shownChanged, this, [=, this] { offerQuitWithoutTray(m_panel.quitOffer()); });
    connect(&m_windows, &ShellWindows::dashboardWindowChanged, this,
            [=, this] { offerQuitWithoutTray(m_home.quitOffer()); });
    for (QuitOffer* offer : {m_panel.quitOffer(), m_home.quitOffer()})
        connect(offer, &QuitOffer::quitRequested, &m_trayShell, &TrayShell::contextQuit);
    connect(&m_panel, &ApprovalsPanel::openDashboardRequested, this, [this] {
        m_popover.close();
        m_trayShell.contextOpenDashboard();
    });
    if (m_options.reportReady) {
        connect(&m_popover, &PopoverWindow::firstFrameShown, this, [](qint64 milliseconds) {
            printLine(QStringLiteral("Quorvane: popover shown in %1 ms").arg(milliseconds));
        });
    }
    if (m_options.reportPending) {
        connect(&m_trayShell, &TrayShell::pendingCountShown, this,
                [](int count) { printLine(QStringLiteral("Quorvane: pending count %1").arg(count)); });
        WizardState* wizard = &m_wizard;
        connect(wizard, &WizardState::currentScreenChanged, this, [wizard] {
            printLine(QStringLiteral("Quorvane: wizard screen %1").arg(int(wizard->currentScreen())));
        });
    }
}

Application::~Application()
{
    QCoreApplication::instance()->removeEventFilter(&m_quitGuard);
    m_sync.stop();
}

std::unique_ptr<StatusItem> Application::makeStatusItem()
{
    // A StatusNotifierItem where a watcher runs (Plasma, waybar, swaybar, GNOME
    // with its AppIndicator extension), or where no tray runs yet at all: the
    // item registers once a bar starts. Qt's tray icon for an XEmbed tray.
    std::unique_ptr<StatusItem> item;
    if (StatusNotifierItem::watcherPresent() || !QSystemTrayIcon::isSystemTrayAvailable()) {
        item = std::make_unique<StatusItemNotifierItem>();
    } else {
        item = std::make_unique<StatusItemTray>(m_trayShade);
    }
    m_tray = item.get();
    m_popover.setTrayAvailable([this] { return m_tray && m_tray->isInTray(); });
    item->setColorScheme(m_colorScheme.scheme());
    item->setIcon(StatusItemIcon::forState(false, 0));
    if (auto* tray = qobject_cast<StatusItemTray*>(item.get()))
        tray->show(); // once it has an icon
    if (m_options.reportReady)
        printLine(QStringLiteral("Quorvane: tray icon shown"));
    return item;
}

void Application::start()
{
    registerUrlSchemeOfUserInstallation();
    m_trayShell.start();
}

void Application::registerUrlSchemeOfUserInstallation()
{
    // A package registers our desktop entry system-wide. An installed tree
    // elsewhere (a release archive unpacked in the home folder) registers
    // itself for the person, so that the browser's sign-in callback reaches
    // it; a build tree, which ships no entry, registers nothing.
    const QString prefix = UpdateCheckService::defaultInstallPrefix();
    if (UpdateCheckService::isPackageManaged(prefix)
        || !QFileInfo::exists(prefix + QStringLiteral("/share/applications/")
                              + QLatin1String(XdgUrlSchemeRegistration::desktopId)))
        return;
    XdgUrlSchemeRegistration registration;
    if (registration.isRegistered())
        return;
    if (const std::optional<QString> failure = registration.registerHandler())
        qCWarning(lcShell).noquote()
            << QStringLiteral("Quorvane: registering the quorvane: link handler failed: ") + *failure;
}
