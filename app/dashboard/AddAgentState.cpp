#include "app/dashboard/AddAgentState.h"
#include "core/LifetimeGuard.h"
#include "core/AssignAndNotify.h"
#include "core/VisibleText.h"

#include "app/tooling/AgentNameRules.h"
#include "app/tooling/CLIService.h"
#include "app/tooling/InitArguments.h"
#include "app/tooling/ScopeChoice.h"
#include "app/tooling/ToolDetection.h"
#include "app/tooling/ToolScan.h"
#include "core/CoreConstants.h"
#include "core/MachineAuthService.h"

#include <QFileInfo>
#include <QTimer>
#include <QVariantMap>

#include <algorithm>
#include <utility>

namespace {

QString trimmedOf(const QString& text, QStringView characters)
{
    qsizetype start = 0;
    qsizetype end = text.size();
    while (start < end && characters.contains(text.at(start)))
        ++start;
    while (end > start && characters.contains(text.at(end - 1)))
        --end;
    return text.mid(start, end - start);
}

} // namespace

AddAgentState::AddAgentState(CLIService& cli, MachineAuthService& auth, QObject* parent, QString home)
    : QObject(parent)
    , m_cli(cli)
    , m_auth(auth)
    , m_home(home.isEmpty() ? CoreConstants::homeDirectory() : std::move(home))
    , m_tools(new DetectedToolsModel(this))
    , m_nameLabel(nameLabel())
{
    connect(m_tools, &QAbstractItemModel::modelReset, this, &AddAgentState::toolsChanged);
    connect(m_tools, &QAbstractItemModel::dataChanged, this, &AddAgentState::toolsChanged);
}

// ---------------------------------------------------------------------------
// Scan

void AddAgentState::scan()
{
    if (m_isScanning)
        return;
    setIsScanning(true);
    setAgentName(randomDefaultAgentName());
    runScan();
}

QCoro::Task<> AddAgentState::runScan()
{
    const LifetimeGuard guard(this);
    QList<DetectedTool> tools = co_await ToolDetection::detectTools(m_cli, m_home);
    if (!guard.alive())
        co_return;
    QList<DiscoveredProject> projects;
    for (const DetectedTool& tool : std::as_const(tools))
        projects += tool.projects;
    if (const std::optional<QString> root = ToolScan::commonProjectsRoot(projects, m_home))
        setProjectsRoot(*root);
    m_tools->setTools(std::move(tools));
    setIsScanning(false);
}

// ---------------------------------------------------------------------------
// Registration

bool AddAgentState::canRegister() const
{
    const QList<DetectedTool>& tools = m_tools->tools();
    const bool anyEnabled = std::any_of(tools.begin(), tools.end(), [](const DetectedTool& tool) { return tool.enabled; });
    return anyEnabled && !trimmedOf(m_agentName, u" \t").isEmpty();
}

QString AddAgentState::projectsRootFor(const DetectedTool& tool) const
{
    QList<DiscoveredProject> existing;
    for (const DiscoveredProject& project : tool.projects) {
        if (QFileInfo::exists(ToolScan::expandHome(project.path, m_home)))
            existing.append(project);
    }
    if (const std::optional<QString> root = ToolScan::commonProjectsRoot(existing, m_home))
        return *root;
    return m_projectsRootEnabled ? m_projectsRoot : QString();
}

QList<AddAgentState::InitRun> AddAgentState::initRuns(const QString& name) const
{
    const QString templateName = SecurityPostures::templateName(m_securityPosture);
    QList<InitRun> runs;
    for (const DetectedTool& tool : m_tools->tools()) {
        if (!tool.enabled)
            continue;
        if (tool.scope == ScopeChoice::allProjects) {
            runs.append({InitArguments::allProjects(name, templateName, tool.subtitle, projectsRootFor(tool)), {}});
            continue;
        }
        for (const DiscoveredProject& project : tool.projects) {
            if (project.selected)
                runs.append({InitArguments::perProject(name, templateName, tool.subtitle),
                             ToolScan::expandHome(project.path, m_home)});
        }
    }
    return runs;
}

void AddAgentState::registerAgent()
{
    if (!canRegister() || m_isRegistering)
        return;
    setIsRegistering(true);
    setRegisterError(std::nullopt);
    setRegisterProgress(tr("Registering..."));
    runRegistration(initRuns(trimmedOf(m_agentName, u" \n\r\t")));
}

