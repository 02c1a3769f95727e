#pragma once

#include <QString>

#include <optional>

// Makes the running program the handler of "quorvane:" links for this person,
// without any package: a desktop entry in the XDG data home that starts this
// very executable, chosen as the default for x-scheme-handler/quorvane in
// mimeapps.list. The browser's sign-in callback then reaches the program.
class XdgUrlSchemeRegistration
{
public:
    static constexpr char desktopId[] = "quorvane.desktop";
    static constexpr char handlerType[] = "x-scheme-handler/quorvane";

    // The data home's applications folder, mimeapps.list in the configuration
    // home and the running executable.
    XdgUrlSchemeRegistration();
    XdgUrlSchemeRegistration(QString applicationsDirectory, QString mimeAppsPath, QString executablePath);

    // The entry starts this executable and is the default handler.
    bool isRegistered() const;
    // Writes the entry and the association (both replaced when they differ);
    // the failure's description otherwise.
    std::optional<QString> registerHandler();

    QString entryPath() const;
    QString entryContent() const;

private:
    QString m_applicationsDirectory;
    QString m_mimeAppsPath;
    QString m_executablePath;
};
