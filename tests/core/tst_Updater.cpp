#include "core/CoreConstants.h"
#include "core/Ed25519Key.h"
#include "core/InstallationSwap.h"
#include "core/ReleaseSignature.h"
#include "tests/core/ReleaseTestSupport.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestHome.h"
#include "core/UpdateCheckService.h"

#include <QDir>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using namespace ReleaseTestSupport;
using Type = Entry::Type;

namespace {

const QString oldVersion = QStringLiteral("1.0.0");
const QString newVersion = QStringLiteral("2.0.0");

// A place outside the installation that no archive may reach.
struct Outside
{
    QTemporaryDir dir;
    QString program() const { return dir.filePath(QStringLiteral("program")); }
};

} // namespace

// The updater helper as the program starts it: a real process working on a
// real installation tree beside the test's folders.
class TestUpdater : public QObject
{
    Q_OBJECT

    std::optional<Ed25519Key> m_publisher;
    std::optional<TestHome> m_home;
    std::optional<QTemporaryDir> m_parent;
    QString m_prefix;
    QString m_marker;

    QString publisherKey() const { return ReleaseSignature::encodeBase64Url(m_publisher->publicKey()); }

    QString installedUpdater() const { return m_prefix + QStringLiteral("/libexec/quorvane/quorvane-updater"); }

    // The command line the program gives the updater.
    QStringList updaterArguments(qint64 waitPid, const QString& archivePath, const QByteArray& signature,
                                 const QString& announced, const QString& workDirectory) const
    {
        return {QStringLiteral("--wait-pid"), QString::number(waitPid), QStringLiteral("--archive"), archivePath,
                QStringLiteral("--signature"), ReleaseSignature::encodeBase64Url(signature),
                QStringLiteral("--public-key"), publisherKey(), QStringLiteral("--version"), announced,
                QStringLiteral("--installed-version"), oldVersion, QStringLiteral("--prefix"), m_prefix,
                QStringLiteral("--work-dir"), workDirectory, QStringLiteral("--log"),
                CoreConstants::updateCheckLogPath()};
    }

    // Writes the archive into a fresh private folder and runs the updater on it
    // until it ends; returns the process's exit code (-1 when it was killed).
    int runUpdater(const QByteArray& archive, const QString& announced, const QByteArray& stopAt = {},
                   const QByteArray& signedBytes = {})
    {
        QTemporaryDir work(m_parent->filePath(QStringLiteral("work-XXXXXX")));
        work.setAutoRemove(false);
        const QString archivePath = work.filePath(QStringLiteral("Quorvane.tar.gz"));
        if (!TestFiles::write(archivePath, archive))
            return -2;
        QProcess updater;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        if (!stopAt.isEmpty())
            environment.insert(QStringLiteral("QUORVANE_UPDATER_STOP_AT"), QString::fromLatin1(stopAt));
        updater.setProcessEnvironment(environment);
        const QByteArray signature = m_publisher->sign(signedBytes.isEmpty() ? archive : signedBytes);
        // A process id that no process has: the program is gone already.
        updater.start(installedUpdater(), updaterArguments(999999999, archivePath, signature, announced, work.path()));
        // The helper runs on its own; the test has nothing to do meanwhile.
        if (!updater.waitForFinished(60000))
            return -3;
        if (stopAt.isEmpty() && QFile::exists(work.path()))
            return -4; // the private folder must be gone on every path
        return updater.exitStatus() == QProcess::NormalExit ? updater.exitCode() : -1;
    }

    QString installedVersion() const { return QString::fromUtf8(readFile(m_prefix + versionFile)).trimmed(); }

    // The program was started again, and it was the given version.
    void verifyRelaunched(const QString& version)
    {
        // The shell creates the file before it writes the line: wait for the line.
        QTRY_COMPARE_WITH_TIMEOUT(readFile(m_marker).trimmed(), version.toUtf8(), 10000);
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
        m_prefix = m_parent->filePath(QStringLiteral("quorvane"));
        m_marker = m_home->filePath(QStringLiteral("started"));
        QVERIFY(makeTree(m_prefix, oldVersion, m_marker));
    }

    void cleanup()
    {
        m_parent.reset();
        m_home.reset();
    }

