#include "core/PrivateFiles.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString errnoText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

bool writeAll(int fd, const QByteArray& data)
{
    qsizetype written = 0;
    while (written < data.size()) {
        const ssize_t count = ::write(fd, data.constData() + written, size_t(data.size() - written));
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            return false;
        written += count;
    }
    return true;
}

} // namespace

namespace PrivateFiles {

std::optional<QByteArray> readSmallRegularFile(const QString& path, qint64 limit, ReadRules rules)
{
    const int flags = O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY | (rules.followLinks ? 0 : O_NOFOLLOW);
    const int fd = ::open(QFile::encodeName(path).constData(), flags);
    if (fd < 0 && errno == ENOENT && rules.missingIsEmpty)
        return QByteArray();
    if (fd < 0)
        return std::nullopt;
    struct stat info{};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size > limit) {
        ::close(fd);
        return std::nullopt;
    }
    QByteArray content;
    char buffer[16384];
    for (;;) {
        const ssize_t count = ::read(fd, buffer, sizeof buffer);
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0 || content.size() + count > limit) {
            ::close(fd);
            return std::nullopt;
        }
        if (count == 0)
            break;
        content.append(buffer, count);
    }
    ::close(fd);
    return content;
}

std::optional<QString> writeAtomically(const QString& path, const QByteArray& data, mode_t mode)
{
    const QFileInfo target(path);
    QByteArray temporary = QFile::encodeName(target.absolutePath() + QStringLiteral("/.") + target.fileName()
                                             + QStringLiteral(".XXXXXX"));
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC); // mkostemp creates with mode 0600
    if (fd < 0)
        return QStringLiteral("cannot create a file next to %1: %2").arg(path, errnoText(errno));
    const bool written = ::fchmod(fd, mode) == 0 && writeAll(fd, data) && ::fsync(fd) == 0;
    const int writeError = errno;
    if (::close(fd) != 0 || !written) {
        ::unlink(temporary.constData());
        return QStringLiteral("cannot write %1: %2").arg(path, errnoText(written ? errno : writeError));
    }
    if (::rename(temporary.constData(), QFile::encodeName(path).constData()) != 0) {
        const int renameError = errno;
        ::unlink(temporary.constData());
        return QStringLiteral("cannot write %1: %2").arg(path, errnoText(renameError));
    }
    return std::nullopt;
}

std::optional<QString> makePrivateDirectories(const QString& path)
{
    struct stat info{};
    if (::lstat(QFile::encodeName(path).constData(), &info) == 0) {
        if (S_ISDIR(info.st_mode))
            return std::nullopt;
        return QStringLiteral("%1 exists and is not a directory").arg(path);
    }
    const QString parent = QFileInfo(path).absolutePath();
    if (parent != path) {
        if (auto error = makePrivateDirectories(parent))
            return error;
    }
    if (::mkdir(QFile::encodeName(path).constData(), 0700) != 0 && errno != EEXIST)
        return QStringLiteral("cannot create %1: %2").arg(path, errnoText(errno));
    return std::nullopt;
}

} // namespace PrivateFiles
