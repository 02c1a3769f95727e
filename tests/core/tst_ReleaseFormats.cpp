#include "core/Ed25519Key.h"
#include "core/LatestRelease.h"
#include "core/ReleaseSignature.h"
#include "tests/support/TestHome.h"
#include "tests/core/ReleaseTestSupport.h"
#include "tests/support/TestFiles.h"
#include "core/UpdateLog.h"
#include "core/VersionComparison.h"

#include "core/CoreConstants.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

#include <sys/stat.h>

class TestReleaseFormats : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void versionComparison_data()
    {
        QTest::addColumn<QString>("remote");
        QTest::addColumn<QString>("local"); // null = no local version
        QTest::addColumn<bool>("newer");
        QTest::newRow("1.10 > 1.9") << QStringLiteral("1.10.0") << QStringLiteral("1.9.0") << true;
        QTest::newRow("1.9 < 1.10") << QStringLiteral("1.9.0") << QStringLiteral("1.10.0") << false;
        QTest::newRow("2.0 = 2.0.0") << QStringLiteral("2.0.0") << QStringLiteral("2.0") << false;
        QTest::newRow("longer remote") << QStringLiteral("1.2.0.1") << QStringLiteral("1.2") << true;
        QTest::newRow("no local") << QStringLiteral("9.9.9") << QString() << false;
        QTest::newRow("beta reads as 1.4") << QStringLiteral("1.4.0-beta") << QStringLiteral("1.4") << false;
        QTest::newRow("beta drops its piece") << QStringLiteral("1.4.1") << QStringLiteral("1.4.0-beta") << true;
        QTest::newRow("empty pieces dropped") << QStringLiteral("2..3") << QStringLiteral("2.3") << false;
        QTest::newRow("plus sign") << QStringLiteral("+2.0") << QStringLiteral("1.9") << true;
        QTest::newRow("local without numbers") << QStringLiteral("0.0.1") << QStringLiteral("dev") << true;
        QTest::newRow("overflowing piece dropped") << QStringLiteral("99999999999999999999.1")
                                                   << QStringLiteral("0.5") << true;
        // "quorvane 1" does not read as a number, so the local version reads as 2.9.
        QTest::newRow("text before the number") << QStringLiteral("1.3.0") << QStringLiteral("quorvane 1.2.9") << false;
    }
    void versionComparison()
    {
        QFETCH(QString, remote);
        QFETCH(QString, local);
        QFETCH(bool, newer);
        const std::optional<QString> localVersion = local.isNull() ? std::nullopt : std::optional<QString>(local);
        QCOMPARE(VersionComparison::isNewer(remote, localVersion), newer);
    }

    void versionNumbers()
    {
        QCOMPARE(VersionComparison::numbers(QStringLiteral("1.4.0-beta")), (QList<qint64>{1, 4}));
        QCOMPARE(VersionComparison::numbers(QStringLiteral("2..3")), (QList<qint64>{2, 3}));
        QCOMPARE(VersionComparison::numbers(QStringLiteral("-3.+4. 5")), (QList<qint64>{-3, 4}));
        QCOMPARE(VersionComparison::numbers(QStringLiteral("9223372036854775807.-9223372036854775808")),
                 (QList<qint64>{std::numeric_limits<qint64>::max(), std::numeric_limits<qint64>::min()}));
        QCOMPARE(VersionComparison::numbers(QStringLiteral("9223372036854775808")), QList<qint64>{});
        QCOMPARE(VersionComparison::numbers(QString()), QList<qint64>{});
    }

    void latestReleaseDecoding_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("sha256");    // "<absent>" when absent
        QTest::addColumn<QString>("signature"); // "<absent>" when absent
        QTest::addColumn<QString>("errorPart");
        const QString absent = QStringLiteral("<absent>");
        QTest::newRow("all members") << QByteArray("{\"version\":\"1.2\",\"url\":\"https://h/x\",\"sha256\":\"ab\",\"signature\":\"s\",\"size\":1234}")
                                     << true << QStringLiteral("ab") << QStringLiteral("s") << QString();
        QTest::newRow("required only") << QByteArray("{\"version\":\"1.2\",\"url\":\"https://h/x\"}") << true << absent
                                       << absent << QString();
        QTest::newRow("null optional") << QByteArray("{\"version\":\"1\",\"url\":\"u\",\"sha256\":null}") << true << absent
                                       << absent << QString();
        QTest::newRow("missing version") << QByteArray("{\"url\":\"u\"}") << false << absent << absent
                                         << QStringLiteral("\"version\" is missing");
        QTest::newRow("missing url") << QByteArray("{\"version\":\"1\"}") << false << absent << absent
                                     << QStringLiteral("\"url\" is missing");
        QTest::newRow("version a number") << QByteArray("{\"version\":1.2,\"url\":\"u\"}") << false << absent << absent
                                          << QStringLiteral("\"version\" is not a string");
        QTest::newRow("sha256 a number") << QByteArray("{\"version\":\"1\",\"url\":\"u\",\"sha256\":5}") << false << absent
                                         << absent << QStringLiteral("\"sha256\" is not a string");
        QTest::newRow("signature an object") << QByteArray("{\"version\":\"1\",\"url\":\"u\",\"signature\":{}}") << false
                                             << absent << absent << QStringLiteral("\"signature\" is not a string");
        QTest::newRow("size a fraction") << QByteArray("{\"version\":\"1\",\"url\":\"u\",\"size\":1.5}") << false << absent
                                         << absent << QStringLiteral("\"size\" is not a positive whole number");
        QTest::newRow("size zero") << QByteArray("{\"version\":\"1\",\"url\":\"u\",\"size\":0}") << false << absent
                                   << absent << QStringLiteral("\"size\" is not a positive whole number");
        QTest::newRow("size beyond 2^53") << QByteArray("{\"version\":\"1\",\"url\":\"u\",\"size\":1e300}") << false
                                          << absent << absent << QStringLiteral("\"size\" is not a positive whole number");
        QTest::newRow("array") << QByteArray("[]") << false << absent << absent << QStringLiteral("not a JSON object");
        QTest::newRow("truncated") << QByteArray("{\"version\":\"1\",\"ur") << false << absent << absent
                                   << QStringLiteral("invalid JSON");
    }
    void latestReleaseDecoding()
    {
        QFETCH(QByteArray, json);
        QFETCH(bool, ok);
        QFETCH(QString, sha256);
        QFETCH(QString, signature);
        QFETCH(QString, errorPart);
        QString error;
        const std::optional<LatestRelease> release = LatestRelease::fromJson(json, &error);
        QCOMPARE(release.has_value(), ok);
        if (!ok) {
            QVERIFY2(error.contains(errorPart), qPrintable(error));
            return;
        }
        QCOMPARE(release->sha256.value_or(QStringLiteral("<absent>")), sha256);
        QCOMPARE(release->signature.value_or(QStringLiteral("<absent>")), signature);
        QCOMPARE(release->size.value_or(-1), json.contains("\"size\"") ? qint64(1234) : qint64(-1));
    }

    void base64UrlIsStrict()
    {
        const QByteArray bytes = QByteArray::fromHex("fbff00102030405060708090a0b0c0d0e0f0ff00112233445566778899aabbcc");
        const QString text = ReleaseSignature::encodeBase64Url(bytes);
        QVERIFY(!text.contains(u'=') && !text.contains(u'+') && !text.contains(u'/'));
        QCOMPARE(ReleaseSignature::decodeBase64Url(text, 32).value_or(QByteArray()), bytes);
        QVERIFY(!ReleaseSignature::decodeBase64Url(QString(text + u'='), 32));        // padded
        QVERIFY(!ReleaseSignature::decodeBase64Url(text, 31));               // wrong length
        QVERIFY(!ReleaseSignature::decodeBase64Url(text.left(42), 31));      // truncated
        QVERIFY(text.startsWith(QLatin1String("-_"))); // 0xfb 0xff use the url-safe letters
        QVERIFY(!ReleaseSignature::decodeBase64Url(QString(text).replace(u'-', u'+').replace(u'_', u'/'), 32));
        QVERIFY(!ReleaseSignature::decodeBase64Url(QString(u' ' + text), 32));        // stray character
        // 32 bytes leave 2 unused bits in the last character; setting one keeps
        // the decoded bytes but is not the canonical spelling.
        static const QString alphabet =
            QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_");
        const qsizetype last = alphabet.indexOf(text.back());
        QCOMPARE(last & 3, 0);
        QVERIFY(!ReleaseSignature::decodeBase64Url(QString(text.chopped(1) + alphabet.at(last | 1)), 32));
    }

    void signatureVerification()
    {
        const std::optional<Ed25519Key> publisher = Ed25519Key::generate();
        const std::optional<Ed25519Key> stranger = Ed25519Key::generate();
        QVERIFY(publisher && stranger);
        const QByteArray archive = QByteArray(1000, 'a') + QByteArray::fromHex("00ff00");
        const QByteArray signature = publisher->sign(archive);
        const QString key = ReleaseSignature::encodeBase64Url(publisher->publicKey());

        QVERIFY(ReleaseSignature::verify(publisher->publicKey(), archive, signature));
        QVERIFY(ReleaseSignature::verifyText(key, archive, ReleaseSignature::encodeBase64Url(signature)));
        // Other bytes, another key, a flipped signature bit, wrong sizes.
        QByteArray tampered = archive;
        tampered[10] = 'b';
        QVERIFY(!ReleaseSignature::verify(publisher->publicKey(), tampered, signature));
        QVERIFY(!ReleaseSignature::verify(stranger->publicKey(), archive, signature));
        QByteArray flipped = signature;
        flipped[5] = char(flipped[5] ^ 0x01);
        QVERIFY(!ReleaseSignature::verify(publisher->publicKey(), archive, flipped));
        QVERIFY(!ReleaseSignature::verify(publisher->publicKey(), archive, signature.left(63)));
        QVERIFY(!ReleaseSignature::verify(publisher->publicKey().left(31), archive, signature));
        QVERIFY(!ReleaseSignature::verifyText(QString(), archive, ReleaseSignature::encodeBase64Url(signature)));
        QVERIFY(!ReleaseSignature::verifyText(key, archive, QStringLiteral("not base64!")));
        // The empty message signs and verifies too.
        QVERIFY(ReleaseSignature::verify(publisher->publicKey(), QByteArrayView(), publisher->sign(QByteArray())));

        QCOMPARE(ReleaseSignature::sha256Hex(QByteArrayLiteral("abc")),
                 QStringLiteral("ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"));
    }

    void hostAsWritten_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("host"); // null = none
        QTest::newRow("plain") << QStringLiteral("https://releases.quorvane.com/a.tar.gz")
                               << QStringLiteral("releases.quorvane.com");
        QTest::newRow("case kept") << QStringLiteral("https://Releases.Quorvane.com/a") << QStringLiteral("Releases.Quorvane.com");
        QTest::newRow("port") << QStringLiteral("http://127.0.0.1:8080/x") << QStringLiteral("127.0.0.1");
        QTest::newRow("user info") << QStringLiteral("https://releases.quorvane.com@evil.com/x")
                                   << QStringLiteral("evil.com");
        QTest::newRow("query") << QStringLiteral("https://h?x=@y") << QStringLiteral("h");
        QTest::newRow("ipv6") << QStringLiteral("http://[::1]:80/x") << QStringLiteral("::1");
        QTest::newRow("no scheme") << QStringLiteral("releases.quorvane.com/x") << QString();
        QTest::newRow("empty host") << QStringLiteral("https:///x") << QString();
        QTest::newRow("open bracket") << QStringLiteral("http://[::1/x") << QString();
    }
    void hostAsWritten()
    {
        QFETCH(QString, url);
        QFETCH(QString, host);
        const std::optional<QString> written = LatestRelease::hostAsWritten(url);
        QCOMPARE(written.has_value(), !host.isNull());
        if (written)
            QCOMPARE(*written, host);
    }

    void updateLogLines()
    {
        TestHome home;
        QVERIFY(!QFile::exists(CoreConstants::updateCheckLogPath()));
        UpdateLog::append(QStringLiteral("first"));
        UpdateLog::append(QStringLiteral("second\nforged 2026-01-01T00:00:00Z line"));
        QFile file(CoreConstants::updateCheckLogPath());
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(file.readAll());
        QVERIFY(text.endsWith(u'\n'));
        const QStringList lines = text.chopped(1).split(u'\n');
        QCOMPARE(lines.size(), 2);
        const QRegularExpression format(QStringLiteral("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\dZ (.*)$"));
        QCOMPARE(format.match(lines[0]).captured(1), QStringLiteral("first"));
        QCOMPARE(format.match(lines[1]).captured(1), QStringLiteral("second\\nforged 2026-01-01T00:00:00Z line"));

        // 0600 inside 0700, from the start.
        struct stat info{};
        QCOMPARE(::stat(QFile::encodeName(CoreConstants::updateCheckLogPath()).constData(), &info), 0);
        QCOMPARE(info.st_mode & 07777, mode_t(0600));
        QCOMPARE(::stat(QFile::encodeName(CoreConstants::quorvaneDirectory()).constData(), &info), 0);
        QCOMPARE(info.st_mode & 07777, mode_t(0700));
    }

    void updateLogBounds()
    {
        TestHome home;
        const QString path = CoreConstants::updateCheckLogPath();
        // A server-supplied value of 10 MB adds one short line.
        UpdateLog::append(QStringLiteral("check: remote=") + QString(10 * 1024 * 1024, u'9'));
        QVERIFY(QFileInfo(path).size() < 2 * UpdateLog::maximumMessageLength);
        QVERIFY(QString::fromUtf8(ReleaseTestSupport::readFile(path)).contains(QStringLiteral("characters cut)")));

        // Past the size limit the log starts afresh; one older generation stays.
        const QString line(UpdateLog::maximumMessageLength - 100, u'x');
        for (qint64 written = 0; written < 3 * UpdateLog::rotateBytes; written += line.size())
            UpdateLog::append(line);
        QVERIFY(QFileInfo(path).size() <= UpdateLog::rotateBytes);
        QVERIFY(QFileInfo(path + QStringLiteral(".1")).size() <= UpdateLog::rotateBytes);
        QVERIFY(QFileInfo(path + QStringLiteral(".1")).size() > UpdateLog::rotateBytes / 2);
        QVERIFY(!QFile::exists(path + QStringLiteral(".2")));

        // A link planted at the log's name is not followed.
        QTemporaryDir elsewhere;
        const QString target = elsewhere.filePath(QStringLiteral("target"));
        QVERIFY(TestFiles::write(target, "untouched"));
        QVERIFY(QFile::remove(path));
        QVERIFY(QFile::link(target, path));
        UpdateLog::append(QStringLiteral("through a link?"));
        QCOMPARE(ReleaseTestSupport::readFile(target), QByteArray("untouched"));
    }
};

QTEST_GUILESS_MAIN(TestReleaseFormats)
#include "tst_ReleaseFormats.moc"
