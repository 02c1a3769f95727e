#pragma once

#include <QString>

#include <functional>

// The program's diagnostic lines ("Quorvane: ..."). The composition root sends
// them to the system log; tests install a sink of their own to read them.
namespace SystemLog {

using Sink = std::function<void(const QString& line)>;

void write(const QString& line);

// Replaces the sink for the whole process and returns the previous one. An empty
// sink restores the default, which prints through Qt's logging.
Sink setSink(Sink sink);

} // namespace SystemLog
