#pragma once

#include <QString>

#include <functional>

class QLoggingCategory;

// The program's diagnostic lines ("Quorvane: ..."), each in its module's
// logging category (LogCategories.h). Lines of the quorvane.* categories go to
// the sink: the composition root sends them to the system log, tests install
// a sink of their own to read them; without a sink Qt's handler prints them.
namespace SystemLog {

using Sink = std::function<void(const QString& line)>;

void write(const QLoggingCategory& category, const QString& line);

// Replaces the sink for the whole process and returns the previous one. The
// first call installs the Qt message handler that feeds it. An empty sink
// restores the default, Qt's own handler.
Sink setSink(Sink sink);

} // namespace SystemLog
