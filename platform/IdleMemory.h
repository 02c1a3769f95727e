#pragma once

#include <QtGlobal>

// What a process idling in the tray gives back: the free heap, and the
// resident pages of its read-only file mappings (the code and constants of
// every library, most of them needed only to start or to show a window),
// which fault back in from the page cache when next used.
namespace IdleMemory {

// Returns the bytes of mapped pages dropped.
qint64 release();

} // namespace IdleMemory
