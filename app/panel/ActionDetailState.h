#pragma once

#include "app/panel/ActionCountdown.h"
#include "app/panel/RuleChoice.h"
#include "app/panel/ShownAction.h"
#include "core/PendingAction.h"

#include <QObject>
#include <QtQmlIntegration/qqmlintegration.h>

#include <optional>

// The detail page of one pending action. ApprovalsPanel shows it the selected
// action; the page reads what it shows from `shown`, the time left from
// `countdown` and the rule choices from `rule`, and its buttons ask for a
// decision, which the panel sends.
class ActionDetailState : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("owned by ApprovalsPanel")

    Q_PROPERTY(ShownAction* shown READ shown CONSTANT)
    Q_PROPERTY(ActionCountdown* countdown READ countdown CONSTANT)
    Q_PROPERTY(RuleChoice* rule READ rule CONSTANT)
    // A decision on the action is on its way.
    Q_PROPERTY(bool isResponding READ isResponding NOTIFY isRespondingChanged)

public:
    explicit ActionDetailState(QObject* parent = nullptr);

    // The action to show, or none, and whether a decision on it is on its
    // way. Another id resets the rule choices.
    void show(const std::optional<PendingAction>& action, bool responding);
    const std::optional<PendingAction>& action() const { return m_action; }

    ShownAction* shown() const { return m_shown; }
    ActionCountdown* countdown() const { return m_countdown; }
    RuleChoice* rule() const { return m_rule; }
    bool isResponding() const { return m_isResponding; }

    Q_INVOKABLE void approve();
    Q_INVOKABLE void deny();

Q_SIGNALS:
    void isRespondingChanged();
    void approveRequested();
    void denyRequested();

private:
    std::optional<PendingAction> m_action;
    ShownAction* m_shown = nullptr;
    ActionCountdown* m_countdown = nullptr;
    RuleChoice* m_rule = nullptr;
    bool m_isResponding = false;
};
