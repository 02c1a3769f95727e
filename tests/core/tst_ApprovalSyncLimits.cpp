#include "core/ApprovalSyncService.h"
#include "core/Http.h"
#include "core/MachineAuthService.h"
#include "core/WebSocketSubscriber.h"
#include "tests/support/BackendMachine.h"
#include "tests/support/HostilePeer.h"
#include "tests/support/LogCapture.h"
#include "tests/support/PendingActionJson.h"

#include <QCoroTask>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

// A well-formed list, written out directly so that building it costs no more
// memory than its text.
QByteArray pendingList(int count, int explanationSize = 0)
{
    const QByteArray explanation(explanationSize, 'x');
    QByteArray list = "{\"actions\":[";
    for (int i = 0; i < count; ++i) {
        QJsonObject one = pendingActionJson(u"a-%1"_s.arg(i));
        one.insert(u"explanation"_s, QString::fromLatin1(explanation));
        if (i > 0)
            list += ',';
        list += QJsonDocument(one).toJson(QJsonDocument::Compact);
    }
    return list + "]}";
}

} // namespace

// The approval loop and its event stream against back-ends that flood, drip, refuse, oversize,
// hold a handshake open, close at once or never answer a ping: the limits that keep the program
// responsive and small.
class TestApprovalSyncLimits : public QObject
{
    Q_OBJECT

    struct Fixture : BackendMachine
    {
        MachineAuthService auth { store };
        QNetworkAccessManager network;
        ApprovalSyncService sync { auth };

        Fixture() { sync.setPollInterval(60 * 60 * 1000); }

        int pendingFetches() { return requestCount(u"GET"_s, u"/actions/pending"_s); }
    };

    // A registered machine whose API origin is a hostile peer that holds the stream.
    struct HostileFixture : Fixture
    {
        HostilePeer peer;
        HostileFixture() { qputenv("QUORVANE_API_BASE_URL", peer.origin().toUtf8()); }
        int peerRequests(const QByteArray& path) const
        {
            const auto requests = peer.requests();
            return std::count_if(
                requests.cbegin(), requests.cend(), [&](const auto& r) { return r.first == path; });
        }
    };

    // A registered machine's subscriber, against the reference back-end.
    struct StreamFixture : BackendMachine
    {
        MachineAuthService auth { store };
        WebSocketSubscriber subscriber { auth };

        explicit StreamFixture(WebSocketSubscriber::Timing timing = {}) { subscriber.setTiming(timing); }
    };

    // The same, with the hostile peer as the API origin.
    struct HostileStream : StreamFixture
    {
        HostilePeer peer;

        HostileStream(HostilePeer::Stream stream, WebSocketSubscriber::Timing timing)
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
    void frameFloodCostsAHandfulOfFetches()
    {
        Fixture f;
        QVERIFY(f.machine);
        f.backend.addAction(pendingActionJson(u"flooded"_s));
        QSignalSpy trust(&f.sync, &ApprovalSyncService::trustWindowChanged);
        f.sync.start();
        QTRY_VERIFY(f.sync.subscriber().isConnected());
        QTRY_COMPARE(f.sync.pendingActions().size(), 1);
        QVERIFY(f.backend.clearRequests());

        QCOMPARE(f.backend.sendFrame("{\"type\":\"action_pending\",\"actionId\":\"flooded\"}", {}, 20000), 1);
        // A frame after the flood tells when all of it has been read.
        f.backend.sendFrame("{\"type\":\"trust_window_changed\",\"active\":false}");
        QTRY_COMPARE_WITH_TIMEOUT(trust.count(), 1, 60000);
        QTest::qWait(500);
        const int fetches = f.pendingFetches();
        QVERIFY2(fetches >= 1 && fetches <= 5, qPrintable(QString::number(fetches)));
        QVERIFY(f.sync.subscriber().isConnected());
    }

