#pragma once

#include <QString>
#include <QtGlobal>

#include <functional>

// Where the program's diagnostic lines go. They are written with qCInfo,
// qCWarning or qCDebug on the quorvane.* categories (LogCategories.h), each
// line starting "Quorvane: ". Once a sink is set, the Qt message handler hands
// it every line of those categories with its severity: the composition root
// sends them to the system log, tests collect them. Without a sink Qt's own
// handler prints them.
namespace SystemLog {

using Sink = std::function<void(QtMsgType type, const QString& line)>;

// Replaces the sink for the whole process and returns the previous one. The
// first call installs the Qt message handler that feeds it. An empty sink
// restores the default, Qt's own handler.
Sink setSink(Sink sink);

} // namespace SystemLog
