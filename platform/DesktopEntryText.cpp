#include "platform/DesktopEntryText.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

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
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return file.errorString();
    if (file.write(content) != content.size() || !file.commit())
        return file.errorString();
    return std::nullopt;
}

} // namespace DesktopEntryText
