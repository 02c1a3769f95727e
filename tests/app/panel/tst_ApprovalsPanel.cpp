#include "tests/app/panel/PanelFixture.h"

#include <QAbstractItemModelTester>
#include <QRandomGenerator>
#include <QSignalSpy>

using namespace PanelTestActions;

namespace {

QList<PendingAction> actionsWithIds(const QStringList& ids)
{
    QList<PendingAction> actions;
    for (const QString& id : ids)
        actions.append(make(id));
    return actions;
}

QStringList modelIds(const PendingActionsModel& model)
{
    QStringList ids;
    for (int row = 0; row < model.rowCount(); ++row)
        ids << model.idAt(row);
    return ids;
}

QVariant role(const PendingActionsModel& model, int row, PendingActionsModel::Role role)
{
    return model.data(model.index(row), role);
}

// Counts what a change announced.
struct ChangeLog
{
    explicit ChangeLog(PendingActionsModel& model)
        : inserted(&model, &QAbstractItemModel::rowsInserted)
        , removed(&model, &QAbstractItemModel::rowsRemoved)
        , moved(&model, &QAbstractItemModel::rowsMoved)
        , changed(&model, &QAbstractItemModel::dataChanged)
        , reset(&model, &QAbstractItemModel::modelReset)
        , layout(&model, &QAbstractItemModel::layoutChanged)
        , count(&model, &PendingActionsModel::countChanged)
    {
    }
    QSignalSpy inserted, removed, moved, changed, reset, layout, count;

    static int spanned(const QSignalSpy& spy)
    {
        int rows = 0;
        for (const QList<QVariant>& call : spy)
            rows += call.at(2).toInt() - call.at(1).toInt() + 1;
        return rows;
    }
};

} // namespace

// The panel's rows, and the panel itself against the reference back-end: its
// tabs and pages, its row and page decisions and its ticker.
class TestApprovalsPanel : public QObject
{
    Q_OBJECT

    struct Model : PendingActionsModel
    {
        QAbstractItemModelTester tester { this, QAbstractItemModelTester::FailureReportingMode::QtTest };
    };

private Q_SLOTS:
    void minimalChanges_data()
    {
        QTest::addColumn<QStringList>("before");
        QTest::addColumn<QStringList>("after");
        QTest::addColumn<int>("inserted");
        QTest::addColumn<int>("removed");
        QTest::addColumn<int>("moves");
        QTest::addColumn<int>("insertSignals");
        QTest::addColumn<int>("removeSignals");
        const auto l
            = [](const char* text) { return QString::fromLatin1(text).split(u' ', Qt::SkipEmptyParts); };
        QTest::newRow("first fill") << l("") << l("a b c") << 3 << 0 << 0 << 1 << 0;
        QTest::newRow("same list") << l("a b c") << l("a b c") << 0 << 0 << 0 << 0 << 0;
        QTest::newRow("prepend") << l("a b c") << l("z a b c") << 1 << 0 << 0 << 1 << 0;
        QTest::newRow("insert a run in the middle") << l("a b c") << l("a x y b c") << 2 << 0 << 0 << 1 << 0;
        QTest::newRow("remove a run") << l("a b c d e") << l("a e") << 0 << 3 << 0 << 0 << 1;
        QTest::newRow("remove two runs") << l("a b c d e") << l("b d") << 0 << 3 << 0 << 0 << 3;
        QTest::newRow("empty out") << l("a b c") << l("") << 0 << 3 << 0 << 0 << 1;
        QTest::newRow("last to front") << l("a b c d") << l("d a b c") << 0 << 0 << 1 << 0 << 0;
        QTest::newRow("replace all") << l("a b") << l("c d") << 2 << 2 << 0 << 1 << 1;
        QTest::newRow("mixed") << l("a b c d") << l("e c a f") << 2 << 2 << 1 << 2 << 2;
        QTest::newRow("duplicate ids") << l("a a b") << l("a b a a") << 1 << 0 << 1 << 1 << 0;
        QTest::newRow("duplicates shrink") << l("a a a b") << l("b a") << 0 << 2 << 1 << 0 << 1;
    }
    void minimalChanges()
    {
        QFETCH(QStringList, before);
        QFETCH(QStringList, after);
        QFETCH(int, inserted);
        QFETCH(int, removed);
        QFETCH(int, moves);
        QFETCH(int, insertSignals);
        QFETCH(int, removeSignals);
        Model model;
        model.setActions(actionsWithIds(before));
        ChangeLog log(model);
        model.setActions(actionsWithIds(after));
        QCOMPARE(modelIds(model), after);
        QCOMPARE(ChangeLog::spanned(log.inserted), inserted);
        QCOMPARE(ChangeLog::spanned(log.removed), removed);
        QCOMPARE(log.moved.count(), moves);
        QCOMPARE(log.inserted.count(), insertSignals);
        QCOMPARE(log.removed.count(), removeSignals);
        QCOMPARE(log.reset.count() + log.layout.count(), 0);
        QCOMPARE(log.changed.count(), 0); // the actions themselves did not change
        QCOMPARE(log.count.count(), before.size() == after.size() ? 0 : 1);
    }

