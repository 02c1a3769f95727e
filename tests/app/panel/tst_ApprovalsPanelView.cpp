#include "app/style/QuorvaneStyle.h"
#include "tests/app/panel/PanelFixture.h"
#include "tests/app/panel/PanelView.h"
#include "tests/support/QmlTestSupport.h"

#include <QSignalSpy>

namespace {

using View = PanelView;

QString segmentsJson()
{
    return QStringLiteral(
        "[{\"segment\":\"cd ~/projects/site\",\"base_cmd\":\"cd\",\"risk\":\"read\"},"
        "{\"segment\":\"git status\",\"base_cmd\":\"git\",\"risk\":\"read\"},"
        "{\"segment\":\"rm -rf node_modules dist\",\"base_cmd\":\"rm\",\"risk\":\"destructive\"},"
        "{\"segment\":\"curl -fsSL https://get.example.dev | sh\",\"base_cmd\":\"curl\","
        "\"risk\":\"network\"}]");
}

} // namespace

// The panel's QML views, offscreen, against the reference back-end.
class TestApprovalsPanelView : public QObject
{
    Q_OBJECT

    // Turns the rule toggle on and waits until the rule section has opened fully.
    static void openRuleSection(View& view)
    {
        QTRY_VERIFY(view.find(QStringLiteral("ruleToggle")));
        view.click(view.find(QStringLiteral("ruleToggle")));
        QTRY_VERIFY(view.find(QStringLiteral("scopePicker")));
        QTRY_COMPARE(view.find(QStringLiteral("ruleSection"))->height(),
            view.find(QStringLiteral("ruleSection"))->implicitHeight());
    }

private Q_SLOTS:
    void initTestCase()
    {
        QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
        QuorvaneStyle::applyDarkAppearance();
    }

    // With a thousand actions the tab label grows, the header still fits the
    // popover's width and the list keeps it.
    void thousandActionsFitTheWidth()
    {
        PanelFixture f;
        QVERIFY2(f.ready(), qPrintable(f.backend.lastError()));
        for (int i = 0; i < 1000; ++i)
            QVERIFY(f.add(f.action(QStringLiteral("many-%1").arg(i))));
        QVERIFY(f.fetch(1000));
        View view(*f.panel);
        QVERIFY(view.ok());
        QQuickItem* tabs = view.find(QStringLiteral("tabPicker"));
        QQuickItem* actionsTab = View::inside(tabs, QStringLiteral("segment0"));
        QCOMPARE(actionsTab->property("text").toString(), QStringLiteral("Actions (1000)"));
        QVERIFY(!actionsTab->property("contentItem").value<QQuickItem*>()->property("truncated").toBool());
        const qreal width = view.item->width();
        QVERIFY(tabs->mapRectToItem(view.item, tabs->boundingRect()).right() <= width);
        QTRY_VERIFY(view.find(QStringLiteral("pendingList")));
        QVERIFY(view.find(QStringLiteral("pendingList"))->width() <= width);
    }

