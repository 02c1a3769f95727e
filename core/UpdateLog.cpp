#include "core/UpdateLog.h"

#include "core/PrivateFiles.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>

#include <cerrno>

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

int openLog(const QByteArray& path)
{
    const int fd = ::open(path.constData(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0600);
    if (fd < 0)
        return -1;
    struct stat info{};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != ::geteuid()) {
        ::close(fd);
        return -1;
    }
    if ((info.st_mode & 077) != 0)
        ::fchmod(fd, 0600); // a log left by an older version
    return fd;
}

} // namespace

namespace UpdateLog {

QString line(const QString& message)
{
    const QStringView capped = QStringView(message).left(maximumMessageLength);
    QString escaped;
    escaped.reserve(capped.size());
    for (const QChar c : capped) {
        if (c == u'\n')
            escaped += QLatin1String("\\n");
        else if (c == u'\r')
            escaped += QLatin1String("\\r");
        else if (c.category() == QChar::Other_Control)
            escaped += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QChar(u'0'));
        else
            escaped += c;
    }
    if (message.size() > maximumMessageLength)
        escaped += QStringLiteral("... (%1 characters cut)").arg(message.size() - maximumMessageLength);
    return QDateTime::currentDateTimeUtc().toString(Qt::ISODate) + u' ' + escaped + u'\n';
}

void appendTo(const QString& path, const QString& message)
{
    if (PrivateFiles::makePrivateDirectories(QFileInfo(path).absolutePath()))
        return;
    const QByteArray encodedPath = QFile::encodeName(path);
    const QByteArray text = line(message).toUtf8();
    int fd = openLog(encodedPath);
    if (fd < 0)
        return;
    struct stat info{};
    if (::fstat(fd, &info) == 0 && info.st_size + text.size() > rotateBytes) {
        ::close(fd);
        // rename() moves a link itself, never what it points to.
        ::rename(encodedPath.constData(), QByteArray(encodedPath + ".1").constData());
        fd = openLog(encodedPath);
        if (fd < 0)
            return;
    }
    // O_APPEND: each line lands whole at the end, even with the updater writing too.
    const ssize_t written = ::write(fd, text.constData(), size_t(text.size()));
    Q_UNUSED(written);
    ::close(fd);
}

} // namespace UpdateLog
