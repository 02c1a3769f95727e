#pragma once

#include <QByteArray>
#include <QString>

// Files the tests put in place of the real ones.
namespace TestFiles {

// Writes `content` to `path` (creating its folders, replacing any file there)
// with the given permissions.
bool write(const QString& path, const QByteArray& content, int mode = 0600);

// An executable /bin/sh script running `body`, for the owner only.
bool writeShellScript(const QString& path, const QByteArray& body);

} // namespace TestFiles