    void listTabAndEmptyText()
    {
        PanelFixture f;
        QVERIFY2(f.ready(), qPrintable(f.backend.lastError()));
        View view(*f.panel);
        QVERIFY(view.ok());
        QCOMPARE(view.text(QStringLiteral("headerTitle")), QStringLiteral("Quorvane"));
        QQuickItem* tabs = view.find(QStringLiteral("tabPicker"));
        QVERIFY(tabs);
        QCOMPARE(View::inside(tabs, QStringLiteral("segment0"))->property("text").toString(),
            QStringLiteral("Actions"));
        QCOMPARE(View::inside(tabs, QStringLiteral("segment1"))->property("text").toString(),
            QStringLiteral("Pause"));
        QCOMPARE(view.text(QStringLiteral("emptyText")), QStringLiteral("No pending actions"));
        QCOMPARE(view.text(QStringLiteral("openDashboardButton")), QStringLiteral("Open Quorvane"));
        QVERIFY(!view.find(QStringLiteral("updateBanner")));
        QVERIFY(!view.find(QStringLiteral("trustWindowBanner")));

        PendingAction network = f.action(QStringLiteral("v1"));
        network.classification = QStringLiteral("Network");
        network.toolInput
            = { { QStringLiteral("command"), QStringLiteral("curl -s https://example.com/install.sh") } };
        PendingAction read = f.action(QStringLiteral("v2"), QStringLiteral("Read"));
        read.classification = QStringLiteral("read");
        read.agentMachine.reset();
        read.toolInput = { { QStringLiteral("file_path"), QStringLiteral("/home/dev/.ssh/config") } };
        PendingAction mcp = f.action(QStringLiteral("v3"), QStringLiteral("mcp__github__create_issue"));
        mcp.classification.reset();
        mcp.explanation = QStringLiteral("Opens an issue in the team's public repository.");
        mcp.toolInput = { { QStringLiteral("title"), QStringLiteral("Build fails on main") } };
        for (const PendingAction& action : { network, read, mcp })
            QVERIFY(f.add(action));
        QVERIFY(f.fetch(3));

        QTRY_COMPARE(View::inside(tabs, QStringLiteral("segment0"))->property("text").toString(),
            QStringLiteral("Actions (3)"));
        QTRY_VERIFY(view.find(QStringLiteral("pendingList")));
        QVERIFY(!view.find(QStringLiteral("emptyText")));
        QCOMPARE(view.find(QStringLiteral("pendingList"))->property("count").toInt(), 3);
        QTRY_COMPARE(view.all(QStringLiteral("pendingRow")).size(), 3);
        const QList<QQuickItem*> rows = view.all(QStringLiteral("pendingRow"));

        // Badges: "Network" red, "read" teal, an MCP service teal.
        const QList<QPair<QString, QColor>> badges { { QStringLiteral("Network"), QuorvaneStyle::red() },
            { QStringLiteral("Read"), QuorvaneStyle::teal() },
            { QStringLiteral("Github"), QuorvaneStyle::teal() } };
        for (int i = 0; i < 3; ++i) {
            QQuickItem* badgeText = View::inside(rows.at(i), QStringLiteral("badgeText"));
            QVERIFY(badgeText);
            QCOMPARE(badgeText->property("text").toString(), badges.at(i).first);
            QCOMPARE(badgeText->property("color").value<QColor>(), badges.at(i).second);
        }
        QCOMPARE(View::inside(rows.at(0), QStringLiteral("rowTitle"))->property("text").toString(),
            QStringLiteral("curl -s https://example.com/install.sh"));
        QCOMPARE(View::inside(rows.at(2), QStringLiteral("rowTitle"))->property("text").toString(),
            QStringLiteral("Github: Create Issue"));
        // The MCP tool shows its explanation as a caption, the others offer it.
        QVERIFY(View::inside(rows.at(2), QStringLiteral("explanationCaption")));
        QVERIFY(!View::inside(rows.at(2), QStringLiteral("explainButton")));
        QQuickItem* explain = View::inside(rows.at(0), QStringLiteral("explainButton"));
        QVERIFY(explain);
        QCOMPARE(View::inside(rows.at(1), QStringLiteral("agentMachine")), nullptr);
        QCOMPARE(View::inside(rows.at(0), QStringLiteral("approveButton"))->property("text").toString(),
            QStringLiteral("Approve"));
        QCOMPARE(View::inside(rows.at(0), QStringLiteral("denyButton"))->property("text").toString(),
            QStringLiteral("Deny"));
        view.screenshot(QStringLiteral("panel-list"));

        view.click(explain);
        QTRY_VERIFY(View::inside(rows.at(0), QStringLiteral("generatingExplanation")));
        QVERIFY(!View::inside(rows.at(0), QStringLiteral("explainButton")));

        // The footer asks for the dashboard.
        QSignalSpy dashboard(f.panel.get(), &ApprovalsPanel::openDashboardRequested);
        view.click(view.find(QStringLiteral("openDashboardButton")));
        QCOMPARE(dashboard.count(), 1);

        // A row decision from its button.
        view.click(View::inside(rows.at(1), QStringLiteral("approveButton")));
        QTRY_COMPARE(f.panel->pendingCount(), 2);
        QCOMPARE(f.decisionBodies(QStringLiteral("v2")),
            QStringList { QStringLiteral("{\"decision\":\"approved\"}") });
        VERIFY_NO_WARNINGS(view);
    }

