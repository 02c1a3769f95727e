#include "platform/DesktopEntryText.h"

#include "core/PrivateFiles.h"

#include <QDir>
#include <QFileInfo>

namespace DesktopEntryText {

std::optional<QString> execArgument(const QString& path)
{
    QString quoted;
    quoted.reserve(path.size() + 2);
    quoted += QLatin1Char('"');
    for (const QChar c : path) {
        if (c.category() == QChar::Other_Control)
            return std::nullopt;
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
