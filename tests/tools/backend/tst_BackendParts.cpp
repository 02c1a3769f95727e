// Unit tests of the reference back-end's building blocks: the HTTP request
// parser, the control-interface peer rule, base64url and the Ed25519 verifier.
#include "tools/backend/BackendRequestParser.h"
#include "tools/backend/ControlAccess.h"
#include "tools/backend/SignatureVerifier.h"

#include <QHostAddress>
#include <QtTest>

class tst_BackendParts : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void parser_data();
    void parser();
    void parserHelpers();
    void controlPeer_data();
    void controlPeer();
    void base64Url_data();
    void base64Url();
    void ed25519KnownVector();
    void signedTargets_data();
    void signedTargets();
};

using Outcome = BackendRequestParser::Outcome;

void tst_BackendParts::parser_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<int>("outcome");
    QTest::addColumn<int>("errorStatus");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<qsizetype>("consumed");

    const QByteArray get = "GET /actions/pending HTTP/1.1\r\nHost: x\r\n\r\n";
    QTest::newRow("simple GET") << get << int(Outcome::Complete) << 0 << QByteArray() << get.size();
    QTest::newRow("two pipelined: first only") << get + get << int(Outcome::Complete) << 0 << QByteArray()
                                               << get.size();
    QTest::newRow("head incomplete") << QByteArray("GET / HTTP/1.1\r\nHost: x\r\n") << int(Outcome::Incomplete) << 0
                                     << QByteArray() << qsizetype(0);
    const QByteArray post = "POST /x HTTP/1.1\r\nContent-Length: 5\r\n\r\nhello";
    QTest::newRow("body by length") << post + "GET" << int(Outcome::Complete) << 0 << QByteArray("hello")
                                    << post.size();
    QTest::newRow("body incomplete") << QByteArray("POST /x HTTP/1.1\r\nContent-Length: 5\r\n\r\nhel")
                                     << int(Outcome::Incomplete) << 0 << QByteArray() << qsizetype(0);
    const QByteArray chunked = "POST /x HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n2;ext=1\r\nde\r\n0\r\n\r\n";
    QTest::newRow("chunked body") << chunked << int(Outcome::Complete) << 0 << QByteArray("abcde") << chunked.size();
    QTest::newRow("chunked incomplete") << QByteArray("POST /x HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nab")
                                        << int(Outcome::Incomplete) << 0 << QByteArray() << qsizetype(0);
    QTest::newRow("chunk size not hex")
        << QByteArray("POST /x HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\nab\r\n0\r\n\r\n")
        << int(Outcome::Invalid) << 400 << QByteArray() << qsizetype(0);
    QTest::newRow("chunk not terminated")
        << QByteArray("POST /x HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n2\r\nabX\r\n0\r\n\r\n")
        << int(Outcome::Invalid) << 400 << QByteArray() << qsizetype(0);
    QTest::newRow("gzip transfer coding") << QByteArray("POST /x HTTP/1.1\r\nTransfer-Encoding: gzip\r\n\r\n")
                                          << int(Outcome::Invalid) << 501 << QByteArray() << qsizetype(0);
    QTest::newRow("length and chunked")
        << QByteArray("POST /x HTTP/1.1\r\nContent-Length: 3\r\nTransfer-Encoding: chunked\r\n\r\n")
        << int(Outcome::Invalid) << 400 << QByteArray() << qsizetype(0);
    QTest::newRow("negative length") << QByteArray("POST /x HTTP/1.1\r\nContent-Length: -1\r\n\r\n")
                                     << int(Outcome::Invalid) << 400 << QByteArray() << qsizetype(0);
    QTest::newRow("conflicting lengths")
        << QByteArray("POST /x HTTP/1.1\r\nContent-Length: 1\r\nContent-Length: 2\r\n\r\nab")
        << int(Outcome::Invalid) << 400 << QByteArray() << qsizetype(0);
    QTest::newRow("body too large") << QByteArray("POST /x HTTP/1.1\r\nContent-Length: 999999999\r\n\r\n")
                                    << int(Outcome::Invalid) << 413 << QByteArray() << qsizetype(0);
    QTest::newRow("head too large") << QByteArray("GET / HTTP/1.1\r\nX: ") + QByteArray(70000, 'a')
                                    << int(Outcome::Invalid) << 431 << QByteArray() << qsizetype(0);
    QTest::newRow("absolute target") << QByteArray("GET http://evil/ HTTP/1.1\r\n\r\n") << int(Outcome::Invalid)
                                     << 400 << QByteArray() << qsizetype(0);
    QTest::newRow("HTTP/2.0") << QByteArray("GET / HTTP/2.0\r\n\r\n") << int(Outcome::Invalid) << 400
                              << QByteArray() << qsizetype(0);
    QTest::newRow("missing version") << QByteArray("GET /\r\n\r\n") << int(Outcome::Invalid) << 400
                                     << QByteArray() << qsizetype(0);
    QTest::newRow("folded header") << QByteArray("GET / HTTP/1.1\r\nA: b\r\n c\r\n\r\n") << int(Outcome::Invalid)
                                   << 400 << QByteArray() << qsizetype(0);
    QTest::newRow("header without colon") << QByteArray("GET / HTTP/1.1\r\nAbc\r\n\r\n") << int(Outcome::Invalid)
                                          << 400 << QByteArray() << qsizetype(0);
    QTest::newRow("space before colon") << QByteArray("GET / HTTP/1.1\r\nA b: c\r\n\r\n") << int(Outcome::Invalid)
                                        << 400 << QByteArray() << qsizetype(0);
    QTest::newRow("binary in target") << QByteArray("GET /\x01 HTTP/1.1\r\n\r\n") << int(Outcome::Invalid) << 400
                                      << QByteArray() << qsizetype(0);
}

