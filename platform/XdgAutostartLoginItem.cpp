#include "platform/XdgAutostartLoginItem.h"

#include "platform/DesktopEntryText.h"
#include "platform/XdgBaseDirectories.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

namespace {

constexpr char entryFileName[] = "quorvane.desktop";

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
    return XdgBaseDirectories::configHome() + QStringLiteral("/autostart");
}

QString XdgAutostartLoginItem::entryPath() const
{
    return m_autostartDirectory + QLatin1Char('/') + QLatin1String(entryFileName);
}

std::optional<QString> XdgAutostartLoginItem::registerItem()
{
    if (!QFileInfo(m_executablePath).isAbsolute())
        return QStringLiteral("The program's location is unknown.");
    const std::optional<QString> exec = DesktopEntryText::execArgument(m_executablePath);
    if (!exec)
        return QStringLiteral("The program's location contains control characters.");
    return DesktopEntryText::write(entryPath(),
                                   QStringLiteral("[Desktop Entry]\n"
                                                  "Type=Application\n"
                                                  "Name=Quorvane\n"
                                                  "Comment=Approve or deny the risky actions of your AI tools\n"
                                                  "Exec=%1\n"
                                                  "Icon=quorvane\n"
                                                  "Terminal=false\n"
                                                  "NoDisplay=true\n"
                                                  "X-GNOME-Autostart-enabled=true\n")
                                       .arg(*exec)
                                       .toUtf8());
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
