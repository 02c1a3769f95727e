#include "platform/PkexecPrivilegedRunner.h"

#include <QProcess>

#include <qcorosignal.h>

#include <memory>

namespace {

// Tells when a process has ended: after its exit (pipes drained), or when it
// could not be started at all, which QProcess reports without a finished().
class ProcessEnd : public QObject
{
    Q_OBJECT
public:
    explicit ProcessEnd(QProcess* process)
    {
        connect(process, &QProcess::finished, this, [this] { end(false); });
        connect(process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
            if (error == QProcess::FailedToStart)
                end(true);
        });
    }

    bool done = false;
    bool failedToStart = false;

Q_SIGNALS:
    void ended();

private:
    void end(bool failed)
    {
        if (done)
            return;
        done = true;
        failedToStart = failed;
        Q_EMIT ended();
    }
};

} // namespace

PkexecPrivilegedRunner::PkexecPrivilegedRunner(QObject* parent)
    : PkexecPrivilegedRunner(QString::fromLatin1(defaultPkexecPath), parent)
{
}

PkexecPrivilegedRunner::PkexecPrivilegedRunner(const QString& pkexecPath, QObject* parent)
    : PrivilegedRunner(parent), m_pkexecPath(pkexecPath)
{
}

QCoro::Task<PrivilegedRunner::Outcome> PkexecPrivilegedRunner::run(Command command)
{
    // The process belongs to this coroutine, not to the runner: it must stay
    // alive for as long as the coroutine waits on it.
    auto process = std::make_unique<QProcess>();
    process->setProgram(m_pkexecPath);
    process->setArguments(QStringList{command.program} + command.arguments);
    process->setStandardOutputFile(QProcess::nullDevice());

    Outcome outcome;
    const auto end = std::make_unique<ProcessEnd>(process.get());
    process->start(QIODevice::ReadOnly);
    if (!end->done)
        co_await qCoro(end.get(), &ProcessEnd::ended);
    const bool failedToStart = end->failedToStart;

    if (failedToStart) {
        outcome.launchError = process->errorString();
        co_return outcome;
    }
    outcome.launched = true;
    outcome.exitStatus = process->exitStatus() == QProcess::NormalExit ? process->exitCode() : -1;
    outcome.standardError = process->readAllStandardError();
    co_return outcome;
}

#include "PkexecPrivilegedRunner.moc"
