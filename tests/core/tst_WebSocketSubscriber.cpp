#include "ApprovalSyncService.h"
#include "BackendMachine.h"
#include "HostilePeer.h"
#include "LogCapture.h"
#include "MachineAuthService.h"
#include "WebSocketSubscriber.h"

#include <QSignalSpy>
#include <QTest>

// The event stream against peers that misbehave: a handshake held open, a
// server that accepts and at once closes, a peer that never answers a ping,
// and messages far larger than any real frame.
class TestWebSocketSubscriber : public QObject
{
    Q_OBJECT

    // A registered machine whose API origin is the hostile peer.
    struct HostileFixture : BackendMachine
    {
        HostilePeer peer;
        MachineAuthService auth{store};
        WebSocketSubscriber subscriber{auth};

        explicit HostileFixture(HostilePeer::Stream stream)
        {
            peer.setStream(stream);
            qputenv("QUORVANE_API_BASE_URL", peer.origin().toUtf8());
        }
    };

    static QList<int> delays(const QSignalSpy& spy)
    {
        QList<int> result;
        for (const QList<QVariant>& arguments : spy)
            result << arguments.first().toInt();
        return result;
    }

private Q_SLOTS:
    void heldHandshakeIsRetriedAfterItsLimit()
    {
        HostileFixture f(HostilePeer::Stream::hold);
        QVERIFY(f.machine);
        WebSocketSubscriber::Timing timing;
        timing.handshakeTimeoutMs = 300;
        timing.initialBackoffMs = 100;
        f.subscriber.setTiming(timing);
        QSignalSpy scheduled(&f.subscriber, &WebSocketSubscriber::reconnectScheduled);

        f.subscriber.start();
        QTRY_COMPARE(f.peer.handshakeTimes().size(), 1);
        QTRY_COMPARE_WITH_TIMEOUT(scheduled.count(), 1, 3000);
        QVERIFY(!f.subscriber.isConnected());
        // The held connection is given up and a new handshake follows the back-off.
        QTRY_COMPARE_WITH_TIMEOUT(f.peer.handshakeTimes().size(), 2, 3000);
        const qint64 gap = f.peer.handshakeTimes().at(1) - f.peer.handshakeTimes().at(0);
        QVERIFY2(gap >= 300, qPrintable(QString::number(gap))); // not before the limit
        QTRY_COMPARE_WITH_TIMEOUT(scheduled.count(), 2, 3000);
        QCOMPARE(delays(scheduled), (QList<int>{100, 200}));
    }

    void silentPeerIsDroppedByKeepAlive()
    {
        HostileFixture f(HostilePeer::Stream::acceptThenSilent);
        QVERIFY(f.machine);
        WebSocketSubscriber::Timing timing;
        timing.pingIntervalMs = 200;
        timing.pongTimeoutMs = 200;
        timing.initialBackoffMs = 5000;
        f.subscriber.setTiming(timing);
        QSignalSpy connected(&f.subscriber, &WebSocketSubscriber::isConnectedChanged);

        f.subscriber.start();
        QTRY_VERIFY(f.subscriber.isConnected());
        // No pong ever comes back: ping after 200 ms, dropped 200 ms later.
        QTRY_VERIFY_WITH_TIMEOUT(!f.subscriber.isConnected(), 3000);
        QCOMPARE(connected.count(), 2);
        QVERIFY(!f.subscriber.hasSocket());
        QCOMPARE(f.peer.handshakeTimes().size(), 1);
    }

    void answeredPingsKeepTheStreamOpen()
    {
        BackendMachine f;
        QVERIFY(f.machine);
        MachineAuthService auth(f.store);
        WebSocketSubscriber subscriber(auth);
        WebSocketSubscriber::Timing timing;
        timing.pingIntervalMs = 100;
        timing.pongTimeoutMs = 300;
        subscriber.setTiming(timing);
        QSignalSpy connected(&subscriber, &WebSocketSubscriber::isConnectedChanged);
        subscriber.start();
        QTRY_VERIFY(subscriber.isConnected());
        QTest::qWait(1000); // ten pings, each answered by the reference back-end
        QVERIFY(subscriber.isConnected());
        QCOMPARE(connected.count(), 1);
    }

    void acceptThenCloseBacksOffWithoutReset()
    {
        HostileFixture f(HostilePeer::Stream::acceptThenClose);
        QVERIFY(f.machine);
        // The real 1, 2, 4, 8 s scaled down by ten; the back-off would only
        // start over after 30 s of an open stream.
        f.subscriber.setReconnectDelays(100, 6000);
        QSignalSpy scheduled(&f.subscriber, &WebSocketSubscriber::reconnectScheduled);
        f.subscriber.start();
        QTRY_VERIFY_WITH_TIMEOUT(scheduled.count() >= 4, 5000);
        QCOMPARE(delays(scheduled).mid(0, 4), (QList<int>{100, 200, 400, 800}));
        QVERIFY(f.peer.handshakeTimes().size() <= 5);
    }

    void backoffStartsOverAfterAStableStream()
    {
        BackendMachine f;
        QVERIFY(f.machine);
        MachineAuthService auth(f.store);
        WebSocketSubscriber subscriber(auth);
        WebSocketSubscriber::Timing timing;
        timing.initialBackoffMs = 40;
        timing.stableAfterMs = 300;
        subscriber.setTiming(timing);
        QSignalSpy scheduled(&subscriber, &WebSocketSubscriber::reconnectScheduled);
        subscriber.start();
        QTRY_VERIFY(subscriber.isConnected());
        f.backend.dropSockets();
        QTRY_COMPARE(scheduled.count(), 1);
        QTRY_VERIFY(subscriber.isConnected());
        // Up again, but not for long enough yet: the next failure waits longer.
        QCOMPARE(subscriber.backoffMs(), 80);
        QTRY_COMPARE_WITH_TIMEOUT(subscriber.backoffMs(), 40, 2000);
    }

    void oversizedMessageIsRefused()
    {
        BackendMachine f;
        QVERIFY(f.machine);
        MachineAuthService auth(f.store);
        WebSocketSubscriber subscriber(auth);
        subscriber.setReconnectDelays(50, 50);
        LogCapture log;
        QSignalSpy events(&subscriber, &WebSocketSubscriber::eventReceived);
        QSignalSpy scheduled(&subscriber, &WebSocketSubscriber::reconnectScheduled);
        subscriber.start();
        QTRY_VERIFY(subscriber.isConnected());

        // A frame of 2 MiB that would otherwise decode as an event.
        const QByteArray padding(2 * 1024 * 1024, 'x');
        const QByteArray huge = "{\"type\":\"action_pending\",\"actionId\":\"a\",\"pad\":\"" + padding + "\"}";
        QCOMPARE(f.backend.sendFrame(huge), 1);
        QTRY_COMPARE(scheduled.count(), 1);
        QTRY_VERIFY(subscriber.isConnected());
        QCOMPARE(f.backend.sendFrame(huge), 1);
        QTRY_COMPARE(scheduled.count(), 2);
        QCOMPARE(events.count(), 0);
        QCOMPARE(log.lines().count(QStringLiteral("Quorvane: stream message larger than 1048576 bytes refused")), 1);

        // Ordinary frames still arrive on the new stream.
        QTRY_VERIFY(subscriber.isConnected());
        f.backend.sendFrame("{\"type\":\"action_pending\",\"actionId\":\"small\"}");
        QTRY_COMPARE(events.count(), 1);
    }
};

QTEST_GUILESS_MAIN(TestWebSocketSubscriber)
#include "tst_WebSocketSubscriber.moc"
