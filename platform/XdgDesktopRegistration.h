#pragma once

#include "platform/DesktopRegistration.h"

#include <QString>
#include <QStringList>

// Our desktop entries in the applications folder of the XDG data home, and the
// x-scheme-handler/quorvane associations naming them in mimeapps.list (in the
// XDG configuration home, and the older place beside the entries). An entry is
// ours when its id is the program's ("quorvane") or begins with it followed by
// "." ("quorvane.dev"); "quorvane-tools" is someone else's.
class XdgDesktopRegistration : public DesktopRegistration
{
public:
    // $XDG_DATA_HOME (~/.local/share when unset) and $XDG_CONFIG_HOME
    // (~/.config when unset) of the account's home folder.
    XdgDesktopRegistration();
    XdgDesktopRegistration(QString dataHome, QString configHome);

    // Each removed entry and each association taken out counts as one.
    int clearRegistrations() override;

    static bool isOurDesktopId(const QString& desktopId);

private:
    QString applicationsDirectory() const;
    QStringList ourDesktopIds() const;
    static int removeAssociations(const QString& mimeAppsPath);

    QString m_dataHome;
    QString m_configHome;
};