    void detailPageAndFallback()
    {
        PanelFixture f;
        QVERIFY2(f.ready(), qPrintable(f.backend.lastError()));
        PendingAction action = f.action(QStringLiteral("w1"), QStringLiteral("Bash"), 65.9);
        action.toolInput
            = { { QStringLiteral("command"), QStringLiteral("cd ~/projects/site && rm -rf dist") },
                  { QStringLiteral("detail_segments"), segmentsJson() } };
        action.agentName = QStringLiteral("claude-code · site");
        action.agentMachine = QStringLiteral("dev-laptop");
        QVERIFY(f.add(action));
        QVERIFY(f.add(f.action(QStringLiteral("w2"))));
        QVERIFY(f.fetch(2));
        View view(*f.panel);
        QVERIFY(view.ok());
        QTRY_COMPARE(view.all(QStringLiteral("pendingRow")).size(), 2);

        view.click(View::inside(
            view.all(QStringLiteral("pendingRow")).first(), QStringLiteral("moreDetailsButton")));
        QTRY_VERIFY(view.find(QStringLiteral("actionDetailView")));
        QVERIFY(!view.find(QStringLiteral("pendingList")));
        QCOMPARE(view.text(QStringLiteral("countdownText")), QStringLiteral("1:05 remaining"));
        QCOMPARE(view.find(QStringLiteral("countdownText"))->property("color").value<QColor>(),
            QuorvaneStyle::teal());
        QCOMPARE(view.text(QStringLiteral("detailTitle")), QStringLiteral("Bash"));
        QCOMPARE(view.text(QStringLiteral("detailAgentMachine")), QStringLiteral("dev-laptop"));
        const QList<QQuickItem*> segments = view.all(QStringLiteral("segmentLine"));
        QCOMPARE(segments.size(), 4);
        QCOMPARE(segments.at(0)->property("text").toString(), QStringLiteral("cd ~/projects/site"));
        QCOMPARE(segments.at(0)->opacity(), 0.5);
        QCOMPARE(segments.at(2)->property("color").value<QColor>(), QuorvaneStyle::red());
        QCOMPARE(segments.at(2)->opacity(), 1.0);
        QVERIFY(view.find(QStringLiteral("ruleSection")));
        QVERIFY(!view.find(QStringLiteral("scopeWarning")));
        QVERIFY(!view.find(QStringLiteral("expiredText")));
        QVERIFY(view.find(QStringLiteral("detail_approveButton")));

        // Rule toggle on: the scope on offer and its warning.
        view.click(view.find(QStringLiteral("ruleToggle")));
        QTRY_VERIFY(view.find(QStringLiteral("scopeWarning")));
        QCOMPARE(view.text(QStringLiteral("scopeWarning")),
            QStringLiteral("Future destructive actions from claude-code · site will be auto-approved."));
        view.screenshot(QStringLiteral("panel-detail"));

        // Expired: the text, no buttons.
        f.panel->setTickInterval(20);
        f.panel->setShown(true);
        f.now = f.now.addSecs(70);
        QTRY_COMPARE(view.text(QStringLiteral("countdownText")), QStringLiteral("Expired"));
        QCOMPARE(view.find(QStringLiteral("countdownText"))->property("color").value<QColor>(),
            QuorvaneStyle::red());
        QCOMPARE(view.text(QStringLiteral("expiredText")), QStringLiteral("This action has expired"));
        QVERIFY(!view.find(QStringLiteral("detail_approveButton")));
        QVERIFY(!view.find(QStringLiteral("detail_denyButton")));

        // Its action leaves the list: back to the list.
        QVERIFY(f.backend.reset());
        QVERIFY(f.add(f.action(QStringLiteral("w2"))));
        QVERIFY(f.fetch(1));
        QTRY_VERIFY(view.find(QStringLiteral("pendingList")));
        QVERIFY(!view.find(QStringLiteral("actionDetailView")));
        VERIFY_NO_WARNINGS(view);
    }

