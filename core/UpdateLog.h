#pragma once

#include <QString>

// The update's own plain-text log, ~/.quorvane/update-check.log, written by the
// program and by the updater: one line per step, "<UTC time in ISO 8601>
// <message>". Writing never fails loudly.
//
// The folder is created 0700 and the file 0600; the file is opened without
// following a link at its name and must be a regular file. A message is cut
// to maximumMessageLength characters, so a server-supplied value cannot grow
// the log by much, and the file is rotated (one older generation, ".1") once
// it would pass rotateBytes.
namespace UpdateLog {

inline constexpr qsizetype maximumMessageLength = 1000;
inline constexpr qint64 rotateBytes = 1024 * 1024;

// Appends to ~/.quorvane/update-check.log.
void append(const QString& message);

// Appends to the log at `path` (the updater is told the path).
void appendTo(const QString& path, const QString& message);

// The line as written for a message at the current time (control characters
// escaped, so that a server-supplied value cannot forge lines).
QString line(const QString& message);

} // namespace UpdateLog
