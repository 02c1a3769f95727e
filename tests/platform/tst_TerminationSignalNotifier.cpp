#include "platform/TerminationSignalNotifier.h"

#include <QSignalSpy>
#include <QTest>

#include <csignal>

class TestTerminationSignalNotifier : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void signalsArriveOnTheEventLoop();
};

void TestTerminationSignalNotifier::signalsArriveOnTheEventLoop()
{
    {
        TerminationSignalNotifier notifier;
        QVERIFY(notifier.isActive());
        // A second one in the same process stays inactive rather than taking
        // the handlers from the first.
        TerminationSignalNotifier second;
        QVERIFY(!second.isActive());

        QSignalSpy requested(&notifier, &TerminationSignalNotifier::terminationRequested);
        // Without the notifier these would end the test program.
        ::raise(SIGTERM);
        ::raise(SIGHUP);
        ::raise(SIGINT);
        QTRY_COMPARE(requested.size(), 3);
        QCOMPARE(requested.at(0).at(0).toInt(), SIGTERM);
        QCOMPARE(requested.at(1).at(0).toInt(), SIGHUP);
        QCOMPARE(requested.at(2).at(0).toInt(), SIGINT);
    }
    // Gone: the default actions are back, and a new notifier can take over.
    struct sigaction current = {};
    ::sigaction(SIGTERM, nullptr, &current);
    QVERIFY(current.sa_handler == SIG_DFL);
    TerminationSignalNotifier again;
    QVERIFY(again.isActive());
}

QTEST_GUILESS_MAIN(TestTerminationSignalNotifier)
#include "tst_TerminationSignalNotifier.moc"
