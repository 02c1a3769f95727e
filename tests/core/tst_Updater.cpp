#include "core/CoreConstants.h"
#include "core/Ed25519Key.h"
#include "core/InstallationSwap.h"
#include "core/ReleaseSignature.h"
#include "core/UpdateCheckService.h"
#include "tests/core/UpdateScene.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestHome.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <archive.h>
#include <archive_entry.h>
#include <csignal>
#include <memory>

using namespace UpdateScene;
using namespace Qt::StringLiterals;

namespace {

const QString oldVersion = u"1.0.0"_s;

// One member of a hand-made archive.
struct Entry
{
    enum class Type { file, directory, symlink, hardlink, fifo, characterDevice };
    Type type = Type::file;
    QByteArray name;
    QByteArray content; // file: the bytes; links: the target
    qint64 zeroBytes = 0; // file: this many zero bytes after content
    int mode = 0644;
};
using Type = Entry::Type;

// A gzip-compressed tar of exactly these members, in this order.
QByteArray writeArchive(const QList<Entry>& entries)
{
    QTemporaryDir out;
    const QByteArray path = QFile::encodeName(out.filePath(u"a.tar.gz"_s));
    const std::unique_ptr<archive, decltype(&archive_write_free)> writer(
        archive_write_new(), &archive_write_free);
    archive_write_add_filter_gzip(writer.get());
    archive_write_set_format_pax_restricted(writer.get());
    if (archive_write_open_filename(writer.get(), path.constData()) != ARCHIVE_OK)
        return {};
    for (const Entry& member : entries) {
        const std::unique_ptr<archive_entry, decltype(&archive_entry_free)> entry(
            archive_entry_new(), &archive_entry_free);
        archive_entry_set_pathname(entry.get(), member.name.constData());
        archive_entry_set_perm(entry.get(), mode_t(member.mode));
        const mode_t types[] = { AE_IFREG, AE_IFDIR, AE_IFLNK, AE_IFREG, AE_IFIFO, AE_IFCHR };
        archive_entry_set_filetype(entry.get(), types[int(member.type)]);
        if (member.type == Type::file)
            archive_entry_set_size(entry.get(), member.content.size() + member.zeroBytes);
        if (member.type == Type::symlink)
            archive_entry_set_symlink(entry.get(), member.content.constData());
        if (member.type == Type::hardlink)
            archive_entry_set_hardlink(entry.get(), member.content.constData());
        if (member.type == Type::characterDevice) { // /dev/null
            archive_entry_set_rdevmajor(entry.get(), 1);
            archive_entry_set_rdevminor(entry.get(), 3);
        }
        if (archive_write_header(writer.get(), entry.get()) != ARCHIVE_OK)
            return {};
        if (member.type == Type::file) {
            archive_write_data(writer.get(), member.content.constData(), size_t(member.content.size()));
            const QByteArray zeros(64 * 1024, '\0');
            for (qint64 left = member.zeroBytes; left > 0; left -= zeros.size())
                archive_write_data(
                    writer.get(), zeros.constData(), size_t(std::min<qint64>(left, zeros.size())));
        }
    }
    return archive_write_close(writer.get()) == ARCHIVE_OK ? TestFiles::contentOf(QFile::decodeName(path))
                                                           : QByteArray();
}

// The members of a tree as a release archive lists them, in name order.
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
        const QByteArray path = "./" + QFile::encodeName(name);
        if (info.isSymLink())
            entries.append({ Type::symlink, path, QFile::encodeName(info.symLinkTarget()) });
        else if (info.isDir())
            entries.append({ Type::directory, path, {}, 0, 0755 });
        else
            entries.append({ Type::file, path, TestFiles::contentOf(info.filePath()), 0,
                info.isExecutable() ? 0755 : 0644 });
    }
    return entries;
}

char processState(qint64 pid)
{
    const QByteArray stat = TestFiles::contentOf(u"/proc/%1/stat"_s.arg(pid));
    const qsizetype close = stat.lastIndexOf(')');
    return close < 0 || close + 2 >= stat.size() ? '?' : stat.at(close + 2);
}

} // namespace

// The updater helper as the program starts it: a real process working on a real installation
// tree beside the test's folders.
class TestUpdater : public QObject
{
    Q_OBJECT

    std::optional<Ed25519Key> m_publisher;
    std::optional<TestHome> m_home;
    std::optional<QTemporaryDir> m_parent;
    QString m_prefix;
    QString m_marker;

