#include "app/panel/PendingActionsModel.h"

#include "app/panel/PanelPresentation.h"
#include "core/VisibleText.h"

PendingActionsModel::PendingActionsModel(QObject* parent)
    : QAbstractListModel(parent)
    , m_clock([] { return QDateTime::currentDateTimeUtc(); })
{
}

int PendingActionsModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

QHash<int, QByteArray> PendingActionsModel::roleNames() const
{
    return {
        {IdRole, "actionId"},
        {ToolNameRole, "toolName"},
        {DisplayNameRole, "displayName"},
        {DisplaySummaryRole, "displaySummary"},
        {ClassificationRole, "classification"},
        {HasBadgeRole, "hasBadge"},
        {BadgeTextRole, "badgeText"},
        {BadgeColorNameRole, "badgeColorName"},
        {RemainingSecondsRole, "remainingSeconds"},
        {RemainingTextRole, "remainingText"},
        {RemainingColorNameRole, "remainingColorName"},
        {IsExpiredRole, "isExpired"},
        {IsUnregisterRole, "isUnregister"},
        {CanCreateRuleRole, "canCreateRule"},
        {IsMcpToolRole, "isMcpTool"},
        {McpServiceNameRole, "mcpServiceName"},
        {AgentNameRole, "agentName"},
        {AgentMachineRole, "agentMachine"},
        {HasAgentMachineRole, "hasAgentMachine"},
        {ExplanationRole, "explanation"},
        {HasExplanationRole, "hasExplanation"},
        {ExplanationLinesRole, "explanationLines"},
        {ExplanationModeRole, "explanationMode"},
        {ShowExplanationRole, "showExplanation"},
        {IsRespondingRole, "isResponding"},
        {ApproveLabelRole, "approveLabel"},
        {DenyLabelRole, "denyLabel"},
        {ApproveColorNameRole, "approveColorName"},
        {DenyColorNameRole, "denyColorName"},
        {SpokenSummaryRole, "spokenSummary"},
        {DecisionStatusRole, "decisionStatus"},
        {DecisionFailedRole, "decisionFailed"},
    };
}

QList<int> PendingActionsModel::countdownRoles()
{
    // The explanation's wait has a deadline on the same clock.
    return {RemainingSecondsRole, RemainingTextRole, RemainingColorNameRole, IsExpiredRole, SpokenSummaryRole,
            ExplanationModeRole};
}

PendingActionsModel::Row PendingActionsModel::makeRow(const PendingAction& action)
{
    Row row;
    row.action = action;
    row.badge = PanelPresentation::badgeSource(action);
    row.displayName = action.displayName();
    row.displaySummary = action.displaySummary();
    row.mcpServiceName = action.mcpServiceName();
    if (action.explanation)
        row.explanationLines = PanelPresentation::explanationLines(*action.explanation);
    row.expiresDate = action.expiresDate();
    return row;
}

double PendingActionsModel::remaining(const Row& row) const
{
    if (!row.expiresDate)
        return 0.0;
    const QDateTime current = now();
    if (!current.isValid())
        return 0.0;
    return double(current.msecsTo(*row.expiresDate)) / 1000.0;
}

