#include "app/tooling/DetectedToolsModel.h"
#include "core/VisibleText.h"

DetectedToolsModel::DetectedToolsModel(QObject* parent) : QAbstractListModel(parent) {}

void DetectedToolsModel::setTools(QList<DetectedTool> tools)
{
    const bool countChanges = tools.size() != m_tools.size();
    beginResetModel();
    m_tools = std::move(tools);
    endResetModel();
    if (countChanges)
        Q_EMIT countChanged();
}

int DetectedToolsModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : count();
}

QVariant DetectedToolsModel::data(const QModelIndex& index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const DetectedTool& tool = m_tools.at(index.row());
    switch (role) {
    case IdRole:
        return tool.id;
    case Qt::DisplayRole:
    case NameRole:
        return visibleText(tool.name);
    case SubtitleRole:
        return visibleText(tool.subtitle);
    case EnabledRole:
        return tool.enabled;
    case ScopeRole:
        return int(tool.scope);
    case ExpandedRole:
        return tool.expanded;
    case ProjectsRole: {
        QVariantList projects;
        for (const DiscoveredProject& project : tool.projects)
            projects.append(QVariant::fromValue(project));
        return projects;
    }
    case ProjectsRootRole:
        return tool.projectsRoot;
    case ProjectsRootEnabledRole:
        return tool.projectsRootEnabled;
    default:
        return {};
    }
}

bool DetectedToolsModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return false;
    DetectedTool& tool = m_tools[index.row()];
    const DetectedTool before = tool;
    switch (role) {
    case EnabledRole:
        tool.enabled = value.toBool();
        break;
    case ScopeRole: {
        const int scope = value.toInt();
        if (scope != int(ScopeChoice::allProjects) && scope != int(ScopeChoice::perProject))
            return false;
        tool.scope = ScopeChoice(scope);
        break;
    }
    case ExpandedRole:
        tool.expanded = value.toBool();
        break;
    case ProjectsRootRole:
        tool.projectsRoot = value.toString();
        break;
    case ProjectsRootEnabledRole:
        tool.projectsRootEnabled = value.toBool();
        break;
    default:
        return false;
    }
    if (!(tool == before))
        Q_EMIT dataChanged(index, index, {role});
    return true;
}

bool DetectedToolsModel::setProjectSelected(int toolRow, int projectRow, bool selected)
{
    if (toolRow < 0 || toolRow >= count())
        return false;
    QList<DiscoveredProject>& projects = m_tools[toolRow].projects;
    if (projectRow < 0 || projectRow >= projects.size())
        return false;
    if (projects[projectRow].selected != selected) {
        projects[projectRow].selected = selected;
        const QModelIndex changed = index(toolRow);
        Q_EMIT dataChanged(changed, changed, {ProjectsRole});
    }
    return true;
}

Qt::ItemFlags DetectedToolsModel::flags(const QModelIndex& index) const
{
    const Qt::ItemFlags flags = QAbstractListModel::flags(index);
    return index.isValid() ? flags | Qt::ItemIsEditable : flags;
}

QHash<int, QByteArray> DetectedToolsModel::roleNames() const
{
    return {
        {IdRole, "toolId"},
        {NameRole, "name"},
        {SubtitleRole, "subtitle"},
        {EnabledRole, "enabled"},
        {ScopeRole, "scope"},
        {ExpandedRole, "expanded"},
        {ProjectsRole, "projects"},
        {ProjectsRootRole, "projectsRoot"},
        {ProjectsRootEnabledRole, "projectsRootEnabled"},
    };
}