    // Writes the archive into a fresh private folder and starts the updater on it as the program
    // does once it has quit (no process has the id it waits for). `setting` is NAME=value for the
    // updater's environment; the signature is of `signedBytes` when given. Returns the archive's path.
    QString startUpdater(QProcess& updater, const QByteArray& archive, const QString& announced,
        const QByteArray& setting = {}, const QByteArray& signedBytes = {})
    {
        QTemporaryDir work(m_parent->filePath(u"work-XXXXXX"_s));
        work.setAutoRemove(false);
        const QString archivePath = work.filePath(u"Quorvane.tar.gz"_s);
        if (!TestFiles::write(archivePath, archive))
            return {};
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        if (!setting.isEmpty())
            environment.insert(QString::fromLatin1(setting.left(setting.indexOf('='))),
                QString::fromLatin1(setting.mid(setting.indexOf('=') + 1)));
        updater.setProcessEnvironment(environment);
        const QByteArray signature = m_publisher->sign(signedBytes.isEmpty() ? archive : signedBytes);
        updater.start(m_prefix + u"/libexec/quorvane/quorvane-updater"_s,
            { u"--wait-pid"_s, u"999999999"_s, u"--archive"_s, archivePath, u"--signature"_s,
                ReleaseSignature::encodeBase64Url(signature), u"--public-key"_s,
                ReleaseSignature::encodeBase64Url(m_publisher->publicKey()), u"--version"_s, announced,
                u"--installed-version"_s, oldVersion, u"--prefix"_s, m_prefix, u"--work-dir"_s, work.path(),
                u"--log"_s, CoreConstants::updateCheckLogPath() });
        return archivePath;
    }

    // Runs the updater until it ends: its exit code, -1 when it was killed.
    int runUpdater(const QByteArray& archive, const QString& announced, const QByteArray& stopAt = {},
        const QByteArray& signedBytes = {})
    {
        QProcess updater;
        const QByteArray setting = stopAt.isEmpty() ? QByteArray() : "QUORVANE_UPDATER_STOP_AT=" + stopAt;
        const QString archivePath = startUpdater(updater, archive, announced, setting, signedBytes);
        if (!updater.waitForFinished(60000))
            return -3;
        if (stopAt.isEmpty() && QFileInfo::exists(QFileInfo(archivePath).path()))
            return -4; // the private folder must be gone on every path
        return updater.exitStatus() == QProcess::NormalExit ? updater.exitCode() : -1;
    }

    QString installedVersion() const
    {
        return QString::fromUtf8(TestFiles::contentOf(m_prefix + versionFile)).trimmed();
    }

    // The program was started again, and it was the given version (the shell creates the file before
    // it writes the line: wait for the line).
    void verifyRelaunched(const QString& version)
    {
        QTRY_COMPARE_WITH_TIMEOUT(TestFiles::contentOf(m_marker).trimmed(), version.toUtf8(), 10000);
    }

    QByteArray newArchive() const
    {
        QTemporaryDir tree;
        return makeTree(tree.path(), newVersion, m_marker) ? packTree(tree.path()) : QByteArray();
    }

private Q_SLOTS:
    void initTestCase()
    {
        QNetworkProxy::setApplicationProxy(QNetworkProxy::NoProxy);
        m_publisher = Ed25519Key::generate();
        QVERIFY(m_publisher);
        QVERIFY2(QFileInfo(builtUpdater()).isExecutable(), qPrintable(builtUpdater()));
    }

    void init()
    {
        m_home.emplace();
        m_parent.emplace();
        m_prefix = m_parent->filePath(u"quorvane"_s);
        m_marker = m_home->filePath(u"started"_s);
        QVERIFY(makeTree(m_prefix, oldVersion, m_marker));
    }