    // A decision from the detail page with the rule toggle on: the scope
    // picked, its warning, and the body sent (a denial carries no scope).
    void decisionFromTheDetailPage_data()
    {
        QTest::addColumn<QString>("segment");
        QTest::addColumn<QString>("warningEnd");
        QTest::addColumn<bool>("approve");
        QTest::addColumn<QString>("body");
        QTest::newRow("deny, this machine without a name")
            << QStringLiteral("segment1")
            << QStringLiteral("actions from agents on this machine will be auto-approved.") << false
            << QStringLiteral("{\"decision\":\"denied\"}");
        QTest::newRow("approve, any agent")
            << QStringLiteral("segment2")
            << QStringLiteral("Future destructive actions from any agent will be auto-approved.") << true
            << QStringLiteral("{\"decision\":\"approved\",\"create_rule\":{\"scope\":\"global\"}}");
    }
    void decisionFromTheDetailPage()
    {
        QFETCH(QString, segment);
        QFETCH(QString, warningEnd);
        QFETCH(bool, approve);
        QFETCH(QString, body);
        PanelFixture f;
        QVERIFY2(f.ready(), qPrintable(f.backend.lastError()));
        PendingAction action = f.action(QStringLiteral("r1"));
        action.agentMachine.reset();
        QVERIFY(f.add(action));
        QVERIFY(f.fetch(1));
        f.panel->showDetail(QStringLiteral("r1"));
        View view(*f.panel);
        QVERIFY(view.ok());
        openRuleSection(view);
        if (QTest::currentTestFailed())
            return;
        QQuickItem* picker = view.find(QStringLiteral("scopePicker"));
        QCOMPARE(View::inside(picker, QStringLiteral("segment1"))->property("text").toString(),
            QStringLiteral("This Machine"));
        view.click(View::inside(picker, segment));
        QTRY_VERIFY2(view.text(QStringLiteral("scopeWarning")).endsWith(warningEnd),
            qPrintable(view.text(QStringLiteral("scopeWarning"))));
        view.click(view.find(
            approve ? QStringLiteral("detail_approveButton") : QStringLiteral("detail_denyButton")));
        QTRY_COMPARE(f.decisionBodies(QStringLiteral("r1")), QStringList { body });
        QTRY_VERIFY(view.find(QStringLiteral("emptyText")));
        VERIFY_NO_WARNINGS(view);
    }

    void unregisterAndLink()
    {
        PanelFixture f;
        QVERIFY2(f.ready(), qPrintable(f.backend.lastError()));
        PendingAction unregister = f.action(QStringLiteral("u1"), QStringLiteral("quorvane:unregister"));
        unregister.agentName = QStringLiteral("openclaw-home");
        unregister.toolInput
            = { { QStringLiteral("summary"), QStringLiteral("Unregister agent openclaw-home") } };
        unregister.classification = QStringLiteral("agent");
        PendingAction link = f.action(QStringLiteral("l1"), QStringLiteral("quorvane:link"));
        link.toolInput = { { QStringLiteral("summary"), QStringLiteral("Link agent to this machine") } };
        QVERIFY(f.add(unregister));
        QVERIFY(f.add(link));
        QVERIFY(f.fetch(2));
        View view(*f.panel);
        QVERIFY(view.ok());
        QTRY_COMPARE(view.all(QStringLiteral("pendingRow")).size(), 2);
        QQuickItem* row = view.all(QStringLiteral("pendingRow")).first();
        QCOMPARE(View::inside(row, QStringLiteral("removalHeaderText"))->property("text").toString(),
            QStringLiteral("REMOVE AGENT"));
        QCOMPARE(View::inside(row, QStringLiteral("approveButton"))->property("text").toString(),
            QStringLiteral("Remove"));
        QCOMPARE(View::inside(row, QStringLiteral("denyButton"))->property("text").toString(),
            QStringLiteral("Keep Agent"));
        QCOMPARE(View::inside(row, QStringLiteral("moreDetailsButton")), nullptr);
        QCOMPARE(View::inside(row, QStringLiteral("explainButton")), nullptr);
        QCOMPARE(View::inside(row, QStringLiteral("agentName"))->property("text").toString(),
            QStringLiteral("openclaw-home"));
        QQuickItem* linkRow = view.all(QStringLiteral("pendingRow")).at(1);
        QVERIFY(View::inside(linkRow, QStringLiteral("moreDetailsButton")));
        QCOMPARE(View::inside(linkRow, QStringLiteral("removalHeaderText")), nullptr);
        view.screenshot(QStringLiteral("panel-unregister"));

        // The unregister page: the removal texts, no rule section.
        f.panel->showDetail(QStringLiteral("u1"));
        QTRY_VERIFY(view.find(QStringLiteral("actionDetailView")));
        QCOMPARE(view.text(QStringLiteral("unregisterSentence")),
            QStringLiteral("This will permanently unregister the agent and revoke all its permissions."));
        QCOMPARE(view.text(QStringLiteral("removalAgentName")), QStringLiteral("openclaw-home"));
        QVERIFY(!view.find(QStringLiteral("ruleSection")));
        QVERIFY(!view.find(QStringLiteral("toolCard")));
        QCOMPARE(view.find(QStringLiteral("countdownText"))->property("color").value<QColor>(),
            QuorvaneStyle::amber());
        QCOMPARE(view.text(QStringLiteral("detail_approveButton")), QStringLiteral("Remove"));
        QCOMPARE(view.text(QStringLiteral("detail_denyButton")), QStringLiteral("Keep Agent"));

        // The link page: normal buttons, no rule section.
        view.click(view.find(QStringLiteral("backButton")));
        QTRY_VERIFY(view.find(QStringLiteral("pendingList")));
        view.click(
            View::inside(view.all(QStringLiteral("pendingRow")).at(1), QStringLiteral("moreDetailsButton")));
        QTRY_VERIFY(view.find(QStringLiteral("actionDetailView")));
        QCOMPARE(view.text(QStringLiteral("detailTitle")), QStringLiteral("quorvane:link"));
        QVERIFY(!view.find(QStringLiteral("ruleSection")));
        QCOMPARE(view.text(QStringLiteral("detail_approveButton")), QStringLiteral("Approve"));
        QCOMPARE(view.text(QStringLiteral("detail_denyButton")), QStringLiteral("Deny"));
        VERIFY_NO_WARNINGS(view);
    }

