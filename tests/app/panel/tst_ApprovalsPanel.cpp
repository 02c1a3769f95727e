#include "tests/app/panel/PanelFixture.h"

#include <QSignalSpy>

// The panel's navigation, decisions and banners against the reference back-end.
class TestApprovalsPanel : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void tabsAndContent()
    {
        PanelFixture f;
        QVERIFY2(f.ready(), qPrintable(f.backend.lastError()));
        ApprovalsPanel& panel = *f.panel;
        QCOMPARE(panel.content(), u"empty"_qs);
        panel.setShown(true);
        QVERIFY(!panel.isTickerRunning()); // nothing to count down
        for (const QString& id : { u"a1"_qs, u"a2"_qs, u"a3"_qs })
            QVERIFY(f.add(f.action(id)));
        QVERIFY(f.fetch(3));
        QCOMPARE(panel.actionsTabLabel(), u"Actions (3)"_qs);
        QCOMPARE(panel.content(), u"list"_qs);

        // The countdowns tick only while the panel is shown, and appearing
        // refreshes them at once.
        QVERIFY(panel.isTickerRunning());
        panel.setShown(false);
        QVERIFY(!panel.isTickerRunning());
        QSignalSpy changed(panel.actions(), &QAbstractItemModel::dataChanged);
        panel.setShown(true);
        QCOMPARE(changed.count(), 1);
        QCOMPARE(changed.at(0).at(2).value<QList<int>>(), PendingActionsModel::countdownRoles());
        panel.setShown(false);

        // The pause tab, and back; unknown tabs are ignored.
        panel.setSelectedTab(u"pause"_qs);
        QCOMPARE(panel.content(), u"pause"_qs);
        panel.setSelectedTab(u"settings"_qs);
        QCOMPARE(panel.selectedTab(), u"pause"_qs);
        panel.showDetail(u"a1"_qs); // no detail page on the pause tab
        QCOMPARE(panel.selectedActionId(), QString());
        panel.setSelectedTab(u"actions"_qs);

        // A detail page; changing tab closes it.
        panel.showDetail(u"a2"_qs);
        QCOMPARE(panel.content(), u"detail"_qs);
        QCOMPARE(panel.detail()->actionId(), u"a2"_qs);
        panel.setSelectedTab(u"pause"_qs);
        QCOMPARE(panel.selectedActionId(), QString());
        QVERIFY(!panel.detail()->hasAction());
        panel.setSelectedTab(u"actions"_qs);
        QCOMPARE(panel.content(), u"list"_qs);

        // Unknown ids open nothing; back returns to the list.
        panel.showDetail(u"nope"_qs);
        QCOMPARE(panel.content(), u"list"_qs);
        panel.showDetail(u"a3"_qs);
        panel.back();
        QCOMPARE(panel.content(), u"list"_qs);

        // The pause tab offers a scheduled window from now.
        TrustWindowState& trust = *f.trust;
        trust.setMode(TrustWindowState::Mode::Scheduled);
        QCOMPARE(trust.scheduledStart(), f.now.addSecs(3600));

        // Two days later the untouched defaults lie in the past; showing the
        // tab offers a window from the new now again.
        f.now = f.now.addDays(2);
        QCOMPARE(trust.scheduleProblem(), std::optional<QString>(u"The end must be in the future"_qs));
        f.panel->setShown(true);
        f.panel->setSelectedTab(u"pause"_qs);
        QCOMPARE(trust.scheduledStart(), f.now.addSecs(3600));
        QCOMPARE(trust.scheduledEnd(), f.now.addSecs(32400));

        // Opened again a day later on the pause tab: computed again.
        f.panel->setShown(false);
        f.now = f.now.addDays(1);
        f.panel->setShown(true);
        QCOMPARE(trust.scheduledStart(), f.now.addSecs(3600));

        // While the tab stays in view the person's choice is kept.
        const QDateTime chosen = f.now.addSecs(7200);
        trust.setScheduledStart(chosen);
        f.panel->setShown(true);
        QCOMPARE(trust.scheduledStart(), chosen);

        // Without actions the ticker stops.
        QVERIFY(panel.isTickerRunning());
        QVERIFY(f.backend.reset());
        QVERIFY(f.fetch(0));
        QVERIFY(!panel.isTickerRunning());
    }

    void rowDecisions()
    {
        PanelFixture f;
        QVERIFY2(f.ready(), qPrintable(f.backend.lastError()));
        ApprovalsPanel& panel = *f.panel;
        QVERIFY(f.add(f.action(u"c1"_qs)) && f.add(f.action(u"c2"_qs)));
        QVERIFY(f.fetch(2));

        // In flight: the row is responding and a second press sends nothing.
        QVERIFY(f.backend.injectDelay("POST", u"/approvals/c1/respond"_qs, 300));
        auto task = panel.decide(u"c1"_qs, u"approved"_qs, false);
        QVERIFY(panel.actions()->isResponding(u"c1"_qs));
        QVERIFY(!panel.isResponding(u"c2"_qs));
        QVERIFY(!QCoro::waitFor(panel.decide(u"c1"_qs, u"denied"_qs, false)));
        QVERIFY(QCoro::waitFor(std::move(task)));
        QVERIFY(!panel.isResponding(u"c1"_qs));
        QCOMPARE(f.decisionBodies(u"c1"_qs), QStringList { u"{\"decision\":\"approved\"}"_qs });
        QCOMPARE(panel.pendingCount(), 1);
        QCOMPARE(f.backendStatus(u"c1"_qs), u"approved"_qs);

        // Nothing is sent for unknown actions or other decisions.
        f.backend.clearRequests();
        QVERIFY(!QCoro::waitFor(panel.decide(u"zz"_qs, u"approved"_qs, false)));
        QVERIFY(!QCoro::waitFor(panel.decide(u"c2"_qs, u"maybe"_qs, false)));
        QCOMPARE(f.decisionBodies(u"c2"_qs), QStringList());
    }

    void detailFailureAndExpiry()
    {
        PanelFixture f;
        QVERIFY2(f.ready(), qPrintable(f.backend.lastError()));
        ApprovalsPanel& panel = *f.panel;
        QVERIFY(f.add(f.action(u"e1"_qs, u"Bash"_qs, 65.9)) && f.add(f.action(u"e2"_qs)));
        QVERIFY(f.fetch(2));
        panel.showDetail(u"e1"_qs);
        QCOMPARE(panel.detail()->countdownText(), u"1:05 remaining"_qs);

        // Refused: the page stays open with its choices, buttons enabled again.
        panel.detail()->setCreateRule(true);
        QVERIFY(f.backend.inject("POST", u"/approvals/e1/respond"_qs, 503));
        QVERIFY(!QCoro::waitFor(panel.decide(u"e1"_qs, u"approved"_qs, true)));
        QCOMPARE(panel.selectedActionId(), u"e1"_qs);
        QVERIFY(!panel.detail()->isResponding());
        QVERIFY(panel.detail()->createRule());

        // The panel's ticker moves the countdown; once expired the page
        // refuses decisions (the row still may).
        panel.setTickInterval(20);
        panel.setShown(true);
        f.now = f.now.addSecs(66);
        QTRY_COMPARE(panel.detail()->countdownText(), u"Expired"_qs);
        QVERIFY(!panel.detail()->showsButtons());
        f.backend.clearRequests();
        QVERIFY(!QCoro::waitFor(panel.decide(u"e1"_qs, u"approved"_qs, true)));
        QCOMPARE(f.decisionBodies(u"e1"_qs), QStringList());
        // A detail decision for an action whose page is not open is refused too.
        QVERIFY(!QCoro::waitFor(panel.decide(u"e2"_qs, u"approved"_qs, true)));
        QVERIFY(QCoro::waitFor(panel.decide(u"e1"_qs, u"denied"_qs, false)));
        QCOMPARE(panel.selectedActionId(), QString());
    }
};

QTEST_GUILESS_MAIN(TestApprovalsPanel)
#include "tst_ApprovalsPanel.moc"
