#include "app/shell/TrayShell.h"

#include "core/LifetimeGuard.h"
#include "core/AssignAndNotify.h"
#include "app/shell/PopoverHost.h"
#include "app/shell/ShellWindows.h"
#include "app/tooling/CLIService.h"
#include "app/wizard/WizardState.h"
#include "core/ApprovalSyncService.h"
#include "core/LogCategories.h"
#include "core/MachineAuthService.h"
#include "core/UpdateCheckService.h"
#include "platform/DesktopNotifier.h"

#include <QCoreApplication>

namespace {

QString startingServicesLine()
{
    return QStringLiteral("Quorvane: starting services");
}

QString noPushLine()
{
    return QStringLiteral("Quorvane: push notifications are not available on this platform");
}

QString noTrayLine()
{
    return QStringLiteral("Quorvane: no system tray found; new escalations are announced as desktop notifications");
}

} // namespace

TrayShell::TrayShell(Services services, StatusItemFactory statusItemFactory, PopoverHost& popover,
                         QuitPrompt& quitPrompt, QObject* parent)
    : QObject(parent)
    , m_services(services)
    , m_statusItemFactory(std::move(statusItemFactory))
    , m_popover(popover)
    , m_quitPrompt(quitPrompt)
    , m_terminator([] { QCoreApplication::quit(); })
    , m_notice(services.notifier, services.sync)
{
    const LifetimeGuard guard(this);
    m_services.windows.setShell(ShellWindows::Shell{
        [this, guard] {
            if (guard.alive())
                setUpStatusItem();
        },
        [this, guard] {
            if (guard.alive())
                startServices();
        },
        [this, guard] {
            if (guard.alive())
                setAllowTermination(true);
        },
        [this, guard] {
            if (guard.alive())
                terminate();
        },
    });
}

TrayShell::~TrayShell()
{
    for (const QMetaObject::Connection& connection : std::as_const(m_subscriptions))
        disconnect(connection);
    m_services.windows.setShell({});
}

void TrayShell::start()
{
    if (!m_services.windows.isSetupComplete()) {
        m_services.windows.showWizard();
        return;
    }
    setUpStatusItem();
    startServices();
}

void TrayShell::reopen(bool hasVisibleWindows)
{
    if (m_statusItem && !trayShowsStatusItem()) {
        showPopover();
        return;
    }
    if (!hasVisibleWindows)
        m_services.windows.showDashboard();
}

void TrayShell::openURLs(const QList<QUrl>& urls)
{
    for (const QUrl& url : urls) {
        if (!m_services.windows.wizardState().handleCallbackURL(url))
            qCWarning(lcShell).noquote()
                << QStringLiteral("Quorvane: ignored an opened URL that is not a sign-in callback");
    }
}

bool TrayShell::confirmQuit()
{
    if (m_allowTermination || !m_services.windows.isSetupComplete())
        return true;
    const LifetimeGuard guard(this);
    m_quitPrompt.ask([this, guard](QuitPrompt::Choice choice) {
        if (!guard.alive())
            return;
        switch (choice) {
        case QuitPrompt::Choice::openUninstall:
            m_services.windows.showDashboard();
            break;
        case QuitPrompt::Choice::quitAnyway:
            setAllowTermination(true);
            terminate();
            break;
        case QuitPrompt::Choice::cancel:
            break;
        }
    });
    return false;
}

void TrayShell::setUpStatusItem()
{
    if (m_statusItemReady)
        return;
    m_statusItemReady = true;
    Q_EMIT statusItemReadyChanged();

    m_statusItem = m_statusItemFactory ? m_statusItemFactory() : nullptr;
    if (m_statusItem) {
        m_statusItem->setMenu(contextMenuEntries());
        connect(m_statusItem.get(), &StatusItem::clicked, this, &TrayShell::statusItemClicked);
        connect(m_statusItem.get(), &StatusItem::menuTriggered, this, [this](StatusItem::MenuAction action) {
            switch (action) {
            case StatusItem::MenuAction::toggleMute:
                contextToggleMute();
                break;
            case StatusItem::MenuAction::freezeAll:
                contextFreezeAll();
                break;
            case StatusItem::MenuAction::openDashboard:
                contextOpenDashboard();
                break;
            case StatusItem::MenuAction::quit:
                contextQuit();
                break;
            }
        });
    }

    ApprovalSyncService& sync = m_services.sync;
    m_subscriptions.append(
        connect(&sync, &ApprovalSyncService::newEscalationArrived, this, &TrayShell::onNewEscalation));
    m_subscriptions.append(connect(&m_services.notifier, &DesktopNotifier::activated, this, [this] { showPopover(); }));
    m_subscriptions.append(connect(&m_notice, &EscalationNotice::reviewRequested, this, [this] { showPopover(); }));
    m_subscriptions.append(connect(&sync, &ApprovalSyncService::pendingActionsChanged, this,
                                   [this] { onPendingCount(int(m_services.sync.pendingCount())); }));
    // The current count first, so the icon is right from the start.
    onPendingCount(int(sync.pendingCount()));
}

