#include "core/MachineAuthService.h"
#include "core/WebSocketSubscriber.h"
#include "tests/support/BackendMachine.h"
#include "tests/support/FloodPeerProcess.h"
#include "tests/support/LogCapture.h"
#include "tests/support/ProcessMemory.h"

#include <QSignalSpy>
#include <QTest>

// A server that floods the event stream with pings, from its own process so
// that it sends as fast as the kernel lets it: the subscriber drops the
// connection and backs off, and this process's memory stays bounded, whether
// the server reads the pongs or leaves them unread.
class TestHostileStream : public QObject
{
    Q_OBJECT

    static constexpr qint64 memoryCeilingKiB = 100 * 1024;

private Q_SLOTS:
    void pingFloodIsDropped_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::newRow("pongs never read") << QStringLiteral("pings");
        QTest::newRow("pongs read") << QStringLiteral("pings-read");
    }
    void pingFloodIsDropped()
    {
        QFETCH(QString, mode);
        BackendMachine machine;
        QVERIFY(machine.machine);
        FloodPeerProcess peer(mode);
        QVERIFY(peer.isRunning());
        qputenv("QUORVANE_API_BASE_URL", peer.origin().toUtf8());
        MachineAuthService auth(machine.store);
        WebSocketSubscriber subscriber(auth);
        subscriber.setTiming({ .initialBackoffMs = 50, .maximumBackoffMs = 200 });
        QSignalSpy scheduled(&subscriber, &WebSocketSubscriber::reconnectScheduled);
        LogCapture log;

        subscriber.start();
        // Three connections flooded and dropped; a subscriber that never lets
        // go is stopped by the memory it gathers instead.
        const auto overCeiling
            = [] { return ProcessMemory::meaningful && ProcessMemory::peakResidentKiB() > memoryCeilingKiB; };
        QTRY_VERIFY_WITH_TIMEOUT(scheduled.count() >= 3 || overCeiling(), 60 * 1000);
        subscriber.stop();
        qInfo("peak resident set: %lld KiB", ProcessMemory::peakResidentKiB());
        if (ProcessMemory::meaningful)
            QVERIFY2(!overCeiling(), qPrintable(QString::number(ProcessMemory::peakResidentKiB())));
        QVERIFY(scheduled.count() >= 3);
        QVERIFY(!subscriber.isConnected());
        QCOMPARE(log.lines().count(QStringLiteral("Quorvane: stream closed: too many control frames")), 1);
    }
};

QTEST_GUILESS_MAIN(TestHostileStream)
#include "tst_HostileStream.moc"
