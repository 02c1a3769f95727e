#pragma once

// Sends the program's diagnostic lines to syslog(3) (the journal on systemd).
namespace SyslogSink {
void install();
}
