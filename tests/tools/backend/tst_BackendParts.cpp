// Unit tests of the reference back-end's building blocks: the HTTP request
// parser, the control-interface peer rule and the signed-message checks.
#include "tools/backend/BackendRequestParser.h"
#include "tools/backend/ControlAccess.h"
#include "tools/backend/SignatureVerifier.h"

#include <QHostAddress>
#include <QtTest>

using namespace Qt::StringLiterals;

class tst_BackendParts : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void parser_data();
    void parser();
    void parserHelpers();
    void controlPeer_data();
    void controlPeer();
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
    QTest::newRow("head incomplete") << "GET / HTTP/1.1\r\nHost: x\r\n"_ba << int(Outcome::Incomplete) << 0
                                     << QByteArray() << qsizetype(0);
    const QByteArray post = "POST /x HTTP/1.1\r\nContent-Length: 5\r\n\r\nhello";
    QTest::newRow("body by length") << post + "GET" << int(Outcome::Complete) << 0 << "hello"_ba
                                    << post.size();
    QTest::newRow("body incomplete") << "POST /x HTTP/1.1\r\nContent-Length: 5\r\n\r\nhel"_ba
                                     << int(Outcome::Incomplete) << 0 << QByteArray() << qsizetype(0);
    const QByteArray chunked = "POST /x HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n2;ext=1\r\nde\r\n0\r\n\r\n";
    QTest::newRow("chunked body") << chunked << int(Outcome::Complete) << 0 << "abcde"_ba << chunked.size();
    QTest::newRow("chunk size not hex")
        << "POST /x HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\nab\r\n0\r\n\r\n"_ba
        << int(Outcome::Invalid) << 400 << QByteArray() << qsizetype(0);
    QTest::newRow("chunk not terminated")
        << "POST /x HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n2\r\nabX\r\n0\r\n\r\n"_ba
        << int(Outcome::Invalid) << 400 << QByteArray() << qsizetype(0);
    QTest::newRow("gzip transfer coding") << "POST /x HTTP/1.1\r\nTransfer-Encoding: gzip\r\n\r\n"_ba
                                          << int(Outcome::Invalid) << 501 << QByteArray() << qsizetype(0);
    QTest::newRow("length and chunked")
        << "POST /x HTTP/1.1\r\nContent-Length: 3\r\nTransfer-Encoding: chunked\r\n\r\n"_ba
        << int(Outcome::Invalid) << 400 << QByteArray() << qsizetype(0);
    QTest::newRow("conflicting lengths")
        << "POST /x HTTP/1.1\r\nContent-Length: 1\r\nContent-Length: 2\r\n\r\nab"_ba << int(Outcome::Invalid)
        << 400 << QByteArray() << qsizetype(0);
    QTest::newRow("body too large") << "POST /x HTTP/1.1\r\nContent-Length: 999999999\r\n\r\n"_ba
                                    << int(Outcome::Invalid) << 413 << QByteArray() << qsizetype(0);
    QTest::newRow("head too large") << "GET / HTTP/1.1\r\nX: "_ba + QByteArray(70000, 'a')
                                    << int(Outcome::Invalid) << 431 << QByteArray() << qsizetype(0);
    QTest::newRow("absolute target") << "GET http://evil/ HTTP/1.1\r\n\r\n"_ba << int(Outcome::Invalid) << 400
                                     << QByteArray() << qsizetype(0);
    QTest::newRow("folded header") << "GET / HTTP/1.1\r\nA: b\r\n c\r\n\r\n"_ba << int(Outcome::Invalid)
                                   << 400 << QByteArray() << qsizetype(0);
    QTest::newRow("header without colon")
        << "GET / HTTP/1.1\r\nAbc\r\n\r\n"_ba << int(Outcome::Invalid) << 400 << QByteArray() << qsizetype(0);
    QTest::newRow("binary in target")
        << "GET /\x01 HTTP/1.1\r\n\r\n"_ba << int(Outcome::Invalid) << 400 << QByteArray() << qsizetype(0);
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
    QCOMPARE(q.path(), u"/releases/files/a b"_s);
    QCOMPARE(q.rawQuery(), "x=1&login_hint=p%40q.r&empty="_ba);
    QCOMPARE(q.queryItem(u"login_hint"_s).value_or(QString()), u"p@q.r"_s);
    QVERIFY(q.queryItem(u"empty"_s).has_value());
    QVERIFY(!q.queryItem(u"missing"_s).has_value());
    QVERIFY(q.isWebSocketUpgrade());
    QVERIFY(q.keepAlive());
    QCOMPARE(q.header("upgrade"), "WebSocket"_ba);

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
    QTest::newRow("127.0.0.1") << u"127.0.0.1"_s << true;
    QTest::newRow("127.255.255.254") << u"127.255.255.254"_s << true;
    QTest::newRow("::1") << u"::1"_s << true;
    QTest::newRow("mapped loopback") << u"::ffff:127.0.0.1"_s << true;
    QTest::newRow("lan") << u"192.168.1.5"_s << false;
    QTest::newRow("128.0.0.1") << u"128.0.0.1"_s << false;
    QTest::newRow("any v4") << u"0.0.0.0"_s << false;
    QTest::newRow("global v6") << u"2001:db8::1"_s << false;
    QTest::newRow("null") << QString() << false;
}

