#include "app/tooling/CLIProcess.h"

#include "core/LifetimeGuard.h"
#include <QPointer>
#include <QTimer>
#include <qcorosignal.h>

CLIProcess::CLIProcess(const QString& program, const QStringList& arguments, OutputMode mode,
    CLIRunLimits limits, EventHandler onEvent, QObject* parent)
    : QObject(parent)
    , m_process(new QProcess(this))
    , m_mode(mode)
    , m_limits(limits)
    , m_onEvent(std::move(onEvent))
    , m_lines(CLIRunLimits::lineBytes)
{
    m_deadline.setSingleShot(true);
    connect(&m_deadline, &QTimer::timeout, this, [this] { stop(m_timedOut); });
    m_process->setProgram(program);
    m_process->setArguments(arguments);
    m_process->setStandardErrorFile(QProcess::nullDevice());
    if (mode == OutputMode::discard)
        m_process->setStandardOutputFile(QProcess::nullDevice());

    connect(m_process, &QProcess::started, this, [this] {
        m_started = true;
        m_pid = m_process->processId();
        Q_EMIT started();
        Q_EMIT stateChanged();
    });
    connect(m_process, &QProcess::readyReadStandardOutput, this, &CLIProcess::readOutput);
    connect(m_process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart || m_finished)
            return;
        m_launchFailed = true;
        m_launchError = m_process->errorString();
        complete();
    });
    connect(m_process, &QProcess::finished, this, [this](int exitCode, QProcess::ExitStatus status) {
        // An event handler may destroy this object; stop touching it then.
        const LifetimeGuard guard(this);
        readOutput();
        if (!guard.alive())
            return;
        if (m_mode == OutputMode::events && !stopped()) {
            deliver(m_lines.finish());
            if (!guard.alive())
                return;
        }
        m_exitStatus = status == QProcess::NormalExit ? exitCode : -1;
        m_deadline.stop();
        complete();
    });
}

CLIProcess::~CLIProcess()
{
    if (m_process->state() == QProcess::NotRunning)
        return;
    // Never leave the child behind. The QProcess may be in the middle of
    // emitting a signal that led here, so it is deleted later, not now.
    m_process->disconnect(this);
    m_process->setParent(nullptr);
    m_process->kill();
    m_process->waitForFinished(2000);
    m_process->deleteLater();
}

void CLIProcess::setWorkingDirectory(const QString& directory)
{
    m_process->setWorkingDirectory(directory);
}

void CLIProcess::setEnvironment(const QProcessEnvironment& environment)
{
    m_process->setProcessEnvironment(environment);
}

void CLIProcess::setCancelToken(const CLICancelToken& token)
{
    token.whenCancelled(this, [this] { stop(m_cancelled); });
}

void CLIProcess::launch()
{
    if (m_cancelled) {
        complete();
        return;
    }
    if (m_limits.deadline.count() > 0)
        m_deadline.start(m_limits.deadline);
    m_process->start(QIODevice::ReadOnly);
}

int CLIProcess::deadlineSeconds() const
{
    return int(std::chrono::ceil<std::chrono::seconds>(m_limits.deadline).count());
}

void CLIProcess::stop(bool& reason)
{
    if (stopped() || m_finished)
        return;
    reason = true;
    terminate();
}

void CLIProcess::terminate()
{
    if (m_process->state() == QProcess::NotRunning)
        return;
    m_process->terminate();
    QTimer::singleShot(m_killDelay, this, [process = QPointer<QProcess>(m_process)] {
        if (process && process->state() != QProcess::NotRunning)
            process->kill();
    });
}

void CLIProcess::readOutput()
{
    if (m_mode == OutputMode::discard)
        return;
    const QByteArray bytes = m_process->readAllStandardOutput();
    if (bytes.isEmpty() || stopped())
        return;
    m_outputBytes += bytes.size();
    if (m_outputBytes > m_limits.outputBytes) {
        m_captured.clear();
        stop(m_outputTooLarge);
        return;
    }
    if (m_mode == OutputMode::capture) {
        m_captured.append(bytes);
        return;
    }
    QList<QByteArray> lines = m_lines.append(bytes);
    if (m_lines.overflowed()) {
        stop(m_outputTooLarge);
        return;
    }
    deliver(lines);
}

void CLIProcess::deliver(const QList<QByteArray>& lines)
{
    const LifetimeGuard guard(this);
    for (const QByteArray& line : lines) {
        if (!guard.alive() || stopped() || !m_onEvent)
            return;
        if (const auto event = CLIEvent::decode(line)) {
            // A copy: the handler may destroy this object, and with it m_onEvent.
            const EventHandler handler = m_onEvent;
            handler(*event);
        }
    }
}

void CLIProcess::complete()
{
    if (m_finished)
        return;
    m_finished = true;
    Q_EMIT finished();
    Q_EMIT stateChanged();
}

QCoro::Task<> ended(CLIProcess* process)
{
    while (!process->isFinished())
        co_await qCoro(process, &CLIProcess::stateChanged);
}
