#include "platform/MimeAppsList.h"

#include <QList>

namespace MimeAppsList {

namespace {

bool isAssociationGroup(const QByteArray& header)
{
    return header == "[Default Applications]" || header == "[Added Associations]";
}

} // namespace

Edit withoutAssociations(const QByteArray& text, const QByteArray& mimeType, const std::function<bool(const QString&)>& isRemoved)
{
    Edit edit;
    if (text.size() > maximumSize) {
        edit.text = text;
        return edit;
    }
    QList<QByteArray> kept;
    bool inAssociations = false;
    const QList<QByteArray> lines = text.split('\n');
    for (const QByteArray& line : lines) {
        const QByteArray trimmed = line.trimmed();
        if (trimmed.startsWith('[')) {
            inAssociations = isAssociationGroup(trimmed);
            kept.append(line);
            continue;
        }
        const qsizetype equals = trimmed.indexOf('=');
        if (!inAssociations || equals < 0 || trimmed.left(equals).trimmed() != mimeType) {
            kept.append(line);
            continue;
        }
        QList<QByteArray> entries = trimmed.mid(equals + 1).split(';');
        const qsizetype before = entries.size();
        entries.removeIf([&](const QByteArray& entry) {
            return isRemoved(QString::fromUtf8(entry.trimmed()));
        });
        if (entries.size() == before) {
            kept.append(line);
            continue;
        }
        ++edit.removed;
        entries.removeIf([](const QByteArray& entry) { return entry.trimmed().isEmpty(); });
        if (!entries.isEmpty())
            kept.append(QByteArray(mimeType + '=' + entries.join(';') + ';'));
    }
    edit.text = kept.join('\n');
    return edit;
}

} // namespace MimeAppsList
