#pragma once

#include "app/tooling/DetectedTool.h"

#include <QAbstractListModel>
#include <QList>

// The detected tools as the configure screen shows and edits them. The whole
// list is replaced by each detection; the screen's edits (enabled, expanded,
// scope, projectsRootEnabled, projectsRoot and each project's selection) change
// the rows in place.
class DetectedToolsModel : public QAbstractListModel
{
    Q_OBJECT
    Q_PROPERTY(int count READ count NOTIFY countChanged)
public:
    enum Role {
        IdRole = Qt::UserRole + 1,
        NameRole,
        SubtitleRole,
        EnabledRole,
        ScopeRole, // ScopeChoice as an int
        ExpandedRole,
        ProjectsRole, // a list of DiscoveredProject values
        ProjectsRootRole,
        ProjectsRootEnabledRole,
    };
    Q_ENUM(Role)

    explicit DetectedToolsModel(QObject* parent = nullptr);

    const QList<DetectedTool>& tools() const { return m_tools; }
    void setTools(QList<DetectedTool> tools);
    int count() const { return int(m_tools.size()); }

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QHash<int, QByteArray> roleNames() const override;

    // Marks one project of a tool for a per-project agent. False for rows out of range.
    Q_INVOKABLE bool setProjectSelected(int toolRow, int projectRow, bool selected);

Q_SIGNALS:
    void countChanged();

private:
    QList<DetectedTool> m_tools;
};
