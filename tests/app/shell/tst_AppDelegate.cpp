#include "AppDelegate.h"
#include "DashboardHome.h"
#include "ApprovalSyncService.h"
#include "CLIService.h"
#include "CoreConstants.h"
#include "LogCapture.h"
#include "MachineAuthService.h"
#include "ShellTestDoubles.h"
#include "TestHome.h"
#include "UpdateCheckService.h"
#include "WindowManager.h"
#include "WizardState.h"
#include "PopoverWindow.h"

#include "../../core/MemoryCredentialStore.h"

#include <QNetworkAccessManager>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QWindow>
#include <QTest>

#include <QCoroTask>

// One tray shell with real services (no machine identity, so nothing reaches the
// network) and recording doubles for the tray, the popover and the question.
struct Fixture
{
    explicit Fixture(bool setUp, bool inTray = true)
    {
        if (setUp)
            home.write(QStringLiteral(".quorvane/machine/approver-only"), {});
        home.write(QStringLiteral("bin/quorvane"), "#!/bin/sh\nprintf '  1.2.3 \\n'\n", 0700);
        cli = std::make_unique<CLIService>(nullptr, [this] { return home.filePath(QStringLiteral("bin/quorvane")); });
        windows.setHome(&dashboard.state);
        delegate = std::make_unique<AppDelegate>(
            AppDelegate::Services{auth, sync, updates, *cli, windows, notifier},
            [this, inTray]() -> std::unique_ptr<StatusItem> {
                ++itemsMade;
                auto item = std::make_unique<RecordingStatusItem>();
                item->inTray = inTray;
                item_ = item.get();
                return item;
            },
            popover, prompt);
        delegate->setTerminator([this] { ++terminations; });
    }
    ~Fixture()
    {
        delegate.reset();
        sync.stop();
    }
    RecordingStatusItem* item() const { return item_; }

    TestHome home;
    MemoryCredentialStore store;
    QNetworkAccessManager network;
    MachineAuthService auth{store};
    ApprovalSyncService sync{auth, network};
    UpdateCheckService updates{&network};
    std::unique_ptr<CLIService> cli;
    DashboardHome dashboard;
    WindowManager windows;
    RecordingPopover popover;
    RecordingNotifier notifier;
    ScriptedQuitPrompt prompt;
    std::unique_ptr<AppDelegate> delegate;
    RecordingStatusItem* item_ = nullptr;
    int itemsMade = 0;
    int terminations = 0;
};

class TestAppDelegate : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void startUpWithoutSetUpShowsTheWizard();
    void startUpOnSetUpMachineRunsTheTrayOnce();
    void countSubscription();
    void muting();
    void popoverRules();
    void contextMenu();
    void quitAlert_data();
    void quitAlert();
    void reopenAndURLs();
    void withoutATrayNotificationsLeadToThePopover();
    void trayClickAfterAFocusLossCloseWithTheRealPopover();
};

void TestAppDelegate::initTestCase()
{
    // Nothing of these tests may leave the machine: the update check goes to a
    // closed loopback port.
    qputenv("QUORVANE_API_BASE_URL", "http://127.0.0.1:9");
    qputenv("QUORVANE_WEB_BASE_URL", "http://127.0.0.1:9");
}

void TestAppDelegate::startUpWithoutSetUpShowsTheWizard()
{
    Fixture f(false);
    LogCapture log;
    f.delegate->applicationDidFinishLaunching();
    QVERIFY(f.windows.wizardWindow() != nullptr);
    QCOMPARE(f.itemsMade, 0);
    QVERIFY(!f.delegate->statusItemReady());
    QVERIFY(!f.delegate->servicesStarted());
    QVERIFY(!log.contains(QStringLiteral("Quorvane: starting services")));
    // Quitting before set-up asks nothing.
    QVERIFY(f.delegate->confirmQuit());
    f.delegate->contextQuit();
    QCOMPARE(f.prompt.asked, 0);
    QCOMPARE(f.terminations, 1);

    // Finishing the wizard brings the status item and the services, once.
    f.windows.finishWizard();
    QCOMPARE(f.itemsMade, 1);
    QVERIFY(f.delegate->statusItemReady());
    QVERIFY(f.delegate->servicesStarted());
    QTRY_VERIFY(f.windows.wizardWindow() == nullptr);
    QVERIFY(!f.windows.hasVisibleWindow());
    f.windows.finishWizard();
    QCOMPARE(f.itemsMade, 1);
    QTRY_VERIFY(f.delegate->isStartServicesFinished());
    QCOMPARE(log.lines().count(QStringLiteral("Quorvane: starting services")), 1);
}

