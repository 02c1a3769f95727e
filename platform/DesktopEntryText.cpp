#include "platform/DesktopEntryText.h"

#include "core/PrivateFiles.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>

namespace DesktopEntryText {

namespace {

// The characters the format reserves in an Exec argument: an argument holding
// any of them must be quoted.
bool isReserved(QChar c)
{
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    return reserved.contains(c);
}

} // namespace

std::optional<QString> execArgument(const QString& path)
{
    for (const QChar c : path) {
        if (c.category() == QChar::Other_Control)
            return std::nullopt;
    }
    // Plain paths stay plain: some launchers (xdg-open on a desktop it does not
    // know) split Exec on spaces and run the quoted word as it is.
    if (!std::any_of(path.begin(), path.end(), isReserved)) {
        QString plain = path;
        return plain.replace(QLatin1Char('%'), QLatin1String("%%"));
    }
    QString quoted;
    quoted.reserve(path.size() + 2);
    quoted += QLatin1Char('"');
    for (const QChar c : path) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$'))
            quoted += QLatin1String("\\\\");
        else if (c == QLatin1Char('\\'))
            quoted += QLatin1String("\\\\\\");
        else if (c == QLatin1Char('%'))
            quoted += QLatin1Char('%');
        quoted += c;
    }
    quoted += QLatin1Char('"');
    return quoted;
}

std::optional<QString> write(const QString& path, const QByteArray& content)
{
    const QString folder = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(folder))
        return QStringLiteral("Could not create %1.").arg(folder);
    return PrivateFiles::writeAtomically(path, content, 0644);
}

std::optional<QByteArray> read(const QString& path, qint64 limit)
{
    return PrivateFiles::readSmallRegularFile(path, limit, { .followLinks = false, .missingIsEmpty = true });
}

} // namespace DesktopEntryText
