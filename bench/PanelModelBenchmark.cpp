// The approvals panel's list model with 1,000 pending actions: building it from
// the first list, applying a poll that changes one action, a poll that adds
// one at the top, a poll that brings nothing new, and the 1-second countdown
// refresh with every row's countdown text read back. Run from build/bin; the
// median of the repetitions is the figure to quote.
#include "app/panel/PendingActionsModel.h"

#include <QDateTime>

#include <benchmark/benchmark.h>

namespace {

constexpr int actionCount = 1000;

QList<PendingAction> makeActions(int count)
{
    const QDateTime now = QDateTime::currentDateTimeUtc();
    QList<PendingAction> actions;
    actions.reserve(count);
    for (int i = 0; i < count; ++i) {
        PendingAction action;
        const QString n = QString::number(i);
        action.id = QStringLiteral("act-") + n;
        action.agentId = QStringLiteral("agent-") + QString::number(i % 7);
        action.agentName = QStringLiteral("claude-code · project-") + QString::number(i % 7);
        action.agentMachine = QStringLiteral("dev-laptop");
        action.machineAgentCount = 1 + i % 3;
        action.createdAt = now.toString(Qt::ISODateWithMs);
        action.expiresAt = now.addSecs(300 + i).toString(Qt::ISODateWithMs);
        switch (i % 3) {
        case 0:
            action.toolName = QStringLiteral("Bash");
            action.classification = QStringLiteral("destructive");
            action.toolInput = {{QStringLiteral("command"), QStringLiteral("rm -rf /home/dev/project-") + n + QStringLiteral("/dist")},
                                {QStringLiteral("detail_segments"),
                                 QStringLiteral("[{\"segment\":\"rm -rf dist\",\"base_cmd\":\"rm\",\"risk\":\"destructive\"}]")}};
            break;
        case 1:
            action.toolName = QStringLiteral("mcp__claude_ai_Gmail__search_threads");
            action.toolInput = {{QStringLiteral("query"), QStringLiteral("invoice ") + n}};
            action.explanation = QStringLiteral("Reads mail threads.\nNothing is sent.");
            break;
        default:
            action.toolName = QStringLiteral("Edit");
            action.classification = QStringLiteral("write");
            action.toolInput = {{QStringLiteral("file_path"), QStringLiteral("/home/dev/project/src/module") + n + QStringLiteral(".ts")},
                                {QStringLiteral("summary"), QStringLiteral("Edit module ") + n}};
            break;
        }
        actions.append(action);
    }
    return actions;
}

void BM_BuildModel(benchmark::State& state)
{
    const QList<PendingAction> actions = makeActions(actionCount);
    for (auto _ : state) {
        PendingActionsModel model;
        model.setActions(actions);
        benchmark::DoNotOptimize(model.count());
    }
}
BENCHMARK(BM_BuildModel)->Unit(benchmark::kMillisecond);

void BM_PollChangesOneAction(benchmark::State& state)
{
    QList<PendingAction> actions = makeActions(actionCount);
    PendingActionsModel model;
    model.setActions(actions);
    int round = 0;
    for (auto _ : state) {
        actions[500].explanation = QStringLiteral("Explanation ") + QString::number(++round);
        model.setActions(actions);
    }
}
BENCHMARK(BM_PollChangesOneAction)->Unit(benchmark::kMicrosecond);

void BM_PollAddsOneAtTheTop(benchmark::State& state)
{
    const QList<PendingAction> actions = makeActions(actionCount);
    QList<PendingAction> withNew = actions;
    PendingAction fresh = actions.first();
    fresh.id = QStringLiteral("new");
    withNew.prepend(fresh);
    PendingActionsModel model;
    model.setActions(actions);
    bool added = false;
    for (auto _ : state) {
        added = !added;
        model.setActions(added ? withNew : actions);
    }
}
BENCHMARK(BM_PollAddsOneAtTheTop)->Unit(benchmark::kMicrosecond);

void BM_PollWithoutChange(benchmark::State& state)
{
    const QList<PendingAction> actions = makeActions(actionCount);
    PendingActionsModel model;
    model.setActions(actions);
    for (auto _ : state)
        model.setActions(actions);
}
BENCHMARK(BM_PollWithoutChange)->Unit(benchmark::kMicrosecond);

void BM_CountdownTick(benchmark::State& state)
{
    PendingActionsModel model;
    model.setActions(makeActions(actionCount));
    for (auto _ : state) {
        model.refreshCountdowns();
        for (int row = 0; row < model.rowCount(); ++row)
            benchmark::DoNotOptimize(model.data(model.index(row), PendingActionsModel::RemainingTextRole));
    }
}
BENCHMARK(BM_CountdownTick)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
