#include "core/ApprovalSyncService.h"
#include "core/MachineAuthService.h"
#include "core/WebSocketSubscriber.h"
#include "tests/support/BackendMachine.h"
#include "tests/support/HostilePeer.h"
#include "tests/support/LogCapture.h"

#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;

// The event stream against peers that misbehave: a handshake held open, a
// server that accepts and at once closes, a peer that never answers a ping,
// and messages far larger than any real frame.
class TestWebSocketSubscriber : public QObject
{
    Q_OBJECT

    // A registered machine's subscriber, against the reference back-end.
    struct StreamFixture : BackendMachine
    {
        MachineAuthService auth { store };
        WebSocketSubscriber subscriber { auth };

        explicit StreamFixture(WebSocketSubscriber::Timing timing = {}) { subscriber.setTiming(timing); }
    };

    // The same, with the hostile peer as the API origin.
    struct HostileFixture : StreamFixture
    {
        HostilePeer peer;

        HostileFixture(HostilePeer::Stream stream, WebSocketSubscriber::Timing timing)
            : StreamFixture(timing)
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
        const WebSocketSubscriber::Timing timing { .initialBackoffMs = 100, .handshakeTimeoutMs = 300 };
        HostileFixture f(HostilePeer::Stream::hold, timing);
        QVERIFY(f.machine);
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
        QCOMPARE(delays(scheduled), (QList<int> { 100, 200 }));
    }

    void silentPeerIsDroppedByKeepAlive()
    {
        const WebSocketSubscriber::Timing timing {
            .initialBackoffMs = 5000, .pingIntervalMs = 200, .pongTimeoutMs = 200
        };
        HostileFixture f(HostilePeer::Stream::acceptThenSilent, timing);
        QVERIFY(f.machine);
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
        const WebSocketSubscriber::Timing timing { .pingIntervalMs = 100, .pongTimeoutMs = 300 };
        StreamFixture f(timing);
        QVERIFY(f.machine);
        WebSocketSubscriber& subscriber = f.subscriber;
        QSignalSpy connected(&subscriber, &WebSocketSubscriber::isConnectedChanged);
        subscriber.start();
        QTRY_VERIFY(subscriber.isConnected());
        QTest::qWait(1000); // ten pings, each answered by the reference back-end
        QVERIFY(subscriber.isConnected());
        QCOMPARE(connected.count(), 1);
    }

    void acceptThenCloseBacksOffWithoutReset()
    {
        // The program's own delays: an open that is closed at once is no
        // reason to start the back-off over (that needs 30 s of an open stream).
        HostileFixture f(HostilePeer::Stream::acceptThenClose, {});
        QVERIFY(f.machine);
        QSignalSpy scheduled(&f.subscriber, &WebSocketSubscriber::reconnectScheduled);
        f.subscriber.start();
        QTRY_VERIFY_WITH_TIMEOUT(scheduled.count() >= 4, 12000);
        QCOMPARE(delays(scheduled).mid(0, 4), (QList<int> { 1000, 2000, 4000, 8000 }));
        const QList<qint64>& handshakes = f.peer.handshakeTimes();
        QCOMPARE(handshakes.size(), 4);
        for (int i = 1; i < 4; ++i) {
            const qint64 gap = handshakes.at(i) - handshakes.at(i - 1);
            QVERIFY2(gap >= (1000 << (i - 1)) * 9 / 10,
                qPrintable(QString::number(gap))); // timers may fire 5% early
        }
    }

    void backoffStartsOverAfterAStableStream()
    {
        const WebSocketSubscriber::Timing timing { .initialBackoffMs = 40, .stableAfterMs = 300 };
        StreamFixture f(timing);
        QVERIFY(f.machine);
        WebSocketSubscriber& subscriber = f.subscriber;
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
        const WebSocketSubscriber::Timing timing { .initialBackoffMs = 50, .maximumBackoffMs = 50 };
        StreamFixture f(timing);
        QVERIFY(f.machine);
        WebSocketSubscriber& subscriber = f.subscriber;
        LogCapture log;
        QSignalSpy events(&subscriber, &WebSocketSubscriber::eventReceived);
        QSignalSpy scheduled(&subscriber, &WebSocketSubscriber::reconnectScheduled);
        subscriber.start();
        QTRY_VERIFY(subscriber.isConnected());

        // A frame of 2 MiB that would otherwise decode as an event.
        const QByteArray padding(2 * 1024 * 1024, 'x');
        const QByteArray huge
            = "{\"type\":\"action_pending\",\"actionId\":\"a\",\"pad\":\"" + padding + "\"}";
        QCOMPARE(f.backend.sendFrame(huge), 1);
        QTRY_COMPARE(scheduled.count(), 1);
        QTRY_VERIFY(subscriber.isConnected());
        QCOMPARE(f.backend.sendFrame(huge), 1);
        QTRY_COMPARE(scheduled.count(), 2);
        QCOMPARE(events.count(), 0);
        QCOMPARE(log.lines().count(u"Quorvane: stream message larger than 1048576 bytes refused"_s), 1);

        // Ordinary frames still arrive on the new stream.
        QTRY_VERIFY(subscriber.isConnected());
        f.backend.sendFrame("{\"type\":\"action_pending\",\"actionId\":\"small\"}");
        QTRY_COMPARE(events.count(), 1);
    }
};

QTEST_GUILESS_MAIN(TestWebSocketSubscriber)
#include "tst_WebSocketSubscriber.moc"
