#include "platform/MimeAppsList.h"

#include "platform/DesktopEntryText.h"

#include <QList>

namespace MimeAppsList {

namespace {

const QByteArray defaultGroup("[Default Applications]");

bool isAssociationGroup(const QByteArray& header)
{
    return header == defaultGroup || header == "[Added Associations]";
}

// The key of a "key=value" line, or nothing.
std::optional<QByteArray> keyOf(const QByteArray& trimmedLine)
{
    const qsizetype equals = trimmedLine.indexOf('=');
    if (equals < 0 || trimmedLine.startsWith('#'))
        return std::nullopt;
    return trimmedLine.left(equals).trimmed();
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

std::optional<QString> defaultFor(const QByteArray& text, const QByteArray& mimeType)
{
    if (text.size() > maximumSize)
        return std::nullopt;
    bool inDefaults = false;
    for (const QByteArray& line : text.split('\n')) {
        const QByteArray trimmed = line.trimmed();
        if (trimmed.startsWith('[')) {
            inDefaults = trimmed == defaultGroup;
            continue;
        }
        if (!inDefaults || keyOf(trimmed) != mimeType)
            continue;
        for (const QByteArray& entry : trimmed.mid(trimmed.indexOf('=') + 1).split(';')) {
            if (!entry.trimmed().isEmpty())
                return QString::fromUtf8(entry.trimmed());
        }
    }
    return std::nullopt;
}

std::optional<QByteArray> withDefault(const QByteArray& text, const QByteArray& mimeType, const QString& desktopId)
{
    if (text.size() > maximumSize)
        return std::nullopt;
    const QByteArray entry = mimeType + '=' + desktopId.toUtf8() + ';';
    QList<QByteArray> lines = text.isEmpty() ? QList<QByteArray>() : text.split('\n');
    const bool endsWithNewline = !lines.isEmpty() && lines.constLast().isEmpty();
    if (endsWithNewline)
        lines.removeLast();

    qsizetype group = -1;
    qsizetype insertAt = -1;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QByteArray trimmed = lines.at(i).trimmed();
        if (trimmed.startsWith('[')) {
            if (group >= 0)
                break;
            if (trimmed == defaultGroup)
                group = insertAt = i;
            continue;
        }
        if (group < 0)
            continue;
        if (keyOf(trimmed) == mimeType) {
            lines[i] = entry;
            return lines.join('\n') + '\n';
        }
        if (!trimmed.isEmpty())
            insertAt = i;
    }
    if (group >= 0) {
        lines.insert(insertAt + 1, entry);
    } else {
        if (!lines.isEmpty() && !lines.constLast().trimmed().isEmpty())
            lines.append(QByteArray());
        lines.append(defaultGroup);
        lines.append(entry);
    }
    return lines.join('\n') + '\n';
}

std::optional<QByteArray> readFile(const QString& path)
{
    return DesktopEntryText::read(path, maximumSize);
}

} // namespace MimeAppsList
