#include "app/panel/PanelPresentation.h"

#include "core/PendingAction.h"

#include <QCoreApplication>
#include <QDateTime>

#include <cmath>

namespace PanelPresentation {

QString actionsTabLabel(qsizetype pendingCount)
{
    if (pendingCount > 0)
        return QCoreApplication::translate("PanelPresentation", "Actions (%1)").arg(pendingCount);
    return QCoreApplication::translate("PanelPresentation", "Actions");
}

double remainingSeconds(const PendingAction& action, const QDateTime& now)
{
    return action.timeRemaining(now).value_or(0.0);
}

QString countdownText(double remaining)
{
    if (!(remaining > 0.0)) // also NaN
        return QCoreApplication::translate("PanelPresentation", "Expired");
    // Whole seconds, truncated; an absurdly far expiry is capped rather than
    // overflowing the conversion.
    constexpr double cap = 9.0e15;
    const qint64 whole = qint64(std::trunc(std::min(remaining, cap)));
    const qint64 minutes = whole / 60;
    const qint64 seconds = whole % 60;
    return QStringLiteral("%1:%2 remaining").arg(minutes).arg(seconds, 2, 10, QLatin1Char('0'));
}

QString countdownColorName(double remaining, bool isUnregister)
{
    if (!(remaining > 0.0))
        return QStringLiteral("red");
    if (isUnregister)
        return QStringLiteral("amber");
    return QStringLiteral("teal");
}

QString badgeText(const QString& classification)
{
    QString result;
    result.reserve(classification.size());
    bool atWordStart = true;
    for (const QChar c : classification) {
        if (c.isLetterOrNumber()) {
            result.append(atWordStart ? c.toUpper() : c.toLower());
            atWordStart = false;
        } else {
            result.append(c);
            atWordStart = c != QLatin1Char('\'');
        }
    }
    return result;
}

QString badgeColorName(const QString& classification)
{
    static const QStringList risky{QStringLiteral("bash"),    QStringLiteral("shell"),
                                   QStringLiteral("network"), QStringLiteral("agent"),
                                   QStringLiteral("unknown"), QStringLiteral("destructive")};
    if (risky.contains(classification.toLower()))
        return QStringLiteral("red");
    return QStringLiteral("teal");
}

QString spokenDuration(double seconds)
{
    const qint64 whole = seconds > 0.0 ? qint64(seconds) : 0;
    const qint64 minutes = whole / 60;
    const qint64 rest = whole % 60;
    QStringList parts;
    if (minutes > 0)
        parts << (minutes == 1 ? QStringLiteral("1 minute") : QStringLiteral("%1 minutes").arg(minutes));
    if (rest > 0 || minutes == 0)
        parts << (rest == 1 ? QStringLiteral("1 second") : QStringLiteral("%1 seconds").arg(rest));
    return parts.join(u' ');
}

QString spokenSummary(const QString& title, const std::optional<QString>& classification, double remainingSeconds)
{
    QStringList parts{title};
    if (classification && !classification->isEmpty())
        parts << (badgeColorName(*classification) == QLatin1String("red") ? QStringLiteral("high risk")
                                                                           : QStringLiteral("low risk"));
    parts << (remainingSeconds > 0.0 ? spokenDuration(remainingSeconds) + QStringLiteral(" left")
                                     : QStringLiteral("expired"));
    return parts.join(QStringLiteral(", "));
}

std::optional<QString> badgeSource(const PendingAction& action)
{
    if (const std::optional<QString> service = action.mcpServiceName(); service && !service->isEmpty())
        return service;
    if (action.classification && !action.classification->isEmpty())
        return action.classification;
    return std::nullopt;
}

QString ruleLabel(const PendingAction& action)
{
    if (const std::optional<QString> service = action.mcpServiceName())
        return *service;
    if (action.classification)
        return *action.classification;
    return QStringLiteral("unknown");
}

QString scopeWarning(const PendingAction& action, RuleScope scope)
{
    const QString label = ruleLabel(action);
    switch (scope.value()) {
    case RuleScope::agent:
        return QCoreApplication::translate(
            "PanelPresentation", "Future %1 actions from %2 will be auto-approved.")
            .arg(label, action.agentName);
    case RuleScope::machine:
        return QCoreApplication::translate(
            "PanelPresentation", "Future %1 actions from agents on %2 will be auto-approved.")
            .arg(label, action.agentMachine.value_or(QStringLiteral("this machine")));
    case RuleScope::global:
        return QCoreApplication::translate(
            "PanelPresentation", "Future %1 actions from any agent will be auto-approved.")
            .arg(label);
    }
    return QString();
}

QStringList explanationLines(const QString& explanation)
{
    QStringList lines;
    QString normalised = explanation;
    normalised.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    normalised.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    const QStringList pieces = normalised.split(QLatin1Char('\n'));
    for (const QString& piece : pieces) {
        if (!piece.trimmed().isEmpty())
            lines.append(piece);
    }
    return lines;
}

QString explanationMode(const PendingAction& action, bool showExplanation)
{
    if (action.isUnregister())
        return QStringLiteral("none");
    if (action.isMcpTool() && action.explanation)
        return QStringLiteral("caption");
    if (!showExplanation)
        return QStringLiteral("button");
    if (!action.explanation)
        return QStringLiteral("generating");
    return QStringLiteral("lines");
}

QString approveLabel(bool isUnregister)
{
    return isUnregister ? QCoreApplication::translate("PanelPresentation", "Remove")
                        : QCoreApplication::translate("PanelPresentation", "Approve");
}

QString denyLabel(bool isUnregister)
{
    return isUnregister ? QCoreApplication::translate("PanelPresentation", "Keep Agent")
                        : QCoreApplication::translate("PanelPresentation", "Deny");
}

QString approveColorName(bool isUnregister)
{
    return isUnregister ? QStringLiteral("amber") : QStringLiteral("green");
}

QString denyColorName(bool isUnregister)
{
    return isUnregister ? QStringLiteral("green") : QStringLiteral("red");
}

int riskRank(const QString& risk)
{
    const QString lower = risk.toLower();
    if (lower == QLatin1String("read"))
        return 0;
    if (lower == QLatin1String("write"))
        return 1;
    if (lower == QLatin1String("destructive") || lower == QLatin1String("privileged"))
        return 3;
    return 2;
}

std::optional<qsizetype> highestRiskSegment(const QList<CommandSegment>& segments)
{
    std::optional<qsizetype> highest;
    int highestRank = 0;
    for (qsizetype index = 0; index < segments.size(); ++index) {
        const int rank = riskRank(segments.at(index).risk);
        if (rank > highestRank) {
            highestRank = rank;
            highest = index;
        }
    }
    return highest;
}

QString ruleCoverage(const PendingAction& action, RuleScope scope)
{
    const QString tool = QStringLiteral("`%1`").arg(action.mcpDisplayName().value_or(action.toolName));
    switch (scope.value()) {
    case RuleScope::agent:
        return QCoreApplication::translate("PanelPresentation", "every %1 action from %2").arg(tool, action.agentName);
    case RuleScope::machine:
        return QCoreApplication::translate("PanelPresentation", "every %1 action from any agent on %2")
            .arg(tool, action.agentMachine.value_or(QStringLiteral("this machine")));
    case RuleScope::global:
        return QCoreApplication::translate("PanelPresentation", "every %1 action from any agent on any machine")
            .arg(tool);
    }
    return QString();
}

bool isReadRisk(const QString& risk)
{
    return risk == QLatin1String("read");
}

QString updateAvailableText(const QString& version)
{
    return QStringLiteral("v") + version + QStringLiteral(" available");
}

} // namespace PanelPresentation
