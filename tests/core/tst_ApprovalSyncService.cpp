#include "core/ApprovalSyncService.h"
#include "tests/support/BackendMachine.h"
#include "tests/support/LogCapture.h"
#include "core/MachineAuthService.h"
#include "tests/support/PendingActionJson.h"
#include "tests/support/TestHome.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QSignalSpy>
#include <QTest>

#include <QCoroTask>

namespace {

QStringList ids(const ApprovalSyncService& sync)
{
    QStringList result;
    for (const PendingAction& pending : sync.pendingActions())
        result << pending.id;
    return result;
}

} // namespace

// Approval sync and the event stream against the reference back-end on loopback.
class TestApprovalSyncService : public QObject
{
    Q_OBJECT

    struct Fixture : BackendMachine
    {
        MachineAuthService auth{store};
        QNetworkAccessManager network;
        ApprovalSyncService sync{auth, network};

        Fixture()
        {
            sync.setPollInterval(60 * 60 * 1000); // the poll is exercised on its own below
            sync.subscriber().setReconnectDelays(40, 320);
        }
    };

private Q_SLOTS:
    void decisionBodies_data()
    {
        QTest::addColumn<QString>("decision");
        QTest::addColumn<int>("scope"); // -1: none
        QTest::addColumn<QByteArray>("body");
        // Every body names the action it decides.
        QTest::newRow("approve") << QStringLiteral("approved") << -1
                                 << QByteArray("{\"action_id\":\"a-1\",\"decision\":\"approved\"}");
        QTest::newRow("approve machine")
            << QStringLiteral("approved") << int(RuleScope::machine)
            << QByteArray("{\"action_id\":\"a-1\",\"decision\":\"approved\",\"create_rule\":{\"scope\":\"machine\"}}");
        QTest::newRow("approve agent")
            << QStringLiteral("approved") << int(RuleScope::agent)
            << QByteArray("{\"action_id\":\"a-1\",\"decision\":\"approved\",\"create_rule\":{\"scope\":\"agent\"}}");
        QTest::newRow("approve global")
            << QStringLiteral("approved") << int(RuleScope::global)
            << QByteArray("{\"action_id\":\"a-1\",\"decision\":\"approved\",\"create_rule\":{\"scope\":\"global\"}}");
        QTest::newRow("deny ignores scope") << QStringLiteral("denied") << int(RuleScope::global)
                                            << QByteArray("{\"action_id\":\"a-1\",\"decision\":\"denied\"}");
        QTest::newRow("hostile decision stays one string")
            << QStringLiteral("x\",\"y\":\"z") << -1
            << QByteArray("{\"action_id\":\"a-1\",\"decision\":\"x\\\",\\\"y\\\":\\\"z\"}");
    }
    void decisionBodies()
    {
        QFETCH(QString, decision);
        QFETCH(int, scope);
        QFETCH(QByteArray, body);
        const std::optional<RuleScope> ruleScope
            = scope < 0 ? std::nullopt : std::optional<RuleScope>(RuleScope::Value(scope));
        QCOMPARE(ApprovalSyncService::decisionBody(QStringLiteral("a-1"), decision, ruleScope), body);
    }

