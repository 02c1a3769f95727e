#include "app/tooling/ToolDetection.h"

#include "app/tooling/CLIService.h"
#include "app/tooling/ToolScan.h"
#include "core/LogCategories.h"

namespace ToolDetection {

QCoro::Task<QList<DetectedTool>> detectTools(CLIService& cli, QString home, std::chrono::milliseconds deadline)
{
    const CLICancelToken cancel;
    const CLIRunLimits limits { deadline, CLIRunLimits::capture().outputBytes };
    const QStringList arguments{QStringLiteral("scan"), QStringLiteral("--format"), QStringLiteral("json")};
    const CLIResult<std::optional<QString>> result
        = co_await cli.runCapturingOutput(arguments, cancel, limits);
    if (!result) {
        qCWarning(lcTooling).noquote() << QStringLiteral("Quorvane: tool scan failed: ") + result.error().description();
        co_return QList<DetectedTool>();
    }
    if (!result.value()) {
        qCWarning(lcTooling).noquote() << QStringLiteral("Quorvane: tool scan output is unusable");
        co_return QList<DetectedTool>();
    }
    co_return ToolScan::parseOutput(*result.value(), home);
}

} // namespace ToolDetection
