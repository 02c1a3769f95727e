#pragma once

#include "app/tooling/AgentInfo.h"

#include <QAbstractListModel>
#include <QtQmlIntegration/qqmlintegration.h>

// The agents of this machine as a list for the dashboard, newest first, read
// from the agent registry on reload().
class AgentListModel : public QAbstractListModel
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("made by the window manager")
    Q_PROPERTY(int count READ count NOTIFY countChanged)

public:
    enum Role { nameRole = Qt::UserRole + 1, scopeLabelRole, statusRole, templateRole, createdAtRole, shownNameRole };

    // agentsDirectory: empty means the registry of this account.
    explicit AgentListModel(QString agentsDirectory = {}, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;
    int count() const { return int(m_agents.size()); }
    const QList<AgentInfo>& agents() const { return m_agents; }

    Q_INVOKABLE void reload();

Q_SIGNALS:
    void countChanged();

private:
    QString m_agentsDirectory;
    QList<AgentInfo> m_agents;
};
