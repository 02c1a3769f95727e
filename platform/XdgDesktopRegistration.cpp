#include "platform/XdgDesktopRegistration.h"

#include "platform/DesktopEntryText.h"
#include "platform/MimeAppsList.h"
#include "platform/XdgBaseDirectories.h"

#include <QDir>
#include <QFile>

namespace {

constexpr QLatin1String desktopIdPrefix("quorvane");
constexpr QLatin1String desktopSuffix(".desktop");
constexpr char schemeHandler[] = "x-scheme-handler/quorvane";

} // namespace

XdgDesktopRegistration::XdgDesktopRegistration()
    : XdgDesktopRegistration(XdgBaseDirectories::dataHome(), XdgBaseDirectories::configHome())
{
}

XdgDesktopRegistration::XdgDesktopRegistration(QString dataHome, QString configHome)
    : m_dataHome(std::move(dataHome))
    , m_configHome(std::move(configHome))
{
}

bool XdgDesktopRegistration::isOurDesktopId(const QString& desktopId)
{
    const QString dotted = desktopIdPrefix + QLatin1Char('.');
    return desktopId == desktopIdPrefix || desktopId.startsWith(dotted);
}

QString XdgDesktopRegistration::applicationsDirectory() const
{
    return m_dataHome + QStringLiteral("/applications");
}

QStringList XdgDesktopRegistration::ourDesktopIds() const
{
    QStringList ids;
    const QStringList names = QDir(applicationsDirectory()).entryList({QStringLiteral("*.desktop")}, QDir::Files);
    for (const QString& name : names) {
        const QString id = name.chopped(desktopSuffix.size());
        if (isOurDesktopId(id))
            ids.append(id);
    }
    return ids;
}

int XdgDesktopRegistration::clearRegistrations()
{
    int cleared = 0;
    for (const QString& id : ourDesktopIds()) {
        if (QFile::remove(applicationsDirectory() + QLatin1Char('/') + id + desktopSuffix))
            ++cleared;
    }
    cleared += removeAssociations(m_configHome + QStringLiteral("/mimeapps.list"));
    cleared += removeAssociations(applicationsDirectory() + QStringLiteral("/mimeapps.list"));
    return cleared;
}

int XdgDesktopRegistration::removeAssociations(const QString& mimeAppsPath)
{
    const std::optional<QByteArray> text = MimeAppsList::readFile(mimeAppsPath);
    if (!text)
        return 0;
    const MimeAppsList::Edit edit = MimeAppsList::withoutAssociations(*text, QByteArray(schemeHandler), [](const QString& entry) {
        // Associations may name entries that are already gone.
        return entry.endsWith(desktopSuffix) && isOurDesktopId(entry.chopped(desktopSuffix.size()));
    });
    if (edit.removed == 0 || DesktopEntryText::write(mimeAppsPath, edit.text))
        return 0;
    return edit.removed;
}
