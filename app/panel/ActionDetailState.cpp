#include "app/panel/ActionDetailState.h"

#include "app/panel/PanelPresentation.h"

#include <QVariantMap>

ActionDetailState::ActionDetailState(QObject* parent)
    : QObject(parent)
    , m_clock([] { return QDateTime::currentDateTimeUtc(); })
{
}

void ActionDetailState::setAction(const std::optional<PendingAction>& action)
{
    if (action == m_action)
        return;
    const bool sameId = action && m_action && action->id == m_action->id;
    m_action = action;
    m_expiresDate = m_action ? m_action->expiresDate() : std::nullopt;
    m_title.clear();
    m_segments.clear();
    m_highestRiskText.clear();
    m_badgeText.clear();
    m_badgeColorName.clear();
    if (m_action) {
        m_title = m_action->mcpDisplayName().value_or(m_action->toolName);
        if (const auto segments = m_action->detailSegments()) {
            const std::optional<qsizetype> highest = PanelPresentation::highestRiskSegment(*segments);
            if (highest)
                m_highestRiskText = tr("Asked because this part is %1: %2")
                                        .arg(segments->at(*highest).risk, segments->at(*highest).segment);
            for (qsizetype index = 0; index < segments->size(); ++index) {
                const CommandSegment& segment = segments->at(index);
                m_segments.append(QVariantMap{{QStringLiteral("segment"), visibleText(segment.segment)},
                                              {QStringLiteral("baseCmd"), visibleText(segment.baseCmd)},
                                              {QStringLiteral("risk"), visibleText(segment.risk)},
                                              {QStringLiteral("isRead"), PanelPresentation::isReadRisk(segment.risk)},
                                              {QStringLiteral("isHighestRisk"), highest == index}});
            }
        }
        if (const auto badge = PanelPresentation::badgeSource(*m_action)) {
            m_badgeText = PanelPresentation::badgeText(*badge);
            m_badgeColorName = PanelPresentation::badgeColorName(*badge);
        }
    }
    Q_EMIT actionChanged();
    Q_EMIT countdownChanged();
    if (sameId)
        keepScopeOnOffer();
    else
        resetChoices();
    // The warning names the agent, its machine and the label of the action.
    Q_EMIT ruleScopeChanged();
}

void ActionDetailState::resetChoices()
{
    setResponding(false);
    setCreateRule(false);
    m_ruleScope = RuleScope::agent;
    keepScopeOnOffer();
}

void ActionDetailState::keepScopeOnOffer()
{
    // The picker can only show a scope that is on offer: with a single agent
    // on the machine "This Agent" is not offered, so the page starts on the
    // narrowest scope that is.
    const QList<RuleScope> offered = availableScopes();
    if (!offered.isEmpty() && !offered.contains(m_ruleScope)) {
        m_ruleScope = offered.first();
        Q_EMIT ruleScopeChanged();
    }
}

QString ActionDetailState::approveLabel() const
{
    return PanelPresentation::approveLabel(isUnregister());
}

QString ActionDetailState::denyLabel() const
{
    return PanelPresentation::denyLabel(isUnregister());
}

QString ActionDetailState::approveColorName() const
{
    return PanelPresentation::approveColorName(isUnregister());
}

QString ActionDetailState::denyColorName() const
{
    return PanelPresentation::denyColorName(isUnregister());
}

double ActionDetailState::remainingSeconds() const
{
    if (!m_expiresDate)
        return 0.0;
    const QDateTime now = m_clock();
    if (!now.isValid())
        return 0.0;
    return double(now.msecsTo(*m_expiresDate)) / 1000.0;
}

QString ActionDetailState::countdownText() const
{
    return PanelPresentation::countdownText(remainingSeconds());
}

QString ActionDetailState::spokenSummary() const
{
    if (!m_action)
        return {};
    return visibleText(PanelPresentation::spokenSummary(m_title, m_action->classification, remainingSeconds()));
}

QString ActionDetailState::countdownColorName() const
{
    return PanelPresentation::countdownColorName(remainingSeconds(), isUnregister());
}

void ActionDetailState::setResponding(bool responding)
{
    if (m_isResponding == responding)
        return;
    m_isResponding = responding;
    Q_EMIT isRespondingChanged();
}

void ActionDetailState::setCreateRule(bool createRule)
{
    if (m_createRule == createRule)
        return;
    m_createRule = createRule;
    Q_EMIT createRuleChanged();
}

void ActionDetailState::setRuleScope(RuleScope scope)
{
    if (m_ruleScope == scope || (m_action && !availableScopes().contains(scope)))
        return;
    m_ruleScope = scope;
    Q_EMIT ruleScopeChanged();
}

void ActionDetailState::setRuleScopeRawValue(const QString& rawValue)
{
    if (const auto scope = RuleScope::fromRawValue(rawValue))
        setRuleScope(*scope);
}

int ActionDetailState::ruleScopeIndex() const
{
    return int(availableScopes().indexOf(m_ruleScope));
}

void ActionDetailState::setRuleScopeIndex(int index)
{
    const QList<RuleScope> offered = availableScopes();
    if (index >= 0 && index < offered.size())
        setRuleScope(offered.at(index));
}

QList<RuleScope> ActionDetailState::availableScopes() const
{
    if (!m_action)
        return {};
    return RuleScope::availableCases(m_action->machineAgentCount);
}

QVariantList ActionDetailState::scopeOptions() const
{
    QVariantList options;
    for (const RuleScope scope : availableScopes())
        options.append(QVariantMap{{QStringLiteral("value"), scope.rawValue()},
                                   {QStringLiteral("label"), scope.displayName()},
                                   {QStringLiteral("covers"), visibleText(PanelPresentation::ruleCoverage(*m_action, scope))}});
    return options;
}

QString ActionDetailState::scopeWarning() const
{
    if (!m_action)
        return QString();
    return visibleText(PanelPresentation::scopeWarning(*m_action, m_ruleScope));
}

std::optional<RuleScope> ActionDetailState::scopeForDecision(const QString& decision) const
{
    if (decision == QLatin1String("approved") && m_createRule && showsRuleSection())
        return m_ruleScope;
    return std::nullopt;
}

void ActionDetailState::setClock(Clock clock)
{
    m_clock = clock ? std::move(clock) : Clock([] { return QDateTime::currentDateTimeUtc(); });
    refreshCountdown();
}

void ActionDetailState::refreshCountdown()
{
    if (m_action)
        Q_EMIT countdownChanged();
}
