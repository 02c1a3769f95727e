#include "app/wizard/AgentConfiguration.h"

#include "app/tooling/AgentNameRules.h"
#include "app/tooling/CLIService.h"
#include "app/tooling/ScopeChoice.h"
#include "app/tooling/ToolDetection.h"
#include "core/CoreConstants.h"
#include "core/LifetimeGuard.h"

#include <QVariantMap>

#include <algorithm>

AgentConfiguration::AgentConfiguration(QObject* parent)
    : QObject(parent)
    , m_detectedTools(new DetectedToolsModel(this))
{
    connect(m_detectedTools, &QAbstractItemModel::modelReset, this, &AgentConfiguration::updateCanContinue);
    connect(m_detectedTools, &QAbstractItemModel::dataChanged, this, &AgentConfiguration::updateCanContinue);
    connect(m_detectedTools, &QAbstractItemModel::modelReset, this, &AgentConfiguration::updateHasPerProjectTool);
    connect(m_detectedTools, &QAbstractItemModel::dataChanged, this, &AgentConfiguration::updateHasPerProjectTool);
    connect(this, &AgentConfiguration::agentNameChanged, this, &AgentConfiguration::updateCanContinue);
}

void AgentConfiguration::setCli(CLIService* cli)
{
    m_cli = cli;
}

QString AgentConfiguration::agentNameError() const
{
    return ::agentNameError(m_agentName).value_or(QString());
}

void AgentConfiguration::rename(const QString& name)
{
    if (m_agentName == name)
        return;
    m_agentName = name;
    Q_EMIT agentNameChanged();
}

void AgentConfiguration::choosePosture(SecurityPosture posture)
{
    if (m_securityPosture == posture)
        return;
    m_securityPosture = posture;
    Q_EMIT securityPostureChanged();
}

QVariantList AgentConfiguration::securityPostureChoices()
{
    QVariantList choices;
    for (const SecurityPosture posture : SecurityPostures::all()) {
        choices.append(QVariantMap{
            {QStringLiteral("label"), SecurityPostures::label(posture)},
            {QStringLiteral("description"), SecurityPostures::description(posture)},
            {QStringLiteral("recommended"), SecurityPostures::isRecommended(posture)},
        });
    }
    return choices;
}

QVariantList AgentConfiguration::scopeChoices()
{
    QVariantList choices;
    for (const ScopeChoice scope : {ScopeChoice::allProjects, ScopeChoice::perProject}) {
        choices.append(QVariantMap{
            {QStringLiteral("label"), ScopeChoices::label(scope)},
            {QStringLiteral("sublabel"), ScopeChoices::subLabel(scope)},
        });
    }
    return choices;
}

QCoro::Task<> AgentConfiguration::detectTools()
{
    const LifetimeGuard guard(this);
    rename(randomDefaultAgentName());
    setIsDetectingTools(true);
    QList<DetectedTool> tools;
    if (m_cli)
        tools = co_await ToolDetection::detectTools(*m_cli, CoreConstants::homeDirectory());
    if (!guard.alive())
        co_return;
    m_detectedTools->setTools(std::move(tools));
    Q_EMIT detectedToolsChanged();
    setIsDetectingTools(false);
}

void AgentConfiguration::setIsDetectingTools(bool value)
{
    if (m_isDetectingTools == value)
        return;
    m_isDetectingTools = value;
    Q_EMIT isDetectingToolsChanged();
}

void AgentConfiguration::updateCanContinue()
{
    const bool value = ::canContinue(m_detectedTools->tools(), m_agentName);
    if (m_canContinue == value)
        return;
    m_canContinue = value;
    Q_EMIT canContinueChanged();
}

void AgentConfiguration::updateHasPerProjectTool()
{
    const QList<DetectedTool>& tools = m_detectedTools->tools();
    const bool value = std::any_of(tools.begin(), tools.end(),
                                   [](const DetectedTool& tool) { return tool.scope == ScopeChoice::perProject; });
    if (m_hasPerProjectTool == value)
        return;
    m_hasPerProjectTool = value;
    Q_EMIT hasPerProjectToolChanged();
}
