#pragma once

#include <QSet>
#include <QString>

// The resident pages of the files mapped into this process (shared libraries'
// code and constants). Pages of a read-only mapping that was never written
// are the file's own: dropping them from the process costs nothing but a
// fault on next use, served from the page cache.
class MappedFilePages
{
public:
    // The paths of the files mapped now (reads /proc/self/smaps).
    static QSet<QString> mappedFiles();
    // The paths, as mappedFiles() names them, of the shared libraries loaded
    // now: asked of the dynamic loader, cheap enough for a window's opening.
    static QSet<QString> loadedLibraries();
    // Drops the resident pages of the never-written, read-only mappings of
    // `files` from this process; returns how many bytes were resident there.
    static qint64 release(const QSet<QString>& files);
};
