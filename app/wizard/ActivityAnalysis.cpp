#include "app/wizard/ActivityAnalysis.h"

#include "app/tooling/CLIService.h"
#include "app/tooling/SuggestionCount.h"
#include "app/wizard/InstallPhase.h"
#include "core/LifetimeGuard.h"
#include "core/ProgressPercent.h"

#include <QCoroTimer>

#include <algorithm>
#include <limits>

namespace {

int suggestionCountOf(const QString& text)
{
    const qint64 count = SuggestionCount::parse(text);
    if (count > std::numeric_limits<int>::max() || count < std::numeric_limits<int>::min())
        return 0;
    return int(count);
}

} // namespace

ActivityAnalysis::ActivityAnalysis(const InstallPhase& install, QObject* parent)
    : QObject(parent)
    , m_install(install)
{
}

void ActivityAnalysis::setCli(CLIService* cli)
{
    m_cli = cli;
}

ActivityAnalysis::~ActivityAnalysis()
{
    if (m_running)
        m_running->cancel();
}

void ActivityAnalysis::start()
{
    setWaitingForLLM(true);
    setError(QString());
    if (m_running)
        m_running->cancel();
    const CLICancelToken cancel;
    m_running = cancel;
    run(cancel);
}

void ActivityAnalysis::cancel()
{
    if (m_running)
        m_running->cancel();
    m_running.reset();
    setInProgress(false);
    setWaitingForLLM(false);
}

// Ends without touching the fields once cancel is cancelled (cancel() resets
// them itself then); cancelling also terminates the product tool's run.
QCoro::Task<> ActivityAnalysis::run(CLICancelToken cancel)
{
    using Clock = std::chrono::steady_clock;
    const LifetimeGuard guard(this);
    const QPointer<ModelDownload> download(m_install.modelDownload());
    const Clock::time_point deadline = Clock::now() + m_waitLimit;
    while (download && download->llmDownloading() && !download->llmDownloadComplete() && Clock::now() < deadline) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        co_await QCoro::sleepFor(std::clamp(left, std::chrono::milliseconds(0), pollInterval));
        if (cancel.isCancelled())
            co_return;
    }
    if (!guard.alive() || !download || cancel.isCancelled())
        co_return;
    setWaitingForLLM(false);
    if (!download->llmDownloadComplete()) {
        setError(tr("Model download did not complete. Run analysis later from the Features panel."));
        setComplete(true);
        co_return;
    }

    setInProgress(true);
    std::optional<QString> runError;
    QStringList arguments{QStringLiteral("analyze-history")};
    if (m_install.discoverMcpServers())
        arguments << QStringLiteral("--scan-mcp");
    CLIService::EventHandler onEvent = [this, guard, cancel, &runError](const CLIEvent& event) {
        if (!guard.alive() || cancel.isCancelled())
            return;
        if (event.progress)
            setProgress(*event.progress);
        if (event.type == QLatin1String("suggestion_count") && event.data) {
            const auto count = event.data->constFind(QStringLiteral("count"));
            if (count != event.data->constEnd())
                setSuggestionCount(suggestionCountOf(*count));
        }
        if (event.type == QLatin1String("error"))
            runError = event.message.value_or(QString());
    };
    const QPointer<CLIService> cli = m_cli;
    // No temporary in the co_await's statement: GCC 12 destroys them twice.
    CLIResult<void> result = CLIError::launchFailed(tr("The product tool is not available"));
    if (cli) {
        QCoro::Task<CLIResult<void>> running
            = cli->run(std::move(arguments), QString(), std::move(onEvent), cancel);
        result = co_await std::move(running);
    }
    if (!guard.alive() || cancel.isCancelled())
        co_return;
    if (result)
        setError(runError.value_or(QString()));
    else
        setError(runError.value_or(result.error().description()));
    setComplete(true);
    setProgress(1.0);
    setInProgress(false);
}

QString ActivityAnalysis::statusLine() const
{
    if (m_waitingForLLM)
        return tr("Activity scan will start when the model is ready...");
    if (m_inProgress)
        return tr("Analyzing activity... %1").arg(ProgressPercent::text(m_progress));
    if (!m_complete)
        return {};
    if (!m_error.isEmpty())
        return tr("Activity analysis failed");
    if (m_suggestionCount > 0)
        return tr("Activity analysis complete — %1 rule suggestions").arg(m_suggestionCount);
    return tr("Activity analysis complete — no suggestions");
}

bool ActivityAnalysis::showsReviewNote() const
{
    return !m_waitingForLLM && !m_inProgress && m_complete && m_error.isEmpty() && m_suggestionCount > 0;
}

QString ActivityAnalysis::closeAlertTitle() const
{
    if (m_waitingForLLM)
        return tr("Model download in progress");
    if (m_inProgress)
        return tr("Activity analysis in progress");
    return {};
}

QString ActivityAnalysis::closeAlertMessage() const
{
    if (m_waitingForLLM)
        return tr("The model download will continue in the background. You can run the activity scan "
                  "later from the Features panel, or via:\n%1")
            .arg(QStringLiteral("quorvane analyze-history"));
    if (m_inProgress)
        return tr("The activity scan is still running. If you close now it will stop.\n\nYou can re-run "
                  "it later from the Features panel, or via:\n%1")
            .arg(QStringLiteral("quorvane analyze-history"));
    return {};
}

void ActivityAnalysis::setWaitingForLLM(bool value)
{
    if (m_waitingForLLM == value)
        return;
    m_waitingForLLM = value;
    Q_EMIT statusChanged();
}

void ActivityAnalysis::setInProgress(bool value)
{
    if (m_inProgress == value)
        return;
    m_inProgress = value;
    Q_EMIT statusChanged();
}

void ActivityAnalysis::setComplete(bool value)
{
    if (m_complete == value)
        return;
    m_complete = value;
    Q_EMIT statusChanged();
}

void ActivityAnalysis::setProgress(double value)
{
    if (m_progress == value)
        return;
    m_progress = value;
    Q_EMIT statusChanged();
}

void ActivityAnalysis::setError(const QString& value)
{
    if (m_error == value)
        return;
    m_error = value;
    Q_EMIT statusChanged();
}

void ActivityAnalysis::setSuggestionCount(int value)
{
    if (m_suggestionCount == value)
        return;
    m_suggestionCount = value;
    Q_EMIT statusChanged();
}
