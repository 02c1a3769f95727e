#include "platform/ProcessHardening.h"
#include "platform/TerminationSignalNotifier.h"

#include <QFileInfo>
#include <QSignalSpy>
#include <QTest>
#include <csignal>

// What the program does to its own process: no core dumps or memory readable
// by the user's other processes, and termination signals on the event loop.
class TestProcessHardening : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void coreDumpsAreDisabled()
    {
        QVERIFY(ProcessHardening::isDumpable());
        QVERIFY(ProcessHardening::disableCoreDumps());
        QVERIFY(!ProcessHardening::isDumpable());
        // The kernel now shows the process's own files as root's.
        QCOMPARE(QFileInfo(QStringLiteral("/proc/self/mem")).ownerId(), 0u);
    }

    void terminationSignalsArriveOnTheEventLoop()
    {
        {
            TerminationSignalNotifier notifier;
            QVERIFY(notifier.isActive());
            // A second one stays inactive rather than taking the handlers from the first.
            TerminationSignalNotifier second;
            QVERIFY(!second.isActive());
            QSignalSpy requested(&notifier, &TerminationSignalNotifier::terminationRequested);
            // Without the notifier these would end the test program.
            for (const int signal : { SIGTERM, SIGHUP, SIGINT })
                ::raise(signal);
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
};

QTEST_GUILESS_MAIN(TestProcessHardening)
#include "tst_ProcessHardening.moc"
