#include "app/panel/ActionDetailState.h"

#include "core/AssignAndNotify.h"

ActionDetailState::ActionDetailState(QObject* parent)
    : QObject(parent)
    , m_shown(new ShownAction(this))
    , m_countdown(new ActionCountdown(this))
    , m_rule(new RuleChoice(this))
{
}

void ActionDetailState::show(const std::optional<PendingAction>& action, bool responding)
{
    if (action != m_action) {
        const bool sameId = action && m_action && action->id == m_action->id;
        m_action = action;
        const QString title = m_action ? m_action->mcpDisplayName().value_or(m_action->toolName) : QString();
        m_shown->present(m_action, title);
        m_countdown->present(m_action, title);
        m_rule->present(m_action, sameId);
    }
    assignAndNotify(m_isResponding, responding, this, &ActionDetailState::isRespondingChanged);
}

void ActionDetailState::approve()
{
    if (m_action)
        Q_EMIT approveRequested();
}

void ActionDetailState::deny()
{
    if (m_action)
        Q_EMIT denyRequested();
}
