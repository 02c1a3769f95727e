// Decoding of a realistic GET /actions/pending body with 1,000 actions, and the
// derived values the approvals panel reads for each. Run from build/bin; the
// median of the repetitions is the figure to quote.
#include "core/PendingActionsResponse.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <benchmark/benchmark.h>

namespace {

QString s(const char* text)
{
    return QString::fromUtf8(text);
}

QJsonObject toolInputFor(int i)
{
    const QString n = QString::number(i);
    switch (i % 4) {
    case 0: // a shell command with its classified segments
        return {
            { s("command"), QString(s("cd /home/dev/project-") + n + s(" && npm ci && npm run build -- --prod && rm -rf dist/tmp")) },
            { s("description"), s("Install dependencies, build for production and clean temporary output") },
            { s("detail_segments"),
                s(R"([{"segment":"cd /home/dev/project","base_cmd":"cd","risk":"read"},)"
                  R"({"segment":"npm ci","base_cmd":"npm","risk":"write"},)"
                  R"({"segment":"npm run build -- --prod","base_cmd":"npm","risk":"write"},)"
                  R"({"segment":"rm -rf dist/tmp","base_cmd":"rm","risk":"destructive"}])") },
            { s("short_summary"), QString(s("Build and clean project ") + n) },
        };
    case 1: // a file edit with sizeable old and new text
        return {
            { s("file_path"), QString(s("/home/dev/project/src/module") + n + s(".ts")) },
            { s("old_string"), QString(600, u'x') },
            { s("new_string"), QString(700, u'y') },
            { s("summary"), QString(s("Edit module ") + n) },
        };
    case 2: // an MCP tool
        return {
            { s("owner"), s("quorvane") },
            { s("repo"), s("companion") },
            { s("title"), QString(s("Issue number ") + n) },
            { s("body"), QString(300, u'b') },
        };
    default: // a web fetch
        return {
            { s("url"), QString(s("https://example.com/api/v1/items/") + n) },
            { s("prompt"), s("Summarise the page") },
        };
    }
}

QByteArray realisticBody(int count)
{
    QJsonArray actions;
    for (int i = 0; i < count; ++i) {
        QJsonObject action {
            { s("id"), QString(s("8c0f7a52-3b1e-4d2a-9f61-") + QString::number(100000000000 + i)) },
            { s("agent_id"), QString(s("agent-") + QString::number(i % 7)) },
            { s("agent_name"), QString(s("Coding assistant ") + QString::number(i % 7)) },
            { s("tool_name"),
                i % 4 == 2 ? s("mcp__plugin_acme_github__create_issue") : (i % 4 == 1 ? s("Edit") : s("Bash")) },
            { s("tool_input"), toolInputFor(i) },
            { s("classification"), i % 3 == 0 ? s("destructive") : s("network") },
            { s("machine_agent_count"), i % 3 },
            { s("created_at"), s("2025-01-31T11:55:00.123Z") },
            { s("expires_at"), s("2025-01-31T12:00:00.123Z") },
        };
        if (i % 2 == 0) {
            action.insert(s("agent_machine"), s("workstation"));
            action.insert(s("tool_input_summary"), s("A one-line summary of the action"));
        }
        if (i % 5 == 0)
            action.insert(s("explanation"), s("This command deletes files in the build output.\nIt cannot be undone."));
        actions.append(action);
    }
    return QJsonDocument(QJsonObject { { s("actions"), actions } }).toJson(QJsonDocument::Compact);
}

void decodePendingList(benchmark::State& state)
{
    const QByteArray body = realisticBody(int(state.range(0)));
    for (auto _ : state) {
        std::optional<PendingActionsResponse> response = PendingActionsResponse::fromJson(body);
        if (!response || response->actions.size() != state.range(0))
            state.SkipWithError("decoding failed");
        benchmark::DoNotOptimize(response);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * body.size());
    state.counters["body_bytes"] = double(body.size());
}

// The JSON parse alone, to tell the parser's share from the decoder's.
void parseJsonOnly(benchmark::State& state)
{
    const QByteArray body = realisticBody(int(state.range(0)));
    for (auto _ : state) {
        QJsonDocument document = QJsonDocument::fromJson(body);
        benchmark::DoNotOptimize(document);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * body.size());
}

void derivedValues(benchmark::State& state)
{
    const std::optional<PendingActionsResponse> response
        = PendingActionsResponse::fromJson(realisticBody(int(state.range(0))));
    const QDateTime now = QDateTime::fromMSecsSinceEpoch(1738324500000, Qt::UTC);
    for (auto _ : state) {
        qsizetype total = 0;
        for (const PendingAction& action : response->actions) {
            total += action.displayName().size() + action.displaySummary().size();
            total += action.mcpServiceName().value_or(QString()).size();
            total += action.detailSegments().value_or(QList<CommandSegment>()).size();
            total += action.timeRemaining(now).value_or(0) > 0;
            total += action.canCreateRule();
        }
        benchmark::DoNotOptimize(total);
    }
}

} // namespace

BENCHMARK(decodePendingList)->Arg(1000)->Unit(benchmark::kMillisecond)->Repetitions(15)->ReportAggregatesOnly(true);
BENCHMARK(parseJsonOnly)->Arg(1000)->Unit(benchmark::kMillisecond)->Repetitions(15)->ReportAggregatesOnly(true);
BENCHMARK(derivedValues)->Arg(1000)->Unit(benchmark::kMillisecond)->Repetitions(15)->ReportAggregatesOnly(true);
BENCHMARK_MAIN();