void tst_BackendParts::controlPeer()
{
    QFETCH(QString, address);
    QFETCH(bool, allowed);
    QCOMPARE(ControlAccess::isAllowedPeer(QHostAddress(address)), allowed);
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
    const QString match = u"unknown machine"_s;
    const QString mismatch = u"signed message does not match the request"_s;
    QTest::newRow("plain path") << req("GET", "/actions/pending") << QByteArray("m-1:" + ts + ":GET /actions/pending") << match;
    QTest::newRow("query raw") << req("GET", "/actions/pending?limit=5")
                               << QByteArray("m-1:" + ts + ":GET /actions/pending?limit=5") << match;
    QTest::newRow("percent-decoded path")
        << req("DELETE", "/machines/a%20b") << QByteArray("m-1:" + ts + ":DELETE /machines/a b") << match;
    QTest::newRow("method swapped") << req("DELETE", "/trust-window") << QByteArray("m-1:" + ts + ":GET /trust-window") << mismatch;
    QTest::newRow("post body") << req("POST", "/trust-window", "{\"duration_minutes\":5}")
                               << QByteArray("m-1:" + ts + ":{\"duration_minutes\":5}") << match;
    QTest::newRow("post body changed") << req("POST", "/trust-window", "{\"duration_minutes\":50}")
                                       << QByteArray("m-1:" + ts + ":{\"duration_minutes\":5}")
                                       << u"signed message does not match the body"_s;
    QTest::newRow("other machine named") << req("GET", "/x") << QByteArray("m-2:" + ts + ":GET /x")
                                         << u"signed message does not name the machine"_s;
    QTest::newRow("timestamp old") << req("GET", "/x")
                                   << QByteArray("m-1:" + QByteArray::number(now - 300001) + ":GET /x")
                                   << u"timestamp out of range"_s;
    QTest::newRow("timestamp at the limit") << req("GET", "/x") << QByteArray("m-1:" + QByteArray::number(now - 300000) + ":GET /x")
                                            << match;
    QTest::newRow("timestamp future")
        << req("GET", "/x") << QByteArray("m-1:" + QByteArray::number(now + 300001) + ":GET /x")
        << u"timestamp out of range"_s;
    QTest::newRow("no second colon") << req("GET", "/x") << QByteArray("m-1:" + ts)
                                     << u"malformed signed message"_s;
    QTest::newRow("PATCH") << req("PATCH", "/x") << QByteArray("m-1:" + ts + ":")
                           << u"method cannot be signed"_s;
}

void tst_BackendParts::signedTargets()
{
    QFETCH(QByteArray, requestText);
    QFETCH(QByteArray, message);
    QFETCH(QString, reason);
    auto parsed = BackendRequestParser::parse(requestText);
    QCOMPARE(parsed.outcome, Outcome::Complete);
    BackendRequest request = parsed.request;
    request.headers.append({ "X-Machine-Id"_ba, "m-1"_ba });
    request.headers.append({ "X-Signature"_ba, QByteArray(86, 'A') });
    request.headers.append({ "X-Signed-Message"_ba, message });
    bool asked = false;
    const auto check = SignatureVerifier::check(
        request,
        [&](const QString& id) -> std::optional<QByteArray> {
            asked = true;
            [&] { QCOMPARE(id, u"m-1"_s); }();
            return std::nullopt;
        },
        1'700'000'000'000);
    QVERIFY(!check.ok);
    QCOMPARE(check.reason, reason);
    QCOMPARE(asked, reason == "unknown machine"_L1);
}

QTEST_GUILESS_MAIN(tst_BackendParts)
#include "tst_BackendParts.moc"
