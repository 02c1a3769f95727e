#pragma once

#include <QString>

#include <optional>

// Where the running program is installed: the prefix that holds bin/quorvane-app
// (the parent of the executable's folder), and whether the person may put it
// in the trash. Only a self-contained prefix inside the home folder qualifies:
// its bin/ holds our program and nothing else, so trashing it takes no one
// else's files. A prefix outside the home folder belongs to the system's
// package manager; one shared with other programs (~/.local) is left alone.
class ApplicationInstallation
{
public:
    // The running executable's installation and the account's home folder.
    ApplicationInstallation();
    ApplicationInstallation(QString prefix, QString home);

    const QString& prefix() const { return m_prefix; }
    bool isUserLocal() const;
    bool isSystemWide() const;

    // Moves the prefix to the trash (QFile::moveToTrash); the failure's text
    // otherwise. Refused unless isUserLocal().
    std::optional<QString> moveToTrash() const;

    // What to tell the person when the program is not moved to the trash.
    QString removalAdvice() const;

private:
    QString m_prefix;
    QString m_home;
};
