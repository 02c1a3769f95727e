// Escalation latency on loopback: from the back-end announcing a new action on
// the event stream to the new-escalation signal of the approval sync service
// (stream frame, signed fetch, decode, apply). Prints the median and the 99th
// percentile over 200 escalations against the reference back-end.
#include "core/ApprovalSyncService.h"
#include "bench/CoroutineMain.h"
#include "tests/support/BackendProcess.h"
#include "platform/FileCredentialStore.h"
#include "core/MachineAuthService.h"
#include "tests/support/TestHome.h"
#include "tests/support/TestMachine.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonObject>
#include <QTimer>

#include <QCoroSignal>
#include <QCoroTask>
#include <QCoroTimer>

#include <algorithm>
#include <cstdio>

namespace {

constexpr int escalations = 200;

double percentile(std::vector<double> values, double p)
{
    std::sort(values.begin(), values.end());
    const size_t index = std::min(values.size() - 1, size_t(p * double(values.size() - 1) + 0.5));
    return values[index];
}

QCoro::Task<int> run()
{
    TestHome home;
    BackendProcess backend;
    if (!backend.isRunning()) {
        std::fprintf(stderr, "back-end: %s\n", qPrintable(backend.lastError()));
        co_return 1;
    }
    qputenv("QUORVANE_API_BASE_URL", backend.url().toString().toUtf8());
    FileCredentialStore store;
    if (!TestMachine::provision(backend, store)) {
        std::fprintf(stderr, "could not register a machine\n");
        co_return 1;
    }
    MachineAuthService auth(store);
    auth.reload();
    ApprovalSyncService sync(auth);
    sync.setPollInterval(60 * 60 * 1000);
    sync.start();
    while (!sync.subscriber().isConnected())
        co_await qCoro(&sync.subscriber(), &WebSocketSubscriber::isConnectedChanged, std::chrono::seconds(5));
    QTimer settle;
    settle.start(200);
    co_await settle;

    std::vector<double> latencies;
    latencies.reserve(escalations);
    for (int i = 0; i < escalations; ++i) {
        QElapsedTimer clock;
        clock.start();
        backend.addAction(QJsonObject{{QStringLiteral("id"), QStringLiteral("bench-%1").arg(i)},
                                      {QStringLiteral("agent_id"), QStringLiteral("agent-1")},
                                      {QStringLiteral("agent_name"), QStringLiteral("bench")},
                                      {QStringLiteral("tool_name"), QStringLiteral("Bash")}});
        const auto arrived = co_await qCoro(&sync, &ApprovalSyncService::newEscalationArrived, std::chrono::seconds(5));
        if (!arrived) {
            std::fprintf(stderr, "escalation %d never arrived\n", i);
            co_return 1;
        }
        latencies.push_back(double(clock.nsecsElapsed()) / 1e6);
        // Keep the list short so that each round measures the same work.
        co_await sync.respondToAction(QStringLiteral("bench-%1").arg(i), QStringLiteral("denied"), std::nullopt);
    }
    std::printf("escalation latency over %d escalations: p50 %.2f ms, p99 %.2f ms, max %.2f ms\n", escalations,
                percentile(latencies, 0.5), percentile(latencies, 0.99), percentile(latencies, 1.0));
    co_return 0;
}

} // namespace

int main(int argc, char** argv)
{
    return runCoroutineMain(argc, argv, run);
}