void TestAppDelegate::startUpOnSetUpMachineRunsTheTrayOnce()
{
    Fixture f(true);
    LogCapture log;
    f.delegate->applicationDidFinishLaunching();
    QVERIFY(f.windows.wizardWindow() == nullptr);
    QCOMPARE(f.itemsMade, 1);
    QVERIFY(f.delegate->statusItemReady());
    QVERIFY(f.delegate->servicesStarted());
    QTRY_VERIFY(f.delegate->isStartServicesFinished());

    // The order of the start: the log line, approval sync, the CLI version,
    // the update check, then the note about push delivery.
    const QStringList& lines = log.lines();
    const qsizetype starting = lines.indexOf(QStringLiteral("Quorvane: starting services"));
    const qsizetype syncLine
        = lines.indexOf(QStringLiteral("Quorvane: ApprovalSyncService not starting — auth not configured"));
    const qsizetype push = lines.indexOf(QStringLiteral("Quorvane: push notifications are not available on this platform"));
    QVERIFY2(starting >= 0 && syncLine > starting && push > syncLine, qPrintable(lines.join(QLatin1Char('\n'))));
    QCOMPARE(f.delegate->localVersion(), std::optional<QString>(QStringLiteral("1.2.3")));

    // Both steps are once-only.
    f.delegate->setUpStatusItem();
    f.delegate->startServices();
    QCOMPARE(f.itemsMade, 1);
    QTest::qWait(50);
    QCOMPARE(lines.count(QStringLiteral("Quorvane: starting services")), 1);
    QCOMPARE(lines.count(QStringLiteral("Quorvane: push notifications are not available on this platform")), 1);
}

void TestAppDelegate::countSubscription()
{
    Fixture f(true);
    QSignalSpy shown(f.delegate.get(), &AppDelegate::pendingCountShown);
    f.delegate->setUpStatusItem();
    // The current count arrives first: the outline icon from the start.
    QCOMPARE(f.item()->icons.size(), 1);
    QCOMPARE(f.item()->icons.last(), StatusItemIcon::forState(false, 0));

    f.delegate->onPendingCount(2);
    QCOMPARE(f.item()->icons.size(), 2);
    QCOMPARE(f.item()->icons.last().symbol, QStringLiteral("lock.shield.fill"));
    QCOMPARE(f.item()->icons.last().title, QStringLiteral(" 2"));
    f.delegate->showPopover();
    QVERIFY(f.popover.isShown());

    f.delegate->onPendingCount(2); // repeated: dropped
    QCOMPARE(f.item()->icons.size(), 2);
    QVERIFY(f.popover.isShown());

    f.delegate->onPendingCount(0);
    QCOMPARE(f.item()->icons.size(), 3);
    QCOMPARE(f.item()->icons.last(), StatusItemIcon::forState(false, 0));
    QVERIFY(!f.popover.isShown());
    QCOMPARE(shown.size(), 3);

    // The list signal of the sync service feeds the same path: an equal (empty)
    // list changes nothing.
    Q_EMIT f.sync.pendingActionsChanged();
    QCOMPARE(f.item()->icons.size(), 3);
}

void TestAppDelegate::muting()
{
    Fixture f(true);
    f.delegate->setUpStatusItem();
    f.delegate->onPendingCount(0);

    f.delegate->contextToggleMute();
    QVERIFY(f.delegate->isMuted());
    QCOMPARE(f.item()->icons.last(), StatusItemIcon::forState(true, 0));
    QVERIFY(f.item()->icons.last().greyed);
    QCOMPARE(f.item()->icons.last().title, QString());
    QCOMPARE(f.item()->menus.last().first().text, QStringLiteral("Resume Notifications"));

    // Muted: a new escalation does not open the popover; the count still shows.
    Q_EMIT f.sync.newEscalationArrived();
    QVERIFY(!f.popover.isShown());
    f.delegate->onPendingCount(4);
    QCOMPARE(f.item()->icons.last(), StatusItemIcon::forState(true, 4));

    f.delegate->contextToggleMute();
    QVERIFY(!f.delegate->isMuted());
    QCOMPARE(f.item()->menus.last().first().text, QStringLiteral("Pause Notifications"));
    Q_EMIT f.sync.newEscalationArrived();
    QVERIFY(f.popover.isShown());
}

