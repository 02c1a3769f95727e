#include "app/panel/ConnectionStatus.h"
#include "tests/app/panel/PanelFixture.h"

#include <QSignalSpy>
#include <QTest>

// The program says when it cannot reach the back-end: after one failed fetch
// of the list while the stream is down too, "Offline — retrying in N s" with
// the reason, and "Back online" after the next fetch that gets through.
class TestConnectionStatus : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void offlineAfterOneFailedPollAndStreamThenBackOnline_data()
    {
        QTest::addColumn<int>("injected");
        QTest::addColumn<QString>("reason");
        QTest::newRow("server error") << 503 << QStringLiteral("HTTP 503");
        QTest::newRow("connection closed") << 0 << QStringLiteral("no answer");
    }
    void offlineAfterOneFailedPollAndStreamThenBackOnline()
    {
        QFETCH(int, injected);
        QFETCH(QString, reason);
        PanelFixture f;
        QVERIFY2(f.ready(), qPrintable(f.backend.lastError()));
        ConnectionStatus& status = *f.panel->connection();
        QCOMPARE(status.text(), QString());

        // The stream's handshake is refused and the first fetch fails.
        QVERIFY(f.backend.refuseWebSocket(600));
        // Qt tries again by itself after a connection closed without answer.
        QVERIFY(f.backend.inject(
            "GET", QStringLiteral("/actions/pending"), injected, "{}", injected == 0 ? 10 : 1));
        QSignalSpy offline(f.sync.get(), &ApprovalSyncService::isOfflineChanged);
        f.sync->start();
        QVERIFY(offline.wait(10000));
        QCOMPARE(offline.count(), 1);
        QVERIFY(f.sync->isOffline());
        QVERIFY(!f.sync->subscriber().isConnected());
        QVERIFY2(f.sync->offlineReason().startsWith(reason), qPrintable(f.sync->offlineReason()));
        QVERIFY2(
            status.text().startsWith(QStringLiteral("Offline — retrying in ")), qPrintable(status.text()));
        QVERIFY(status.text().endsWith(QStringLiteral(" s")));
        QVERIFY(status.detail().contains(reason));
        QVERIFY(status.isOffline());

        // The next fetch gets through: back online, and it shows for a moment.
        QCOMPARE(f.backend.request("DELETE", "/_control/inject").status, 200);
        f.sync->fetchPendingFromPush();
        QVERIFY(offline.wait(10000));
        QVERIFY(!f.sync->isOffline());
        QCOMPARE(f.sync->offlineReason(), QString());
        QCOMPARE(status.text(), QStringLiteral("Back online"));
        QCOMPARE(status.detail(), QString());
        QTRY_COMPARE_WITH_TIMEOUT(status.text(), QString(), ConnectionStatus::backOnlineShownMs + 5000);
    }

    void theStreamCountsToo()
    {
        PanelFixture f;
        QVERIFY2(f.ready(), qPrintable(f.backend.lastError()));
        f.sync->start();
        QTRY_VERIFY_WITH_TIMEOUT(f.sync->subscriber().isConnected(), 10000);
        QSignalSpy offline(f.sync.get(), &ApprovalSyncService::isOfflineChanged);
        QVERIFY(f.backend.inject("GET", QStringLiteral("/actions/pending"), 503, "{}"));
        const int before = int(f.backend.requests().size());
        f.sync->fetchPendingFromPush();
        QTRY_VERIFY_WITH_TIMEOUT(int(f.backend.requests().size()) > before, 10000);
        // While the stream is up a failed fetch is no reason to say offline...
        QVERIFY(!f.sync->isOffline());
        // ...but once it drops (and may not come back), it is.
        QVERIFY(f.backend.refuseWebSocket(600));
        QVERIFY(f.backend.dropSockets() > 0);
        QVERIFY(offline.wait(10000));
        QVERIFY(f.sync->isOffline());
        QCOMPARE(f.sync->offlineReason(), QStringLiteral("HTTP 503"));
    }

    void sendingWhileOfflineSaysSo()
    {
        PanelFixture f;
        QVERIFY2(f.ready(), qPrintable(f.backend.lastError()));
        QVERIFY(f.add(f.action(QStringLiteral("o1"))));
        QVERIFY(f.fetch(1));
        QVERIFY(f.backend.refuseWebSocket(600));
        QVERIFY(f.backend.inject("GET", QStringLiteral("/actions/pending"), 503, "{}"));
        f.sync->start();
        QTRY_VERIFY_WITH_TIMEOUT(f.sync->isOffline(), 10000);
        QVERIFY(f.backend.injectDelay("POST", QStringLiteral("/approvals/o1/respond"), 300));
        f.panel->approve(QStringLiteral("o1"));
        QCOMPARE(f.panel->actions()->decisionStatus(QStringLiteral("o1")),
            QStringLiteral("Offline — trying to send the approval…"));
        QTRY_COMPARE(f.panel->actions()->indexOf(QStringLiteral("o1")), -1);
    }
};

QTEST_GUILESS_MAIN(TestConnectionStatus)
#include "tst_ConnectionStatus.moc"
