#include "core/CoreConstants.h"
#include "core/ReleaseSignature.h"
#include "core/UpdateCheckService.h"
#include "tests/core/ReleaseTestSupport.h"
#include "tests/core/UpdateScene.h"
#include "tests/support/BackendProcess.h"
#include "tests/support/LoopbackHttpServer.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestHome.h"

#include <QCoroTask>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <unistd.h>

using namespace ReleaseTestSupport;
using namespace UpdateScene;
using namespace Qt::StringLiterals;

// Checking for releases and refusing downloads that are not what was announced.
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
        QTemporaryDir releases;
        BackendProcess backend({ u"--releases"_s, releases.path() });
        QVERIFY2(backend.isRunning(), qPrintable(backend.lastError()));
        qputenv("QUORVANE_API_BASE_URL", backend.url().toString().toUtf8());
        const QString url = backend.url(u"/releases/files/Quorvane-1.10.0.tar.gz"_s).toString();
        writeLatest(releases.path(),
            { { u"version"_s, u"1.10.0"_s }, { u"url"_s, url }, { u"sha256"_s, QString(64, u'a') } });

        UpdateCheckService service(&m_network);
        QCOMPARE(service.endpoint(), backend.url(u"/releases/latest"_s));
        QCOMPARE(service.checkInterval(), std::chrono::milliseconds(std::chrono::hours(1)));
        QSignalSpy versionSpy(&service, &UpdateCheckService::availableVersionChanged);
        int terminated = 0;
        service.start(u"1.9.0"_s, [&terminated] { ++terminated; });
        QTRY_COMPARE_WITH_TIMEOUT(service.availableVersion(), u"1.10.0"_s, 20000);
        QCOMPARE(service.downloadURL(), QUrl(url));
        QCOMPARE(versionSpy.count(), 1);
        QCOMPARE(logMessages(),
            (QStringList {
                u"start: local version=1.9.0"_s, u"check: remote=1.10.0 local=1.9.0 newer=true"_s }));

        // A bad status, a broken connection and an undecodable answer change nothing.
        QVERIFY(backend.inject("GET", u"/releases/latest"_s, 503));
        QCoro::waitFor(service.check());
        QCOMPARE(logMessages().constLast(), u"check: bad status 503"_s);
        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost));
        qputenv("QUORVANE_API_BASE_URL", "http://127.0.0.1:" + QByteArray::number(closed.serverPort()));
        closed.close();
        QCoro::waitFor(service.check());
        QCOMPARE(logMessages().constLast(), u"check failed: Connection refused"_s);
        qputenv("QUORVANE_API_BASE_URL", backend.url().toString().toUtf8());
        TestFiles::write(releases.filePath(u"latest.json"_s), "{\"version\": 3, \"url\": \"x\"}");
        QCoro::waitFor(service.check());
        QCOMPARE(
            logMessages().constLast(), u"check failed: LatestRelease: key \"version\" is not a string"_s);
        QCOMPARE(service.availableVersion(), u"1.10.0"_s);
        QCOMPARE(service.downloadURL(), QUrl(url));

        // An equal version clears what the newer one published.
        writeLatest(releases.path(), { { u"version"_s, u"1.9"_s }, { u"url"_s, url } });
        QCoro::waitFor(service.check());
        QCOMPARE(logMessages().constLast(), u"check: remote=1.9 local=1.9.0 newer=false"_s);
        QVERIFY(service.availableVersion().isEmpty() && service.downloadURL().isEmpty());

        // A newer release whose "url" does not read as a URL offers no download.
        writeLatest(releases.path(), { { u"version"_s, u"3"_s }, { u"url"_s, u"http://exa mple.com/x"_s } });
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

    void downloadRefusals_data()
    {
        QTest::addColumn<QString>("releaseHost");
        QTest::addColumn<QString>("urlHost"); // host written into "url"
        QTest::addColumn<QString>("fileName"); // file named in "url"
        QTest::addColumn<QString>("digest"); // right, none, upper, other
        QTest::addColumn<QString>(
            "signature"); // right, none, stranger; "unpinned": right, no key in the build
        QTest::addColumn<int>("injectStatus"); // -1: serve the file; 0: close; else status
        QTest::addColumn<QString>("logLine"); // %sha, %SHA, %other replaced; "...": prefix
        QTest::addColumn<QString>("error"); // "...": prefix
        const QString ip = u"127.0.0.1"_s;
        const QString right = u"right"_s;
        const QString untrusted = u"Update blocked: untrusted download source"_s;
        const QString mismatch = u"Update blocked: integrity check failed"_s;
        const QString downloadError = u"download error: ..."_s;
        const QString downloadFailed = u"Download failed: ..."_s;
        const QString signatureFailed = u"Update blocked: publisher signature check failed"_s;
        QTest::newRow("other host") << ip << u"localhost"_s << archiveName << right << right << -1
                                    << u"BLOCKED: download host localhost != 127.0.0.1"_s << untrusted;
        QTest::newRow("host differing in case")
            << u"localhost"_s << u"LocalHost"_s << archiveName << right << right << -1
            << u"BLOCKED: download host LocalHost != localhost"_s << untrusted;
        QTest::newRow("no digest") << ip << ip << archiveName << u"none"_s << right << -1
                                   << u"BLOCKED: no expected hash from server"_s
                                   << u"Update blocked: missing integrity hash"_s;
        QTest::newRow("upper-case digest")
            << ip << ip << archiveName << u"upper"_s << right << -1
            << u"BLOCKED: hash mismatch computed=%sha expected=%SHA"_s << mismatch;
        QTest::newRow("digest mismatch")
            << ip << ip << archiveName << u"other"_s << right << -1
            << u"BLOCKED: hash mismatch computed=%sha expected=%other"_s << mismatch;
        QTest::newRow("bad status") << ip << ip << archiveName << right << right << 500 << downloadError
                                    << downloadFailed;
        QTest::newRow("missing file")
            << ip << ip << u"Quorvane-9.tar.gz"_s << right << right << -1 << downloadError << downloadFailed;
        QTest::newRow("transport error")
            << ip << ip << archiveName << right << right << 0 << downloadError << downloadFailed;
        QTest::newRow("missing signature")
            << ip << ip << archiveName << right << u"none"_s << -1
            << u"BLOCKED: no publisher signature from server"_s << signatureFailed;
        QTest::newRow("signature of another key")
            << ip << ip << archiveName << right << u"stranger"_s << -1
            << u"BLOCKED: publisher signature invalid"_s << signatureFailed;
        QTest::newRow("no pinned key")
            << ip << ip << archiveName << right << u"unpinned"_s << -1
            << u"BLOCKED: no valid publisher key in this build"_s << signatureFailed;
    }
    void downloadRefusals()
    {
        QFETCH(QString, releaseHost);
        QFETCH(QString, urlHost);
        QFETCH(QString, fileName);
        QFETCH(QString, digest);
        QFETCH(QString, signature);
        QFETCH(int, injectStatus);
        QFETCH(QString, logLine);
        QFETCH(QString, error);

        Release release;
        QVERIFY(release.make());
        QTemporaryDir releases;
        QVERIFY(TestFiles::write(releases.filePath(archiveName), release.archive));
        BackendProcess backend({ u"--releases"_s, releases.path() });
        QVERIFY2(backend.isRunning(), qPrintable(backend.lastError()));
        qputenv("QUORVANE_API_BASE_URL", backend.url().toString().toUtf8());

        const QString sha = ReleaseSignature::sha256Hex(release.archive);
        const QString other = ReleaseSignature::sha256Hex("other bytes");
        const QString url
            = u"http://%1:%2/releases/files/%3"_s.arg(urlHost).arg(backend.port()).arg(fileName);
        QJsonObject latest { { u"version"_s, newVersion }, { u"url"_s, url } };
        const QMap<QString, QString> digests { { u"right"_s, sha }, { u"upper"_s, sha.toUpper() },
            { u"other"_s, other } };
        if (digest != "none"_L1)
            latest.insert(u"sha256"_s, digests.value(digest));
        const std::optional<Ed25519Key> stranger = Ed25519Key::generate();
        const Ed25519Key& signer = signature == "stranger"_L1 ? *stranger : *m_env.publisher;
        if (signature != "none"_L1)
            latest.insert(u"signature"_s, ReleaseSignature::encodeBase64Url(signer.sign(release.archive)));
        writeLatest(releases.path(), latest);
        if (injectStatus >= 0)
            QVERIFY(backend.inject("GET", u"/releases/files/"_s + archiveName, injectStatus, {}, 6));

        UpdateCheckService service(&m_network);
        QVERIFY(release.start(
            service, signature == "unpinned"_L1 ? QString() : m_env.publisherKey(), releaseHost));
        QVERIFY(backend.clearRequests());
        QCoro::waitFor(service.runDownloadAndInstall());

        QVERIFY2(lastMessageMatches(QString(logLine)
                                        .replace("%sha"_L1, sha)
                                        .replace("%SHA"_L1, sha.toUpper())
                                        .replace("%other"_L1, other)),
            qPrintable(logMessages().constLast()));
        if (error.endsWith("..."_L1))
            QVERIFY2(service.updateError().startsWith(error.chopped(3)), qPrintable(service.updateError()));
        else
            QCOMPARE(service.updateError(), error);

        const QStringList messages = logMessages();
        const bool downloaded = !messages.constLast().startsWith("BLOCKED: download host"_L1);
        // Qt may retry a GET whose connection closed, so "at least once".
        QCOMPARE(backend.requests().isEmpty(), !downloaded);
        if (downloaded) {
            QVERIFY(messages.contains(u"download starting: "_s + url));
            const bool completed = !messages.constLast().startsWith("download error: "_L1);
            const QRegularExpression complete(u"^download complete: .*/quorvane-update-[^/]+/"_s
                + QRegularExpression::escape(archiveName) + u'$');
            QCOMPARE(messages.filter(complete).size(), completed ? 1 : 0);
        }
        QVERIFY(!service.isUpdating());
        QCOMPARE(service.updateProgress(), 0.0);
        QVERIFY(release.untouched(m_env.tempDir.path()));

        // A later attempt clears the error while it runs.
        QSignalSpy errorSpy(&service, &UpdateCheckService::updateErrorChanged);
        QCoro::waitFor(service.runDownloadAndInstall());
        QVERIFY(!service.updateError().isEmpty());
        QCOMPARE(errorSpy.count(), downloaded ? 2 : 0);
    }

    void refusesWhatTheReleaseBetrays_data()
    {
        QTest::addColumn<QString>("archiveVersion"); // the version packed into the archive; empty: none
        QTest::addColumn<int>("sizeChange"); // announced size minus the real one; 0: no size announced
        QTest::addColumn<int>("dripMilliseconds"); // -1: no drip and no Content-Length
        QTest::addColumn<QString>("logLine"); // "...": prefix
        QTest::addColumn<QString>("error");
        const QString versionRefused = u"Update blocked: the release is not the announced newer version"_s;
        const QString tooLarge = u"Download failed: the download is larger than announced"_s;
        QTest::newRow("genuine old release announced as newer")
            << u"0.9.0"_s << 0 << 0 << u"BLOCKED: archive version 0.9.0 announced=2.0.0 local=1.0.0"_s
            << versionRefused;
        QTest::newRow("no version inside")
            << QString() << 0 << 0
            << u"BLOCKED: the archive names no version (share/quorvane/release-version is missing)"_s
            << versionRefused;
        QTest::newRow("larger than announced")
            << newVersion << -100 << 0 << u"download error: the server announces ..."_s << tooLarge;
        // Without a Content-Length the body is counted as it arrives.
        QTest::newRow("larger than announced, no length")
            << newVersion << -100 << -1 << u"download error: more than the announced ..."_s << tooLarge;
        QTest::newRow("host dripping bytes")
            << newVersion << 1 << 300 << u"download error: not complete after 1 s"_s
            << u"Download failed: timed out after 1 s"_s;
    }
    void refusesWhatTheReleaseBetrays()
    {
        QFETCH(QString, archiveVersion);
        QFETCH(int, sizeChange);
        QFETCH(int, dripMilliseconds);
        QFETCH(QString, logLine);
        QFETCH(QString, error);

        Release release;
        QVERIFY(release.make(archiveVersion));
        LoopbackHttpServer server;
        QVERIFY(server.listen());
        QJsonObject latest { { u"version"_s, newVersion },
            { u"url"_s, QString(server.origin() + u"/files/"_s + archiveName) },
            { u"sha256"_s, ReleaseSignature::sha256Hex(release.archive) },
            { u"signature"_s, ReleaseSignature::encodeBase64Url(m_env.publisher->sign(release.archive)) } };
        if (sizeChange != 0)
            latest.insert(u"size"_s, double(release.archive.size() + sizeChange));
        server.setResponse(u"/releases/latest"_s, { "200 OK", QJsonDocument(latest).toJson() });
        LoopbackHttpServer::Response file { "200 OK", release.archive, dripMilliseconds >= 0 };
        if (dripMilliseconds > 0) { // one byte at a time
            file.pieces = int(release.archive.size());
            file.interval = dripMilliseconds;
        }
        server.setResponse(u"/files/"_s + archiveName, file);
        qputenv("QUORVANE_API_BASE_URL", server.origin().toUtf8());

        UpdateCheckService service(&m_network);
        service.setDownloadDeadline(std::chrono::seconds(1));
        QVERIFY(release.start(service, m_env.publisherKey()));
        QCoro::waitFor(service.runDownloadAndInstall());
        QVERIFY2(lastMessageMatches(logLine), qPrintable(logMessages().constLast()));
        QCOMPARE(service.updateError(), error);
        QVERIFY(!service.isUpdating());
        QVERIFY(release.untouched(m_env.tempDir.path()));
    }
};

QTEST_GUILESS_MAIN(TestUpdateCheckService)
#include "tst_UpdateCheckService.moc"