    void bannersAndPauseTab()
    {
        PanelFixture f;
        QVERIFY2(f.ready(), qPrintable(f.backend.lastError()));
        QVERIFY(f.publishRelease(QStringLiteral("2.3.0")));
        View view(*f.panel);
        QVERIFY(view.ok());
        f.updates->start(QStringLiteral("1.0.0"), [] {});
        QTRY_VERIFY_WITH_TIMEOUT(view.find(QStringLiteral("updateBanner")), 20000);
        QCOMPARE(view.text(QStringLiteral("updateText")), QStringLiteral("v2.3.0 available"));
        QVERIFY(view.find(QStringLiteral("updateButton")));
        view.click(view.find(QStringLiteral("updateButton")));
        QTRY_VERIFY(view.find(QStringLiteral("updateError")));
        QVERIFY(!view.find(QStringLiteral("updateButton")));
        QVERIFY(!view.text(QStringLiteral("updateError")).isEmpty());

        // The pause tab shows the trust-window content; starting a window shows the banner.
        QQuickItem* tabs = view.find(QStringLiteral("tabPicker"));
        view.click(View::inside(tabs, QStringLiteral("segment1")));
        QTRY_VERIFY(view.find(QStringLiteral("pauseTab")));
        QCOMPARE(f.panel->selectedTab(), QStringLiteral("pause"));
        view.click(view.find(QStringLiteral("activateButton")));
        QTRY_VERIFY(view.find(QStringLiteral("trustWindowBanner")));
        view.click(
            View::inside(view.find(QStringLiteral("trustWindowBanner")), QStringLiteral("cancelButton")));
        QTRY_VERIFY(!view.find(QStringLiteral("trustWindowBanner")));
        view.click(View::inside(tabs, QStringLiteral("segment0")));
        QTRY_VERIFY(view.find(QStringLiteral("emptyText")));

        // A machine whose key the back-end keeps refusing is told so, above the list.
        QVERIFY(!view.find(QStringLiteral("identityRefused")));
        QVERIFY(f.fetchRefused(3));
        QTRY_VERIFY(view.find(QStringLiteral("identityRefused")));
        QCOMPARE(view.text(QStringLiteral("identityRefused")), f.panel->identityRefusedText());
        VERIFY_NO_WARNINGS(view);
    }

    void viewIsRecreatedWithItsState()
    {
        // The popover destroys its window when hidden: a new view shows the
        // same page.
        PanelFixture f;
        QVERIFY2(f.ready(), qPrintable(f.backend.lastError()));
        QVERIFY(f.add(f.action(QStringLiteral("p1"))));
        QVERIFY(f.fetch(1));
        {
            View first(*f.panel);
            QVERIFY(first.ok());
            QTRY_VERIFY(first.find(QStringLiteral("pendingRow")));
            first.click(
                View::inside(first.find(QStringLiteral("pendingRow")), QStringLiteral("moreDetailsButton")));
            QTRY_VERIFY(first.find(QStringLiteral("actionDetailView")));
            first.click(first.find(QStringLiteral("ruleToggle")));
            QTRY_VERIFY(f.panel->detail()->createRule());
            VERIFY_NO_WARNINGS(first);
        }
        View second(*f.panel);
        QVERIFY(second.ok());
        QTRY_VERIFY(second.find(QStringLiteral("actionDetailView")));
        QVERIFY(second.find(QStringLiteral("scopeWarning")));
        VERIFY_NO_WARNINGS(second);
    }
};

QTEST_MAIN(TestApprovalsPanelView)
#include "tst_ApprovalsPanelView.moc"