void TestAppDelegate::popoverRules()
{
    Fixture f(true);
    // No status item yet: nothing opens.
    f.delegate->showPopover();
    QVERIFY(!f.popover.isShown());

    f.delegate->setUpStatusItem();
    Q_EMIT f.item()->clicked(StatusItem::Click::left);
    QVERIFY(f.popover.isShown());
    QCOMPARE(f.popover.lastTrayGeometry, QRect(100, 0, 24, 24));
    // A second escalation while open does not open it again.
    Q_EMIT f.sync.newEscalationArrived();
    QCOMPARE(f.popover.showCount, 1);
    Q_EMIT f.item()->clicked(StatusItem::Click::left);
    QVERIFY(!f.popover.isShown());
    // A right click is the menu's, never the popover's.
    Q_EMIT f.item()->clicked(StatusItem::Click::right);
    QVERIFY(!f.popover.isShown());
    Q_EMIT f.sync.newEscalationArrived();
    QVERIFY(f.popover.isShown());
    QCOMPARE(f.popover.showCount, 2);

    // The tray click that took the focus closed the popover just before the
    // click arrives: it stays closed instead of opening again at once.
    f.popover.close();
    f.popover.focusLossJustNow = true;
    Q_EMIT f.item()->clicked(StatusItem::Click::left);
    QVERIFY(!f.popover.isShown());
    f.popover.focusLossJustNow = false;
    Q_EMIT f.item()->clicked(StatusItem::Click::left);
    QVERIFY(f.popover.isShown());
    QCOMPARE(f.popover.showCount, 3);
}

void TestAppDelegate::contextMenu()
{
    Fixture f(true);
    f.delegate->setUpStatusItem();
    const QList<StatusItem::MenuEntry> expected{
        {QStringLiteral("Pause Notifications"), StatusItem::MenuAction::toggleMute},
        {QStringLiteral("Open Quorvane"), StatusItem::MenuAction::openDashboard},
        {QStringLiteral("Quit Quorvane"), StatusItem::MenuAction::quit},
    };
    QCOMPARE(f.item()->menus.last(), expected);

    Q_EMIT f.item()->menuTriggered(StatusItem::MenuAction::openDashboard);
    QVERIFY(f.windows.dashboardWindow() != nullptr);
    Q_EMIT f.item()->menuTriggered(StatusItem::MenuAction::toggleMute);
    QVERIFY(f.delegate->isMuted());
    // After the menu a left click opens the popover.
    Q_EMIT f.item()->clicked(StatusItem::Click::left);
    QVERIFY(f.popover.isShown());
}

void TestAppDelegate::quitAlert_data()
{
    QTest::addColumn<int>("choice");
    QTest::addColumn<bool>("dashboardOpened");
    QTest::addColumn<bool>("allowTermination");
    QTest::addColumn<int>("terminations");
    QTest::newRow("Open Uninstall") << int(QuitPrompt::Choice::openUninstall) << true << false << 0;
    QTest::newRow("Quit Anyway") << int(QuitPrompt::Choice::quitAnyway) << false << true << 1;
    QTest::newRow("Cancel") << int(QuitPrompt::Choice::cancel) << false << false << 0;
}

void TestAppDelegate::quitAlert()
{
    QFETCH(int, choice);
    QFETCH(bool, dashboardOpened);
    QFETCH(bool, allowTermination);
    QFETCH(int, terminations);

    QCOMPARE(QuitPrompt::message(), QStringLiteral("Quorvane is a background security service"));
    QCOMPARE(QuitPrompt::buttonTexts(),
             QStringList({QStringLiteral("Open Uninstall"), QStringLiteral("Quit Anyway"), QStringLiteral("Cancel")}));
    QVERIFY(QuitPrompt::informativeText().contains(QStringLiteral("agent registrations.\n\nTo fully remove")));

    Fixture f(true);
    f.delegate->applicationDidFinishLaunching();
    // "Quit Quorvane" in the tray menu asks the question.
    Q_EMIT f.item()->menuTriggered(StatusItem::MenuAction::quit);
    QCOMPARE(f.prompt.asked, 1);
    QCOMPARE(f.terminations, 0);
    // A second request while the question is open asks nothing new.
    QVERIFY(!f.delegate->confirmQuit());
    QCOMPARE(f.prompt.asked, 2);
    QVERIFY(f.prompt.pending);

    f.prompt.answer(QuitPrompt::Choice(choice));
    QCOMPARE(f.windows.dashboardWindow() != nullptr, dashboardOpened);
    QCOMPARE(f.delegate->allowTermination(), allowTermination);
    QCOMPARE(f.terminations, terminations);
    // Once allowed, the next request passes without a question.
    QCOMPARE(f.delegate->confirmQuit(), allowTermination);

    // The end of the session quits at once, whatever was answered.
    const int asked = f.prompt.asked;
    f.delegate->endSession();
    QCOMPARE(f.prompt.asked, asked);
    QVERIFY(f.delegate->allowTermination());
    QCOMPARE(f.terminations, terminations + 1);
    QVERIFY(f.delegate->confirmQuit());
}

