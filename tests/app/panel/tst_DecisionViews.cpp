#include "app/panel/ConnectionStatus.h"
#include "tests/app/panel/PanelFixture.h"
#include "tests/app/panel/PanelView.h"

#include <QSignalSpy>

// What the popover shows of decisions that did not go through, of the
// connection, of a refused identity, of a paused popover and of the update
// and trust-window banners; every button there leads somewhere.
class TestDecisionViews : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { PanelView::prepareApplication(); }

    // After one failed fetch of the list while the stream is down too, the
    // header says "Offline — retrying in N s" with the reason, and "Back
    // online" for a moment after the next fetch that gets through.
    void offlineShowsInTheHeader_data()
    {
        QTest::addColumn<int>("injected");
        QTest::addColumn<QString>("reason");
        QTest::newRow("server error") << 503 << u"HTTP 503"_qs;
        QTest::newRow("connection closed") << 0 << u"no answer"_qs;
    }
    void offlineShowsInTheHeader()
    {
        QFETCH(int, injected);
        QFETCH(QString, reason);
        PanelFixture f;
        QVERIFY2(f.ready(), qPrintable(f.backend.lastError()));
        QVERIFY(f.add(f.action(u"e1"_qs)));
        QVERIFY(f.fetch(1));
        PanelView view(*f.panel);
        QVERIFY(view.ok());
        QTRY_VERIFY(view.find(u"explainButton"_qs));
        QCOMPARE(view.find(u"connectionStatus"_qs), nullptr);
        QVERIFY(f.backend.refuseWebSocket(600));
        // Qt tries again by itself after a connection closed without answer.
        QVERIFY(f.backend.inject("GET", u"/actions/pending"_qs, injected, "{}", injected == 0 ? 10 : 1));
        QSignalSpy offline(f.sync.get(), &ApprovalSyncService::isOfflineChanged);
        f.sync->start();
        QVERIFY(offline.wait(10000));
        QVERIFY(f.sync->isOffline() && !f.sync->subscriber().isConnected());
        const ConnectionStatus& status = *f.panel->connection();
        QVERIFY2(status.text().startsWith(u"Offline — retrying in "_qs) && status.text().endsWith(u" s"_qs),
            qPrintable(status.text()));
        QVERIFY2(status.detail().contains(reason), qPrintable(status.detail()));
        QTRY_COMPARE(view.text(u"connectionStatus"_qs), status.text());
        QCOMPARE(view.text(u"connectionDetail"_qs), status.detail());
        view.screenshot(u"panel-offline"_qs);
        // No refresh can bring an explanation now: only rows carrying one offer it.
        QTRY_COMPARE(view.find(u"explainButton"_qs), nullptr);

        QCOMPARE(f.backend.request("DELETE", "/_control/inject").status, 200);
        f.sync->fetchPendingFromPush();
        QVERIFY(offline.wait(10000));
        QCOMPARE(f.sync->offlineReason(), QString());
        QTRY_COMPARE(view.text(u"connectionStatus"_qs), u"Back online"_qs);
        QCOMPARE(view.find(u"connectionDetail"_qs), nullptr);
        QTRY_VERIFY(view.find(u"explainButton"_qs));
        QTRY_COMPARE_WITH_TIMEOUT(status.text(), QString(), ConnectionStatus::backOnlineShownMs + 5000);
        VERIFY_NO_WARNINGS(view);
    }

    void theStreamCountsToo()
    {
        PanelFixture f;
        QVERIFY2(f.ready(), qPrintable(f.backend.lastError()));
        f.sync->start();
        QTRY_VERIFY_WITH_TIMEOUT(f.sync->subscriber().isConnected(), 10000);
        QSignalSpy offline(f.sync.get(), &ApprovalSyncService::isOfflineChanged);
        QVERIFY(f.backend.inject("GET", u"/actions/pending"_qs, 503, "{}"));
        const int before = int(f.backend.requests().size());
        f.sync->fetchPendingFromPush();
        QTRY_VERIFY_WITH_TIMEOUT(int(f.backend.requests().size()) > before, 10000);
        // While the stream is up a failed fetch is no reason to say offline...
        QVERIFY(!f.sync->isOffline());
        // ...but once it drops (and may not come back), it is.
        QVERIFY(f.backend.refuseWebSocket(600));
        QVERIFY(f.backend.dropSockets() > 0);
        QVERIFY(offline.wait(10000));
        QCOMPARE(f.sync->offlineReason(), u"HTTP 503"_qs);
    }

    void sendingWhileOfflineSaysSo()
    {
        PanelFixture f;
        QVERIFY2(f.ready(), qPrintable(f.backend.lastError()));
        QVERIFY(f.add(f.action(u"o1"_qs)));
        QVERIFY(f.fetch(1));
        QVERIFY(f.backend.refuseWebSocket(600));
        QVERIFY(f.backend.inject("GET", u"/actions/pending"_qs, 503, "{}"));
        f.sync->start();
        QTRY_VERIFY_WITH_TIMEOUT(f.sync->isOffline(), 10000);
        QVERIFY(f.backend.injectDelay("POST", u"/approvals/o1/respond"_qs, 300));
        f.panel->approve(u"o1"_qs);
        QCOMPARE(f.panel->actions()->decisionStatus(u"o1"_qs), u"Offline — trying to send the approval…"_qs);
        QTRY_COMPARE(f.panel->actions()->indexOf(u"o1"_qs), -1);
    }

    // Every button of a status line or banner leads somewhere: "Retry" for a
    // decision that did not go through, "Update", the tabs, "Resume" for a
    // paused popover and "Set up again" once the machine's key is refused.
    void bannersAndTheirButtons()
    {
        PanelFixture f;
        QVERIFY2(f.ready(), qPrintable(f.backend.lastError()));
        QVERIFY(f.publishRelease(u"2.3.0"_qs));
        QVERIFY(f.add(f.action(u"v1"_qs)));
        QVERIFY(f.fetch(1));
        PanelView view(*f.panel);
        QVERIFY(view.ok());
        QTRY_COMPARE(view.all(u"pendingRow"_qs).size(), 1);
        QVERIFY(!view.find(u"retryButton"_qs) && !view.find(u"updateBanner"_qs));

        QVERIFY(f.backend.inject("POST", u"/approvals/v1/respond"_qs, 503, "{}"));
        view.click(view.find(u"approveButton"_qs));
        QTRY_VERIFY(view.find(u"retryButton"_qs));
        QCOMPARE(view.text(u"decisionStatus"_qs), f.panel->actions()->decisionStatus(u"v1"_qs));
        view.screenshot(u"panel-decision-failed"_qs);
        view.click(view.find(u"retryButton"_qs));
        QTRY_COMPARE(f.panel->content(), u"empty"_qs);
        QCOMPARE(f.backendStatus(u"v1"_qs), u"approved"_qs);

        f.updates->start(u"1.0.0"_qs, [] {});
        QTRY_VERIFY_WITH_TIMEOUT(view.find(u"updateBanner"_qs), 20000);
        QCOMPARE(view.text(u"updateText"_qs), u"v2.3.0 available"_qs);
        view.click(view.find(u"updateButton"_qs));
        QTRY_VERIFY(view.find(u"updateError"_qs));
        QVERIFY(!view.find(u"updateButton"_qs));
        QCOMPARE(view.text(u"updateError"_qs), f.panel->updateBanner()->errorText());

        QQuickItem* tabs = view.find(u"tabPicker"_qs);
        view.click(PanelView::inside(tabs, u"segment1"_qs));
        QTRY_VERIFY(view.find(u"pauseTab"_qs));
        view.click(PanelView::inside(tabs, u"segment0"_qs));
        QTRY_VERIFY(view.find(u"emptyText"_qs));

        f.panel->setAutoOpenPaused(true);
        QTRY_VERIFY(view.find(u"resumeButton"_qs));
        QSignalSpy resume(f.panel.get(), &ApprovalsPanel::resumeRequested);
        view.click(view.find(u"resumeButton"_qs));
        QCOMPARE(resume.size(), 1);

        // The back-end refuses the machine's key, on the stream and for the list.
        QVERIFY(!view.find(u"setUpAgainButton"_qs));
        f.sync->subscriber().setReconnectDelays(50, 100);
        QVERIFY(f.backend.inject("GET", u"/ws/user"_qs, 401, "{\"error\":\"unknown machine\"}", 100));
        QVERIFY(f.backend.inject("GET", u"/actions/pending"_qs, 401, "{\"error\":\"unknown machine\"}", 100));
        f.sync->start();
        QTRY_VERIFY(view.find(u"setUpAgainButton"_qs));
        QCOMPARE(view.text(u"identityRefused"_qs), f.panel->identityRefusedText());
        QSignalSpy setUp(f.panel.get(), &ApprovalsPanel::setUpAgainRequested);
        view.click(view.find(u"setUpAgainButton"_qs));
        QCOMPARE(setUp.size(), 1);
        VERIFY_NO_WARNINGS(view);
    }
};

QTEST_MAIN(TestDecisionViews)
#include "tst_DecisionViews.moc"