void tst_BackendParts::parser()
{
    QFETCH(QByteArray, input);
    QFETCH(int, outcome);
    QFETCH(int, errorStatus);
    QFETCH(QByteArray, body);
    QFETCH(qsizetype, consumed);

    const auto result = BackendRequestParser::parse(input);
    QCOMPARE(int(result.outcome), outcome);
    if (result.outcome == Outcome::Invalid) {
        QCOMPARE(result.errorStatus, errorStatus);
        QVERIFY(!result.error.isEmpty());
    }
    if (result.outcome == Outcome::Complete) {
        QCOMPARE(result.request.body, body);
        QCOMPARE(result.consumed, consumed);
    }
}

void tst_BackendParts::parserHelpers()
{
    const auto r = BackendRequestParser::parse(
        "GET /releases/files/a%20b?x=1&login_hint=p%40q.r&empty= HTTP/1.1\r\nconnection: Keep-Alive, Upgrade\r\n"
        "UPGRADE: WebSocket\r\nExpect: 100-continue\r\n\r\n");
    QCOMPARE(r.outcome, Outcome::Complete);
    const BackendRequest& q = r.request;
    QCOMPARE(q.path(), QStringLiteral("/releases/files/a b"));
    QCOMPARE(q.rawQuery(), QByteArray("x=1&login_hint=p%40q.r&empty="));
    QCOMPARE(q.queryItem(QStringLiteral("login_hint")).value_or(QString()), QStringLiteral("p@q.r"));
    QVERIFY(q.queryItem(QStringLiteral("empty")).has_value());
    QVERIFY(!q.queryItem(QStringLiteral("missing")).has_value());
    QVERIFY(q.isWebSocketUpgrade());
    QVERIFY(q.keepAlive());
    QCOMPARE(q.header("upgrade"), QByteArray("WebSocket"));

    const auto old = BackendRequestParser::parse("GET / HTTP/1.0\r\n\r\n");
    QVERIFY(!old.request.keepAlive());
    const auto closing = BackendRequestParser::parse("GET / HTTP/1.1\r\nConnection: close\r\n\r\n");
    QVERIFY(!closing.request.keepAlive());

    const auto waiting = BackendRequestParser::parse("POST / HTTP/1.1\r\nExpect: 100-continue\r\nContent-Length: 4\r\n\r\n");
    QCOMPARE(waiting.outcome, Outcome::Incomplete);
    QVERIFY(waiting.headComplete);
    QVERIFY(waiting.expectsContinue);
}

