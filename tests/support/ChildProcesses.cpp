#include "tests/support/ChildProcesses.h"

#include <QDir>
#include <QFile>

#include <unistd.h>

int childProcessCount(const QByteArray& commandName)
{
    int count = 0;
    const QByteArray self = QByteArray::number(::getpid());
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        if (!entry.front().isDigit())
            continue;
        QFile stat(QStringLiteral("/proc/") + entry + QStringLiteral("/stat"));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        // pid (comm) state ppid ...: the command name may hold spaces.
        const QByteArray text = stat.readAll();
        const qsizetype open = text.indexOf('(');
        const qsizetype close = text.lastIndexOf(')');
        if (open < 0 || close < open)
            continue;
        const QList<QByteArray> fields = text.mid(close + 2).split(' ');
        if (fields.size() < 2 || fields[1] != self)
            continue;
        if (commandName.isEmpty() || text.mid(open + 1, close - open - 1) == commandName)
            ++count;
    }
    return count;
}
