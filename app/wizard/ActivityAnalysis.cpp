#include "app/wizard/ActivityAnalysis.h"

#include "app/tooling/SuggestionCount.h"
#include "app/tooling/CLIService.h"
#include "app/wizard/WizardState.h"
#include "core/ProgressPercent.h"

#include <QCoroTimer>

#include <algorithm>
#include <limits>

namespace ActivityAnalysis {

namespace {

int suggestionCountOf(const QString& text)
{
    const qint64 count = SuggestionCount::parse(text);
    if (count > std::numeric_limits<int>::max() || count < std::numeric_limits<int>::min())
        return 0;
    return int(count);
}

} // namespace

QCoro::Task<> run(QPointer<WizardState> state, QPointer<CLIService> cli, CLICancelToken cancel,
                  std::chrono::milliseconds waitLimit)
{
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + waitLimit;
    while (state && state->llmDownloading() && !state->llmDownloadComplete() && Clock::now() < deadline) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        co_await QCoro::sleepFor(std::clamp(left, std::chrono::milliseconds(0), pollInterval));
        if (cancel.isCancelled())
            co_return;
    }
    if (!state || cancel.isCancelled())
        co_return;
    state->setAnalysisWaitingForLLM(false);
    if (!state->llmDownloadComplete()) {
        state->setAnalysisError(
            QStringLiteral("Model download did not complete. Run analysis later from the Features panel."));
        state->setAnalysisComplete(true);
        co_return;
    }

    state->setAnalysisInProgress(true);
    std::optional<QString> runError;
    QStringList arguments{QStringLiteral("analyze-history")};
    if (state->discoverMcpServers())
        arguments << QStringLiteral("--scan-mcp");
    CLIService::EventHandler onEvent = [state, cancel, &runError](const CLIEvent& event) {
        if (!state || cancel.isCancelled())
            return;
        if (event.progress)
            state->setAnalysisProgress(*event.progress);
        if (event.type == QLatin1String("suggestion_count") && event.data) {
            const auto count = event.data->constFind(QStringLiteral("count"));
            if (count != event.data->constEnd())
                state->setSuggestionCount(suggestionCountOf(*count));
        }
        if (event.type == QLatin1String("error"))
            runError = event.message.value_or(QString());
    };
    const CLIResult<void> result = cli ? co_await cli->run(std::move(arguments), QString(), std::move(onEvent), cancel)
                                       : CLIResult<void>(CLIError::launchFailed(QStringLiteral(
                                           "The product tool is not available")));
    if (!state || cancel.isCancelled())
        co_return;
    if (result)
        state->setAnalysisError(runError.value_or(QString()));
    else
        state->setAnalysisError(runError.value_or(result.error().description()));
    state->setAnalysisComplete(true);
    state->setAnalysisProgress(1.0);
    state->setAnalysisInProgress(false);
}

QString statusLine(const WizardState& state)
{
    if (state.analysisWaitingForLLM())
        return QStringLiteral("Activity scan will start when the model is ready...");
    if (state.analysisInProgress())
        return QStringLiteral("Analyzing activity... ") + ProgressPercent::text(state.analysisProgress());
    if (!state.analysisComplete())
        return {};
    if (!state.analysisError().isEmpty())
        return QStringLiteral("Activity analysis failed");
    if (state.suggestionCount() > 0)
        return QStringLiteral("Activity analysis complete — ") + QString::number(state.suggestionCount())
            + QStringLiteral(" rule suggestions");
    return QStringLiteral("Activity analysis complete — no suggestions");
}

bool showsReviewNote(const WizardState& state)
{
    return !state.analysisWaitingForLLM() && !state.analysisInProgress() && state.analysisComplete()
        && state.analysisError().isEmpty() && state.suggestionCount() > 0;
}

QString closeAlertTitle(const WizardState& state)
{
    if (state.analysisWaitingForLLM())
        return QStringLiteral("Model download in progress");
    if (state.analysisInProgress())
        return QStringLiteral("Activity analysis in progress");
    return {};
}

QString closeAlertMessage(const WizardState& state)
{
    if (state.analysisWaitingForLLM())
        return QStringLiteral("The model download will continue in the background. You can run the activity scan "
                              "later from the Features panel, or via:\nquorvane analyze-history");
    if (state.analysisInProgress())
        return QStringLiteral("The activity scan is still running. If you close now it will stop.\n\nYou can re-run "
                              "it later from the Features panel, or via:\nquorvane analyze-history");
    return {};
}

} // namespace ActivityAnalysis
