#pragma once

#include "core/PendingAction.h"

#include <QAbstractListModel>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QSet>
#include <QtQmlIntegration/qqmlintegration.h>

#include <functional>

// The rows of the approvals panel: one per pending action, in the sync
// service's order, with every value a row shows as a role.
//
// setActions() applies a new list with the fewest row changes it can find
// (removals, moves, insertions, and dataChanged for rows whose action
// changed), so views keep their delegates and scroll position across polls.
// The countdown roles depend on the clock; refreshCountdowns() re-reads it and
// announces only those roles.
class PendingActionsModel : public QAbstractListModel
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("owned by ApprovalsPanel")
    Q_PROPERTY(int count READ count NOTIFY countChanged)

public:
    using Clock = std::function<QDateTime()>;

    enum Role {
        IdRole = Qt::UserRole + 1,
        ToolNameRole,
        DisplayNameRole, // the title: MCP display name, else the short summary
        DisplaySummaryRole,
        ClassificationRole,
        HasBadgeRole,
        BadgeTextRole,
        BadgeColorNameRole,
        RemainingSecondsRole,
        RemainingTextRole,
        RemainingColorNameRole,
        IsExpiredRole,
        IsUnregisterRole,
        CanCreateRuleRole,
        IsMcpToolRole,
        McpServiceNameRole,
        AgentNameRole,
        AgentMachineRole,
        HasAgentMachineRole,
        ExplanationRole,
        HasExplanationRole,
        ExplanationLinesRole,
        ExplanationModeRole,
        ShowExplanationRole,
        IsRespondingRole,
        ApproveLabelRole,
        DenyLabelRole,
        ApproveColorNameRole,
        DenyColorNameRole,
        SpokenSummaryRole, // for screen readers, see PanelPresentation::spokenSummary
        DecisionStatusRole, // one line: the decision on its way, or why it failed; else empty
        DecisionFailedRole, // the last decision failed: the row offers "Retry"
    };
    Q_ENUM(Role)

    explicit PendingActionsModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QHash<int, QByteArray> roleNames() const override;

    int count() const { return int(m_rows.size()); }

    // Replaces the rows with this list, in this order, with minimal changes.
    void setActions(const QList<PendingAction>& actions);
    const PendingAction* action(const QString& id) const;
    int indexOf(const QString& id) const;
    // The id of the action in this row; empty outside the rows.
    QString idAt(int row) const;

    // Re-reads the clock and announces the countdown roles of every row.
    void refreshCountdowns();
    void setClock(Clock clock);
    QDateTime now() const;

    // Per-action view state, kept by id so that it survives the view being
    // destroyed and the action being refreshed by a poll. Both are forgotten
    // when the action leaves the list.
    void setResponding(const QString& id, bool responding);
    bool isResponding(const QString& id) const { return m_responding.contains(id); }
    void setShowExplanation(const QString& id, bool show);
    bool showExplanation(const QString& id) const { return m_showExplanation.contains(id); }
    // The row's decision line; failed marks a decision that did not go through.
    void setDecisionStatus(const QString& id, const QString& text, bool failed);
    QString decisionStatus(const QString& id) const { return m_decisionStatus.value(id).text; }
    bool decisionFailed(const QString& id) const { return m_decisionStatus.value(id).failed; }
    // Whether explanations can arrive for actions that come without one (they
    // come with later refreshes of the list); when not, only rows that carry
    // one offer it.
    void setExplanationsExpected(bool expected);
    // How long "Explain this request" waits for an explanation to arrive.
    static constexpr int explanationDeadlineSeconds = 30;

    static QList<int> countdownRoles();

Q_SIGNALS:
    void countChanged();

private:
    // An action with the values derived once per change of the action.
    struct Row
    {
        PendingAction action;
        std::optional<QString> badge;
        QString displayName;
        QString displaySummary;
        std::optional<QString> mcpServiceName;
        QStringList explanationLines;
        std::optional<QDateTime> expiresDate;
    };
    static Row makeRow(const PendingAction& action);
    double remaining(const Row& row) const;
    void announceRowsWithId(const QString& id, const QList<int>& roles);
    void forgetStateOfMissingIds();

    struct DecisionStatus
    {
        QString text;
        bool failed = false;
    };
    QString explanationMode(const Row& row) const;

    QList<Row> m_rows;
    QSet<QString> m_responding;
    QHash<QString, QDateTime> m_showExplanation; // when it was asked for
    QHash<QString, DecisionStatus> m_decisionStatus;
    bool m_explanationsExpected = true;
    Clock m_clock;
};
