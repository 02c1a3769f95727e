#include "core/InstallationSwap.h"
#include "core/ReleaseArchive.h"

#include <QByteArray>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>

#include <sys/stat.h>

// A downloaded release archive as the program and the updater read it: every
// refusal says why, and whatever is unpacked stays inside the destination as
// folders, regular files and links only.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static QTemporaryDir workspace;
    const QString archivePath = workspace.filePath(QStringLiteral("archive.tar.gz"));
    const QString destination = workspace.filePath(QStringLiteral("tree"));
    {
        QFile archive(archivePath);
        if (!archive.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 0;
        archive.write(reinterpret_cast<const char*>(data), qint64(size));
    }

    const ReleaseArchive::Result version = ReleaseArchive::readVersion(archivePath);
    if (!version.value && version.error.isEmpty())
        __builtin_trap();
    if (version.value && (version.value->isEmpty() || version.value->toUtf8().size() > 64))
        __builtin_trap();

    InstallationSwap::removeTree(destination);
    if (!QDir().mkdir(destination))
        return 0;
    const ReleaseArchive::Result unpacked = ReleaseArchive::unpack(archivePath, destination);
    if (!unpacked.value && unpacked.error.isEmpty())
        __builtin_trap();
    QDirIterator it(destination, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        struct stat info{};
        if (::lstat(QFile::encodeName(it.next()).constData(), &info) != 0)
            __builtin_trap();
        if (!S_ISDIR(info.st_mode) && !S_ISREG(info.st_mode) && !S_ISLNK(info.st_mode))
            __builtin_trap();
    }
    // Nothing may appear beside the destination.
    if (QDir(workspace.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden).size() != 2)
        __builtin_trap();
    return 0;
}
