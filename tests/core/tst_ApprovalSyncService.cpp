#include "core/ApprovalSyncService.h"
#include "core/MacPushTokenService.h"
#include "core/MachineAuthService.h"
#include "tests/support/BackendMachine.h"
#include "tests/support/LogCapture.h"
#include "tests/support/PendingActionJson.h"
#include "tests/support/TestHome.h"

#include <QCoroTask>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

QStringList ids(const ApprovalSyncService& sync)
{
    QStringList result;
    for (const PendingAction& pending : sync.pendingActions())
        result << pending.id;
    return result;
}

} // namespace

// The machine's signed traffic with the reference back-end on loopback, which checks every
// signature with its own verifier: approval sync, decisions, the event stream and the push token.
class TestApprovalSyncService : public QObject
{
    Q_OBJECT

    struct Fixture : BackendMachine
    {
        MachineAuthService auth { store };
        ApprovalSyncService sync { auth };

        Fixture()
        {
            sync.setPollInterval(60 * 60 * 1000); // the poll is exercised on its own below
            sync.subscriber().setReconnectDelays(40, 320);
        }
    };

    // The push token's service with a clock the test moves.
    struct PushFixture : BackendMachine
    {
        using BackendMachine::BackendMachine;
        std::chrono::system_clock::time_point now = std::chrono::system_clock::now();
        MachineAuthService auth { store, [this] { return now; } };
        QNetworkAccessManager network;
        MacPushTokenService service { auth, network };
        LogCapture log;

        QString pushPath() const { return u"/machines/%1/push-token"_s.arg(machine->config.id); }
    };

private Q_SLOTS:
    // Every body names the action it decides; a value never breaks out of its string (the
    // escaping itself is tested with the other texts).
    void bodiesKeepEachValueOneString()
    {
        const auto decision = [](const QString& value, std::optional<RuleScope> scope) {
            return ApprovalSyncService::decisionBody(u"a-1"_s, value, scope);
        };
        QCOMPARE(
            decision(u"approved"_s, std::nullopt), "{\"action_id\":\"a-1\",\"decision\":\"approved\"}"_ba);
        QCOMPARE(decision(u"denied"_s, RuleScope(RuleScope::global)),
            "{\"action_id\":\"a-1\",\"decision\":\"denied\"}"_ba);
        QCOMPARE(decision(u"x\",\"y\":\"z"_s, std::nullopt),
            "{\"action_id\":\"a-1\",\"decision\":\"x\\\",\\\"y\\\":\\\"z\"}"_ba);
        const QString token = u"x\",\"platform\":\"evil"_s;
        QCOMPARE(MacPushTokenService::requestBody(token),
            "{\"push_token\":\"x\\\",\\\"platform\\\":\\\"evil\",\"platform\":\"apns-macos\"}"_ba);
    }

    void notConfiguredStaysInactive()
    {
        TestHome home;
        LogCapture log;
        FileCredentialStore store;
        MachineAuthService auth(store);
        ApprovalSyncService sync(auth);
        sync.start();
        QVERIFY(!sync.isActive());
        QVERIFY(log.contains(u"Quorvane: ApprovalSyncService not starting — auth not configured"_s));
        QVERIFY(!sync.subscriber().hasSocket());
        QVERIFY(!QCoro::waitFor(sync.respondToAction(u"a"_s, u"approved"_s, std::nullopt)));
    }

