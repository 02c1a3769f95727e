#include "core/ReleaseArchive.h"

#include "core/FileDescriptor.h"

#include <QFile>
#include <QStringList>

#include <archive.h>
#include <archive_entry.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr qsizetype maximumVersionBytes = 64;

struct ReaderFree
{
    void operator()(archive* reader) const { archive_read_free(reader); }
};
using Reader = std::unique_ptr<archive, ReaderFree>;


QString errnoText() { return QString::fromLocal8Bit(std::strerror(errno)); }

ReleaseArchive::Result refused(const QString& error) { return {std::nullopt, error}; }

// Only gzip-compressed tar: the one format the release tool writes. Reads
// the open file from its start; the descriptor stays the caller's.
Reader openReader(int archiveFd, QString& error)
{
    if (::lseek(archiveFd, 0, SEEK_SET) != 0) {
        error = QStringLiteral("cannot read the archive: ") + errnoText();
        return {};
    }
    Reader reader(archive_read_new());
    if (!reader) {
        error = QStringLiteral("out of memory");
        return {};
    }
    archive_read_support_filter_gzip(reader.get());
    archive_read_support_format_tar(reader.get());
    if (archive_read_open_fd(reader.get(), archiveFd, 64 * 1024) != ARCHIVE_OK) {
        error = QStringLiteral("cannot read the archive: ") + QString::fromLocal8Bit(archive_error_string(reader.get()));
        return {};
    }
    return reader;
}

QString readerError(archive* reader)
{
    const char* text = archive_error_string(reader);
    return QStringLiteral("the archive is damaged: ") + (text ? QString::fromLocal8Bit(text) : QStringLiteral("unknown"));
}

// "./bin/x" as {"bin", "x"}; nothing for an absolute name or one with "..".
std::optional<QStringList> nameComponents(const char* rawName)
{
    if (!rawName)
        return std::nullopt;
    const QString name = QFile::decodeName(rawName);
    if (name.startsWith(u'/'))
        return std::nullopt;
    QStringList components;
    for (const QString& piece : name.split(u'/', Qt::SkipEmptyParts)) {
        if (piece == QLatin1String("."))
            continue;
        if (piece == QLatin1String(".."))
            return std::nullopt;
        components.append(piece);
    }
    return components;
}

// A relative target that, read from the link's own folder, never climbs above
// the root of the tree. Links through other links are checked again once the
// whole tree is there.
bool targetStaysInside(const QStringList& linkComponents, const QString& target)
{
    if (target.isEmpty() || target.startsWith(u'/'))
        return false;
    qsizetype depth = linkComponents.size() - 1;
    for (const QString& piece : target.split(u'/', Qt::SkipEmptyParts)) {
        if (piece == QLatin1String("."))
            continue;
        depth += piece == QLatin1String("..") ? -1 : 1;
        if (depth < 0)
            return false;
    }
    return true;
}

class TreeWriter
{
public:
    TreeWriter(archive* reader, const QString& destination, qint64 byteLimit)
        : m_reader(reader), m_destination(destination), m_byteLimit(byteLimit)
    {
    }

