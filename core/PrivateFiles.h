#pragma once

#include <QByteArray>
#include <QString>
#include <optional>
#include <sys/types.h>

// Files that hold the machine's identity and secrets: they get their
// permissions at creation (never wider, not even for a moment), are replaced
// atomically, and are read only when they are small regular files.
namespace PrivateFiles {

// How readSmallRegularFile treats a link and a missing file.
struct ReadRules
{
    bool followLinks = true; // false: a symbolic link at the path is refused
    bool missingIsEmpty = false; // true: a missing file reads as empty content
};

// The whole content of a regular file of at most `limit` bytes; nothing when the
// path is missing, not a regular file, or larger. Opening without blocking keeps
// a FIFO planted at the path from hanging the caller.
std::optional<QByteArray> readSmallRegularFile(const QString& path, qint64 limit, ReadRules rules = {});

// Replaces `path` with `data`: a temporary file created with mode 0600 beside it,
// given `mode`, synced, then renamed over the target. A link at the path is
// replaced itself, never written through. Returns an error text, or nothing.
std::optional<QString> writeAtomically(const QString& path, const QByteArray& data, mode_t mode = 0600);

// Creates a directory (mode 0700) and its missing parents; an existing directory
// is accepted as it is. Returns an error text, or nothing.
std::optional<QString> makePrivateDirectories(const QString& path);

} // namespace PrivateFiles
