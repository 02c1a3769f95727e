#include "tests/app/panel/PanelTestActions.h"
#include "app/panel/PendingActionsModel.h"

#include <QAbstractItemModelTester>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTest>

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
        ids << model.data(model.index(row), PendingActionsModel::IdRole).toString();
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

    int rowsInserted() const { return spanned(inserted); }
    int rowsRemoved() const { return spanned(removed); }
    static int spanned(const QSignalSpy& spy)
    {
        int rows = 0;
        for (const QList<QVariant>& call : spy)
            rows += call.at(2).toInt() - call.at(1).toInt() + 1;
        return rows;
    }
};

} // namespace

class TestPendingActionsModel : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void rolesOfARow_data()
    {
        QTest::addColumn<QString>("toolName");
        QTest::addColumn<QString>("displayName");
        QTest::addColumn<bool>("hasBadge");
        QTest::addColumn<QString>("badgeText");
        QTest::addColumn<QString>("badgeColor");
        QTest::addColumn<bool>("unregister");
        QTest::addColumn<bool>("canCreateRule");
        QTest::addColumn<QString>("approve");
        QTest::addColumn<QString>("deny");
        QTest::addColumn<QString>("explanationMode");
        QTest::newRow("shell command") << QStringLiteral("Bash") << QStringLiteral("rm -rf build") << true
                                       << QStringLiteral("Destructive") << QStringLiteral("red") << false << true
                                       << QStringLiteral("Approve") << QStringLiteral("Deny")
                                       << QStringLiteral("button");
        QTest::newRow("mcp tool") << QStringLiteral("mcp__plugin_acme_linear__list-issues")
                                  << QStringLiteral("Linear: List Issues") << true << QStringLiteral("Linear")
                                  << QStringLiteral("teal") << false << true << QStringLiteral("Approve")
                                  << QStringLiteral("Deny") << QStringLiteral("button");
        QTest::newRow("unregister") << QStringLiteral("quorvane:unregister") << QStringLiteral("rm -rf build")
                                    << true << QStringLiteral("Destructive") << QStringLiteral("red") << true
                                    << false << QStringLiteral("Remove") << QStringLiteral("Keep Agent")
                                    << QStringLiteral("none");
        QTest::newRow("link") << QStringLiteral("quorvane:link") << QStringLiteral("rm -rf build") << true
                              << QStringLiteral("Destructive") << QStringLiteral("red") << false << false
                              << QStringLiteral("Approve") << QStringLiteral("Deny") << QStringLiteral("button");
    }
    void rolesOfARow()
    {
        QFETCH(QString, toolName);
        QFETCH(QString, displayName);
        QFETCH(bool, hasBadge);
        QFETCH(QString, badgeText);
        QFETCH(QString, badgeColor);
        QFETCH(bool, unregister);
        QFETCH(bool, canCreateRule);
        QFETCH(QString, approve);
        QFETCH(QString, deny);
        QFETCH(QString, explanationMode);

        PendingActionsModel model;
        model.setClock(fixedNow);
        PendingAction action = make(QStringLiteral("act-1"), toolName);
        action.expiresAt = expiresIn(65.9);
        model.setActions({action});
        QCOMPARE(model.count(), 1);
        QCOMPARE(role(model, 0, PendingActionsModel::IdRole).toString(), QStringLiteral("act-1"));
        QCOMPARE(role(model, 0, PendingActionsModel::DisplayNameRole).toString(), displayName);
        QCOMPARE(role(model, 0, PendingActionsModel::DisplaySummaryRole).toString(), QStringLiteral("rm -rf build"));
        QCOMPARE(role(model, 0, PendingActionsModel::HasBadgeRole).toBool(), hasBadge);
        QCOMPARE(role(model, 0, PendingActionsModel::BadgeTextRole).toString(), badgeText);
        QCOMPARE(role(model, 0, PendingActionsModel::BadgeColorNameRole).toString(), badgeColor);
        QCOMPARE(role(model, 0, PendingActionsModel::IsUnregisterRole).toBool(), unregister);
        QCOMPARE(role(model, 0, PendingActionsModel::CanCreateRuleRole).toBool(), canCreateRule);
        QCOMPARE(role(model, 0, PendingActionsModel::ApproveLabelRole).toString(), approve);
        QCOMPARE(role(model, 0, PendingActionsModel::DenyLabelRole).toString(), deny);
        QCOMPARE(role(model, 0, PendingActionsModel::ExplanationModeRole).toString(), explanationMode);
        QCOMPARE(role(model, 0, PendingActionsModel::AgentNameRole).toString(), QStringLiteral("claude-work"));
        QCOMPARE(role(model, 0, PendingActionsModel::AgentMachineRole).toString(), QStringLiteral("workstation"));
        QCOMPARE(role(model, 0, PendingActionsModel::HasAgentMachineRole).toBool(), true);
        QCOMPARE(role(model, 0, PendingActionsModel::RemainingTextRole).toString(), QStringLiteral("1:05 remaining"));
        QCOMPARE(role(model, 0, PendingActionsModel::RemainingColorNameRole).toString(),
                 unregister ? QStringLiteral("amber") : QStringLiteral("teal"));
        QCOMPARE(role(model, 0, PendingActionsModel::IsExpiredRole).toBool(), false);
        QCOMPARE(role(model, 0, PendingActionsModel::IsRespondingRole).toBool(), false);
        QVERIFY(!role(model, 0, PendingActionsModel::HasExplanationRole).toBool());
        // Every role has a name for the views, and an index out of range gives nothing.
        QCOMPARE(model.roleNames().size(), int(PendingActionsModel::DecisionFailedRole - PendingActionsModel::IdRole) + 1);
        QVERIFY(!model.data(model.index(0).siblingAtRow(5), PendingActionsModel::IdRole).isValid());
    }

    void expiredAndMissingValues()
    {
        PendingActionsModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        model.setClock(fixedNow);
        PendingAction expired = make(QStringLiteral("old"));
        expired.expiresAt = expiresIn(-1);
        PendingAction unreadable = make(QStringLiteral("bad"));
        unreadable.expiresAt = QStringLiteral("soon");
        unreadable.agentMachine.reset();
        unreadable.classification.reset();
        model.setActions({expired, unreadable});
        for (int row = 0; row < 2; ++row) {
            QCOMPARE(role(model, row, PendingActionsModel::RemainingTextRole).toString(), QStringLiteral("Expired"));
            QCOMPARE(role(model, row, PendingActionsModel::RemainingColorNameRole).toString(), QStringLiteral("red"));
            QVERIFY(role(model, row, PendingActionsModel::IsExpiredRole).toBool());
        }
        QCOMPARE(role(model, 1, PendingActionsModel::RemainingSecondsRole).toDouble(), 0.0);
        QCOMPARE(role(model, 1, PendingActionsModel::HasAgentMachineRole).toBool(), false);
        QCOMPARE(role(model, 1, PendingActionsModel::HasBadgeRole).toBool(), false);
        QCOMPARE(role(model, 1, PendingActionsModel::BadgeTextRole).toString(), QString());
    }

    void minimalChanges_data()
    {
        QTest::addColumn<QStringList>("before");
        QTest::addColumn<QStringList>("after");
        QTest::addColumn<int>("inserted");
        QTest::addColumn<int>("removed");
        QTest::addColumn<int>("moves");
        QTest::addColumn<int>("insertSignals");
        QTest::addColumn<int>("removeSignals");
        const auto l = [](const char* text) {
            return QString::fromLatin1(text).split(QLatin1Char(' '), Qt::SkipEmptyParts);
        };
        QTest::newRow("first fill") << l("") << l("a b c") << 3 << 0 << 0 << 1 << 0;
        QTest::newRow("same list") << l("a b c") << l("a b c") << 0 << 0 << 0 << 0 << 0;
        QTest::newRow("append") << l("a b c") << l("a b c d") << 1 << 0 << 0 << 1 << 0;
        QTest::newRow("prepend") << l("a b c") << l("z a b c") << 1 << 0 << 0 << 1 << 0;
        QTest::newRow("insert a run in the middle") << l("a b c") << l("a x y b c") << 2 << 0 << 0 << 1 << 0;
        QTest::newRow("remove one") << l("a b c") << l("a c") << 0 << 1 << 0 << 0 << 1;
        QTest::newRow("remove a run") << l("a b c d e") << l("a e") << 0 << 3 << 0 << 0 << 1;
        QTest::newRow("remove two runs") << l("a b c d e") << l("b d") << 0 << 3 << 0 << 0 << 3;
        QTest::newRow("empty out") << l("a b c") << l("") << 0 << 3 << 0 << 0 << 1;
        QTest::newRow("swap") << l("a b") << l("b a") << 0 << 0 << 1 << 0 << 0;
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

        PendingActionsModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        model.setActions(actionsWithIds(before));
        QCOMPARE(modelIds(model), before);

        // A persistent index on a row that stays keeps pointing at it.
        QList<QPersistentModelIndex> persistent;
        for (int row = 0; row < model.rowCount(); ++row)
            persistent << QPersistentModelIndex(model.index(row));

        ChangeLog log(model);
        model.setActions(actionsWithIds(after));
        QCOMPARE(modelIds(model), after);
        QCOMPARE(model.count(), after.size());
        QCOMPARE(log.rowsInserted(), inserted);
        QCOMPARE(log.rowsRemoved(), removed);
        QCOMPARE(log.moved.count(), moves);
        QCOMPARE(log.inserted.count(), insertSignals);
        QCOMPARE(log.removed.count(), removeSignals);
        QCOMPARE(log.reset.count(), 0);
        QCOMPARE(log.layout.count(), 0);
        QCOMPARE(log.changed.count(), 0); // the actions themselves did not change
        QCOMPARE(log.count.count(), before.size() == after.size() ? 0 : 1);
        for (int i = 0; i < persistent.size(); ++i) {
            if (persistent.at(i).isValid())
                QVERIFY(after.contains(persistent.at(i).data(PendingActionsModel::IdRole).toString()));
        }
    }

    void changedActionAnnouncesItsRowOnly()
    {
        PendingActionsModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QList<PendingAction> actions = actionsWithIds({QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")});
        model.setActions(actions);
        ChangeLog log(model);
        actions[1].explanation = QStringLiteral("It deletes the build folder.\nNothing else.");
        model.setActions(actions);
        QCOMPARE(log.changed.count(), 1);
        QCOMPARE(log.changed.at(0).at(0).value<QModelIndex>().row(), 1);
        QCOMPARE(log.changed.at(0).at(1).value<QModelIndex>().row(), 1);
        QCOMPARE(log.inserted.count() + log.removed.count() + log.moved.count() + log.reset.count(), 0);
        QCOMPARE(role(model, 1, PendingActionsModel::ExplanationLinesRole).toStringList(),
                 (QStringList{QStringLiteral("It deletes the build folder."), QStringLiteral("Nothing else.")}));
        QVERIFY(role(model, 1, PendingActionsModel::HasExplanationRole).toBool());
    }

    void randomPollsKeepOrderAndConsistency()
    {
        // Random lists with reorders, duplicates, insertions and removals: the
        // rows always equal the list and the model stays consistent.
        PendingActionsModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QRandomGenerator random(20250131);
        for (int round = 0; round < 300; ++round) {
            QStringList ids;
            const int size = int(random.bounded(12));
            for (int i = 0; i < size; ++i)
                ids << QStringLiteral("id-%1").arg(random.bounded(9));
            QList<PendingAction> actions = actionsWithIds(ids);
            for (PendingAction& action : actions) {
                if (random.bounded(4) == 0)
                    action.classification = QStringLiteral("network");
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

    void countdownRefreshAnnouncesCountdownRolesOnly()
    {
        PendingActionsModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QDateTime now = fixedNow();
        model.setClock([&now] { return now; });
        QList<PendingAction> actions = actionsWithIds({QStringLiteral("a"), QStringLiteral("b")});
        actions[0].expiresAt = expiresIn(65.9);
        actions[1].expiresAt = expiresIn(2);
        model.setActions(actions);
        QCOMPARE(role(model, 1, PendingActionsModel::RemainingTextRole).toString(), QStringLiteral("0:02 remaining"));

        ChangeLog log(model);
        now = now.addSecs(5);
        model.refreshCountdowns();
        QCOMPARE(log.changed.count(), 1);
        const QList<QVariant> call = log.changed.at(0);
        QCOMPARE(call.at(0).value<QModelIndex>().row(), 0);
        QCOMPARE(call.at(1).value<QModelIndex>().row(), 1);
        QCOMPARE(call.at(2).value<QList<int>>(), PendingActionsModel::countdownRoles());
        QCOMPARE(role(model, 0, PendingActionsModel::RemainingTextRole).toString(), QStringLiteral("1:00 remaining"));
        QCOMPARE(role(model, 1, PendingActionsModel::RemainingTextRole).toString(), QStringLiteral("Expired"));
        QVERIFY(role(model, 1, PendingActionsModel::IsExpiredRole).toBool());

        PendingActionsModel empty;
        QSignalSpy emptyChanged(&empty, &QAbstractItemModel::dataChanged);
        empty.refreshCountdowns();
        QCOMPARE(emptyChanged.count(), 0);
    }

    void perActionViewState()
    {
        PendingActionsModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QList<PendingAction> actions = actionsWithIds({QStringLiteral("a"), QStringLiteral("b")});
        model.setActions(actions);
        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);

        model.setResponding(QStringLiteral("b"), true);
        QCOMPARE(changed.count(), 1);
        QCOMPARE(changed.at(0).at(0).value<QModelIndex>().row(), 1);
        QVERIFY(role(model, 1, PendingActionsModel::IsRespondingRole).toBool());
        QVERIFY(!role(model, 0, PendingActionsModel::IsRespondingRole).toBool());
        model.setResponding(QStringLiteral("b"), true); // no change, no signal
        QCOMPARE(changed.count(), 1);

        model.setShowExplanation(QStringLiteral("a"), true);
        QCOMPARE(role(model, 0, PendingActionsModel::ExplanationModeRole).toString(), QStringLiteral("generating"));
        QVERIFY(role(model, 0, PendingActionsModel::ShowExplanationRole).toBool());
        model.setShowExplanation(QStringLiteral("nope"), true); // not listed: ignored
        QVERIFY(!model.showExplanation(QStringLiteral("nope")));

        // A poll that brings the explanation keeps both states.
        actions[0].explanation = QStringLiteral("Because.");
        model.setActions(actions);
        QCOMPARE(role(model, 0, PendingActionsModel::ExplanationModeRole).toString(), QStringLiteral("lines"));
        QVERIFY(role(model, 1, PendingActionsModel::IsRespondingRole).toBool());

        // Leaving the list forgets the explanation choice; coming back starts afresh.
        model.setActions({actions[1]});
        model.setActions(actions);
        QCOMPARE(role(model, 0, PendingActionsModel::ExplanationModeRole).toString(), QStringLiteral("button"));
    }

    void lookup()
    {
        PendingActionsModel model;
        model.setActions(actionsWithIds({QStringLiteral("a"), QStringLiteral("b")}));
        QCOMPARE(model.indexOf(QStringLiteral("b")), 1);
        QCOMPARE(model.indexOf(QStringLiteral("zz")), -1);
        QVERIFY(model.action(QStringLiteral("a")));
        QCOMPARE(model.action(QStringLiteral("a"))->id, QStringLiteral("a"));
        QVERIFY(!model.action(QString()));
    }
};

QTEST_GUILESS_MAIN(TestPendingActionsModel)
#include "tst_PendingActionsModel.moc"
