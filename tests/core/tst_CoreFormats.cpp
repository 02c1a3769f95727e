#include "core/ApiUrl.h"
#include "core/CoreConstants.h"
#include "core/Ed25519Key.h"
#include "core/JsonText.h"
#include "core/LatestRelease.h"
#include "core/LinkOutcome.h"
#include "core/OriginCheck.h"
#include "core/ProgressPercent.h"
#include "core/ReleaseSignature.h"
#include "core/UpdateLog.h"
#include "core/UserEvent.h"
#include "core/VersionComparison.h"
#include "core/VisibleText.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestHome.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <limits>
#include <pwd.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

// Texts and formats that cross the program's edges: outside text as a window shows it, values
// spliced into request bodies and paths, stream frames and link answers read back, where requests
// go, and what the self-update reads and writes (versions, the announcement, signatures, the log).
class TestCoreFormats : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // What draws nothing or moves other characters is written out; everything else stays.
    void visibleText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("shown"); // null: shown as it is
        const auto u = [](std::initializer_list<char32_t> codePoints) {
            return QString::fromUcs4(std::data(codePoints), qsizetype(codePoints.size()));
        };
        QTest::newRow("empty") << QString() << QString();
        QTest::newRow("command, markup, tab and line feed")
            << u"ls -la; echo \"a\\tb\" | grep 'x\\|y' <font color=\"x\">&amp;<br></font>\tb\nc"_s
            << QString();
        QTest::newRow("scripts, emoji, joiners, accents, a lone bracket")
            << u"Привет Γειά 日本語 שלום مرحبا हिन्दी 😀👍🏽🇩🇪 👨‍👩‍👧 ❤️‍🔥 e\u0301 ✔\uFE0E a⟧b"_s
            << QString();
        QTest::newRow("controls") << u({ 'a', 0, '\r', 0x1B, 0x7F, 0x85, 0x9B })
                                  << u"a⟦U+0000⟧⟦U+000D⟧⟦U+001B⟧⟦U+007F⟧⟦U+0085⟧⟦U+009B⟧"_s;
        QTest::newRow("zero-width, invisible operators, soft hyphen")
            << u"r\u200Bm \u200C\u200D\u2060\uFEFF\u2061\u2064\u00AD"_s
            << u"r⟦U+200B⟧m ⟦U+200C⟧⟦U+200D⟧⟦U+2060⟧⟦U+FEFF⟧⟦U+2061⟧⟦U+2064⟧⟦U+00AD⟧"_s;
        QTest::newRow("bidi marks, embeddings, overrides, isolates")
            << u"\u200E\u200F\u061C\u202A\u202B\u202D\u202Ehs.txt\u202C\u2066\u2069"_s
            << u"⟦U+200E⟧⟦U+200F⟧⟦U+061C⟧⟦U+202A⟧⟦U+202B⟧⟦U+202D⟧⟦U+202E⟧hs.txt⟦U+202C⟧⟦U+2066⟧⟦U+2069⟧"_s;
        QTest::newRow("tags, separators, noncharacters")
            << u({ 'a', 0xE0041, 0xE007F, 0x2028, 0x2029, 0xFFFF, 0x10FFFE })
            << u"a⟦U+E0041⟧⟦U+E007F⟧⟦U+2028⟧⟦U+2029⟧⟦U+FFFF⟧⟦U+10FFFE⟧"_s;
        QTest::newRow("blanks that look plain")
            << u"rm\u00A0-rf\u2003/\u3000\u3164\u2800\u034F"_s
            << u"rm⟦U+00A0⟧-rf⟦U+2003⟧/⟦U+3000⟧⟦U+3164⟧⟦U+2800⟧⟦U+034F⟧"_s;
        QTest::newRow("ZWJ between letters") << u"a\u200Db 😀\u200Dx"_s << u"a⟦U+200D⟧b 😀⟦U+200D⟧x"_s;
        QTest::newRow("marker cannot be forged") << u"⟦U+202E⟧"_s << u"⟦U+27E6⟧U+202E⟧"_s;
        QString lone = u"a_b_"_s;
        lone[1] = QChar(char16_t(0xD83D));
        lone[3] = QChar(char16_t(0xDE00));
        QTest::newRow("lone surrogates") << lone << u"a⟦U+D83D⟧b⟦U+DE00⟧"_s;
    }
    void visibleText()
    {
        QFETCH(QString, text);
        QFETCH(QString, shown);
        QCOMPARE(::visibleText(text), shown.isNull() ? text : shown);
    }

    // Progress from outside (child processes, downloads): never a crash, never outside 0..100; the
    // whole percent is cut, not rounded.
    void progressPercent()
    {
        const double inf = std::numeric_limits<double>::infinity();
        const double nan = std::numeric_limits<double>::quiet_NaN();
        const QList<std::tuple<double, int, double>> cases { { 0.0, 0, 0.0 }, { 0.426, 42, 0.426 },
            { 1.0, 100, 1.0 }, { 1.5, 100, 1.0 }, { std::numeric_limits<double>::max(), 100, 1.0 },
            { -5.0, 0, 0.0 }, { inf, 100, 1.0 }, { -inf, 0, 0.0 }, { nan, 0, 0.0 }, { -nan, 0, 0.0 } };
        for (const auto& [progress, whole, clamped] : cases) {
            QCOMPARE(ProgressPercent::whole(progress), whole);
            QCOMPARE(ProgressPercent::clamped(progress), clamped);
            QCOMPARE(ProgressPercent::text(progress), QString::number(whole) + u'%');
        }
    }

    // Spliced into a body, a value stays one JSON string, byte for byte where nothing needs escaping.
    void escapedJson()
    {
        const QList<std::pair<QString, QByteArray>> cases { { u"approved"_s, "approved"_ba },
            { u"a\"b"_s, "a\\\"b"_ba }, { u"a\\b"_s, "a\\\\b"_ba }, { u"a\nb"_s, "a\\nb"_ba },
            { QString(QChar(0x01)), "\\u0001"_ba }, { u"é✓"_s, u"é✓"_s.toUtf8() },
            { u"x\",\"create_rule\":{\"scope\":\"global\"}}"_s,
                "x\\\",\\\"create_rule\\\":{\\\"scope\\\":\\\"global\\\"}}"_ba } };
        for (const auto& [value, escaped] : cases) {
            QCOMPARE(JsonText::escaped(value), escaped);
            QCOMPARE(QJsonDocument::fromJson("{\"v\":\"" + escaped + "\"}").object(),
                (QJsonObject { { u"v"_s, value } }));
        }
    }

    // An id put into a path stays one segment; dot segments the server would resolve are refused.
    void pathSegment()
    {
        const QList<std::pair<QString, QString>> cases { // null: no valid address
            { u"act-123_x.y~"_s, u"/approvals/act-123_x.y~/respond"_s },
            { u"../../machines/m"_s, u"/approvals/..%2F..%2Fmachines%2Fm/respond"_s }, { u".."_s, QString() },
            { u"."_s, QString() }, { u"%2E%2E"_s, u"/approvals/%252E%252E/respond"_s },
            { u"a?admin=1#f"_s, u"/approvals/a%3Fadmin%3D1%23f/respond"_s },
            { u"@evil.com"_s, u"/approvals/%40evil.com/respond"_s },
            { u"a b"_s, u"/approvals/a%20b/respond"_s }
        };
        qputenv("QUORVANE_API_BASE_URL", "http://127.0.0.1:9");
        for (const auto& [id, path] : cases) {
            const QUrl url = ApiUrl::endpoint(u"/approvals/"_s + ApiUrl::pathSegment(id) + u"/respond"_s);
            QCOMPARE(std::pair(id, url.isValid() ? url.toString(QUrl::FullyEncoded) : QString()),
                std::pair(id, path.isNull() ? QString() : u"http://127.0.0.1:9"_s + path));
        }
        qunsetenv("QUORVANE_API_BASE_URL");
    }

    void userEventFrames()
    {
        using K = UserEvent::Kind;
        const int pending = int(K::actionPending);
        const int trust = int(K::trustWindowChanged);
        const QString other = uR"({"type":"hello", "n":1})"_s;
        // The frame, its kind (-1: not an event), the action id, rules version or raw frame, and
        // whether a trust window is active.
        const QList<std::tuple<QString, int, QString, bool>> cases {
            { uR"({"type":"action_pending","actionId":"a-1"})"_s, pending, u"a-1"_s, false },
            { uR"({"type":"action_pending"})"_s, pending, QString(), false },
            { uR"({"type":"action_pending","actionId":7})"_s, pending, QString(), false },
            { uR"({"type":"action_pending","action_id":"x"})"_s, pending, QString(), false },
            { uR"({"type":"rules_changed","version":"v9","extra":[1]})"_s, int(K::rulesChanged), u"v9"_s,
                false },
            { uR"({"type":"trust_window_changed","active":true})"_s, trust, QString(), true },
            { uR"({"type":"trust_window_changed","active":"yes"})"_s, trust, QString(), false },
            { other, int(K::unknown), other, false },
            { uR"([{"type":"action_pending"}])"_s, -1, QString(), false },
            { uR"({"actionId":"a"})"_s, -1, QString(), false },
            { u"{\"type\":\"action_pen"_s, -1, QString(), false }, { QString(), -1, QString(), false },
            { u"["_s.repeated(100000), -1, QString(), false }
        };
        for (const auto& [frame, kind, text, active] : cases) {
            const std::optional<UserEvent> event = UserEvent::fromFrame(frame);
            const QString read = event ? event->actionId + event->version + event->raw : QString();
            QCOMPARE(std::tuple(frame.left(60), event ? int(event->kind) : -1, read, event && event->active),
                std::tuple(frame.left(60), kind, text, active));
        }
    }

    // The back-end's answer to linking an agent with the session token.
    void linkOutcome_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<LinkOutcome>("outcome");
        const LinkOutcome none;
        const LinkOutcome linked { true, false, 0, std::nullopt };
        QTest::newRow("seeded") << 200 << R"({"seeded":true,"rules_count":12})"_ba
                                << LinkOutcome { true, true, 12, std::nullopt };
        QTest::newRow("members missing") << 200 << "{}"_ba << linked;
        QTest::newRow("members mistyped") << 200 << R"({"seeded":"yes","rules_count":"12"})"_ba << linked;
        QTest::newRow("fractional count") << 200 << R"({"seeded":true,"rules_count":1.5})"_ba
                                          << LinkOutcome { true, true, 0, std::nullopt };
        QTest::newRow("200 without an object") << 200 << "[1]"_ba << none;
        QTest::newRow("200 not JSON") << 200 << "linked"_ba << none;
        QTest::newRow("refused with a text")
            << 403 << R"({"error":"agent belongs to another account"})"_ba
            << LinkOutcome { false, false, 0, u"agent belongs to another account"_s };
        QTest::newRow("refused, plain text") << 500 << "down"_ba << none;
        // Another status never links, whatever the body says.
        QTest::newRow("201") << 201 << R"({"seeded":true,"rules_count":12})"_ba << none;
        QTest::newRow("oversized") << 200
                                   << "{\"seeded\":true,\"rules_count\":12,\"padding\":\""
                + QByteArray(LinkOutcome::maximumSize, 'x') + "\"}"
                                   << none;
    }
    void linkOutcome()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(LinkOutcome, outcome);
        QCOMPARE(LinkOutcome::fromResponse(status, body), outcome);
    }

    void originsAcceptOnlyHttpsOrLoopbackHttp()
    {
        for (const char* origin : { "https://api.example.com", "http://127.0.0.1:4000", "http://[::1]:4000",
                 "http://localhost:4000" })
            QVERIFY2(OriginCheck::isAcceptable(QString::fromLatin1(origin)), origin);
        for (const char* origin : { "http://api.example.com", "http://192.168.1.10",
                 "http://127.0.0.1.evil.com", "https://user@api.example.com", "https://api.example.com/v1",
                 "https://api.example.com?x=1", "ftp://api.example.com", "" })
            QVERIFY2(!OriginCheck::isAcceptable(QString::fromLatin1(origin)), origin);
    }

    void devOverridesReplaceOriginsAndHome()
    {
        qputenv("QUORVANE_API_BASE_URL", "http://127.0.0.1:4567/");
        QCOMPARE(CoreConstants::apiBaseURL(), u"http://127.0.0.1:4567"_s);
        QCOMPARE(CoreConstants::webSocketBaseURL(), u"ws://127.0.0.1:4567"_s);
        qputenv("QUORVANE_API_BASE_URL", "https://api.example.com");
        QCOMPARE(CoreConstants::webSocketBaseURL(), u"wss://api.example.com"_s);
        // A remote plain-http origin is ignored: the compiled-in https origin stays.
        qputenv("QUORVANE_API_BASE_URL", "http://api.example.com");
        QVERIFY(CoreConstants::apiBaseURL().startsWith("https://"_L1));
        qunsetenv("QUORVANE_API_BASE_URL");
        // Without the override the home comes from the account database, not $HOME.
        qputenv("HOME", "/nonexistent-home");
        QCOMPARE(CoreConstants::homeDirectory(), QString::fromLocal8Bit(getpwuid(getuid())->pw_dir));
    }

    void versionComparison()
    {
        // Remote, local (null: none), newer.
        const QList<std::tuple<QString, QString, bool>> cases { { u"1.10.0"_s, u"1.9.0"_s, true },
            { u"1.9.0"_s, u"1.10.0"_s, false }, { u"2.0.0"_s, u"2.0"_s, false },
            { u"1.2.0.1"_s, u"1.2"_s, true }, { u"9.9.9"_s, QString(), false },
            { u"1.4.0-beta"_s, u"1.4"_s, false }, // beta reads as 1.4
            { u"1.4.1"_s, u"1.4.0-beta"_s, true }, { u"2..3"_s, u"2.3"_s, false }, // empty pieces dropped
            { u"+2.0"_s, u"1.9"_s, true }, { u"0.0.1"_s, u"dev"_s, true },
            { u"99999999999999999999.1"_s, u"0.5"_s, true }, // an overflowing piece is dropped
            { u"-3.+4. 5"_s, u"-3.3"_s, true },
            // "quorvane 1" does not read as a number, so the local version reads as 2.9.
            { u"1.3.0"_s, u"quorvane 1.2.9"_s, false } };
        for (const auto& [remote, local, newer] : cases) {
            const std::optional<QString> localVersion = local.isNull() ? std::nullopt : std::optional(local);
            QCOMPARE(std::tuple(remote, local, VersionComparison::isNewer(remote, localVersion)),
                std::tuple(remote, local, newer));
        }
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
        QVERIFY(publisher);
        const QByteArray key = publisher->publicKey();
        const QByteArray archive = QByteArray(1000, 'a') + QByteArray::fromHex("00ff00");
        const QByteArray signature = publisher->sign(archive);
        const QString signatureText = ReleaseSignature::encodeBase64Url(signature);
        QVERIFY(ReleaseSignature::verify(key, archive, signature));
        QVERIFY(ReleaseSignature::verifyText(ReleaseSignature::encodeBase64Url(key), archive, signatureText));
        // Other bytes, another key, a flipped signature bit, wrong sizes, undecodable texts.
        QVERIFY(!ReleaseSignature::verify(key, QByteArray(archive).replace(10, 1, "b"), signature));
        QVERIFY(!ReleaseSignature::verify(Ed25519Key::generate()->publicKey(), archive, signature));
        QByteArray flipped = signature;
        flipped[5] = char(flipped[5] ^ 0x01);
        QVERIFY(!ReleaseSignature::verify(key, archive, flipped));
        QVERIFY(!ReleaseSignature::verify(key, archive, signature.left(63)));
        QVERIFY(!ReleaseSignature::verify(key.left(31), archive, signature));
        QVERIFY(!ReleaseSignature::verifyText(QString(), archive, signatureText));
        QVERIFY(
            !ReleaseSignature::verifyText(ReleaseSignature::encodeBase64Url(key), archive, u"not base64!"_s));
        // The empty message signs and verifies too.
        QVERIFY(ReleaseSignature::verify(key, QByteArrayView(), publisher->sign(QByteArray())));
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

QTEST_GUILESS_MAIN(TestCoreFormats)
#include "tst_CoreFormats.moc"
