#include "tests/support/LogCapture.h"
#include "tests/support/TestFiles.h"
#include "tests/app/panel/PanelFixture.h"

#include <QSignalSpy>
#include <QTest>

// The panel's navigation, decisions and banners against the reference back-end.
class TestApprovalsPanel : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void pauseTabOffersAScheduleFromNow()
    {
        PanelFixture f;
        QVERIFY2(f.ready(), qPrintable(f.backend.lastError()));
        ApprovalsPanel& panel = *f.panel;
        TrustWindowState& trust = *f.trust;
        trust.setMode(TrustWindowState::Mode::Scheduled);
        QCOMPARE(trust.scheduledStart(), f.now.addSecs(3600));
        QCOMPARE(trust.scheduledEnd(), f.now.addSecs(32400));

        // Two days later the untouched defaults lie in the past; showing the
        // tab offers a window from the new now again.
        f.now = f.now.addDays(2);
        QCOMPARE(trust.scheduleProblem(), std::optional<QString>(QStringLiteral("The end must be in the future")));
        panel.setShown(true);
        panel.setSelectedTab(QStringLiteral("pause"));
        QCOMPARE(trust.scheduledStart(), f.now.addSecs(3600));
        QCOMPARE(trust.scheduledEnd(), f.now.addSecs(32400));
        QCOMPARE(trust.scheduleProblem(), std::nullopt);
        QCOMPARE(trust.dayOffset(trust.scheduledStart()), trust.dayOffset(f.now.addSecs(3600)));

        // Opened again a day later on the pause tab: computed again.
        panel.setShown(false);
        f.now = f.now.addDays(1);
        panel.setShown(true);
        QCOMPARE(trust.scheduledStart(), f.now.addSecs(3600));
        QCOMPARE(trust.scheduledEnd(), f.now.addSecs(32400));

        // While the tab stays in view the person's choice is kept.
        const QDateTime chosen = f.now.addSecs(7200);
        trust.setScheduledStart(chosen);
        panel.setShown(true);
        QCOMPARE(trust.scheduledStart(), chosen);
    }

    void tabsAndContent()
    {
        PanelFixture f;
        QVERIFY2(f.ready(), qPrintable(f.backend.lastError()));
        ApprovalsPanel& panel = *f.panel;
        QCOMPARE(panel.selectedTab(), QStringLiteral("actions"));
        QCOMPARE(panel.actionsTabLabel(), QStringLiteral("Actions"));
        QCOMPARE(panel.content(), QStringLiteral("empty"));

        QSignalSpy countSpy(&panel, &ApprovalsPanel::pendingCountChanged);
        QSignalSpy contentSpy(&panel, &ApprovalsPanel::contentChanged);
        for (const char* id : {"a1", "a2", "a3"})
            QVERIFY(f.add(f.action(QString::fromLatin1(id))));
        QVERIFY(f.fetch(3));
        QCOMPARE(panel.pendingCount(), 3);
        QCOMPARE(panel.actionsTabLabel(), QStringLiteral("Actions (3)"));
        QCOMPARE(panel.content(), QStringLiteral("list"));
        QCOMPARE(countSpy.count(), 1);
        QCOMPARE(contentSpy.count(), 1);

        // The pause tab, and back; unknown tabs are ignored.
        panel.setSelectedTab(QStringLiteral("pause"));
        QCOMPARE(panel.content(), QStringLiteral("pause"));
        panel.setSelectedTab(QStringLiteral("settings"));
        QCOMPARE(panel.selectedTab(), QStringLiteral("pause"));
        panel.showDetail(QStringLiteral("a1")); // no detail page on the pause tab
        QCOMPARE(panel.selectedActionId(), QString());
        panel.setSelectedTab(QStringLiteral("actions"));

        // A detail page; changing tab closes it.
        panel.showDetail(QStringLiteral("a2"));
        QCOMPARE(panel.selectedActionId(), QStringLiteral("a2"));
        QCOMPARE(panel.content(), QStringLiteral("detail"));
        QCOMPARE(panel.detail()->actionId(), QStringLiteral("a2"));
        panel.setSelectedTab(QStringLiteral("pause"));
        QCOMPARE(panel.selectedActionId(), QString());
        QVERIFY(!panel.detail()->hasAction());
        panel.setSelectedTab(QStringLiteral("actions"));
        QCOMPARE(panel.content(), QStringLiteral("list"));

        // Unknown ids open nothing; back returns to the list.
        panel.showDetail(QStringLiteral("nope"));
        QCOMPARE(panel.content(), QStringLiteral("list"));
        panel.showDetail(QStringLiteral("a3"));
        panel.back();
        QCOMPARE(panel.content(), QStringLiteral("list"));
    }

    void detailFallsBackWhenItsActionLeaves()
    {
        PanelFixture f;
        QVERIFY2(f.ready(), qPrintable(f.backend.lastError()));
        ApprovalsPanel& panel = *f.panel;
        PendingAction first = f.action(QStringLiteral("b1"));
        QVERIFY(f.add(first));
        QVERIFY(f.add(f.action(QStringLiteral("b2"))));
        QVERIFY(f.fetch(2));
        panel.showDetail(QStringLiteral("b1"));
        panel.detail()->setCreateRule(true);
        panel.detail()->setRuleScopeRawValue(QStringLiteral("global"));

        // A refresh of the same action (its explanation arrived) keeps the page and the choices.
        first.explanation = QStringLiteral("Deletes the build output.");
        QVERIFY(f.add(first));
        f.sync->fetchPendingFromPush();
        QTRY_VERIFY(f.panel->actions()->action(QStringLiteral("b1"))
                    && f.panel->actions()->action(QStringLiteral("b1"))->explanation.has_value());
        QVERIFY(f.panel->detail()->action()->explanation.has_value());
        QCOMPARE(panel.content(), QStringLiteral("detail"));
        QVERIFY(panel.detail()->createRule());
        QCOMPARE(panel.detail()->ruleScopeRawValue(), QStringLiteral("global"));

        // The back-end stops listing it (decided elsewhere): back to the list.
        QSignalSpy selection(&panel, &ApprovalsPanel::selectedActionIdChanged);
        QVERIFY(f.backend.reset());
        QVERIFY(f.add(f.action(QStringLiteral("b2"))));
        QVERIFY(f.fetch(1));
        QCOMPARE(panel.selectedActionId(), QString());
        QCOMPARE(selection.count(), 1);
        QVERIFY(!panel.detail()->hasAction());
        QCOMPARE(panel.content(), QStringLiteral("list"));

        // It comes back: the page stays closed, and reopening starts afresh.
        QVERIFY(f.add(first));
        QVERIFY(f.fetch(2));
        QCOMPARE(panel.content(), QStringLiteral("list"));
        panel.showDetail(QStringLiteral("b1"));
        QVERIFY(!panel.detail()->createRule());
        QCOMPARE(panel.detail()->ruleScopeRawValue(), QStringLiteral("agent"));
    }

    void rowDecisions()
    {
        PanelFixture f;
        QVERIFY2(f.ready(), qPrintable(f.backend.lastError()));
        ApprovalsPanel& panel = *f.panel;
        for (const char* id : {"c1", "c2"})
            QVERIFY(f.add(f.action(QString::fromLatin1(id))));
        QVERIFY(f.fetch(2));

        // In flight: the row is responding and a second press sends nothing.
        const QString respondPath = QStringLiteral("/approvals/c1/respond");
        QVERIFY(f.backend.injectDelay("POST", respondPath, 300));
        auto task = panel.decide(QStringLiteral("c1"), QStringLiteral("approved"), false);
        QVERIFY(panel.isResponding(QStringLiteral("c1")));
        QVERIFY(f.panel->actions()->isResponding(QStringLiteral("c1")));
        QVERIFY(!panel.isResponding(QStringLiteral("c2")));
        QVERIFY(!QCoro::waitFor(panel.decide(QStringLiteral("c1"), QStringLiteral("denied"), false)));
        QVERIFY(QCoro::waitFor(std::move(task)));
        QVERIFY(!panel.isResponding(QStringLiteral("c1")));
        QCOMPARE(f.decisionBodies(QStringLiteral("c1")), QStringList{QStringLiteral("{\"decision\":\"approved\"}")});
        QCOMPARE(panel.pendingCount(), 1);
        QCOMPARE(f.backend.actionStatus(QStringLiteral("c1")).value(QStringLiteral("status")).toString(),
                 QStringLiteral("approved"));

        // A refused decision leaves the row, enabled again, and logs the status.
        LogCapture log;
        QVERIFY(f.backend.inject("POST", QStringLiteral("/approvals/c2/respond"), 500));
        QVERIFY(!QCoro::waitFor(panel.decide(QStringLiteral("c2"), QStringLiteral("denied"), false)));
        QVERIFY(!panel.isResponding(QStringLiteral("c2")));
        QCOMPARE(panel.pendingCount(), 1);
        QVERIFY(log.contains(QStringLiteral("Quorvane: approval respond failed: HTTP 500")));

        // Decided elsewhere (409) counts as done.
        QVERIFY(f.backend.inject("POST", QStringLiteral("/approvals/c2/respond"), 409));
        QVERIFY(QCoro::waitFor(panel.decide(QStringLiteral("c2"), QStringLiteral("denied"), false)));
        QCOMPARE(panel.pendingCount(), 0);
        QCOMPARE(panel.content(), QStringLiteral("empty"));

        // Nothing is sent for unknown actions or other decisions.
        f.backend.clearRequests();
        QVERIFY(!QCoro::waitFor(panel.decide(QStringLiteral("zz"), QStringLiteral("approved"), false)));
        QVERIFY(f.add(f.action(QStringLiteral("c3"))));
        QVERIFY(f.fetch(2)); // c2 is still pending on the back-end: the 409 was injected
        QVERIFY(!QCoro::waitFor(panel.decide(QStringLiteral("c3"), QStringLiteral("maybe"), false)));
        QCOMPARE(f.decisionBodies(QStringLiteral("c3")), QStringList());
    }

    void refusedIdentityIsToldAndClears()
    {
        PanelFixture f;
        QVERIFY2(f.ready(), qPrintable(f.backend.lastError()));
        ApprovalsPanel& panel = *f.panel;
        QSignalSpy changes(&panel, &ApprovalsPanel::identityRefusedTextChanged);
        QVERIFY(f.fetchRefused(2));
        QTest::qWait(50);
        QVERIFY(panel.identityRefusedText().isEmpty()); // two refusals can be a passing fault
        QVERIFY(f.fetchRefused(1));
        QTRY_VERIFY(!panel.identityRefusedText().isEmpty());
        QVERIFY(panel.identityRefusedText().contains(QStringLiteral("identity")));
        QVERIFY(f.add(f.action(QStringLiteral("after"))));
        QVERIFY(f.fetch(1));
        QVERIFY(panel.identityRefusedText().isEmpty());
        QCOMPARE(changes.count(), 2);
    }

    void detailDecisions_data()
    {
        QTest::addColumn<bool>("createRule");
        QTest::addColumn<QString>("scope");
        QTest::addColumn<bool>("approve");
        QTest::addColumn<QString>("body");
        QTest::newRow("approve without rule") << false << QStringLiteral("global") << true
                                              << QStringLiteral("{\"decision\":\"approved\"}");
        QTest::newRow("approve with machine rule")
            << true << QStringLiteral("machine") << true
            << QStringLiteral("{\"decision\":\"approved\",\"create_rule\":{\"scope\":\"machine\"}}");
        QTest::newRow("approve with agent rule")
            << true << QStringLiteral("agent") << true
            << QStringLiteral("{\"decision\":\"approved\",\"create_rule\":{\"scope\":\"agent\"}}");
        QTest::newRow("deny with the toggle on sends no scope") << true << QStringLiteral("global") << false
                                                                << QStringLiteral("{\"decision\":\"denied\"}");
    }
    void detailDecisions()
    {
        QFETCH(bool, createRule);
        QFETCH(QString, scope);
        QFETCH(bool, approve);
        QFETCH(QString, body);
        PanelFixture f;
        QVERIFY2(f.ready(), qPrintable(f.backend.lastError()));
        ApprovalsPanel& panel = *f.panel;
        QVERIFY(f.add(f.action(QStringLiteral("d1"))));
        QVERIFY(f.fetch(1));
        panel.showDetail(QStringLiteral("d1"));
        panel.detail()->setCreateRule(createRule);
        panel.detail()->setRuleScopeRawValue(scope);
        QSignalSpy responding(panel.detail(), &ActionDetailState::isRespondingChanged);
        const bool taken = QCoro::waitFor(
            panel.decide(QStringLiteral("d1"), approve ? QStringLiteral("approved") : QStringLiteral("denied"), true));
        QVERIFY(taken);
        QCOMPARE(responding.count(), 2); // on, then off
        QCOMPARE(f.decisionBodies(QStringLiteral("d1")), QStringList{body});
        QCOMPARE(panel.selectedActionId(), QString());
        QCOMPARE(panel.content(), QStringLiteral("empty"));
        const QJsonObject status = f.backend.actionStatus(QStringLiteral("d1"));
        QCOMPARE(status.value(QStringLiteral("status")).toString(),
                 approve ? QStringLiteral("approved") : QStringLiteral("denied"));
    }

    void detailFailureAndExpiry()
    {
        PanelFixture f;
        QVERIFY2(f.ready(), qPrintable(f.backend.lastError()));
        ApprovalsPanel& panel = *f.panel;
        QVERIFY(f.add(f.action(QStringLiteral("e1"), QStringLiteral("Bash"), 65.9)));
        QVERIFY(f.add(f.action(QStringLiteral("e2"))));
        QVERIFY(f.fetch(2));
        panel.showDetail(QStringLiteral("e1"));
        QCOMPARE(panel.detail()->countdownText(), QStringLiteral("1:05 remaining"));

        // Refused: the page stays open with its choices, buttons enabled again.
        panel.detail()->setCreateRule(true);
        QVERIFY(f.backend.inject("POST", QStringLiteral("/approvals/e1/respond"), 503));
        QVERIFY(!QCoro::waitFor(panel.decide(QStringLiteral("e1"), QStringLiteral("approved"), true)));
        QCOMPARE(panel.selectedActionId(), QStringLiteral("e1"));
        QVERIFY(!panel.detail()->isResponding());
        QVERIFY(panel.detail()->createRule());

        // The panel's ticker moves the countdown; once expired the page
        // refuses decisions (the row still may).
        panel.setTickInterval(20);
        panel.setShown(true);
        QVERIFY(panel.isTickerRunning());
        f.now = f.now.addSecs(66);
        QTRY_COMPARE(panel.detail()->countdownText(), QStringLiteral("Expired"));
        QVERIFY(!panel.detail()->showsButtons());
        f.backend.clearRequests();
        QVERIFY(!QCoro::waitFor(panel.decide(QStringLiteral("e1"), QStringLiteral("approved"), true)));
        QCOMPARE(f.decisionBodies(QStringLiteral("e1")), QStringList());
        // A detail decision for an action whose page is not open is refused too.
        QVERIFY(!QCoro::waitFor(panel.decide(QStringLiteral("e2"), QStringLiteral("approved"), true)));
        QVERIFY(QCoro::waitFor(panel.decide(QStringLiteral("e1"), QStringLiteral("denied"), false)));
        QCOMPARE(panel.selectedActionId(), QString());
    }

    void tickerRunsOnlyWhileShownWithActions()
    {
        PanelFixture f;
        QVERIFY2(f.ready(), qPrintable(f.backend.lastError()));
        ApprovalsPanel& panel = *f.panel;
        QSignalSpy shown(&panel, &ApprovalsPanel::isShownChanged);
        panel.setShown(true);
        QVERIFY(!panel.isTickerRunning()); // nothing to count down
        QVERIFY(f.add(f.action(QStringLiteral("t1"))));
        QVERIFY(f.fetch(1));
        QVERIFY(panel.isTickerRunning());

        // Appearing refreshes the countdowns at once.
        panel.setShown(false);
        QVERIFY(!panel.isTickerRunning());
        QSignalSpy changed(panel.actions(), &QAbstractItemModel::dataChanged);
        panel.setShown(true);
        QCOMPARE(changed.count(), 1);
        QCOMPARE(changed.at(0).at(2).value<QList<int>>(), PendingActionsModel::countdownRoles());
        QCOMPARE(shown.count(), 3);

        QVERIFY(f.backend.reset());
        QVERIFY(f.fetch(0));
        QVERIFY(!panel.isTickerRunning());
    }

    void explanationAndDashboard()
    {
        PanelFixture f;
        QVERIFY2(f.ready(), qPrintable(f.backend.lastError()));
        ApprovalsPanel& panel = *f.panel;
        PendingAction action = f.action(QStringLiteral("x1"));
        QVERIFY(f.add(action));
        QVERIFY(f.fetch(1));
        PendingActionsModel& model = *panel.actions();
        const QModelIndex row = model.index(0);
        QCOMPARE(row.data(PendingActionsModel::ExplanationModeRole).toString(), QStringLiteral("button"));
        panel.showExplanation(QStringLiteral("x1"));
        QCOMPARE(row.data(PendingActionsModel::ExplanationModeRole).toString(), QStringLiteral("generating"));

        // The explanation arrives with a later refresh.
        action.explanation = QStringLiteral("Removes the build folder.\n\nIt can be rebuilt.");
        QVERIFY(f.add(action));
        f.sync->fetchPendingFromPush();
        QTRY_COMPARE(model.index(0).data(PendingActionsModel::ExplanationModeRole).toString(), QStringLiteral("lines"));
        QCOMPARE(model.index(0).data(PendingActionsModel::ExplanationLinesRole).toStringList().size(), 2);

        QSignalSpy dashboard(&panel, &ApprovalsPanel::openDashboardRequested);
        panel.openDashboard();
        QCOMPARE(dashboard.count(), 1);
        QCOMPARE(ApprovalsPanel::viewUrl(), QUrl(QStringLiteral("qrc:/qt/qml/Quorvane/Panel/ApprovalsPanelView.qml")));
    }

    void updateBanner()
    {
        PanelFixture f;
        QVERIFY2(f.ready(), qPrintable(f.backend.lastError()));
        UpdateBannerState& banner = *f.panel->updateBanner();
        QVERIFY(!banner.isVisible());
        QVERIFY(f.publishRelease(QStringLiteral("2.3.0")));
        QSignalSpy changed(&banner, &UpdateBannerState::changed);
        f.updates->start(QStringLiteral("1.0.0"), [] {});
        QTRY_VERIFY_WITH_TIMEOUT(banner.isVisible(), 20000);
        QVERIFY(changed.count() >= 1);
        QCOMPARE(banner.mode(), QStringLiteral("available"));
        QCOMPARE(banner.availableText(), QStringLiteral("v2.3.0 available"));

        // A package installation is left to the package manager: no "Update".
        f.updates->setInstallPrefix(QStringLiteral("/usr"));
        QCOMPARE(banner.mode(), QStringLiteral("managed"));
        QCOMPARE(banner.availableText(), QStringLiteral("v2.3.0 available · update it with your package manager"));

        // A refusal replaces the line and the button with the error.
        QTemporaryDir installation;
        f.updates->setInstallPrefix(installation.path());
        banner.update();
        QTRY_COMPARE(banner.mode(), QStringLiteral("error"));
        QCOMPARE(banner.errorText(), QStringLiteral("Update unavailable: this installation cannot replace itself"));
        QVERIFY(banner.isVisible());

        // The download address is not the release host.
        QVERIFY(TestFiles::writeShellScript(installation.filePath(QString::fromLatin1(UpdateCheckService::appExecutable)), {}));
        banner.update();
        QTRY_COMPARE(banner.errorText(), QStringLiteral("Update blocked: untrusted download source"));

        // From the release host: progress while the download is held back,
        // then the integrity refusal replaces it.
        f.updates->setReleaseHost(QStringLiteral("127.0.0.1"));
        QVERIFY(f.backend.injectDelay("GET", QStringLiteral("/releases/files/Quorvane-2.3.0.tar.gz"), 400));
        banner.update();
        QTRY_COMPARE(banner.mode(), QStringLiteral("progress"));
        QCOMPARE(banner.percentText(), QStringLiteral("0%"));
        QCOMPARE(banner.progress(), 0.0);
        QTRY_COMPARE_WITH_TIMEOUT(banner.mode(), QStringLiteral("error"), 20000);
        QCOMPARE(banner.errorText(), QStringLiteral("Update blocked: integrity check failed"));
    }
};

QTEST_GUILESS_MAIN(TestApprovalsPanel)
#include "tst_ApprovalsPanel.moc"