void TrayShell::startServices()
{
    if (m_servicesStarted)
        return;
    m_servicesStarted = true;
    Q_EMIT servicesStartedChanged();
    qCInfo(lcShell).noquote() << startingServicesLine();
    // The wizard may have registered the machine since the identity was loaded.
    if (!m_services.auth.isConfigured())
        m_services.auth.reload();
    m_services.sync.start();

    // Updates replace this program, so they are measured against its own
    // version (the one its release archive carries), never the product tool's.
    const LifetimeGuard guard(this);
    m_services.updates.start(m_services.updates.ownVersion(), [this, guard] {
        if (!guard.alive())
            return;
        setAllowTermination(true);
        terminate();
    });
    // No platform source of push tokens here: the stream and the poll carry everything.
    qCInfo(lcShell).noquote() << noPushLine();
    m_startFinished = true;
}

void TrayShell::statusItemClicked(StatusItem::Click click)
{
    if (click == StatusItem::Click::right)
        return; // the tray host pops up the context menu set on the item
    if (m_popover.isShown())
        closePopover();
    else if (!m_popover.closedByFocusLossRecently())
        showPopover();
}

bool TrayShell::trayShowsStatusItem() const
{
    return m_statusItem && m_statusItem->isInTray();
}

void TrayShell::onNewEscalation(const QString& actionId)
{
    if (m_isMuted)
        return;
    if (trayShowsStatusItem()) {
        showPopover();
        return;
    }
    // No icon to click: the notification is the way in, and it does not take
    // the focus from whatever the person is doing. (A tray item registers a
    // moment after start, so this is told at the first escalation.)
    if (m_popover.isShown())
        return;
    if (!m_toldNoTray)
        qCInfo(lcShell).noquote() << noTrayLine();
    m_toldNoTray = true;
    m_notice.announce(actionId);
}

void TrayShell::contextToggleMute()
{
    m_isMuted = !m_isMuted;
    Q_EMIT isMutedChanged();
    if (m_statusItem)
        m_statusItem->setMenu(contextMenuEntries());
    updateStatusIcon(int(m_services.sync.pendingCount()));
}

void TrayShell::contextFreezeAll()
{
    Q_EMIT freezeRequested();
    showPopover();
}

void TrayShell::pauseAutoOpen()
{
    if (!m_isMuted)
        contextToggleMute();
}

void TrayShell::resumeAutoOpen()
{
    if (m_isMuted)
        contextToggleMute();
}

void TrayShell::reportFreeze(const QString& report)
{
    if (trayShowsStatusItem())
        return; // the popover shows it until dismissed
    m_services.notifier.notify(tr("Freeze all"), report, {});
}

void TrayShell::setConnectionNote(const QString& note)
{
    if (note == m_connectionNote)
        return;
    m_connectionNote = note;
    updateStatusIcon(int(m_services.sync.pendingCount()));
}

void TrayShell::contextOpenDashboard()
{
    m_services.windows.showDashboard();
}

void TrayShell::contextQuit()
{
    if (confirmQuit())
        terminate();
}

void TrayShell::endSession()
{
    // The desktop session ends (or the system asks us to stop): nobody is
    // there to answer a question, and nothing of ours is left unsaved.
    setAllowTermination(true);
    terminate();
}

QList<StatusItem::MenuEntry> TrayShell::contextMenuEntries() const
{
    return {
        {m_isMuted ? tr("Resume Notifications") : tr("Pause Notifications"),
         StatusItem::MenuAction::toggleMute},
        {tr("Freeze all"), StatusItem::MenuAction::freezeAll},
        {tr("Open Quorvane"), StatusItem::MenuAction::openDashboard},
        {tr("Quit Quorvane"), StatusItem::MenuAction::quit},
    };
}

void TrayShell::showPopover()
{
    if (m_popover.isShown() || !m_statusItem)
        return;
    m_popover.show(m_statusItem->geometry());
}

void TrayShell::closePopover()
{
    m_popover.close();
}

void TrayShell::updateStatusIcon(int count)
{
    if (!m_statusItem)
        return;
    StatusItemIcon icon = StatusItemIcon::forState(m_isMuted, count);
    icon.note = m_connectionNote;
    m_statusItem->setIcon(icon);
}

void TrayShell::onPendingCount(int count)
{
    if (m_lastCount == count)
        return;
    m_lastCount = count;
    updateStatusIcon(count);
    if (count == 0 && !m_popoverHeld)
        closePopover();
    Q_EMIT pendingCountShown(count);
}

void TrayShell::setAllowTermination(bool allow)
{
    assignAndNotify(m_allowTermination, allow, this, &TrayShell::allowTerminationChanged);
}

void TrayShell::terminate()
{
    if (m_terminator)
        m_terminator();
}
