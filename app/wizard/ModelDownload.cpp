#include "app/wizard/ModelDownload.h"

#include "app/tooling/CLIProcess.h"
#include "app/tooling/CLIService.h"
#include "core/LifetimeGuard.h"

QCoro::Task<> ModelDownload::start(QPointer<CLIService> cli)
{
    setDownloading(true);
    setProgress(0.0);
    setComplete(false);
    if (!cli)
        co_return;
    // The handler holds the download weakly: the process may outlive it.
    const LifetimeGuard guard(this);
    const QStringList arguments{QStringLiteral("download-model"), QStringLiteral("--wizard")};
    const CLIService::EventHandler onEvent = [this, guard](const CLIEvent& event) {
        if (guard.alive())
            applyEvent(event);
    };
    // Called before the co_await: GCC 12 destroys the temporaries of a
    // co_await's operand twice (here the handler's copy of the pointer).
    QCoro::Task<CLIResult<std::shared_ptr<CLIProcess>>> starting = cli->start(arguments, onEvent);
    CLIResult<std::shared_ptr<CLIProcess>> started = co_await std::move(starting);
    if (!guard.alive() || !started)
        co_return;
    m_process = std::move(started.value());
}

void ModelDownload::stop()
{
    if (m_process)
        m_process->terminate();
    m_process.reset();
    setDownloading(false);
}

void ModelDownload::applyEvent(const CLIEvent& event)
{
    if (event.progress)
        setProgress(*event.progress);
    if (event.type == QLatin1String("complete")) {
        setComplete(true);
        setDownloading(false);
    } else if (event.type == QLatin1String("error")) {
        setDownloading(false);
    }
}

void ModelDownload::setDownloading(bool value)
{
    if (m_downloading == value)
        return;
    m_downloading = value;
    Q_EMIT llmDownloadingChanged();
}

void ModelDownload::setComplete(bool value)
{
    if (m_complete == value)
        return;
    m_complete = value;
    Q_EMIT llmDownloadCompleteChanged();
}

void ModelDownload::setProgress(double value)
{
    if (m_progress == value)
        return;
    m_progress = value;
    Q_EMIT llmDownloadProgressChanged();
}
