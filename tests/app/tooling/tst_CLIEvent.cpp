#include "app/tooling/CLIEvent.h"
#include "app/tooling/CLILineBuffer.h"

#include <QTest>

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

    QTest::newRow("type and numeric progress only")
        << QByteArray(R"({"type":"progress","progress":0.25})") << true << QStringLiteral("progress")
        << QVariant() << QVariant(0.25) << QVariant() << false;
    QTest::newRow("integer progress")
        << QByteArray(R"({"type":"progress","progress":1})") << true << QStringLiteral("progress")
        << QVariant() << QVariant(1.0) << QVariant() << false;
    QTest::newRow("all five members")
        << QByteArray(R"({"type":"error","message":"m","progress":0,"error":"e","data":{"k":"v"}})") << true
        << QStringLiteral("error") << QVariant(QStringLiteral("m")) << QVariant(0.0)
        << QVariant(QStringLiteral("e")) << true;
    QTest::newRow("extra keys ignored")
        << QByteArray(R"({"type":"complete","extra":[1,2],"n":5})") << true << QStringLiteral("complete")
        << QVariant() << QVariant() << QVariant() << false;
    QTest::newRow("null optional members are absent")
        << QByteArray(R"({"type":"complete","message":null,"progress":null,"error":null,"data":null})")
        << true << QStringLiteral("complete") << QVariant() << QVariant() << QVariant() << false;
    QTest::newRow("surrounding spaces")
        << QByteArray("  {\"type\":\"verified\"}\r") << true << QStringLiteral("verified") << QVariant()
        << QVariant() << QVariant() << false;
    QTest::newRow("unicode message") << QByteArray(R"({"type":"progress","message":"caf\u00e9 ✓"})") << true
                                     << QStringLiteral("progress") << QVariant(QStringLiteral("café ✓"))
                                     << QVariant() << QVariant() << false;
    QTest::newRow("empty data object")
        << QByteArray(R"({"type":"x","data":{}})") << true << QStringLiteral("x") << QVariant() << QVariant()
        << QVariant() << true;

    const auto rejected = [](const char* name, const QByteArray& line) {
        QTest::newRow(name) << line << false << QString() << QVariant() << QVariant() << QVariant() << false;
    };
    rejected("number inside data", R"({"type":"suggestion_count","data":{"count":3}})");
    rejected("null inside data", R"({"type":"x","data":{"a":null}})");
    rejected("data is an array", R"({"type":"x","data":["a"]})");
    rejected("data is a string", R"({"type":"x","data":"a"})");
    rejected("string progress", R"({"type":"progress","progress":"0.5"})");
    rejected("bool progress", R"({"type":"progress","progress":true})");
    rejected("numeric message", R"({"type":"progress","message":5})");
    rejected("object error", R"({"type":"error","error":{}})");
    rejected("no type", R"({"message":"hello"})");
    rejected("null type", R"({"type":null})");
    rejected("numeric type", R"({"type":1})");
    rejected("array", R"([{"type":"x"}])");
    rejected("string", R"("type")");
    rejected("plain text", "Downloading model...");
    rejected("empty", "");
    rejected("truncated", R"({"type":"complete")");
    rejected("trailing garbage", R"({"type":"complete"} x)");
    rejected("two objects", R"({"type":"a"}{"type":"b"})");
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
    QCOMPARE(verified->data,
        std::optional<Data>(Data { { QStringLiteral("agentId"), QStringLiteral("ag_123") },
            { QStringLiteral("count"), QStringLiteral("7") } }));
    QCOMPARE(verified->dataValue(QStringLiteral("agentId")), QStringLiteral("ag_123"));
    QCOMPARE(verified->dataValue(QStringLiteral("missing")), QString());
    const auto bare = CLIEvent::decode(R"({"type":"complete"})");
    QVERIFY(bare);
    QCOMPARE(bare->dataValue(QStringLiteral("agentId")), QString());
}

void TestCLIEvent::lineBuffer_data()
{
    QTest::addColumn<QList<QByteArray>>("reads");
    QTest::addColumn<QList<QByteArray>>("lines");

    QTest::newRow("one line per read")
        << QList<QByteArray> { "a\n", "b\n" } << QList<QByteArray> { "a", "b" };
    QTest::newRow("empty line then a complete one") << QList<QByteArray> { "\n{\"type\":\"complete\"}\n" }
                                                    << QList<QByteArray> { "{\"type\":\"complete\"}" };
    QTest::newRow("line split across two reads") << QList<QByteArray> { "{\"type\":\"comp", "lete\"}\n" }
                                                 << QList<QByteArray> { "{\"type\":\"complete\"}" };
    QTest::newRow("split in three, then another")
        << QList<QByteArray> { "ab", "c", "d\nef\n" } << QList<QByteArray> { "abcd", "ef" };
    QTest::newRow("last line without newline")
        << QList<QByteArray> { "a\nb" } << QList<QByteArray> { "a", "b" };
    QTest::newRow("crlf and blanks trimmed")
        << QList<QByteArray> { "  a \r\n\r\n \t\n", "b\r\n" } << QList<QByteArray> { "a", "b" };
    QTest::newRow("many lines in one read")
        << QList<QByteArray> { "1\n2\n3\n4\n" } << QList<QByteArray> { "1", "2", "3", "4" };
    QTest::newRow("nothing") << QList<QByteArray> {} << QList<QByteArray> {};
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
