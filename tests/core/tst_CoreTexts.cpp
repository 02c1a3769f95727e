#include "core/ApiUrl.h"
#include "core/CoreConstants.h"
#include "core/JsonText.h"
#include "core/LinkOutcome.h"
#include "core/OriginCheck.h"
#include "core/ProgressPercent.h"
#include "core/UserEvent.h"
#include "core/VisibleText.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>
#include <limits>
#include <pwd.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

// Texts that cross the program's edges: outside text as a window shows it, values spliced into
// request bodies and paths, stream frames and link answers read back, and where requests go.
class TestCoreTexts : public QObject
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
    void escapedJson_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QByteArray>("escaped");
        QTest::newRow("ordinary") << u"approved"_s << "approved"_ba;
        QTest::newRow("quote") << u"a\"b"_s << "a\\\"b"_ba;
        QTest::newRow("backslash") << u"a\\b"_s << "a\\\\b"_ba;
        QTest::newRow("newline") << u"a\nb"_s << "a\\nb"_ba;
        QTest::newRow("control") << QString(QChar(0x01)) << "\\u0001"_ba;
        QTest::newRow("unicode kept") << u"é✓"_s << u"é✓"_s.toUtf8();
        QTest::newRow("injection") << u"x\",\"create_rule\":{\"scope\":\"global\"}}"_s
                                   << "x\\\",\\\"create_rule\\\":{\\\"scope\\\":\\\"global\\\"}}"_ba;
    }
    void escapedJson()
    {
        QFETCH(QString, value);
        QFETCH(QByteArray, escaped);
        QCOMPARE(JsonText::escaped(value), escaped);
        const QJsonDocument document = QJsonDocument::fromJson("{\"v\":\"" + escaped + "\"}");
        QCOMPARE(document.object().size(), 1);
        QCOMPARE(document.object().value("v"_L1).toString(), value);
    }

    // An id put into a path stays one segment; dot segments the server would resolve are refused.
    void pathSegment_data()
    {
        QTest::addColumn<QString>("id");
        QTest::addColumn<QString>("path"); // null: no valid address
        QTest::newRow("ordinary") << u"act-123_x.y~"_s << u"/approvals/act-123_x.y~/respond"_s;
        QTest::newRow("slash") << u"../../machines/m"_s << u"/approvals/..%2F..%2Fmachines%2Fm/respond"_s;
        QTest::newRow("dot dot") << u".."_s << QString();
        QTest::newRow("dot") << u"."_s << QString();
        QTest::newRow("encoded dot dot") << u"%2E%2E"_s << u"/approvals/%252E%252E/respond"_s;
        QTest::newRow("query") << u"a?admin=1#f"_s << u"/approvals/a%3Fadmin%3D1%23f/respond"_s;
        QTest::newRow("host") << u"@evil.com"_s << u"/approvals/%40evil.com/respond"_s;
        QTest::newRow("space") << u"a b"_s << u"/approvals/a%20b/respond"_s;
    }
    void pathSegment()
    {
        QFETCH(QString, id);
        QFETCH(QString, path);
        qputenv("QUORVANE_API_BASE_URL", "http://127.0.0.1:9");
        const QUrl url = ApiUrl::endpoint(u"/approvals/"_s + ApiUrl::pathSegment(id) + u"/respond"_s);
        qunsetenv("QUORVANE_API_BASE_URL");
        QCOMPARE(url.isValid(), !path.isNull());
        if (path.isNull())
            return;
        QCOMPARE(url.authority(), u"127.0.0.1:9"_s);
        QVERIFY(!url.hasQuery() && !url.hasFragment());
        QCOMPARE(url.path(QUrl::FullyEncoded), path);
    }

    void userEventFrames_data()
    {
        QTest::addColumn<QString>("frame");
        QTest::addColumn<int>("kind"); // -1: not an event
        QTest::addColumn<QString>("text"); // the action id, the rules version or the raw frame
        QTest::addColumn<bool>("active");
        using K = UserEvent::Kind;
        const int pending = int(K::actionPending);
        const int trust = int(K::trustWindowChanged);
        QTest::newRow("action") << uR"({"type":"action_pending","actionId":"a-1"})"_s << pending << u"a-1"_s
                                << false;
        QTest::newRow("action without id")
            << uR"({"type":"action_pending"})"_s << pending << QString() << false;
        QTest::newRow("action id of another type")
            << uR"({"type":"action_pending","actionId":7})"_s << pending << QString() << false;
        QTest::newRow("snake-case id is not read")
            << uR"({"type":"action_pending","action_id":"x"})"_s << pending << QString() << false;
        QTest::newRow("rules") << uR"({"type":"rules_changed","version":"v9","extra":[1]})"_s
                               << int(K::rulesChanged) << u"v9"_s << false;
        QTest::newRow("trust on") << uR"({"type":"trust_window_changed","active":true})"_s << trust
                                  << QString() << true;
        QTest::newRow("trust as text")
            << uR"({"type":"trust_window_changed","active":"yes"})"_s << trust << QString() << false;
        const QString other = uR"({"type":"hello", "n":1})"_s;
        QTest::newRow("unknown keeps raw") << other << int(K::unknown) << other << false;
        QTest::newRow("array") << uR"([{"type":"action_pending"}])"_s << -1 << QString() << false;
        QTest::newRow("no type") << uR"({"actionId":"a"})"_s << -1 << QString() << false;
        QTest::newRow("truncated") << u"{\"type\":\"action_pen"_s << -1 << QString() << false;
        QTest::newRow("empty") << QString() << -1 << QString() << false;
        QTest::newRow("deep nesting") << u"["_s.repeated(100000) << -1 << QString() << false;
    }
    void userEventFrames()
    {
        QFETCH(QString, frame);
        QFETCH(int, kind);
        QFETCH(QString, text);
        QFETCH(bool, active);
        const std::optional<UserEvent> event = UserEvent::fromFrame(frame);
        QCOMPARE(event ? int(event->kind) : -1, kind);
        if (!event)
            return;
        QCOMPARE(event->active, active);
        QCOMPARE(event->actionId + event->version + event->raw, text);
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
};

QTEST_GUILESS_MAIN(TestCoreTexts)
#include "tst_CoreTexts.moc"
