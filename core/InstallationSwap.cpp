#include "core/InstallationSwap.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString besidePrefix(const QString& prefix, const char* suffix)
{
    const QFileInfo info(QDir::cleanPath(prefix));
    return info.absolutePath() + QStringLiteral("/.") + info.fileName() + QLatin1String(suffix);
}

bool exists(const QString& path)
{
    struct stat info{};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0;
}

QString errnoText() { return QString::fromLocal8Bit(std::strerror(errno)); }

} // namespace

namespace InstallationSwap {

QString stagingPath(const QString& prefix) { return besidePrefix(prefix, ".update"); }
QString previousPath(const QString& prefix) { return besidePrefix(prefix, ".previous"); }

bool isWorkingInstallation(const QString& prefix)
{
    struct stat bin{}, app{};
    const QByteArray root = QFile::encodeName(prefix);
    return ::lstat(QByteArray(root + "/bin").constData(), &bin) == 0 && S_ISDIR(bin.st_mode)
           && ::lstat(QByteArray(root + "/bin/quorvane-app").constData(), &app) == 0 && S_ISREG(app.st_mode)
           && (app.st_mode & S_IXUSR);
}

std::optional<QString> exchange(const QString& prefix)
{
    const QByteArray staging = QFile::encodeName(stagingPath(prefix));
    const QByteArray target = QFile::encodeName(prefix);
    if (::renameat2(AT_FDCWD, staging.constData(), AT_FDCWD, target.constData(), RENAME_EXCHANGE) != 0)
        return QStringLiteral("cannot exchange %1 with %2: %3").arg(stagingPath(prefix), prefix, errnoText());
    return std::nullopt;
}

std::optional<QString> retire(const QString& prefix)
{
    removeTree(previousPath(prefix));
    if (::rename(QFile::encodeName(stagingPath(prefix)).constData(), QFile::encodeName(previousPath(prefix)).constData())
        != 0)
        return QStringLiteral("cannot move %1 aside: %2").arg(stagingPath(prefix), errnoText());
    return std::nullopt;
}

void removeTree(const QString& path)
{
    // QDir::removeRecursively deletes links themselves, never what they point to.
    struct stat info{};
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0)
        return;
    if (S_ISDIR(info.st_mode))
        QDir(path).removeRecursively();
    else
        ::unlink(QFile::encodeName(path).constData());
}

QStringList repair(const QString& prefix)
{
    QStringList actions;
    const QString staging = stagingPath(prefix);
    const QString previous = previousPath(prefix);
    if (!exists(prefix) && isWorkingInstallation(previous)) {
        if (::rename(QFile::encodeName(previous).constData(), QFile::encodeName(prefix).constData()) == 0)
            actions.append(QStringLiteral("repair: restored ") + prefix + QStringLiteral(" from ") + previous);
        else
            actions.append(QStringLiteral("repair: cannot restore ") + prefix + QStringLiteral(": ") + errnoText());
    }
    // With the prefix in place, whatever lies beside it is a leftover: a
    // partly unpacked new tree, or the old tree after the exchange.
    if (!isWorkingInstallation(prefix))
        return actions;
    for (const QString& leftover : {staging, previous}) {
        if (exists(leftover)) {
            removeTree(leftover);
            actions.append(QStringLiteral("repair: removed ") + leftover);
        }
    }
    return actions;
}

} // namespace InstallationSwap
