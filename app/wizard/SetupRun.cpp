#include "app/wizard/SetupRun.h"

#include "app/tooling/AgentNameRules.h"
#include "app/tooling/CLIService.h"
#include "app/tooling/InitArguments.h"
#include "app/tooling/SecurityPosture.h"
#include "app/wizard/WizardState.h"
#include "core/SessionAgentLink.h"

#include <algorithm>
#include <limits>

namespace SetupRun {

namespace {

QString quoted(const QString& text)
{
    return QLatin1Char('"') + text + QLatin1Char('"');
}

// What one tool's registrations left behind.
struct Registration
{
    std::optional<QString> agentId; // the last one the product tool reported
    std::optional<QString> errorText; // an "error" event's message (all-projects runs only)
};

// Runs "init" and applies its events: the agent id and error text to the
// registration, the error and progress texts to the wizard.
QCoro::Task<CLIResult<void>> runInit(QPointer<WizardState> state, QPointer<CLIService> cli,
    QStringList arguments, QString workingDirectory, Registration& registration, bool remembersErrors,
    CLICancelToken cancel)
{
    if (!cli)
        co_return CLIError::launchFailed(QStringLiteral("The product tool is not available"));
    CLIService::EventHandler onEvent = [state, &registration, remembersErrors](const CLIEvent& event) {
        const QString agentId = event.dataValue(QStringLiteral("agentId"));
        if (!agentId.isEmpty())
            registration.agentId = agentId;
        if (event.type == QLatin1String("error") && event.message) {
            if (remembersErrors)
                registration.errorText = event.message;
            if (state)
                state->setErrorMessage(*event.message);
        }
        if (event.type == QLatin1String("progress") && event.message && state)
            state->setupLog()->updateLastLog(*event.message, LogStyle::active);
    };
    co_return co_await cli->run(
        std::move(arguments), std::move(workingDirectory), std::move(onEvent), cancel, CLIRunLimits::init());
}

} // namespace

QCoro::Task<> run(QPointer<WizardState> state, QPointer<CLIService> cli, QNetworkAccessManager& network,
    CLICancelToken cancel)
{
    if (!state)
        co_return;
    SetupLogModel& log = *state->setupLog();
    log.clear();
    state->registeredAgents()->clear();
    state->setSetupProgress(0.0);
    log.addSection(QStringLiteral("AGENTS"));

    const QString baseName = baseAgentName(state->agentName());
    const SecurityPosture posture = state->securityPosture();
    const QString templateName = SecurityPostures::templateName(posture);
    QList<DetectedTool> tools;
    for (const DetectedTool& tool : state->detectedTools()->tools()) {
        if (tool.enabled)
            tools.append(tool);
    }

    for (qsizetype i = 0; i < tools.size(); ++i) {
        const DetectedTool& tool = tools.at(i);
        const QString toolAgentName = baseName.isEmpty() ? QStringLiteral("agent-%1").arg(i + 1) : baseName;
        Registration registration;

        if (tool.scope == ScopeChoice::allProjects) {
            log.appendLog(QStringLiteral("Registering agent ") + quoted(toolAgentName)
                              + QStringLiteral(" (global — all projects)"),
                          LogStyle::active);
            const QString projectsRoot = tool.projectsRootEnabled ? tool.projectsRoot : QString();
            const CLIResult<void> result = co_await runInit(state, cli,
                InitArguments::allProjects(baseName, templateName, tool.subtitle, projectsRoot), QString(),
                registration, true, cancel);
            if (!state || cancel.isCancelled())
                co_return;
            if (!result) {
                log.updateLastLog(QStringLiteral("Failed to register agent ") + quoted(toolAgentName)
                                      + QStringLiteral(": ") + result.error().description(),
                                  LogStyle::pending);
                state->setErrorMessage(result.error().description());
            } else if (registration.errorText) {
                log.updateLastLog(QStringLiteral("Failed: ") + *registration.errorText, LogStyle::pending);
            } else {
                log.updateLastLog(QStringLiteral("Registered agent ") + quoted(toolAgentName)
                                      + QStringLiteral(" (global — all projects)"),
                                  LogStyle::done);
            }
        } else {
            for (const DiscoveredProject& project : tool.projects) {
                if (!project.selected)
                    continue;
                log.appendLog(QStringLiteral("Registering agent for ") + project.path, LogStyle::active);
                const CLIResult<void> result = co_await runInit(state, cli,
                    InitArguments::perProject(baseName, templateName, tool.subtitle), project.path,
                    registration, false, cancel);
                if (!state || cancel.isCancelled())
                    co_return;
                if (result) {
                    log.updateLastLog(QStringLiteral("Registered agent for ") + project.path, LogStyle::done);
                } else {
                    log.updateLastLog(QStringLiteral("Failed: ") + project.path + QStringLiteral(" — ")
                                          + result.error().description(),
                                      LogStyle::pending);
                    state->setErrorMessage(result.error().description());
                }
            }
        }

        state->registeredAgents()->append({QUuid::createUuid(), toolAgentName,
                                           tool.scope == ScopeChoice::allProjects ? QStringLiteral("global")
                                                                                  : QStringLiteral("per-project"),
                                           tool.name});

        const QString sessionToken = state->sessionToken();
        if (!sessionToken.isEmpty() && registration.agentId) {
            const QString account
                = state->signedInEmail().isEmpty() ? QStringLiteral("account") : state->signedInEmail();
            log.appendLog(QStringLiteral("Linking ") + toolAgentName + QStringLiteral(" to ") + account,
                          LogStyle::active);
            const LinkOutcome outcome = co_await SessionAgentLink::linkAgent(network, *registration.agentId, sessionToken);
            if (!state || cancel.isCancelled())
                co_return;
            if (outcome.linked) {
                log.updateLastLog(QStringLiteral("Linked ") + toolAgentName + QStringLiteral(" to ") + account,
                                  LogStyle::done);
                // The tool's own registry learns of the link; its answer changes nothing here.
                QStringList markLinked{QStringLiteral("mark-linked"), QStringLiteral("--agent"), toolAgentName};
                if (cli)
                    co_await cli->runCapturingOutput(std::move(markLinked), cancel);
                if (!state || cancel.isCancelled())
                    co_return;
                if (outcome.seeded) {
                    state->setTemplateRuleCount(int(std::clamp<qint64>(outcome.rulesCount, 0, std::numeric_limits<int>::max())));
                    log.appendLog(QStringLiteral("Rules seeded from ") + quoted(SecurityPostures::rawValue(posture))
                                      + QStringLiteral(" template (") + QString::number(outcome.rulesCount)
                                      + QStringLiteral(" rules)"),
                                  LogStyle::done);
                }
            } else {
                if (outcome.refusal)
                    state->setErrorMessage(QStringLiteral("Link failed: ") + *outcome.refusal);
                log.updateLastLog(QStringLiteral("Linking failed — link manually from dashboard"), LogStyle::pending);
            }
        }

        log.appendLog(QStringLiteral("Installing hook for ") + tool.name, LogStyle::active);
        log.updateLastLog(QStringLiteral("Hook installed for ") + tool.name, LogStyle::done);
        state->setSetupProgress(double(i + 1) / double(tools.size()) * 0.6);
    }

    state->setSetupProgress(1.0);
    state->clearSessionToken();
    state->setCurrentScreen(WizardState::WizardScreen::done);
    if (state->installLLM())
        state->startAnalysis();
}

QString phaseText(double progress)
{
    if (progress >= 1.0)
        return QStringLiteral("Complete!");
    if (progress > 0.8)
        return QStringLiteral("Almost there...");
    if (progress > 0.5)
        return QStringLiteral("Configuring agents...");
    return QStringLiteral("Registering...");
}

} // namespace SetupRun