    void notConfiguredStaysInactive()
    {
        TestHome home;
        LogCapture log;
        FileCredentialStore store;
        MachineAuthService auth(store);
        QNetworkAccessManager network;
        ApprovalSyncService sync(auth, network);
        sync.start();
        QVERIFY(!sync.isActive());
        QVERIFY(log.contains(QStringLiteral("Quorvane: ApprovalSyncService not starting — auth not configured")));
        QVERIFY(!sync.subscriber().hasSocket());
        QVERIFY(!QCoro::waitFor(sync.respondToAction(QStringLiteral("a"), QStringLiteral("approved"), std::nullopt)));
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
        QCOMPARE(log.lines().count(QStringLiteral("Quorvane: ApprovalSyncService starting (machine=%1…)")
                                       .arg(f.machine->config.id.left(8))),
                 1);
        // One fetch at start, one when the stream opens.
        QTRY_VERIFY(f.sync.subscriber().isConnected());
        QTRY_COMPARE(f.requestCount(QStringLiteral("GET"), QStringLiteral("/actions/pending")), 2);
        QCOMPARE(escalations.count(), 0);

        f.backend.addAction(pendingActionJson(QStringLiteral("act-1")));
        QTRY_COMPARE(ids(f.sync), QStringList{QStringLiteral("act-1")});
        QCOMPARE(escalations.count(), 1);

        f.backend.addAction(pendingActionJson(QStringLiteral("act-2")));
        QTRY_COMPARE(ids(f.sync).size(), 2);
        QCOMPARE(escalations.count(), 2);

        // A repeated announcement of known actions fetches but raises nothing.
        QSignalSpy changes(&f.sync, &ApprovalSyncService::pendingActionsChanged);
        f.backend.sendFrame("{\"type\":\"action_pending\",\"actionId\":\"act-1\"}");
        QTRY_COMPARE(changes.count(), 1);
        QCOMPARE(escalations.count(), 2);

        // Decisions: 200 removes, a second decision gets 409 and counts as done,
        // an unknown action gets 404, is logged and changes nothing.
        QVERIFY(QCoro::waitFor(f.sync.respondToAction(QStringLiteral("act-1"), QStringLiteral("approved"),
                                                      RuleScope(RuleScope::machine))));
        QCOMPARE(ids(f.sync), QStringList{QStringLiteral("act-2")});
        QVERIFY(QCoro::waitFor(f.sync.respondToAction(QStringLiteral("act-1"), QStringLiteral("approved"), std::nullopt)));
        QVERIFY(!QCoro::waitFor(f.sync.respondToAction(QStringLiteral("nope"), QStringLiteral("denied"), std::nullopt)));
        QVERIFY(log.contains(QStringLiteral("Quorvane: approval respond failed: HTTP 404")));
        QCOMPARE(ids(f.sync), QStringList{QStringLiteral("act-2")});

        bool sawSignedDecision = false;
        for (const QJsonObject& request : f.requestsTo(QStringLiteral("/approvals/act-1/respond"))) {
            if (request.value(QLatin1String("status")).toInt() == 200) {
                QVERIFY(request.value(QLatin1String("verified")).toBool());
                QCOMPARE(request.value(QLatin1String("body")).toString(),
                         QStringLiteral("{\"action_id\":\"act-1\",\"decision\":\"approved\",\"create_rule\":{\"scope\":\"machine\"}}"));
                sawSignedDecision = true;
            }
        }
        QVERIFY(sawSignedDecision);

        // A list that only shrinks raises nothing; trust-window frames pass through.
        QSignalSpy trust(&f.sync, &ApprovalSyncService::trustWindowChanged);
        f.sync.fetchPendingFromPush();
        QTRY_COMPARE(f.requestCount(QStringLiteral("GET"), QStringLiteral("/actions/pending")), 6);
        QCOMPARE(escalations.count(), 2);
        f.backend.sendFrame("{\"type\":\"trust_window_changed\",\"active\":false}");
        QTRY_COMPARE(trust.count(), 1);
        QCOMPARE(trust.first().first().toBool(), false);

        // After stop() the list stays as it was.
        f.sync.stop();
        QVERIFY(!f.sync.isActive());
        QCOMPARE(ids(f.sync), QStringList{QStringLiteral("act-2")});
    }