void tst_BackendParts::controlPeer_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<bool>("allowed");
    QTest::newRow("127.0.0.1") << QStringLiteral("127.0.0.1") << true;
    QTest::newRow("127.0.0.2") << QStringLiteral("127.0.0.2") << true;
    QTest::newRow("127.255.255.254") << QStringLiteral("127.255.255.254") << true;
    QTest::newRow("::1") << QStringLiteral("::1") << true;
    QTest::newRow("mapped loopback") << QStringLiteral("::ffff:127.0.0.1") << true;
    QTest::newRow("lan") << QStringLiteral("192.168.1.5") << false;
    QTest::newRow("128.0.0.1") << QStringLiteral("128.0.0.1") << false;
    QTest::newRow("126.255.255.255") << QStringLiteral("126.255.255.255") << false;
    QTest::newRow("mapped lan") << QStringLiteral("::ffff:10.0.0.1") << false;
    QTest::newRow("any v4") << QStringLiteral("0.0.0.0") << false;
    QTest::newRow("any v6") << QStringLiteral("::") << false;
    QTest::newRow("global v6") << QStringLiteral("2001:db8::1") << false;
    QTest::newRow("::2") << QStringLiteral("::2") << false;
    QTest::newRow("null") << QString() << false;
}

void tst_BackendParts::controlPeer()
{
    QFETCH(QString, address);
    QFETCH(bool, allowed);
    QCOMPARE(ControlAccess::isAllowedPeer(QHostAddress(address)), allowed);
}

void tst_BackendParts::base64Url_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("empty") << QByteArray() << true << QByteArray();
    QTest::newRow("unpadded") << QByteArray("-_8") << true << QByteArray("\xfb\xff", 2);
    QTest::newRow("padded tolerated") << QByteArray("-_8=") << true << QByteArray("\xfb\xff", 2);
    QTest::newRow("standard alphabet refused") << QByteArray("+/8") << false << QByteArray();
    QTest::newRow("space refused") << QByteArray("ab c") << false << QByteArray();
    QTest::newRow("impossible length") << QByteArray("abcde") << false << QByteArray();
}

void tst_BackendParts::base64Url()
{
    QFETCH(QByteArray, text);
    QFETCH(bool, ok);
    QFETCH(QByteArray, bytes);
    const auto decoded = SignatureVerifier::decodeBase64Url(text);
    QCOMPARE(decoded.has_value(), ok);
    if (ok)
        QCOMPARE(*decoded, bytes);
}

void tst_BackendParts::ed25519KnownVector()
{
    // RFC 8032 section 7.1, test 1 (empty message) and test 2 (one byte 0x72).
    const QByteArray key1 = QByteArray::fromHex("d75a980182b10ab7d54bfed3c964073a0ee172f3daa62325af021a68f707511a");
    const QByteArray sig1 = QByteArray::fromHex(
        "e5564300c360ac729086e2cc806e828a84877f1eb8e5d974d873e065224901555fb8821590a33bacc61e39701cf9b46bd25bf5f0595bbe24655141438e7a100b");
    const QByteArray key2 = QByteArray::fromHex("3d4017c3e843895a92b70aa74d1b7ebc9c982ccf2ec4968cc0cd55f12af4660c");
    const QByteArray sig2 = QByteArray::fromHex(
        "92a009a9f0d4cab8720e820b5f642540a2b27b5416503f8fb3762223ebdb69da085ac1e43e15996e458f3613d0f11d8c387b2eaeb4302aeeb00d291612bb0c00");
    QVERIFY(SignatureVerifier::verifyEd25519(key1, QByteArray(), sig1));
    QVERIFY(SignatureVerifier::verifyEd25519(key2, QByteArray("\x72"), sig2));
    QVERIFY(!SignatureVerifier::verifyEd25519(key1, QByteArray("\x72"), sig1));    // other message
    QVERIFY(!SignatureVerifier::verifyEd25519(key2, QByteArray(), sig1));          // other key
    QByteArray flipped = sig2;
    flipped[10] = char(flipped[10] ^ 1);
    QVERIFY(!SignatureVerifier::verifyEd25519(key2, QByteArray("\x72"), flipped));
    QVERIFY(!SignatureVerifier::verifyEd25519(key2.left(31), QByteArray("\x72"), sig2)); // short key
    QVERIFY(!SignatureVerifier::verifyEd25519(key2, QByteArray("\x72"), sig2.left(63)));
}

