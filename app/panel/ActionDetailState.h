#pragma once

#include "core/PendingAction.h"
#include "core/RuleScope.h"
#include "core/VisibleText.h"

#include <QDateTime>
#include <QObject>
#include <QVariantList>
#include <QtQmlIntegration/qqmlintegration.h>

#include <functional>
#include <optional>

// The detail page of one pending action: what it shows, the rule toggle and
// the chosen rule scope. ApprovalsPanel feeds it the selected action; a new
// action (another id) starts with the toggle off and the narrowest scope on
// offer, while a refresh of the same action keeps the person's choices.
class ActionDetailState : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("owned by ApprovalsPanel")

    Q_PROPERTY(bool hasAction READ hasAction NOTIFY actionChanged)
    Q_PROPERTY(QString actionId READ actionId NOTIFY actionChanged)
    Q_PROPERTY(QString toolName READ toolName NOTIFY actionChanged)
    Q_PROPERTY(QString title READ title NOTIFY actionChanged)
    Q_PROPERTY(QString agentName READ agentName NOTIFY actionChanged)
    Q_PROPERTY(QString agentMachine READ agentMachine NOTIFY actionChanged)
    Q_PROPERTY(bool hasAgentMachine READ hasAgentMachine NOTIFY actionChanged)
    Q_PROPERTY(bool isUnregister READ isUnregister NOTIFY actionChanged)
    Q_PROPERTY(bool showsRuleSection READ showsRuleSection NOTIFY actionChanged)
    Q_PROPERTY(bool hasSegments READ hasSegments NOTIFY actionChanged)
    Q_PROPERTY(QVariantList segments READ segments NOTIFY actionChanged)
    // Why the person is asked: the riskiest segment and its risk; empty when
    // no segment does more than read.
    Q_PROPERTY(QString highestRiskText READ highestRiskText NOTIFY actionChanged)
    Q_PROPERTY(QString displaySummary READ displaySummary NOTIFY actionChanged)
    Q_PROPERTY(bool hasBadge READ hasBadge NOTIFY actionChanged)
    Q_PROPERTY(QString badgeText READ badgeText NOTIFY actionChanged)
    Q_PROPERTY(QString badgeColorName READ badgeColorName NOTIFY actionChanged)
    Q_PROPERTY(QString approveLabel READ approveLabel NOTIFY actionChanged)
    Q_PROPERTY(QString denyLabel READ denyLabel NOTIFY actionChanged)
    Q_PROPERTY(QString approveColorName READ approveColorName NOTIFY actionChanged)
    Q_PROPERTY(QString denyColorName READ denyColorName NOTIFY actionChanged)

    Q_PROPERTY(double remainingSeconds READ remainingSeconds NOTIFY countdownChanged)
    Q_PROPERTY(QString countdownText READ countdownText NOTIFY countdownChanged)
    Q_PROPERTY(QString spokenSummary READ spokenSummary NOTIFY countdownChanged)
    Q_PROPERTY(QString countdownColorName READ countdownColorName NOTIFY countdownChanged)
    Q_PROPERTY(bool isExpired READ isExpired NOTIFY countdownChanged)
    Q_PROPERTY(bool showsButtons READ showsButtons NOTIFY countdownChanged)

    Q_PROPERTY(bool isResponding READ isResponding NOTIFY isRespondingChanged)

    Q_PROPERTY(bool createRule READ createRule WRITE setCreateRule NOTIFY createRuleChanged)
    Q_PROPERTY(QString ruleScope READ ruleScopeRawValue WRITE setRuleScopeRawValue NOTIFY ruleScopeChanged)
    Q_PROPERTY(int ruleScopeIndex READ ruleScopeIndex WRITE setRuleScopeIndex NOTIFY ruleScopeChanged)
    Q_PROPERTY(QVariantList scopeOptions READ scopeOptions NOTIFY actionChanged)
    Q_PROPERTY(QString scopeWarning READ scopeWarning NOTIFY ruleScopeChanged)

public:
    using Clock = std::function<QDateTime()>;

    explicit ActionDetailState(QObject* parent = nullptr);

    // The action to show, or none. Another id resets the rule choices.
    void setAction(const std::optional<PendingAction>& action);
    const std::optional<PendingAction>& action() const { return m_action; }

    bool hasAction() const { return m_action.has_value(); }
    QString actionId() const { return m_action ? m_action->id : QString(); }
    QString toolName() const { return m_action ? m_action->toolName : QString(); }
    // The MCP display name, else the tool name.
    QString title() const { return visibleText(m_title); }
    QString highestRiskText() const { return visibleText(m_highestRiskText); }
    // What a screen reader says after a decision button's label.
    QString spokenSummary() const;
    QString agentName() const { return m_action ? visibleText(m_action->agentName) : QString(); }
    QString agentMachine() const { return m_action ? visibleText(m_action->agentMachine.value_or(QString())) : QString(); }
    bool hasAgentMachine() const { return !agentMachine().isEmpty(); }
    bool isUnregister() const { return m_action && m_action->isUnregister(); }
    // No rule can be made for an unregister or a link request.
    bool showsRuleSection() const { return m_action && m_action->canCreateRule(); }
    // Segments present and not empty; otherwise the page shows displaySummary.
    bool hasSegments() const { return !m_segments.isEmpty(); }
    // {segment, baseCmd, risk, isRead} per command segment.
    QVariantList segments() const { return m_segments; }
    QString displaySummary() const { return m_action ? visibleText(m_action->displaySummary()) : QString(); }
    bool hasBadge() const { return !m_badgeText.isEmpty(); }
    QString badgeText() const { return visibleText(m_badgeText); }
    QString badgeColorName() const { return m_badgeColorName; }
    QString approveLabel() const;
    QString denyLabel() const;
    QString approveColorName() const;
    QString denyColorName() const;

    double remainingSeconds() const;
    QString countdownText() const;
    QString countdownColorName() const;
    bool isExpired() const { return !(remainingSeconds() > 0.0); }
    // No decision can be made on the page once the action has expired.
    bool showsButtons() const { return m_action && !isExpired(); }

    bool isResponding() const { return m_isResponding; }
    void setResponding(bool responding);

    bool createRule() const { return m_createRule; }
    void setCreateRule(bool createRule);
    RuleScope ruleScope() const { return m_ruleScope; }
    void setRuleScope(RuleScope scope);
    QString ruleScopeRawValue() const { return m_ruleScope.rawValue(); }
    void setRuleScopeRawValue(const QString& rawValue);
    int ruleScopeIndex() const;
    void setRuleScopeIndex(int index);
    QList<RuleScope> availableScopes() const;
    // {value, label} per scope on offer for the action.
    QVariantList scopeOptions() const;
    QString scopeWarning() const;

    // The scope a decision sends: the chosen one for an approval with the
    // toggle on (and only where a rule can be made), else none.
    std::optional<RuleScope> scopeForDecision(const QString& decision) const;

    void setClock(Clock clock);
    // Re-reads the clock; announces the countdown.
    void refreshCountdown();

Q_SIGNALS:
    void actionChanged();
    void countdownChanged();
    void isRespondingChanged();
    void createRuleChanged();
    void ruleScopeChanged();

private:
    void resetChoices();
    void keepScopeOnOffer();

    std::optional<PendingAction> m_action;
    std::optional<QDateTime> m_expiresDate;
    QString m_title;
    QVariantList m_segments;
    QString m_highestRiskText;
    QString m_badgeText;
    QString m_badgeColorName;
    bool m_isResponding = false;
    bool m_createRule = false;
    RuleScope m_ruleScope = RuleScope::agent;
    Clock m_clock;
};
