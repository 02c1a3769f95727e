#include "app/wizard/AgentSummaryModel.h"
#include "core/VisibleText.h"

AgentSummaryModel::AgentSummaryModel(QObject* parent) : QAbstractListModel(parent) {}

void AgentSummaryModel::clear()
{
    if (m_summaries.isEmpty())
        return;
    beginResetModel();
    m_summaries.clear();
    endResetModel();
    Q_EMIT countChanged();
}

void AgentSummaryModel::append(AgentSummary summary)
{
    beginInsertRows({}, count(), count());
    m_summaries.append(std::move(summary));
    endInsertRows();
    Q_EMIT countChanged();
}

int AgentSummaryModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : count();
}

QVariant AgentSummaryModel::data(const QModelIndex& index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const AgentSummary& summary = m_summaries.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
    case NameRole:
        return visibleText(summary.name);
    case ScopeRole:
        return visibleText(summary.scope);
    case ToolNameRole:
        return visibleText(summary.toolName);
    default:
        return {};
    }
}

QHash<int, QByteArray> AgentSummaryModel::roleNames() const
{
    return {{NameRole, "name"}, {ScopeRole, "scope"}, {ToolNameRole, "toolName"}};
}
