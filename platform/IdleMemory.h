#pragma once

#include <QtGlobal>

#include <QSet>
#include <QString>

// What a process idling in the tray gives back: the free heap, and the
// resident pages of its read-only file mappings (the code and constants of
// libraries, many of them needed only to start), which fault back in from
// the page cache when next used.
namespace IdleMemory {

// Keeps the pages of the files in `keep` (what the next window needs at
// once, so that it opens as fast as before); returns the bytes dropped.
qint64 release(const QSet<QString>& keep = {});

} // namespace IdleMemory