QCoro::Task<> AddAgentState::runRegistration(QList<InitRun> runs)
{
    const LifetimeGuard guard(this);
    CLIService& cli = m_cli;
    MachineAuthService& auth = m_auth;
    const auto agentIds = std::make_shared<QStringList>();
    const CLIService::EventHandler onEvent = [this, guard, agentIds](const CLIEvent& event) {
        if (!guard.alive())
            return;
        if (event.type == QLatin1String("progress") && event.message)
            setRegisterProgress(*event.message);
        else if (event.type == QLatin1String("error"))
            setRegisterError(event.message);
        else if (event.type == QLatin1String("verified") && !event.dataValue(QStringLiteral("agentId")).isEmpty())
            agentIds->append(event.dataValue(QStringLiteral("agentId")));
    };
    for (const InitRun& run : std::as_const(runs)) {
        const CLICancelToken cancel;
        const CLIResult<void> result
            = co_await cli.run(run.arguments, run.workingDirectory, onEvent, cancel, CLIRunLimits::init());
        if (!guard.alive())
            co_return;
        if (!result) {
            finishRegistration(result.error().description());
            co_return;
        }
    }
    // Agents registered so far stay registered whatever happens next.
    for (const QString& agentId : std::as_const(*agentIds)) {
        setRegisterProgress(tr("Linking..."));
        const std::variant<LinkResult, LinkError> linked = co_await auth.linkAgent(agentId);
        if (!guard.alive())
            co_return;
        if (const LinkError* error = std::get_if<LinkError>(&linked)) {
            finishRegistration(error->description());
            co_return;
        }
    }
    finishRegistration(std::nullopt);
}

void AddAgentState::finishRegistration(std::optional<QString> error)
{
    if (error)
        setRegisterError(error);
    setIsRegistering(false);
    if (!error)
        setRegisterSuccess(true);
}

// ---------------------------------------------------------------------------
// Choices and published values

QString AddAgentState::nameLabel() const
{
    const QList<DetectedTool>& tools = m_tools->tools();
    const bool perProject = std::any_of(tools.begin(), tools.end(),
                                        [](const DetectedTool& tool) { return tool.scope == ScopeChoice::perProject; });
    return perProject ? tr("Agent Name") : tr("Machine Name");
}

QVariantList AddAgentState::postures()
{
    QVariantList list;
    for (const SecurityPosture posture : SecurityPostures::all()) {
        list.append(QVariantMap{{QStringLiteral("value"), int(posture)},
                                {QStringLiteral("label"), SecurityPostures::label(posture)},
                                {QStringLiteral("description"), SecurityPostures::description(posture)},
                                {QStringLiteral("recommended"), SecurityPostures::isRecommended(posture)}});
    }
    return list;
}

QVariantList AddAgentState::scopes()
{
    QVariantList list;
    for (const ScopeChoice scope : {ScopeChoice::allProjects, ScopeChoice::perProject}) {
        list.append(QVariantMap{{QStringLiteral("value"), int(scope)},
                                {QStringLiteral("label"), ScopeChoices::label(scope)},
                                {QStringLiteral("subLabel"), ScopeChoices::subLabel(scope)}});
    }
    return list;
}

void AddAgentState::toolsChanged()
{
    const bool can = canRegister();
    assignAndNotify(m_canRegister, can, this, &AddAgentState::canRegisterChanged);
    const QString label = nameLabel();
    assignAndNotify(m_nameLabel, label, this, &AddAgentState::nameLabelChanged);
}

void AddAgentState::setAgentName(const QString& value)
{
    if (assignAndNotify(m_agentName, value, this, &AddAgentState::agentNameChanged))
        toolsChanged();
}

void AddAgentState::setSecurityPostureValue(int value)
{
    for (const SecurityPosture posture : SecurityPostures::all()) {
        if (int(posture) == value)
            setSecurityPosture(posture);
    }
}

QVariant AddAgentState::registerErrorValue() const
{
    return m_registerError ? QVariant(visibleText(*m_registerError)) : QVariant();
}

void AddAgentState::setSecurityPosture(SecurityPosture value)
{
    assignAndNotify(m_securityPosture, value, this, &AddAgentState::securityPostureChanged);
}

void AddAgentState::setProjectsRoot(const QString& value)
{
    assignAndNotify(m_projectsRoot, value, this, &AddAgentState::projectsRootChanged);
}

void AddAgentState::setProjectsRootEnabled(bool value)
{
    assignAndNotify(m_projectsRootEnabled, value, this, &AddAgentState::projectsRootEnabledChanged);
}

void AddAgentState::setIsScanning(bool value)
{
    assignAndNotify(m_isScanning, value, this, &AddAgentState::isScanningChanged);
}

void AddAgentState::setIsRegistering(bool value)
{
    assignAndNotify(m_isRegistering, value, this, &AddAgentState::isRegisteringChanged);
}

void AddAgentState::setRegisterProgress(const QString& value)
{
    assignAndNotify(m_registerProgress, value, this, &AddAgentState::registerProgressChanged);
}

void AddAgentState::setRegisterError(const std::optional<QString>& value)
{
    assignAndNotify(m_registerError, value, this, &AddAgentState::registerErrorChanged);
}

void AddAgentState::setRegisterSuccess(bool value)
{
    assignAndNotify(m_registerSuccess, value, this, &AddAgentState::registerSuccessChanged);
}
