#include "app/tooling/CLIService.h"

#include "core/CoreConstants.h"
#include "platform/PrivilegedRunner.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStringDecoder>

#include <qcorosignal.h>

namespace {

const QString fallbackPath = QStringLiteral("/usr/local/bin/quorvane");

bool isExecutableFile(const QString& path)
{
    const QFileInfo info(path);
    return info.isFile() && info.isExecutable();
}

std::optional<QString> strictUtf8(const QByteArray& bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder(bytes);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

QString expandTilde(const QString& path)
{
    if (path == QLatin1String("~"))
        return CoreConstants::homeDirectory();
    if (path.startsWith(QLatin1String("~/")))
        return CoreConstants::homeDirectory() + path.mid(1);
    return path;
}

// Why a finished run was stopped or could not start, if it was.
std::optional<CLIError> stopReason(const CLIProcess& process)
{
    if (process.cancelled())
        return CLIError::cancelled();
    if (process.timedOut())
        return CLIError::timedOut(process.deadlineSeconds());
    if (process.launchFailed())
        return CLIError::launchFailed(process.launchError());
    return std::nullopt;
}

} // namespace

CLIService::CLIService(PrivilegedRunner* privilegedRunner, Locator locator, QObject* parent)
    : QObject(parent), m_privilegedRunner(privilegedRunner), m_locator(std::move(locator))
{
}

CLIService::~CLIService() = default;

QStringList CLIService::searchPaths()
{
    QStringList paths;
    if (QCoreApplication::instance())
        paths.append(QDir::cleanPath(
            QCoreApplication::applicationDirPath() + QStringLiteral("/../libexec/quorvane/bin/quorvane")));
    return paths + installedLocations();
}

QStringList CLIService::installedLocations()
{
    return { QStringLiteral("/usr/local/bin/quorvane"), QStringLiteral("/usr/bin/quorvane"),
        CoreConstants::homeDirectory() + QStringLiteral("/.local/bin/quorvane") };
}

QString CLIService::locate(const QStringList& candidates)
{
    for (const QString& candidate : candidates) {
        if (isExecutableFile(candidate))
            return candidate;
    }
    return fallbackPath;
}

QString CLIService::defaultExecutablePath()
{
#ifdef QUORVANE_DEV_OVERRIDES
    const QString overridden = qEnvironmentVariable("QUORVANE_CLI");
    if (!overridden.isEmpty())
        return overridden;
#endif
    return locate(searchPaths());
}

QString CLIService::executablePath() const
{
    return m_locator ? m_locator() : defaultExecutablePath();
}

QCoro::Task<CLIResult<std::shared_ptr<CLIProcess>>> CLIService::launch(Launch request)
{
    if (request.cancel.isCancelled())
        co_return CLIError::cancelled();
    auto process = std::make_shared<CLIProcess>(
        executablePath(), request.arguments, request.output, request.limits, std::move(request.onEvent));
    if (!request.workingDirectory.isEmpty())
        process->setWorkingDirectory(expandTilde(request.workingDirectory));
    process->setCancelToken(request.cancel);
    process->launch();
    if (request.wait == Launch::Wait::untilEnded)
        co_await ended(process.get());
    else
        while (!process->isRunning() && !process->isFinished())
            co_await qCoro(process.get(), &CLIProcess::stateChanged);
    if (std::optional<CLIError> reason = stopReason(*process))
        co_return *reason;
    co_return process;
}

QCoro::Task<CLIResult<void>> CLIService::run(QStringList arguments, QString workingDirectory,
    EventHandler onEvent, CLICancelToken cancel, CLIRunLimits limits)
{
    arguments.append(QStringLiteral("--wizard"));
    Launch request { std::move(arguments), CLIProcess::OutputMode::events, limits, std::move(onEvent),
        std::move(workingDirectory), cancel, Launch::Wait::untilEnded };
    QCoro::Task<CLIResult<std::shared_ptr<CLIProcess>>> launching = launch(std::move(request));
    const CLIResult<std::shared_ptr<CLIProcess>> ran = co_await std::move(launching);
    if (!ran)
        co_return ran.error();
    if (ran.value()->outputTooLarge())
        co_return CLIError::outputTooLarge();
    if (ran.value()->exitStatus() != 0)
        co_return CLIError::nonZeroExit(ran.value()->exitStatus());
    co_return CLIResult<void>();
}

QCoro::Task<CLIResult<std::optional<QString>>> CLIService::runCapturingOutput(
    QStringList arguments, CLICancelToken cancel, CLIRunLimits limits)
{
    Launch request { std::move(arguments), CLIProcess::OutputMode::capture, limits, {}, {}, cancel,
        Launch::Wait::untilEnded };
    QCoro::Task<CLIResult<std::shared_ptr<CLIProcess>>> launching = launch(std::move(request));
    const CLIResult<std::shared_ptr<CLIProcess>> ran = co_await std::move(launching);
    if (!ran)
        co_return ran.error();
    if (ran.value()->outputTooLarge())
        co_return std::optional<QString>();
    co_return strictUtf8(ran.value()->takeCapturedOutput());
}

QCoro::Task<CLIResult<std::shared_ptr<CLIProcess>>> CLIService::start(
    QStringList arguments, EventHandler onEvent, CLIRunLimits limits)
{
    Launch request { std::move(arguments), CLIProcess::OutputMode::events, limits, std::move(onEvent), {}, {},
        Launch::Wait::untilRunning };
    QCoro::Task<CLIResult<std::shared_ptr<CLIProcess>>> launching = launch(std::move(request));
    co_return co_await std::move(launching);
}

QCoro::Task<int> CLIService::runDetached(QStringList arguments, CLICancelToken cancel, CLIRunLimits limits)
{
    Launch request { std::move(arguments), CLIProcess::OutputMode::discard, limits, {}, {}, cancel,
        Launch::Wait::untilEnded };
    QCoro::Task<CLIResult<std::shared_ptr<CLIProcess>>> launching = launch(std::move(request));
    const CLIResult<std::shared_ptr<CLIProcess>> ran = co_await std::move(launching);
    co_return ran ? ran.value()->exitStatus() : -1;
}

QCoro::Task<CLIResult<void>> CLIService::runPrivileged(PrivilegedRunner::Command command)
{
    PrivilegedRunner* runner = privilegedRunner();
    if (!runner)
        co_return CLIError::installFailed(tr("Admin setup failed: no administrator prompt available"));

    QCoro::Task<PrivilegedRunner::Outcome> running = runner->run(std::move(command));
    const PrivilegedRunner::Outcome outcome = co_await std::move(running);
    if (!outcome.launched)
        co_return CLIError::launchFailed(outcome.launchError);
    if (outcome.exitStatus == 0)
        co_return CLIResult<void>();
    // An empty standard error says nothing; it is reported like undecodable text.
    const std::optional<QString> text = strictUtf8(outcome.standardError);
    const QString reason = text && !text->isEmpty() ? *text : tr("Unknown error");
    co_return CLIError::installFailed(tr("Admin setup failed: %1").arg(reason));
}