    void installsTheAnnouncedNewerVersion()
    {
        QProcess oldApp;
        oldApp.start(QStringLiteral("sleep"), {QStringLiteral("600")});
        QVERIFY(oldApp.waitForStarted());
        const QByteArray archive = newArchive();
        QVERIFY(!archive.isEmpty());
        QTemporaryDir work(m_parent->filePath(QStringLiteral("work-XXXXXX")));
        work.setAutoRemove(false);
        QVERIFY(TestFiles::write(work.filePath(QStringLiteral("a.tar.gz")), archive));

        // Under the most permissive umask the installed files are still writable by their owner only.
        QProcess updater;
        const mode_t previousMask = ::umask(0);
        updater.start(installedUpdater(), updaterArguments(oldApp.processId(), work.filePath(QStringLiteral("a.tar.gz")),
                                                           m_publisher->sign(archive), newVersion, work.path()));
        ::umask(previousMask);
        QVERIFY(updater.waitForStarted());
        // It waits while the old program runs and changes nothing meanwhile.
        QTest::qWait(300);
        QCOMPARE(updater.state(), QProcess::Running);
        QCOMPARE(installedVersion(), oldVersion);
        oldApp.kill();
        QTRY_COMPARE_WITH_TIMEOUT(updater.state(), QProcess::NotRunning, 60000);
        QCOMPARE(updater.exitCode(), 0);

        verifyRelaunched(newVersion);
        QCOMPARE(installedVersion(), newVersion);
        QCOMPARE(TestFiles::modeOf(m_prefix + versionFile), 0644);
        QCOMPARE(TestFiles::modeOf(m_prefix + QStringLiteral("/bin/quorvane-app")), 0755);
        QVERIFY(!QFile::exists(m_prefix + QStringLiteral("/share/quorvane/only-1.0.0.txt")));
        QVERIFY(!QFile::exists(work.path()));
        QCOMPARE(folderEntries(m_parent->path()), QStringList{QStringLiteral("quorvane")});
        const QStringList messages = logMessages();
        for (const QString& expected : QStringList{QStringLiteral("updater: the program has quit"), QStringLiteral("updater: publisher signature verified"),
              QStringLiteral("updater: archive version 2.0.0"), QStringLiteral("updater: swapped in version 2.0.0"),
              QStringLiteral("updater: removed the previous installation"),
              QString(QStringLiteral("updater: started ") + m_prefix + QStringLiteral("/bin/quorvane-app"))})
            QVERIFY2(messages.contains(expected), qPrintable(expected + QStringLiteral(" in:\n") + messages.join(u'\n')));
    }

    void refusesAndRelaunchesTheOldProgram_data()
    {
        QTest::addColumn<QString>("archiveVersion");
        QTest::addColumn<QString>("announced");
        QTest::addColumn<bool>("tampered");
        QTest::addColumn<bool>("withVersion");
        QTest::addColumn<QString>("reason");
        QTest::newRow("old release announced as newer")
            << QStringLiteral("0.9.0") << QStringLiteral("9.9.9") << false << true
            << QStringLiteral("the archive holds version 0.9.0, not the announced 9.9.9");
        QTest::newRow("old release as itself") << QStringLiteral("0.9.0") << QStringLiteral("0.9.0") << false << true
                                               << QStringLiteral("the archive's version 0.9.0 is not newer than the installed 1.0.0");
        QTest::newRow("the installed version again") << oldVersion << oldVersion << false << true
                                                      << QStringLiteral("the archive's version 1.0.0 is not newer than the installed 1.0.0");
        QTest::newRow("no version inside") << newVersion << newVersion << false << false
                                           << QStringLiteral("the archive names no version (share/quorvane/release-version is missing)");
        QTest::newRow("signature of other bytes") << newVersion << newVersion << true << true
                                                  << QStringLiteral("the publisher signature is invalid");
    }
    void refusesAndRelaunchesTheOldProgram()
    {
        QFETCH(QString, archiveVersion);
        QFETCH(QString, announced);
        QFETCH(bool, tampered);
        QFETCH(bool, withVersion);
        QFETCH(QString, reason);

        QTemporaryDir tree;
        QVERIFY(makeTree(tree.path(), archiveVersion, m_marker));
        if (!withVersion)
            QVERIFY(QFile::remove(tree.path() + versionFile));
        const QByteArray archive = packTree(tree.path());
        QVERIFY(!archive.isEmpty());

        QCOMPARE(runUpdater(archive, announced, {}, tampered ? archive + "x" : QByteArray()), 1);
        QVERIFY2(logMessages().contains(QStringLiteral("updater: REFUSED: ") + reason),
                 qPrintable(logMessages().join(u'\n')));
        verifyRelaunched(oldVersion);
        QCOMPARE(installedVersion(), oldVersion);
        QCOMPARE(folderEntries(m_parent->path()), QStringList{QStringLiteral("quorvane")});
    }