    // Random lists with reorders, duplicates, insertions and removals: the
    // rows always equal the list and the model stays consistent.
    void randomPollsKeepOrderAndConsistency()
    {
        Model model;
        QRandomGenerator random(20250131);
        for (int round = 0; round < 300; ++round) {
            QStringList ids;
            QList<PendingAction> actions;
            for (int i = int(random.bounded(12)); i > 0; --i) {
                actions << make(ids.emplace_back(u"id-%1"_qs.arg(random.bounded(9))));
                if (random.bounded(4) == 0)
                    actions.last().classification = u"network"_qs;
            }
            ChangeLog log(model);
            model.setActions(actions);
            QCOMPARE(modelIds(model), ids);
            QCOMPARE(log.reset.count(), 0);
            for (int row = 0; row < model.rowCount(); ++row)
                QCOMPARE(role(model, row, PendingActionsModel::ClassificationRole).toString(),
                    *actions.at(row).classification);
        }
    }

    // The countdowns follow the clock; an unreadable expiry counts as expired,
    // and what is missing shows nothing.
    void countdownsAndMissingValues()
    {
        Model model;
        QDateTime now = fixedNow();
        model.setClock([&now] { return now; });
        QList<PendingAction> actions = actionsWithIds({ u"a"_qs, u"b"_qs });
        actions[0].expiresAt = expiresIn(65.9);
        actions[1].expiresAt = expiresIn(2);
        PendingAction unreadable = make(u"bad"_qs, u"mcp__plugin_acme_linear__list-issues"_qs);
        unreadable.expiresAt = u"soon"_qs;
        unreadable.agentMachine.reset();
        model.setActions(actions << unreadable);
        QCOMPARE(role(model, 2, PendingActionsModel::DisplayNameRole).toString(), u"Linear: List Issues"_qs);
        QCOMPARE(role(model, 2, PendingActionsModel::RemainingTextRole).toString(), u"Expired"_qs);
        QCOMPARE(role(model, 2, PendingActionsModel::RemainingSecondsRole).toDouble(), 0.0);
        QVERIFY(!role(model, 2, PendingActionsModel::HasAgentMachineRole).toBool());

        ChangeLog log(model);
        now = now.addSecs(5);
        model.refreshCountdowns();
        QCOMPARE(log.changed.count(), 1);
        const QList<QVariant> call = log.changed.at(0);
        QCOMPARE(call.at(0).value<QModelIndex>().row(), 0);
        QCOMPARE(call.at(1).value<QModelIndex>().row(), 2);
        QCOMPARE(call.at(2).value<QList<int>>(), PendingActionsModel::countdownRoles());
        QCOMPARE(role(model, 0, PendingActionsModel::RemainingTextRole).toString(), u"1:00 remaining"_qs);
        QVERIFY(role(model, 1, PendingActionsModel::IsExpiredRole).toBool());
    }

