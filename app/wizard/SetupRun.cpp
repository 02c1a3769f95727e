#include "app/wizard/SetupRun.h"

#include "app/tooling/AgentNameRules.h"
#include "app/tooling/CLIService.h"
#include "app/tooling/InitArguments.h"
#include "app/tooling/SecurityPosture.h"
#include "app/wizard/AccountSignIn.h"
#include "app/wizard/AgentConfiguration.h"
#include "core/LifetimeGuard.h"
#include "core/SessionAgentLink.h"

#include <algorithm>
#include <limits>

namespace {

QString quoted(const QString& text)
{
    return QLatin1Char('"') + text + QLatin1Char('"');
}

} // namespace

// What one tool's registrations left behind.
struct SetupRun::Registration
{
    std::optional<QString> agentId; // the last one the product tool reported
    std::optional<QString> errorText; // an "error" event's message (all-projects runs only)
};

SetupRun::SetupRun(const AccountSignIn& account, const AgentConfiguration& configuration, QObject* parent)
    : QObject(parent)
    , m_account(account)
    , m_configuration(configuration)
    , m_log(new SetupLogModel(this))
    , m_registeredAgents(new AgentSummaryModel(this))
{
}

SetupRun::~SetupRun()
{
    m_cancel.cancel();
}

void SetupRun::cancel()
{
    m_cancel.cancel();
    setProgress(1.0);
}

QCoro::Task<CLIResult<void>> SetupRun::runInit(QPointer<CLIService> cli, QStringList arguments,
    QString workingDirectory, Registration& registration, bool remembersErrors)
{
    if (!cli)
        co_return CLIError::launchFailed(tr("The product tool is not available"));
    const LifetimeGuard guard(this);
    CLIService::EventHandler onEvent = [this, guard, &registration, remembersErrors](const CLIEvent& event) {
        const QString agentId = event.dataValue(QStringLiteral("agentId"));
        if (!agentId.isEmpty())
            registration.agentId = agentId;
        if (event.type == QLatin1String("error") && event.message) {
            if (remembersErrors)
                registration.errorText = event.message;
            if (guard.alive())
                setErrorMessage(*event.message);
        }
        if (event.type == QLatin1String("progress") && event.message && guard.alive())
            m_log->updateLastLog(*event.message, LogStyle::active);
    };
    co_return co_await cli->run(
        std::move(arguments), std::move(workingDirectory), std::move(onEvent), m_cancel, CLIRunLimits::init());
}

QCoro::Task<bool> SetupRun::run(QPointer<CLIService> cli, QNetworkAccessManager& network)
{
    if (m_running)
        co_return false;
    const LifetimeGuard guard(this);
    m_running = true;
    m_cancel = CLICancelToken();
    QCoro::Task<bool> registering = registerAgents(cli, network);
    const bool completed = co_await std::move(registering);
    if (guard.alive())
        m_running = false;
    co_return completed;
}

