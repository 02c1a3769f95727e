#pragma once

#include "AppDelegate.h"
#include "ApprovalsPanel.h"
#include "BiometricService.h"
#include "PresenceConfirmer.h"
#include "TrustWindowState.h"
#include "ApprovalSyncService.h"
#include "CLIService.h"
#include "CredentialStore.h"
#include "DependencyService.h"
#include "HomeState.h"
#include "MachineAuthService.h"
#include "PkexecPrivilegedRunner.h"
#include "FreedesktopNotifier.h"
#include "PopoverWindow.h"
#include "PortalColorSchemePreference.h"
#include "QuitGuard.h"
#include "StatusItemTray.h"
#include "TerminationSignalNotifier.h"
#include "UpdateCheckService.h"
#include "WindowManager.h"

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
    AppDelegate& delegate() { return m_delegate; }
    WindowManager& windows() { return m_windows; }

private:
    std::unique_ptr<StatusItem> makeStatusItem();
    QColor trayLabelColour() const;

    Options m_options;
    QNetworkAccessManager m_network;
    std::unique_ptr<CredentialStore> m_credentialStore;
    MachineAuthService m_auth;
    ApprovalSyncService m_sync;
    UpdateCheckService m_updates;
    PkexecPrivilegedRunner m_privilegedRunner;
    CLIService m_cli;
    DependencyService m_dependencies;
    QSettings m_settings;
    WindowManager m_windows;
    HomeState m_home;
    std::unique_ptr<PresenceConfirmer> m_presence;
    BiometricService m_biometric;
    TrustWindowState m_trust;
    ApprovalsPanel m_panel;
    PopoverWindow m_popover;
    MessageBoxQuitPrompt m_quitPrompt;
    FreedesktopNotifier m_notifier;
    AppDelegate m_delegate;
    QuitGuard m_quitGuard;
    TerminationSignalNotifier m_termination;
    PortalColorSchemePreference m_colorScheme;
    QPointer<StatusItemTray> m_tray;
};
