#include "core/BuildConfig.h"
#include "core/ReleaseSignature.h"
#include "core/UpdateCheckService.h"
#include "tests/core/UpdateScene.h"
#include "tests/support/LoopbackHttpServer.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestHome.h"

#include <QCoroTask>
#include <QDir>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <sys/stat.h>
#include <unistd.h>

using namespace UpdateScene;
using namespace Qt::StringLiterals;

// Checking for releases, refusing downloads that are not what was announced, and handing a
// verified release to the updater (or refusing installations it must not touch).
class TestUpdateCheckService : public QObject
{
    Q_OBJECT

    Environment m_env;
    QNetworkAccessManager m_network;

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_env.setUp()); }
    void cleanup() { qunsetenv("QUORVANE_API_BASE_URL"); }

    void checkPublishesNewerReleases()
    {
        TestHome home;
        LoopbackHttpServer server;
        QVERIFY(server.listen());
        const QString url = server.url(u"/releases/files/Quorvane-1.10.0.tar.gz"_s).toString();
        announce(
            server, { { u"version"_s, u"1.10.0"_s }, { u"url"_s, url }, { u"sha256"_s, QString(64, u'a') } });

        UpdateCheckService service(&m_network);
        QSignalSpy versionSpy(&service, &UpdateCheckService::availableVersionChanged);
        int terminated = 0;
        service.start(u"1.9.0"_s, [&terminated] { ++terminated; });
        QTRY_COMPARE_WITH_TIMEOUT(service.availableVersion(), u"1.10.0"_s, 20000);
        QCOMPARE(versionSpy.count(), 1);
        QCOMPARE(logMessages(),
            (QStringList {
                u"start: local version=1.9.0"_s, u"check: remote=1.10.0 local=1.9.0 newer=true"_s }));

        // A bad status and a refused connection change nothing.
        server.setResponse(u"/releases/latest"_s, { "503 Service Unavailable", "busy" });
        QCoro::waitFor(service.check());
        QCOMPARE(logMessages().constLast(), u"check: bad status 503"_s);
        qputenv("QUORVANE_API_BASE_URL", "http://127.0.0.1:" + QByteArray::number(closedPort()));
        QCoro::waitFor(service.check());
        QCOMPARE(logMessages().constLast(), u"check failed: Connection refused"_s);
        qputenv("QUORVANE_API_BASE_URL", server.origin().toUtf8());
        QCOMPARE(service.availableVersion(), u"1.10.0"_s);
        QCOMPARE(service.downloadURL(), QUrl(url));

        // An equal version clears what the newer one published.
        announce(server, { { u"version"_s, u"1.9"_s }, { u"url"_s, url } });
        QCoro::waitFor(service.check());
        QCOMPARE(logMessages().constLast(), u"check: remote=1.9 local=1.9.0 newer=false"_s);
        QVERIFY(service.availableVersion().isEmpty() && service.downloadURL().isEmpty());

        // A newer release whose "url" does not read as a URL offers no download.
        announce(server, { { u"version"_s, u"3"_s }, { u"url"_s, u"http://exa mple.com/x"_s } });
        QCoro::waitFor(service.check());
        QCOMPARE(service.availableVersion(), u"3"_s);
        QVERIFY(service.downloadURL().isEmpty());
        const qsizetype linesBefore = logMessages().size();
        QCoro::waitFor(service.runDownloadAndInstall());
        QCOMPARE(logMessages().size(), linesBefore);
        QVERIFY(!service.isUpdating());

        // Without a local version nothing is newer; the timer keeps checking.
        UpdateCheckService unknown(&m_network);
        unknown.setCheckInterval(std::chrono::milliseconds(50));
        unknown.start(std::nullopt, [] {});
        QTRY_VERIFY_WITH_TIMEOUT(logMessages().count(u"check: remote=3 local=nil newer=false"_s) >= 3, 30000);
        QVERIFY(logMessages().contains(u"start: local version=nil"_s));
        QVERIFY(unknown.availableVersion().isEmpty());
        QCOMPARE(terminated, 0);
    }

    // The release query has its own access manager and a cap on the answer; the local version is the
    // one the installation carries, and a package's prefix is known as such.
    void releaseQueryAgainstItsOwnVersion()
    {
        TestHome home;
        QTemporaryDir prefix;
        // A build tree carries no version file: the version it was built as.
        QCOMPARE(UpdateCheckService::ownVersion(prefix.path()), QString::fromLatin1(BuildConfig::version));
        const QString file = prefix.path() + versionFile;
        QVERIFY(TestFiles::write(file, "not a version\n"));
        QCOMPARE(UpdateCheckService::ownVersion(prefix.path()), QString::fromLatin1(BuildConfig::version));
        QVERIFY(TestFiles::write(file, "1.1.0\n"));
        QCOMPARE(UpdateCheckService::ownVersion(prefix.path()), u"1.1.0"_s);

        LoopbackHttpServer server;
        QVERIFY(server.listen());
        const auto announceVersion = [&server](const QString& version, qsizetype padding = 0) {
            announce(server,
                { { u"version"_s, version }, { u"url"_s, u"https://releases.quorvane.com/Q.tar.gz"_s },
                    { u"padding"_s, QString(padding, u' ') } });
        };
        // The shared access manager goes through a proxy nobody runs: the release query never uses it.
        QNetworkAccessManager shared;
        shared.setProxy(QNetworkProxy(QNetworkProxy::HttpProxy, u"127.0.0.1"_s, closedPort()));
        UpdateCheckService updates(&shared);
        updates.setInstallPrefix(prefix.path());
        QVERIFY(!updates.property("packageManaged").toBool());
        announceVersion(u"9.0.0"_s, 2 * UpdateCheckService::maximumAnswerSize);
        QCoro::waitFor(updates.check());
        QCOMPARE(logMessages().constLast(), u"check failed: the answer is larger than 65536 bytes"_s);
        QCOMPARE(updates.availableVersion(), QString());

        // Right after updating to 1.1.0 its announcement is not offered again; 1.2.0 is.
        announceVersion(u"1.1.0"_s, 1000);
        updates.start(updates.ownVersion(), {});
        QTRY_COMPARE(logMessages().constLast(), u"check: remote=1.1.0 local=1.1.0 newer=false"_s);
        announceVersion(u"1.2.0"_s);
        QCoro::waitFor(updates.check());
        QCOMPARE(updates.availableVersion(), u"1.2.0"_s);

        updates.setInstallPrefix(u"/usr"_s);
        QVERIFY(updates.property("packageManaged").toBool());
    }

    // Each row's name says what differs from a genuine release.
    void downloadRefusals_data()
    {
        QTest::addColumn<QString>("logLine"); // %sha, %SHA, %other replaced; "...": prefix
        QTest::addColumn<QString>("error"); // "...": prefix
        const QString untrusted = u"Update blocked: untrusted download source"_s;
        const QString mismatch = u"Update blocked: integrity check failed"_s;
        const QString signatureFailed = u"Update blocked: publisher signature check failed"_s;
        const QString versionRefused = u"Update blocked: the release is not the announced newer version"_s;
        const QString tooLarge = u"Download failed: the download is larger than announced"_s;
        const auto row = [](const char* name, const QString& logLine, const QString& error) {
            QTest::newRow(name) << logLine << error;
        };
        row("other host", u"BLOCKED: download host localhost != 127.0.0.1"_s, untrusted);
        row("host differing in case", u"BLOCKED: download host LocalHost != localhost"_s, untrusted);
        row("no digest", u"BLOCKED: no expected hash from server"_s,
            u"Update blocked: missing integrity hash"_s);
        row("upper-case digest", u"BLOCKED: hash mismatch computed=%sha expected=%SHA"_s, mismatch);
        row("digest mismatch", u"BLOCKED: hash mismatch computed=%sha expected=%other"_s, mismatch);
        row("bad status", u"download error: ..."_s, u"Download failed: ..."_s);
        row("connection refused", u"download error: ..."_s, u"Download failed: ..."_s);
        row("missing signature", u"BLOCKED: no publisher signature from server"_s, signatureFailed);
        row("signature of another key", u"BLOCKED: publisher signature invalid"_s, signatureFailed);
        row("no pinned key", u"BLOCKED: no valid publisher key in this build"_s, signatureFailed);
        row("genuine old release announced as newer",
            u"BLOCKED: archive version 0.9.0 announced=2.0.0 local=1.0.0"_s, versionRefused);
        row("no version inside",
            u"BLOCKED: the archive names no version (share/quorvane/release-version is missing)"_s,
            versionRefused);
        row("larger than announced", u"download error: the server announces ..."_s, tooLarge);
        // Without a Content-Length the body is counted as it arrives.
        row("larger than announced, no length", u"download error: more than the announced ..."_s, tooLarge);
        row("host dripping bytes", u"download error: not complete after 1 s"_s,
            u"Download failed: timed out after 1 s"_s);
    }
    void downloadRefusals()
    {
        QFETCH(QString, logLine);
        QFETCH(QString, error);
        const QLatin1String kind(QTest::currentDataTag());
        const auto is = [&kind](const char* name) { return kind == QLatin1String(name); };

        Release release;
        QVERIFY(release.make(is("genuine old release announced as newer") ? u"0.9.0"_s
                : is("no version inside")                                 ? QString()
                                                                          : newVersion));
        LoopbackHttpServer server;
        QVERIFY(server.listen());
        const QString releaseHost = is("host differing in case") ? u"localhost"_s : u"127.0.0.1"_s;
        const QString urlHost = is("other host") ? u"localhost"_s
            : is("host differing in case")       ? u"LocalHost"_s
                                                 : u"127.0.0.1"_s;
        const quint16 port = is("connection refused") ? closedPort() : server.url({}).port();
        const QString filePath = u"/files/"_s + archiveName;
        const QString url = u"http://%1:%2%3"_s.arg(urlHost).arg(port).arg(filePath);
        QJsonObject latest = release.latest(
            url, is("signature of another key") ? *Ed25519Key::generate() : *m_env.publisher);
        const QString sha = ReleaseSignature::sha256Hex(release.archive);
        const QString other = ReleaseSignature::sha256Hex("other bytes");
        if (is("no digest"))
            latest.remove(u"sha256"_s);
        if (is("upper-case digest") || is("digest mismatch"))
            latest.insert(u"sha256"_s, is("digest mismatch") ? other : sha.toUpper());
        if (is("missing signature"))
            latest.remove(u"signature"_s);
        if (kind.startsWith("larger"_L1))
            latest.insert(u"size"_s, double(release.archive.size() - 100));
        if (is("host dripping bytes"))
            latest.insert(u"size"_s, double(release.archive.size() + 1));
        announce(server, latest);
        LoopbackHttpServer::Response file { is("bad status") ? "500 Internal Server Error" : "200 OK",
            release.archive, !is("larger than announced, no length") };
        if (is("host dripping bytes")) { // one byte at a time
            file.pieces = int(release.archive.size());
            file.interval = 300;
        }
        server.setResponse(filePath, file);

        UpdateCheckService service(&m_network);
        if (is("host dripping bytes"))
            service.setDownloadDeadline(std::chrono::seconds(1));
        QVERIFY(release.start(service, is("no pinned key") ? QString() : m_env.publisherKey(), releaseHost));
        QCoro::waitFor(service.runDownloadAndInstall());

        QVERIFY2(lastMessageMatches(QString(logLine)
                                        .replace("%sha"_L1, sha)
                                        .replace("%SHA"_L1, sha.toUpper())
                                        .replace("%other"_L1, other)),
            qPrintable(logMessages().constLast()));
        QVERIFY2(error.endsWith("..."_L1) ? service.updateError().startsWith(error.chopped(3))
                                          : service.updateError() == error,
            qPrintable(service.updateError()));
        const QStringList messages = logMessages();
        const bool downloaded = !logLine.startsWith("BLOCKED: download host"_L1);
        QCOMPARE(messages.contains(u"download starting: "_s + url), downloaded);
        if (!is("connection refused"))
            QCOMPARE(server.requestCount(filePath) > 0, downloaded);
        const QRegularExpression complete(u"^download complete: .*/quorvane-update-[^/]+/"_s
            + QRegularExpression::escape(archiveName) + u'$');
        const bool completed = downloaded && !logLine.startsWith("download error: "_L1);
        QCOMPARE(messages.filter(complete).size(), completed ? 1 : 0);
        QVERIFY(!service.isUpdating());
        QCOMPARE(service.updateProgress(), 0.0);
        QVERIFY(release.untouched(m_env.tempDir.path()));

        // A later attempt clears the error while it runs.
        QSignalSpy errorSpy(&service, &UpdateCheckService::updateErrorChanged);
        QCoro::waitFor(service.runDownloadAndInstall());
        QVERIFY(!service.updateError().isEmpty());
        QCOMPARE(errorSpy.count(), downloaded ? 2 : 0);
    }

    void installationRefusals_data()
    {
        QTest::addColumn<QString>("logLine");
        QTest::addColumn<QString>("error");
        QTest::newRow("distribution package")
            << u"BLOCKED: installation at /usr is managed by the system package manager"_s
            << u"Update unavailable: this installation is managed by the system package manager"_s;
        QTest::newRow("not a prefix") << u"BLOCKED: %prefix is not a self-contained installation"_s
                                      << u"Update unavailable: this installation cannot replace itself"_s;
        QTest::newRow("parent not writable")
            << u"BLOCKED: installation folder %parent is not writable"_s
            << u"Update unavailable: the installation folder is not writable"_s;
    }
    void installationRefusals()
    {
        QFETCH(QString, logLine);
        QFETCH(QString, error);
        const bool readOnly = QTest::currentDataTag() == "parent not writable"_ba;
        if (readOnly && ::geteuid() == 0)
            QSKIP("root may write into any folder");

        TestHome home;
        QTemporaryDir parent;
        const QString prefix
            = QTest::currentDataTag() == "distribution package"_ba ? u"/usr"_s : parent.filePath(u"q"_s);
        QVERIFY(QDir().mkpath(prefix));
        if (readOnly)
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
        if (readOnly)
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
        QVERIFY(logMessages().contains(u"updater launched, terminating app"_s));

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
        QVERIFY(logMessages().contains(u"updater: the program has quit"_s));
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

QTEST_GUILESS_MAIN(TestUpdateCheckService)
#include "tst_UpdateCheckService.moc"
