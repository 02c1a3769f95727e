// Decodes arbitrary bytes as a GET /actions/pending body and reads every
// derived value of each decoded action.
#include "core/PendingActionsResponse.h"
#include "core/RuleScope.h"

#include <QDateTime>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray body(reinterpret_cast<const char*>(data), qsizetype(size));
    QString error;
    const std::optional<PendingActionsResponse> response = PendingActionsResponse::fromJson(body, &error);
    if (!response)
        return 0;
    const QDateTime now = QDateTime::fromMSecsSinceEpoch(1738324800000, Qt::UTC);
    qsizetype sink = 0;
    for (const PendingAction& action : response->actions) {
        sink += action.toolSummary().size() + action.shortSummary().size() + action.displaySummary().size();
        if (const auto segments = action.detailSegments()) {
            for (const CommandSegment& segment : *segments)
                sink += segment.segment.size() + segment.baseCmd.size() + segment.risk.size();
        }
        if (const auto date = action.expiresDate())
            sink += date->isValid() ? 1 : 0;
        sink += action.timeRemaining(now).has_value() ? 1 : 0;
        sink += action.isExpired(now) ? 1 : 0;
        sink += action.isUnregister() + action.canCreateRule() + action.isMcpTool();
        sink += action.mcpServiceName().value_or(QString()).size();
        sink += action.mcpDisplayName().value_or(QString()).size();
        sink += action.displayName().size();
        for (const RuleScope scope : RuleScope::availableCases(action.machineAgentCount))
            sink += scope.displayName().size();
        if (!(action == action))
            __builtin_trap();
    }
    return sink < 0 ? 1 : 0;
}
