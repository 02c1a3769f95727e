#include "platform/SyslogSink.h"

#include "core/SystemLog.h"

#include <syslog.h>

namespace {

int priorityOf(QtMsgType type)
{
    switch (type) {
    case QtDebugMsg:
        return LOG_DEBUG;
    case QtInfoMsg:
        return LOG_NOTICE;
    case QtWarningMsg:
        return LOG_WARNING;
    case QtCriticalMsg:
        return LOG_ERR;
    case QtFatalMsg:
        return LOG_CRIT;
    }
    return LOG_NOTICE;
}

} // namespace

namespace SyslogSink {

void install()
{
    openlog("quorvane", LOG_PID, LOG_USER);
    SystemLog::setSink([](QtMsgType type, const QString& line) {
        syslog(priorityOf(type), "%s", line.toUtf8().constData());
    });
}

} // namespace SyslogSink
