#include "BackendProcess.h"
#include "CoreConstants.h"
#include "Ed25519Key.h"
#include "LoopbackHttpServer.h"
#include "ReleaseSignature.h"
#include "TestHome.h"
#include "UpdateCheckService.h"
#include "UpdaterScript.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#include <QCoroTask>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString newVersion = QStringLiteral("2.0.0");
const QString archiveName = QStringLiteral("Quorvane-2.0.0.tar.gz");

bool writeFile(const QString& path, const QByteArray& content, QFileDevice::Permissions permissions = {})
{
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return false;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(content) != content.size())
        return false;
    file.close();
    return permissions ? QFile::setPermissions(path, permissions) : true;
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

constexpr QFileDevice::Permissions executable = QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                                | QFileDevice::ExeOwner | QFileDevice::ReadGroup
                                                | QFileDevice::ExeGroup | QFileDevice::ReadOther
                                                | QFileDevice::ExeOther;

QString builtVerifier()
{
    return qEnvironmentVariable("QUORVANE_BUILD_DIR") + QStringLiteral("/libexec/quorvane/quorvane-verify-release");
}

// An installation tree: a program that leaves a marker when started, a version
// file, a file only this version has, and the verifier the updater runs.
bool makeTree(const QString& root, const QString& version, const QString& marker, bool withProgram = true)
{
    const QByteArray program = "#!/bin/sh\necho \"" + version.toUtf8() + "\" > '" + QFile::encodeName(marker) + "'\n";
    return (!withProgram || writeFile(root + QStringLiteral("/bin/quorvane-app"), program, executable))
           && writeFile(root + QStringLiteral("/share/quorvane/version.txt"), version.toUtf8())
           && writeFile(root + QStringLiteral("/share/quorvane/only-") + version + QStringLiteral(".txt"), "x")
           && QDir().mkpath(root + QStringLiteral("/libexec/quorvane"))
           && QFile::copy(builtVerifier(), root + u'/' + QLatin1String(UpdaterScript::verifierExecutable));
}

// The tree packed as a release archive (entries relative to the prefix).
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

// Messages of ~/.quorvane/update-check.log; every line must carry the time prefix.
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
        writeFile(dir + QStringLiteral("/latest.json"), QJsonDocument(latest).toJson());
    }