QVariant PendingActionsModel::data(const QModelIndex& index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return QVariant();
    const Row& row = m_rows.at(index.row());
    const PendingAction& action = row.action;
    const bool unregister = action.isUnregister();
    switch (role) {
    case Qt::DisplayRole:
    case DisplayNameRole:
        return visibleText(row.displayName);
    case IdRole:
        return action.id;
    case ToolNameRole:
        return visibleText(action.toolName);
    case DisplaySummaryRole:
        return visibleText(row.displaySummary);
    case ClassificationRole:
        return visibleText(action.classification.value_or(QString()));
    case HasBadgeRole:
        return row.badge.has_value();
    case BadgeTextRole:
        return row.badge ? visibleText(PanelPresentation::badgeText(*row.badge)) : QString();
    case BadgeColorNameRole:
        return row.badge ? PanelPresentation::badgeColorName(*row.badge) : QString();
    case RemainingSecondsRole:
        return remaining(row);
    case RemainingTextRole:
        return PanelPresentation::countdownText(remaining(row));
    case RemainingColorNameRole:
        return PanelPresentation::countdownColorName(remaining(row), unregister);
    case IsExpiredRole:
        return !(remaining(row) > 0.0);
    case IsUnregisterRole:
        return unregister;
    case CanCreateRuleRole:
        return action.canCreateRule();
    case IsMcpToolRole:
        return action.isMcpTool();
    case McpServiceNameRole:
        return visibleText(row.mcpServiceName.value_or(QString()));
    case AgentNameRole:
        return visibleText(action.agentName);
    case AgentMachineRole:
        return visibleText(action.agentMachine.value_or(QString()));
    case HasAgentMachineRole:
        return action.agentMachine.has_value() && !action.agentMachine->isEmpty();
    case ExplanationRole:
        return visibleText(PanelPresentation::plainExplanation(action.explanation.value_or(QString())));
    case HasExplanationRole:
        return action.explanation.has_value();
    case ExplanationLinesRole:
        return visibleText(row.explanationLines);
    case ExplanationModeRole:
        return explanationMode(row);
    case ShowExplanationRole:
        return m_showExplanation.contains(action.id);
    case IsRespondingRole:
        return m_responding.contains(action.id);
    case ApproveLabelRole:
        return PanelPresentation::approveLabel(unregister);
    case DenyLabelRole:
        return PanelPresentation::denyLabel(unregister);
    case ApproveColorNameRole:
        return PanelPresentation::approveColorName(unregister);
    case DenyColorNameRole:
        return PanelPresentation::denyColorName(unregister);
    case SpokenSummaryRole:
        return visibleText(PanelPresentation::spokenSummary(row.displayName, action.classification, remaining(row)));
    case DecisionStatusRole:
        return m_decisionStatus.value(action.id).text;
    case DecisionFailedRole:
        return m_decisionStatus.value(action.id).failed;
    default:
        return QVariant();
    }
}

void PendingActionsModel::setActions(const QList<PendingAction>& actions)
{
    const int countBefore = count();

    // 1. How many rows of each id the new list wants. Rows beyond that
    //    (ids that left, or surplus duplicates) are removed, back to front in
    //    contiguous ranges.
    QHash<QString, int> wanted;
    wanted.reserve(actions.size());
    for (const PendingAction& action : actions)
        ++wanted[action.id];

    QList<bool> keep(m_rows.size(), false);
    QHash<QString, int> unplaced; // kept rows of each id not yet matched below
    for (qsizetype i = 0; i < m_rows.size(); ++i) {
        auto it = wanted.find(m_rows.at(i).action.id);
        if (it != wanted.end() && it.value() > 0) {
            --it.value();
            keep[i] = true;
            ++unplaced[m_rows.at(i).action.id];
        }
    }
    for (qsizetype last = m_rows.size() - 1; last >= 0;) {
        if (keep.at(last)) {
            --last;
            continue;
        }
        qsizetype first = last;
        while (first > 0 && !keep.at(first - 1))
            --first;
        beginRemoveRows(QModelIndex(), int(first), int(last));
        m_rows.remove(first, last - first + 1);
        endRemoveRows();
        last = first - 1;
    }

    // 2. Walk the new list: a row already in place is updated when its action
    //    changed, a kept row further down is moved up, anything else is
    //    inserted. Consecutive insertions are announced as one range.
    qsizetype i = 0;
    while (i < actions.size()) {
        const PendingAction& wantedAction = actions.at(i);
        if (i < m_rows.size() && m_rows.at(i).action.id == wantedAction.id) {
            --unplaced[wantedAction.id];
            if (!(m_rows.at(i).action == wantedAction)) {
                m_rows[i] = makeRow(wantedAction);
                const QModelIndex changed = index(int(i));
                Q_EMIT dataChanged(changed, changed);
            }
            ++i;
            continue;
        }
        if (unplaced.value(wantedAction.id) > 0) {
            qsizetype from = i + 1;
            while (m_rows.at(from).action.id != wantedAction.id)
                ++from;
            beginMoveRows(QModelIndex(), int(from), int(from), QModelIndex(), int(i));
            m_rows.move(from, i);
            endMoveRows();
            // Handled as "in place" on the next pass of the loop.
            continue;
        }
        qsizetype end = i + 1;
        // The run stops at an id that still has a kept row to be placed.
        while (end < actions.size() && unplaced.value(actions.at(end).id) == 0)
            ++end;
        beginInsertRows(QModelIndex(), int(i), int(end - 1));
        QList<Row> inserted;
        inserted.reserve(end - i);
        for (qsizetype k = i; k < end; ++k)
            inserted.append(makeRow(actions.at(k)));
        m_rows.insert(i, end - i, Row());
        for (qsizetype k = i; k < end; ++k)
            m_rows[k] = std::move(inserted[k - i]);
        endInsertRows();
        i = end;
    }
    Q_ASSERT(m_rows.size() == actions.size());

    forgetStateOfMissingIds();
    if (count() != countBefore)
        Q_EMIT countChanged();
}

