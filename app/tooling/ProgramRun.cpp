#include "app/tooling/ProgramRun.h"

#include "app/tooling/CLIProcess.h"

#include <QTimer>
#include <memory>
#include <qcorosignal.h>

namespace ProgramRun {

QCoro::Task<Result> run(
    QString program, QStringList arguments, std::chrono::milliseconds deadline, bool captureOutput)
{
    const auto process = std::make_unique<CLIProcess>(program, arguments,
        captureOutput ? CLIProcess::OutputMode::capture : CLIProcess::OutputMode::discard);
    process->setCaptureLimit(defaultOutputLimit);
    QTimer timer;
    timer.setSingleShot(true);
    bool timedOut = false;
    QObject::connect(&timer, &QTimer::timeout, process.get(), [&timedOut, child = process.get()] {
        timedOut = true;
        child->terminate();
    });
    timer.start(deadline);
    process->launch();
    while (!process->isFinished())
        co_await qCoro(process.get(), &CLIProcess::stateChanged);
    timer.stop();
    if (process->launchFailed() || timedOut || process->captureOverflowed())
        co_return Result {};
    co_return Result { process->exitStatus(), process->takeCapturedOutput() };
}

} // namespace ProgramRun