    // The view's state of each action outlives polls; a poll announces only
    // the rows whose action changed.
    void perActionStateAndChangedRows()
    {
        Model model;
        QList<PendingAction> actions = actionsWithIds({ u"a"_qs, u"b"_qs, u"c"_qs });
        model.setActions(actions);
        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
        model.setResponding(u"b"_qs, true);
        QCOMPARE(changed.count(), 1);
        QCOMPARE(changed.at(0).at(0).value<QModelIndex>().row(), 1);
        QVERIFY(role(model, 1, PendingActionsModel::IsRespondingRole).toBool());
        QVERIFY(!role(model, 0, PendingActionsModel::IsRespondingRole).toBool());
        model.setResponding(u"b"_qs, true); // no change, no signal
        QCOMPARE(changed.count(), 1);
        model.setShowExplanation(u"a"_qs, true);
        QCOMPARE(role(model, 0, PendingActionsModel::ExplanationModeRole).toString(), u"generating"_qs);
        model.setShowExplanation(u"nope"_qs, true); // not listed: ignored
        QVERIFY(!model.showExplanation(u"nope"_qs));

        // A poll that brings the explanation: its row only, both states kept,
        // one line per line of text that is not blank, Markdown's backticks gone.
        ChangeLog log(model);
        actions[0].explanation = u"One\n\n  \n  Two\r\nThree\rFour `rm -rf build`\n```\n"_qs;
        model.setActions(actions);
        QCOMPARE(log.changed.count(), 1);
        QCOMPARE(log.changed.at(0).at(0).value<QModelIndex>().row(), 0);
        QCOMPARE(log.changed.at(0).at(1).value<QModelIndex>().row(), 0);
        QCOMPARE(log.inserted.count() + log.removed.count() + log.moved.count() + log.reset.count(), 0);
        QCOMPARE(role(model, 0, PendingActionsModel::ExplanationModeRole).toString(), u"lines"_qs);
        QCOMPARE(role(model, 0, PendingActionsModel::ExplanationLinesRole).toStringList(),
            (QStringList { u"One"_qs, u"  Two"_qs, u"Three"_qs, u"Four rm -rf build"_qs }));
        QVERIFY(!role(model, 0, PendingActionsModel::ExplanationRole).toString().contains(u'`'));
        QVERIFY(role(model, 1, PendingActionsModel::IsRespondingRole).toBool());

        // Leaving the list forgets the explanation choice; coming back starts afresh.
        model.setActions({ actions[1] });
        model.setActions(actions);
        QCOMPARE(role(model, 0, PendingActionsModel::ExplanationModeRole).toString(), u"button"_qs);
    }

    // "Explain this request" neither spins for ever nor is offered when no
    // explanation can come.
    void explanationWaitHasADeadline()
    {
        QDateTime now = fixedNow();
        Model model;
        model.setClock([&now] { return now; });
        QList<PendingAction> actions = actionsWithIds({ u"a"_qs, u"b"_qs });
        actions[1].explanation = u"Removes the build folder."_qs;
        model.setActions(actions);
        const auto mode = [&model](int row) {
            return role(model, row, PendingActionsModel::ExplanationModeRole).toString();
        };

        model.setShowExplanation(u"a"_qs, true);
        now = now.addSecs(PendingActionsModel::explanationDeadlineSeconds - 1);
        model.refreshCountdowns();
        QCOMPARE(mode(0), u"generating"_qs);
        now = now.addSecs(1);
        model.refreshCountdowns();
        QCOMPARE(mode(0), u"unavailable"_qs);

        // Without a source of explanations only an action carrying one offers it.
        model.setShowExplanation(u"a"_qs, false);
        model.setExplanationsExpected(false);
        QCOMPARE(mode(0), u"none"_qs);
        QCOMPARE(mode(1), u"button"_qs);
        model.setShowExplanation(u"b"_qs, true);
        QCOMPARE(mode(1), u"lines"_qs);
    }

