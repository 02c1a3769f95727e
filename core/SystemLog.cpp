#include "core/SystemLog.h"

#include <QLoggingCategory>
#include <QMutex>

namespace {

QMutex sinkMutex;
QtMessageHandler previousHandler = nullptr;

SystemLog::Sink& currentSink()
{
    static SystemLog::Sink sink;
    return sink;
}

void handleMessage(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    SystemLog::Sink sink;
    if (context.category && qstrncmp(context.category, "quorvane.", 9) == 0) {
        QMutexLocker lock(&sinkMutex);
        sink = currentSink();
    }
    if (sink)
        sink(type, message);
    else if (previousHandler)
        previousHandler(type, context, message);
}

} // namespace

namespace SystemLog {

Sink setSink(Sink sink)
{
    QMutexLocker lock(&sinkMutex);
    static const bool installed = [] {
        previousHandler = qInstallMessageHandler(handleMessage);
        return true;
    }();
    Q_UNUSED(installed);
    return std::exchange(currentSink(), std::move(sink));
}

} // namespace SystemLog
