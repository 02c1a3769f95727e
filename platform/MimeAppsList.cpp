#include "platform/MimeAppsList.h"

#include "platform/DesktopEntryText.h"
#include "platform/XdgBaseDirectories.h"

#include <QFile>
#include <QStringList>

namespace {

// Far above any real mimeapps.list; a larger file is not edited.
constexpr qint64 maximumBytes = 1024 * 1024;

const QString defaultSection = QStringLiteral("[Default Applications]");

struct Lines
{
    QStringList lines;
    std::optional<QString> error;
};

Lines readLines(const QString& path)
{
    QFile file(path);
    if (!file.exists())
        return {};
    if (!file.open(QIODevice::ReadOnly))
        return {{}, file.errorString()};
    if (file.size() > maximumBytes)
        return {{}, QStringLiteral("%1 is too large to edit.").arg(path)};
    QString text = QString::fromUtf8(file.read(maximumBytes));
    if (text.endsWith(QLatin1Char('\n')))
        text.chop(1);
    return {text.isEmpty() ? QStringList() : text.split(QLatin1Char('\n')), std::nullopt};
}

bool isSectionHeader(const QString& line)
{
    return line.trimmed().startsWith(QLatin1Char('['));
}

QString keyOf(const QString& line)
{
    const qsizetype equals = line.indexOf(QLatin1Char('='));
    return equals < 0 ? QString() : line.left(equals).trimmed();
}

QStringList valuesOf(const QString& line)
{
    const qsizetype equals = line.indexOf(QLatin1Char('='));
    QStringList values = line.mid(equals + 1).split(QLatin1Char(';'), Qt::SkipEmptyParts);
    for (QString& value : values)
        value = value.trimmed();
    return values;
}

} // namespace

MimeAppsList::MimeAppsList(QString path)
    : m_path(std::move(path))
{
}

QString MimeAppsList::defaultPath()
{
    return XdgBaseDirectories::configHome() + QStringLiteral("/mimeapps.list");
}

std::optional<QString> MimeAppsList::defaultFor(const QString& mimeType) const
{
    const Lines read = readLines(m_path);
    bool inDefaults = false;
    for (const QString& line : read.lines) {
        if (isSectionHeader(line))
            inDefaults = line.trimmed() == defaultSection;
        else if (inDefaults && keyOf(line) == mimeType && !valuesOf(line).isEmpty())
            return valuesOf(line).constFirst();
    }
    return std::nullopt;
}

std::optional<QString> MimeAppsList::setDefault(const QString& mimeType, const QString& desktopId)
{
    Lines read = readLines(m_path);
    if (read.error)
        return read.error;
    QStringList& lines = read.lines;
    const QString entry = mimeType + QLatin1Char('=') + desktopId + QLatin1Char(';');

    qsizetype section = -1;
    qsizetype insertAt = -1;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (isSectionHeader(lines.at(i))) {
            if (section >= 0)
                break;
            if (lines.at(i).trimmed() == defaultSection)
                section = insertAt = i;
            continue;
        }
        if (section < 0)
            continue;
        if (keyOf(lines.at(i)) == mimeType) {
            lines[i] = entry;
            return DesktopEntryText::write(m_path, lines.join(QLatin1Char('\n')) + QLatin1Char('\n'));
        }
        if (!lines.at(i).trimmed().isEmpty())
            insertAt = i;
    }
    if (section >= 0) {
        lines.insert(insertAt + 1, entry);
    } else {
        if (!lines.isEmpty() && !lines.constLast().trimmed().isEmpty())
            lines.append(QString());
        lines.append(defaultSection);
        lines.append(entry);
    }
    return DesktopEntryText::write(m_path, lines.join(QLatin1Char('\n')) + QLatin1Char('\n'));
}

std::optional<int> MimeAppsList::removeApplication(const QString& desktopId, QString* error)
{
    Lines read = readLines(m_path);
    if (read.error) {
        if (error)
            *error = *read.error;
        return std::nullopt;
    }
    int removed = 0;
    QStringList kept;
    bool inAssociations = false;
    for (const QString& line : std::as_const(read.lines)) {
        if (isSectionHeader(line)) {
            const QString header = line.trimmed();
            inAssociations = header == defaultSection || header == QLatin1String("[Added Associations]")
                || header == QLatin1String("[Removed Associations]");
            kept.append(line);
            continue;
        }
        const QString key = keyOf(line);
        if (!inAssociations || key.isEmpty() || line.trimmed().startsWith(QLatin1Char('#'))) {
            kept.append(line);
            continue;
        }
        QStringList values = valuesOf(line);
        const int before = int(values.size());
        values.removeAll(desktopId);
        if (values.size() == before) {
            kept.append(line);
            continue;
        }
        removed += before - int(values.size());
        if (!values.isEmpty())
            kept.append(key + QLatin1Char('=') + values.join(QLatin1Char(';')) + QLatin1Char(';'));
    }
    if (removed == 0)
        return 0;
    if (const std::optional<QString> failure
        = DesktopEntryText::write(m_path, kept.join(QLatin1Char('\n')) + QLatin1Char('\n'))) {
        if (error)
            *error = *failure;
        return std::nullopt;
    }
    return removed;
}
