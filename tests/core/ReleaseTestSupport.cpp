#include "tests/core/ReleaseTestSupport.h"

#include "core/CoreConstants.h"
#include "tests/support/TestFiles.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <archive.h>
#include <archive_entry.h>

#include <memory>

namespace ReleaseTestSupport {

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString builtUpdater()
{
    return qEnvironmentVariable("QUORVANE_BUILD_DIR") + QStringLiteral("/libexec/quorvane/quorvane-updater");
}

bool makeTree(const QString& root, const QString& version, const QString& marker, bool withProgram)
{
    const QByteArray program = "echo \"" + version.toUtf8() + "\" > '" + QFile::encodeName(marker) + "'\n";
    const QString updater = root + QStringLiteral("/libexec/quorvane/quorvane-updater");
    return (!withProgram || TestFiles::writeShellScript(root + QStringLiteral("/bin/quorvane-app"), program))
           && TestFiles::write(root + versionFile, version.toUtf8() + '\n', 0644)
           && TestFiles::write(root + QStringLiteral("/share/quorvane/only-") + version + QStringLiteral(".txt"), "x",
                               0644)
           && QDir().mkpath(QFileInfo(updater).absolutePath()) && QFile::copy(builtUpdater(), updater);
}

QByteArray packTree(const QString& root)
{
    QTemporaryDir out;
    const QString path = out.filePath(QStringLiteral("a.tar.gz"));
    QProcess tar;
    tar.start(QStringLiteral("tar"), {QStringLiteral("-czf"), path, QStringLiteral("-C"), root, QStringLiteral(".")});
    // tar runs on its own; nothing of the test needs to run meanwhile.
    if (!tar.waitForFinished(60000) || tar.exitCode() != 0)
        return {};
    return readFile(path);
}

QByteArray writeArchive(const QList<Entry>& entries)
{
    QTemporaryDir out;
    const QByteArray path = QFile::encodeName(out.filePath(QStringLiteral("a.tar.gz")));
    const std::unique_ptr<archive, decltype(&archive_write_free)> writer(archive_write_new(), &archive_write_free);
    archive_write_add_filter_gzip(writer.get());
    archive_write_set_format_pax_restricted(writer.get());
    if (archive_write_open_filename(writer.get(), path.constData()) != ARCHIVE_OK)
        return {};
    for (const Entry& member : entries) {
        const std::unique_ptr<archive_entry, decltype(&archive_entry_free)> entry(archive_entry_new(),
                                                                                  &archive_entry_free);
        archive_entry_set_pathname(entry.get(), member.name.constData());
        archive_entry_set_perm(entry.get(), mode_t(member.mode));
        switch (member.type) {
        case Entry::Type::file:
            archive_entry_set_filetype(entry.get(), AE_IFREG);
            archive_entry_set_size(entry.get(), member.content.size() + member.zeroBytes);
            break;
        case Entry::Type::directory:
            archive_entry_set_filetype(entry.get(), AE_IFDIR);
            break;
        case Entry::Type::symlink:
            archive_entry_set_filetype(entry.get(), AE_IFLNK);
            archive_entry_set_symlink(entry.get(), member.content.constData());
            break;
        case Entry::Type::hardlink:
            archive_entry_set_filetype(entry.get(), AE_IFREG);
            archive_entry_set_hardlink(entry.get(), member.content.constData());
            break;
        case Entry::Type::fifo:
            archive_entry_set_filetype(entry.get(), AE_IFIFO);
            break;
        case Entry::Type::characterDevice:
            archive_entry_set_filetype(entry.get(), AE_IFCHR);
            archive_entry_set_rdevmajor(entry.get(), 1);
            archive_entry_set_rdevminor(entry.get(), 3);
            break;
        }
        if (archive_write_header(writer.get(), entry.get()) != ARCHIVE_OK)
            return {};
        if (member.type == Entry::Type::file) {
            archive_write_data(writer.get(), member.content.constData(), size_t(member.content.size()));
            const QByteArray zeros(64 * 1024, '\0');
            for (qint64 left = member.zeroBytes; left > 0; left -= zeros.size())
                archive_write_data(writer.get(), zeros.constData(), size_t(std::min<qint64>(left, zeros.size())));
        }
    }
    if (archive_write_close(writer.get()) != ARCHIVE_OK)
        return {};
    return readFile(QFile::decodeName(path));
}

QList<Entry> entriesOf(const QString& root)
{
    QStringList names;
    QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        names.append(QDir(root).relativeFilePath(it.next()));
    names.sort();
    QList<Entry> entries;
    for (const QString& name : names) {
        const QFileInfo info(root + u'/' + name);
        Entry entry;
        entry.name = "./" + QFile::encodeName(name);
        if (info.isSymLink()) {
            entry.type = Entry::Type::symlink;
            entry.content = QFile::encodeName(info.symLinkTarget());
        } else if (info.isDir()) {
            entry.type = Entry::Type::directory;
            entry.mode = 0755;
        } else {
            entry.content = readFile(info.filePath());
            entry.mode = info.isExecutable() ? 0755 : 0644;
        }
        entries.append(entry);
    }
    return entries;
}

QStringList logMessages()
{
    static const QRegularExpression format(QStringLiteral("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\dZ (.*)$"));
    QStringList messages;
    const QString text = QString::fromUtf8(readFile(CoreConstants::updateCheckLogPath()));
    for (const QString& line : text.split(u'\n', Qt::SkipEmptyParts)) {
        const QRegularExpressionMatch match = format.match(line);
        messages.append(match.hasMatch() ? match.captured(1) : QStringLiteral("MALFORMED: ") + line);
    }
    return messages;
}

QStringList folderEntries(const QString& path)
{
    return QDir(path).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
}

} // namespace ReleaseTestSupport
