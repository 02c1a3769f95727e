#include "app/shell/TrayShell.h"
#include "app/tooling/CLIService.h"
#include "app/wizard/WindowManager.h"
#include "core/ApprovalSyncService.h"
#include "core/MachineAuthService.h"
#include "core/UpdateCheckService.h"
#include "tests/app/shell/ShellTestDoubles.h"
#include "tests/core/MemoryCredentialStore.h"
#include "tests/support/DashboardHome.h"
#include "tests/support/TestHome.h"

#include <QNetworkAccessManager>
#include <QTest>

// What the tray tells beyond the count: that the program is offline, what a
// freeze did (in the popover, held open, or as a notification without a
// tray), and "Resume" after a freeze from wherever it is asked.
class TestTrayShellFeedback : public QObject
{
    Q_OBJECT

    // A set-up machine without identity: nothing reaches the network.
    struct Shell
    {
        explicit Shell(bool inTray)
        {
            home.write(QStringLiteral(".quorvane/machine/approver-only"), {});
            cli = std::make_unique<CLIService>(
                nullptr, [] { return QStringLiteral("/nonexistent/quorvane"); });
            windows.setHome(&dashboard.state);
            shell = std::make_unique<TrayShell>(
                TrayShell::Services { auth, sync, updates, *cli, windows, notifier },
                [this, inTray]() -> std::unique_ptr<StatusItem> {
                    auto made = std::make_unique<RecordingStatusItem>();
                    made->inTray = inTray;
                    item = made.get();
                    return made;
                },
                popover, prompt);
            shell->setUpStatusItem();
        }
        ~Shell() { shell.reset(); }

        TestHome home;
        MemoryCredentialStore store;
        QNetworkAccessManager network;
        MachineAuthService auth { store };
        ApprovalSyncService sync { auth, network };
        UpdateCheckService updates { &network };
        std::unique_ptr<CLIService> cli;
        DashboardHome dashboard;
        WindowManager windows;
        RecordingPopover popover;
        RecordingNotifier notifier;
        ScriptedQuitPrompt prompt;
        RecordingStatusItem* item = nullptr;
        std::unique_ptr<TrayShell> shell;
    };

private Q_SLOTS:
    void initTestCase()
    {
        qputenv("QUORVANE_API_BASE_URL", "http://127.0.0.1:9");
        qputenv("QUORVANE_WEB_BASE_URL", "http://127.0.0.1:9");
    }

    void heldPopoverSurvivesAnEmptyList()
    {
        Shell s(true);
        s.shell->onPendingCount(2);
        s.shell->showPopover();
        QVERIFY(s.popover.shown);
        s.shell->setPopoverHeld(true);
        s.shell->onPendingCount(0);
        QVERIFY(s.popover.shown);
        s.shell->setPopoverHeld(false);
        s.shell->onPendingCount(1);
        s.shell->onPendingCount(0);
        QVERIFY(!s.popover.shown);
    }

    void freezeReportWithoutATrayIsANotification_data()
    {
        QTest::addColumn<bool>("inTray");
        QTest::addColumn<int>("notifications");
        QTest::newRow("tray") << true << 0;
        QTest::newRow("no tray") << false << 1;
    }
    void freezeReportWithoutATrayIsANotification()
    {
        QFETCH(bool, inTray);
        QFETCH(int, notifications);
        Shell s(inTray);
        s.shell->reportFreeze(QStringLiteral("Denied 3 actions, ended the trust window"));
        QCOMPARE(s.notifier.shown.size(), notifications);
        if (notifications > 0)
            QCOMPARE(s.notifier.shown.constFirst(),
                (QStringList { QStringLiteral("Freeze all"),
                    QStringLiteral("Denied 3 actions, ended the trust window") }));
    }

    void offlineNoteInTheTooltipAndResume()
    {
        Shell s(true);
        s.shell->setConnectionNote(QStringLiteral("Offline — retrying in 12 s"));
        QCOMPARE(s.item->icons.constLast().toolTip(), QStringLiteral("Quorvane\nOffline — retrying in 12 s"));
        s.shell->setConnectionNote(QString());
        QCOMPARE(s.item->icons.constLast().toolTip(), QStringLiteral("Quorvane"));

        s.shell->pauseAutoOpen();
        QVERIFY(s.shell->isMuted());
        s.shell->resumeAutoOpen();
        QVERIFY(!s.shell->isMuted());
        s.shell->resumeAutoOpen();
        QVERIFY(!s.shell->isMuted());
    }
};

QTEST_MAIN(TestTrayShellFeedback)
#include "tst_TrayShellFeedback.moc"
