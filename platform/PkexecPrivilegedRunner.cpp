#include "PkexecPrivilegedRunner.h"

#include <QProcess>

#include <qcorosignal.h>

#include <memory>

PkexecPrivilegedRunner::PkexecPrivilegedRunner(QObject* parent)
    : PkexecPrivilegedRunner(QString::fromLatin1(defaultPkexecPath), parent)
{
}

PkexecPrivilegedRunner::PkexecPrivilegedRunner(const QString& pkexecPath, QObject* parent)
    : PrivilegedRunner(parent), m_pkexecPath(pkexecPath)
{
}

QCoro::Task<PrivilegedRunner::Outcome> PkexecPrivilegedRunner::run(const QString& commandLine)
{
    // The process belongs to this coroutine, not to the runner: it must stay
    // alive for as long as the coroutine waits on it.
    auto process = std::make_unique<QProcess>();
    process->setProgram(m_pkexecPath);
    process->setArguments({QStringLiteral("/bin/sh"), QStringLiteral("-c"), commandLine});
    process->setStandardOutputFile(QProcess::nullDevice());

    Outcome outcome;
    bool failedToStart = false;
    QObject::connect(process.get(), &QProcess::errorOccurred, process.get(),
                     [&failedToStart](QProcess::ProcessError error) {
                         if (error == QProcess::FailedToStart)
                             failedToStart = true;
                     });

    // The state returns to NotRunning both after a failed start and after the
    // exit (once the pipes are drained); the resumption is queued, so the
    // error signal that accompanies a failed start has been seen by then.
    process->start(QIODevice::ReadOnly);
    while (process->state() != QProcess::NotRunning)
        co_await qCoro(process.get(), &QProcess::stateChanged);

    if (failedToStart) {
        outcome.launchError = process->errorString();
        co_return outcome;
    }
    outcome.launched = true;
    outcome.exitStatus = process->exitStatus() == QProcess::NormalExit ? process->exitCode() : -1;
    outcome.standardError = process->readAllStandardError();
    co_return outcome;
}
