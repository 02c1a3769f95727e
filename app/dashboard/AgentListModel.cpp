#include "app/dashboard/AgentListModel.h"
#include "core/VisibleText.h"

#include "core/CoreConstants.h"

AgentListModel::AgentListModel(QString agentsDirectory, QObject* parent)
    : QAbstractListModel(parent)
    , m_agentsDirectory(std::move(agentsDirectory))
{
}

int AgentListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_agents.size());
}

QVariant AgentListModel::data(const QModelIndex& index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const AgentInfo& agent = m_agents.at(index.row());
    switch (role) {
    case nameRole:
        return agent.name;
    case Qt::DisplayRole:
    case shownNameRole:
        return visibleText(agent.name);
    case scopeLabelRole:
        return visibleText(agent.scopeLabel(CoreConstants::homeDirectory()));
    case statusRole:
        return visibleText(agent.status.value_or(QString()));
    case templateRole:
        return visibleText(agent.templateName.value_or(QString()));
    case createdAtRole:
        return agent.createdAt;
    default:
        return {};
    }
}

QHash<int, QByteArray> AgentListModel::roleNames() const
{
    return {{nameRole, "name"},
            {shownNameRole, "shownName"},
            {scopeLabelRole, "scopeLabel"},
            {statusRole, "status"},
            {templateRole, "templateName"},
            {createdAtRole, "createdAt"}};
}

void AgentListModel::reload()
{
    QList<AgentInfo> agents = m_agentsDirectory.isEmpty() ? AgentInfo::loadAll() : AgentInfo::loadAll(m_agentsDirectory);
    const int before = count();
    beginResetModel();
    m_agents = std::move(agents);
    endResetModel();
    if (count() != before)
        Q_EMIT countChanged();
}