    void repeatedRefusalShowsIdentityRefused()
    {
        Fixture f;
        QVERIFY(f.machine);
        LogCapture log;
        f.sync.subscriber().setReconnectDelays(50, 100);
        QSignalSpy refused(&f.sync.subscriber(), &WebSocketSubscriber::handshakeRefused);
        QVERIFY(f.backend.inject("GET", u"/ws/user"_s, 401, "{\"error\":\"unknown machine\"}", 100));
        QVERIFY(f.backend.inject("GET", u"/actions/pending"_s, 401, "{\"error\":\"unknown machine\"}", 100));
        f.sync.start();
        QTRY_VERIFY(f.sync.identityRefused());
        QCOMPARE(refused.first().first().toInt(), 401);
        QVERIFY(log.contains(u"Quorvane: the back-end refused this machine's identity 3 times in a row"_s));

        // Once the key is accepted again, the message goes away.
        QVERIFY(f.backend.request("DELETE", "/_control/inject").status == 200);
        QTRY_VERIFY_WITH_TIMEOUT(f.sync.subscriber().isConnected(), 5000);
        QVERIFY(!f.sync.identityRefused());
    }

    void tooManyRequestsHonoursRetryAfter()
    {
        Fixture f;
        QVERIFY(f.machine);
        QVERIFY(f.backend.inject(
            "GET", u"/actions/pending"_s, 429, {}, 1, 0, QJsonObject { { u"Retry-After"_s, u"1"_s } }));
        f.sync.fetchPendingFromPush();
        QTRY_COMPARE(f.pendingFetches(), 1);
        QTRY_VERIFY(f.sync.fetchPauseRemainingMs() > 0);
        QVERIFY(f.sync.fetchPauseRemainingMs() <= 1000);
        f.sync.fetchPendingFromPush();
        QTest::qWait(200);
        QCOMPARE(f.pendingFetches(), 1);
        QTRY_COMPARE_WITH_TIMEOUT(f.sync.fetchPauseRemainingMs(), 0, 2000);
        f.sync.fetchPendingFromPush();
        QTRY_COMPARE(f.pendingFetches(), 2);

        // A server asking for a day gets five minutes.
        QVERIFY(f.backend.inject(
            "GET", u"/actions/pending"_s, 429, {}, 1, 0, QJsonObject { { u"Retry-After"_s, u"86400"_s } }));
        f.sync.fetchPendingFromPush();
        QTRY_VERIFY(f.sync.fetchPauseRemainingMs() > 290 * 1000);
        QVERIFY(f.sync.fetchPauseRemainingMs() <= 300 * 1000);
    }

    void stalledPollNeitherLastsNorDelaysADecision()
    {
        HostileFixture f;
        QVERIFY(f.machine);
        f.peer.setDrip("/actions/pending", 100);
        f.peer.setAnswer("/approvals/d-1/respond", 200, "{}");
        const int deadlineMs = 1500;
        f.sync.setRequestDeadline(deadlineMs);
        f.sync.start();
        QTRY_COMPARE(f.peerRequests("/actions/pending"), 1);

        // Five more stalled requests and the poll fill the six connections
        // the shared pool has for this host (none waits queued, so none can
        // reach its deadline before it is sent).
        const std::optional<SignedRequest> stalled
            = f.auth.signedGETRequest(QUrl(f.peer.origin() + u"/actions/pending"_s));
        QVERIFY(stalled);
        for (int i = 0; i < 5; ++i)
            Http::send(f.network, *stalled, Http::Limits { Http::defaultMaximumBodySize, deadlineMs });
        QTRY_COMPARE(f.peerRequests("/actions/pending"), 6);

        const qint64 sentAt = f.peer.elapsed();
        QVERIFY(QCoro::waitFor(f.sync.respondToAction(u"d-1"_s, u"denied"_s, std::nullopt)));
        QCOMPARE(f.peerRequests("/approvals/d-1/respond"), 1);
        const qint64 arrivedAt = f.peer.requests().last().second;
        QVERIFY2(arrivedAt - sentAt < deadlineMs, qPrintable(QString::number(arrivedAt - sentAt)));

        // The dripping poll ends at its deadline, so the next fetch goes out.
        QTest::qWait(deadlineMs + 200);
        f.sync.fetchPendingFromPush();
        QTRY_COMPARE(f.peerRequests("/actions/pending"), 7);
    }