    void missingArgumentsStillRelaunch()
    {
        QProcess updater;
        updater.start(installedUpdater(),
                      {QStringLiteral("--prefix"), m_prefix, QStringLiteral("--log"), CoreConstants::updateCheckLogPath()});
        QVERIFY(updater.waitForFinished(30000));
        QCOMPARE(updater.exitCode(), 1);
        QVERIFY(logMessages().contains(QStringLiteral("updater: REFUSED: missing --archive")));
        verifyRelaunched(oldVersion);
    }

    void refusesWhatAnArchiveMayNotHold_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("reason");
        QTest::newRow("program is a link outside") << QStringLiteral("programLink")
                                                   << QStringLiteral("the link \"./bin/quorvane-app\" leads outside the installation");
        QTest::newRow("bin is a link outside") << QStringLiteral("binLink")
                                               << QStringLiteral("the link \"./bin\" leads outside the installation");
        QTest::newRow("link climbing out") << QStringLiteral("climb")
                                           << QStringLiteral("the link \"./share/escape\" leads outside the installation");
        QTest::newRow("link out through a link") << QStringLiteral("throughLink")
                                                 << QStringLiteral("the link \"escape\" leads outside the installation");
        QTest::newRow("file beneath a link") << QStringLiteral("beneathLink")
                                             << QStringLiteral("the entry \"./lib/evil\" lies beneath a link or a file");
        QTest::newRow("hard link") << QStringLiteral("hardLink") << QStringLiteral("the entry \"./share/evil\" is a hard link");
        QTest::newRow("FIFO") << QStringLiteral("fifo") << QStringLiteral("the entry \"./share/evil\" is a special file");
        QTest::newRow("device") << QStringLiteral("device") << QStringLiteral("the entry \"./share/evil\" is a special file");
        QTest::newRow("absolute name") << QStringLiteral("absolute") << QStringLiteral("would land outside the installation");
        QTest::newRow("name with ..") << QStringLiteral("dotdot") << QStringLiteral("would land outside the installation");
        QTest::newRow("bomb") << QStringLiteral("bomb") << QStringLiteral("the archive unpacks to more than ");
        QTest::newRow("bomb before the version file")
            << QStringLiteral("bombFirst") << QStringLiteral("the archive unpacks to more than ");
        QTest::newRow("no program") << QStringLiteral("noProgram")
                                    << QStringLiteral("the archive holds no executable bin/quorvane-app");
    }
    void refusesWhatAnArchiveMayNotHold()
    {
        QFETCH(QString, kind);
        QFETCH(QString, reason);

        Outside outside;
        const QString outsideMarker = outside.dir.filePath(QStringLiteral("outside-started"));
        QVERIFY(TestFiles::writeShellScript(outside.program(), "echo outside > '" + QFile::encodeName(outsideMarker) + "'\n"));
        QTemporaryDir tree;
        QVERIFY(makeTree(tree.path(), newVersion, m_marker));
        QList<Entry> entries = entriesOf(tree.path());
        const auto replace = [&entries](const QByteArray& name, const Entry& by) {
            for (Entry& entry : entries) {
                if (entry.name == name)
                    entry = by;
            }
        };
        const QByteArray outsidePath = QFile::encodeName(outside.dir.path());
        const QByteArray climb = QByteArray("../").repeated(QDir::cleanPath(m_prefix).count(u'/') + 2);
        if (kind == QLatin1String("programLink")) {
            replace("./bin/quorvane-app", {Type::symlink, "./bin/quorvane-app", QFile::encodeName(outside.program())});
        } else if (kind == QLatin1String("binLink")) {
            entries.removeIf([](const Entry& entry) { return entry.name.startsWith("./bin"); });
            entries.append({Type::symlink, "./bin", outsidePath});
        } else if (kind == QLatin1String("climb")) {
            entries.append({Type::symlink, "./share/escape", climb + outsidePath.mid(1)});
        } else if (kind == QLatin1String("throughLink")) {
            // Each link alone stays inside; followed one through the other they leave.
            entries.append({Type::symlink, "share/up", ".."});
            entries.append({Type::symlink, "escape", "share/up/.."});
        } else if (kind == QLatin1String("beneathLink")) {
            entries.append({Type::symlink, "./lib", "share"});
            entries.append({Type::file, "./lib/evil", "evil"});
        } else if (kind == QLatin1String("hardLink")) {
            entries.append({Type::hardlink, "./share/evil", QFile::encodeName(outside.program())});
        } else if (kind == QLatin1String("fifo")) {
            entries.append({Type::fifo, "./share/evil", {}});
        } else if (kind == QLatin1String("device")) {
            entries.append({Type::characterDevice, "./share/evil", {}});
        } else if (kind == QLatin1String("absolute")) {
            entries.append({Type::file, outsidePath + "/evil", "evil"});
        } else if (kind == QLatin1String("dotdot")) {
            entries.append({Type::file, "./share/../../evil", "evil"});
        } else if (kind.startsWith(QLatin1String("bomb"))) {
            // A small archive: the tree without the updater binary, plus the zeros
            // (first, they are inflated while looking for the version).
            entries.removeIf([](const Entry& entry) { return entry.name.startsWith("./libexec"); });
            const Entry zeros{Type::file, "./share/zeros", {}, 64 * 1024 * 1024};
            if (kind == QLatin1String("bombFirst"))
                entries.prepend(zeros);
            else
                entries.append(zeros);
        } else if (kind == QLatin1String("noProgram")) {
            entries.removeIf([](const Entry& entry) { return entry.name == "./bin/quorvane-app"; });
        }
        const QByteArray archive = writeArchive(entries);
        QVERIFY(!archive.isEmpty());
        if (kind.startsWith(QLatin1String("bomb")))
            QVERIFY(archive.size() < 1024 * 1024); // 64 MB of zeros pack small

        QCOMPARE(runUpdater(archive, newVersion), 1);
        const QStringList refusals = logMessages().filter(QStringLiteral("updater: REFUSED: "));
        QCOMPARE(refusals.size(), 1);
        QVERIFY2(refusals.constFirst().contains(reason), qPrintable(refusals.constFirst()));

        // The old program runs again; nothing was written outside the private folder.
        verifyRelaunched(oldVersion);
        QCOMPARE(installedVersion(), oldVersion);
        QCOMPARE(folderEntries(m_parent->path()), QStringList{QStringLiteral("quorvane")});
        QCOMPARE(folderEntries(outside.dir.path()), QStringList{QStringLiteral("program")});
        QVERIFY(!QFile::exists(QFileInfo(m_parent->path()).absolutePath() + QStringLiteral("/evil")));
    }

    void aKillAtAnyStepLeavesAWorkingInstallation_data()
    {
        QTest::addColumn<QByteArray>("step");
        QTest::addColumn<QString>("versionAfter");
        QTest::newRow("staging folder made") << QByteArray("staging") << oldVersion;
        QTest::newRow("unpacked") << QByteArray("unpacked") << oldVersion;
        QTest::newRow("swapped") << QByteArray("swapped") << newVersion;
        QTest::newRow("old tree moved aside") << QByteArray("retired") << newVersion;
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
            QVERIFY(logMessages().contains(QStringLiteral("updater: stopping dead after ") + QLatin1String(step)));
            QVERIFY(folderEntries(m_parent->path()).size() > 1); // something is left to repair
        }

        // The next start of the program repairs before anything else.
        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost));
        qputenv("QUORVANE_API_BASE_URL", QByteArray("http://127.0.0.1:") + QByteArray::number(closed.serverPort()));
        closed.close();
        QNetworkAccessManager network;
        UpdateCheckService service(&network);
        service.setInstallPrefix(m_prefix);
        service.start(oldVersion, [] {});
        qunsetenv("QUORVANE_API_BASE_URL");

        QVERIFY(InstallationSwap::isWorkingInstallation(m_prefix));
        QCOMPARE(installedVersion(), versionAfter);
        QVERIFY(logMessages().filter(QStringLiteral("repair: ")).size() >= 1);
        const QStringList remaining = folderEntries(m_parent->path()).filter(QStringLiteral("quorvane"));
        QCOMPARE(remaining, QStringList{QStringLiteral("quorvane")});
        QProcess program;
        program.start(m_prefix + QStringLiteral("/bin/quorvane-app"), QStringList());
        QVERIFY(program.waitForFinished(10000));
        verifyRelaunched(versionAfter);
    }
};

QTEST_GUILESS_MAIN(TestUpdater)
#include "tst_Updater.moc"
