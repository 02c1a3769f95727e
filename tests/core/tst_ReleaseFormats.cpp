#include "core/CoreConstants.h"
#include "core/Ed25519Key.h"
#include "core/LatestRelease.h"
#include "core/ReleaseSignature.h"
#include "core/UpdateLog.h"
#include "core/VersionComparison.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestHome.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

// What the self-update reads and writes: versions, the release announcement, signatures, the log.
class TestReleaseFormats : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void versionComparison_data()
    {
        QTest::addColumn<QString>("remote");
        QTest::addColumn<QString>("local"); // null = no local version
        QTest::addColumn<bool>("newer");
        QTest::newRow("1.10 > 1.9") << u"1.10.0"_s << u"1.9.0"_s << true;
        QTest::newRow("1.9 < 1.10") << u"1.9.0"_s << u"1.10.0"_s << false;
        QTest::newRow("2.0 = 2.0.0") << u"2.0.0"_s << u"2.0"_s << false;
        QTest::newRow("longer remote") << u"1.2.0.1"_s << u"1.2"_s << true;
        QTest::newRow("no local") << u"9.9.9"_s << QString() << false;
        QTest::newRow("beta reads as 1.4") << u"1.4.0-beta"_s << u"1.4"_s << false;
        QTest::newRow("beta drops its piece") << u"1.4.1"_s << u"1.4.0-beta"_s << true;
        QTest::newRow("empty pieces dropped") << u"2..3"_s << u"2.3"_s << false;
        QTest::newRow("plus sign") << u"+2.0"_s << u"1.9"_s << true;
        QTest::newRow("local without numbers") << u"0.0.1"_s << u"dev"_s << true;
        QTest::newRow("overflowing piece dropped") << u"99999999999999999999.1"_s << u"0.5"_s << true;
        QTest::newRow("signs read as numbers") << u"-3.+4. 5"_s << u"-3.3"_s << true;
        // "quorvane 1" does not read as a number, so the local version reads as 2.9.
        QTest::newRow("text before the number") << u"1.3.0"_s << u"quorvane 1.2.9"_s << false;
    }
    void versionComparison()
    {
        QFETCH(QString, remote);
        QFETCH(QString, local);
        QFETCH(bool, newer);
        const std::optional<QString> localVersion
            = local.isNull() ? std::nullopt : std::optional<QString>(local);
        QCOMPARE(VersionComparison::isNewer(remote, localVersion), newer);
    }

    // "decoded" is "sha256 signature size" with "-" for absent, or part of the error.
    void latestReleaseDecoding_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("decoded");
        const auto with = [](const QByteArray& members) -> QByteArray {
            return R"({"version":"1","url":"u")" + members + '}';
        };
        QTest::newRow("all members") << with(R"(,"sha256":"ab","signature":"s","size":1234)")
                                     << u"ab s 1234"_s;
        QTest::newRow("required only") << with({}) << u"- - -"_s;
        QTest::newRow("null optional") << with(R"(,"sha256":null)") << u"- - -"_s;
        QTest::newRow("missing version") << R"({"url":"u"})"_ba << u"\"version\" is missing"_s;
        QTest::newRow("missing url") << R"({"version":"1"})"_ba << u"\"url\" is missing"_s;
        QTest::newRow("version a number")
            << R"({"version":1.2,"url":"u"})"_ba << u"\"version\" is not a string"_s;
        QTest::newRow("sha256 a number") << with(R"(,"sha256":5)") << u"\"sha256\" is not a string"_s;
        QTest::newRow("signature an object")
            << with(R"(,"signature":{})") << u"\"signature\" is not a string"_s;
        const QString badSize = u"\"size\" is not a positive whole number"_s;
        QTest::newRow("size a fraction") << with(R"(,"size":1.5)") << badSize;
        QTest::newRow("size zero") << with(R"(,"size":0)") << badSize;
        QTest::newRow("size beyond 2^53") << with(R"(,"size":1e300)") << badSize;
        QTest::newRow("array") << "[]"_ba << u"not a JSON object"_s;
        QTest::newRow("truncated") << "{\"version\":\"1\",\"ur"_ba << u"invalid JSON"_s;
    }
    void latestReleaseDecoding()
    {
        QFETCH(QByteArray, json);
        QFETCH(QString, decoded);
        QString error;
        const std::optional<LatestRelease> release = LatestRelease::fromJson(json, &error);
        if (!release) {
            QVERIFY2(error.contains(decoded), qPrintable(error));
            return;
        }
        QCOMPARE(u"%1 %2 %3"_s.arg(release->sha256.value_or(u"-"_s), release->signature.value_or(u"-"_s),
                     release->size ? QString::number(*release->size) : u"-"_s),
            decoded);
    }

    void base64UrlIsStrict()
    {
        const QByteArray bytes
            = QByteArray::fromHex("fbff00102030405060708090a0b0c0d0e0f0ff00112233445566778899aabbcc");
        const QString text = ReleaseSignature::encodeBase64Url(bytes);
        QVERIFY(!text.contains(u'=') && !text.contains(u'+') && !text.contains(u'/'));
        QCOMPARE(ReleaseSignature::decodeBase64Url(text, 32).value_or(QByteArray()), bytes);
        QVERIFY(!ReleaseSignature::decodeBase64Url(QString(text + u'='), 32)); // padded
        QVERIFY(!ReleaseSignature::decodeBase64Url(text, 31)); // wrong length
        QVERIFY(!ReleaseSignature::decodeBase64Url(text.left(42), 31)); // truncated
        QVERIFY(text.startsWith("-_"_L1)); // 0xfb 0xff use the url-safe letters
        QVERIFY(
            !ReleaseSignature::decodeBase64Url(QString(text).replace(u'-', u'+').replace(u'_', u'/'), 32));
        QVERIFY(!ReleaseSignature::decodeBase64Url(QString(u' ' + text), 32)); // stray character
        // 32 bytes leave 2 unused bits in the last character; setting one keeps
        // the decoded bytes but is not the canonical spelling.
        static const QString alphabet = u"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_"_s;
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
        QVERIFY(
            !ReleaseSignature::verifyText(QString(), archive, ReleaseSignature::encodeBase64Url(signature)));
        QVERIFY(!ReleaseSignature::verifyText(key, archive, u"not base64!"_s));
        // The empty message signs and verifies too.
        QVERIFY(ReleaseSignature::verify(
            publisher->publicKey(), QByteArrayView(), publisher->sign(QByteArray())));

        QCOMPARE(ReleaseSignature::sha256Hex(QByteArrayLiteral("abc")),
            u"ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"_s);
    }

    void hostAsWritten()
    {
        const QList<std::pair<QString, QString>> cases { // "-": none
            { u"https://releases.quorvane.com/a.tar.gz"_s, u"releases.quorvane.com"_s },
            { u"https://Releases.Quorvane.com/a"_s, u"Releases.Quorvane.com"_s },
            { u"http://127.0.0.1:8080/x"_s, u"127.0.0.1"_s },
            { u"https://releases.quorvane.com@evil.com/x"_s, u"evil.com"_s }, { u"https://h?x=@y"_s, u"h"_s },
            { u"http://[::1]:80/x"_s, u"::1"_s }, { u"releases.quorvane.com/x"_s, u"-"_s },
            { u"https:///x"_s, u"-"_s }, { u"http://[::1/x"_s, u"-"_s }
        };
        for (const auto& [url, host] : cases)
            QCOMPARE(
                std::pair(url, LatestRelease::hostAsWritten(url).value_or(u"-"_s)), std::pair(url, host));
    }

    void updateLogLines()
    {
        TestHome home;
        const QString path = CoreConstants::updateCheckLogPath();
        QVERIFY(!QFile::exists(path));
        UpdateLog::append(u"first"_s);
        UpdateLog::append(u"second\nforged 2026-01-01T00:00:00Z line"_s);
        const QString text = QString::fromUtf8(TestFiles::contentOf(path));
        QVERIFY(text.endsWith(u'\n'));
        const QStringList lines = text.chopped(1).split(u'\n');
        QCOMPARE(lines.size(), 2);
        const QRegularExpression format(u"^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\dZ (.*)$"_s);
        QCOMPARE(format.match(lines[0]).captured(1), u"first"_s);
        QCOMPARE(format.match(lines[1]).captured(1), u"second\\nforged 2026-01-01T00:00:00Z line"_s);
        // 0600 inside 0700, from the start.
        QCOMPARE(TestFiles::modeOf(path), 0600);
        QCOMPARE(TestFiles::modeOf(CoreConstants::quorvaneDirectory()), 0700);
    }

    void updateLogBounds()
    {
        TestHome home;
        const QString path = CoreConstants::updateCheckLogPath();
        // A server-supplied value of 10 MB adds one short line.
        UpdateLog::append(u"check: remote="_s + QString(10 * 1024 * 1024, u'9'));
        QVERIFY(QFileInfo(path).size() < 2 * UpdateLog::maximumMessageLength);
        QVERIFY(QString::fromUtf8(TestFiles::contentOf(path)).contains(u"characters cut)"_s));

        // Past the size limit the log starts afresh; one older generation stays.
        const QString line(UpdateLog::maximumMessageLength - 100, u'x');
        for (qint64 written = 0; written < 3 * UpdateLog::rotateBytes; written += line.size())
            UpdateLog::append(line);
        QVERIFY(QFileInfo(path).size() <= UpdateLog::rotateBytes);
        QVERIFY(QFileInfo(path + u".1"_s).size() <= UpdateLog::rotateBytes);
        QVERIFY(QFileInfo(path + u".1"_s).size() > UpdateLog::rotateBytes / 2);
        QVERIFY(!QFile::exists(path + u".2"_s));

        // A link planted at the log's name is not followed.
        QTemporaryDir elsewhere;
        const QString target = elsewhere.filePath(u"target"_s);
        QVERIFY(TestFiles::write(target, "untouched"));
        QVERIFY(QFile::remove(path));
        QVERIFY(QFile::link(target, path));
        UpdateLog::append(u"through a link?"_s);
        QCOMPARE(TestFiles::contentOf(target), "untouched"_ba);
    }
};

QTEST_GUILESS_MAIN(TestReleaseFormats)
#include "tst_ReleaseFormats.moc"