    QString open()
    {
        m_root = FileDescriptor(::open(QFile::encodeName(m_destination).constData(),
                                       O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        return m_root.isValid() ? QString() : QStringLiteral("cannot open ") + m_destination + u": " + errnoText();
    }

    // One entry written below the root; an error text when it is refused.
    QString write(archive_entry* entry)
    {
        const char* rawName = archive_entry_pathname(entry);
        const std::optional<QStringList> components = nameComponents(rawName);
        const QString shown = QFile::decodeName(rawName ? rawName : "");
        if (!components)
            return QStringLiteral("the entry \"%1\" would land outside the installation").arg(shown);
        if (archive_entry_hardlink(entry))
            return QStringLiteral("the entry \"%1\" is a hard link").arg(shown);
        const mode_t type = archive_entry_filetype(entry);
        if (components->isEmpty())
            return type == AE_IFDIR ? QString() : QStringLiteral("the archive's root is not a folder");

        FileDescriptor parent;
        if (QString error = openParent(*components, shown, parent); !error.isEmpty())
            return error;
        const QByteArray last = QFile::encodeName(components->constLast());
        switch (type) {
        case AE_IFDIR:
            return makeDirectory(parent.get(), last, shown);
        case AE_IFREG:
            return writeFile(parent.get(), last, archive_entry_perm(entry), shown);
        case AE_IFLNK: {
            const QString target = QFile::decodeName(archive_entry_symlink(entry));
            if (!targetStaysInside(*components, target))
                return QStringLiteral("the link \"%1\" leads outside the installation (to \"%2\")").arg(shown, target);
            if (::symlinkat(QFile::encodeName(target).constData(), parent.get(), last.constData()) != 0)
                return QStringLiteral("cannot create the link \"%1\": %2").arg(shown, errnoText());
            m_links.append(components->join(u'/'));
            return {};
        }
        default:
            return QStringLiteral("the entry \"%1\" is a special file").arg(shown);
        }
    }

    // Every link, followed on the finished tree, must end inside it.
    QString checkLinks() const
    {
        char rootBuffer[PATH_MAX];
        if (!::realpath(QFile::encodeName(m_destination).constData(), rootBuffer))
            return QStringLiteral("cannot resolve ") + m_destination;
        const QByteArray root(rootBuffer);
        for (const QString& link : m_links) {
            char resolved[PATH_MAX];
            const QByteArray path = root + '/' + QFile::encodeName(link);
            if (!::realpath(path.constData(), resolved))
                return QStringLiteral("the link \"%1\" leads nowhere inside the installation").arg(link);
            const QByteArray target(resolved);
            if (target != root && !target.startsWith(QByteArray(root + '/')))
                return QStringLiteral("the link \"%1\" leads outside the installation").arg(link);
        }
        return {};
    }

private:
    // Opens (and creates where missing) the folders above the entry without
    // following any link: nothing is ever written through one.
    QString openParent(const QStringList& components, const QString& shown, FileDescriptor& parent)
    {
        parent = FileDescriptor(::fcntl(m_root.get(), F_DUPFD_CLOEXEC, 0));
        for (qsizetype i = 0; i + 1 < components.size(); ++i) {
            const QByteArray name = QFile::encodeName(components.at(i));
            if (::mkdirat(parent.get(), name.constData(), 0755) != 0 && errno != EEXIST)
                return QStringLiteral("cannot create a folder for \"%1\": %2").arg(shown, errnoText());
            FileDescriptor next(::openat(parent.get(), name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
            if (!next.isValid())
                return QStringLiteral("the entry \"%1\" lies beneath a link or a file").arg(shown);
            parent = std::move(next);
        }
        return {};
    }

    static QString makeDirectory(int parent, const QByteArray& name, const QString& shown)
    {
        if (::mkdirat(parent, name.constData(), 0755) == 0)
            return {};
        struct stat info{};
        if (errno == EEXIST && ::fstatat(parent, name.constData(), &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(info.st_mode))
            return {};
        return QStringLiteral("cannot create the folder \"%1\": %2").arg(shown, errnoText());
    }

    QString writeFile(int parent, const QByteArray& name, mode_t permissions, const QString& shown)
    {
        const mode_t mode = (permissions & 0111) ? 0755 : 0644;
        FileDescriptor file(::openat(parent, name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode));
        if (!file.isValid())
            return QStringLiteral("cannot create \"%1\": %2").arg(shown, errnoText());
        char buffer[64 * 1024];
        for (;;) {
            const la_ssize_t count = archive_read_data(m_reader, buffer, sizeof buffer);
            if (count < 0)
                return readerError(m_reader);
            if (count == 0)
                return {};
            m_written += count;
            if (m_written > m_byteLimit)
                return QStringLiteral("the archive unpacks to more than %1 bytes").arg(m_byteLimit);
            for (la_ssize_t done = 0; done < count;) {
                const ssize_t step = ::write(file.get(), buffer + done, size_t(count - done));
                if (step < 0 && errno == EINTR)
                    continue;
                if (step <= 0)
                    return QStringLiteral("cannot write \"%1\": %2").arg(shown, errnoText());
                done += step;
            }
        }
    }

    archive* m_reader;
    QString m_destination;
    qint64 m_byteLimit;
    qint64 m_written = 0;
    FileDescriptor m_root;
    QStringList m_links;
};

// The archive's length; 0 (no unpacked bytes allowed) when it cannot be read.
qint64 archiveBytes(int archiveFd)
{
    struct stat info = {};
    return ::fstat(archiveFd, &info) == 0 ? qint64(info.st_size) : 0;
}

} // namespace

namespace ReleaseArchive {

qint64 unpackedSizeLimit(qint64 archiveBytes)
{
    if (archiveBytes <= 0)
        return 0;
    return archiveBytes > maximumUnpackedBytes / unpackedBytesPerArchiveByte ? maximumUnpackedBytes
                                                                            : archiveBytes * unpackedBytesPerArchiveByte;
}

FileDescriptor openArchive(const QString& archivePath, QString& error)
{
    FileDescriptor file(::open(QFile::encodeName(archivePath).constData(),
        O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY));
    struct stat info = {};
    if (!file.isValid() || ::fstat(file.get(), &info) != 0) {
        error = QStringLiteral("cannot read the archive ") + archivePath + QStringLiteral(": ") + errnoText();
        return FileDescriptor();
    }
    if (!S_ISREG(info.st_mode)) {
        error = QStringLiteral("the archive ") + archivePath + QStringLiteral(" is not a regular file");
        return FileDescriptor();
    }
    return file;
}

Result readVersion(const QString& archivePath)
{
    QString error;
    const FileDescriptor file = openArchive(archivePath, error);
    return file.isValid() ? readVersion(file.get()) : refused(error);
}

Result unpack(const QString& archivePath, const QString& destination)
{
    QString error;
    const FileDescriptor file = openArchive(archivePath, error);
    return file.isValid() ? unpack(file.get(), destination) : refused(error);
}

Result readVersion(int archiveFd)
{
    QString error;
    const Reader reader = openReader(archiveFd, error);
    if (!reader)
        return refused(error);
    // Skipping an entry still inflates it: the same cap as for unpacking
    // bounds the work a small archive can cause.
    const qint64 byteLimit = unpackedSizeLimit(archiveBytes(archiveFd));
    qint64 skipped = 0;
    archive_entry* entry = nullptr;
    for (int count = 0; count < maximumEntries; ++count) {
        const int status = archive_read_next_header(reader.get(), &entry);
        if (status == ARCHIVE_EOF)
            return refused(QStringLiteral("the archive names no version (%1 is missing)").arg(QLatin1String(versionEntry)));
        if (status != ARCHIVE_OK)
            return refused(readerError(reader.get()));
        const std::optional<QStringList> components = nameComponents(archive_entry_pathname(entry));
        if (!components || components->join(u'/') != QLatin1String(versionEntry)) {
            skipped += std::max<qint64>(archive_entry_size(entry), 0);
            if (skipped > byteLimit)
                return refused(QStringLiteral("the archive unpacks to more than %1 bytes").arg(byteLimit));
            continue;
        }
        if (archive_entry_filetype(entry) != AE_IFREG || archive_entry_hardlink(entry))
            return refused(QStringLiteral("%1 is not a plain file").arg(QLatin1String(versionEntry)));
        char buffer[maximumVersionBytes + 1];
        qsizetype length = 0;
        for (la_ssize_t count = 1; count > 0 && length <= maximumVersionBytes; length += count) {
            count = archive_read_data(reader.get(), buffer + length, size_t(maximumVersionBytes + 1 - length));
            if (count < 0)
                return refused(readerError(reader.get()));
        }
        if (length > maximumVersionBytes)
            return refused(QStringLiteral("%1 is longer than %2 bytes").arg(QLatin1String(versionEntry)).arg(maximumVersionBytes));
        const QString version = QString::fromUtf8(buffer, length).trimmed();
        if (version.isEmpty())
            return refused(QStringLiteral("%1 is empty").arg(QLatin1String(versionEntry)));
        return {version, {}};
    }
    return refused(QStringLiteral("the archive has more than %1 entries").arg(maximumEntries));
}

Result unpack(int archiveFd, const QString& destination)
{
    QString error;
    const Reader reader = openReader(archiveFd, error);
    if (!reader)
        return refused(error);
    TreeWriter writer(reader.get(), destination, unpackedSizeLimit(archiveBytes(archiveFd)));
    if (error = writer.open(); !error.isEmpty())
        return refused(error);
    archive_entry* entry = nullptr;
    for (int count = 0;; ++count) {
        const int status = archive_read_next_header(reader.get(), &entry);
        if (status == ARCHIVE_EOF)
            break;
        if (status != ARCHIVE_OK)
            return refused(readerError(reader.get()));
        if (count >= maximumEntries)
            return refused(QStringLiteral("the archive has more than %1 entries").arg(maximumEntries));
        if (error = writer.write(entry); !error.isEmpty())
            return refused(error);
    }
    if (error = writer.checkLinks(); !error.isEmpty())
        return refused(error);
    return {destination, {}};
}

} // namespace ReleaseArchive
