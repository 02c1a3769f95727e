#include "platform/XdgAutostartLoginItem.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace {

constexpr char entryFileName[] = "quorvane.desktop";

// An Exec argument: quoted, with the characters the desktop entry format
// reserves inside quotes escaped, then the string value's own backslash escape.
std::optional<QString> quotedExecArgument(const QString& path)
{
    for (const QChar c : path) {
        if (c.category() == QChar::Other_Control)
            return std::nullopt;
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

} // namespace

XdgAutostartLoginItem::XdgAutostartLoginItem()
    : XdgAutostartLoginItem(defaultAutostartDirectory(), QCoreApplication::applicationFilePath())
{
}

XdgAutostartLoginItem::XdgAutostartLoginItem(QString autostartDirectory, QString executablePath)
    : m_autostartDirectory(std::move(autostartDirectory))
    , m_executablePath(std::move(executablePath))
{
}

QString XdgAutostartLoginItem::defaultAutostartDirectory()
{
    const QString configHome = qEnvironmentVariable("XDG_CONFIG_HOME");
    // A relative XDG_CONFIG_HOME is invalid and must be ignored.
    const QString base = QDir::isAbsolutePath(configHome) ? configHome : QDir::homePath() + QStringLiteral("/.config");
    return base + QStringLiteral("/autostart");
}

QString XdgAutostartLoginItem::entryPath() const
{
    return m_autostartDirectory + QLatin1Char('/') + QLatin1String(entryFileName);
}

std::optional<QString> XdgAutostartLoginItem::registerItem()
{
    if (!QFileInfo(m_executablePath).isAbsolute())
        return QStringLiteral("The program's location is unknown.");
    const std::optional<QString> exec = quotedExecArgument(m_executablePath);
    if (!exec)
        return QStringLiteral("The program's location contains control characters.");
    if (!QDir().mkpath(m_autostartDirectory))
        return QStringLiteral("Could not create %1.").arg(m_autostartDirectory);

    QSaveFile file(entryPath());
    if (!file.open(QIODevice::WriteOnly))
        return file.errorString();
    const QString entry = QStringLiteral("[Desktop Entry]\n"
                                         "Type=Application\n"
                                         "Name=Quorvane\n"
                                         "Comment=Approve or deny the risky actions of your AI tools\n"
                                         "Exec=%1\n"
                                         "Icon=quorvane\n"
                                         "Terminal=false\n"
                                         "NoDisplay=true\n"
                                         "X-GNOME-Autostart-enabled=true\n")
                              .arg(*exec);
    file.write(entry.toUtf8());
    if (!file.commit())
        return file.errorString();
    return std::nullopt;
}

std::optional<QString> XdgAutostartLoginItem::unregisterItem()
{
    QFile entry(entryPath());
    if (!entry.exists() || entry.remove())
        return std::nullopt;
    return entry.errorString();
}

bool XdgAutostartLoginItem::isRegistered() const
{
    return QFileInfo::exists(entryPath());
}
