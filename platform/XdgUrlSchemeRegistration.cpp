#include "platform/XdgUrlSchemeRegistration.h"

#include "platform/DesktopEntryText.h"
#include "platform/MimeAppsList.h"
#include "platform/XdgBaseDirectories.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace {

// Our own entry is a few hundred bytes.
constexpr qint64 maximumEntryBytes = 64 * 1024;

} // namespace

XdgUrlSchemeRegistration::XdgUrlSchemeRegistration()
    : XdgUrlSchemeRegistration(XdgBaseDirectories::dataHome() + QStringLiteral("/applications"),
                               XdgBaseDirectories::configHome() + QStringLiteral("/mimeapps.list"),
                               QCoreApplication::applicationFilePath())
{
}

XdgUrlSchemeRegistration::XdgUrlSchemeRegistration(QString applicationsDirectory, QString mimeAppsPath,
                                                   QString executablePath)
    : m_applicationsDirectory(std::move(applicationsDirectory))
    , m_mimeAppsPath(std::move(mimeAppsPath))
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
    const std::optional<QByteArray> entry = DesktopEntryText::read(entryPath(), maximumEntryBytes);
    const QString content = entryContent();
    if (!entry || content.isEmpty() || QString::fromUtf8(*entry) != content)
        return false;
    const std::optional<QByteArray> mimeApps = MimeAppsList::readFile(m_mimeAppsPath);
    return mimeApps && MimeAppsList::defaultFor(*mimeApps, handlerType) == QLatin1String(desktopId);
}

std::optional<QString> XdgUrlSchemeRegistration::registerHandler()
{
    if (!QFileInfo(m_executablePath).isAbsolute())
        return QStringLiteral("The program's location is unknown.");
    const QString content = entryContent();
    if (content.isEmpty())
        return QStringLiteral("The program's location contains control characters.");
    const std::optional<QByteArray> mimeApps = MimeAppsList::readFile(m_mimeAppsPath);
    if (!mimeApps)
        return QStringLiteral("%1 cannot be read or is too large.").arg(m_mimeAppsPath);
    const std::optional<QByteArray> edited
        = MimeAppsList::withDefault(*mimeApps, handlerType, QLatin1String(desktopId));
    if (!edited)
        return QStringLiteral("%1 is too large to edit.").arg(m_mimeAppsPath);
    if (const std::optional<QString> failure = DesktopEntryText::write(entryPath(), content.toUtf8()))
        return failure;
    return DesktopEntryText::write(m_mimeAppsPath, *edited);
}
