#pragma once

#include "app/dashboard/HomeState.h"
#include "app/panel/ApprovalsPanel.h"
#include "app/receipts/ReceiptHistoryModel.h"
#include "app/shell/PopoverWindow.h"
#include "app/shell/QuitGuard.h"
#include "app/shell/ShellWindows.h"
#include "app/shell/StatusItemTray.h"
#include "app/shell/TrayLabelShade.h"
#include "app/shell/TrayShell.h"
#include "app/tooling/CLIService.h"
#include "app/tooling/DependencyService.h"
#include "app/tooling/ModelRuntimeServer.h"
#include "app/trust/PresenceConfirmation.h"
#include "app/trust/PresencePolicyState.h"
#include "app/trust/TrustWindowState.h"
#include "app/wizard/WizardState.h"
#include "core/ApprovalSyncService.h"
#include "core/CredentialStore.h"
#include "core/MachineAuthService.h"
#include "core/ReceiptLog.h"
#include "core/UpdateCheckService.h"
#include "platform/ApplicationInstallation.h"
#include "platform/FreedesktopNotifier.h"
#include "platform/PkexecPrivilegedRunner.h"
#include "platform/PortalColorSchemePreference.h"
#include "platform/PortalGlobalShortcut.h"
#include "platform/PresenceConfirmer.h"
#include "platform/TerminationSignalNotifier.h"
#include "platform/XdgAutostartLoginItem.h"
#include "platform/XdgDesktopRegistration.h"

#include <QNetworkAccessManager>
#include <QObject>
#include <QPointer>
#include <QSettings>

#include <memory>

// The composition root: every long-lived service of the process, made once
// with its dependencies, in the order they depend on each other.
class Application : public QObject
{
    Q_OBJECT

public:
    struct Options
    {
        // Print "Quorvane: tray icon shown" on standard output once the tray
        // icon is up (start-up measurements).
        bool reportReady = false;
        // Dev builds only: print "Quorvane: pending count N" for every count
        // the status item shows, and "Quorvane: wizard screen N" for every
        // screen the wizard moves to (end-to-end tests).
        bool reportPending = false;
    };

    explicit Application(Options options, QObject* parent = nullptr);
    ~Application() override;

    void start();
    TrayShell& trayShell() { return m_trayShell; }
    ShellWindows& windows() { return m_windows; }

private:
    std::unique_ptr<StatusItem> makeStatusItem();
    void registerUrlSchemeOfUserInstallation();

    Options m_options;
    // Taken first, before any of our windows sets the application's palette.
    TrayLabelShade m_trayShade;
    QNetworkAccessManager m_network;
    std::unique_ptr<CredentialStore> m_credentialStore;
    MachineAuthService m_auth;
    ReceiptLog m_receipts;
    ReceiptHistoryModel m_history;
    ApprovalSyncService m_sync;
    UpdateCheckService m_updates;
    PkexecPrivilegedRunner m_privilegedRunner;
    CLIService m_cli;
    ModelRuntimeServer m_runtimeServer;
    DependencyService m_dependencies;
    XdgAutostartLoginItem m_loginItem;
    QSettings m_settings;
    WizardState m_wizard;
    HomeState m_home;
    ShellWindows m_windows;
    std::unique_ptr<PresenceConfirmer> m_presence;
    PresenceConfirmation m_biometric;
    PresencePolicyState m_presencePolicy;
    TrustWindowState m_trust;
    ApprovalsPanel m_panel;
    PopoverWindow m_popover;
    MessageBoxQuitPrompt m_quitPrompt;
    FreedesktopNotifier m_notifier;
    XdgDesktopRegistration m_desktopRegistration;
    ApplicationInstallation m_installation;
    TrayShell m_trayShell;
    QuitGuard m_quitGuard;
    TerminationSignalNotifier m_termination;
    PortalColorSchemePreference m_colorScheme;
    PortalGlobalShortcut m_shortcut;
    QPointer<StatusItem> m_tray;
    bool m_settingUpAgain = false; // the wizard was opened by "Set up this machine again"
};
