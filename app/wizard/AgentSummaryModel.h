#pragma once

#include "app/wizard/AgentSummary.h"

#include <QAbstractListModel>
#include <QList>
#include <QtQmlIntegration/qqmlintegration.h>

// The agents the set-up run made, in the order it made them.
class AgentSummaryModel : public QAbstractListModel
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("owned by the wizard state")
    Q_PROPERTY(int count READ count NOTIFY countChanged)
public:
    enum Role {
        NameRole = Qt::UserRole + 1,
        ScopeRole,
        ToolNameRole,
    };
    Q_ENUM(Role)

    explicit AgentSummaryModel(QObject* parent = nullptr);

    const QList<AgentSummary>& summaries() const { return m_summaries; }
    int count() const { return int(m_summaries.size()); }

    void clear();
    void append(AgentSummary summary);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

Q_SIGNALS:
    void countChanged();

private:
    QList<AgentSummary> m_summaries;
};
