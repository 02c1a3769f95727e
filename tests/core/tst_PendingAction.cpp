#include "core/CommandSegment.h"
#include "core/PendingAction.h"
#include "core/PendingActionsResponse.h"
#include "core/RuleScope.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

using TextMap = QMap<QString, QString>;
using OptionalText = std::optional<QString>;

namespace {

QString text(const char* utf8)
{
    return QString::fromUtf8(utf8);
}

// A complete, valid record; cases change or remove single members.
QJsonObject validRecord()
{
    return QJsonObject {
        { QStringLiteral("id"), QStringLiteral("act-1") },
        { QStringLiteral("agent_id"), QStringLiteral("agent-7") },
        { QStringLiteral("agent_name"), QStringLiteral("Coding assistant") },
        { QStringLiteral("agent_machine"), QStringLiteral("workstation") },
        { QStringLiteral("tool_name"), QStringLiteral("Bash") },
        { QStringLiteral("tool_input_summary"), QStringLiteral("rm -rf build") },
        { QStringLiteral("tool_input"),
            QJsonObject { { QStringLiteral("command"), QStringLiteral("rm -rf build") },
                { QStringLiteral("description"), QStringLiteral("Clean the build") } } },
        { QStringLiteral("classification"), QStringLiteral("destructive") },
        { QStringLiteral("machine_agent_count"), 2 },
        { QStringLiteral("created_at"), QStringLiteral("2025-01-31T11:55:00Z") },
        { QStringLiteral("expires_at"), QStringLiteral("2025-01-31T12:00:00.250Z") },
        { QStringLiteral("explanation"), QStringLiteral("Deletes the build folder.") },
    };
}

// The JSON value written literally, e.g. "3.5", "null", "{\"a\":1}".
QJsonValue literal(const QByteArray& json)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson("[" + json + "]", &error);
    if (error.error != QJsonParseError::NoError)
        qFatal("bad literal in test: %s", json.constData());
    return document.array().at(0);
}

QJsonObject withMember(QJsonObject object, const QString& key, const QJsonValue& value)
{
    if (value.isUndefined())
        object.remove(key);
    else
        object.insert(key, value);
    return object;
}

PendingAction actionWith(const QString& toolName, const TextMap& toolInput = {},
    const OptionalText& toolInputSummary = std::nullopt)
{
    PendingAction action;
    action.id = QStringLiteral("a");
    action.toolName = toolName;
    action.toolInput = toolInput;
    action.toolInputSummary = toolInputSummary;
    return action;
}

QByteArray responseBody(const QJsonArray& actions)
{
    return QJsonDocument(QJsonObject { { QStringLiteral("actions"), actions } }).toJson(QJsonDocument::Compact);
}

qint64 utcMSecs(int y, int mo, int d, int h, int mi, int s, int ms = 0)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s, ms), Qt::UTC).toMSecsSinceEpoch();
}

const QJsonValue missing = QJsonValue(QJsonValue::Undefined);

} // namespace