private Q_SLOTS:
    void initTestCase()
    {
        QNetworkProxy::setApplicationProxy(QNetworkProxy::NoProxy);
        QVERIFY(m_tempDir.isValid());
        qputenv("TMPDIR", QFile::encodeName(m_tempDir.path()));
        QCOMPARE(QDir::tempPath(), m_tempDir.path());
        QVERIFY2(QFileInfo(builtVerifier()).isExecutable(), qPrintable(builtVerifier()));
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
        writeFile(releases.filePath(QStringLiteral("latest.json")), "{\"version\": 3, \"url\": \"x\"}");
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
        QVERIFY(writeFile(releases.filePath(archiveName), archive));

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
        QCOMPARE(readFile(prefix + QStringLiteral("/share/quorvane/version.txt")), QByteArray("1.0.0"));
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
            QVERIFY(writeFile(releases.filePath(archiveName), archive));
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
        const QStringList messages = logMessages();
        QCOMPARE(messages.mid(messages.size() - 3),
                 (QStringList{QStringLiteral("hash verified: ") + ReleaseSignature::sha256Hex(archive),
                              QStringLiteral("publisher signature verified"),
                              QStringLiteral("updater script launched, terminating app")}));

        // The private folder: 0700, holding the archive and a 0700 script with a fresh UUID.
        const QStringList folders = privateFolders(m_tempDir.path());
        QCOMPARE(folders.size(), 1);
        const QString folder = m_tempDir.filePath(folders.constFirst());
        if (terminated == 0) { // the updater has not started its work yet
            struct stat folderInfo{};
            QCOMPARE(::stat(QFile::encodeName(folder).constData(), &folderInfo), 0);
            QCOMPARE(folderInfo.st_mode & 07777, mode_t(0700));
            const QStringList files = QDir(folder).entryList(QDir::Files);
            QCOMPARE(files.size(), 2);
            QVERIFY(files.contains(archiveName));
            const QString script = files.value(files.indexOf(archiveName) == 0 ? 1 : 0);
            QVERIFY2(QRegularExpression(QStringLiteral("^quorvane-updater-[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\\.sh$"))
                         .match(script)
                         .hasMatch(),
                     qPrintable(script));
            struct stat info{};
            QCOMPARE(::stat(QFile::encodeName(folder + u'/' + script).constData(), &info), 0);
            QCOMPARE(info.st_mode & 07777, mode_t(0700));
            QCOMPARE(readFile(prefix + QStringLiteral("/share/quorvane/version.txt")), QByteArray("1.0.0"));
        }

        // The program is asked to quit; the updater then swaps and relaunches.
        QTRY_COMPARE_WITH_TIMEOUT(terminated, 1, 10000);
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(marker), 60000);
        QCOMPARE(readFile(marker).trimmed(), newVersion.toUtf8());
        QCOMPARE(readFile(prefix + QStringLiteral("/share/quorvane/version.txt")), newVersion.toUtf8());
        QVERIFY(QFile::exists(prefix + QStringLiteral("/share/quorvane/only-2.0.0.txt")));
        QVERIFY(!QFile::exists(prefix + QStringLiteral("/share/quorvane/only-1.0.0.txt")));
        QVERIFY(QFileInfo(prefix + QStringLiteral("/bin/quorvane-app")).isExecutable());
        QTRY_VERIFY_WITH_TIMEOUT(!QFile::exists(folder), 20000);
        QCOMPARE(QDir(installParent.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                 QStringList{QStringLiteral("quorvane")});
        qunsetenv("QUORVANE_API_BASE_URL");
    }

    void updaterScriptChecksAgain_data()
    {
        QTest::addColumn<QString>("archiveKind"); // genuine, tampered, noProgram
        QTest::addColumn<int>("exitCode");
        QTest::newRow("genuine archive is installed") << QStringLiteral("genuine") << 0;
        QTest::newRow("tampered archive, digest announced for it") << QStringLiteral("tampered") << 1;
        QTest::newRow("signed archive without the program") << QStringLiteral("noProgram") << 1;
    }
    void updaterScriptChecksAgain()
    {
        QFETCH(QString, archiveKind);
        QFETCH(int, exitCode);
        const bool installs = exitCode == 0;

        TestHome home;
        QTemporaryDir releases, installParent, newTree;
        const QString prefix = installParent.filePath(QStringLiteral("quorvane"));
        const QString marker = home.filePath(QStringLiteral("started"));
        QVERIFY(makeTree(prefix, QStringLiteral("1.0.0"), marker));
        QVERIFY(makeTree(newTree.path(), newVersion, marker, archiveKind != QLatin1String("noProgram")));
        const QByteArray genuine = packTree(newTree.path());
        QVERIFY(!genuine.isEmpty());
        const QByteArray signature = m_publisher->sign(genuine);
        // Trailing bytes leave a gzip stream that still unpacks: only the signature tells.
        const QByteArray archive = archiveKind == QLatin1String("tampered") ? genuine + QByteArray(512, '\0') : genuine;

        if (archiveKind == QLatin1String("tampered")) {
            // The service refuses it although the announced digest matches.
            QVERIFY(writeFile(releases.filePath(archiveName), archive));
            BackendProcess backend({QStringLiteral("--releases"), releases.path()});
            QVERIFY2(backend.isRunning(), qPrintable(backend.lastError()));
            qputenv("QUORVANE_API_BASE_URL", backend.url().toString().toUtf8());
            writeLatest(releases.path(),
                        {{QStringLiteral("version"), newVersion},
                         {QStringLiteral("url"), backend.url(QStringLiteral("/releases/files/") + archiveName).toString()},
                         {QStringLiteral("sha256"), ReleaseSignature::sha256Hex(archive)},
                         {QStringLiteral("signature"), ReleaseSignature::encodeBase64Url(signature)}});
            UpdateCheckService service(&m_network);
            service.setReleaseHost(QStringLiteral("127.0.0.1"));
            service.setReleasePublicKey(publisherKey());
            service.setInstallPrefix(prefix);
            service.start(QStringLiteral("1.0.0"), [] {});
            QTRY_COMPARE_WITH_TIMEOUT(service.availableVersion(), newVersion, 20000);
            QCoro::waitFor(service.runDownloadAndInstall());
            QCOMPARE(service.updateError(), QStringLiteral("Update blocked: publisher signature check failed"));
            QCOMPARE(logMessages().constLast(), QStringLiteral("BLOCKED: publisher signature invalid"));
            QCOMPARE(privateFolders(m_tempDir.path()), QStringList());
            qunsetenv("QUORVANE_API_BASE_URL");
        }

        // The script on its own, as if the service had been fooled.
        QTemporaryDir work(m_tempDir.filePath(QStringLiteral("script-work-XXXXXX")));
        work.setAutoRemove(false);
        const QString archivePath = work.filePath(archiveName);
        QVERIFY(writeFile(archivePath, archive));
        QProcess oldApp;
        oldApp.start(QStringLiteral("sleep"), {QStringLiteral("600")});
        QVERIFY(oldApp.waitForStarted());
        UpdaterScript::Parameters parameters;
        parameters.appPid = oldApp.processId();
        parameters.archivePath = archivePath;
        parameters.signature = ReleaseSignature::encodeBase64Url(signature);
        parameters.publicKey = publisherKey();
        parameters.verifierPath = prefix + u'/' + QLatin1String(UpdaterScript::verifierExecutable);
        parameters.installPath = prefix;
        parameters.workDirectory = work.path();
        parameters.uniqueName = QStringLiteral("TEST");
        const QString scriptPath = work.filePath(QStringLiteral("updater.sh"));
        QVERIFY(writeFile(scriptPath, UpdaterScript::text(parameters).toUtf8(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));

        QProcess script;
        script.start(QStringLiteral("/bin/bash"), {scriptPath});
        QVERIFY(script.waitForStarted());
        // It waits while the old program runs.
        QTest::qWait(300);
        QCOMPARE(script.state(), QProcess::Running);
        QCOMPARE(readFile(prefix + QStringLiteral("/share/quorvane/version.txt")), QByteArray("1.0.0"));
        oldApp.kill();
        QTRY_COMPARE_WITH_TIMEOUT(script.state(), QProcess::NotRunning, 60000);
        QCOMPARE(script.exitCode(), exitCode);

        QVERIFY(!QFile::exists(work.path())); // archive and script removed either way
        QCOMPARE(QDir(installParent.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                 QStringList{QStringLiteral("quorvane")});
        if (installs) {
            QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(marker), 30000);
            QCOMPARE(readFile(prefix + QStringLiteral("/share/quorvane/version.txt")), newVersion.toUtf8());
        } else {
            QCOMPARE(readFile(prefix + QStringLiteral("/share/quorvane/version.txt")), QByteArray("1.0.0"));
            QVERIFY(QFile::exists(prefix + QStringLiteral("/share/quorvane/only-1.0.0.txt")));
            QVERIFY(QFileInfo(prefix + QStringLiteral("/bin/quorvane-app")).isExecutable());
            QTest::qWait(200);
            QVERIFY(!QFile::exists(marker));
        }
    }
};

QTEST_GUILESS_MAIN(TestUpdateCheckService)
#include "tst_UpdateCheckService.moc"
