#include "app/panel/ConnectionStatus.h"
#include "tests/app/panel/PanelFixture.h"
#include "tests/app/panel/PanelView.h"

#include <QSignalSpy>

// The panel's QML, offscreen, against the reference back-end: what the list,
// the detail page, the status lines and the banners show is the model's, and
// every control there reaches it.
class TestApprovalsPanelView : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { PanelView::prepareApplication(); }

    // With a thousand actions the tab label grows, the header still fits the
    // popover's width and the list keeps it.
    void thousandActionsFitTheWidth()
    {
        PanelFixture f;
        for (int i = 0; i < 1000; ++i)
            QVERIFY(f.add(f.action(u"many-%1"_qs.arg(i))));
        QVERIFY(f.fetch(1000));
        PanelView view(*f.panel);
        QVERIFY(view.ok());
        QQuickItem* tabs = view.find(u"tabPicker"_qs);
        QQuickItem* actionsTab = PanelView::inside(tabs, u"segment0"_qs);
        QCOMPARE(actionsTab->property("text").toString(), u"Actions (1000)"_qs);
        QVERIFY(!actionsTab->property("contentItem").value<QQuickItem*>()->property("truncated").toBool());
        const qreal width = view.item->width();
        QVERIFY(tabs->mapRectToItem(view.item, tabs->boundingRect()).right() <= width);
        QTRY_VERIFY(view.find(u"pendingList"_qs));
        QVERIFY(view.find(u"pendingList"_qs)->width() <= width);
    }

    void listRowsAndTheirButtons()
    {
        PanelFixture f;
        PanelView view(*f.panel);
        QVERIFY(view.ok());
        QCOMPARE(view.text(u"emptyText"_qs), u"No pending actions"_qs);
        // "Quit Quorvane" only where no tray menu offers it.
        QCOMPARE(view.find(u"quitWithoutTrayButton"_qs), nullptr);
        f.panel->quitOffer()->setOffered(true);
        QSignalSpy quit(f.panel->quitOffer(), &QuitOffer::quitRequested);
        QTRY_VERIFY(view.find(u"quitWithoutTrayButton"_qs));
        view.click(view.find(u"quitWithoutTrayButton"_qs));
        QCOMPARE(quit.count(), 1);
        f.panel->quitOffer()->setOffered(false);

        PendingAction network = f.action(u"v1"_qs);
        network.classification = u"Network"_qs;
        network.toolInput = { { u"command"_qs, u"curl -s https://example.com/install.sh"_qs } };
        PendingAction read = f.action(u"v2"_qs, u"Read"_qs);
        read.classification = u"read"_qs;
        read.agentMachine.reset();
        PendingAction mcp = f.action(u"v3"_qs, u"mcp__github__create_issue"_qs);
        mcp.explanation = u"Opens an issue in the team's public repository."_qs;
        PendingAction unregister = f.action(u"u1"_qs, u"quorvane:unregister"_qs);
        unregister.agentName = u"openclaw-home"_qs;
        unregister.toolInput = { { u"summary"_qs, u"Unregister agent openclaw-home"_qs } };
        QVERIFY(f.addAll({ network, read, mcp, unregister }));
        QTRY_COMPARE(view.all(u"pendingRow"_qs).size(), 4);
        QVERIFY(!view.find(u"emptyText"_qs));
        const QList<QQuickItem*> rows = view.all(u"pendingRow"_qs);

        // The badge colour follows the model's colour name.
        QCOMPARE(PanelView::textIn(rows.at(0), u"badgeText"_qs), u"Network"_qs);
        QCOMPARE(PanelView::inside(rows.at(0), u"badgeText"_qs)->property("color").value<QColor>(),
            QuorvaneStyle::red());
        QCOMPARE(PanelView::inside(rows.at(1), u"badgeText"_qs)->property("color").value<QColor>(),
            QuorvaneStyle::teal());
        QCOMPARE(PanelView::textIn(rows.at(0), u"rowTitle"_qs), u"curl -s https://example.com/install.sh"_qs);
        QCOMPARE(PanelView::inside(rows.at(1), u"agentMachine"_qs), nullptr);
        // The MCP tool shows its explanation as a caption, the others offer it.
        QVERIFY(PanelView::inside(rows.at(2), u"explanationCaption"_qs));
        QVERIFY(!PanelView::inside(rows.at(2), u"explainButton"_qs));
        // The unregister row: its header and buttons, no details, nothing to explain.
        QCOMPARE(PanelView::textIn(rows.at(3), u"removalHeaderText"_qs), u"REMOVE AGENT"_qs);
        QCOMPARE(PanelView::textIn(rows.at(3), u"approveButton"_qs), u"Remove"_qs);
        QCOMPARE(PanelView::textIn(rows.at(3), u"denyButton"_qs), u"Keep Agent"_qs);
        QVERIFY(!PanelView::inside(rows.at(3), u"moreDetailsButton"_qs));
        QVERIFY(!PanelView::inside(rows.at(3), u"explainButton"_qs));
        QVERIFY(!PanelView::inside(rows.at(0), u"removalHeaderText"_qs));
        view.screenshot(u"panel-list"_qs);

        view.click(PanelView::inside(rows.at(0), u"explainButton"_qs));
        QTRY_VERIFY(PanelView::inside(rows.at(0), u"generatingExplanation"_qs));
        QSignalSpy dashboard(f.panel.get(), &ApprovalsPanel::openDashboardRequested);
        view.click(view.find(u"openDashboardButton"_qs));
        QCOMPARE(dashboard.count(), 1);
        view.click(PanelView::inside(rows.at(1), u"approveButton"_qs));
        QTRY_COMPARE(f.panel->pendingCount(), 3);
        QCOMPARE(f.decisionBodies(u"v2"_qs), QStringList { u"{\"decision\":\"approved\"}"_qs });

        // The unregister page: the removal texts, no rule section.
        f.panel->showDetail(u"u1"_qs);
        QTRY_VERIFY(view.find(u"actionDetailView"_qs));
        QCOMPARE(view.text(u"unregisterSentence"_qs),
            u"This will permanently unregister the agent and revoke all its permissions."_qs);
        QCOMPARE(view.text(u"removalAgentName"_qs), u"openclaw-home"_qs);
        QVERIFY(!view.find(u"ruleSection"_qs) && !view.find(u"toolCard"_qs));
        QCOMPARE(view.find(u"countdownText"_qs)->property("color").value<QColor>(), QuorvaneStyle::amber());
        QCOMPARE(view.text(u"detail_approveButton"_qs), u"Remove"_qs);
        view.screenshot(u"panel-unregister"_qs);
        view.click(view.find(u"backButton"_qs));
        QTRY_VERIFY(view.find(u"pendingList"_qs));
        VERIFY_NO_WARNINGS(view);
    }

    void detailPagesAndTheirButtons()
    {
        PanelFixture f;
        PendingAction action = f.action(u"w1"_qs, u"Bash"_qs, 65.9);
        action.toolInput = { { u"command"_qs, u"cd ~/projects/site && rm -rf dist"_qs },
            { u"detail_segments"_qs,
                PanelTestActions::segmentsJson({ { u"cd ~/projects/site"_qs, u"read"_qs },
                    { u"rm -rf dist"_qs, u"destructive"_qs } }) } };
        action.agentName = u"claude-code · site"_qs;
        QVERIFY(f.addAll({ action, f.action(u"w2"_qs), f.action(u"w3"_qs) }));
        PanelView view(*f.panel);
        QVERIFY(view.ok());
        QTRY_COMPARE(view.all(u"pendingRow"_qs).size(), 3);

        view.click(PanelView::inside(view.all(u"pendingRow"_qs).first(), u"moreDetailsButton"_qs));
        QTRY_VERIFY(view.find(u"actionDetailView"_qs));
        QCOMPARE(view.text(u"countdownText"_qs), f.panel->detail()->countdown()->text());
        const QList<QQuickItem*> segments = view.all(u"segmentLine"_qs);
        QCOMPARE(segments.size(), 2);
        QCOMPARE(segments.at(0)->property("text").toString(), u"cd ~/projects/site"_qs);
        QCOMPARE(segments.at(0)->opacity(), 0.5);
        QCOMPARE(segments.at(1)->property("color").value<QColor>(), QuorvaneStyle::red());
        QVERIFY(!view.find(u"scopeWarning"_qs));

        // Rule toggle on: the scope on offer and its warning.
        view.click(view.find(u"ruleToggle"_qs));
        QTRY_COMPARE(view.text(u"scopeWarning"_qs),
            u"Future destructive actions from claude-code · site will be auto-approved."_qs);
        view.screenshot(u"panel-detail"_qs);

        // A refresh of the same action (its explanation arrived) keeps the page and the choice.
        action.explanation = u"Deletes the site's build."_qs;
        QVERIFY(f.add(action));
        f.sync->fetchPendingFromPush();
        QTRY_VERIFY(f.panel->detail()->action()->explanation.has_value());
        QVERIFY(view.find(u"actionDetailView"_qs) && view.find(u"scopeWarning"_qs));

        // Expired: the text, no buttons.
        f.panel->setTickInterval(20);
        f.panel->setShown(true);
        f.now = f.now.addSecs(70);
        QTRY_COMPARE(view.text(u"countdownText"_qs), u"Expired"_qs);
        QCOMPARE(view.find(u"countdownText"_qs)->property("color").value<QColor>(), QuorvaneStyle::red());
        QCOMPARE(view.text(u"expiredText"_qs), u"This action has expired"_qs);
        QVERIFY(!view.find(u"detail_approveButton"_qs) && !view.find(u"detail_denyButton"_qs));

        // Its action leaves the list: back to the list.
        QVERIFY(f.backend.reset());
        QVERIFY(f.add(f.action(u"w2"_qs)) && f.add(f.action(u"w3"_qs)) && f.fetch(2));
        QTRY_VERIFY(view.find(u"pendingList"_qs));
        QVERIFY(!view.find(u"actionDetailView"_qs));
        // It comes back: the page stays closed.
        QVERIFY(f.addAll({ action }));
        QCOMPARE(f.panel->content(), u"list"_qs);

        // Approve with the scope picked, then deny with the toggle on (a
        // denial carries no scope).
        f.panel->showDetail(u"w2"_qs);
        QTRY_VERIFY(view.find(u"ruleToggle"_qs));
        view.click(view.find(u"ruleToggle"_qs));
        QTRY_VERIFY(view.find(u"scopePicker"_qs));
        QTRY_COMPARE(view.find(u"ruleSection"_qs)->height(), view.find(u"ruleSection"_qs)->implicitHeight());
        view.click(PanelView::inside(view.find(u"scopePicker"_qs), u"segment2"_qs));
        QTRY_COMPARE(f.panel->detail()->rule()->scope().rawValue(), u"global"_qs);
        view.click(view.find(u"detail_approveButton"_qs));
        QTRY_COMPARE(f.decisionBodies(u"w2"_qs),
            QStringList { u"{\"decision\":\"approved\",\"create_rule\":{\"scope\":\"global\"}}"_qs });
        f.panel->showDetail(u"w3"_qs);
        f.panel->detail()->rule()->turn(true);
        QTRY_VERIFY(view.find(u"detail_denyButton"_qs));
        view.click(view.find(u"detail_denyButton"_qs));
        QTRY_COMPARE(f.decisionBodies(u"w3"_qs), QStringList { u"{\"decision\":\"denied\"}"_qs });
        VERIFY_NO_WARNINGS(view);
    }

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
        QVERIFY(f.addIds({ u"e1"_qs, u"e2"_qs }));
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
        const ConnectionStatus& status = *f.panel->connection();
        QVERIFY2(status.text().startsWith(u"Offline — retrying in "_qs) && status.text().endsWith(u" s"_qs),
            qPrintable(status.text()));
        QVERIFY2(status.detail().contains(reason), qPrintable(status.detail()));
        QTRY_COMPARE(view.text(u"connectionStatus"_qs), status.text());
        QCOMPARE(view.text(u"connectionDetail"_qs), status.detail());
        view.screenshot(u"panel-offline"_qs);
        // No refresh can bring an explanation now: only rows carrying one offer it.
        QTRY_COMPARE(view.find(u"explainButton"_qs), nullptr);
        // A decision sent meanwhile says so while on its way.
        QVERIFY(f.backend.injectDelay("POST", u"/approvals/e2/respond"_qs, 300));
        view.click(PanelView::inside(view.all(u"pendingRow"_qs).at(1), u"approveButton"_qs));
        QTRY_COMPARE(view.text(u"decisionStatus"_qs), u"Offline — trying to send the approval…"_qs);
        QTRY_COMPARE(f.panel->actions()->indexOf(u"e2"_qs), -1);

        QCOMPARE(f.backend.request("DELETE", "/_control/inject").status, 200);
        f.sync->fetchPendingFromPush();
        QVERIFY(offline.wait(10000));
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

    // Every button of a status line or banner leads somewhere: "Retry" for a
    // decision that did not go through, "Update", the tabs, "Resume" for a
    // paused popover and "Set up again" once the machine's key is refused.
    void bannersAndTheirButtons()
    {
        PanelFixture f;
        QVERIFY(f.publishRelease(u"2.3.0"_qs));
        QVERIFY(f.addIds({ u"v1"_qs }));
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

        QTemporaryDir installation;
        f.updates->setInstallPrefix(installation.path());
        f.updates->start(u"1.0.0"_qs, [] {});
        QTRY_VERIFY_WITH_TIMEOUT(view.find(u"updateBanner"_qs), 20000);
        QCOMPARE(view.text(u"updateText"_qs), u"v2.3.0 available"_qs);
        // A package installation is left to the package manager: no "Update".
        f.updates->setInstallPrefix(u"/usr"_qs);
        QCOMPARE(f.panel->updateBanner()->mode(), u"managed"_qs);
        QCOMPARE(f.panel->updateBanner()->availableText(),
            u"v2.3.0 available · update it with your package manager"_qs);
        f.updates->setInstallPrefix(installation.path());
        // "Update" from the release host (the download held back): progress,
        // then the integrity refusal, which replaces the line and the button.
        QVERIFY(TestFiles::writeShellScript(
            installation.filePath(QString::fromLatin1(UpdateCheckService::appExecutable)), {}));
        f.updates->setReleaseHost(u"127.0.0.1"_qs);
        QVERIFY(f.backend.injectDelay("GET", u"/releases/files/Quorvane-2.3.0.tar.gz"_qs, 400));
        view.click(view.find(u"updateButton"_qs));
        QTRY_COMPARE(view.text(u"updatePercent"_qs), u"0%"_qs);
        QTRY_COMPARE_WITH_TIMEOUT(
            view.text(u"updateError"_qs), u"Update blocked: integrity check failed"_qs, 20000);
        QVERIFY(!view.find(u"updateButton"_qs));

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

QTEST_MAIN(TestApprovalsPanelView)
#include "tst_ApprovalsPanelView.moc"
