#include "app/tooling/CLIEvent.h"
#include "app/tooling/CLILineBuffer.h"

#include <QTest>

using namespace Qt::StringLiterals;

class TestCLIEvent : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void decode_data();
    void decode();
    void dataValues();
    void lineBuffer_data();
    void lineBuffer();
    void lineBufferDropsOverlongLines();
};

using Data = QMap<QString, QString>;

void TestCLIEvent::decode_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<bool>("decodes");
    QTest::addColumn<QString>("type");
    QTest::addColumn<QVariant>("message"); // invalid = absent
    QTest::addColumn<QVariant>("progress"); // invalid = absent
    QTest::addColumn<QVariant>("error"); // invalid = absent
    QTest::addColumn<bool>("hasData");

    const QVariant none;
    const auto accepted
        = [](const char* name, const QByteArray& line, const char* type, const QVariant& message,
              const QVariant& progress, const QVariant& error, bool hasData) {
              QTest::newRow(name) << line << true << QString::fromUtf8(type) << message << progress << error
                                  << hasData;
          };
    accepted("numeric progress only", R"({"type":"progress","progress":0.25})", "progress", none, 0.25, none,
        false);
    accepted("integer progress", R"({"type":"progress","progress":1})", "progress", none, 1.0, none, false);
    accepted("all five members",
        R"({"type":"error","message":"m","progress":0,"error":"e","data":{"k":"v"}})", "error", u"m"_s, 0.0,
        u"e"_s, true);
    accepted("null optional members are absent",
        R"({"type":"complete","message":null,"progress":null,"error":null,"data":null})", "complete", none,
        none, none, false);
    accepted("surrounding spaces", "  {\"type\":\"verified\"}\r", "verified", none, none, none, false);
    accepted("unicode message", R"({"type":"progress","message":"caf\u00e9 ✓"})", "progress", u"café ✓"_s,
        none, none, false);
    accepted("empty data object", R"({"type":"x","data":{}})", "x", none, none, none, true);

    const auto rejected = [](const char* name, const QByteArray& line) {
        QTest::newRow(name) << line << false << QString() << QVariant() << QVariant() << QVariant() << false;
    };
    rejected("number inside data", R"({"type":"suggestion_count","data":{"count":3}})");
    rejected("null inside data", R"({"type":"x","data":{"a":null}})");
    rejected("data is an array", R"({"type":"x","data":["a"]})");
    rejected("string progress", R"({"type":"progress","progress":"0.5"})");
    rejected("numeric message", R"({"type":"progress","message":5})");
    rejected("object error", R"({"type":"error","error":{}})");
    rejected("no type", R"({"message":"hello"})");
    rejected("numeric type", R"({"type":1})");
    rejected("array", R"([{"type":"x"}])");
    rejected("plain text", "Downloading model...");
    rejected("trailing garbage", R"({"type":"complete"} x)");
    rejected("invalid utf-8", "{\"type\":\"\xff\xfe\"}");
}

void TestCLIEvent::decode()
{
    QFETCH(QByteArray, line);
    QFETCH(bool, decodes);
    const std::optional<CLIEvent> event = CLIEvent::decode(line);
    QCOMPARE(event.has_value(), decodes);
    if (!decodes)
        return;
    QFETCH(QString, type);
    QFETCH(QVariant, message);
    QFETCH(QVariant, progress);
    QFETCH(QVariant, error);
    QFETCH(bool, hasData);
    QCOMPARE(event->type, type);
    QCOMPARE(event->message.has_value(), message.isValid());
    if (message.isValid())
        QCOMPARE(*event->message, message.toString());
    QCOMPARE(event->progress.has_value(), progress.isValid());
    if (progress.isValid())
        QCOMPARE(*event->progress, progress.toDouble());
    QCOMPARE(event->error.has_value(), error.isValid());
    if (error.isValid())
        QCOMPARE(*event->error, error.toString());
    QCOMPARE(event->data.has_value(), hasData);
}

void TestCLIEvent::dataValues()
{
    const auto verified = CLIEvent::decode(R"({"type":"verified","data":{"agentId":"ag_123","count":"7"}})");
    QVERIFY(verified);
    QCOMPARE(
        verified->data, std::optional<Data>(Data { { u"agentId"_s, u"ag_123"_s }, { u"count"_s, u"7"_s } }));
    QCOMPARE(verified->dataValue(u"agentId"_s), u"ag_123"_s);
    QCOMPARE(verified->dataValue(u"missing"_s), QString());
}

void TestCLIEvent::lineBuffer_data()
{
    QTest::addColumn<QList<QByteArray>>("reads");
    QTest::addColumn<QList<QByteArray>>("lines");

    QTest::newRow("empty line then a complete one") << QList<QByteArray> { "\n{\"type\":\"complete\"}\n" }
                                                    << QList<QByteArray> { "{\"type\":\"complete\"}" };
    QTest::newRow("split in three, then another")
        << QList<QByteArray> { "ab", "c", "d\nef\n" } << QList<QByteArray> { "abcd", "ef" };
    QTest::newRow("last line without newline")
        << QList<QByteArray> { "a\nb" } << QList<QByteArray> { "a", "b" };
    QTest::newRow("crlf and blanks trimmed")
        << QList<QByteArray> { "  a \r\n\r\n \t\n", "b\r\n" } << QList<QByteArray> { "a", "b" };
    QTest::newRow("multi-byte character split")
        << QList<QByteArray> { "caf\xc3", "\xa9\n" } << QList<QByteArray> { "caf\xc3\xa9" };
}

void TestCLIEvent::lineBuffer()
{
    QFETCH(QList<QByteArray>, reads);
    QFETCH(QList<QByteArray>, lines);
    CLILineBuffer buffer;
    QList<QByteArray> seen;
    for (const QByteArray& read : reads)
        seen += buffer.append(read);
    seen += buffer.finish();
    QCOMPARE(seen, lines);
    QCOMPARE(buffer.finish(), QList<QByteArray>());
}

void TestCLIEvent::lineBufferDropsOverlongLines()
{
    CLILineBuffer buffer(8);
    QList<QByteArray> seen = buffer.append("short\n0123456");
    seen += buffer.append("789abcdef"); // over the limit: dropped ...
    seen += buffer.append("more\nok\nxyz"); // ... up to its newline
    seen += buffer.finish();
    QCOMPARE(seen, (QList<QByteArray> { "short", "ok", "xyz" }));

    // An overlong unfinished tail is not returned at the end either.
    CLILineBuffer tail(4);
    QCOMPARE(tail.append("123456"), QList<QByteArray>());
    QCOMPARE(tail.finish(), QList<QByteArray>());
    QCOMPARE(tail.append("ab\n"), QList<QByteArray> { "ab" });
    QCOMPARE(tail.append("wxyz\n"), QList<QByteArray> { "wxyz" }); // exactly the limit is kept
}

QTEST_GUILESS_MAIN(TestCLIEvent)
#include "tst_CLIEvent.moc"
