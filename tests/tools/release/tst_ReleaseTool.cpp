#include "core/Ed25519Key.h"
#include "core/ReleaseSignature.h"
#include "tests/support/TestFiles.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

struct Run
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

const QString releaseTool = qEnvironmentVariable("QUORVANE_BUILD_DIR") + u"/bin/quorvane-release"_s;
const QString verifier
    = qEnvironmentVariable("QUORVANE_BUILD_DIR") + u"/libexec/quorvane/quorvane-verify-release"_s;

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

} // namespace

// The release tool's keys and signatures, and the shipped verifier's verdicts.
class TestReleaseTool : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void keysSignaturesAndVerdicts()
    {
        QTemporaryDir dir;
        const QString keyPath = dir.filePath(u"publisher.key"_s);
        const QString publicPath = dir.filePath(u"publisher.pub"_s);
        const Run written = run(
            releaseTool, { u"keygen"_s, u"--private-key-out"_s, keyPath, u"--public-key-out"_s, publicPath });
        QCOMPARE(written.exitCode, 0);
        QVERIFY(!written.out.contains("private-key"));
        QCOMPARE(TestFiles::modeOf(keyPath), 0600);
        const QByteArray key = TestFiles::contentOf(keyPath);
        const auto fileSeed = ReleaseSignature::decodeBase64Url(QString::fromLatin1(key.trimmed()), 32);
        QVERIFY(fileSeed);
        const QString publicKey
            = ReleaseSignature::encodeBase64Url(Ed25519Key::fromSeed(*fileSeed)->publicKey());
        QCOMPARE(written.out.trimmed().mid(12), publicKey.toLatin1());
        QCOMPARE(TestFiles::contentOf(publicPath), publicKey.toLatin1() + '\n');

        // An existing key file is never overwritten.
        QCOMPARE(run(releaseTool, { u"keygen"_s, u"--private-key-out"_s, keyPath }).exitCode, 1);
        QCOMPARE(TestFiles::contentOf(keyPath), key);

        // `pack` signs what it announces.
        const QString prefix = dir.filePath(u"prefix"_s);
        QVERIFY(TestFiles::writeShellScript(prefix + u"/bin/quorvane-app"_s, "exit 0\n"));
        QVERIFY(TestFiles::write(prefix + u"/share/quorvane/release-version"_s, "0.0.1-stale\n"));
        const QString out = dir.filePath(u"out"_s);
        const Run packed = run(releaseTool,
            { u"pack"_s, u"--input"_s, prefix, u"--version"_s, u"1.2.0"_s, u"--key"_s, keyPath, u"--output"_s,
                out, u"--base-url"_s, u"https://releases.quorvane.com/files/"_s });
        QVERIFY2(packed.exitCode == 0, packed.err.constData());
        const QString archivePath = out + u"/Quorvane-1.2.0.tar.gz"_s;
        const QByteArray archive = TestFiles::contentOf(archivePath);
        const QJsonObject latest
            = QJsonDocument::fromJson(TestFiles::contentOf(out + u"/latest.json"_s)).object();
        QCOMPARE(QJsonDocument::fromJson(packed.out).object(), latest);
        QCOMPARE(
            latest.keys(), (QStringList { u"sha256"_s, u"signature"_s, u"size"_s, u"url"_s, u"version"_s }));
        QCOMPARE(latest.value(u"size"_s).toInteger(), archive.size());
        QCOMPARE(latest.value(u"url"_s).toString(),
            u"https://releases.quorvane.com/files/Quorvane-1.2.0.tar.gz"_s);
        QCOMPARE(latest.value(u"sha256"_s).toString(), ReleaseSignature::sha256Hex(archive));
        const QString signature = latest.value(u"signature"_s).toString();
        QVERIFY(ReleaseSignature::verifyText(publicKey, archive, signature));
        // The version it was packed as is inside, signed with it.
        QCOMPARE(run(u"tar"_s, { u"-xOzf"_s, archivePath, u"./share/quorvane/release-version"_s }).out,
            "1.2.0\n"_ba);

        // The shipped verifier: 0 genuine, 1 another key or other bytes, 2 misuse.
        const QString otherKey = ReleaseSignature::encodeBase64Url(Ed25519Key::generate()->publicKey());
        const QString tampered = dir.filePath(u"tampered.tar.gz"_s);
        QVERIFY(TestFiles::write(tampered, archive + "x"));
        const auto verify = [&](const QString& key, const QString& sig, const QStringList& files) {
            return run(verifier, QStringList { u"--public-key"_s, key, u"--signature"_s, sig } + files)
                .exitCode;
        };
        QCOMPARE(verify(publicKey, signature, { archivePath }), 0);
        QCOMPARE(verify(otherKey, signature, { archivePath }), 1);
        QCOMPARE(verify(publicKey, signature, { tampered }), 1);
        QCOMPARE(verify(publicKey, u"short"_s, { archivePath }), 1);
        QCOMPARE(verify(publicKey, signature, {}), 2);
        QCOMPARE(verify(publicKey, signature, { dir.filePath(u"missing"_s) }), 2);

        // `sign` gives the same signature (Ed25519 is deterministic).
        const Run signedAgain = run(releaseTool, { u"sign"_s, u"--key"_s, keyPath, archivePath });
        QCOMPARE(QString::fromLatin1(signedAgain.out.trimmed()), signature);
    }
};

QTEST_GUILESS_MAIN(TestReleaseTool)
#include "tst_ReleaseTool.moc"
