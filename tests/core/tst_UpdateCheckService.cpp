#include "tests/support/BackendProcess.h"
#include "core/CoreConstants.h"
#include "core/Ed25519Key.h"
#include "tests/support/LoopbackHttpServer.h"
#include "core/ReleaseSignature.h"
#include "tests/core/ReleaseTestSupport.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestHome.h"
#include "core/UpdateCheckService.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#include <QCoroTask>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace ReleaseTestSupport;

namespace {

const QString newVersion = QStringLiteral("2.0.0");
const QString archiveName = QStringLiteral("Quorvane-2.0.0.tar.gz");

QStringList privateFolders(const QString& tempDir)
{
    return QDir(tempDir).entryList({QStringLiteral("quorvane-update-*")}, QDir::Dirs | QDir::Hidden);
}

} // namespace

class TestUpdateCheckService : public QObject
{
    Q_OBJECT

    QTemporaryDir m_tempDir; // TMPDIR of the service under test
    QNetworkAccessManager m_network;
    std::optional<Ed25519Key> m_publisher;
    std::optional<Ed25519Key> m_stranger;

    QString publisherKey() const { return ReleaseSignature::encodeBase64Url(m_publisher->publicKey()); }

    static void writeLatest(const QString& dir, const QJsonObject& latest)
    {
        TestFiles::write(dir + QStringLiteral("/latest.json"), QJsonDocument(latest).toJson());
    }

private Q_SLOTS:
    void initTestCase()
    {
        QNetworkProxy::setApplicationProxy(QNetworkProxy::NoProxy);
        QVERIFY(m_tempDir.isValid());
        qputenv("TMPDIR", QFile::encodeName(m_tempDir.path()));
        QCOMPARE(QDir::tempPath(), m_tempDir.path());
        QVERIFY2(QFileInfo(builtUpdater()).isExecutable(), qPrintable(builtUpdater()));
        m_publisher = Ed25519Key::generate();
        m_stranger = Ed25519Key::generate();
        QVERIFY(m_publisher && m_stranger);
    }

