#pragma once

#include <QByteArray>
#include <QString>

// Files the tests put in place of the real ones.
namespace TestFiles {

// Writes `content` to `path` (creating its folders, replacing any file there)
// with the given permissions.
bool write(const QString& path, const QByteArray& content, int mode = 0600);

// An executable /bin/sh script running `body`, for the owner only.
inline bool writeShellScript(const QString& path, const QByteArray& body)
{
    return write(path, "#!/bin/sh\n" + body, 0700);
}

// The permission bits of a path (not following a link), or -1 when it is missing.
int modeOf(const QString& path);

// The whole content of a file; empty when it cannot be read.
QByteArray contentOf(const QString& path);

} // namespace TestFiles