    void startFetchesTwiceAndEscalationsSignalOnce()
    {
        Fixture f;
        QVERIFY2(f.backend.isRunning(), qPrintable(f.backend.lastError()));
        QVERIFY(f.machine);
        LogCapture log;
        QSignalSpy escalations(&f.sync, &ApprovalSyncService::newEscalationArrived);

        f.sync.start();
        f.sync.start();
        QVERIFY(f.sync.isActive());
        QCOMPARE(log.lines().count(u"Quorvane: ApprovalSyncService starting (machine=%1…)"_s.arg(
                     f.machine->config.id.left(8))),
            1);
        // One fetch at start, one when the stream opens.
        QTRY_VERIFY(f.sync.subscriber().isConnected());
        QTRY_COMPARE(f.requestCount(u"GET"_s, u"/actions/pending"_s), 2);
        QCOMPARE(escalations.count(), 0);

        f.backend.addAction(pendingActionJson(u"act-1"_s));
        QTRY_COMPARE(ids(f.sync), QStringList { u"act-1"_s });
        QCOMPARE(escalations.count(), 1);

        f.backend.addAction(pendingActionJson(u"act-2"_s));
        QTRY_COMPARE(ids(f.sync).size(), 2);
        QCOMPARE(escalations.count(), 2);

        // A repeated announcement of known actions fetches but raises nothing.
        QSignalSpy changes(&f.sync, &ApprovalSyncService::pendingActionsChanged);
        f.backend.sendFrame("{\"type\":\"action_pending\",\"actionId\":\"act-1\"}");
        QTRY_COMPARE(changes.count(), 1);
        QCOMPARE(escalations.count(), 2);

        // Decisions: 200 removes, a second decision gets 409 and counts as done,
        // an unknown action gets 404, is logged and changes nothing.
        QVERIFY(
            QCoro::waitFor(f.sync.respondToAction(u"act-1"_s, u"approved"_s, RuleScope(RuleScope::machine))));
        QCOMPARE(ids(f.sync), QStringList { u"act-2"_s });
        QVERIFY(QCoro::waitFor(f.sync.respondToAction(u"act-1"_s, u"approved"_s, std::nullopt)));
        QVERIFY(!QCoro::waitFor(f.sync.respondToAction(u"nope"_s, u"denied"_s, std::nullopt)));
        QVERIFY(log.contains(u"Quorvane: approval respond failed: HTTP 404"_s));
        QCOMPARE(ids(f.sync), QStringList { u"act-2"_s });

        // The first decision is the one the back-end took, signed.
        const QJsonObject decided = f.requestsTo(u"/approvals/act-1/respond"_s).first();
        QCOMPARE(decided.value("status"_L1).toInt(), 200);
        QVERIFY(decided.value("verified"_L1).toBool());
        QCOMPARE(decided.value("body"_L1).toString(),
            u"{\"action_id\":\"act-1\",\"decision\":\"approved\",\"create_rule\":{\"scope\":\"machine\"}}"_s);

        // A list that only shrinks raises nothing; trust-window frames pass through.
        QSignalSpy trust(&f.sync, &ApprovalSyncService::trustWindowChanged);
        f.sync.fetchPendingFromPush();
        QTRY_COMPARE(f.requestCount(u"GET"_s, u"/actions/pending"_s), 6);
        QCOMPARE(escalations.count(), 2);
        f.backend.sendFrame("{\"type\":\"trust_window_changed\",\"active\":false}");
        QTRY_COMPARE(trust.count(), 1);
        QCOMPARE(trust.first().first().toBool(), false);

        // After stop() the list stays as it was.
        f.sync.stop();
        QVERIFY(!f.sync.isActive());
        QCOMPARE(ids(f.sync), QStringList { u"act-2"_s });
    }

    // The decoder's refusals are tested on their own; here: a refused list keeps the one shown.
    void malformedListLeavesTheListUnchanged()
    {
        Fixture f;
        QVERIFY(f.machine);
        f.backend.addAction(pendingActionJson(u"kept"_s));
        f.sync.start();
        QTRY_COMPARE(ids(f.sync), QStringList { u"kept"_s });
        QTRY_VERIFY(f.sync.subscriber().isConnected());
        const int before = f.requestCount(u"GET"_s, u"/actions/pending"_s);

        QVERIFY(f.backend.inject("GET", u"/actions/pending"_s, 200, "{\"actions\":[{\"id\":1}]}"));
        f.sync.fetchPendingFromPush();
        QTRY_COMPARE(f.requestCount(u"GET"_s, u"/actions/pending"_s), before + 1);
        // Another answered fetch proves the bad one was fully handled first.
        QVERIFY(f.backend.inject("GET", u"/actions/pending"_s, 500));
        f.sync.fetchPendingFromPush();
        QTRY_COMPARE(f.requestCount(u"GET"_s, u"/actions/pending"_s), before + 2);
        QTest::qWait(50);
        QCOMPARE(ids(f.sync), QStringList { u"kept"_s });
    }

    void reconnectBacksOffAndRecovers()
    {
        Fixture f;
        QVERIFY(f.machine);
        QSignalSpy delays(&f.sync.subscriber(), &WebSocketSubscriber::reconnectScheduled);
        f.sync.start();
        QTRY_VERIFY(f.sync.subscriber().isConnected());

        // The server goes away: retries wait 40, 80, 160, 320, 320 ms (the
        // scaled-down 1, 2, 4, 8 ... 60 s), each handshake refused.
        QVERIFY(f.backend.refuseWebSocket(2));
        f.backend.addAction(pendingActionJson(u"while-down"_s));
        QVERIFY(f.backend.dropSockets() >= 0);
        QTRY_VERIFY_WITH_TIMEOUT(delays.count() >= 5, 5000);
        QList<int> seen;
        for (int i = 0; i < 5; ++i)
            seen << delays.at(i).first().toInt();
        QCOMPARE(seen, (QList<int> { 40, 80, 160, 320, 320 }));

        // Once the server takes the socket again, the list is right again and
        // the back-off starts over.
        QTRY_VERIFY_WITH_TIMEOUT(f.sync.subscriber().isConnected(), 5000);
        QTRY_COMPARE(ids(f.sync), QStringList { u"while-down"_s });
    }