    void checkPublishesNewerReleases()
    {
        TestHome home;
        QTemporaryDir releases;
        BackendProcess backend({QStringLiteral("--releases"), releases.path()});
        QVERIFY2(backend.isRunning(), qPrintable(backend.lastError()));
        qputenv("QUORVANE_API_BASE_URL", backend.url().toString().toUtf8());
        const QString url = backend.url(QStringLiteral("/releases/files/Quorvane-1.10.0.tar.gz")).toString();
        writeLatest(releases.path(), {{QStringLiteral("version"), QStringLiteral("1.10.0")},
                                      {QStringLiteral("url"), url},
                                      {QStringLiteral("sha256"), QString(64, u'a')}});

        UpdateCheckService service(&m_network);
        QCOMPARE(service.endpoint(), backend.url(QStringLiteral("/releases/latest")));
        QSignalSpy versionSpy(&service, &UpdateCheckService::availableVersionChanged);
        int terminated = 0;
        service.start(QStringLiteral("1.9.0"), [&terminated] { ++terminated; });
        QTRY_COMPARE_WITH_TIMEOUT(service.availableVersion(), QStringLiteral("1.10.0"), 20000);
        QCOMPARE(service.downloadURL(), QUrl(url));
        QCOMPARE(versionSpy.count(), 1);
        QCOMPARE(logMessages(), (QStringList{QStringLiteral("start: local version=1.9.0"),
                                             QStringLiteral("check: remote=1.10.0 local=1.9.0 newer=true")}));

        // A bad status, a broken connection and an undecodable answer change nothing.
        QVERIFY(backend.inject("GET", QStringLiteral("/releases/latest"), 503));
        QCoro::waitFor(service.check());
        QCOMPARE(logMessages().constLast(), QStringLiteral("check: bad status 503"));
        {
            QTcpServer closed;
            QVERIFY(closed.listen(QHostAddress::LocalHost));
            const quint16 port = closed.serverPort();
            closed.close();
            qputenv("QUORVANE_API_BASE_URL", QByteArray("http://127.0.0.1:") + QByteArray::number(port));
            QCoro::waitFor(service.check());
            QCOMPARE(logMessages().constLast(), QStringLiteral("check failed: Connection refused"));
            qputenv("QUORVANE_API_BASE_URL", backend.url().toString().toUtf8());
        }
        TestFiles::write(releases.filePath(QStringLiteral("latest.json")), "{\"version\": 3, \"url\": \"x\"}");
        QCoro::waitFor(service.check());
        QCOMPARE(logMessages().constLast(),
                 QStringLiteral("check failed: LatestRelease: key \"version\" is not a string"));
        QCOMPARE(service.availableVersion(), QStringLiteral("1.10.0"));
        QCOMPARE(service.downloadURL(), QUrl(url));

        // An equal version clears what the newer one published.
        writeLatest(releases.path(), {{QStringLiteral("version"), QStringLiteral("1.9")},
                                      {QStringLiteral("url"), url}});
        QCoro::waitFor(service.check());
        QCOMPARE(logMessages().constLast(), QStringLiteral("check: remote=1.9 local=1.9.0 newer=false"));
        QVERIFY(service.availableVersion().isEmpty());
        QVERIFY(service.downloadURL().isEmpty());

        // A newer release whose "url" does not read as a URL offers no download.
        writeLatest(releases.path(), {{QStringLiteral("version"), QStringLiteral("3")},
                                      {QStringLiteral("url"), QStringLiteral("http://exa mple.com/x")}});
        QCoro::waitFor(service.check());
        QCOMPARE(service.availableVersion(), QStringLiteral("3"));
        QVERIFY(service.downloadURL().isEmpty());
        const qsizetype linesBefore = logMessages().size();
        QCoro::waitFor(service.runDownloadAndInstall());
        QCOMPARE(logMessages().size(), linesBefore);
        QVERIFY(!service.isUpdating());

        // Without a local version nothing is newer; the timer keeps checking.
        UpdateCheckService unknown(&m_network);
        unknown.setCheckInterval(std::chrono::milliseconds(50));
        unknown.start(std::nullopt, [] {});
        QTRY_VERIFY_WITH_TIMEOUT(logMessages().count(QStringLiteral("check: remote=3 local=nil newer=false")) >= 3,
                                 30000);
        QVERIFY(logMessages().contains(QStringLiteral("start: local version=nil")));
        QVERIFY(unknown.availableVersion().isEmpty());
        QCOMPARE(terminated, 0);
        qunsetenv("QUORVANE_API_BASE_URL");
    }

