#include "app/shell/TrayShell.h"
#include "tests/app/shell/ShellTestDoubles.h"

#include <QTest>

// What the tray tells beyond the count: that the program is offline, what a
// freeze did (in the popover, held open, or as a notification without a
// tray), and "Resume" after a freeze from wherever it is asked.
class TestTrayShellFeedback : public QObject
{
    Q_OBJECT

    // A set-up machine without identity (nothing reaches the network), its
    // status item set up.
    struct Shell : TrayShellFixture
    {
        explicit Shell(bool inTray)
            : TrayShellFixture(true, inTray)
        {
            trayShell->setUpStatusItem();
        }
        std::unique_ptr<TrayShell>& shell = trayShell;
        RecordingStatusItem*& item = item_;
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
