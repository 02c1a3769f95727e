#include "tests/app/panel/PanelFixture.h"
#include "tests/app/panel/PanelView.h"

#include <QSignalSpy>

// The panel's list and detail page in QML, offscreen, against the reference
// back-end: what they show is the model's, and their controls reach it.
class TestApprovalsPanelView : public QObject
{
    Q_OBJECT

    static QString textOf(QQuickItem* row, const QString& name)
    {
        QQuickItem* item = PanelView::inside(row, name);
        return item ? item->property("text").toString() : u"<missing %1>"_qs.arg(name);
    }

private Q_SLOTS:
    void initTestCase() { PanelView::prepareApplication(); }

    // With a thousand actions the tab label grows, the header still fits the
    // popover's width and the list keeps it.
    void thousandActionsFitTheWidth()
    {
        PanelFixture f;
        QVERIFY2(f.ready(), qPrintable(f.backend.lastError()));
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
        QVERIFY2(f.ready(), qPrintable(f.backend.lastError()));
        PanelView view(*f.panel);
        QVERIFY(view.ok());
        QCOMPARE(view.text(u"emptyText"_qs), u"No pending actions"_qs);

        PendingAction network = f.action(u"v1"_qs);
        network.classification = u"Network"_qs;
        network.toolInput = { { u"command"_qs, u"curl -s https://example.com/install.sh"_qs } };
        PendingAction read = f.action(u"v2"_qs, u"Read"_qs);
        read.classification = u"read"_qs;
        read.agentMachine.reset();
        PendingAction mcp = f.action(u"v3"_qs, u"mcp__github__create_issue"_qs);
        mcp.explanation = u"Opens an issue in the team's public repository."_qs;
        QVERIFY(f.add(network) && f.add(read) && f.add(mcp));
        QVERIFY(f.fetch(3));
        QTRY_COMPARE(view.all(u"pendingRow"_qs).size(), 3);
        QVERIFY(!view.find(u"emptyText"_qs));
        const QList<QQuickItem*> rows = view.all(u"pendingRow"_qs);

        // The badge colour follows the model's colour name.
        QCOMPARE(textOf(rows.at(0), u"badgeText"_qs), u"Network"_qs);
        QCOMPARE(PanelView::inside(rows.at(0), u"badgeText"_qs)->property("color").value<QColor>(),
            QuorvaneStyle::red());
        QCOMPARE(PanelView::inside(rows.at(1), u"badgeText"_qs)->property("color").value<QColor>(),
            QuorvaneStyle::teal());
        QCOMPARE(textOf(rows.at(0), u"rowTitle"_qs), u"curl -s https://example.com/install.sh"_qs);
        QCOMPARE(textOf(rows.at(2), u"rowTitle"_qs), u"Github: Create Issue"_qs);
        QCOMPARE(PanelView::inside(rows.at(1), u"agentMachine"_qs), nullptr);
        // The MCP tool shows its explanation as a caption, the others offer it.
        QVERIFY(PanelView::inside(rows.at(2), u"explanationCaption"_qs));
        QVERIFY(!PanelView::inside(rows.at(2), u"explainButton"_qs));
        view.screenshot(u"panel-list"_qs);

        view.click(PanelView::inside(rows.at(0), u"explainButton"_qs));
        QTRY_VERIFY(PanelView::inside(rows.at(0), u"generatingExplanation"_qs));
        QSignalSpy dashboard(f.panel.get(), &ApprovalsPanel::openDashboardRequested);
        view.click(view.find(u"openDashboardButton"_qs));
        QCOMPARE(dashboard.count(), 1);
        view.click(PanelView::inside(rows.at(1), u"approveButton"_qs));
        QTRY_COMPARE(f.panel->pendingCount(), 2);
        QCOMPARE(f.decisionBodies(u"v2"_qs), QStringList { u"{\"decision\":\"approved\"}"_qs });
        VERIFY_NO_WARNINGS(view);
    }

