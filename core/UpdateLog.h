#pragma once

#include <QString>

// The update check's own plain-text log, ~/.quorvane/update-check.log: one line
// per step, "<UTC time in ISO 8601> <message>". Writing never fails loudly.
namespace UpdateLog {

void append(const QString& message);

// The line as written for a message at the current time (control characters in
// the message are escaped so that a server-supplied value cannot forge lines).
QString line(const QString& message);

} // namespace UpdateLog