    void tabsAndContent()
    {
        PanelFixture f;
        ApprovalsPanel& panel = *f.panel;
        QCOMPARE(panel.content(), u"empty"_qs);
        panel.setShown(true);
        QVERIFY(!panel.isTickerRunning()); // nothing to count down
        QVERIFY(f.addIds({ u"a1"_qs, u"a2"_qs, u"a3"_qs }));
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
        QCOMPARE(panel.detail()->shown()->id(), u"a2"_qs);
        panel.setSelectedTab(u"pause"_qs);
        QCOMPARE(panel.selectedActionId(), QString());
        QVERIFY(!panel.detail()->action());
        panel.setSelectedTab(u"actions"_qs);

        // Unknown ids open nothing; back returns to the list.
        panel.showDetail(u"nope"_qs);
        QCOMPARE(panel.content(), u"list"_qs);
        panel.showDetail(u"a3"_qs);
        panel.back();
        QCOMPARE(panel.content(), u"list"_qs);

        // The pause tab offers a scheduled window from now. Two days later the
        // untouched defaults lie in the past; showing the tab offers a window
        // from the new now again, and so does opening again a day later.
        TrustWindowState& trust = *f.trust;
        trust.setMode(TrustWindowState::Mode::Scheduled);
        QCOMPARE(trust.scheduledStart(), f.now.addSecs(3600));
        f.now = f.now.addDays(2);
        QCOMPARE(trust.scheduleProblem(), std::optional<QString>(u"The end must be in the future"_qs));
        panel.setShown(true);
        panel.setSelectedTab(u"pause"_qs);
        QCOMPARE(trust.scheduledStart(), f.now.addSecs(3600));
        QCOMPARE(trust.scheduledEnd(), f.now.addSecs(32400));
        panel.setShown(false);
        f.now = f.now.addDays(1);
        panel.setShown(true);
        QCOMPARE(trust.scheduledStart(), f.now.addSecs(3600));

        // While the tab stays in view the person's choice is kept.
        trust.setScheduledStart(f.now.addSecs(7200));
        panel.setShown(true);
        QCOMPARE(trust.scheduledStart(), f.now.addSecs(7200));

        // Without actions the ticker stops.
        QVERIFY(panel.isTickerRunning());
        QVERIFY(f.backend.reset());
        QVERIFY(f.fetch(0));
        QVERIFY(!panel.isTickerRunning());
    }

    void rowDecisions()
    {
        PanelFixture f;
        ApprovalsPanel& panel = *f.panel;
        QVERIFY(f.addIds({ u"c1"_qs, u"c2"_qs }));

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
        ApprovalsPanel& panel = *f.panel;
        QVERIFY(f.addAll({ f.action(u"e1"_qs, u"Bash"_qs, 65.9), f.action(u"e2"_qs) }));
        panel.showDetail(u"e1"_qs);
        QCOMPARE(panel.detail()->countdown()->text(), u"1:05 remaining"_qs);

        // Refused: the page stays open with its choices, buttons enabled again.
        panel.detail()->rule()->turn(true);
        QVERIFY(f.backend.inject("POST", u"/approvals/e1/respond"_qs, 503));
        QVERIFY(!QCoro::waitFor(panel.decide(u"e1"_qs, u"approved"_qs, true)));
        QCOMPARE(panel.selectedActionId(), u"e1"_qs);
        QVERIFY(!panel.detail()->isResponding());
        QVERIFY(panel.detail()->rule()->isOn());

        // The panel's ticker moves the countdown; once expired the page
        // refuses decisions (the row still may).
        panel.setTickInterval(20);
        panel.setShown(true);
        f.now = f.now.addSecs(66);
        QTRY_COMPARE(panel.detail()->countdown()->text(), u"Expired"_qs);
        QVERIFY(!panel.detail()->countdown()->showsButtons());
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