QCoro::Task<bool> SetupRun::registerAgents(QPointer<CLIService> cli, QNetworkAccessManager& network)
{
    const LifetimeGuard guard(this);
    const CLICancelToken cancel = m_cancel;
    SetupLogModel& log = *m_log;
    log.clear();
    m_registeredAgents->clear();
    setProgress(0.0);
    log.addSection(tr("AGENTS"));

    const QString baseName = baseAgentName(m_configuration.agentName());
    const SecurityPosture posture = m_configuration.securityPosture();
    const QString templateName = SecurityPostures::templateName(posture);
    QList<DetectedTool> tools;
    for (const DetectedTool& tool : m_configuration.detectedTools()->tools()) {
        if (tool.enabled)
            tools.append(tool);
    }

    for (qsizetype i = 0; i < tools.size(); ++i) {
        const DetectedTool& tool = tools.at(i);
        const QString toolAgentName = baseName.isEmpty() ? QStringLiteral("agent-%1").arg(i + 1) : baseName;
        Registration registration;

        if (tool.scope == ScopeChoice::allProjects) {
            log.appendLog(tr("Registering agent %1 (global — all projects)").arg(quoted(toolAgentName)),
                LogStyle::active);
            const QString projectsRoot = tool.projectsRootEnabled ? tool.projectsRoot : QString();
            const CLIResult<void> result = co_await runInit(cli,
                InitArguments::allProjects(baseName, templateName, tool.subtitle, projectsRoot), QString(),
                registration, true);
            if (!guard.alive() || cancel.isCancelled())
                co_return false;
            if (!result) {
                log.updateLastLog(tr("Failed to register agent %1: %2")
                                      .arg(quoted(toolAgentName), result.error().description()),
                    LogStyle::pending);
                setErrorMessage(result.error().description());
            } else if (registration.errorText) {
                log.updateLastLog(tr("Failed: %1").arg(*registration.errorText), LogStyle::pending);
            } else {
                log.updateLastLog(
                    tr("Registered agent %1 (global — all projects)").arg(quoted(toolAgentName)),
                    LogStyle::done);
            }
        } else {
            for (const DiscoveredProject& project : tool.projects) {
                if (!project.selected)
                    continue;
                log.appendLog(tr("Registering agent for %1").arg(project.path), LogStyle::active);
                const CLIResult<void> result = co_await runInit(cli,
                    InitArguments::perProject(baseName, templateName, tool.subtitle), project.path,
                    registration, false);
                if (!guard.alive() || cancel.isCancelled())
                    co_return false;
                if (result) {
                    log.updateLastLog(tr("Registered agent for %1").arg(project.path), LogStyle::done);
                } else {
                    log.updateLastLog(tr("Failed: %1 — %2").arg(project.path, result.error().description()),
                        LogStyle::pending);
                    setErrorMessage(result.error().description());
                }
            }
        }

        m_registeredAgents->append({ QUuid::createUuid(), toolAgentName,
            tool.scope == ScopeChoice::allProjects ? tr("global") : tr("per-project"), tool.name });

        const QString sessionToken = m_account.sessionToken();
        if (!sessionToken.isEmpty() && registration.agentId) {
            const QString account = m_account.email().isEmpty() ? tr("account") : m_account.email();
            log.appendLog(tr("Linking %1 to %2").arg(toolAgentName, account), LogStyle::active);
            const LinkOutcome outcome = co_await SessionAgentLink::linkAgent(network, *registration.agentId, sessionToken);
            if (!guard.alive() || cancel.isCancelled())
                co_return false;
            if (outcome.linked) {
                log.updateLastLog(tr("Linked %1 to %2").arg(toolAgentName, account), LogStyle::done);
                // The tool's own registry learns of the link; its answer changes nothing here.
                QStringList markLinked{QStringLiteral("mark-linked"), QStringLiteral("--agent"), toolAgentName};
                if (cli)
                    co_await cli->runCapturingOutput(std::move(markLinked), cancel);
                if (!guard.alive() || cancel.isCancelled())
                    co_return false;
                if (outcome.seeded) {
                    setTemplateRuleCount(int(std::clamp<qint64>(outcome.rulesCount, 0, std::numeric_limits<int>::max())));
                    log.appendLog(tr("Rules seeded from %1 template (%2 rules)")
                                      .arg(quoted(SecurityPostures::label(posture)))
                                      .arg(outcome.rulesCount),
                        LogStyle::done);
                }
            } else {
                if (outcome.refusal)
                    setErrorMessage(tr("Link failed: %1").arg(*outcome.refusal));
                log.updateLastLog(tr("Linking failed — link manually from dashboard"), LogStyle::pending);
            }
        }

        log.appendLog(tr("Installing hook for %1").arg(tool.name), LogStyle::active);
        log.updateLastLog(tr("Hook installed for %1").arg(tool.name), LogStyle::done);
        setProgress(double(i + 1) / double(tools.size()) * 0.6);
    }

    setProgress(1.0);
    co_return true;
}

QString SetupRun::phaseText() const
{
    const double progress = this->progress();
    if (progress >= 1.0)
        return tr("Complete!");
    if (progress > 0.8)
        return tr("Almost there...");
    if (progress > 0.5)
        return tr("Configuring agents...");
    return tr("Registering...");
}

void SetupRun::setProgress(double value)
{
    if (m_progress == value)
        return;
    m_progress = value;
    Q_EMIT progressChanged();
}

void SetupRun::setTemplateRuleCount(int value)
{
    if (m_templateRuleCount == value)
        return;
    m_templateRuleCount = value;
    Q_EMIT templateRuleCountChanged();
}

void SetupRun::setErrorMessage(const QString& value)
{
    if (m_errorMessage == value)
        return;
    m_errorMessage = value;
    Q_EMIT errorMessageChanged();
}
