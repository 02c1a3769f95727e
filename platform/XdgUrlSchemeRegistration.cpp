#include "platform/XdgUrlSchemeRegistration.h"

#include "platform/DesktopEntryText.h"
#include "platform/XdgBaseDirectories.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

namespace {

// Our own entry is a few hundred bytes.
constexpr qint64 maximumEntryBytes = 64 * 1024;

} // namespace

XdgUrlSchemeRegistration::XdgUrlSchemeRegistration()
    : XdgUrlSchemeRegistration(XdgBaseDirectories::dataHome() + QStringLiteral("/applications"), MimeAppsList(),
                               QCoreApplication::applicationFilePath())
{
}

XdgUrlSchemeRegistration::XdgUrlSchemeRegistration(QString applicationsDirectory, MimeAppsList mimeApps,
                                                   QString executablePath)
    : m_applicationsDirectory(std::move(applicationsDirectory))
    , m_mimeApps(std::move(mimeApps))
    , m_executablePath(std::move(executablePath))
{
}

QString XdgUrlSchemeRegistration::entryPath() const
{
    return m_applicationsDirectory + QLatin1Char('/') + QLatin1String(desktopId);
}

QString XdgUrlSchemeRegistration::entryContent() const
{
    const std::optional<QString> exec = DesktopEntryText::execArgument(m_executablePath);
    if (!exec)
        return QString();
    return QStringLiteral("[Desktop Entry]\n"
                          "Type=Application\n"
                          "Name=Quorvane\n"
                          "GenericName=AI agent approvals\n"
                          "Comment=Approve or deny the risky actions of your AI tools\n"
                          "Exec=%1 %u\n"
                          "Icon=quorvane\n"
                          "Terminal=false\n"
                          "Categories=Utility;Security;\n"
                          "MimeType=x-scheme-handler/quorvane;\n"
                          "StartupNotify=false\n")
        .arg(*exec);
}

bool XdgUrlSchemeRegistration::isRegistered() const
{
    QFile entry(entryPath());
    if (!entry.open(QIODevice::ReadOnly) || entry.size() > maximumEntryBytes)
        return false;
    const QString content = entryContent();
    return !content.isEmpty() && QString::fromUtf8(entry.readAll()) == content
        && m_mimeApps.defaultFor(QLatin1String(handlerType)) == QLatin1String(desktopId);
}

std::optional<QString> XdgUrlSchemeRegistration::registerHandler()
{
    if (!QFileInfo(m_executablePath).isAbsolute())
        return QStringLiteral("The program's location is unknown.");
    const QString content = entryContent();
    if (content.isEmpty())
        return QStringLiteral("The program's location contains control characters.");
    if (const std::optional<QString> failure = DesktopEntryText::write(entryPath(), content))
        return failure;
    return m_mimeApps.setDefault(QLatin1String(handlerType), QLatin1String(desktopId));
}