QString PendingActionsModel::explanationMode(const Row& row) const
{
    const auto asked = m_showExplanation.constFind(row.action.id);
    PanelPresentation::ExplanationWait wait;
    wait.expected = m_explanationsExpected;
    if (asked != m_showExplanation.cend()) {
        wait.shown = true;
        const QDateTime current = now();
        wait.timedOut = current.isValid() && asked->secsTo(current) >= explanationDeadlineSeconds;
    }
    return PanelPresentation::explanationMode(row.action, wait);
}

void PendingActionsModel::setExplanationsExpected(bool expected)
{
    if (expected == m_explanationsExpected)
        return;
    m_explanationsExpected = expected;
    if (!m_rows.isEmpty())
        Q_EMIT dataChanged(index(0), index(int(m_rows.size()) - 1), {ExplanationModeRole});
}

void PendingActionsModel::forgetStateOfMissingIds()
{
    if (m_showExplanation.isEmpty() && m_decisionStatus.isEmpty())
        return;
    QSet<QString> present;
    for (const Row& row : std::as_const(m_rows))
        present.insert(row.action.id);
    m_showExplanation.removeIf([&present](const auto& entry) { return !present.contains(entry.key()); });
    m_decisionStatus.removeIf([&present](const auto& entry) { return !present.contains(entry.key()); });
}

const PendingAction* PendingActionsModel::action(const QString& id) const
{
    const int row = indexOf(id);
    return row < 0 ? nullptr : &m_rows.at(row).action;
}

QString PendingActionsModel::idAt(int row) const
{
    return row >= 0 && row < m_rows.size() ? m_rows.at(row).action.id : QString();
}

int PendingActionsModel::indexOf(const QString& id) const
{
    for (qsizetype i = 0; i < m_rows.size(); ++i) {
        if (m_rows.at(i).action.id == id)
            return int(i);
    }
    return -1;
}

void PendingActionsModel::refreshCountdowns()
{
    if (m_rows.isEmpty())
        return;
    Q_EMIT dataChanged(index(0), index(int(m_rows.size()) - 1), countdownRoles());
}

void PendingActionsModel::setClock(Clock clock)
{
    m_clock = clock ? std::move(clock) : Clock([] { return QDateTime::currentDateTimeUtc(); });
    refreshCountdowns();
}

QDateTime PendingActionsModel::now() const
{
    return m_clock();
}

void PendingActionsModel::announceRowsWithId(const QString& id, const QList<int>& roles)
{
    for (qsizetype i = 0; i < m_rows.size(); ++i) {
        if (m_rows.at(i).action.id == id) {
            const QModelIndex changed = index(int(i));
            Q_EMIT dataChanged(changed, changed, roles);
        }
    }
}

void PendingActionsModel::setResponding(const QString& id, bool responding)
{
    const bool was = m_responding.contains(id);
    if (was == responding)
        return;
    if (responding)
        m_responding.insert(id);
    else
        m_responding.remove(id);
    announceRowsWithId(id, {IsRespondingRole});
}

void PendingActionsModel::setShowExplanation(const QString& id, bool show)
{
    if (show && indexOf(id) < 0)
        return;
    const bool was = m_showExplanation.contains(id);
    if (was == show)
        return;
    if (show)
        m_showExplanation.insert(id, now());
    else
        m_showExplanation.remove(id);
    announceRowsWithId(id, {ShowExplanationRole, ExplanationModeRole});
}

void PendingActionsModel::setDecisionStatus(const QString& id, const QString& text, bool failed)
{
    if (text.isEmpty() && !failed) {
        if (m_decisionStatus.remove(id))
            announceRowsWithId(id, {DecisionStatusRole, DecisionFailedRole});
        return;
    }
    if (indexOf(id) < 0)
        return;
    m_decisionStatus.insert(id, DecisionStatus{text, failed});
    announceRowsWithId(id, {DecisionStatusRole, DecisionFailedRole});
}
