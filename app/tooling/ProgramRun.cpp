#include "app/tooling/ProgramRun.h"

#include "app/tooling/CLIProcess.h"

#include <memory>

namespace ProgramRun {

QCoro::Task<Result> run(
    QString program, QStringList arguments, std::chrono::milliseconds deadline, bool captureOutput)
{
    const auto process = std::make_unique<CLIProcess>(program, arguments,
        captureOutput ? CLIProcess::OutputMode::capture : CLIProcess::OutputMode::discard,
        CLIRunLimits { deadline, captureOutput ? defaultOutputLimit : 0 });
    process->launch();
    co_await ended(process.get());
    if (process->launchFailed() || process->timedOut() || process->outputTooLarge())
        co_return Result {};
    co_return Result { process->exitStatus(), process->takeCapturedOutput() };
}

} // namespace ProgramRun
