#pragma once

#include "app/tooling/CLICancelToken.h"
#include "app/tooling/CLIError.h"
#include "app/tooling/CLIEvent.h"
#include "app/tooling/CLIProcess.h"
#include "app/tooling/CLIRunLimits.h"
#include "platform/PrivilegedRunner.h"

#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QUrl>
#include <functional>
#include <memory>
#include <optional>
#include <qcorotask.h>

// Finds the product tool, runs it and reads what it prints. Four run modes,
// chosen by what the caller needs back: a stream of events (run), the whole
// standard output (runCapturingOutput), a live process with an event callback
// (start), or only the exit status (runDetached). Also runs a command with
// administrator rights (runPrivileged). Every call starts a fresh process; the
// tool's standard error always goes to the null device and it inherits the
// program's environment. Every run is bounded by its CLIRunLimits (a deadline
// and an output cap, per kind of run); a run that passes them is terminated,
// then killed, and never left behind.
//
// Events are delivered on the thread that owns the service (the main thread).
class CLIService : public QObject
{
    Q_OBJECT
public:
    using EventHandler = std::function<void(const CLIEvent&)>;
    using Locator = std::function<QString()>;

    // privilegedRunner may be null: runPrivileged then fails. A null locator
    // means defaultExecutablePath().
    explicit CLIService(PrivilegedRunner* privilegedRunner = nullptr, Locator locator = {},
                        QObject* parent = nullptr);
    ~CLIService() override;

    // Where the tool is looked for, first match wins: the QUORVANE_CLI dev
    // override; the bundled tool at ../libexec/quorvane/bin/quorvane beside our
    // executable; "quorvane" in /usr/local/bin, /usr/bin and ~/.local/bin;
    // otherwise /usr/local/bin/quorvane, whose launch then fails.
    static QString defaultExecutablePath();
    // The places searched after the dev override, in order.
    static QStringList searchPaths();
    // The places an installed tool lies (not our bundled one): /usr/local/bin,
    // /usr/bin and ~/.local/bin.
    static QStringList installedLocations();
    // The first of candidates that is an executable file, else the fallback
    // "/usr/local/bin/quorvane".
    static QString locate(const QStringList& candidates);
    QString executablePath() const;
    QUrl executableURL() const { return QUrl::fromLocalFile(executablePath()); }

    // Streams events until the tool exits. The tool receives arguments followed
    // by "--wizard". A leading "~" of workingDirectory means the home folder.
    // Fails with nonZeroExit for a status other than 0 (also when the tool was
    // killed: status -1), launchFailed, timedOut or outputTooLarge (limits), or
    // cancelled once the token is cancelled (the process is terminated then and
    // no further event is delivered).
    QCoro::Task<CLIResult<void>> run(QStringList arguments, QString workingDirectory, EventHandler onEvent,
        CLICancelToken cancel = {}, CLIRunLimits limits = CLIRunLimits::stream());

    // Runs the tool to completion and returns its whole standard output, or an
    // empty optional when that is not valid UTF-8 or longer than
    // limits.outputBytes (the tool is terminated then). The exit status is
    // not examined; a failed launch is an error, and so are the deadline
    // (timedOut) and cancelling (the process is terminated).
    QCoro::Task<CLIResult<std::optional<QString>>> runCapturingOutput(
        QStringList arguments, CLICancelToken cancel = {}, CLIRunLimits limits = CLIRunLimits::capture());

    // Starts the tool with arguments exactly as passed and returns as soon as
    // it runs. Events arrive while it runs; a line split across reads still
    // yields its event. The handle stops the process (terminate(), or by being
    // destroyed) and tells when it has ended (finished()).
    QCoro::Task<CLIResult<std::shared_ptr<CLIProcess>>> start(
        QStringList arguments, EventHandler onEvent, CLIRunLimits limits = CLIRunLimits::download());

    // Runs the tool with arguments exactly as passed, all output discarded, and
    // returns its exit status; -1 when it cannot be started, was killed, ran
    // past its deadline or was cancelled.
    QCoro::Task<int> runDetached(
        QStringList arguments, CLICancelToken cancel = {}, CLIRunLimits limits = CLIRunLimits::detached());

    // Runs the command with administrator rights. A refusal, a dismissed prompt
    // or a failing command fails with installFailed("Admin setup failed: " +
    // what the command and the helper wrote to standard error).
    QCoro::Task<CLIResult<void>> runPrivileged(PrivilegedRunner::Command command);

private:
    // One run of the tool, whatever the mode: the process with its output
    // mode, limits and cancel token, launched and awaited until it ends (or,
    // for start(), until it runs). Fails when cancelled before or during the
    // run, past the deadline, or when the launch failed.
    struct Launch
    {
        enum class Wait { untilEnded, untilRunning };

        QStringList arguments;
        CLIProcess::OutputMode output;
        CLIRunLimits limits;
        EventHandler onEvent;
        QString workingDirectory;
        CLICancelToken cancel;
        Wait wait;
    };
    QCoro::Task<CLIResult<std::shared_ptr<CLIProcess>>> launch(Launch request);

    PrivilegedRunner* privilegedRunner() const { return m_privilegedRunner.data(); }

    QPointer<PrivilegedRunner> m_privilegedRunner;
    Locator m_locator;
};
