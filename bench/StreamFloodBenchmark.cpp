// A stream flood against the reference back-end: 20,000 "action_pending"
// frames for one pending action. Prints how many signed fetches of the pending
// list they caused and the program's peak resident memory.
#include "core/ApprovalSyncService.h"
#include "bench/CoroutineMain.h"
#include "tests/support/BackendMachine.h"
#include "core/MachineAuthService.h"
#include "tests/support/PendingActionJson.h"
#include "tests/support/ProcessMemory.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonObject>
#include <QTimer>

#include <QCoroSignal>
#include <QCoroTask>
#include <QCoroTimer>

#include <cstdio>

namespace {

constexpr int frames = 20000;

QCoro::Task<int> run()
{
    BackendMachine machine;
    if (!machine.machine) {
        std::fprintf(stderr, "no back-end or no registered machine: %s\n", qPrintable(machine.backend.lastError()));
        co_return 1;
    }
    BackendProcess& backend = machine.backend;
    MachineAuthService auth(machine.store);
    ApprovalSyncService sync(auth);
    sync.setPollInterval(60 * 60 * 1000);
    backend.addAction(pendingActionJson(QStringLiteral("flood")));
    sync.start();
    while (!sync.subscriber().isConnected())
        co_await qCoro(&sync.subscriber(), &WebSocketSubscriber::isConnectedChanged, std::chrono::seconds(5));
    QTimer settle;
    settle.start(300);
    co_await settle;
    backend.clearRequests();
    const qint64 before = ProcessMemory::peakResidentKiB();

    QElapsedTimer clock;
    clock.start();
    backend.sendFrame("{\"type\":\"action_pending\",\"actionId\":\"flood\"}", {}, frames);
    // A last frame tells when the whole flood has been read.
    backend.sendFrame("{\"type\":\"trust_window_changed\",\"active\":false}");
    const auto done = co_await qCoro(&sync, &ApprovalSyncService::trustWindowChanged, std::chrono::seconds(120));
    if (!done) {
        std::fprintf(stderr, "the flood was not read within two minutes\n");
        co_return 1;
    }
    const double readMs = double(clock.nsecsElapsed()) / 1e6;
    settle.start(500);
    co_await settle;
    std::printf("stream flood of %d frames: %d fetches of the pending list, read in %.0f ms, "
                "peak resident %.1f MB (%.1f MB before the flood)\n",
                frames, machine.requestCount(QStringLiteral("GET"), QStringLiteral("/actions/pending")), readMs, double(ProcessMemory::peakResidentKiB()) / 1024.0,
                double(before) / 1024.0);
    co_return 0;
}

} // namespace

int main(int argc, char** argv)
{
    return runCoroutineMain(argc, argv, run);
}
