#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <qcorotask.h>

// Runs one shell command line with administrator rights, after the system's
// authorisation prompt. The Linux implementation is PkexecPrivilegedRunner;
// tests use it with a stand-in for pkexec.
class PrivilegedRunner : public QObject
{
    Q_OBJECT
public:
    struct Outcome
    {
        bool launched = false;   // false: the authorisation helper could not be started
        QString launchError;     // the system's text when not launched
        int exitStatus = -1;     // -1 when ended by a signal
        QByteArray standardError; // everything the helper and the command wrote there

        bool succeeded() const { return launched && exitStatus == 0; }
    };

    using QObject::QObject;

    // Runs commandLine through /bin/sh with administrator rights. Anything but
    // exit status 0 (a refused or dismissed prompt, a failing command) is a failure.
    virtual QCoro::Task<Outcome> run(const QString& commandLine) = 0;

    // text as one single-quoted shell word: every ' becomes '\'' so that no
    // character of it is interpreted by the shell. Every path that goes into a
    // command line passes through here.
    static QString shellWord(const QString& text);
};
