#pragma once

#include <QProcess>
#include <QString>

// Packs the folder `tree` into the gzip-compressed tar archive `archive` with
// the system's tar, the way runtime releases are shipped; false when tar fails.
inline bool packTree(const QString& tree, const QString& archive)
{
    QProcess tar;
    tar.start(QStringLiteral("/usr/bin/tar"),
        { QStringLiteral("-czf"), archive, QStringLiteral("-C"), tree, QStringLiteral(".") });
    return tar.waitForFinished(30000) && tar.exitStatus() == QProcess::NormalExit && tar.exitCode() == 0;
}