    void stopDuringReconnectWaitStaysIdle()
    {
        Fixture f;
        QVERIFY(f.machine);
        f.sync.subscriber().setReconnectDelays(300, 300);
        QSignalSpy delays(&f.sync.subscriber(), &WebSocketSubscriber::reconnectScheduled);
        f.sync.start();
        QTRY_VERIFY(f.sync.subscriber().isConnected());
        f.backend.dropSockets();
        QTRY_COMPARE(delays.count(), 1);
        f.sync.stop();
        const int handshakes = f.requestCount(u"GET"_s, u"/ws/user"_s);
        QTest::qWait(700);
        QCOMPARE(f.requestCount(u"GET"_s, u"/ws/user"_s), handshakes);
        QVERIFY(!f.sync.subscriber().hasSocket());
        QVERIFY(!f.sync.subscriber().isConnected());
        QCOMPARE(delays.count(), 1);

        // A socket closed by stop() itself schedules nothing either.
        f.sync.start();
        QTRY_VERIFY(f.sync.subscriber().isConnected());
        f.sync.stop();
        QTest::qWait(400);
        QCOMPARE(delays.count(), 1);
        QVERIFY(!f.sync.subscriber().hasSocket());
    }

    void pollFetchesOnItsOwn()
    {
        Fixture f;
        QVERIFY(f.machine);
        f.sync.setPollInterval(100);
        f.sync.subscriber().setReconnectDelays(60000, 60000);
        QVERIFY(f.backend.refuseWebSocket(30)); // no stream: only the poll can deliver
        f.sync.start();
        f.backend.addAction(pendingActionJson(u"polled"_s));
        QTRY_COMPARE(ids(f.sync), QStringList { u"polled"_s });
        QVERIFY(!f.sync.subscriber().isConnected());
    }
    // Each upload is signed afresh, so a second one of the same token is no replay.
    void pushTokenUploadsAreSigned()
    {
        PushFixture f;
        QVERIFY2(f.machine, qPrintable(f.backend.lastError()));
        QCoro::waitFor(f.service.updatePushToken(u"00ff10ab"_s));
        f.now += std::chrono::seconds(5);
        QCoro::waitFor(f.service.updatePushToken(u"00ff10ab"_s));
        QCOMPARE(f.log.lines(), QStringList(2, u"Quorvane: push token registered"_s));

        const QList<QJsonObject> requests = f.requestsTo(f.pushPath());
        QCOMPARE(requests.size(), 2);
        for (const QJsonObject& request : requests) {
            QCOMPARE(request["method"_L1].toString(), u"PUT"_s);
            QCOMPARE(request["body"_L1].toString(),
                u"{\"push_token\":\"00ff10ab\",\"platform\":\"apns-macos\"}"_s);
            QVERIFY(request["verified"_L1].toBool());
            QCOMPARE(request["status"_L1].toInt(), 200);
            QCOMPARE(request["headers"_L1]["X-Machine-Id"_L1].toString(), f.machine->config.id);
        }
        const auto header = [&requests](int index, QLatin1String name) {
            return requests[index]["headers"_L1][name].toString();
        };
        QVERIFY(header(0, "X-Signature"_L1) != header(1, "X-Signature"_L1));
        QVERIFY(header(0, "X-Signed-Message"_L1) != header(1, "X-Signed-Message"_L1));
    }

    void pushTokenOfAnUnregisteredMachineIsNotSent()
    {
        PushFixture f(false);
        QCoro::waitFor(f.service.updatePushToken(u"abcdef"_s));
        QVERIFY(f.log.lines().isEmpty());
        QVERIFY(f.backend.requests().isEmpty());
    }

    void pushTokenFailures()
    {
        PushFixture f;
        QVERIFY2(f.machine, qPrintable(f.backend.lastError()));
        for (const int status : { 204, 500, 0 }) { // 0: the connection is closed without an answer
            QVERIFY(status == 0 ? f.backend.closeEveryConnection("PUT", f.pushPath())
                                : f.backend.inject("PUT", f.pushPath(), status));
            f.log.clear();
            QCoro::waitFor(f.service.updatePushToken(u"abcdef"_s));
            const QString line = status == 0 ? u"Quorvane: push token update error: "_s
                                             : u"Quorvane: push token update failed: HTTP %1"_s.arg(status);
            QCOMPARE(f.log.lines().size(), 1);
            const QString logged = f.log.lines().first();
            QVERIFY2(status == 0 ? logged.startsWith(line) && logged.size() > line.size() : logged == line,
                qPrintable(logged));
        }
    }
};

QTEST_GUILESS_MAIN(TestApprovalSyncService)
#include "tst_ApprovalSyncService.moc"
