#pragma once

#include <QString>

#include <optional>

// Pieces of the freedesktop desktop entry format that our entries, and the
// files in the same syntax (mimeapps.list), share.
namespace DesktopEntryText {

// A program path as one Exec argument, "%" doubled: as it is when it holds none
// of the characters the format reserves, else quoted, with the characters
// reserved inside quotes escaped, then the string value's own backslash escape. Nothing for a path with
// control characters (a line break would start a new key).
std::optional<QString> execArgument(const QString& path);

// Replaces a file atomically with content (bytes kept as they are, mode 0644),
// creating its folder; the failure's description otherwise. A symbolic link at
// the path is replaced by the file, never written through.
std::optional<QString> write(const QString& path, const QByteArray& content);

// A file in this syntax: its bytes; empty when it does not exist; nothing when
// it is larger than limit, cannot be read, or is not a regular file (a link,
// a FIFO, a device). Never blocks on what is planted at the path.
std::optional<QByteArray> read(const QString& path, qint64 limit);

} // namespace DesktopEntryText
