#include "tools/cli/InvocationLog.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace InvocationLog {

void append(const QString& path, const QStringList& arguments, const QString& workingDirectory)
{
    if (path.isEmpty())
        return;
    const QJsonObject entry {
        { QStringLiteral("args"), QJsonArray::fromStringList(arguments) },
        { QStringLiteral("cwd"), workingDirectory },
    };
    const QByteArray line = QJsonDocument(entry).toJson(QJsonDocument::Compact) + '\n';

    // O_APPEND and one write per line keep lines whole when runs overlap.
    const int fd
        = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (fd < 0) {
        std::fprintf(stderr, "quorvane: cannot open the invocation log: %s\n", std::strerror(errno));
        return;
    }
    ssize_t written;
    do {
        written = ::write(fd, line.constData(), size_t(line.size()));
    } while (written < 0 && errno == EINTR);
    ::close(fd);
}

} // namespace InvocationLog
