#include "core/ReleaseSignature.h"
#include "core/UpdateCheckService.h"
#include "tests/core/UpdateScene.h"
#include "tests/support/LoopbackHttpServer.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestHome.h"

#include <QCoroTask>
#include <QDir>
#include <QFile>
#include <QNetworkAccessManager>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <sys/stat.h>
#include <unistd.h>

using namespace UpdateScene;
using namespace Qt::StringLiterals;

// Handing a verified release to the updater, and the installations it refuses to touch.
class TestUpdateInstall : public QObject
{
    Q_OBJECT

    Environment m_env;
    QNetworkAccessManager m_network;

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_env.setUp()); }
    void cleanup() { qunsetenv("QUORVANE_API_BASE_URL"); }

    void installationRefusals_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("logLine");
        QTest::addColumn<QString>("error");
        QTest::newRow("distribution package")
            << u"usr"_s << u"BLOCKED: installation at /usr is managed by the system package manager"_s
            << u"Update unavailable: this installation is managed by the system package manager"_s;
        QTest::newRow("not a prefix")
            << u"bare"_s << u"BLOCKED: %prefix is not a self-contained installation"_s
            << u"Update unavailable: this installation cannot replace itself"_s;
        QTest::newRow("parent not writable")
            << u"readonly"_s << u"BLOCKED: installation folder %parent is not writable"_s
            << u"Update unavailable: the installation folder is not writable"_s;
    }
    void installationRefusals()
    {
        QFETCH(QString, kind);
        QFETCH(QString, logLine);
        QFETCH(QString, error);
        if (kind == "readonly"_L1 && ::geteuid() == 0)
            QSKIP("root may write into any folder");

        TestHome home;
        QTemporaryDir parent;
        const QString prefix = kind == "usr"_L1 ? u"/usr"_s : parent.filePath(u"q"_s);
        QVERIFY(QDir().mkpath(prefix));
        if (kind == "readonly"_L1)
            QVERIFY(makeTree(prefix, u"1.0.0"_s, home.filePath(u"m"_s)));
        LoopbackHttpServer server;
        QVERIFY(server.listen());
        announce(server,
            { { u"version"_s, newVersion }, { u"url"_s, server.url(u"/files/"_s + archiveName).toString() },
                { u"sha256"_s, QString(64, u'0') } });

        UpdateCheckService service(&m_network);
        service.setReleaseHost(u"127.0.0.1"_s);
        service.setInstallPrefix(prefix);
        service.start(u"1.0.0"_s, [] {});
        QTRY_COMPARE_WITH_TIMEOUT(service.availableVersion(), newVersion, 20000);
        if (kind == "readonly"_L1)
            QVERIFY(QFile::setPermissions(parent.path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner));
        QCoro::waitFor(service.runDownloadAndInstall());
        QFile::setPermissions(
            parent.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);

        QCOMPARE(logMessages().constLast(),
            QString(logLine)
                .replace("%prefix"_L1, QFileInfo(prefix).canonicalFilePath())
                .replace("%parent"_L1, QFileInfo(parent.path()).canonicalFilePath()));
        QCOMPARE(service.updateError(), error);
        QVERIFY(!service.isUpdating());
        QCOMPARE(server.requestCount(u"/files/"_s + archiveName), 0);
        QCOMPARE(privateFolders(m_env.tempDir.path()), QStringList());
    }

    void endToEndReplacesInstallation_data()
    {
        QTest::addColumn<bool>("contentLength");
        QTest::newRow("with a content length") << true;
        QTest::newRow("no content length") << false;
    }
    void endToEndReplacesInstallation()
    {
        QFETCH(bool, contentLength);
        Release release;
        QVERIFY(release.make());
        LoopbackHttpServer server;
        QVERIFY(server.listen());
        announce(server, release.latest(server.url(u"/files/"_s + archiveName).toString(), *m_env.publisher));
        server.setResponse(u"/files/"_s + archiveName, { "200 OK", release.archive, contentLength });

        // The old program: a child process whose exit the updater waits for; it ends when asked to quit.
        QProcess oldApp;
        oldApp.start(u"sleep"_s, { u"600"_s });
        QVERIFY(oldApp.waitForStarted());
        UpdateCheckService service(&m_network);
        service.setProcessId(oldApp.processId());
        release.onTerminate = [&oldApp] { oldApp.kill(); };
        QVERIFY(release.start(service, m_env.publisherKey()));
        QList<double> progress;
        connect(&service, &UpdateCheckService::updateProgressChanged, this,
            [&] { progress.append(service.updateProgress()); });

        // Under the most permissive umask the updater still installs files writable by their owner only.
        const mode_t previousMask = ::umask(0);
        QCoro::waitFor(service.runDownloadAndInstall());
        ::umask(previousMask);
        QVERIFY2(service.updateError().isEmpty(), qPrintable(service.updateError()));
        QVERIFY(service.isUpdating());
        QCOMPARE(service.updateProgress(), 1.0);
        QVERIFY(!progress.isEmpty() && std::is_sorted(progress.cbegin(), progress.cend()));
        if (!contentLength)
            QCOMPARE(progress, QList<double> { 1.0 }); // stayed 0 until the download completed
        // The updater is running by now and logs too; the program's own lines end so.
        const QStringList own = logMessages().filter(QRegularExpression(u"^(?!updater: )"_s));
        QCOMPARE(own.mid(own.size() - 4),
            (QStringList { u"hash verified: "_s + ReleaseSignature::sha256Hex(release.archive),
                u"publisher signature verified"_s, u"archive version verified: 2.0.0"_s,
                u"updater launched, terminating app"_s }));

        // The private folder: 0700, holding only the archive.
        const QStringList folders = privateFolders(m_env.tempDir.path());
        QCOMPARE(folders.size(), 1);
        const QString folder = m_env.tempDir.filePath(folders.constFirst());
        if (release.terminated == 0) { // the updater waits for the program to quit
            QCOMPARE(TestFiles::modeOf(folder), 0700);
            QCOMPARE(QDir(folder).entryList(QDir::Files), QStringList { archiveName });
            QCOMPARE(TestFiles::contentOf(release.prefix + versionFile), "1.0.0\n"_ba);
        }

        // The program is asked to quit; the updater then swaps and relaunches.
        QTRY_COMPARE_WITH_TIMEOUT(release.terminated, 1, 10000);
        QTRY_COMPARE_WITH_TIMEOUT(TestFiles::contentOf(release.marker).trimmed(), newVersion.toUtf8(), 60000);
        QCOMPARE(TestFiles::contentOf(release.prefix + versionFile), newVersion.toUtf8() + '\n');
        QCOMPARE(TestFiles::modeOf(release.prefix + versionFile), 0644);
        QCOMPARE(TestFiles::modeOf(release.prefix + u"/bin/quorvane-app"_s), 0755);
        QVERIFY(QFile::exists(release.prefix + u"/share/quorvane/only-2.0.0.txt"_s));
        QVERIFY(!QFile::exists(release.prefix + u"/share/quorvane/only-1.0.0.txt"_s));
        QTRY_VERIFY_WITH_TIMEOUT(!QFile::exists(folder), 20000);
        QCOMPARE(folderEntries(release.installParent.path()), QStringList { u"quorvane"_s });
        const QStringList messages = logMessages();
        for (const QString& expected : { u"updater: the program has quit"_s,
                 u"updater: publisher signature verified"_s, u"updater: archive version 2.0.0"_s,
                 u"updater: swapped in version 2.0.0"_s, u"updater: removed the previous installation"_s,
                 QString(u"updater: started "_s + release.prefix + u"/bin/quorvane-app"_s) })
            QVERIFY2(messages.contains(expected), qPrintable(expected + u" in:\n"_s + messages.join(u'\n')));
    }

    void fullDiskSaysSo()
    {
        // A file system of 64 KiB for the private folder: only root may mount one.
        QTemporaryDir mountPoint;
        QProcess mount;
        mount.start(
            u"mount"_s, { u"-t"_s, u"tmpfs"_s, u"-o"_s, u"size=64k"_s, u"tmpfs"_s, mountPoint.path() });
        if (::geteuid() != 0 || !mount.waitForFinished(10000) || mount.exitCode() != 0)
            QSKIP("mounting a small file system needs root");
        const auto unmount
            = qScopeGuard([&mountPoint] { QProcess::execute(u"umount"_s, { mountPoint.path() }); });

        Release release;
        QVERIFY(release.make());
        QVERIFY(release.archive.size() > 64 * 1024);
        LoopbackHttpServer server;
        QVERIFY(server.listen());
        announce(server, release.latest(server.url(u"/files/"_s + archiveName).toString(), *m_env.publisher));
        server.setResponse(u"/files/"_s + archiveName, { "200 OK", release.archive });
        qputenv("TMPDIR", QFile::encodeName(mountPoint.path()));
        const auto restore
            = qScopeGuard([this] { qputenv("TMPDIR", QFile::encodeName(m_env.tempDir.path())); });

        UpdateCheckService service(&m_network);
        QVERIFY(release.start(service, m_env.publisherKey()));
        QCoro::waitFor(service.runDownloadAndInstall());
        QCOMPARE(service.updateError(), u"Update failed: No space left on device"_s);
        QCOMPARE(logMessages().constLast(), u"download move failed: No space left on device"_s);
        QCOMPARE(privateFolders(mountPoint.path()), QStringList());
    }
};

QTEST_GUILESS_MAIN(TestUpdateInstall)
#include "tst_UpdateInstall.moc"
