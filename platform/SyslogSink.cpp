#include "platform/SyslogSink.h"

#include "core/SystemLog.h"

#include <syslog.h>

namespace SyslogSink {

void install()
{
    openlog("quorvane", LOG_PID, LOG_USER);
    SystemLog::setSink([](const QString& line) { syslog(LOG_NOTICE, "%s", line.toUtf8().constData()); });
}

} // namespace SyslogSink
