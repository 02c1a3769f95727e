#include "platform/MappedFilePages.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

#include <sys/mman.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

constexpr qsizetype pages = 64;

// Resident pages of the mapping at `start` in this process (not in the page
// cache, which keeps them either way).
int residentPages(const void* start)
{
    QFile smaps(u"/proc/self/smaps"_s);
    if (!smaps.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray header = QByteArray::number(quintptr(start), 16) + '-';
    bool inMapping = false;
    for (QByteArray line = smaps.readLine(); !line.isEmpty(); line = smaps.readLine()) {
        if (line.left(line.indexOf(' ')).contains('-')) // "start-end perms ..."
            inMapping = line.startsWith(header);
        else if (inMapping && line.startsWith("Rss:"))
            return int(line.simplified().split(' ').value(1).toLongLong() * 1024 / ::sysconf(_SC_PAGESIZE));
    }
    return -1;
}

// A private, read-only mapping of a file of `pages` pages of 'q'.
struct MappedFile
{
    QString path;
    size_t length = 0;
    char* data = nullptr;

    MappedFile(const QTemporaryDir& dir, const QString& name)
        : path(dir.filePath(name))
        , length(size_t(pages * ::sysconf(_SC_PAGESIZE)))
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(QByteArray(qsizetype(length), 'q')) != qint64(length))
            return;
        file.close();
        if (!file.open(QIODevice::ReadOnly))
            return;
        void* mapped = ::mmap(nullptr, length, PROT_READ, MAP_PRIVATE, file.handle(), 0);
        data = mapped == MAP_FAILED ? nullptr : static_cast<char*>(mapped);
    }
    ~MappedFile()
    {
        if (data)
            ::munmap(data, length);
    }
    int sum() const
    {
        int total = 0;
        for (size_t i = 0; i < length; i += 512)
            total += data[i];
        return total;
    }
};

} // namespace

class TestMappedFilePages : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void releasesOnlyUnwrittenReadOnlyPagesOfTheFilesAsked()
    {
        QTemporaryDir dir;
        MappedFile asked(dir, u"asked"_s);
        MappedFile other(dir, u"other"_s);
        MappedFile written(dir, u"written"_s);
        QVERIFY(asked.data && other.data && written.data);
        // A private mapping written once (as the loader relocates constants),
        // read-only since: its pages are copies that exist nowhere else.
        QVERIFY(::mprotect(written.data, written.length, PROT_READ | PROT_WRITE) == 0);
        written.data[0] = 'w';
        QVERIFY(::mprotect(written.data, written.length, PROT_READ) == 0);
        const int expected = asked.sum();
        QVERIFY(other.sum() > 0 && written.sum() > 0);
        QCOMPARE(residentPages(asked.data), pages);

        const QSet<QString> files = MappedFilePages::mappedFiles();
        QVERIFY(files.contains(asked.path) && files.contains(other.path) && files.contains(written.path));
        QVERIFY(!files.contains(dir.filePath(u"never-mapped"_s)));

        const qint64 released = MappedFilePages::release({ asked.path, written.path });
        QCOMPARE(released, qint64(asked.length));
        QCOMPARE(residentPages(asked.data), 0);
        QCOMPARE(residentPages(other.data), pages);
        QVERIFY(residentPages(written.data) > 0);
        // What was dropped reads back from the file; the written copy is kept.
        QCOMPARE(asked.sum(), expected);
        QCOMPARE(written.data[0], 'w');
        QCOMPARE(MappedFilePages::release({}), 0);

        // The loader's list of libraries names them as the kernel's maps do.
        const QSet<QString> libraries = MappedFilePages::loadedLibraries();
        QVERIFY(std::any_of(libraries.begin(), libraries.end(),
            [](const QString& path) { return path.contains(u"libQt6Core.so"_s); }));
        QVERIFY2(MappedFilePages::mappedFiles().contains(libraries),
            qPrintable(QStringList((libraries - MappedFilePages::mappedFiles()).values()).join(u' ')));
    }
};

QTEST_GUILESS_MAIN(TestMappedFilePages)
#include "tst_MappedFilePages.moc"
