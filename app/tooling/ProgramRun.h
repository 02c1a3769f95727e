#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <chrono>
#include <qcorotask.h>

// One short run of a helper program (systemctl, dpkg, the runtime's "list")
// to its end, terminated once its deadline passes; standard error discarded.
namespace ProgramRun {

struct Result
{
    int status = -1; // the exit status; -1 when it could not start, was killed or ran out of time
    QByteArray output; // standard output, when captured
};

inline constexpr qint64 defaultOutputLimit = 1024 * 1024;

// captureOutput: keep standard output (at most defaultOutputLimit bytes; more
// ends the run as failed).
QCoro::Task<Result> run(
    QString program, QStringList arguments, std::chrono::milliseconds deadline, bool captureOutput = false);

} // namespace ProgramRun
