#pragma once

#include "core/PendingAction.h"
#include "core/RuleScope.h"

#include <QObject>
#include <QVariantList>

#include <optional>
#include <QtQmlIntegration/qqmlintegration.h>

// Turning an approval into a standing rule: the toggle and the scope, one of
// those on offer for the detail page's action. Another action starts with the
// toggle off and the narrowest scope on offer; a refresh of the same action
// keeps the person's choices.
class RuleChoice : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("owned by ActionDetailState")

    Q_PROPERTY(bool isOn READ isOn NOTIFY isOnChanged)
    // {value, label, covers} per scope on offer.
    Q_PROPERTY(QVariantList scopeOptions READ scopeOptions NOTIFY scopeOptionsChanged)
    Q_PROPERTY(int scopeIndex READ scopeIndex NOTIFY scopeChanged)
    // What a rule at the chosen scope will auto-approve; it names the agent,
    // its machine and the label of the action.
    Q_PROPERTY(QString warning READ warning NOTIFY scopeChanged)

public:
    explicit RuleChoice(QObject* parent);

    bool isOn() const { return m_isOn; }
    RuleScope scope() const { return m_scope; }
    int scopeIndex() const;
    QVariantList scopeOptions() const;
    QString warning() const;

    // The toggle, and the picker: a scope not on offer is ignored.
    Q_INVOKABLE void turn(bool on);
    Q_INVOKABLE void chooseScopeAt(int index);
    void chooseScope(RuleScope scope);

    // The scope an approval sends: the chosen one with the toggle on (and
    // only where a rule can be made), else none. A denial never sends one.
    std::optional<RuleScope> scopeForApproval() const;

Q_SIGNALS:
    void isOnChanged();
    void scopeChanged();
    void scopeOptionsChanged();

private:
    friend class ActionDetailState;
    void present(const std::optional<PendingAction>& action, bool sameAction);
    void keepScopeOnOffer();
    QList<RuleScope> availableScopes() const;

    std::optional<PendingAction> m_action;
    bool m_isOn = false;
    RuleScope m_scope = RuleScope::agent;
};