    void oversizedPendingListIsRefused()
    {
        HostileFixture f;
        QVERIFY(f.machine);
        LogCapture log;
        f.peer.setAnswer("/actions/pending", 200, pendingList(10 * 1024, 1000)); // over 10 MB of actions
        QSignalSpy changes(&f.sync, &ApprovalSyncService::pendingActionsChanged);
        f.sync.fetchPendingFromPush();
        QTRY_VERIFY(
            log.contains(u"Quorvane: refused an answer of /actions/pending larger than 8388608 bytes"_s));
        QCOMPARE(changes.count(), 0);
        QVERIFY(f.sync.pendingActions().isEmpty());
    }

    void longListKeepsItsCount()
    {
        HostileFixture f;
        QVERIFY(f.machine);
        f.peer.setAnswer("/actions/pending", 200, pendingList(6000));
        QSignalSpy escalations(&f.sync, &ApprovalSyncService::newEscalationArrived);
        f.sync.fetchPendingFromPush();
        QTRY_COMPARE(f.sync.pendingActions().size(), 5000);
        QCOMPARE(f.sync.pendingCount(), 6000);
        QCOMPARE(f.sync.pendingActions().first().id, u"a-0"_s);
        QCOMPARE(escalations.count(), 1);
    }
    void heldHandshakeIsRetriedAfterItsLimit()
    {
        const WebSocketSubscriber::Timing timing { .initialBackoffMs = 100, .handshakeTimeoutMs = 300 };
        HostileStream f(HostilePeer::Stream::hold, timing);
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
        HostileStream f(HostilePeer::Stream::acceptThenSilent, timing);
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
        QSignalSpy connected(&f.subscriber, &WebSocketSubscriber::isConnectedChanged);
        f.subscriber.start();
        QTRY_VERIFY(f.subscriber.isConnected());
        QTest::qWait(1000); // ten pings, each answered by the reference back-end
        QVERIFY(f.subscriber.isConnected());
        QCOMPARE(connected.count(), 1);
    }

    void acceptThenCloseBacksOffWithoutReset()
    {
        // The program's own delays: an open that is closed at once is no
        // reason to start the back-off over (that needs 30 s of an open stream).
        HostileStream f(HostilePeer::Stream::acceptThenClose, {});
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
        QSignalSpy scheduled(&f.subscriber, &WebSocketSubscriber::reconnectScheduled);
        f.subscriber.start();
        QTRY_VERIFY(f.subscriber.isConnected());
        f.backend.dropSockets();
        QTRY_COMPARE(scheduled.count(), 1);
        QTRY_VERIFY(f.subscriber.isConnected());
        // Up again, but not for long enough yet: the next failure waits longer.
        QCOMPARE(f.subscriber.backoffMs(), 80);
        QTRY_COMPARE_WITH_TIMEOUT(f.subscriber.backoffMs(), 40, 2000);
    }

    void oversizedMessageIsRefused()
    {
        const WebSocketSubscriber::Timing timing { .initialBackoffMs = 50, .maximumBackoffMs = 50 };
        StreamFixture f(timing);
        QVERIFY(f.machine);
        LogCapture log;
        QSignalSpy events(&f.subscriber, &WebSocketSubscriber::eventReceived);
        QSignalSpy scheduled(&f.subscriber, &WebSocketSubscriber::reconnectScheduled);
        f.subscriber.start();
        QTRY_VERIFY(f.subscriber.isConnected());

        // A frame of 2 MiB that would otherwise decode as an event.
        const QByteArray padding(2 * 1024 * 1024, 'x');
        const QByteArray huge
            = "{\"type\":\"action_pending\",\"actionId\":\"a\",\"pad\":\"" + padding + "\"}";
        QCOMPARE(f.backend.sendFrame(huge), 1);
        QTRY_COMPARE(scheduled.count(), 1);
        QTRY_VERIFY(f.subscriber.isConnected());
        QCOMPARE(f.backend.sendFrame(huge), 1);
        QTRY_COMPARE(scheduled.count(), 2);
        QCOMPARE(events.count(), 0);
        QCOMPARE(log.lines().count(u"Quorvane: stream message larger than 1048576 bytes refused"_s), 1);

        // Ordinary frames still arrive on the new stream.
        QTRY_VERIFY(f.subscriber.isConnected());
        f.backend.sendFrame("{\"type\":\"action_pending\",\"actionId\":\"small\"}");
        QTRY_COMPARE(events.count(), 1);
    }
};

QTEST_GUILESS_MAIN(TestApprovalSyncLimits)
#include "tst_ApprovalSyncLimits.moc"
