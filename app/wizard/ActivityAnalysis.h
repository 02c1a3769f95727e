#pragma once

#include "app/tooling/CLICancelToken.h"

#include <QPointer>
#include <QString>

#include <QCoroTask>

#include <chrono>

class CLIService;
class WizardState;

// The activity analysis that follows the set-up run when the local model was
// chosen: it waits for the model download of the install phase, then lets the
// product tool scan the AI tools' past activity ("analyze-history") and
// reports progress and the number of rule suggestions on the wizard's state.
namespace ActivityAnalysis {

inline constexpr std::chrono::milliseconds pollInterval = std::chrono::seconds(1);
inline constexpr std::chrono::milliseconds defaultWaitLimit = std::chrono::seconds(600);

// Ends without touching state once cancel is cancelled (the wizard resets its
// fields itself then); cancelling also terminates the product tool's run.
QCoro::Task<> run(QPointer<WizardState> state, QPointer<CLIService> cli, CLICancelToken cancel,
                  std::chrono::milliseconds waitLimit = defaultWaitLimit);

// The done screen's line about the analysis; empty when none was started.
QString statusLine(const WizardState& state);
// Whether the line is followed by the note pointing to the web dashboard.
bool showsReviewNote(const WizardState& state);

// What closing the done screen asks first while the analysis waits or runs;
// empty texts when it may close at once.
QString closeAlertTitle(const WizardState& state);
QString closeAlertMessage(const WizardState& state);

} // namespace ActivityAnalysis
