#include "tests/support/BackendProcess.h"
#include "core/Ed25519Key.h"
#include "core/ReleaseSignature.h"
#include "tests/support/TestHome.h"
#include "core/UpdateCheckService.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <QCoroTask>

#include <sys/stat.h>

namespace {

struct Run
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

QString buildDir() { return qEnvironmentVariable("QUORVANE_BUILD_DIR"); }
QString releaseTool() { return buildDir() + QStringLiteral("/bin/quorvane-release"); }
QString verifier() { return buildDir() + QStringLiteral("/libexec/quorvane/quorvane-verify-release"); }
QString updater() { return buildDir() + QStringLiteral("/libexec/quorvane/quorvane-updater"); }

// Runs a command-line program to its end (it runs on its own; the test has
// nothing to do meanwhile).
Run run(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.start(program, arguments);
    Run result;
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit)
        return result;
    result.exitCode = process.exitCode();
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    return result;
}

bool writeFile(const QString& path, const QByteArray& content, bool executable = false)
{
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return false;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(content) != content.size())
        return false;
    file.close();
    return !executable || QFile::setPermissions(path, file.permissions() | QFileDevice::ExeOwner);
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A minimal installation prefix whose program records that it started. Its
// version file is stale: the release tool writes the one that counts.
bool makePrefix(const QString& root, const QByteArray& version, const QString& marker)
{
    return writeFile(root + QStringLiteral("/bin/quorvane-app"),
                     "#!/bin/sh\necho " + version + " > '" + QFile::encodeName(marker) + "'\n", true)
           && writeFile(root + QStringLiteral("/share/quorvane/version.txt"), version)
           && writeFile(root + QStringLiteral("/share/quorvane/release-version"), "0.0.1-stale\n")
           && QDir().mkpath(root + QStringLiteral("/libexec/quorvane"))
           && QFile::copy(updater(), root + u'/' + QLatin1String(UpdateCheckService::updaterExecutable));
}

} // namespace

