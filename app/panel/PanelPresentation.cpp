#include "app/panel/PanelPresentation.h"

#include "core/PendingAction.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QHash>

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
    return QCoreApplication::translate("PanelPresentation", "%1:%2 remaining")
        .arg(minutes)
        .arg(seconds, 2, 10, QLatin1Char('0'));
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
        parts << (minutes == 1 ? QCoreApplication::translate("PanelPresentation", "1 minute")
                               : QCoreApplication::translate("PanelPresentation", "%1 minutes").arg(minutes));
    if (rest > 0 || minutes == 0)
        parts << (rest == 1 ? QCoreApplication::translate("PanelPresentation", "1 second")
                            : QCoreApplication::translate("PanelPresentation", "%1 seconds").arg(rest));
    return parts.join(u' ');
}

QString spokenSummary(const QString& title, const std::optional<QString>& classification, double remainingSeconds)
{
    QStringList parts{title};
    if (classification && !classification->isEmpty())
        parts << (badgeColorName(*classification) == QLatin1String("red")
                ? QCoreApplication::translate("PanelPresentation", "high risk")
                : QCoreApplication::translate("PanelPresentation", "low risk"));
    parts << (remainingSeconds > 0.0 ? QCoreApplication::translate("PanelPresentation", "%1 left")
                                           .arg(spokenDuration(remainingSeconds))
                                     : QCoreApplication::translate("PanelPresentation", "expired"));
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
            .arg(label,
                action.agentMachine.value_or(
                    QCoreApplication::translate("PanelPresentation", "this machine")));
    case RuleScope::global:
        return QCoreApplication::translate(
            "PanelPresentation", "Future %1 actions from any agent will be auto-approved.")
            .arg(label);
    }
    return QString();
}

QString plainExplanation(const QString& explanation)
{
    QString plain = explanation;
    plain.remove(QLatin1Char('`'));
    return plain;
}

QStringList explanationLines(const QString& explanation)
{
    QStringList lines;
    QString normalised = plainExplanation(explanation);
    normalised.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    normalised.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    const QStringList pieces = normalised.split(QLatin1Char('\n'));
    for (const QString& piece : pieces) {
        if (!piece.trimmed().isEmpty())
            lines.append(piece);
    }
    return lines;
}

QString explanationMode(const PendingAction& action, ExplanationWait wait)
{
    if (action.isUnregister())
        return QStringLiteral("none");
    if (action.isMcpTool() && action.explanation)
        return QStringLiteral("caption");
    if (!wait.shown)
        return action.explanation || wait.expected ? QStringLiteral("button") : QStringLiteral("none");
    if (!action.explanation)
        return wait.timedOut ? QStringLiteral("unavailable") : QStringLiteral("generating");
    return QStringLiteral("lines");
}

QString decisionSendingText(const QString& decision, bool offline)
{
    const bool approving = decision == QLatin1String("approved");
    if (offline)
        return approving
            ? QCoreApplication::translate("PanelPresentation", "Offline — trying to send the approval…")
            : QCoreApplication::translate("PanelPresentation", "Offline — trying to send the denial…");
    return approving ? QCoreApplication::translate("PanelPresentation", "Sending approval…")
                     : QCoreApplication::translate("PanelPresentation", "Sending denial…");
}

QString decisionFailureText(int status)
{
    if (status < 0)
        return QCoreApplication::translate(
            "PanelPresentation", "Couldn't sign the decision — it was not sent");
    if (status == 0)
        return QCoreApplication::translate(
            "PanelPresentation", "Couldn't reach Quorvane — your decision was not recorded");
    if (status >= 500)
        return QCoreApplication::translate(
            "PanelPresentation", "Quorvane had a problem (HTTP %1) — your decision was not recorded")
            .arg(status);
    return QCoreApplication::translate(
        "PanelPresentation", "Quorvane refused the decision (HTTP %1) — it was not recorded")
        .arg(status);
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
    // Two vocabularies reach us: the classifier's read/write/network/
    // destructive/privileged and the back-end's low/medium/high.
    static const QHash<QString, int> ranks{
        {QStringLiteral("read"), 1},
        {QStringLiteral("low"), 1},
        {QStringLiteral("write"), 2},
        {QStringLiteral("medium"), 2},
        {QStringLiteral("network"), 3},
        {QStringLiteral("destructive"), 4},
        {QStringLiteral("high"), 4},
        {QStringLiteral("privileged"), 5},
    };
    return ranks.value(risk.toLower(), 0);
}

std::optional<qsizetype> highestRiskSegment(const QList<CommandSegment>& segments)
{
    std::optional<qsizetype> highest;
    int highestRank = riskRank(QStringLiteral("read"));
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
    const QString tool = action.mcpDisplayName().value_or(action.toolName);
    switch (scope.value()) {
    case RuleScope::agent:
        return QCoreApplication::translate("PanelPresentation", "every %1 action from %2").arg(tool, action.agentName);
    case RuleScope::machine:
        return QCoreApplication::translate("PanelPresentation", "every %1 action from any agent on %2")
            .arg(tool,
                action.agentMachine.value_or(
                    QCoreApplication::translate("PanelPresentation", "this machine")));
    case RuleScope::global:
        return QCoreApplication::translate("PanelPresentation", "every %1 action from any agent on any machine")
            .arg(tool);
    }
    return QString();
}

bool isReadRisk(const QString& risk)
{
    return risk == QLatin1String("read") || risk == QLatin1String("low");
}

QString updateAvailableText(const QString& version)
{
    return QStringLiteral("v") + version + QStringLiteral(" available");
}

} // namespace PanelPresentation
