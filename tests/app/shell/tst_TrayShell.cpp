#include "tests/app/shell/ShellTestDoubles.h"
#include "tests/support/LogCapture.h"

#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;

class TestTrayShell : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        // Nothing leaves the machine: the update check goes to a closed loopback port.
        qputenv("QUORVANE_API_BASE_URL", "http://127.0.0.1:9");
        qputenv("QUORVANE_WEB_BASE_URL", "http://127.0.0.1:9");
    }

    void startUpWithoutSetUpShowsTheWizard()
    {
        TrayShellFixture f(false);
        LogCapture log;
        f.trayShell->start();
        QVERIFY(f.windows.wizardWindow() != nullptr);
        QCOMPARE(f.itemsMade, 0);
        QVERIFY(!f.trayShell->servicesStarted());
        // Quitting before set-up asks nothing.
        QVERIFY(f.trayShell->confirmQuit());
        f.trayShell->contextQuit();
        QCOMPARE(f.prompt.asked, 0);
        QCOMPARE(f.terminations, 1);

        // Finishing the wizard brings the status item and the services, once.
        f.windows.finishWizard();
        QCOMPARE(f.itemsMade, 1);
        QVERIFY(f.trayShell->servicesStarted());
        QTRY_VERIFY(f.windows.wizardWindow() == nullptr);
        QVERIFY(!f.windows.hasVisibleWindow());
        f.windows.finishWizard();
        QCOMPARE(f.itemsMade, 1);
        QTRY_VERIFY(f.trayShell->isStartServicesFinished());
        QCOMPARE(log.lines().count(u"Quorvane: starting services"_s), 1);
    }

    void startUpOnSetUpMachineRunsTheTrayOnce()
    {
        TrayShellFixture f(true);
        LogCapture log;
        f.trayShell->start();
        QVERIFY(f.windows.wizardWindow() == nullptr);
        QCOMPARE(f.itemsMade, 1);
        QTRY_VERIFY(f.trayShell->isStartServicesFinished());

        // The update check runs against the companion's own version.
        QCOMPARE(f.updates.localVersion(), std::optional<QString>(f.updates.ownVersion()));

        // Both steps are once-only.
        f.trayShell->setUpStatusItem();
        f.trayShell->startServices();
        QCOMPARE(f.itemsMade, 1);
        QCOMPARE(log.lines().count(u"Quorvane: starting services"_s), 1);
    }

    void countSubscription()
    {
        TrayShellFixture f(true);
        QSignalSpy shown(f.trayShell.get(), &TrayShell::pendingCountShown);
        f.trayShell->setUpStatusItem();
        // The current count arrives first: the outline icon from the start.
        const StatusItemIcon none = StatusItemIcon::forState(false, 0);
        QCOMPARE(f.item->icons, QList<StatusItemIcon> { none });

        f.trayShell->onPendingCount(2);
        QCOMPARE(f.item->icons, (QList<StatusItemIcon> { none, StatusItemIcon::forState(false, 2) }));
        f.trayShell->showPopover();
        QVERIFY(f.popover.isShown());

        f.trayShell->onPendingCount(2); // repeated: dropped
        QCOMPARE(f.item->icons.size(), 2);
        QVERIFY(f.popover.isShown());

        f.trayShell->onPendingCount(0);
        QCOMPARE(f.item->icons.size(), 3);
        QCOMPARE(f.item->icons.last(), none);
        QVERIFY(!f.popover.isShown());
        QCOMPARE(shown.size(), 3);

        // The list signal of the sync service feeds the same path: an equal (empty)
        // list changes nothing.
        Q_EMIT f.sync.pendingActionsChanged();
        QCOMPARE(f.item->icons.size(), 3);
    }

    void muting()
    {
        TrayShellFixture f(true);
        f.trayShell->setUpStatusItem();
        f.trayShell->onPendingCount(0);

        f.trayShell->contextToggleMute();
        QVERIFY(f.trayShell->isMuted());
        QCOMPARE(f.item->icons.last(), StatusItemIcon::forState(true, 0));
        QCOMPARE(f.item->menus.last().first().text, u"Resume Notifications"_s);

        // Muted: a new escalation does not open the popover; the count still shows.
        Q_EMIT f.sync.newEscalationArrived(u"act-1"_s);
        QVERIFY(!f.popover.isShown());
        f.trayShell->onPendingCount(4);
        QCOMPARE(f.item->icons.last(), StatusItemIcon::forState(true, 4));

        f.trayShell->contextToggleMute();
        QVERIFY(!f.trayShell->isMuted());
        QCOMPARE(f.item->menus.last().first().text, u"Pause Notifications"_s);
        Q_EMIT f.sync.newEscalationArrived(u"act-1"_s);
        QVERIFY(f.popover.isShown());

        // While held (a freeze's report shows in it) the popover survives an empty list.
        f.trayShell->setPopoverHeld(true);
        f.trayShell->onPendingCount(0);
        QVERIFY(f.popover.isShown());
        f.trayShell->setPopoverHeld(false);
        f.trayShell->onPendingCount(1);
        f.trayShell->onPendingCount(0);
        QVERIFY(!f.popover.isShown());
    }

    void popoverRules()
    {
        TrayShellFixture f(true);
        // No status item yet: nothing opens.
        f.trayShell->showPopover();
        QVERIFY(!f.popover.isShown());

        f.trayShell->setUpStatusItem();
        Q_EMIT f.item->clicked(StatusItem::Click::left);
        QVERIFY(f.popover.isShown());
        QCOMPARE(f.popover.lastTrayGeometry, QRect(100, 0, 24, 24));
        // A second escalation while open does not open it again.
        Q_EMIT f.sync.newEscalationArrived(u"act-1"_s);
        QCOMPARE(f.popover.showCount, 1);
        Q_EMIT f.item->clicked(StatusItem::Click::left);
        QVERIFY(!f.popover.isShown());
        // A right click is the menu's, never the popover's.
        Q_EMIT f.item->clicked(StatusItem::Click::right);
        QVERIFY(!f.popover.isShown());
        Q_EMIT f.sync.newEscalationArrived(u"act-1"_s);
        QVERIFY(f.popover.isShown());
        QCOMPARE(f.popover.showCount, 2);

        // Desktops where clicking the tray takes the focus: the popover closed on
        // the focus loss just before the click, which must not open it again.
        f.popover.close();
        f.popover.focusLossJustBefore = true;
        Q_EMIT f.item->clicked(StatusItem::Click::left);
        QVERIFY(!f.popover.isShown());
        f.popover.focusLossJustBefore = false;
        Q_EMIT f.item->clicked(StatusItem::Click::left);
        QVERIFY(f.popover.isShown());
    }

    void contextMenu()
    {
        TrayShellFixture f(true);
        f.trayShell->setUpStatusItem();
        const QList<StatusItem::MenuEntry> expected {
            { u"Pause Notifications"_s, StatusItem::MenuAction::toggleMute },
            { u"Freeze all"_s, StatusItem::MenuAction::freezeAll },
            { u"Open Quorvane"_s, StatusItem::MenuAction::openDashboard },
            { u"Quit Quorvane"_s, StatusItem::MenuAction::quit },
        };
        QCOMPARE(f.item->menus.last(), expected);

        Q_EMIT f.item->menuTriggered(StatusItem::MenuAction::openDashboard);
        QVERIFY(f.windows.dashboardWindow() != nullptr);
        Q_EMIT f.item->menuTriggered(StatusItem::MenuAction::toggleMute);
        QVERIFY(f.trayShell->isMuted());

        // "Freeze all" opens the popover, where the freeze asks its confirmation;
        // the freeze then pauses the automatic opening, and only once.
        QSignalSpy freezeRequested(f.trayShell.get(), &TrayShell::freezeRequested);
        Q_EMIT f.item->menuTriggered(StatusItem::MenuAction::freezeAll);
        QCOMPARE(freezeRequested.size(), 1);
        QVERIFY(f.popover.isShown());
        f.trayShell->contextToggleMute();
        QVERIFY(!f.trayShell->isMuted());
        f.trayShell->pauseAutoOpen();
        f.trayShell->pauseAutoOpen();
        QVERIFY(f.trayShell->isMuted());
        f.trayShell->resumeAutoOpen();
        QVERIFY(!f.trayShell->isMuted());

        // The offline note goes into the tooltip.
        f.trayShell->setConnectionNote(u"Offline — retrying in 12 s"_s);
        QCOMPARE(f.item->icons.constLast().toolTip(), u"Quorvane\nOffline — retrying in 12 s"_s);
        f.trayShell->setConnectionNote(QString());
        QCOMPARE(f.item->icons.constLast().toolTip(), u"Quorvane"_s);
        // With a tray, a freeze's report shows in the popover, not as a notification.
        f.trayShell->reportFreeze(u"Denied 3 actions"_s);
        QVERIFY(f.notifier.shown.isEmpty());
    }

    void quitAlert_data()
    {
        QTest::addColumn<int>("choice");
        QTest::addColumn<bool>("dashboardOpened");
        QTest::addColumn<bool>("allowTermination");
        QTest::addColumn<int>("terminations");
        QTest::newRow("Open Uninstall") << int(QuitPrompt::Choice::openUninstall) << true << false << 0;
        QTest::newRow("Quit Anyway") << int(QuitPrompt::Choice::quitAnyway) << false << true << 1;
        QTest::newRow("Cancel") << int(QuitPrompt::Choice::cancel) << false << false << 0;
    }

    void quitAlert()
    {
        QFETCH(int, choice);
        QFETCH(bool, dashboardOpened);
        QFETCH(bool, allowTermination);
        QFETCH(int, terminations);

        TrayShellFixture f(true);
        f.trayShell->start();
        // "Quit Quorvane" in the tray menu asks the question.
        Q_EMIT f.item->menuTriggered(StatusItem::MenuAction::quit);
        QCOMPARE(f.prompt.asked, 1);
        QCOMPARE(f.terminations, 0);
        // A second request while the question is open asks nothing new.
        QVERIFY(!f.trayShell->confirmQuit());
        QCOMPARE(f.prompt.asked, 2);
        QVERIFY(f.prompt.pending);

        f.prompt.answer(QuitPrompt::Choice(choice));
        QCOMPARE(f.windows.dashboardWindow() != nullptr, dashboardOpened);
        QCOMPARE(f.trayShell->allowTermination(), allowTermination);
        QCOMPARE(f.terminations, terminations);
        // Once allowed, the next request passes without a question.
        QCOMPARE(f.trayShell->confirmQuit(), allowTermination);

        // The end of the session quits at once, whatever was answered.
        const int asked = f.prompt.asked;
        f.trayShell->endSession();
        QCOMPARE(f.prompt.asked, asked);
        QVERIFY(f.trayShell->allowTermination());
        QCOMPARE(f.terminations, terminations + 1);
        QVERIFY(f.trayShell->confirmQuit());
    }

    void reopenAndURLs()
    {
        TrayShellFixture f(true);
        f.trayShell->reopen(true);
        QVERIFY(f.windows.dashboardWindow() == nullptr);
        f.trayShell->reopen(false);
        QVERIFY(f.windows.dashboardWindow() != nullptr);

        // Only the sign-in callback goes on to the wizard, which, set up, waits for none.
        LogCapture log;
        f.trayShell->openURLs(
            { QUrl(u"https://quorvane.com/?code=evil"_s), QUrl(u"quorvane://auth/callback?code=first"_s) });
        QCOMPARE(log.lines(),
            (QStringList { u"Quorvane: ignored an opened URL that is not a sign-in callback"_s,
                u"Quorvane: ignored a sign-in link: no sign-in is waiting for one"_s }));
    }

    void withoutATrayNotificationsLeadToThePopover()
    {
        TrayShellFixture f(true, false);
        LogCapture log;
        f.trayShell->start();
        const QString noTrayLine
            = u"Quorvane: no system tray found; new escalations are announced as desktop notifications"_s;
        QCOMPARE(log.lines().count(noTrayLine), 0);

        // A new escalation: a notification, not a window taking the focus.
        Q_EMIT f.sync.newEscalationArrived(u"act-1"_s);
        QCOMPARE(log.lines().count(noTrayLine), 1);
        QCOMPARE(f.notifier.shown.size(), 1);
        QCOMPARE(f.notifier.shown.first().first(), u"Approval needed"_s);
        QVERIFY(!f.popover.isShown());
        // An action the list does not hold (yet): the notification offers to review it.
        QCOMPARE(f.notifier.actions.first(), (QList<DesktopNotifier::Action> { { u"review"_s, u"Review"_s } }));
        Q_EMIT f.notifier.actionInvoked(u"review"_s);
        QVERIFY(f.popover.isShown());
        f.popover.close();
        // Clicking it opens the popover without a tray icon to open at.
        Q_EMIT f.notifier.activated();
        QVERIFY(f.popover.isShown());
        QVERIFY(!f.popover.lastTrayGeometry.isValid() || f.popover.lastTrayGeometry == f.item->geometry());
        // While it is open, further escalations show in it: no notification.
        Q_EMIT f.sync.newEscalationArrived(u"act-1"_s);
        QCOMPARE(f.notifier.shown.size(), 1);
        f.popover.close();

        // Muted: nothing at all.
        f.trayShell->contextToggleMute();
        Q_EMIT f.sync.newEscalationArrived(u"act-1"_s);
        QCOMPARE(f.notifier.shown.size(), 1);
        f.trayShell->contextToggleMute();

        // A freeze's report, with no tray to show it at, is a notification.
        f.trayShell->reportFreeze(u"Denied 3 actions"_s);
        QCOMPARE(f.notifier.shown.constLast(), (QStringList { u"Freeze all"_s, u"Denied 3 actions"_s }));

        // A second start of the program opens the popover, even with a window shown.
        f.trayShell->reopen(false);
        QVERIFY(f.popover.isShown());
        QVERIFY(f.windows.dashboardWindow() == nullptr);
        f.popover.close();
        f.trayShell->reopen(true);
        QVERIFY(f.popover.isShown());
    }
};

QTEST_MAIN(TestTrayShell)
#include "tst_TrayShell.moc"