class TestReleaseTool : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QNetworkProxy::setApplicationProxy(QNetworkProxy::NoProxy);
        QVERIFY(QFileInfo(releaseTool()).isExecutable());
        QVERIFY(QFileInfo(verifier()).isExecutable());
        QVERIFY(QFileInfo(updater()).isExecutable());
    }

    void keygenWritesAUsableKeyPair()
    {
        const Run printed = run(releaseTool(), {QStringLiteral("keygen")});
        QCOMPARE(printed.exitCode, 0);
        const QList<QByteArray> lines = printed.out.trimmed().split('\n');
        QCOMPARE(lines.size(), 2);
        QVERIFY(lines[0].startsWith("private-key: ") && lines[1].startsWith("public-key: "));
        const auto seed = ReleaseSignature::decodeBase64Url(QString::fromLatin1(lines[0].mid(13)), 32);
        const auto publicKey = ReleaseSignature::decodeBase64Url(QString::fromLatin1(lines[1].mid(12)), 32);
        QVERIFY(seed && publicKey);
        QCOMPARE(Ed25519Key::fromSeed(*seed)->publicKey(), *publicKey);

        QTemporaryDir dir;
        const QString keyPath = dir.filePath(QStringLiteral("publisher.key"));
        const Run written = run(releaseTool(), {QStringLiteral("keygen"), QStringLiteral("--private-key-out"), keyPath});
        QCOMPARE(written.exitCode, 0);
        QVERIFY(!written.out.contains("private-key")); // the secret stays in the file
        struct stat info{};
        QCOMPARE(::stat(QFile::encodeName(keyPath).constData(), &info), 0);
        QCOMPARE(info.st_mode & 07777, mode_t(0600));
        const QByteArray key = readFile(keyPath);
        const auto fileSeed = ReleaseSignature::decodeBase64Url(QString::fromLatin1(key.trimmed()), 32);
        QVERIFY(fileSeed);
        QCOMPARE(ReleaseSignature::encodeBase64Url(Ed25519Key::fromSeed(*fileSeed)->publicKey()).toLatin1(),
                 written.out.trimmed().mid(12));

        // The public half goes to the file a build names in QUORVANE_RELEASE_PUBKEY_FILE.
        const QString publicPath = dir.filePath(QStringLiteral("publisher.pub"));
        const QString secondKeyPath = dir.filePath(QStringLiteral("second.key"));
        const Run pair = run(releaseTool(), {QStringLiteral("keygen"), QStringLiteral("--private-key-out"), secondKeyPath,
                                             QStringLiteral("--public-key-out"), publicPath});
        QCOMPARE(pair.exitCode, 0);
        QCOMPARE(readFile(publicPath), pair.out.trimmed().mid(12) + '\n');
        const auto secondSeed = ReleaseSignature::decodeBase64Url(QString::fromLatin1(readFile(secondKeyPath).trimmed()), 32);
        QVERIFY(secondSeed);
        QCOMPARE(ReleaseSignature::encodeBase64Url(Ed25519Key::fromSeed(*secondSeed)->publicKey()).toLatin1() + '\n',
                 readFile(publicPath));

        // An existing key file is never overwritten.
        QCOMPARE(run(releaseTool(), {QStringLiteral("keygen"), QStringLiteral("--private-key-out"), keyPath}).exitCode, 1);
        QCOMPARE(readFile(keyPath), key);
    }

    void packSignsAndAnnounces_data()
    {
        QTest::addColumn<bool>("pemKey");
        QTest::newRow("base64url seed key") << false;
        QTest::newRow("PEM key") << true;
    }
    void packSignsAndAnnounces()
    {
        QFETCH(bool, pemKey);
        QTemporaryDir dir;
        const QString prefix = dir.filePath(QStringLiteral("prefix"));
        QVERIFY(makePrefix(prefix, "1.2.0", dir.filePath(QStringLiteral("marker"))));
        const QString keyPath = dir.filePath(QStringLiteral("publisher.key"));
        QByteArray publicKey;
        if (pemKey) {
            QCOMPARE(run(QStringLiteral("openssl"), {QStringLiteral("genpkey"), QStringLiteral("-algorithm"),
                                                     QStringLiteral("ed25519"), QStringLiteral("-out"), keyPath})
                         .exitCode,
                     0);
            const Run der = run(QStringLiteral("openssl"), {QStringLiteral("pkey"), QStringLiteral("-in"), keyPath,
                                                            QStringLiteral("-pubout"), QStringLiteral("-outform"),
                                                            QStringLiteral("DER")});
            QCOMPARE(der.exitCode, 0);
            publicKey = der.out.right(32);
        } else {
            const Run generated = run(releaseTool(), {QStringLiteral("keygen"), QStringLiteral("--private-key-out"), keyPath});
            QCOMPARE(generated.exitCode, 0);
            publicKey = *ReleaseSignature::decodeBase64Url(QString::fromLatin1(generated.out.trimmed().mid(12)), 32);
        }

        const QString out = dir.filePath(QStringLiteral("out"));
        const Run packed = run(releaseTool(), {QStringLiteral("pack"), QStringLiteral("--input"), prefix,
                                               QStringLiteral("--version"), QStringLiteral("1.2.0"),
                                               QStringLiteral("--key"), keyPath, QStringLiteral("--output"), out,
                                               QStringLiteral("--base-url"),
                                               QStringLiteral("https://releases.quorvane.com/files/")});
        QVERIFY2(packed.exitCode == 0, packed.err.constData());
        const QString archivePath = out + QStringLiteral("/Quorvane-1.2.0.tar.gz");
        const QByteArray archive = readFile(archivePath);
        QVERIFY(!archive.isEmpty());
        const QJsonObject latest = QJsonDocument::fromJson(readFile(out + QStringLiteral("/latest.json"))).object();
        QCOMPARE(QJsonDocument::fromJson(packed.out).object(), latest);
        QCOMPARE(latest.keys(), (QStringList{QStringLiteral("sha256"), QStringLiteral("signature"),
                                             QStringLiteral("size"), QStringLiteral("url"), QStringLiteral("version")}));
        QCOMPARE(latest.value(QStringLiteral("size")).toInteger(), archive.size());
        QCOMPARE(latest.value(QStringLiteral("version")).toString(), QStringLiteral("1.2.0"));
        QCOMPARE(latest.value(QStringLiteral("url")).toString(),
                 QStringLiteral("https://releases.quorvane.com/files/Quorvane-1.2.0.tar.gz"));
        QCOMPARE(latest.value(QStringLiteral("sha256")).toString(), ReleaseSignature::sha256Hex(archive));
        const QString signature = latest.value(QStringLiteral("signature")).toString();
        QVERIFY(ReleaseSignature::verifyText(ReleaseSignature::encodeBase64Url(publicKey), archive, signature));

        // The archive holds the prefix's tree at its root.
        const Run listing = run(QStringLiteral("tar"), {QStringLiteral("-tzf"), archivePath});
        QCOMPARE(listing.exitCode, 0);
        QVERIFY(listing.out.split('\n').contains("./bin/quorvane-app"));
        QVERIFY(listing.out.split('\n').contains("./share/quorvane/version.txt"));
        // ... and, signed with it, the version it was packed as (once).
        QCOMPARE(listing.out.split('\n').count("./share/quorvane/release-version"), 1);
        const Run version = run(QStringLiteral("tar"), {QStringLiteral("-xOzf"), archivePath,
                                                        QStringLiteral("./share/quorvane/release-version")});
        QCOMPARE(version.out, QByteArray("1.2.0\n"));

        // The shipped verifier: 0 genuine, 1 other key or other bytes, 2 misuse.
        const QString key = ReleaseSignature::encodeBase64Url(publicKey);
        const QStringList keyArgs{QStringLiteral("--public-key"), key, QStringLiteral("--signature"), signature};
        QCOMPARE(run(verifier(), keyArgs + QStringList{archivePath}).exitCode, 0);
        const QString otherKey = ReleaseSignature::encodeBase64Url(Ed25519Key::generate()->publicKey());
        QCOMPARE(run(verifier(), {QStringLiteral("--public-key"), otherKey, QStringLiteral("--signature"), signature,
                                  archivePath})
                     .exitCode,
                 1);
        QVERIFY(writeFile(dir.filePath(QStringLiteral("tampered.tar.gz")), archive + "x"));
        QCOMPARE(run(verifier(), keyArgs + QStringList{dir.filePath(QStringLiteral("tampered.tar.gz"))}).exitCode, 1);
        QCOMPARE(run(verifier(), {QStringLiteral("--public-key"), key, QStringLiteral("--signature"),
                                  QStringLiteral("short"), archivePath})
                     .exitCode,
                 1);
        QCOMPARE(run(verifier(), keyArgs).exitCode, 2);
        QCOMPARE(run(verifier(), keyArgs + QStringList{dir.filePath(QStringLiteral("missing"))}).exitCode, 2);

        // `sign` gives the same signature (Ed25519 is deterministic).
        const Run signedAgain = run(releaseTool(), {QStringLiteral("sign"), QStringLiteral("--key"), keyPath, archivePath});
        QCOMPARE(signedAgain.exitCode, 0);
        QCOMPARE(QString::fromLatin1(signedAgain.out.trimmed()), signature);
    }

    void packRefusals_data()
    {
        QTest::addColumn<QString>("version");
        QTest::addColumn<bool>("withProgram");
        QTest::addColumn<bool>("withKey");
        QTest::addColumn<QByteArray>("message");
        QTest::newRow("path in version") << QStringLiteral("../1.0") << true << true << QByteArray("invalid version");
        QTest::newRow("empty version") << QString() << true << true << QByteArray("invalid version");
        QTest::newRow("not a prefix") << QStringLiteral("1.0") << false << true << QByteArray("not an installation prefix");
        QTest::newRow("no key") << QStringLiteral("1.0") << true << false << QByteArray("cannot read the key file");
    }
    void packRefusals()
    {
        QFETCH(QString, version);
        QFETCH(bool, withProgram);
        QFETCH(bool, withKey);
        QFETCH(QByteArray, message);
        QTemporaryDir dir;
        const QString prefix = dir.filePath(QStringLiteral("prefix"));
        QVERIFY(QDir().mkpath(prefix + QStringLiteral("/share")));
        if (withProgram)
            QVERIFY(writeFile(prefix + QStringLiteral("/bin/quorvane-app"), "#!/bin/sh\n", true));
        const QString keyPath = dir.filePath(QStringLiteral("k"));
        if (withKey)
            QCOMPARE(run(releaseTool(), {QStringLiteral("keygen"), QStringLiteral("--private-key-out"), keyPath}).exitCode, 0);
        const QString out = dir.filePath(QStringLiteral("out"));
        const Run packed = run(releaseTool(), {QStringLiteral("pack"), QStringLiteral("--input"), prefix,
                                               QStringLiteral("--version"), version, QStringLiteral("--key"), keyPath,
                                               QStringLiteral("--output"), out, QStringLiteral("--base-url"),
                                               QStringLiteral("https://h/")});
        QCOMPARE(packed.exitCode, 1);
        QVERIFY2(packed.err.contains(message), packed.err.constData());
        QVERIFY(!QFile::exists(out + QStringLiteral("/latest.json")));
    }

    // What the tool cuts, the reference back-end serves and the update check
    // accepts and installs.
    void releaseRoundTrip()
    {
        TestHome home;
        QTemporaryDir dir, tempDir;
        qputenv("TMPDIR", QFile::encodeName(tempDir.path()));
        const QString marker = home.filePath(QStringLiteral("started"));
        const QString installed = dir.filePath(QStringLiteral("opt/quorvane"));
        const QString staged = dir.filePath(QStringLiteral("stage"));
        QVERIFY(makePrefix(installed, "1.0.0", marker));
        QVERIFY(makePrefix(staged, "1.2.0", marker));
        const QString keyPath = dir.filePath(QStringLiteral("publisher.key"));
        const Run generated = run(releaseTool(), {QStringLiteral("keygen"), QStringLiteral("--private-key-out"), keyPath});
        QCOMPARE(generated.exitCode, 0);
        const QString publicKey = QString::fromLatin1(generated.out.trimmed().mid(12));

        const QString releases = dir.filePath(QStringLiteral("releases"));
        QVERIFY(QDir().mkpath(releases));
        BackendProcess backend({QStringLiteral("--releases"), releases});
        QVERIFY2(backend.isRunning(), qPrintable(backend.lastError()));
        const Run packed = run(releaseTool(), {QStringLiteral("pack"), QStringLiteral("--input"), staged,
                                               QStringLiteral("--version"), QStringLiteral("1.2.0"),
                                               QStringLiteral("--key"), keyPath, QStringLiteral("--output"), releases,
                                               QStringLiteral("--base-url"),
                                               backend.url(QStringLiteral("/releases/files")).toString()});
        QVERIFY2(packed.exitCode == 0, packed.err.constData());
        qputenv("QUORVANE_API_BASE_URL", backend.url().toString().toUtf8());

        QProcess oldApp;
        oldApp.start(QStringLiteral("sleep"), {QStringLiteral("600")});
        QVERIFY(oldApp.waitForStarted());
        QNetworkAccessManager network;
        UpdateCheckService service(&network);
        service.setReleaseHost(QStringLiteral("127.0.0.1"));
        service.setReleasePublicKey(publicKey);
        service.setInstallPrefix(installed);
        service.setProcessId(oldApp.processId());
        service.start(QStringLiteral("1.0.0"), [&oldApp] { oldApp.kill(); });
        QTRY_COMPARE_WITH_TIMEOUT(service.availableVersion(), QStringLiteral("1.2.0"), 20000);
        service.downloadAndInstall();
        QTRY_COMPARE_WITH_TIMEOUT(readFile(marker).trimmed(), QByteArray("1.2.0"), 60000);
        QVERIFY2(service.updateError().isEmpty(), qPrintable(service.updateError()));
        QCOMPARE(readFile(installed + QStringLiteral("/share/quorvane/version.txt")), QByteArray("1.2.0"));
        QTRY_COMPARE_WITH_TIMEOUT(QDir(tempDir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList(), 20000);
        qunsetenv("QUORVANE_API_BASE_URL");
        qunsetenv("TMPDIR");
    }
};

QTEST_GUILESS_MAIN(TestReleaseTool)
#include "tst_ReleaseTool.moc"