    void malformedListsLeaveTheListUnchanged_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::newRow("truncated") << QByteArray("{\"actions\":[{\"id\":\"x\"");
        QTest::newRow("array") << QByteArray("[]");
        QTest::newRow("actions not a list") << QByteArray("{\"actions\":{}}");
        QTest::newRow("record missing id") << QByteArray("{\"actions\":[{\"agent_id\":\"a\"}]}");
        QTest::newRow("wrong types") << QByteArray("{\"actions\":[{\"id\":1,\"agent_id\":[],\"agent_name\":null}]}");
        QTest::newRow("invalid utf-8") << QByteArray("{\"actions\":[\"\xff\xfe\"]}");
        QTest::newRow("deep nesting") << QByteArray(100000, '[');
        QTest::newRow("huge string") << "{\"actions\":[\"" + QByteArray(8 * 1024 * 1024, 'a') + "\"]}";
        QTest::newRow("empty") << QByteArray();
    }
    void malformedListsLeaveTheListUnchanged()
    {
        QFETCH(QByteArray, body);
        Fixture f;
        QVERIFY(f.machine);
        f.backend.addAction(pendingActionJson(QStringLiteral("kept")));
        f.sync.start();
        QTRY_COMPARE(ids(f.sync), QStringList{QStringLiteral("kept")});
        QTRY_VERIFY(f.sync.subscriber().isConnected());
        const int before = f.requestCount(QStringLiteral("GET"), QStringLiteral("/actions/pending"));

        QVERIFY(f.backend.inject("GET", QStringLiteral("/actions/pending"), 200, body));
        f.sync.fetchPendingFromPush();
        QTRY_COMPARE(f.requestCount(QStringLiteral("GET"), QStringLiteral("/actions/pending")), before + 1);
        // Another answered fetch proves the bad one was fully handled first.
        QVERIFY(f.backend.inject("GET", QStringLiteral("/actions/pending"), 500));
        f.sync.fetchPendingFromPush();
        QTRY_COMPARE(f.requestCount(QStringLiteral("GET"), QStringLiteral("/actions/pending")), before + 2);
        QTest::qWait(50);
        QCOMPARE(ids(f.sync), QStringList{QStringLiteral("kept")});
    }

    void reconnectBacksOffAndRecovers()
    {
        Fixture f;
        QVERIFY(f.machine);
        QCOMPARE(WebSocketSubscriber(f.auth).backoffMs(), 1000);
        QSignalSpy delays(&f.sync.subscriber(), &WebSocketSubscriber::reconnectScheduled);
        f.sync.start();
        QTRY_VERIFY(f.sync.subscriber().isConnected());

        // The server goes away: retries wait 40, 80, 160, 320, 320 ms (the
        // scaled-down 1, 2, 4, 8 ... 60 s), each handshake refused.
        QVERIFY(f.backend.refuseWebSocket(2));
        f.backend.addAction(pendingActionJson(QStringLiteral("while-down")));
        QVERIFY(f.backend.dropSockets() >= 0);
        QTRY_VERIFY_WITH_TIMEOUT(delays.count() >= 5, 5000);
        QList<int> seen;
        for (int i = 0; i < 5; ++i)
            seen << delays.at(i).first().toInt();
        QCOMPARE(seen, (QList<int>{40, 80, 160, 320, 320}));

        // Once the server takes the socket again, the list is right again and
        // the back-off starts over.
        QTRY_VERIFY_WITH_TIMEOUT(f.sync.subscriber().isConnected(), 5000);
        QTRY_COMPARE(ids(f.sync), QStringList{QStringLiteral("while-down")});
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
        const int handshakes = f.requestCount(QStringLiteral("GET"), QStringLiteral("/ws/user"));
        QTest::qWait(700);
        QCOMPARE(f.requestCount(QStringLiteral("GET"), QStringLiteral("/ws/user")), handshakes);
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
        f.backend.addAction(pendingActionJson(QStringLiteral("polled")));
        QTRY_COMPARE(ids(f.sync), QStringList{QStringLiteral("polled")});
        QVERIFY(!f.sync.subscriber().isConnected());
    }
};

QTEST_GUILESS_MAIN(TestApprovalSyncService)
#include "tst_ApprovalSyncService.moc"
