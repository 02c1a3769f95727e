#pragma once

#include "core/PendingAction.h"

#include <QObject>
#include <QVariantList>

#include <optional>
#include <QtQmlIntegration/qqmlintegration.h>

// What the detail page shows of its action that time does not change: who
// asks, the title and badge, the command piece by piece and the labels of the
// decision buttons. Empty texts without an action.
class ShownAction : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("owned by ActionDetailState")

    Q_PROPERTY(QString id READ id NOTIFY changed)
    // The MCP display name, else the tool name.
    Q_PROPERTY(QString title READ title NOTIFY changed)
    Q_PROPERTY(QString agentName READ agentName NOTIFY changed)
    Q_PROPERTY(QString agentMachine READ agentMachine NOTIFY changed)
    Q_PROPERTY(bool hasAgentMachine READ hasAgentMachine NOTIFY changed)
    Q_PROPERTY(bool isUnregister READ isUnregister NOTIFY changed)
    // No rule can be made for an unregister or a link request.
    Q_PROPERTY(bool showsRuleSection READ showsRuleSection NOTIFY changed)
    // {segment, baseCmd, risk, isRead, isHighestRisk} per command segment;
    // without segments the page shows displaySummary.
    Q_PROPERTY(QVariantList segments READ segments NOTIFY changed)
    Q_PROPERTY(bool hasSegments READ hasSegments NOTIFY changed)
    // Why the person is asked: the riskiest segment and its risk; empty when
    // no segment does more than read.
    Q_PROPERTY(QString highestRiskText READ highestRiskText NOTIFY changed)
    Q_PROPERTY(QString displaySummary READ displaySummary NOTIFY changed)
    Q_PROPERTY(bool hasBadge READ hasBadge NOTIFY changed)
    Q_PROPERTY(QString badgeText READ badgeText NOTIFY changed)
    Q_PROPERTY(QString badgeColorName READ badgeColorName NOTIFY changed)
    Q_PROPERTY(QString approveLabel READ approveLabel NOTIFY changed)
    Q_PROPERTY(QString denyLabel READ denyLabel NOTIFY changed)
    Q_PROPERTY(QString approveColorName READ approveColorName NOTIFY changed)
    Q_PROPERTY(QString denyColorName READ denyColorName NOTIFY changed)

public:
    explicit ShownAction(QObject* parent);

    QString id() const { return m_action ? m_action->id : QString(); }
    QString title() const;
    QString agentName() const;
    QString agentMachine() const;
    bool hasAgentMachine() const { return !agentMachine().isEmpty(); }
    bool isUnregister() const { return m_action && m_action->isUnregister(); }
    bool showsRuleSection() const { return m_action && m_action->canCreateRule(); }
    QVariantList segments() const { return m_segments; }
    bool hasSegments() const { return !m_segments.isEmpty(); }
    QString highestRiskText() const;
    QString displaySummary() const;
    bool hasBadge() const { return !m_badgeText.isEmpty(); }
    QString badgeText() const;
    QString badgeColorName() const { return m_badgeColorName; }
    QString approveLabel() const;
    QString denyLabel() const;
    QString approveColorName() const;
    QString denyColorName() const;

Q_SIGNALS:
    void changed();

private:
    friend class ActionDetailState;
    void present(const std::optional<PendingAction>& action, const QString& title);

    std::optional<PendingAction> m_action;
    QString m_title;
    QVariantList m_segments;
    QString m_highestRiskText;
    QString m_badgeText;
    QString m_badgeColorName;
};
