#include "core/HttpResponseParser.h"

#include <QTest>

using Outcome = HttpResponseParser::Outcome;

Q_DECLARE_METATYPE(HttpResponseParser::Outcome)

namespace {

constexpr const char* closedEarly = "connection closed before the answer ended";

QByteArray repeated(char c, qsizetype count)
{
    return QByteArray(count, c);
}

} // namespace

// The poll connection's answers: how long each body is, whether the connection
// can carry the next request, and what makes an answer unusable.
class TestHttpResponseParser : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void completeAnswers_data()
    {
        QTest::addColumn<QByteArray>("wire");
        QTest::addColumn<bool>("endOfStream");
        QTest::addColumn<bool>("answersHead");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QByteArray>("leftOver"); // the next answer's bytes, not consumed
        QTest::addColumn<bool>("keepAlive");

        QTest::newRow("length") << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhelloHTTP") << false
                                << false << 200 << QByteArray("hello") << QByteArray("HTTP") << true;
        QTest::newRow("length zero, no reason") << QByteArray("HTTP/1.1 200\r\nContent-Length: 0\r\n\r\n") << false
                                                << false << 200 << QByteArray() << QByteArray() << true;
        QTest::newRow("same length twice")
            << QByteArray("HTTP/1.1 404 Not Found\r\ncontent-length: 2\r\nContent-Length:  2 \r\n\r\nno")
            << false << false << 404 << QByteArray("no") << QByteArray() << true;
        QTest::newRow("chunked, extension and trailer")
            << QByteArray("HTTP/1.1 200 OK\r\nTransfer-Encoding: Chunked\r\n\r\n4;name=value\r\nWiki\r\n"
                          "b \r\npedia in 11\r\n0\r\nExpires: never\r\n\r\nHTTP/1.1")
            << false << false << 200 << QByteArray("Wikipedia in 11") << QByteArray("HTTP/1.1") << true;
        QTest::newRow("to the close") << QByteArray("HTTP/1.1 200 OK\r\n\r\nall of it\r\n\r\n") << true << false
                                      << 200 << QByteArray("all of it\r\n\r\n") << QByteArray() << false;
        QTest::newRow("1.0 to the close, keep-alive asked")
            << QByteArray("HTTP/1.0 200 OK\r\nConnection: keep-alive\r\n\r\nx") << true << false << 200
            << QByteArray("x") << QByteArray() << false;
        QTest::newRow("1.0 keep-alive with a length")
            << QByteArray("HTTP/1.0 200 OK\r\nConnection: Keep-Alive\r\nContent-Length: 1\r\n\r\nx") << false
            << false << 200 << QByteArray("x") << QByteArray() << true;
        QTest::newRow("1.0 without keep-alive") << QByteArray("HTTP/1.0 200 OK\r\nContent-Length: 1\r\n\r\nx")
                                                << false << false << 200 << QByteArray("x") << QByteArray() << false;
        QTest::newRow("close among the connection options")
            << QByteArray("HTTP/1.1 200 OK\r\nConnection: keep-alive\r\nConnection: TE, Close\r\n"
                          "Content-Length: 1\r\n\r\nx")
            << false << false << 200 << QByteArray("x") << QByteArray() << false;
        QTest::newRow("interim answers skipped")
            << QByteArray("HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 103 Early Hints\r\nLink: </a>\r\n\r\n"
                          "HTTP/1.1 201 Created\r\nContent-Length: 2\r\n\r\nok")
            << false << false << 201 << QByteArray("ok") << QByteArray() << true;
        QTest::newRow("101 is the last answer")
            << QByteArray("HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\n\r\nframe") << false
            << false << 101 << QByteArray() << QByteArray("frame") << false;
        QTest::newRow("204 whatever its length says")
            << QByteArray("HTTP/1.1 204 No Content\r\nContent-Length: 10\r\n\r\nHTTP") << false << false << 204
            << QByteArray() << QByteArray("HTTP") << true;
        QTest::newRow("304 whatever its coding says")
            << QByteArray("HTTP/1.1 304 Not Modified\r\nTransfer-Encoding: chunked\r\n\r\n") << false << false
            << 304 << QByteArray() << QByteArray() << true;
        QTest::newRow("answer to HEAD")
            << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 900000000\r\n\r\nHTTP") << false << true << 200
            << QByteArray() << QByteArray("HTTP") << true;
    }

    void completeAnswers()
    {
        QFETCH(QByteArray, wire);
        QFETCH(bool, endOfStream);
        QFETCH(bool, answersHead);
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QByteArray, leftOver);
        QFETCH(bool, keepAlive);

        const auto result = HttpResponseParser::parse(wire, endOfStream, {}, answersHead);
        QCOMPARE(result.outcome, Outcome::Complete);
        QCOMPARE(result.status, status);
        QCOMPARE(result.body, body);
        QCOMPARE(result.consumed, wire.size() - leftOver.size());
        QCOMPARE(result.keepAlive, keepAlive);
        QVERIFY(result.error.isEmpty());
    }

    // Names stay as sent and values lose their surrounding blanks; the first of a name wins.
    void headers()
    {
        const auto result = HttpResponseParser::parse(
            "HTTP/1.1 200 OK\r\nX-Poll-After:\t15 \r\nx-poll-after: 30\r\nETag: \"a b\"\r\nContent-Length: 0\r\n\r\n",
            false, {});
        QCOMPARE(result.outcome, Outcome::Complete);
        QCOMPARE(result.headers.size(), 4);
        QCOMPARE(result.headers.at(0).first, QByteArray("X-Poll-After"));
        QCOMPARE(result.header("X-POLL-AFTER"), QByteArray("15"));
        QCOMPARE(result.header("etag"), QByteArray("\"a b\""));
        QVERIFY(result.header("Retry-After").isEmpty());
    }

    void invalidAnswers_data()
    {
        QTest::addColumn<QByteArray>("wire");
        QTest::addColumn<bool>("endOfStream");
        QTest::addColumn<QByteArray>("error");

        const QByteArray ok = "HTTP/1.1 200 OK\r\n";
        const QByteArray chunked = ok + "Transfer-Encoding: chunked\r\n\r\n";
        const QByteArray badStatus = "malformed status line";
        for (const char* line : {"HTTP/2 200 OK", "HTTP/1.2 200 OK", "http/1.1 200 OK", "HTTP/1.1 20 OK",
                 "HTTP/1.1 2000 OK", "HTTP/1.1 600 Beyond", "HTTP/1.1 099 Low", "HTTP/1.1200 OK",
                 "HTTP/1.1  200 OK", "HTTP/1.1 2x0 OK", "HTTP/1.1 200 O\x01K", "ICY 200 OK"})
            QTest::newRow(line) << QByteArray(line).append("\r\nContent-Length: 0\r\n\r\n") << false << badStatus;

        QTest::newRow("folded header") << ok + "X-A: b\r\n c\r\nContent-Length: 0\r\n\r\n" << false
                                       << QByteArray("folded");
        QTest::newRow("space in a name") << ok + "Content Length: 0\r\n\r\n" << false
                                         << QByteArray("malformed header line");
        QTest::newRow("space before the colon") << ok + "Content-Length : 0\r\n\r\n" << false
                                                << QByteArray("malformed header line");
        QTest::newRow("empty name") << ok + ": 0\r\n\r\n" << false << QByteArray("malformed header line");
        QTest::newRow("no colon") << ok + "Content-Length 0\r\n\r\n" << false
                                  << QByteArray("malformed header line");
        QTest::newRow("control character in a value") << ok + "X-A: a\x01" "b\r\n\r\n" << false
                                                       << QByteArray("control character");
        QTest::newRow("delete in a value") << ok + "X-A: a\x7f\r\n\r\n" << false
                                           << QByteArray("control character");
        QTest::newRow("bare carriage return in a value") << ok + "X-A: a\rb\r\n\r\n" << false
                                                         << QByteArray("control character");
        QTest::newRow("malformed interim answer") << "HTTP/1.1 100 Continue\r\nbad\r\n\r\n" + ok + "\r\n" << false
                                                  << QByteArray("malformed header line");

        const QByteArray badLength = "malformed Content-Length";
        for (const char* value : {"5a", "-1", "+5", "5, 5", "", "0x5", "1234567890123456789"})
            QTest::newRow(QByteArray("Content-Length: ").append(value).constData())
                << ok + "Content-Length: " + value + "\r\n\r\n12345" << false << badLength;
        QTest::newRow("lengths that disagree") << ok + "Content-Length: 5\r\nContent-Length: 6\r\n\r\n123456"
                                               << false << badLength;

        QTest::newRow("chunked and a length") << ok + "Transfer-Encoding: chunked\r\nContent-Length: 3\r\n\r\n"
                                              << false << QByteArray("both");
        QTest::newRow("another coding") << ok + "Transfer-Encoding: gzip, chunked\r\n\r\n" << false
                                        << QByteArray("unsupported transfer encoding");
        QTest::newRow("chunked twice") << ok + "Transfer-Encoding: chunked\r\nTransfer-Encoding: chunked\r\n\r\n"
                                       << false << QByteArray("unsupported transfer encoding");
        QTest::newRow("empty coding") << ok + "Transfer-Encoding:\r\n\r\n" << false
                                      << QByteArray("unsupported transfer encoding");
        QTest::newRow("chunk size not hex") << chunked + "zz\r\n" << false << QByteArray("malformed chunk size");
        QTest::newRow("chunk size with 0x") << chunked + "0x5\r\nhello\r\n0\r\n\r\n" << false
                                            << QByteArray("malformed chunk size");
        QTest::newRow("chunk size signed") << chunked + "+5\r\nhello\r\n0\r\n\r\n" << false
                                           << QByteArray("malformed chunk size");
        QTest::newRow("empty chunk size") << chunked + "\r\n" << false << QByteArray("malformed chunk size");
        QTest::newRow("chunk size of nine digits") << chunked + "000000001\r\nx\r\n0\r\n\r\n" << false
                                                   << QByteArray("malformed chunk size");
        QTest::newRow("chunk longer than announced") << chunked + "3\r\nabcd\r\n0\r\n\r\n" << false
                                                     << QByteArray("chunk not terminated");
        QTest::newRow("chunk size line without end") << chunked + "1;" + repeated('x', 1100) << false
                                                     << QByteArray("chunk size line too long");
        QTest::newRow("chunk size line too long, end sent")
            << chunked + "1;" + repeated('x', 1100) + "\r\nx\r\n0\r\n\r\n" << false
            << QByteArray("chunk size line too long");

        const QByteArray cut = closedEarly;
        QTest::newRow("closed before any byte") << QByteArray() << true << cut;
        QTest::newRow("closed in the head") << ok + "Content-Len" << true << cut;
        QTest::newRow("closed after an interim answer") << QByteArray("HTTP/1.1 100 Continue\r\n\r\n") << true
                                                        << cut;
        QTest::newRow("closed in a length body") << ok + "Content-Length: 10\r\n\r\n12345" << true << cut;
        QTest::newRow("closed in a chunk") << chunked + "5\r\nhel" << true << cut;
        QTest::newRow("closed before the last chunk") << chunked + "5\r\nhello\r\n" << true << cut;
        QTest::newRow("closed in the trailer") << chunked + "0\r\nExpires: never\r\n" << true << cut;
    }

    void invalidAnswers()
    {
        QFETCH(QByteArray, wire);
        QFETCH(bool, endOfStream);
        QFETCH(QByteArray, error);

        const auto result = HttpResponseParser::parse(wire, endOfStream, {});
        QCOMPARE(result.outcome, Outcome::Invalid);
        QVERIFY2(result.error.contains(error), result.error.constData());
        QVERIFY(!result.keepAlive);
    }

    // Each limit holds exactly its size, and a larger answer is refused as soon
    // as it is announced or seen, before the rest arrives.
    void limits_data()
    {
        QTest::addColumn<QByteArray>("wire");
        QTest::addColumn<bool>("endOfStream");
        QTest::addColumn<Outcome>("outcome");

        const QByteArray ok = "HTTP/1.1 200 OK\r\n"; // 17 bytes
        const QByteArray chunked = ok + "Transfer-Encoding: chunked\r\n\r\n";
        // Heads of exactly 128 bytes, the limit below.
        const QByteArray filler = "X-F: " + repeated('f', 128 - 17 - 7 - 2) + "\r\n";
        const QByteArray fullHead = ok + filler + "\r\n";
        QCOMPARE(fullHead.size(), 128);
        QTest::newRow("head at the limit") << fullHead << true << Outcome::Complete;
        QTest::newRow("head a byte over") << ok + "X" + filler + "\r\n" << true << Outcome::TooLarge;
        QTest::newRow("head over, its end not yet sent") << ok + filler + "X-G: g" << false << Outcome::TooLarge;
        const QByteArray interim = "HTTP/1.1 100 Continue\r\n\r\n";
        QTest::newRow("interim answers count towards the head")
            << interim + interim + interim + interim + "HTTP/1.1 204 No Content\r\nX-F: " + repeated('f', 10)
                + "\r\n\r\n"
            << false << Outcome::TooLarge;

        const QByteArray sixteen = repeated('b', 16);
        QTest::newRow("length at the limit") << ok + "Content-Length: 16\r\n\r\n" + sixteen << false
                                             << Outcome::Complete;
        QTest::newRow("length over, announced only") << ok + "Content-Length: 17\r\n\r\n" << false
                                                     << Outcome::TooLarge;
        QTest::newRow("chunks at the limit") << chunked + "8\r\n12345678\r\n8\r\n12345678\r\n0\r\n\r\n" << false
                                             << Outcome::Complete;
        QTest::newRow("chunk over, announced only") << chunked + "11\r\n" << false << Outcome::TooLarge;
        QTest::newRow("chunks adding up to over") << chunked + "8\r\n12345678\r\n9\r\n" << false
                                                  << Outcome::TooLarge;
        QTest::newRow("trailer past the head limit")
            << chunked + "0\r\n" + filler + filler + filler + filler + filler << false << Outcome::TooLarge;
        QTest::newRow("to the close, at the limit") << ok + "\r\n" + sixteen << true << Outcome::Complete;
        QTest::newRow("to the close, growing over") << ok + "\r\n" + sixteen + "b" << false << Outcome::TooLarge;
    }

    void limits()
    {
        QFETCH(QByteArray, wire);
        QFETCH(bool, endOfStream);
        QFETCH(Outcome, outcome);

        const HttpResponseParser::Limits limits { 128, 16 };
        const auto result = HttpResponseParser::parse(wire, endOfStream, limits);
        QCOMPARE(result.outcome, outcome);
        QCOMPARE(result.error.isEmpty(), outcome == Outcome::Complete);
    }

    // An answer fed a byte at a time stays Incomplete to its last byte, then
    // reads exactly as in one piece, and leaves the next answer's bytes alone
    // however much of it has arrived.
    void bytesAsTheyArrive_data()
    {
        QTest::addColumn<QByteArray>("first");

        QTest::newRow("length") << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\n\r\n\r\n");
        QTest::newRow("chunked") << QByteArray("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
                                               "3;a=b\r\n\r\n\r\r\n2\r\n\r\n\r\n0\r\nX-T: 1\r\n\r\n");
        QTest::newRow("interim, then no body")
            << QByteArray("HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 204 No Content\r\nX-A: b\r\n\r\n");
    }

    void bytesAsTheyArrive()
    {
        QFETCH(QByteArray, first);
        const QByteArray second = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok";
        const QByteArray both = first + second;

        const auto whole = HttpResponseParser::parse(first, false, {});
        QCOMPARE(whole.outcome, Outcome::Complete);
        QCOMPARE(whole.consumed, first.size());
        for (qsizetype size = 0; size < first.size(); ++size) {
            const auto prefix = HttpResponseParser::parse(QByteArrayView(both).first(size), false, {});
            QVERIFY2(prefix.outcome == Outcome::Incomplete, QByteArray::number(size).constData());
        }
        for (qsizetype size = first.size(); size <= both.size(); ++size) {
            const auto prefix = HttpResponseParser::parse(QByteArrayView(both).first(size), false, {});
            QVERIFY2(prefix == whole, QByteArray::number(size).constData());
        }
        const auto next = HttpResponseParser::parse(QByteArrayView(both).sliced(whole.consumed), false, {});
        QCOMPARE(next.outcome, Outcome::Complete);
        QCOMPARE(next.body, QByteArray("ok"));
        QCOMPARE(next.consumed, second.size());
    }
};

QTEST_GUILESS_MAIN(TestHttpResponseParser)
#include "tst_HttpResponseParser.moc"
