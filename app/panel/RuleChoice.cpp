#include "app/panel/RuleChoice.h"

#include "app/panel/PanelPresentation.h"
#include "core/AssignAndNotify.h"
#include "core/VisibleText.h"

#include <QVariantMap>

RuleChoice::RuleChoice(QObject* parent)
    : QObject(parent)
{
}

void RuleChoice::present(const std::optional<PendingAction>& action, bool sameAction)
{
    m_action = action;
    Q_EMIT scopeOptionsChanged();
    if (!sameAction) {
        turn(false);
        m_scope = RuleScope::agent;
    }
    keepScopeOnOffer();
    Q_EMIT scopeChanged();
}

void RuleChoice::keepScopeOnOffer()
{
    // The picker can only show a scope that is on offer: with a single agent
    // on the machine "This Agent" is not offered, so the page starts on the
    // narrowest scope that is.
    const QList<RuleScope> offered = availableScopes();
    if (!offered.isEmpty() && !offered.contains(m_scope))
        m_scope = offered.first();
}

QList<RuleScope> RuleChoice::availableScopes() const
{
    if (!m_action)
        return {};
    return RuleScope::availableCases(m_action->machineAgentCount);
}

int RuleChoice::scopeIndex() const
{
    return int(availableScopes().indexOf(m_scope));
}

QVariantList RuleChoice::scopeOptions() const
{
    QVariantList options;
    for (const RuleScope scope : availableScopes())
        options.append(QVariantMap{{QStringLiteral("value"), scope.rawValue()},
                                   {QStringLiteral("label"), scope.displayName()},
                                   {QStringLiteral("covers"), visibleText(PanelPresentation::ruleCoverage(*m_action, scope))}});
    return options;
}

QString RuleChoice::warning() const
{
    if (!m_action)
        return QString();
    return visibleText(PanelPresentation::scopeWarning(*m_action, m_scope));
}

void RuleChoice::turn(bool on)
{
    assignAndNotify(m_isOn, on, this, &RuleChoice::isOnChanged);
}

void RuleChoice::chooseScopeAt(int index)
{
    const QList<RuleScope> offered = availableScopes();
    if (index >= 0 && index < offered.size())
        chooseScope(offered.at(index));
}

void RuleChoice::chooseScope(RuleScope scope)
{
    if (m_action && !availableScopes().contains(scope))
        return;
    assignAndNotify(m_scope, scope, this, &RuleChoice::scopeChanged);
}

std::optional<RuleScope> RuleChoice::scopeForApproval() const
{
    if (m_isOn && m_action && m_action->canCreateRule())
        return m_scope;
    return std::nullopt;
}