class TestPendingAction : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void decodesEveryField()
    {
        QString error;
        const std::optional<PendingAction> action = PendingAction::fromJson(validRecord(), &error);
        QVERIFY2(action, qPrintable(error));
        QCOMPARE(action->id, QStringLiteral("act-1"));
        QCOMPARE(action->agentId, QStringLiteral("agent-7"));
        QCOMPARE(action->agentName, QStringLiteral("Coding assistant"));
        QCOMPARE(action->agentMachine, OptionalText(QStringLiteral("workstation")));
        QCOMPARE(action->toolName, QStringLiteral("Bash"));
        QCOMPARE(action->toolInputSummary, OptionalText(QStringLiteral("rm -rf build")));
        const TextMap expectedInput { { QStringLiteral("command"), QStringLiteral("rm -rf build") },
            { QStringLiteral("description"), QStringLiteral("Clean the build") } };
        QCOMPARE(action->toolInput, expectedInput);
        QCOMPARE(action->classification, OptionalText(QStringLiteral("destructive")));
        QCOMPARE(action->machineAgentCount, qint64(2));
        QCOMPARE(action->createdAt, QStringLiteral("2025-01-31T11:55:00Z"));
        QCOMPARE(action->expiresAt, QStringLiteral("2025-01-31T12:00:00.250Z"));
        QCOMPARE(action->explanation, OptionalText(QStringLiteral("Deletes the build folder.")));
    }

    void requiredTextFailsTheRecord_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QJsonValue>("value");
        const char* keys[] = { "id", "agent_id", "agent_name", "tool_name", "created_at", "expires_at" };
        const std::pair<const char*, QJsonValue> badValues[] = {
            { "missing", missing },
            { "null", literal("null") },
            { "number", literal("42") },
            { "boolean", literal("true") },
            { "list", literal("[\"x\"]") },
            { "object", literal("{\"x\":\"y\"}") },
        };
        for (const char* key : keys) {
            for (const auto& [name, value] : badValues)
                QTest::addRow("%s %s", key, name) << QString::fromLatin1(key) << value;
        }
    }
    void requiredTextFailsTheRecord()
    {
        QFETCH(QString, key);
        QFETCH(QJsonValue, value);
        const QJsonObject record = withMember(validRecord(), key, value);
        QString error;
        QVERIFY(!PendingAction::fromJson(record, &error));
        QVERIFY2(error.startsWith(key + QLatin1String(": ")), qPrintable(error));

        // One bad record among good ones fails the whole list.
        const QByteArray body = responseBody({ validRecord(), record, validRecord() });
        QVERIFY(!PendingActionsResponse::fromJson(body, &error));
        QVERIFY2(error.startsWith(QLatin1String("actions[1]: ") + key), qPrintable(error));
    }

    void optionalText_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QJsonValue>("value");
        QTest::addColumn<bool>("decodes");
        QTest::addColumn<OptionalText>("expected");
        const char* keys[] = { "agent_machine", "tool_input_summary", "classification", "explanation" };
        for (const char* key : keys) {
            const QString k = QString::fromLatin1(key);
            QTest::addRow("%s missing", key) << k << missing << true << OptionalText();
            QTest::addRow("%s null", key) << k << literal("null") << true << OptionalText();
            QTest::addRow("%s empty", key) << k << literal("\"\"") << true << OptionalText(QString());
            QTest::addRow("%s text", key) << k << literal("\"z\\u00e9\\n\"") << true
                                          << OptionalText(text("z\u00e9\n"));
            QTest::addRow("%s number", key) << k << literal("1") << false << OptionalText();
            QTest::addRow("%s boolean", key) << k << literal("false") << false << OptionalText();
            QTest::addRow("%s list", key) << k << literal("[]") << false << OptionalText();
            QTest::addRow("%s object", key) << k << literal("{}") << false << OptionalText();
        }
    }
    void optionalText()
    {
        QFETCH(QString, key);
        QFETCH(QJsonValue, value);
        QFETCH(bool, decodes);
        QFETCH(OptionalText, expected);
        QString error;
        const std::optional<PendingAction> action
            = PendingAction::fromJson(withMember(validRecord(), key, value), &error);
        QCOMPARE(bool(action), decodes);
        if (!action) {
            QVERIFY2(error.startsWith(key), qPrintable(error));
            return;
        }
        const OptionalText fields[] = { action->agentMachine, action->toolInputSummary, action->classification,
            action->explanation };
        const QStringList names { QStringLiteral("agent_machine"), QStringLiteral("tool_input_summary"),
            QStringLiteral("classification"), QStringLiteral("explanation") };
        QCOMPARE(fields[names.indexOf(key)], expected);
    }

    void toolInputFallsBackToEmpty_data()
    {
        QTest::addColumn<QJsonValue>("value");
        QTest::addColumn<TextMap>("expected");
        QTest::newRow("missing") << missing << TextMap();
        QTest::newRow("null") << literal("null") << TextMap();
        QTest::newRow("number instead of object") << literal("42") << TextMap();
        QTest::newRow("text instead of object") << literal("\"ls\"") << TextMap();
        QTest::newRow("list instead of object") << literal("[\"a\",\"b\"]") << TextMap();
        QTest::newRow("number value") << literal("{\"command\":\"ls\",\"timeout\":30}") << TextMap();
        QTest::newRow("boolean value") << literal("{\"command\":\"ls\",\"sudo\":false}") << TextMap();
        QTest::newRow("null value") << literal("{\"command\":null}") << TextMap();
        QTest::newRow("nested object") << literal("{\"options\":{\"a\":\"b\"}}") << TextMap();
        QTest::newRow("nested list") << literal("{\"args\":[\"-l\"]}") << TextMap();
        QTest::newRow("empty object") << literal("{}") << TextMap();
        QTest::newRow("text values in key order")
            << literal("{\"zeta\":\"1\",\"alpha\":\"2\",\"\":\"empty key\"}")
            << TextMap { { QString(), QStringLiteral("empty key") }, { QStringLiteral("alpha"), QStringLiteral("2") },
                   { QStringLiteral("zeta"), QStringLiteral("1") } };
        QTest::newRow("duplicate key keeps the last") << literal("{\"k\":\"first\",\"k\":\"last\"}")
                                                      << TextMap { { QStringLiteral("k"), QStringLiteral("last") } };
    }
    void toolInputFallsBackToEmpty()
    {
        QFETCH(QJsonValue, value);
        QFETCH(TextMap, expected);
        const std::optional<PendingAction> action
            = PendingAction::fromJson(withMember(validRecord(), QStringLiteral("tool_input"), value));
        QVERIFY(action);
        QCOMPARE(action->toolInput, expected);
        if (expected.isEmpty()) {
            // With no input, the summary comes from the back-end's summary, then the tool name.
            QCOMPARE(action->toolSummary(), QStringLiteral("rm -rf build"));
            PendingAction withoutSummary = *action;
            withoutSummary.toolInputSummary.reset();
            QCOMPARE(withoutSummary.toolSummary(), QStringLiteral("Bash"));
        } else {
            QCOMPARE(action->toolInput.firstKey(), expected.firstKey());
        }
    }

    void machineAgentCount_data()
    {
        QTest::addColumn<QJsonValue>("value");
        QTest::addColumn<qint64>("expected");
        QTest::newRow("missing") << missing << qint64(1);
        QTest::newRow("null") << literal("null") << qint64(1);
        QTest::newRow("three") << literal("3") << qint64(3);
        QTest::newRow("three point zero") << literal("3.0") << qint64(3);
        QTest::newRow("exponent") << literal("3e2") << qint64(300);
        QTest::newRow("fraction") << literal("3.5") << qint64(1);
        QTest::newRow("text") << literal("\"3\"") << qint64(1);
        QTest::newRow("boolean") << literal("true") << qint64(1);
        QTest::newRow("list") << literal("[3]") << qint64(1);
        QTest::newRow("object") << literal("{\"n\":3}") << qint64(1);
        QTest::newRow("zero") << literal("0") << qint64(0);
        QTest::newRow("negative") << literal("-4") << qint64(-4);
        QTest::newRow("largest") << literal("9223372036854775807") << std::numeric_limits<qint64>::max();
        QTest::newRow("smallest") << literal("-9223372036854775808") << std::numeric_limits<qint64>::min();
        QTest::newRow("2^63") << literal("9223372036854775808") << qint64(1);
        QTest::newRow("huge") << literal("1e300") << qint64(1);
        QTest::newRow("hugely negative") << literal("-1e300") << qint64(1);
        QTest::newRow("tiny") << literal("1e-300") << qint64(1);
        QTest::newRow("negative zero") << literal("-0.0") << qint64(0);
    }
    void machineAgentCount()
    {
        QFETCH(QJsonValue, value);
        QFETCH(qint64, expected);
        const std::optional<PendingAction> action
            = PendingAction::fromJson(withMember(validRecord(), QStringLiteral("machine_agent_count"), value));
        QVERIFY(action);
        QCOMPARE(action->machineAgentCount, expected);
    }

    void summaries_data()
    {
        QTest::addColumn<TextMap>("toolInput");
        QTest::addColumn<OptionalText>("toolInputSummary");
        QTest::addColumn<QString>("toolSummary");
        QTest::addColumn<QString>("shortSummary");
        const OptionalText none;
        const OptionalText backend(QStringLiteral("backend summary"));
        auto m = [](std::initializer_list<std::pair<const char*, const char*>> pairs) {
            TextMap map;
            for (const auto& [k, v] : pairs)
                map.insert(QString::fromUtf8(k), QString::fromUtf8(v));
            return map;
        };
        QTest::newRow("summary beats command")
            << m({ { "command", "ls -la" }, { "summary", "List files" } }) << backend << text("List files")
            << text("List files");
        QTest::newRow("command beats file_path")
            << m({ { "file_path", "/etc/hosts" }, { "command", "cat /etc/hosts" } }) << none
            << text("cat /etc/hosts") << text("cat /etc/hosts");
        QTest::newRow("file_path beats target")
            << m({ { "target", "prod" }, { "file_path", "/srv/app" } }) << none << text("/srv/app") << text("/srv/app");
        QTest::newRow("target") << m({ { "target", "prod" }, { "aaa", "first" } }) << none << text("prod")
                                << text("prod");
        QTest::newRow("empty summary is still found")
            << m({ { "summary", "" }, { "command", "ls" } }) << none << QString() << QString();
        QTest::newRow("first value in key order")
            << m({ { "zz", "last" }, { "url", "https://example.com" }, { "body", "first" } }) << backend
            << text("first") << text("first");
        QTest::newRow("short_summary beats everything")
            << m({ { "summary", "Long summary" }, { "short_summary", "Short" } }) << backend << text("Long summary")
            << text("Short");
        QTest::newRow("short_summary alone is also a value")
            << m({ { "short_summary", "Short" } }) << none << text("Short") << text("Short");
        QTest::newRow("empty input uses the back-end summary") << TextMap() << backend << text("backend summary")
                                                               << text("backend summary");
        QTest::newRow("empty input without summary uses the tool name")
            << TextMap() << none << text("Bash") << text("Bash");
    }
    void summaries()
    {
        QFETCH(TextMap, toolInput);
        QFETCH(OptionalText, toolInputSummary);
        QFETCH(QString, toolSummary);
        QFETCH(QString, shortSummary);
        const PendingAction action = actionWith(QStringLiteral("Bash"), toolInput, toolInputSummary);
        QCOMPARE(action.toolSummary(), toolSummary);
        QCOMPARE(action.shortSummary(), shortSummary);
        QCOMPARE(action.displaySummary(), shortSummary);
        QCOMPARE(action.displayName(), shortSummary);
    }

    void detailSegments_data()
    {
        QTest::addColumn<OptionalText>("value");
        QTest::addColumn<bool>("present");
        QTest::addColumn<QList<CommandSegment>>("expected");
        using Segments = QList<CommandSegment>;
        QTest::newRow("key missing") << OptionalText() << false << Segments();
        QTest::newRow("empty list") << OptionalText(text("[]")) << true << Segments();
        QTest::newRow("empty list with spaces") << OptionalText(text(" [ ] ")) << true << Segments();
        QTest::newRow("not JSON") << OptionalText(text("ls -la && rm x")) << false << Segments();
        QTest::newRow("empty text") << OptionalText(QString()) << false << Segments();
        QTest::newRow("truncated") << OptionalText(text("[{\"segment\":\"ls\",\"base_cmd\":\"ls\"")) << false
                                   << Segments();
        QTest::newRow("object instead of list")
            << OptionalText(text("{\"segment\":\"ls\",\"base_cmd\":\"ls\",\"risk\":\"read\"}")) << false
            << Segments();
        QTest::newRow("list of texts") << OptionalText(text("[\"ls\"]")) << false << Segments();
        QTest::newRow("null element") << OptionalText(text("[null]")) << false << Segments();
        QTest::newRow("element missing risk")
            << OptionalText(text("[{\"segment\":\"ls\",\"base_cmd\":\"ls\",\"risk\":\"read\"},"
                                 "{\"segment\":\"rm x\",\"base_cmd\":\"rm\"}]"))
            << false << Segments();
        QTest::newRow("element missing segment")
            << OptionalText(text("[{\"base_cmd\":\"ls\",\"risk\":\"read\"}]")) << false << Segments();
        QTest::newRow("element missing base_cmd")
            << OptionalText(text("[{\"segment\":\"ls\",\"risk\":\"read\"}]")) << false << Segments();
        QTest::newRow("risk is a number")
            << OptionalText(text("[{\"segment\":\"ls\",\"base_cmd\":\"ls\",\"risk\":1}]")) << false << Segments();
        QTest::newRow("risk is null")
            << OptionalText(text("[{\"segment\":\"ls\",\"base_cmd\":\"ls\",\"risk\":null}]")) << false
            << Segments();
        QTest::newRow("two segments, extra member ignored")
            << OptionalText(text("[{\"segment\":\"ls -la\",\"base_cmd\":\"ls\",\"risk\":\"read\",\"x\":1},"
                                 "{\"segment\":\"rm -rf /tmp/\u00e9\",\"base_cmd\":\"rm\",\"risk\":\"destructive\"}]"))
            << true
            << Segments { { text("ls -la"), text("ls"), text("read") },
                   { text("rm -rf /tmp/\u00e9"), text("rm"), text("destructive") } };
        QTest::newRow("escaped quotes inside")
            << OptionalText(text("[{\"segment\":\"echo \\\"hi\\\"\",\"base_cmd\":\"echo\",\"risk\":\"read\"}]"))
            << true << Segments { { text("echo \"hi\""), text("echo"), text("read") } };
    }
    void detailSegments()
    {
        QFETCH(OptionalText, value);
        QFETCH(bool, present);
        QFETCH(QList<CommandSegment>, expected);
        TextMap input { { QStringLiteral("command"), QStringLiteral("ls") } };
        if (value)
            input.insert(QStringLiteral("detail_segments"), *value);
        const std::optional<QList<CommandSegment>> segments = actionWith(QStringLiteral("Bash"), input).detailSegments();
        QCOMPARE(bool(segments), present);
        if (segments)
            QCOMPARE(*segments, expected);
    }

    void detailSegmentsThroughTheDecoder()
    {
        // The segments arrive as JSON text inside a text member of tool_input.
        const QString segmentsText = text(R"([{"segment":"ls","base_cmd":"ls","risk":"read"},)"
                                          R"({"segment":"wc","base_cmd":"wc","risk":"read"}])");
        const QJsonObject record = withMember(validRecord(), QStringLiteral("tool_input"),
            QJsonObject { { QStringLiteral("command"), QStringLiteral("ls | wc") },
                { QStringLiteral("detail_segments"), segmentsText } });
        const QByteArray body = responseBody({ record });
        QVERIFY(body.contains(R"(\"base_cmd\")"));
        const std::optional<PendingActionsResponse> response = PendingActionsResponse::fromJson(body);
        QVERIFY(response);
        QCOMPARE(response->actions.size(), 1);
        const std::optional<QList<CommandSegment>> segments = response->actions.first().detailSegments();
        QVERIFY(segments);
        QCOMPARE(segments->size(), 2);
        QCOMPARE(segments->at(1), (CommandSegment { text("wc"), text("wc"), text("read") }));
        // The hint is still one of the input's values: "command" wins the summary.
        QCOMPARE(response->actions.first().toolSummary(), text("ls | wc"));
    }

    void expiresDate_data()
    {
        QTest::addColumn<QString>("expiresAt");
        QTest::addColumn<qint64>("expectedMSecs");
        const qint64 absent = std::numeric_limits<qint64>::min();
        QTest::newRow("fractional seconds") << text("2025-01-31T12:00:00.123Z") << utcMSecs(2025, 1, 31, 12, 0, 0, 123);
        QTest::newRow("one fractional digit") << text("2025-01-31T12:00:00.5Z") << utcMSecs(2025, 1, 31, 12, 0, 0, 500);
        QTest::newRow("microseconds truncate") << text("2025-01-31T12:00:00.123987Z")
                                               << utcMSecs(2025, 1, 31, 12, 0, 0, 123);
        QTest::newRow("without fractional seconds") << text("2025-01-31T12:00:00Z") << utcMSecs(2025, 1, 31, 12, 0, 0);
        QTest::newRow("positive offset") << text("2025-01-31T13:30:00+01:30") << utcMSecs(2025, 1, 31, 12, 0, 0);
        QTest::newRow("negative offset") << text("2025-01-31T07:00:00-05:00") << utcMSecs(2025, 1, 31, 12, 0, 0);
        QTest::newRow("offset crossing the date") << text("2025-01-01T00:30:00.010+02:00")
                                                  << utcMSecs(2024, 12, 31, 22, 30, 0, 10);
        QTest::newRow("zero offset") << text("2025-01-31T12:00:00+00:00") << utcMSecs(2025, 1, 31, 12, 0, 0);
        QTest::newRow("lower-case t and z") << text("2025-01-31t12:00:00z") << utcMSecs(2025, 1, 31, 12, 0, 0);
        QTest::newRow("leap day") << text("2024-02-29T00:00:00Z") << utcMSecs(2024, 2, 29, 0, 0, 0);
        QTest::newRow("leap day 2000") << text("2000-02-29T23:59:59Z") << utcMSecs(2000, 2, 29, 23, 59, 59);
        QTest::newRow("leap second") << text("2016-12-31T23:59:60Z") << utcMSecs(2017, 1, 1, 0, 0, 0);
        QTest::newRow("epoch") << text("1970-01-01T00:00:00Z") << qint64(0);
        QTest::newRow("before the epoch") << text("1969-12-31T23:59:59.999Z") << qint64(-1);
        QTest::newRow("far future") << text("9999-12-31T23:59:59Z") << utcMSecs(9999, 12, 31, 23, 59, 59);

        QTest::newRow("garbage fields") << text("2025-13-45T99:00:00Z") << absent;
        QTest::newRow("month 13") << text("2025-13-01T12:00:00Z") << absent;
        QTest::newRow("month 0") << text("2025-00-01T12:00:00Z") << absent;
        QTest::newRow("day 0") << text("2025-01-00T12:00:00Z") << absent;
        QTest::newRow("31 April") << text("2025-04-31T12:00:00Z") << absent;
        QTest::newRow("29 February, common year") << text("2025-02-29T12:00:00Z") << absent;
        QTest::newRow("29 February 1900") << text("1900-02-29T12:00:00Z") << absent;
        QTest::newRow("hour 24") << text("2025-01-31T24:00:00Z") << absent;
        QTest::newRow("minute 60") << text("2025-01-31T12:60:00Z") << absent;
        QTest::newRow("second 61") << text("2025-01-31T12:00:61Z") << absent;
        QTest::newRow("trailing junk") << text("2025-01-31T12:00:00Zjunk") << absent;
        QTest::newRow("trailing space") << text("2025-01-31T12:00:00Z ") << absent;
        QTest::newRow("leading space") << text(" 2025-01-31T12:00:00Z") << absent;
        QTest::newRow("no zone") << text("2025-01-31T12:00:00") << absent;
        QTest::newRow("no seconds") << text("2025-01-31T12:00Z") << absent;
        QTest::newRow("space separator") << text("2025-01-31 12:00:00Z") << absent;
        QTest::newRow("date only") << text("2025-01-31") << absent;
        QTest::newRow("dot without digits") << text("2025-01-31T12:00:00.Z") << absent;
        QTest::newRow("comma fraction") << text("2025-01-31T12:00:00,5Z") << absent;
        QTest::newRow("offset without colon") << text("2025-01-31T12:00:00+0100") << absent;
        QTest::newRow("offset hours only") << text("2025-01-31T12:00:00+01") << absent;
        QTest::newRow("offset hour 24") << text("2025-01-31T12:00:00+24:00") << absent;
        QTest::newRow("offset minute 60") << text("2025-01-31T12:00:00+01:60") << absent;
        QTest::newRow("Z and offset") << text("2025-01-31T12:00:00Z+01:00") << absent;
        QTest::newRow("basic format") << text("20250131T120000Z") << absent;
        QTest::newRow("two-digit year") << text("25-01-31T12:00:00Z") << absent;
        QTest::newRow("five-digit year") << text("12025-01-31T12:00:00Z") << absent;
        QTest::newRow("signed year") << text("+2025-01-31T12:00:00Z") << absent;
        QTest::newRow("single-digit month") << text("2025-1-31T12:00:00Z") << absent;
        QTest::newRow("non-ASCII digits") << text("\u0662\u0660\u0662\u0665-01-31T12:00:00Z") << absent;
        QTest::newRow("full-width digits") << text("2025-01-31T12:00:0\uff10Z") << absent;
        QTest::newRow("seconds since epoch") << text("1738324800") << absent;
        QTest::newRow("empty") << QString() << absent;
        QTest::newRow("truncated") << text("2025-01-31T12:0") << absent;
    }
    void expiresDate()
    {
        QFETCH(QString, expiresAt);
        QFETCH(qint64, expectedMSecs);
        PendingAction action = actionWith(QStringLiteral("Bash"));
        action.expiresAt = expiresAt;
        const std::optional<QDateTime> date = action.expiresDate();
        if (expectedMSecs == std::numeric_limits<qint64>::min()) {
            QVERIFY2(!date, qPrintable(date ? date->toString(Qt::ISODateWithMs) : QString()));
            return;
        }
        QVERIFY(date);
        QVERIFY(date->isValid());
        QCOMPARE(date->toMSecsSinceEpoch(), expectedMSecs);
    }

    void timeValues_data()
    {
        QTest::addColumn<QString>("expiresAt");
        QTest::addColumn<QDateTime>("now");
        QTest::addColumn<bool>("hasRemaining");
        QTest::addColumn<double>("remaining");
        QTest::addColumn<bool>("expired");
        const QString expiry = text("2025-01-31T12:00:00.500Z");
        auto at = [](int h, int mi, int s, int ms) { return QDateTime(QDate(2025, 1, 31), QTime(h, mi, s, ms), Qt::UTC); };
        QTest::newRow("five minutes left") << expiry << at(11, 55, 0, 500) << true << 300.0 << false;
        QTest::newRow("fraction of a second left") << expiry << at(12, 0, 0, 250) << true << 0.25 << false;
        QTest::newRow("exactly at expiry") << expiry << at(12, 0, 0, 500) << true << 0.0 << true;
        QTest::newRow("after expiry") << expiry << at(12, 1, 0, 500) << true << -60.0 << true;
        QTest::newRow("now in another zone")
            << expiry << QDateTime(QDate(2025, 1, 31), QTime(13, 59, 0, 500), Qt::OffsetFromUTC, 2 * 3600) << true
            << 60.0 << false;
        QTest::newRow("unparseable expiry") << text("soon") << at(11, 0, 0, 0) << false << 0.0 << true;
        QTest::newRow("invalid clock") << expiry << QDateTime() << false << 0.0 << true;
    }
    void timeValues()
    {
        QFETCH(QString, expiresAt);
        QFETCH(QDateTime, now);
        QFETCH(bool, hasRemaining);
        QFETCH(double, remaining);
        QFETCH(bool, expired);
        PendingAction action = actionWith(QStringLiteral("Bash"));
        action.expiresAt = expiresAt;
        const std::optional<double> timeRemaining = action.timeRemaining(now);
        QCOMPARE(bool(timeRemaining), hasRemaining);
        if (timeRemaining)
            QCOMPARE(*timeRemaining, remaining);
        QCOMPARE(action.isExpired(now), expired);
    }

    void timeValuesAgainstTheCurrentClock()
    {
        PendingAction action = actionWith(QStringLiteral("Bash"));
        action.expiresAt = text("9999-12-31T23:59:59Z");
        QVERIFY(!action.isExpired());
        QVERIFY(action.timeRemaining().value_or(-1) > 0);
        action.expiresAt = text("2001-01-01T00:00:00Z");
        QVERIFY(action.isExpired());
        QVERIFY(action.timeRemaining().value_or(1) < 0);
        action.expiresAt = text("not a date");
        QVERIFY(action.isExpired());
        QVERIFY(!action.timeRemaining());
    }

    void specialToolNames_data()
    {
        QTest::addColumn<QString>("toolName");
        QTest::addColumn<bool>("isUnregister");
        QTest::addColumn<bool>("canCreateRule");
        QTest::addColumn<bool>("isMcpTool");
        QTest::newRow("unregister") << text("quorvane:unregister") << true << false << false;
        QTest::newRow("link") << text("quorvane:link") << false << false << false;
        QTest::newRow("shell") << text("Bash") << false << true << false;
        QTest::newRow("upper-case unregister") << text("QUORVANE:UNREGISTER") << false << true << false;
        QTest::newRow("unregister with space") << text("quorvane:unregister ") << false << true << false;
        QTest::newRow("other quorvane name") << text("quorvane:other") << false << true << false;
        QTest::newRow("mcp tool") << text("mcp__github__create_issue") << false << true << true;
        QTest::newRow("mcp prefix alone") << text("mcp__") << false << true << true;
        QTest::newRow("single underscore") << text("mcp_github__x") << false << true << false;
        QTest::newRow("upper-case prefix") << text("MCP__github__x") << false << true << false;
        QTest::newRow("empty") << QString() << false << true << false;
    }
    void specialToolNames()
    {
        QFETCH(QString, toolName);
        QFETCH(bool, isUnregister);
        QFETCH(bool, canCreateRule);
        QFETCH(bool, isMcpTool);
        const PendingAction action = actionWith(toolName);
        QCOMPARE(action.isUnregister(), isUnregister);
        QCOMPARE(action.canCreateRule(), canCreateRule);
        QCOMPARE(action.isMcpTool(), isMcpTool);
    }

    void mcpNames_data()
    {
        QTest::addColumn<QString>("toolName");
        QTest::addColumn<OptionalText>("serviceName");
        QTest::addColumn<OptionalText>("displayName");
        const OptionalText none;
        auto t = [](const char* s) { return OptionalText(QString::fromUtf8(s)); };
        QTest::newRow("github") << text("mcp__github__create_issue") << t("Github") << t("Github: Create Issue");
        QTest::newRow("claude_ai_ prefix") << text("mcp__claude_ai_Gmail__search_threads") << t("Gmail")
                                           << t("Gmail: Search Threads");
        QTest::newRow("plugin") << text("mcp__plugin_acme_linear__list-issues") << t("Linear")
                                << t("Linear: List Issues");
        QTest::newRow("plugin with a long server") << text("mcp__plugin_acme_google_drive__get") << t("Google Drive")
                                                   << t("Google Drive: Get");
        QTest::newRow("plugin with one piece") << text("mcp__plugin_slack__post") << t("Slack") << t("Slack: Post");
        QTest::newRow("plugin with doubled underscore") << text("mcp__plugin_acme_x___y__z") << t("X")
                                                         << t("X: Y Z");
        QTest::newRow("no second separator") << text("mcp__tool") << none << none;
        QTest::newRow("empty server") << text("mcp____x") << none << none;
        QTest::newRow("empty tool") << text("mcp__a__") << none << none;
        QTest::newRow("prefix only") << text("mcp__") << none << none;
        QTest::newRow("tool part holds separators") << text("mcp__srv__a__b") << t("Srv") << t("Srv: A B");
        QTest::newRow("first separator wins") << text("mcp__a___b") << t("A") << t("A: B");
        QTest::newRow("server starting with underscore") << text("mcp___a__b") << t("A") << t("A: B");
        QTest::newRow("rest of word unchanged") << text("mcp__gitHub__createPR_now") << t("GitHub")
                                                << t("GitHub: CreatePR Now");
        QTest::newRow("dashes and repeats") << text("mcp__my--server__do__it") << t("My Server") << t("My Server: Do It");
        QTest::newRow("digits") << text("mcp__s3__put_object_v2") << t("S3") << t("S3: Put Object V2");
        QTest::newRow("non-ASCII first letter") << text("mcp__\u00e9t\u00e9__\u00fcber_alles")
                                                << t("\u00c9t\u00e9") << t("\u00c9t\u00e9: \u00dcber Alles");
        QTest::newRow("claude_ai before the separator") << text("mcp__claude_ai___x") << t("Claude Ai")
                                                        << t("Claude Ai: X");
        QTest::newRow("nothing after the claude_ai_ prefix") << text("mcp__claude_ai_-__x") << none << none;
        QTest::newRow("nothing after the plugin prefix") << text("mcp__plugin_-__x") << none << none;
        QTest::newRow("server of separators only") << text("mcp__-_-__x") << none << none;
        QTest::newRow("tool of separators only") << text("mcp__srv__-") << none << none;
        QTest::newRow("not mcp") << text("github__create_issue") << none << none;
    }
    void mcpNames()
    {
        QFETCH(QString, toolName);
        QFETCH(OptionalText, serviceName);
        QFETCH(OptionalText, displayName);
        const PendingAction action = actionWith(toolName, { { QStringLiteral("short_summary"), QStringLiteral("short") } });
        QCOMPARE(action.mcpServiceName(), serviceName);
        QCOMPARE(action.mcpDisplayName(), displayName);
        QCOMPARE(action.displayName(), displayName.value_or(QStringLiteral("short")));
    }

    void ruleScopes()
    {
        QCOMPARE(RuleScope::allCases(), (QList<RuleScope> { RuleScope::agent, RuleScope::machine, RuleScope::global }));
        const std::tuple<RuleScope, const char*, const char*> table[] = {
            { RuleScope::agent, "agent", "This Agent" },
            { RuleScope::machine, "machine", "This Machine" },
            { RuleScope::global, "global", "All Agents" },
        };
        for (const auto& [scope, raw, display] : table) {
            QCOMPARE(scope.rawValue(), QString::fromLatin1(raw));
            QCOMPARE(scope.displayName(), QString::fromLatin1(display));
            QCOMPARE(RuleScope::fromRawValue(scope.rawValue()), std::optional<RuleScope>(scope));
        }
        QVERIFY(!RuleScope::fromRawValue(u"Agent"));
        QVERIFY(!RuleScope::fromRawValue(u""));
        QCOMPARE(RuleScope(), RuleScope(RuleScope::agent));
        // The scope travels through QVariant (and so QML) unchanged.
        QCOMPARE(QVariant::fromValue(RuleScope(RuleScope::global)).value<RuleScope>(), RuleScope(RuleScope::global));
    }

    void availableCases_data()
    {
        QTest::addColumn<qint64>("count");
        QTest::addColumn<QList<RuleScope>>("expected");
        const QList<RuleScope> all { RuleScope::agent, RuleScope::machine, RuleScope::global };
        const QList<RuleScope> shared { RuleScope::machine, RuleScope::global };
        QTest::newRow("negative") << qint64(-3) << shared;
        QTest::newRow("lowest") << std::numeric_limits<qint64>::min() << shared;
        QTest::newRow("zero") << qint64(0) << shared;
        QTest::newRow("one") << qint64(1) << shared;
        QTest::newRow("two") << qint64(2) << all;
        QTest::newRow("many") << std::numeric_limits<qint64>::max() << all;
    }
    void availableCases()
    {
        QFETCH(qint64, count);
        QFETCH(QList<RuleScope>, expected);
        QCOMPARE(RuleScope::availableCases(count), expected);
    }

    void missingCountOffersMachineAndGlobal()
    {
        QJsonObject record = validRecord();
        record.remove(QStringLiteral("machine_agent_count"));
        const std::optional<PendingAction> action = PendingAction::fromJson(record);
        QVERIFY(action);
        QCOMPARE(action->machineAgentCount, qint64(1));
        QCOMPARE(RuleScope::availableCases(action->machineAgentCount),
            (QList<RuleScope> { RuleScope::machine, RuleScope::global }));
    }

    void equalityCoversEveryField()
    {
        const PendingAction base = *PendingAction::fromJson(validRecord());
        QCOMPARE(base, *PendingAction::fromJson(validRecord()));
        const std::function<void(PendingAction&)> changes[] = {
            [](PendingAction& a) { a.id += u'x'; },
            [](PendingAction& a) { a.agentId += u'x'; },
            [](PendingAction& a) { a.agentName += u'x'; },
            [](PendingAction& a) { a.agentMachine.reset(); },
            [](PendingAction& a) { a.toolName += u'x'; },
            [](PendingAction& a) { a.toolInputSummary = QString(); },
            [](PendingAction& a) { a.toolInput.insert(QStringLiteral("k"), QStringLiteral("v")); },
            [](PendingAction& a) { a.classification = QStringLiteral("read"); },
            [](PendingAction& a) { a.machineAgentCount = 3; },
            [](PendingAction& a) { a.createdAt += u'x'; },
            [](PendingAction& a) { a.expiresAt += u'x'; },
            [](PendingAction& a) { a.explanation.reset(); },
        };
        for (const auto& change : changes) {
            PendingAction other = base;
            change(other);
            QVERIFY(!(other == base));
        }
    }

    void response_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("count"); // -1: the whole response fails
        const QByteArray one = QJsonDocument(validRecord()).toJson(QJsonDocument::Compact);
        QTest::newRow("empty list") << QByteArray(R"({"actions":[]})") << 0;
        QTest::newRow("two actions") << QByteArray("{\"actions\":[" + one + "," + one + "]}") << 2;
        QTest::newRow("extra members ignored")
            << QByteArray("{\"next\":null,\"actions\":[" + one + "],\"total\":1}") << 1;
        QTest::newRow("actions missing") << QByteArray(R"({"items":[]})") << -1;
        QTest::newRow("actions null") << QByteArray(R"({"actions":null})") << -1;
        QTest::newRow("actions is an object") << QByteArray("{\"actions\":" + one + "}") << -1;
        QTest::newRow("actions is text") << QByteArray(R"({"actions":"[]"})") << -1;
        QTest::newRow("top level is a list") << QByteArray("[" + one + "]") << -1;
        QTest::newRow("top level is a number") << QByteArray("42") << -1;
        QTest::newRow("element is a list") << QByteArray("{\"actions\":[[" + one + "]]}") << -1;
        QTest::newRow("element is null") << QByteArray("{\"actions\":[" + one + ",null]}") << -1;
        QTest::newRow("element is text") << QByteArray(R"({"actions":["act-1"]})") << -1;
        QTest::newRow("empty body") << QByteArray() << -1;
        QTest::newRow("not JSON") << QByteArray("<html>502 Bad Gateway</html>") << -1;
        QTest::newRow("truncated") << QByteArray("{\"actions\":[" + one.left(one.size() / 2)) << -1;
        QTest::newRow("trailing garbage") << QByteArray(R"({"actions":[]} x)") << -1;
        QTest::newRow("invalid UTF-8") << QByteArray("{\"actions\":[],\"x\":\"\xff\xfe\"}") << -1;
        QTest::newRow("overlong UTF-8") << QByteArray("{\"actions\":[],\"x\":\"\xc0\xaf\"}") << -1;
        QTest::newRow("lone surrogate escape is kept as text")
            << QByteArray(R"({"actions":[{"id":"\ud800","agent_id":"a","agent_name":"n","tool_name":"t",)"
                          R"("created_at":"c","expires_at":"e"}]})")
            << 1;
        QTest::newRow("nul escape inside text")
            << QByteArray(R"({"actions":[{"id":"a\u0000b","agent_id":"a","agent_name":"n","tool_name":"t",)"
                          R"("created_at":"c","expires_at":"e"}]})")
            << 1;
    }
    void response()
    {
        QFETCH(QByteArray, body);
        QFETCH(int, count);
        QString error;
        const std::optional<PendingActionsResponse> response = PendingActionsResponse::fromJson(body, &error);
        QCOMPARE(response ? int(response->actions.size()) : -1, count);
        QCOMPARE(error.isEmpty(), bool(response));
    }

    void responseKeepsTheBackEndsOrder()
    {
        QJsonArray actions;
        for (const char* id : { "c", "a", "b" })
            actions.append(withMember(validRecord(), QStringLiteral("id"), QString::fromLatin1(id)));
        const std::optional<PendingActionsResponse> response = PendingActionsResponse::fromJson(responseBody(actions));
        QVERIFY(response);
        QStringList ids;
        for (const PendingAction& action : response->actions)
            ids.append(action.id);
        QCOMPARE(ids, (QStringList { text("c"), text("a"), text("b") }));
    }

    void hostileInput()
    {
        // Huge strings pass through intact.
        const QString huge(4 * 1024 * 1024, u'\u00e9');
        QJsonObject record = withMember(validRecord(), QStringLiteral("tool_name"), huge);
        record = withMember(record, QStringLiteral("tool_input"), QJsonObject { { huge, huge } });
        std::optional<PendingActionsResponse> response = PendingActionsResponse::fromJson(responseBody({ record }));
        QVERIFY(response);
        QCOMPARE(response->actions.first().toolName.size(), huge.size());
        QCOMPARE(response->actions.first().toolSummary(), huge);
        QVERIFY(!response->actions.first().mcpDisplayName());

        // A huge MCP name splits without trouble.
        PendingAction mcp = actionWith(QStringLiteral("mcp__") + QString(100000, u'a') + QStringLiteral("__")
            + QString(100000, u'_'));
        QVERIFY(!mcp.mcpDisplayName());
        mcp.toolName.append(u'z');
        QCOMPARE(mcp.mcpDisplayName()->size(), 100000 + 3);

        // A huge fraction in the expiry is still a date.
        PendingAction longFraction = actionWith(QStringLiteral("Bash"));
        longFraction.expiresAt = QStringLiteral("2025-01-31T12:00:00.") + QString(1000000, u'9') + QStringLiteral("Z");
        QCOMPARE(longFraction.expiresDate()->toMSecsSinceEpoch(), utcMSecs(2025, 1, 31, 12, 0, 0, 999));

        // Deep nesting inside tool_input: within the parser's limit it is only an
        // input that is not text (empty map); beyond it the body is not JSON at all.
        auto nested = [](int depth) -> QByteArray {
            return QByteArray(depth, '[') + QByteArray(depth, ']');
        };
        const QByteArray prefix = R"({"actions":[{"id":"1","agent_id":"a","agent_name":"n","tool_name":"t",)"
                                  R"("created_at":"c","expires_at":"e","tool_input":{"k":)";
        response = PendingActionsResponse::fromJson(prefix + nested(500) + "}}]}");
        QVERIFY(response);
        QVERIFY(response->actions.first().toolInput.isEmpty());
        QString error;
        QVERIFY(!PendingActionsResponse::fromJson(prefix + nested(100000) + "}}]}", &error));
        QVERIFY(!error.isEmpty());

        // Deeply nested detail segments text is only "does not decode".
        PendingAction segments = actionWith(QStringLiteral("Bash"),
            { { QStringLiteral("detail_segments"), QString::fromLatin1(nested(100000)) } });
        QVERIFY(!segments.detailSegments());
    }
};

QTEST_GUILESS_MAIN(TestPendingAction)
#include "tst_PendingAction.moc"