    void downloadRefusals_data()
    {
        QTest::addColumn<QString>("releaseHost");
        QTest::addColumn<QString>("urlHost");    // host written into "url"
        QTest::addColumn<QString>("fileName");   // file named in "url"
        QTest::addColumn<QString>("digest");     // right, none, upper, other
        QTest::addColumn<QString>("signature");  // right, none, stranger
        QTest::addColumn<QString>("pinnedKey");  // publisher, none
        QTest::addColumn<int>("injectStatus");   // -1: serve the file; 0: close; else status
        QTest::addColumn<QString>("logLine");    // %sha, %SHA, %other, %host replaced; "...": prefix
        QTest::addColumn<QString>("error");      // "...": prefix
        const QString ip = QStringLiteral("127.0.0.1");
        const QString right = QStringLiteral("right");
        const QString publisher = QStringLiteral("publisher");
        QTest::newRow("other host") << ip << QStringLiteral("localhost") << archiveName << right << right << publisher
                                    << -1 << QStringLiteral("BLOCKED: download host localhost != 127.0.0.1")
                                    << QStringLiteral("Update blocked: untrusted download source");
        QTest::newRow("host differing in case")
            << QStringLiteral("localhost") << QStringLiteral("LocalHost") << archiveName << right << right << publisher
            << -1 << QStringLiteral("BLOCKED: download host LocalHost != localhost")
            << QStringLiteral("Update blocked: untrusted download source");
        QTest::newRow("no digest") << ip << ip << archiveName << QStringLiteral("none") << right << publisher << -1
                                   << QStringLiteral("BLOCKED: no expected hash from server")
                                   << QStringLiteral("Update blocked: missing integrity hash");
        QTest::newRow("upper-case digest") << ip << ip << archiveName << QStringLiteral("upper") << right << publisher
                                           << -1 << QStringLiteral("BLOCKED: hash mismatch computed=%sha expected=%SHA")
                                           << QStringLiteral("Update blocked: integrity check failed");
        QTest::newRow("digest mismatch") << ip << ip << archiveName << QStringLiteral("other") << right << publisher
                                         << -1 << QStringLiteral("BLOCKED: hash mismatch computed=%sha expected=%other")
                                         << QStringLiteral("Update blocked: integrity check failed");
        QTest::newRow("bad status") << ip << ip << archiveName << right << right << publisher << 500
                                    << QStringLiteral("download error: ...") << QStringLiteral("Download failed: ...");
        QTest::newRow("missing file") << ip << ip << QStringLiteral("Quorvane-9.tar.gz") << right << right << publisher
                                      << -1 << QStringLiteral("download error: ...")
                                      << QStringLiteral("Download failed: ...");
        QTest::newRow("transport error") << ip << ip << archiveName << right << right << publisher << 0
                                         << QStringLiteral("download error: ...")
                                         << QStringLiteral("Download failed: ...");
        QTest::newRow("missing signature") << ip << ip << archiveName << right << QStringLiteral("none") << publisher
                                           << -1 << QStringLiteral("BLOCKED: no publisher signature from server")
                                           << QStringLiteral("Update blocked: publisher signature check failed");
        QTest::newRow("signature of another key")
            << ip << ip << archiveName << right << QStringLiteral("stranger") << publisher << -1
            << QStringLiteral("BLOCKED: publisher signature invalid")
            << QStringLiteral("Update blocked: publisher signature check failed");
        QTest::newRow("no pinned key") << ip << ip << archiveName << right << right << QStringLiteral("none") << -1
                                       << QStringLiteral("BLOCKED: no valid publisher key in this build")
                                       << QStringLiteral("Update blocked: publisher signature check failed");
    }
    void downloadRefusals()
    {
        QFETCH(QString, releaseHost);
        QFETCH(QString, urlHost);
        QFETCH(QString, fileName);
        QFETCH(QString, digest);
        QFETCH(QString, signature);
        QFETCH(QString, pinnedKey);
        QFETCH(int, injectStatus);
        QFETCH(QString, logLine);
        QFETCH(QString, error);

        TestHome home;
        QTemporaryDir releases, installParent, newTree;
        const QString prefix = installParent.filePath(QStringLiteral("quorvane"));
        const QString marker = home.filePath(QStringLiteral("started"));
        QVERIFY(makeTree(prefix, QStringLiteral("1.0.0"), marker));
        QVERIFY(makeTree(newTree.path(), newVersion, marker));
        const QByteArray archive = packTree(newTree.path());
        QVERIFY(!archive.isEmpty());
        QVERIFY(TestFiles::write(releases.filePath(archiveName), archive));

        BackendProcess backend({QStringLiteral("--releases"), releases.path()});
        QVERIFY2(backend.isRunning(), qPrintable(backend.lastError()));
        qputenv("QUORVANE_API_BASE_URL", backend.url().toString().toUtf8());

        const QString sha = ReleaseSignature::sha256Hex(archive);
        const QString other = ReleaseSignature::sha256Hex("other bytes");
        QJsonObject latest{{QStringLiteral("version"), newVersion},
                           {QStringLiteral("url"), QStringLiteral("http://%1:%2/releases/files/%3")
                                                       .arg(urlHost)
                                                       .arg(backend.port())
                                                       .arg(fileName)}};
        if (digest != QLatin1String("none"))
            latest.insert(QStringLiteral("sha256"), digest == QLatin1String("upper") ? sha.toUpper()
                                                    : digest == QLatin1String("other") ? other
                                                                                       : sha);
        if (signature != QLatin1String("none"))
            latest.insert(QStringLiteral("signature"),
                          ReleaseSignature::encodeBase64Url(
                              (signature == QLatin1String("stranger") ? *m_stranger : *m_publisher).sign(archive)));
        writeLatest(releases.path(), latest);
        if (injectStatus >= 0)
            QVERIFY(backend.inject("GET", QStringLiteral("/releases/files/") + archiveName, injectStatus, {}, 6));

        UpdateCheckService service(&m_network);
        service.setReleaseHost(releaseHost);
        service.setReleasePublicKey(pinnedKey == QLatin1String("publisher") ? publisherKey() : QString());
        service.setInstallPrefix(prefix);
        int terminated = 0;
        service.start(QStringLiteral("1.0.0"), [&terminated] { ++terminated; });
        QTRY_COMPARE_WITH_TIMEOUT(service.availableVersion(), newVersion, 20000);
        QVERIFY(backend.clearRequests());

        QCoro::waitFor(service.runDownloadAndInstall());

        const QString expectedLine = QString(logLine)
                                         .replace(QLatin1String("%sha"), sha)
                                         .replace(QLatin1String("%SHA"), sha.toUpper())
                                         .replace(QLatin1String("%other"), other);
        const QStringList messages = logMessages();
        const QString lastLine = messages.constLast();
        if (expectedLine.endsWith(QLatin1String("...")))
            QVERIFY2(lastLine.startsWith(expectedLine.chopped(3)) && lastLine.size() > expectedLine.size(),
                     qPrintable(lastLine));
        else
            QCOMPARE(lastLine, expectedLine);
        if (error.endsWith(QLatin1String("...")))
            QVERIFY2(service.updateError().startsWith(error.chopped(3)), qPrintable(service.updateError()));
        else
            QCOMPARE(service.updateError(), error);

        const bool downloaded = !lastLine.startsWith(QLatin1String("BLOCKED: download host"));
        // Qt may retry a GET whose connection closed, so "at least once".
        QVERIFY(downloaded ? !backend.requests().isEmpty() : backend.requests().isEmpty());
        if (downloaded) {
            QVERIFY(messages.contains(QStringLiteral("download starting: ") + latest.value(QStringLiteral("url")).toString()));
            const bool completed = !lastLine.startsWith(QLatin1String("download error: "));
            QCOMPARE(messages.filter(QRegularExpression(QStringLiteral("^download complete: .*/quorvane-update-[^/]+/")
                                                        + QRegularExpression::escape(archiveName) + u'$'))
                         .size(),
                     completed ? 1 : 0);
        }

        // Nothing installed, nothing left behind, the program keeps running.
        QVERIFY(!service.isUpdating());
        QCOMPARE(service.updateProgress(), 0.0);
        QCOMPARE(readFile(prefix + versionFile), QByteArray("1.0.0\n"));
        QVERIFY(!QFile::exists(marker));
        QCOMPARE(privateFolders(m_tempDir.path()), QStringList());
        QCOMPARE(QDir(installParent.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                 QStringList{QStringLiteral("quorvane")});
        QTest::qWait(int(UpdateCheckService::terminateDelay.count()) * 2);
        QCOMPARE(terminated, 0);

        // A later attempt clears the error while it runs.
        QSignalSpy errorSpy(&service, &UpdateCheckService::updateErrorChanged);
        QCoro::waitFor(service.runDownloadAndInstall());
        QVERIFY(!service.updateError().isEmpty());
        QCOMPARE(errorSpy.count(), downloaded ? 2 : 0);
        qunsetenv("QUORVANE_API_BASE_URL");
    }

    void refusesWhatTheReleaseBetrays_data()
    {
        QTest::addColumn<QString>("archiveVersion"); // the version packed into the archive; empty: none
        QTest::addColumn<int>("sizeChange");         // announced size minus the real one; 0: no size announced
        QTest::addColumn<int>("dripMilliseconds"); // -1: no drip and no Content-Length
        QTest::addColumn<QString>("logLine"); // "...": prefix
        QTest::addColumn<QString>("error");
        const QString versionRefused = QStringLiteral("Update blocked: the release is not the announced newer version");
        QTest::newRow("genuine old release announced as newer")
            << QStringLiteral("0.9.0") << 0 << 0 << QStringLiteral("BLOCKED: archive version 0.9.0 announced=2.0.0 local=1.0.0")
            << versionRefused;
        QTest::newRow("no version inside") << QString() << 0 << 0
                                           << QStringLiteral("BLOCKED: the archive names no version (share/quorvane/release-version is missing)")
                                           << versionRefused;
        QTest::newRow("larger than announced") << newVersion << -100 << 0
                                               << QStringLiteral("download error: the server announces ...")
                                               << QStringLiteral("Download failed: the download is larger than announced");
        // Without a Content-Length the body is counted as it arrives.
        QTest::newRow("larger than announced, no length") << newVersion << -100 << -1
                                                          << QStringLiteral("download error: more than the announced ...")
                                                          << QStringLiteral("Download failed: the download is larger than announced");
        QTest::newRow("host dripping bytes") << newVersion << 1 << 300
                                             << QStringLiteral("download error: not complete after 1 s")
                                             << QStringLiteral("Download failed: timed out after 1 s");
    }
    void refusesWhatTheReleaseBetrays()
    {
        QFETCH(QString, archiveVersion);
        QFETCH(int, sizeChange);
        QFETCH(int, dripMilliseconds);
        QFETCH(QString, logLine);
        QFETCH(QString, error);

        TestHome home;
        QTemporaryDir installParent, newTree;
        const QString prefix = installParent.filePath(QStringLiteral("quorvane"));
        const QString marker = home.filePath(QStringLiteral("started"));
        QVERIFY(makeTree(prefix, QStringLiteral("1.0.0"), marker));
        QVERIFY(makeTree(newTree.path(), archiveVersion.isEmpty() ? newVersion : archiveVersion, marker));
        if (archiveVersion.isEmpty())
            QVERIFY(QFile::remove(newTree.path() + versionFile));
        const QByteArray archive = packTree(newTree.path());
        QVERIFY(!archive.isEmpty());

        LoopbackHttpServer server;
        QVERIFY(server.listen());
        QJsonObject latest{{QStringLiteral("version"), newVersion},
                           {QStringLiteral("url"), QString(server.origin() + QStringLiteral("/files/") + archiveName)},
                           {QStringLiteral("sha256"), ReleaseSignature::sha256Hex(archive)},
                           {QStringLiteral("signature"), ReleaseSignature::encodeBase64Url(m_publisher->sign(archive))}};
        if (sizeChange != 0)
            latest.insert(QStringLiteral("size"), double(archive.size() + sizeChange));
        server.setResponse(QStringLiteral("/releases/latest"), {"200 OK", QJsonDocument(latest).toJson()});
        LoopbackHttpServer::Response file{"200 OK", archive, dripMilliseconds >= 0};
        if (dripMilliseconds > 0) { // one byte at a time
            file.pieces = int(archive.size());
            file.interval = dripMilliseconds;
        }
        server.setResponse(QStringLiteral("/files/") + archiveName, file);
        qputenv("QUORVANE_API_BASE_URL", server.origin().toUtf8());

        UpdateCheckService service(&m_network);
        service.setReleaseHost(QStringLiteral("127.0.0.1"));
        service.setReleasePublicKey(publisherKey());
        service.setInstallPrefix(prefix);
        service.setDownloadDeadline(std::chrono::seconds(1));
        int terminated = 0;
        service.start(QStringLiteral("1.0.0"), [&terminated] { ++terminated; });
        QTRY_COMPARE_WITH_TIMEOUT(service.availableVersion(), newVersion, 20000);
        QCoro::waitFor(service.runDownloadAndInstall());

        const QString lastLine = logMessages().constLast();
        if (logLine.endsWith(QLatin1String("...")))
            QVERIFY2(lastLine.startsWith(logLine.chopped(3)), qPrintable(lastLine));
        else
            QCOMPARE(lastLine, logLine);
        QCOMPARE(service.updateError(), error);
        QVERIFY(!service.isUpdating());
        QCOMPARE(readFile(prefix + versionFile), QByteArray("1.0.0\n"));
        QCOMPARE(privateFolders(m_tempDir.path()), QStringList());
        QTest::qWait(int(UpdateCheckService::terminateDelay.count()) * 2);
        QCOMPARE(terminated, 0);
        QVERIFY(!QFile::exists(marker));
        qunsetenv("QUORVANE_API_BASE_URL");
    }

    void fullDiskSaysSo()
    {
        // A file system of 64 KiB for the private folder: only root may mount one.
        QTemporaryDir mountPoint;
        QProcess mount;
        mount.start(QStringLiteral("mount"), {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"),
                                              QStringLiteral("size=64k"), QStringLiteral("tmpfs"), mountPoint.path()});
        if (::geteuid() != 0 || !mount.waitForFinished(10000) || mount.exitCode() != 0)
            QSKIP("mounting a small file system needs root");
        const auto unmount = qScopeGuard([&mountPoint] {
            QProcess::execute(QStringLiteral("umount"), {mountPoint.path()});
        });

        TestHome home;
        QTemporaryDir installParent, newTree;
        const QString prefix = installParent.filePath(QStringLiteral("quorvane"));
        QVERIFY(makeTree(prefix, QStringLiteral("1.0.0"), home.filePath(QStringLiteral("started"))));
        QVERIFY(makeTree(newTree.path(), newVersion, home.filePath(QStringLiteral("started"))));
        const QByteArray archive = packTree(newTree.path());
        QVERIFY(archive.size() > 64 * 1024);
        LoopbackHttpServer server;
        QVERIFY(server.listen());
        const QJsonObject latest{{QStringLiteral("version"), newVersion},
                                 {QStringLiteral("url"), QString(server.origin() + QStringLiteral("/files/") + archiveName)},
                                 {QStringLiteral("sha256"), ReleaseSignature::sha256Hex(archive)}};
        server.setResponse(QStringLiteral("/releases/latest"), {"200 OK", QJsonDocument(latest).toJson()});
        server.setResponse(QStringLiteral("/files/") + archiveName, {"200 OK", archive});
        qputenv("QUORVANE_API_BASE_URL", server.origin().toUtf8());
        qputenv("TMPDIR", QFile::encodeName(mountPoint.path()));

        UpdateCheckService service(&m_network);
        service.setReleaseHost(QStringLiteral("127.0.0.1"));
        service.setInstallPrefix(prefix);
        service.start(QStringLiteral("1.0.0"), [] {});
        QTRY_COMPARE_WITH_TIMEOUT(service.availableVersion(), newVersion, 20000);
        QCoro::waitFor(service.runDownloadAndInstall());
        qputenv("TMPDIR", QFile::encodeName(m_tempDir.path()));
        qunsetenv("QUORVANE_API_BASE_URL");

        QCOMPARE(service.updateError(), QStringLiteral("Update failed: No space left on device"));
        QCOMPARE(logMessages().constLast(), QStringLiteral("download move failed: No space left on device"));
        QCOMPARE(privateFolders(mountPoint.path()), QStringList());
    }

    void installationRefusals_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("logLine");
        QTest::addColumn<QString>("error");
        QTest::newRow("distribution package") << QStringLiteral("usr")
                                              << QStringLiteral("BLOCKED: installation at /usr is managed by the system package manager")
                                              << QStringLiteral("Update unavailable: this installation is managed by the system package manager");
        QTest::newRow("not a prefix") << QStringLiteral("bare") << QStringLiteral("BLOCKED: %prefix is not a self-contained installation")
                                      << QStringLiteral("Update unavailable: this installation cannot replace itself");
        QTest::newRow("parent not writable") << QStringLiteral("readonly")
                                             << QStringLiteral("BLOCKED: installation folder %parent is not writable")
                                             << QStringLiteral("Update unavailable: the installation folder is not writable");
    }
    void installationRefusals()
    {
        QFETCH(QString, kind);
        QFETCH(QString, logLine);
        QFETCH(QString, error);
        if (kind == QLatin1String("readonly") && ::geteuid() == 0)
            QSKIP("root may write into any folder");

        TestHome home;
        QTemporaryDir releases, parent;
        const QString prefix = kind == QLatin1String("usr") ? QStringLiteral("/usr") : parent.filePath(QStringLiteral("q"));
        QVERIFY(QDir().mkpath(prefix));
        if (kind == QLatin1String("readonly"))
            QVERIFY(makeTree(prefix, QStringLiteral("1.0.0"), home.filePath(QStringLiteral("m"))));
        BackendProcess backend({QStringLiteral("--releases"), releases.path()});
        QVERIFY2(backend.isRunning(), qPrintable(backend.lastError()));
        qputenv("QUORVANE_API_BASE_URL", backend.url().toString().toUtf8());
        writeLatest(releases.path(), {{QStringLiteral("version"), newVersion},
                                      {QStringLiteral("url"), backend.url(QStringLiteral("/releases/files/") + archiveName).toString()},
                                      {QStringLiteral("sha256"), QString(64, u'0')}});

        UpdateCheckService service(&m_network);
        service.setReleaseHost(QStringLiteral("127.0.0.1"));
        service.setInstallPrefix(prefix);
        service.start(QStringLiteral("1.0.0"), [] {});
        QTRY_COMPARE_WITH_TIMEOUT(service.availableVersion(), newVersion, 20000);
        QVERIFY(backend.clearRequests());
        if (kind == QLatin1String("readonly"))
            QVERIFY(QFile::setPermissions(parent.path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner));

        QCoro::waitFor(service.runDownloadAndInstall());
        if (kind == QLatin1String("readonly"))
            QFile::setPermissions(parent.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);

        QCOMPARE(logMessages().constLast(), QString(logLine)
                                                .replace(QLatin1String("%prefix"), QFileInfo(prefix).canonicalFilePath())
                                                .replace(QLatin1String("%parent"), QFileInfo(parent.path()).canonicalFilePath()));
        QCOMPARE(service.updateError(), error);
        QVERIFY(!service.isUpdating());
        QCOMPARE(backend.requests().size(), 0);
        QCOMPARE(privateFolders(m_tempDir.path()), QStringList());
        qunsetenv("QUORVANE_API_BASE_URL");
    }

