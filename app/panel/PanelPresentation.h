#pragma once

#include "core/CommandSegment.h"
#include "core/RuleScope.h"

#include <QString>
#include <QStringList>

#include <optional>

struct PendingAction;

// The texts and colour names the approvals panel shows, as pure functions of
// an action and the time left. Colour names are the ones of the shared style
// ("teal", "red", "amber", "green", "secondaryLabel"); the views map them to
// colours.
namespace PanelPresentation {

// "Actions" followed by " (N)" when N is above 0.
QString actionsTabLabel(qsizetype pendingCount);

// Seconds from now until the action expires, or 0 when its expiry cannot be
// read (such an action counts as expired).
double remainingSeconds(const PendingAction& action, const QDateTime& now);

// "Expired" at 0 s or less, else "M:SS remaining" from the whole seconds
// (65.9 s gives "1:05 remaining"; minutes are not padded).
QString countdownText(double remaining);
// "red" once expired, "amber" for an unregister request, "teal" otherwise.
QString countdownColorName(double remaining, bool isUnregister);

// The text a classification badge shows: each word with its first letter in
// upper case and the rest in lower case ("network" gives "Network").
QString badgeText(const QString& classification);
// "red" for the risky classes (bash, shell, network, agent, unknown,
// destructive, in any letter case), "teal" for every other value.
QString badgeColorName(const QString& classification);
// What a badge is made from: the MCP service name, else the classification;
// absent (no badge) when neither exists or it is empty.
std::optional<QString> badgeSource(const PendingAction& action);

// The label of the scope warning: the MCP service name, else the
// classification, else "unknown".
QString ruleLabel(const PendingAction& action);
// "Future LABEL actions from ... will be auto-approved." for a scope.
QString scopeWarning(const PendingAction& action, RuleScope scope);

// The explanation as plain text: the model writes Markdown, whose code spans
// ("`rm -rf build`") and code fences ("```") lose their backticks.
QString plainExplanation(const QString& explanation);
// plainExplanation() split at line breaks, lines that are blank after
// trimming dropped.
QStringList explanationLines(const QString& explanation);

// Where a row's explanation stands.
struct ExplanationWait
{
    bool shown = false; // the person asked for it
    bool expected = true; // explanations can arrive for actions without one
    bool timedOut = false; // asked for long enough ago that none will come
};

// How a row shows the explanation:
//   "none"        an unregister request, or an action without explanation
//                 when none can arrive: nothing;
//   "caption"     an MCP tool that carries an explanation: it, under the title;
//   "button"      "Explain this request", not asked for yet;
//   "generating"  asked for, not arrived yet;
//   "unavailable" asked for, and none came in time;
//   "lines"       asked for and present: one caption line per explanation line.
QString explanationMode(const PendingAction& action, ExplanationWait wait);

// The one line a row shows for its decision: on its way (saying so when the
// back-end is out of reach), or why it did not go through (status as from
// ApprovalSyncService::sendDecision).
QString decisionSendingText(const QString& decision, bool offline);
QString decisionFailureText(int status);

// What a screen reader says of an action after a button's label: the title,
// the risk ("high risk" for the classes badgeColorName() shows red, "low
// risk" for the others, nothing without a class) and the time left
// ("1 minute 5 seconds left", or "expired"), joined with ", ".
QString spokenSummary(const QString& title, const std::optional<QString>& classification, double remainingSeconds);
// Whole seconds as words: "1 minute 5 seconds", "2 minutes", "40 seconds".
QString spokenDuration(double seconds);

// The two decision buttons: first "approved", second "denied".
QString approveLabel(bool isUnregister); // "Remove" / "Approve"
QString denyLabel(bool isUnregister);    // "Keep Agent" / "Deny"
QString approveColorName(bool isUnregister); // "amber" / "green"
QString denyColorName(bool isUnregister);    // "green" / "red"

// The colour of a command segment line: "read" and "low" segments are
// secondary and faded, every other risk is red.
bool isReadRisk(const QString& risk);
// How much a segment's risk weighs, over both vocabularies and in any case:
// unknown 0 < read = low 1 < write = medium 2 < network 3 < destructive =
// high 4 < privileged 5.
int riskRank(const QString& risk);
// The first of the segments with the highest rank above "read"; absent when
// every segment only reads (or there are none).
std::optional<qsizetype> highestRiskSegment(const QList<CommandSegment>& segments);
// What a rule made at this scope would approve from then on, e.g.
// "every Bash action from claude-work" (plain text): the back-end's rules match the
// tool, so the text names the tool, never just this one command.
QString ruleCoverage(const PendingAction& action, RuleScope scope);

// "v" + version + " available".
QString updateAvailableText(const QString& version);

} // namespace PanelPresentation
