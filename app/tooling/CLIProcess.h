#pragma once

#include "app/tooling/CLICancelToken.h"
#include "app/tooling/CLIEvent.h"
#include "app/tooling/CLILineBuffer.h"
#include "app/tooling/CLIRunLimits.h"

#include <QObject>
#include <QProcess>
#include <QStringList>
#include <QTimer>
#include <functional>
#include <qcorotask.h>

// One run of a child process as CLIService starts it: standard error always
// goes to the null device; standard output is decoded into events, captured
// whole, or discarded. It is also the handle that CLIService::start() returns:
// keep it to stop the process; destroying it stops a process still running.
// Every run is bounded by its CLIRunLimits: past the deadline, or once the
// output is too large, the process is terminated (killed after the kill delay)
// and no further event is delivered.
//
// Events are delivered on the thread that owns this object, in the order the
// lines were written, each before the next line is looked at.
class CLIProcess : public QObject
{
    Q_OBJECT
public:
    enum class OutputMode { events, capture, discard };
    using EventHandler = std::function<void(const CLIEvent&)>;

    CLIProcess(const QString& program, const QStringList& arguments, OutputMode mode, CLIRunLimits limits,
        EventHandler onEvent = {}, QObject* parent = nullptr);
    ~CLIProcess() override;

    void setWorkingDirectory(const QString& directory);
    // The child's environment (default: the program's own).
    void setEnvironment(const QProcessEnvironment& environment);
    // Cancelling the token terminates the process and stops event delivery.
    void setCancelToken(const CLICancelToken& token);
    // How long a terminated process may take before it is killed.
    void setKillDelay(int milliseconds) { m_killDelay = milliseconds; }

    void launch();
    // Asks the process to terminate; it is killed if it is still running after
    // the kill delay.
    void terminate();

    bool isRunning() const { return m_started && !m_finished; }
    bool isFinished() const { return m_finished; }
    qint64 processId() const { return m_pid; }

    // Valid once finished() has been emitted.
    bool launchFailed() const { return m_launchFailed; }
    QString launchError() const { return m_launchError; }
    bool cancelled() const { return m_cancelled; }
    bool timedOut() const { return m_timedOut; }
    // The output passed limits.outputBytes, or an event line CLIRunLimits::lineBytes.
    bool outputTooLarge() const { return m_outputTooLarge; }
    int deadlineSeconds() const;
    // The exit status, or -1 when the process was ended by a signal.
    int exitStatus() const { return m_exitStatus; }
    QByteArray takeCapturedOutput() { return std::exchange(m_captured, QByteArray()); }

Q_SIGNALS:
    void started();
    // Emitted once: after the last event, or when the launch failed.
    void finished();
    // Emitted with started() and with finished().
    void stateChanged();

private:
    void readOutput();
    void deliver(const QList<QByteArray>& lines);
    void stop(bool& reason);
    bool stopped() const { return m_cancelled || m_timedOut || m_outputTooLarge; }
    void complete();

    QProcess* m_process;
    OutputMode m_mode;
    CLIRunLimits m_limits;
    QTimer m_deadline;
    EventHandler m_onEvent;
    CLILineBuffer m_lines;
    QByteArray m_captured;
    QString m_launchError;
    qint64 m_pid = 0;
    qint64 m_outputBytes = 0;
    int m_exitStatus = -1;
    int m_killDelay = 3000;
    bool m_started = false;
    bool m_finished = false;
    bool m_launchFailed = false;
    bool m_cancelled = false;
    bool m_timedOut = false;
    bool m_outputTooLarge = false;
};

// Waits until the process has ended; the caller keeps it alive meanwhile.
QCoro::Task<> ended(CLIProcess* process);