    void endToEndReplacesInstallation_data()
    {
        QTest::addColumn<bool>("contentLength");
        QTest::newRow("reference back-end, with a content length") << true;
        QTest::newRow("no content length") << false;
    }
    void endToEndReplacesInstallation()
    {
        QFETCH(bool, contentLength);
        TestHome home;
        QTemporaryDir releases, installParent, newTree;
        const QString prefix = installParent.filePath(QStringLiteral("quorvane"));
        const QString marker = home.filePath(QStringLiteral("started"));
        QVERIFY(makeTree(prefix, QStringLiteral("1.0.0"), marker));
        QVERIFY(makeTree(newTree.path(), newVersion, marker));
        const QByteArray archive = packTree(newTree.path());
        QVERIFY(!archive.isEmpty());
        const QJsonObject announced{{QStringLiteral("version"), newVersion},
                                    {QStringLiteral("sha256"), ReleaseSignature::sha256Hex(archive)},
                                    {QStringLiteral("signature"),
                                     ReleaseSignature::encodeBase64Url(m_publisher->sign(archive))}};

        std::optional<BackendProcess> backend;
        LoopbackHttpServer server;
        QJsonObject latest = announced;
        if (contentLength) {
            QVERIFY(TestFiles::write(releases.filePath(archiveName), archive));
            backend.emplace(QStringList{QStringLiteral("--releases"), releases.path()});
            QVERIFY2(backend->isRunning(), qPrintable(backend->lastError()));
            latest.insert(QStringLiteral("url"), backend->url(QStringLiteral("/releases/files/") + archiveName).toString());
            writeLatest(releases.path(), latest);
            qputenv("QUORVANE_API_BASE_URL", backend->url().toString().toUtf8());
        } else {
            QVERIFY(server.listen());
            latest.insert(QStringLiteral("url"), QString(server.origin() + QStringLiteral("/files/") + archiveName));
            server.setResponse(QStringLiteral("/releases/latest"), {"200 OK", QJsonDocument(latest).toJson()});
            server.setResponse(QStringLiteral("/files/") + archiveName, {"200 OK", archive, false});
            qputenv("QUORVANE_API_BASE_URL", server.origin().toUtf8());
        }

        // The old program: a child process whose exit the updater waits for.
        QProcess oldApp;
        oldApp.start(QStringLiteral("sleep"), {QStringLiteral("600")});
        QVERIFY(oldApp.waitForStarted());

        UpdateCheckService service(&m_network);
        service.setReleaseHost(QStringLiteral("127.0.0.1"));
        service.setReleasePublicKey(publisherKey());
        service.setInstallPrefix(prefix);
        service.setProcessId(oldApp.processId());
        int terminated = 0;
        service.start(QStringLiteral("1.0.0"), [&] {
            ++terminated;
            oldApp.kill();
        });
        QTRY_COMPARE_WITH_TIMEOUT(service.availableVersion(), newVersion, 20000);
        QList<double> progress;
        connect(&service, &UpdateCheckService::updateProgressChanged, this,
                [&] { progress.append(service.updateProgress()); });

        QCoro::waitFor(service.runDownloadAndInstall());
        QVERIFY2(service.updateError().isEmpty(), qPrintable(service.updateError()));
        QVERIFY(service.isUpdating());
        QCOMPARE(service.updateProgress(), 1.0);
        QVERIFY(!progress.isEmpty());
        QCOMPARE(progress.constLast(), 1.0);
        if (contentLength) {
            QVERIFY(std::is_sorted(progress.cbegin(), progress.cend()));
        } else {
            QCOMPARE(progress, QList<double>{1.0}); // stayed 0 until the download completed
        }
        // The updater is running by now and logs too; the program's own lines end so.
        const QStringList own = logMessages().filter(QRegularExpression(QStringLiteral("^(?!updater: )")));
        QCOMPARE(own.mid(own.size() - 4),
                 (QStringList{QStringLiteral("hash verified: ") + ReleaseSignature::sha256Hex(archive),
                              QStringLiteral("publisher signature verified"),
                              QStringLiteral("archive version verified: 2.0.0"),
                              QStringLiteral("updater launched, terminating app")}));

        // The private folder: 0700, holding only the archive.
        const QStringList folders = privateFolders(m_tempDir.path());
        QCOMPARE(folders.size(), 1);
        const QString folder = m_tempDir.filePath(folders.constFirst());
        if (terminated == 0) { // the updater has not started its work yet
            struct stat folderInfo{};
            QCOMPARE(::stat(QFile::encodeName(folder).constData(), &folderInfo), 0);
            QCOMPARE(folderInfo.st_mode & 07777, mode_t(0700));
            QCOMPARE(QDir(folder).entryList(QDir::Files), QStringList{archiveName});
            QCOMPARE(readFile(prefix + versionFile), QByteArray("1.0.0\n"));
        }

        // The program is asked to quit; the updater then swaps and relaunches.
        QTRY_COMPARE_WITH_TIMEOUT(terminated, 1, 10000);
        QTRY_COMPARE_WITH_TIMEOUT(readFile(marker).trimmed(), newVersion.toUtf8(), 60000);
        QCOMPARE(readFile(prefix + versionFile), newVersion.toUtf8() + '\n');
        QVERIFY(QFile::exists(prefix + QStringLiteral("/share/quorvane/only-2.0.0.txt")));
        QVERIFY(!QFile::exists(prefix + QStringLiteral("/share/quorvane/only-1.0.0.txt")));
        QVERIFY(QFileInfo(prefix + QStringLiteral("/bin/quorvane-app")).isExecutable());
        QTRY_VERIFY_WITH_TIMEOUT(!QFile::exists(folder), 20000);
        QCOMPARE(folderEntries(installParent.path()), QStringList{QStringLiteral("quorvane")});
        QVERIFY(logMessages().contains(QStringLiteral("updater: swapped in version 2.0.0")));
        qunsetenv("QUORVANE_API_BASE_URL");
    }
};

QTEST_GUILESS_MAIN(TestUpdateCheckService)
#include "tst_UpdateCheckService.moc"
