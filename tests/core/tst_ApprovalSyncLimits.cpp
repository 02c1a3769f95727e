#include "core/ApprovalSyncService.h"
#include "core/Http.h"
#include "core/MachineAuthService.h"
#include "tests/support/BackendMachine.h"
#include "tests/support/HostilePeer.h"
#include "tests/support/LogCapture.h"
#include "tests/support/PendingActionJson.h"
#include "tests/support/ProcessMemory.h"

#include <QCoroTask>
#include <QJsonArray>
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

// The approval loop against a back-end that floods, drips, refuses and
// oversizes: the limits that keep the program responsive and small.
class TestApprovalSyncLimits : public QObject
{
    Q_OBJECT

    struct Fixture : BackendMachine
    {
        MachineAuthService auth { store };
        QNetworkAccessManager network;
        ApprovalSyncService sync { auth, network };

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
            int count = 0;
            for (const auto& request : peer.requests())
                count += request.first == path ? 1 : 0;
            return count;
        }
    };

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

    void replayedDecisionIsRefused()
    {
        Fixture f;
        QVERIFY(f.machine);
        f.backend.addAction(pendingActionJson(u"ls"_s));
        f.backend.addAction(pendingActionJson(u"rm-rf-home"_s));
        f.sync.fetchPendingFromPush();
        QTRY_COMPARE(f.sync.pendingActions().size(), 2);
        QVERIFY(QCoro::waitFor(f.sync.respondToAction(u"ls"_s, u"approved"_s, std::nullopt)));

        // The captured request, replayed onto another action and onto its own.
        const QList<QJsonObject> sent = f.requestsTo(u"/approvals/ls/respond"_s);
        QCOMPARE(sent.size(), 1);
        const QJsonObject headers = sent.first().value("headers"_L1).toObject();
        BackendProcess::Headers replayed;
        for (const char* name : { "Content-Type", "X-Machine-Id", "X-Signature", "X-Signed-Message" }) {
            const QString value = headers.value(QString::fromLatin1(name)).toString();
            QVERIFY2(!value.isEmpty(), name);
            replayed.append({ QByteArray(name), value.toUtf8() });
        }
        const QByteArray body = sent.first().value("body"_L1).toString().toUtf8();
        QVERIFY(body.contains("\"action_id\":\"ls\""));
        QCOMPARE(f.backend.request("POST", "/approvals/rm-rf-home/respond", body, replayed).status, 401);
        QCOMPARE(f.backend.request("POST", "/approvals/ls/respond", body, replayed).status, 401);

        // A decision captured before it reached the back-end names its action,
        // so moved onto another one it is refused too.
        const QByteArray intercepted
            = ApprovalSyncService::decisionBody(u"ls2"_s, u"approved"_s, std::nullopt);
        const std::optional<SignedRequest> signedOnce
            = f.auth.signedPOSTRequest(f.backend.url(u"/approvals/ls2/respond"_s), intercepted);
        QVERIFY(signedOnce);
        BackendProcess::Headers moved;
        for (const QByteArray& name : signedOnce->request.rawHeaderList())
            moved.append({ name, signedOnce->request.rawHeader(name) });
        QCOMPARE(f.backend.request("POST", "/approvals/rm-rf-home/respond", intercepted, moved).status, 400);
        QCOMPARE(f.backend.actionStatus(u"rm-rf-home"_s).value("status"_L1).toString(), u"pending"_s);
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
        // About 20 MiB of well-formed actions.
        const QByteArray huge = pendingList(20 * 1024, 1000);
        QVERIFY(huge.size() > 20 * 1000 * 1000);
        f.peer.setAnswer("/actions/pending", 200, huge);
        QSignalSpy changes(&f.sync, &ApprovalSyncService::pendingActionsChanged);
        f.sync.fetchPendingFromPush();
        QTRY_VERIFY(
            log.contains(u"Quorvane: refused an answer of /actions/pending larger than 8388608 bytes"_s));
        QCOMPARE(changes.count(), 0);
        QVERIFY(f.sync.pendingActions().isEmpty());
#ifndef __SANITIZE_ADDRESS__ // the address sanitizer's shadow memory is not the program's
        const qint64 peak = ProcessMemory::peakResidentKiB();
        QVERIFY2(peak > 0 && peak < 100 * 1024, qPrintable(QString::number(peak)));
#endif
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
};

QTEST_GUILESS_MAIN(TestApprovalSyncLimits)
#include "tst_ApprovalSyncLimits.moc"
