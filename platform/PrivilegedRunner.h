#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>

#include <qcorotask.h>

// Runs one program with administrator rights, after the system's
// authorisation prompt. The program gets its arguments as they are: no shell
// reads them. The Linux implementation is PkexecPrivilegedRunner; tests use it
// with a stand-in for pkexec.
class PrivilegedRunner : public QObject
{
    Q_OBJECT
public:
    struct Command
    {
        QString program; // an absolute path
        QStringList arguments;
    };

    struct Outcome
    {
        bool launched = false;   // false: the authorisation helper could not be started
        QString launchError;     // the system's text when not launched
        int exitStatus = -1;     // -1 when ended by a signal
        QByteArray standardError; // everything the helper and the program wrote there

        bool succeeded() const { return launched && exitStatus == 0; }
    };

    using QObject::QObject;

    // Anything but exit status 0 (a refused or dismissed prompt, a failing
    // program) is a failure.
    virtual QCoro::Task<Outcome> run(Command command) = 0;
};