void TestAppDelegate::reopenAndURLs()
{
    Fixture f(true);
    f.delegate->applicationShouldHandleReopen(true);
    QVERIFY(f.windows.dashboardWindow() == nullptr);
    f.delegate->applicationShouldHandleReopen(false);
    QVERIFY(f.windows.dashboardWindow() != nullptr);

    // The callback goes to the wizard's code exchange (here to a closed port).
    qputenv("QUORVANE_WEB_BASE_URL", "http://127.0.0.1:9");
    LogCapture log;
    f.delegate->openURLs({QUrl(QStringLiteral("https://quorvane.com/?code=evil")),
                          QUrl(QStringLiteral("quorvane://auth/callback?code=first"))});
    QCOMPARE(log.lines().size(), 1);
    QVERIFY(f.windows.wizardState().isLoading());
    QTRY_VERIFY(!f.windows.wizardState().isLoading());
    QVERIFY(!f.windows.wizardState().errorMessage().isEmpty());
    qunsetenv("QUORVANE_WEB_BASE_URL");
}

void TestAppDelegate::withoutATrayNotificationsLeadToThePopover()
{
    Fixture f(true, false);
    LogCapture log;
    f.delegate->applicationDidFinishLaunching();
    QCOMPARE(log.lines().count(QStringLiteral(
                 "Quorvane: no system tray found; new escalations are announced as desktop notifications")),
             1);

    // A new escalation: a notification, not a window taking the focus.
    Q_EMIT f.sync.newEscalationArrived();
    QCOMPARE(f.notifier.shown.size(), 1);
    QVERIFY(!f.popover.isShown());
    // Clicking it opens the popover without a tray icon to open at.
    Q_EMIT f.notifier.activated();
    QVERIFY(f.popover.isShown());
    QVERIFY(!f.popover.lastTrayGeometry.isValid() || f.popover.lastTrayGeometry == f.item()->geometry());
    // While it is open, further escalations show in it: no notification.
    Q_EMIT f.sync.newEscalationArrived();
    QCOMPARE(f.notifier.shown.size(), 1);
    f.popover.close();

    // Muted: nothing at all.
    f.delegate->contextToggleMute();
    Q_EMIT f.sync.newEscalationArrived();
    QCOMPARE(f.notifier.shown.size(), 1);
    f.delegate->contextToggleMute();

    // A second start of the program opens the popover, even with a window shown.
    f.delegate->applicationShouldHandleReopen(false);
    QVERIFY(f.popover.isShown());
    QVERIFY(f.windows.dashboardWindow() == nullptr);
    f.popover.close();
    f.delegate->applicationShouldHandleReopen(true);
    QVERIFY(f.popover.isShown());

    // With a tray nothing is announced: the popover opens at the icon.
    Fixture withTray(true, true);
    LogCapture trayLog;
    withTray.delegate->applicationDidFinishLaunching();
    Q_EMIT withTray.sync.newEscalationArrived();
    QVERIFY(withTray.popover.isShown());
    QCOMPARE(withTray.notifier.shown.size(), 0);
    QVERIFY(!trayLog.contains(QStringLiteral(
        "Quorvane: no system tray found; new escalations are announced as desktop notifications")));
}

void TestAppDelegate::trayClickAfterAFocusLossCloseWithTheRealPopover()
{
    // Desktops where clicking the tray takes the focus: the popover closes on
    // the focus loss, then the click arrives; it must not open it again.
    QTemporaryDir dir;
    QFile root(dir.filePath(QStringLiteral("Root.qml")));
    QVERIFY(root.open(QIODevice::WriteOnly));
    root.write("import QtQuick\nRectangle { implicitHeight: 200; color: \"black\" }\n");
    root.close();
    PopoverWindow popover(QUrl::fromLocalFile(root.fileName()), {});
    popover.setTrayAvailable([] { return true; });

    Fixture f(true);
    f.delegate.reset();
    RecordingStatusItem* item = nullptr;
    AppDelegate delegate(
        AppDelegate::Services{f.auth, f.sync, f.updates, *f.cli, f.windows, f.notifier},
        [&item]() -> std::unique_ptr<StatusItem> {
            auto made = std::make_unique<RecordingStatusItem>();
            item = made.get();
            return made;
        },
        popover, f.prompt);
    delegate.setUpStatusItem();
    QVERIFY(item);

    Q_EMIT item->clicked(StatusItem::Click::left);
    QVERIFY(popover.isShown());
    QTRY_VERIFY(popover.window()->isActive());
    QWindow other;
    other.resize(50, 50);
    other.show();
    other.requestActivate();
    QTRY_VERIFY(!popover.isShown());
    Q_EMIT item->clicked(StatusItem::Click::left);
    QVERIFY(!popover.isShown());

    // A later click opens it as usual.
    QTRY_VERIFY_WITH_TIMEOUT(!popover.closedByFocusLossRecently(), 2000);
    Q_EMIT item->clicked(StatusItem::Click::left);
    QVERIFY(popover.isShown());
    popover.close();
}

QTEST_MAIN(TestAppDelegate)
#include "tst_AppDelegate.moc"
