#include "app/wizard/SetupLogModel.h"
#include "core/VisibleText.h"

SetupLogModel::SetupLogModel(QObject* parent) : QAbstractListModel(parent) {}

void SetupLogModel::clear()
{
    if (m_entries.isEmpty())
        return;
    beginResetModel();
    m_entries.clear();
    endResetModel();
    Q_EMIT countChanged();
}

void SetupLogModel::addSection(const QString& text)
{
    append({QUuid::createUuid(), text, LogStyle::sectionHeader, text});
}

void SetupLogModel::appendLog(const QString& text, LogStyle style)
{
    append({QUuid::createUuid(), text, style, std::nullopt});
}

void SetupLogModel::updateLastLog(const QString& text, LogStyle style)
{
    if (m_entries.isEmpty() || m_entries.last().section)
        return;
    m_entries.last() = {QUuid::createUuid(), text, style, std::nullopt};
    const QModelIndex last = index(count() - 1);
    Q_EMIT dataChanged(last, last);
}

void SetupLogModel::append(SetupLogEntry entry)
{
    beginInsertRows({}, count(), count());
    m_entries.append(std::move(entry));
    endInsertRows();
    Q_EMIT countChanged();
}

int SetupLogModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : count();
}

QVariant SetupLogModel::data(const QModelIndex& index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const SetupLogEntry& entry = m_entries.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
    case TextRole:
        return visibleText(entry.text);
    case StyleRole:
        return int(entry.style);
    case SectionRole:
        return visibleText(entry.section.value_or(QString()));
    default:
        return {};
    }
}

QHash<int, QByteArray> SetupLogModel::roleNames() const
{
    return {{TextRole, "text"}, {StyleRole, "style"}, {SectionRole, "section"}};
}
