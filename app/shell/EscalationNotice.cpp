#include "app/shell/EscalationNotice.h"

#include "core/ApprovalSyncService.h"
#include "core/LifetimeGuard.h"
#include "core/PendingAction.h"
#include "core/VisibleText.h"
#include "platform/DesktopNotifier.h"

#include <QCoroCore>

namespace {

// The request itself: the command when there is one, not the agent's summary of it.
QString requestText(const PendingAction& action)
{
    return action.toolInput.value(QStringLiteral("command"), action.toolSummary());
}

} // namespace

EscalationNotice::EscalationNotice(DesktopNotifier& notifier, ApprovalSyncService& sync, QObject* parent)
    : QObject(parent)
    , m_notifier(notifier)
    , m_sync(sync)
{
    connect(&m_notifier, &DesktopNotifier::actionInvoked, this, &EscalationNotice::onActionInvoked);
}

QString EscalationNotice::describe(const PendingAction& action)
{
    return tr("%1 (%2): %3").arg(visibleText(action.agentName), visibleText(action.toolName),
                                 visibleText(requestText(action)));
}

bool EscalationNotice::approvableFromNotification(const PendingAction& action)
{
    const QString risk = action.classification.value_or(QString()).toLower();
    const QString request = requestText(action);
    return (risk == QLatin1String("low") || risk == QLatin1String("medium"))
        && request.size() <= longestApprovableRequest && !request.contains(u'\n');
}

void EscalationNotice::announce(const QString& actionId)
{
    const QList<PendingAction>& pending = m_sync.pendingActions();
    const auto action = std::find_if(pending.cbegin(), pending.cend(),
                                     [&actionId](const PendingAction& candidate) { return candidate.id == actionId; });
    if (action == pending.cend()) {
        m_actionId.clear();
        m_notifier.notify(tr("Approval needed"), tr("An agent is waiting for your decision. Click to review it."),
                          {{reviewKey, tr("Review")}});
        return;
    }
    m_actionId = actionId;
    QList<DesktopNotifier::Action> actions{{reviewKey, tr("Review")}, {denyKey, tr("Deny")}};
    if (approvableFromNotification(*action))
        actions.append({approveKey, tr("Approve")});
    m_notifier.notify(tr("Approval needed"), describe(*action), actions);
}

void EscalationNotice::onActionInvoked(const QString& key)
{
    if (key == reviewKey)
        Q_EMIT reviewRequested();
    else if ((key == denyKey || key == approveKey) && !m_actionId.isEmpty())
        QCoro::connect(decide(m_actionId, key == denyKey ? QStringLiteral("denied") : QStringLiteral("approved")), this,
                       [] {});
}

QCoro::Task<> EscalationNotice::decide(QString actionId, QString decision)
{
    const LifetimeGuard guard(this);
    const std::optional<RuleScope> noRule;
    const bool taken = co_await m_sync.respondToAction(actionId, decision, noRule);
    if (!guard.alive() || taken)
        co_return;
    m_notifier.notify(tr("Decision not sent"),
                      tr("Your decision did not reach the server, so nothing was decided. Review it to try again."),
                      {{reviewKey, tr("Review")}});
}