void tst_BackendParts::signedTargets_data()
{
    // The verifier is given a lookup that knows no machine, so a request whose
    // message matches gets as far as "unknown machine"; one that does not match
    // is refused for that first.
    QTest::addColumn<QByteArray>("requestText");
    QTest::addColumn<QByteArray>("message");
    QTest::addColumn<QString>("reason");
    const qint64 now = 1'700'000'000'000;
    const QByteArray ts = QByteArray::number(now);
    auto req = [&](const QByteArray& method, const QByteArray& target, const QByteArray& body = {}) -> QByteArray {
        return method + ' ' + target + " HTTP/1.1\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n\r\n"
            + body;
    };
    const QString match = QStringLiteral("unknown machine");
    const QString mismatch = QStringLiteral("signed message does not match the request");
    QTest::newRow("plain path") << req("GET", "/actions/pending") << QByteArray("m-1:" + ts + ":GET /actions/pending") << match;
    QTest::newRow("query raw") << req("GET", "/actions/pending?limit=5")
                               << QByteArray("m-1:" + ts + ":GET /actions/pending?limit=5") << match;
    QTest::newRow("query missing") << req("GET", "/actions/pending?limit=5") << QByteArray("m-1:" + ts + ":GET /actions/pending")
                                   << mismatch;
    QTest::newRow("percent-decoded path") << req("DELETE", "/machines/a%20b") << QByteArray("m-1:" + ts + ":DELETE /machines/a b")
                                          << match;
    QTest::newRow("encoded path in message") << req("DELETE", "/machines/a%20b")
                                             << QByteArray("m-1:" + ts + ":DELETE /machines/a%20b") << mismatch;
    QTest::newRow("method swapped") << req("DELETE", "/trust-window") << QByteArray("m-1:" + ts + ":GET /trust-window") << mismatch;
    QTest::newRow("post body") << req("POST", "/trust-window", "{\"duration_minutes\":5}")
                               << QByteArray("m-1:" + ts + ":{\"duration_minutes\":5}") << match;
    QTest::newRow("post empty body") << req("POST", "/x") << QByteArray("m-1:" + ts + ":") << match;
    QTest::newRow("post body changed") << req("POST", "/trust-window", "{\"duration_minutes\":50}")
                                       << QByteArray("m-1:" + ts + ":{\"duration_minutes\":5}")
                                       << QStringLiteral("signed message does not match the body");
    QTest::newRow("other machine named") << req("GET", "/x") << QByteArray("m-2:" + ts + ":GET /x")
                                         << QStringLiteral("signed message does not name the machine");
    QTest::newRow("timestamp letters") << req("GET", "/x") << QByteArray("m-1:12ab:GET /x") << QStringLiteral("malformed timestamp");
    QTest::newRow("timestamp old") << req("GET", "/x") << QByteArray("m-1:" + QByteArray::number(now - 300001) + ":GET /x")
                                   << QStringLiteral("timestamp out of range");
    QTest::newRow("timestamp at the limit") << req("GET", "/x") << QByteArray("m-1:" + QByteArray::number(now - 300000) + ":GET /x")
                                            << match;
    QTest::newRow("timestamp future") << req("GET", "/x") << QByteArray("m-1:" + QByteArray::number(now + 300001) + ":GET /x")
                                      << QStringLiteral("timestamp out of range");
    QTest::newRow("no second colon") << req("GET", "/x") << QByteArray("m-1:" + ts) << QStringLiteral("malformed signed message");
    QTest::newRow("PATCH") << req("PATCH", "/x") << QByteArray("m-1:" + ts + ":") << QStringLiteral("method cannot be signed");
}

void tst_BackendParts::signedTargets()
{
    QFETCH(QByteArray, requestText);
    QFETCH(QByteArray, message);
    QFETCH(QString, reason);
    auto parsed = BackendRequestParser::parse(requestText);
    QCOMPARE(parsed.outcome, Outcome::Complete);
    BackendRequest request = parsed.request;
    request.headers.append({QByteArray("X-Machine-Id"), QByteArray("m-1")});
    request.headers.append({QByteArray("X-Signature"), QByteArray(86, 'A')});
    request.headers.append({QByteArray("X-Signed-Message"), message});
    bool asked = false;
    const auto check = SignatureVerifier::check(
        request,
        [&](const QString& id) -> std::optional<QByteArray> {
            asked = true;
            [&] { QCOMPARE(id, QStringLiteral("m-1")); }();
            return std::nullopt;
        },
        1'700'000'000'000);
    QVERIFY(!check.ok);
    QCOMPARE(check.reason, reason);
    QCOMPARE(asked, reason == QLatin1String("unknown machine"));
}

QTEST_GUILESS_MAIN(tst_BackendParts)
#include "tst_BackendParts.moc"
