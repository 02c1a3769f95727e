#pragma once

#include "platform/PrivilegedRunner.h"

// Administrator commands through polkit: pkexec <program> <arguments>.
// pkexec answers 126 when the person dismisses the prompt and 127 when
// authorisation fails; like any other non-zero status these are refusals.
class PkexecPrivilegedRunner : public PrivilegedRunner
{
    Q_OBJECT
public:
    static constexpr char defaultPkexecPath[] = "/usr/bin/pkexec";

    explicit PkexecPrivilegedRunner(QObject* parent = nullptr);
    // pkexecPath replaces pkexec (tests).
    explicit PkexecPrivilegedRunner(const QString& pkexecPath, QObject* parent = nullptr);

    QString pkexecPath() const { return m_pkexecPath; }
    QCoro::Task<Outcome> run(Command command) override;

private:
    QString m_pkexecPath;
};
