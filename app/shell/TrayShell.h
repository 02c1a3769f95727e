#pragma once

#include "app/shell/EscalationNotice.h"
#include "app/shell/QuitGuard.h"
#include "app/shell/StatusItem.h"

#include <QCoroTask>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QUrl>
#include <functional>
#include <memory>
#include <optional>

class ApprovalSyncService;
class DesktopNotifier;
class MachineAuthService;
class PopoverHost;
class ShellWindows;
class UpdateCheckService;

// The tray program's shell: chooses at start-up between the wizard and the
// tray service, owns the status item and drives the popover, starts the
// long-lived services once, routes opened URLs, and guards quitting.
class TrayShell : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool isMuted READ isMuted NOTIFY isMutedChanged)
    Q_PROPERTY(bool statusItemReady READ statusItemReady NOTIFY statusItemReadyChanged)
    Q_PROPERTY(bool servicesStarted READ servicesStarted NOTIFY servicesStartedChanged)
    Q_PROPERTY(bool allowTermination READ allowTermination WRITE setAllowTermination NOTIFY allowTerminationChanged)

public:
    struct Services
    {
        MachineAuthService& auth;
        ApprovalSyncService& sync;
        UpdateCheckService& updates;
        ShellWindows& windows;
        // Announces escalations when there is no tray to show the icon in.
        DesktopNotifier& notifier;
    };
    using StatusItemFactory = std::function<std::unique_ptr<StatusItem>()>;
    using Terminator = std::function<void()>;

    // popover and quitPrompt must outlive the shell. The status item is made
    // by the factory when setUpStatusItem runs. The terminator asks the
    // application to quit (default: QCoreApplication::quit()).
    TrayShell(Services services, StatusItemFactory statusItemFactory, PopoverHost& popover, QuitPrompt& quitPrompt,
                QObject* parent = nullptr);
    ~TrayShell() override;

    void setTerminator(Terminator terminator) { m_terminator = std::move(terminator); }

    // Start-up: the wizard when set-up is not complete; else the status item
    // and the services.
    void start();
    // Another start of the program (or the desktop) asks for us: without a
    // visible window, the dashboard; without a tray, the popover (the only
    // other way to it is a notification).
    void reopen(bool hasVisibleWindows);
    // URLs handed over by a second start, in order, to the wizard's callback.
    void openURLs(const QList<QUrl>& urls);
    // A quit request: true to quit now. false when refused or when the question
    // is open (a "Quit Anyway" answer then quits).
    bool confirmQuit();

    void setUpStatusItem();
    // Approval sync, then the update check against this build's own version.
    void startServices();

    void statusItemClicked(StatusItem::Click click);
    void contextToggleMute();
    // "Freeze all": the popover opens on the freeze's confirmation.
    void contextFreezeAll();
    // A freeze stops the popover from opening by itself, as muting does.
    void pauseAutoOpen();
    void contextOpenDashboard();
    // "Quit Quorvane": through the quit question (none before set-up is complete).
    void contextQuit();
    // The session manager or a termination signal: quits without a question.
    void endSession();
    void showPopover();
    void closePopover();
    void updateStatusIcon(int count);
    // The count subscription's delivery: repeated equal counts are dropped;
    // 0 closes the popover unless it is held open.
    void onPendingCount(int count);
    // While held (a report on it waits to be dismissed) the popover does not
    // close because the list emptied.
    void setPopoverHeld(bool held) { m_popoverHeld = held; }
    // "Offline — retrying in N s" and the like, appended to the tooltip.
    void setConnectionNote(const QString& note);
    // What a freeze did: on screen in the popover where there is a tray, else
    // as a desktop notification.
    void reportFreeze(const QString& report);
    // "Resume" (from the menu, the popover or the dashboard): the popover opens
    // by itself again for new requests.
    void resumeAutoOpen();

    QList<StatusItem::MenuEntry> contextMenuEntries() const;

    bool isMuted() const { return m_isMuted; }
    bool statusItemReady() const { return m_statusItemReady; }
    bool servicesStarted() const { return m_servicesStarted; }
    bool allowTermination() const { return m_allowTermination; }
    void setAllowTermination(bool allow);
    StatusItem* statusItem() const { return m_statusItem.get(); }
    bool isStartServicesFinished() const { return m_startFinished; }

Q_SIGNALS:
    void isMutedChanged();
    // The person chose "Freeze all" in the tray menu.
    void freezeRequested();
    void statusItemReadyChanged();
    void servicesStartedChanged();
    void allowTerminationChanged();
    // Each count delivered to the status item (dev builds log them for tests).
    void pendingCountShown(int count);

private:
    void terminate();
    bool trayShowsStatusItem() const;
    void onNewEscalation(const QString& actionId);

    Services m_services;
    StatusItemFactory m_statusItemFactory;
    PopoverHost& m_popover;
    QuitPrompt& m_quitPrompt;
    Terminator m_terminator;
    std::unique_ptr<StatusItem> m_statusItem;
    QList<QMetaObject::Connection> m_subscriptions;
    std::optional<int> m_lastCount;
    bool m_isMuted = false;
    bool m_toldNoTray = false;
    bool m_statusItemReady = false;
    bool m_servicesStarted = false;
    bool m_allowTermination = false;
    bool m_startFinished = false;
    bool m_popoverHeld = false;
    QString m_connectionNote;
    EscalationNotice m_notice;
};
