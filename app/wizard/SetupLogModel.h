#pragma once

#include "app/wizard/SetupLogEntry.h"

#include <QAbstractListModel>
#include <QList>
#include <QtQmlIntegration/qqmlintegration.h>

// The live log of the set-up run. It only grows: headers and lines are
// appended, and a step's running line is replaced by its outcome. A section
// header is never replaced.
class SetupLogModel : public QAbstractListModel
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("owned by the wizard state")
    Q_PROPERTY(int count READ count NOTIFY countChanged)
public:
    enum Role {
        TextRole = Qt::UserRole + 1,
        StyleRole, // LogStyle as an int
        SectionRole, // the header text; empty for lines that are not headers
    };
    Q_ENUM(Role)

    explicit SetupLogModel(QObject* parent = nullptr);

    const QList<SetupLogEntry>& entries() const { return m_entries; }
    int count() const { return int(m_entries.size()); }

    void clear();
    // A group title: style sectionHeader, section = text.
    void addSection(const QString& text);
    // A line without section.
    void appendLog(const QString& text, LogStyle style);
    // Replaces the last line by a new one (new id) when the log is not empty
    // and its last entry is not a header; otherwise nothing changes.
    void updateLastLog(const QString& text, LogStyle style);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

Q_SIGNALS:
    void countChanged();

private:
    void append(SetupLogEntry entry);

    QList<SetupLogEntry> m_entries;
};
