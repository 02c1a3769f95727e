#include "platform/MappedFilePages.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QList>

#include <link.h>
#include <sys/mman.h>

namespace {

// One mapping of /proc/self/smaps: "start-end perms offset dev inode path",
// then its "Field: N kB" lines.
struct Mapping
{
    quintptr start = 0;
    quintptr end = 0;
    bool writable = true;
    QString path;
    qint64 residentKb = 0;
    qint64 anonymousKb = 0;
};

// A header line: its first field is "start-end" in hex (field lines such as
// "AnonHugePages:" start with hex digits too).
bool readHeader(const QByteArray& line, Mapping& mapping)
{
    const QList<QByteArray> fields = line.simplified().split(' ');
    const qsizetype dash = fields.value(0).indexOf('-');
    if (fields.size() < 5 || dash <= 0)
        return false;
    bool startOk = false;
    bool endOk = false;
    mapping.start = fields[0].left(dash).toULongLong(&startOk, 16);
    mapping.end = fields[0].mid(dash + 1).toULongLong(&endOk, 16);
    mapping.writable = fields[1].size() < 2 || fields[1][1] != '-';
    if (fields.size() > 5 && fields[5].startsWith('/'))
        mapping.path = QString::fromUtf8(fields[5]);
    return startOk && endOk && mapping.end > mapping.start;
}

qint64 kilobytes(const QByteArray& line)
{
    return line.simplified().split(' ').value(1).toLongLong();
}

template<typename Visit>
void forEachMapping(Visit visit)
{
    QFile smaps(QStringLiteral("/proc/self/smaps"));
    if (!smaps.open(QIODevice::ReadOnly))
        return;
    Mapping current;
    bool inMapping = false;
    // Files in /proc tell no size: atEnd() would be true before any read.
    for (QByteArray line = smaps.readLine(); !line.isEmpty(); line = smaps.readLine()) {
        if (line.startsWith("Rss:"))
            current.residentKb = kilobytes(line);
        else if (line.startsWith("Anonymous:"))
            current.anonymousKb = kilobytes(line);
        else if (Mapping next; readHeader(line, next)) {
            if (inMapping)
                visit(current);
            current = next;
            inMapping = true;
        }
    }
    if (inMapping)
        visit(current);
}

} // namespace

QSet<QString> MappedFilePages::mappedFiles()
{
    QSet<QString> files;
    forEachMapping([&files](const Mapping& mapping) {
        if (!mapping.path.isEmpty())
            files.insert(mapping.path);
    });
    return files;
}

QSet<QString> MappedFilePages::loadedLibraries()
{
    QSet<QString> names;
    ::dl_iterate_phdr(
        [](dl_phdr_info* info, size_t, void* found) {
            if (info->dlpi_name && info->dlpi_name[0] == '/')
                static_cast<QSet<QString>*>(found)->insert(QString::fromLocal8Bit(info->dlpi_name));
            return 0;
        },
        &names);
    // The loader names a library as it found it (/lib/..., through links);
    // the kernel's maps name the file itself.
    QSet<QString> files;
    for (const QString& name : std::as_const(names))
        files.insert(QFileInfo(name).canonicalFilePath());
    files.remove(QString());
    return files;
}

qint64 MappedFilePages::release(const QSet<QString>& files)
{
    // Read first, then drop: dropping while reading would change the file read.
    QList<Mapping> drop;
    forEachMapping([&](const Mapping& mapping) {
        // A written private mapping (relocated constants) holds copies of its
        // own that dropping would lose: only mappings without any are taken.
        // Devices and shared memory (/dev/..., /memfd:...) are no files to read back from.
        const bool regularFile = !mapping.path.startsWith(QLatin1String("/dev/"))
                                 && !mapping.path.startsWith(QLatin1String("/memfd:"));
        if (!mapping.writable && mapping.anonymousKb == 0 && mapping.residentKb > 0 && regularFile
            && files.contains(mapping.path))
            drop.append(mapping);
    });
    qint64 released = 0;
    for (const Mapping& mapping : std::as_const(drop)) {
        if (::madvise(reinterpret_cast<void*>(mapping.start), mapping.end - mapping.start, MADV_DONTNEED) == 0)
            released += mapping.residentKb * 1024;
    }
    return released;
}
