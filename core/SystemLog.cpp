#include "SystemLog.h"

#include <QLoggingCategory>
#include <QMutex>

Q_LOGGING_CATEGORY(lcSystemLog, "quorvane.log")

namespace {
QMutex sinkMutex;
SystemLog::Sink& currentSink()
{
    static SystemLog::Sink sink;
    return sink;
}
} // namespace

namespace SystemLog {

void write(const QString& line)
{
    Sink sink;
    {
        QMutexLocker lock(&sinkMutex);
        sink = currentSink();
    }
    if (sink)
        sink(line);
    else
        qCInfo(lcSystemLog).noquote() << line;
}

Sink setSink(Sink sink)
{
    QMutexLocker lock(&sinkMutex);
    return std::exchange(currentSink(), std::move(sink));
}

} // namespace SystemLog
