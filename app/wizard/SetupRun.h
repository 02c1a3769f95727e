#pragma once

#include "app/tooling/CLICancelToken.h"

#include <QCoroTask>
#include <QPointer>
#include <QString>

class CLIService;
class QNetworkAccessManager;
class WizardState;

// The set-up run behind the configure screen's "Continue": registers an agent
// for every enabled tool through the product tool (one for all projects, or
// one per selected project folder), links each to the signed-in account with
// the session token, and reports every step in the wizard's log. It ends on
// the done screen. One tool and one project after another; no failure stops
// the run.
namespace SetupRun {

// Works on state while it exists; the run ends quietly when it goes away or
// when cancel is cancelled (the product tool's run is stopped then; whoever
// cancels moves the wizard on). Without a product tool every registration fails.
QCoro::Task<> run(QPointer<WizardState> state, QPointer<CLIService> cli, QNetworkAccessManager& network,
    CLICancelToken cancel);

// The setting-up screen's caption for a progress between 0 and 1.
QString phaseText(double progress);

} // namespace SetupRun