    // Whatever the updater refuses, the old program runs again and nothing is written outside the
    // private folder.
    void refusesAndRelaunchesTheOldProgram_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("archiveVersion");
        QTest::addColumn<QString>("announced");
        QTest::addColumn<QString>("reason");
        const auto row
            = [](const char* name, const char* kind, const QString& reason,
                  const QString& archiveVersion = newVersion, const QString& announced = newVersion) {
                  QTest::newRow(name) << QString::fromLatin1(kind) << archiveVersion << announced << reason;
              };
        row("old release announced as newer", "",
            u"the archive holds version 0.9.0, not the announced 9.9.9"_s, u"0.9.0"_s, u"9.9.9"_s);
        row("the installed version again", "",
            u"the archive's version 1.0.0 is not newer than the installed 1.0.0"_s, oldVersion, oldVersion);
        row("no version inside", "noVersion",
            u"the archive names no version (share/quorvane/release-version is missing)"_s);
        row("signature of other bytes", "tampered", u"the publisher signature is invalid"_s);
        row("program is a link outside", "programLink",
            u"the link \"./bin/quorvane-app\" leads outside the installation"_s);
        row("bin is a link outside", "binLink", u"the link \"./bin\" leads outside the installation"_s);
        row("link climbing out", "climb", u"the link \"./share/escape\" leads outside the installation"_s);
        row("link out through a link", "throughLink",
            u"the link \"escape\" leads outside the installation"_s);
        row("file beneath a link", "beneathLink",
            u"the entry \"./lib/evil\" lies beneath a link or a file"_s);
        row("hard link", "hardLink", u"the entry \"./share/evil\" is a hard link"_s);
        row("FIFO", "fifo", u"the entry \"./share/evil\" is a special file"_s);
        row("device", "device", u"the entry \"./share/evil\" is a special file"_s);
        row("absolute name", "absolute", u"would land outside the installation"_s);
        row("name with ..", "dotdot", u"would land outside the installation"_s);
        row("bomb", "bomb", u"the archive unpacks to more than "_s);
        row("bomb before the version file", "bombFirst", u"the archive unpacks to more than "_s);
        row("no program", "noProgram", u"the archive holds no executable bin/quorvane-app"_s);
    }
    void refusesAndRelaunchesTheOldProgram()
    {
        QFETCH(QString, kind);
        QFETCH(QString, archiveVersion);
        QFETCH(QString, announced);
        QFETCH(QString, reason);

        QTemporaryDir outside;
        const QString outsideProgram = outside.filePath(u"program"_s);
        QVERIFY(TestFiles::writeShellScript(
            outsideProgram, "echo outside > '" + QFile::encodeName(outside.filePath(u"started"_s)) + "'\n"));
        QTemporaryDir tree;
        QVERIFY(makeTree(tree.path(), archiveVersion, m_marker));
        QList<Entry> entries = entriesOf(tree.path());
        const auto without = [&entries](const char* prefix) {
            entries.removeIf([prefix](const Entry& entry) { return entry.name.startsWith(prefix); });
        };
        const QByteArray outsidePath = QFile::encodeName(outside.path());
        const QByteArray climb = QByteArray("../").repeated(QDir::cleanPath(m_prefix).count(u'/') + 2);
        if (kind == "noVersion"_L1) {
            without("./share/quorvane/release-version");
        } else if (kind == "programLink"_L1) {
            for (Entry& entry : entries) {
                if (entry.name == "./bin/quorvane-app")
                    entry = { Type::symlink, entry.name, QFile::encodeName(outsideProgram) };
            }
        } else if (kind == "binLink"_L1) {
            without("./bin");
            entries.append({ Type::symlink, "./bin", outsidePath });
        } else if (kind == "climb"_L1) {
            entries.append({ Type::symlink, "./share/escape", climb + outsidePath.mid(1) });
        } else if (kind == "throughLink"_L1) {
            // Each link alone stays inside; followed one through the other they leave.
            entries.append({ Type::symlink, "share/up", ".." });
            entries.append({ Type::symlink, "escape", "share/up/.." });
        } else if (kind == "beneathLink"_L1) {
            entries.append({ Type::symlink, "./lib", "share" });
            entries.append({ Type::file, "./lib/evil", "evil" });
        } else if (kind == "hardLink"_L1) {
            entries.append({ Type::hardlink, "./share/evil", QFile::encodeName(outsideProgram) });
        } else if (kind == "fifo"_L1 || kind == "device"_L1) {
            entries.append({ kind == "fifo"_L1 ? Type::fifo : Type::characterDevice, "./share/evil", {} });
        } else if (kind == "absolute"_L1) {
            entries.append({ Type::file, outsidePath + "/evil", "evil" });
        } else if (kind == "dotdot"_L1) {
            entries.append({ Type::file, "./share/../../evil", "evil" });
        } else if (kind.startsWith("bomb"_L1)) {
            // A small archive: the tree without the updater binary, plus 64 MB of zeros (first: they
            // are inflated while looking for the version).
            without("./libexec");
            const Entry zeros { Type::file, "./share/zeros", {}, 64 * 1024 * 1024 };
            entries.insert(kind == "bombFirst"_L1 ? 0 : entries.size(), zeros);
        } else if (kind == "noProgram"_L1) {
            without("./bin/quorvane-app");
        }
        const QByteArray archive = writeArchive(entries);
        QVERIFY(!archive.isEmpty());
        if (kind.startsWith("bomb"_L1))
            QVERIFY(archive.size() < 1024 * 1024);

        QCOMPARE(runUpdater(archive, announced, {}, kind == "tampered"_L1 ? archive + "x" : QByteArray()), 1);
        const QStringList refusals = logMessages().filter(u"updater: REFUSED: "_s);
        QCOMPARE(refusals.size(), 1);
        QVERIFY2(refusals.constFirst().contains(reason), qPrintable(refusals.constFirst()));
        verifyRelaunched(oldVersion);
        QCOMPARE(installedVersion(), oldVersion);
        QCOMPARE(folderEntries(m_parent->path()), QStringList { u"quorvane"_s });
        QCOMPARE(folderEntries(outside.path()), QStringList { u"program"_s });
        QVERIFY(!QFile::exists(QFileInfo(m_parent->path()).absolutePath() + u"/evil"_s));
    }

    void missingArgumentsStillRelaunch()
    {
        QProcess updater;
        updater.start(m_prefix + u"/libexec/quorvane/quorvane-updater"_s,
            { u"--prefix"_s, m_prefix, u"--log"_s, CoreConstants::updateCheckLogPath() });
        QVERIFY(updater.waitForFinished(30000));
        QCOMPARE(updater.exitCode(), 1);
        QVERIFY(logMessages().contains(u"updater: REFUSED: missing --archive"_s));
        verifyRelaunched(oldVersion);
    }

    // The updater checks the archive and unpacks it through one open file: an unsigned archive put at
    // the path once the signature is verified (a process of the same person could do that) is never
    // installed. The updater pauses itself right after the check so that the file can be swapped.
    void swappedArchiveIsNotInstalled()
    {
        QTemporaryDir otherTree;
        QVERIFY(makeTree(otherTree.path(), newVersion, m_marker));
        QVERIFY(TestFiles::write(otherTree.filePath(u"share/quorvane/unsigned.txt"_s), "not signed"));
        const QByteArray unsignedArchive = packTree(otherTree.path());
        QVERIFY(!unsignedArchive.isEmpty());
        QProcess updater;
        const QString archivePath
            = startUpdater(updater, newArchive(), newVersion, "QUORVANE_UPDATER_PAUSE_AT=verified");
        QVERIFY(updater.waitForStarted());
        QTRY_COMPARE_WITH_TIMEOUT(processState(updater.processId()), 'T', 30000);
        QVERIFY(logMessages().contains(u"updater: publisher signature verified"_s));

        const QString swapped = archivePath + u".swapped"_s;
        QVERIFY(TestFiles::write(swapped, unsignedArchive));
        QCOMPARE(
            ::rename(QFile::encodeName(swapped).constData(), QFile::encodeName(archivePath).constData()), 0);
        QCOMPARE(::kill(pid_t(updater.processId()), SIGCONT), 0);
        QTRY_COMPARE_WITH_TIMEOUT(updater.state(), QProcess::NotRunning, 60000);
        QCOMPARE(updater.exitCode(), 0);
        QCOMPARE(installedVersion(), newVersion);
        QVERIFY(!QFile::exists(m_prefix + u"/share/quorvane/unsigned.txt"_s));
        verifyRelaunched(newVersion);
    }

    void aKillAtAnyStepLeavesAWorkingInstallation_data()
    {
        QTest::addColumn<QByteArray>("step");
        QTest::addColumn<QString>("versionAfter");
        QTest::newRow("staging folder made") << "staging"_ba << oldVersion;
        QTest::newRow("unpacked") << "unpacked"_ba << oldVersion;
        QTest::newRow("swapped") << "swapped"_ba << newVersion;
        QTest::newRow("old tree moved aside") << "retired"_ba << newVersion;
        QTest::newRow("an older updater lost the prefix") << QByteArray() << oldVersion;
    }
    void aKillAtAnyStepLeavesAWorkingInstallation()
    {
        QFETCH(QByteArray, step);
        QFETCH(QString, versionAfter);
        if (step.isEmpty()) {
            // The two-rename swap of older versions, killed between its renames.
            QVERIFY(QFile::rename(m_prefix, InstallationSwap::previousPath(m_prefix)));
        } else {
            QCOMPARE(runUpdater(newArchive(), newVersion, step), -1);
            QVERIFY(logMessages().contains(u"updater: stopping dead after "_s + QLatin1String(step)));
            QVERIFY(folderEntries(m_parent->path()).size() > 1); // something is left to repair
        }

        // The next start of the program repairs before anything else.
        qputenv("QUORVANE_API_BASE_URL", "http://127.0.0.1:" + QByteArray::number(closedPort()));
        QNetworkAccessManager network;
        UpdateCheckService service(&network);
        service.setInstallPrefix(m_prefix);
        service.start(oldVersion, [] {});
        qunsetenv("QUORVANE_API_BASE_URL");

        QVERIFY(InstallationSwap::isWorkingInstallation(m_prefix));
        QCOMPARE(installedVersion(), versionAfter);
        QVERIFY(!logMessages().filter(u"repair: "_s).isEmpty());
        QCOMPARE(folderEntries(m_parent->path()).filter(u"quorvane"_s), QStringList { u"quorvane"_s });
        QProcess program;
        program.start(m_prefix + u"/bin/quorvane-app"_s, QStringList());
        QVERIFY(program.waitForFinished(10000));
        verifyRelaunched(versionAfter);
    }
};

QTEST_GUILESS_MAIN(TestUpdater)
#include "tst_Updater.moc"