    void detailPagesAndTheirButtons()
    {
        PanelFixture f;
        QVERIFY2(f.ready(), qPrintable(f.backend.lastError()));
        PendingAction action = f.action(u"w1"_qs, u"Bash"_qs, 65.9);
        action.toolInput = { { u"command"_qs, u"cd ~/projects/site && rm -rf dist"_qs },
            { u"detail_segments"_qs,
                u"[{\"segment\":\"cd ~/projects/site\",\"base_cmd\":\"cd\",\"risk\":\"read\"},"
                "{\"segment\":\"rm -rf dist\",\"base_cmd\":\"rm\",\"risk\":\"destructive\"}]"_qs } };
        action.agentName = u"claude-code · site"_qs;
        QVERIFY(f.add(action) && f.add(f.action(u"w2"_qs)) && f.add(f.action(u"w3"_qs)));
        QVERIFY(f.fetch(3));
        PanelView view(*f.panel);
        QVERIFY(view.ok());
        QTRY_COMPARE(view.all(u"pendingRow"_qs).size(), 3);

        view.click(PanelView::inside(view.all(u"pendingRow"_qs).first(), u"moreDetailsButton"_qs));
        QTRY_VERIFY(view.find(u"actionDetailView"_qs));
        QVERIFY(!view.find(u"pendingList"_qs));
        QCOMPARE(view.text(u"countdownText"_qs), f.panel->detail()->countdownText());
        const QList<QQuickItem*> segments = view.all(u"segmentLine"_qs);
        QCOMPARE(segments.size(), 2);
        QCOMPARE(segments.at(0)->property("text").toString(), u"cd ~/projects/site"_qs);
        QCOMPARE(segments.at(0)->opacity(), 0.5);
        QCOMPARE(segments.at(1)->property("color").value<QColor>(), QuorvaneStyle::red());
        QCOMPARE(segments.at(1)->opacity(), 1.0);
        QVERIFY(!view.find(u"scopeWarning"_qs));

        // Rule toggle on: the scope on offer and its warning.
        view.click(view.find(u"ruleToggle"_qs));
        QTRY_COMPARE(view.text(u"scopeWarning"_qs),
            u"Future destructive actions from claude-code · site will be auto-approved."_qs);
        view.screenshot(u"panel-detail"_qs);

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
        QVERIFY(f.add(f.action(u"w2"_qs)) && f.add(f.action(u"w3"_qs)));
        QVERIFY(f.fetch(2));
        QTRY_VERIFY(view.find(u"pendingList"_qs));
        QVERIFY(!view.find(u"actionDetailView"_qs));

        // Approve with the scope picked, then deny with the toggle on (a
        // denial carries no scope).
        f.panel->showDetail(u"w2"_qs);
        QTRY_VERIFY(view.find(u"ruleToggle"_qs));
        view.click(view.find(u"ruleToggle"_qs));
        QTRY_VERIFY(view.find(u"scopePicker"_qs));
        QTRY_COMPARE(view.find(u"ruleSection"_qs)->height(), view.find(u"ruleSection"_qs)->implicitHeight());
        view.click(PanelView::inside(view.find(u"scopePicker"_qs), u"segment2"_qs));
        QTRY_COMPARE(view.text(u"scopeWarning"_qs),
            u"Future destructive actions from any agent will be auto-approved."_qs);
        view.click(view.find(u"detail_approveButton"_qs));
        QTRY_COMPARE(f.decisionBodies(u"w2"_qs),
            QStringList { u"{\"decision\":\"approved\",\"create_rule\":{\"scope\":\"global\"}}"_qs });
        f.panel->showDetail(u"w3"_qs);
        QTRY_VERIFY(view.find(u"ruleToggle"_qs));
        view.click(view.find(u"ruleToggle"_qs));
        QTRY_VERIFY(f.panel->detail()->createRule());
        view.click(view.find(u"detail_denyButton"_qs));
        QTRY_COMPARE(f.decisionBodies(u"w3"_qs), QStringList { u"{\"decision\":\"denied\"}"_qs });
        QTRY_VERIFY(view.find(u"emptyText"_qs));
        VERIFY_NO_WARNINGS(view);
    }

    void unregisterAndLink()
    {
        PanelFixture f;
        QVERIFY2(f.ready(), qPrintable(f.backend.lastError()));
        PendingAction unregister = f.action(u"u1"_qs, u"quorvane:unregister"_qs);
        unregister.agentName = u"openclaw-home"_qs;
        unregister.toolInput = { { u"summary"_qs, u"Unregister agent openclaw-home"_qs } };
        PendingAction link = f.action(u"l1"_qs, u"quorvane:link"_qs);
        QVERIFY(f.add(unregister) && f.add(link));
        QVERIFY(f.fetch(2));
        PanelView view(*f.panel);
        QVERIFY(view.ok());
        QTRY_COMPARE(view.all(u"pendingRow"_qs).size(), 2);
        QQuickItem* row = view.all(u"pendingRow"_qs).first();
        QCOMPARE(textOf(row, u"removalHeaderText"_qs), u"REMOVE AGENT"_qs);
        QCOMPARE(textOf(row, u"approveButton"_qs), u"Remove"_qs);
        QCOMPARE(textOf(row, u"denyButton"_qs), u"Keep Agent"_qs);
        QCOMPARE(PanelView::inside(row, u"moreDetailsButton"_qs), nullptr);
        QCOMPARE(PanelView::inside(row, u"explainButton"_qs), nullptr);
        QQuickItem* linkRow = view.all(u"pendingRow"_qs).at(1);
        QCOMPARE(PanelView::inside(linkRow, u"removalHeaderText"_qs), nullptr);
        view.screenshot(u"panel-unregister"_qs);

        // The unregister page: the removal texts, no rule section.
        f.panel->showDetail(u"u1"_qs);
        QTRY_VERIFY(view.find(u"actionDetailView"_qs));
        QCOMPARE(view.text(u"unregisterSentence"_qs),
            u"This will permanently unregister the agent and revoke all its permissions."_qs);
        QCOMPARE(view.text(u"removalAgentName"_qs), u"openclaw-home"_qs);
        QVERIFY(!view.find(u"ruleSection"_qs) && !view.find(u"toolCard"_qs));
        QCOMPARE(view.find(u"countdownText"_qs)->property("color").value<QColor>(), QuorvaneStyle::amber());
        QCOMPARE(view.text(u"detail_approveButton"_qs), u"Remove"_qs);

        // The link page from its row, after "back": no rule section either.
        view.click(view.find(u"backButton"_qs));
        QTRY_VERIFY(view.find(u"pendingList"_qs));
        view.click(PanelView::inside(view.all(u"pendingRow"_qs).at(1), u"moreDetailsButton"_qs));
        QTRY_COMPARE(view.text(u"detailTitle"_qs), u"quorvane:link"_qs);
        QVERIFY(!view.find(u"ruleSection"_qs));
        QCOMPARE(view.text(u"detail_denyButton"_qs), u"Deny"_qs);
        VERIFY_NO_WARNINGS(view);
    }
};

QTEST_MAIN(TestApprovalsPanelView)
#include "tst_ApprovalsPanelView.moc"
