#include "core/PendingAction.h"
#include "core/PendingActionsResponse.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

using namespace Qt::StringLiterals;
using TextMap = QMap<QString, QString>;
using OptionalText = std::optional<QString>;

namespace {

// A complete, valid record; cases change or remove single members.
QJsonObject validRecord()
{
    return QJsonObject {
        { u"id"_s, u"act-1"_s },
        { u"agent_id"_s, u"agent-7"_s },
        { u"agent_name"_s, u"Coding assistant"_s },
        { u"agent_machine"_s, u"workstation"_s },
        { u"tool_name"_s, u"Bash"_s },
        { u"tool_input_summary"_s, u"rm -rf build"_s },
        { u"tool_input"_s,
            QJsonObject { { u"command"_s, u"rm -rf build"_s }, { u"description"_s, u"Clean the build"_s } } },
        { u"classification"_s, u"destructive"_s },
        { u"machine_agent_count"_s, 2 },
        { u"created_at"_s, u"2025-01-31T11:55:00Z"_s },
        { u"expires_at"_s, u"2025-01-31T12:00:00.250Z"_s },
        { u"explanation"_s, u"Deletes the build folder."_s },
    };
}

// The JSON value written literally, e.g. "3.5", "null", "{\"a\":1}"; "missing" removes the member.
QJsonValue literal(const QByteArray& json)
{
    if (json == "missing")
        return QJsonValue(QJsonValue::Undefined);
    const QJsonDocument document = QJsonDocument::fromJson("[" + json + "]");
    if (!document.isArray())
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

QByteArray responseBody(const QJsonArray& actions)
{
    return QJsonDocument(QJsonObject { { u"actions"_s, actions } }).toJson(QJsonDocument::Compact);
}

} // namespace

// Pending actions as the back-end lists them: the tolerant decoder of one record and of the list.
class TestPendingAction : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void decodesEveryFieldAndKeepsTheOrder()
    {
        QString error;
        const std::optional<PendingAction> action = PendingAction::fromJson(validRecord(), &error);
        QVERIFY2(action, qPrintable(error));
        const PendingAction expected { u"act-1"_s, u"agent-7"_s, u"Coding assistant"_s, u"workstation"_s,
            u"Bash"_s, u"rm -rf build"_s,
            TextMap { { u"command"_s, u"rm -rf build"_s }, { u"description"_s, u"Clean the build"_s } },
            u"destructive"_s, 2, u"2025-01-31T11:55:00Z"_s, u"2025-01-31T12:00:00.250Z"_s,
            u"Deletes the build folder."_s };
        QCOMPARE(*action, expected);

        QJsonArray actions;
        for (const char* id : { "c", "a", "b" })
            actions.append(withMember(validRecord(), u"id"_s, QString::fromLatin1(id)));
        const std::optional<PendingActionsResponse> response
            = PendingActionsResponse::fromJson(responseBody(actions));
        QVERIFY(response);
        QStringList ids;
        for (const PendingAction& each : response->actions)
            ids.append(each.id);
        QCOMPARE(ids, (QStringList { u"c"_s, u"a"_s, u"b"_s }));
    }

    // Required texts fail the record and the whole list; optional texts fail
    // it only when they are present and not text.
    void memberTypes_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<bool>("decodes");
        QTest::addColumn<OptionalText>("expected");
        for (const char* key : { "id", "agent_id", "agent_name", "tool_name", "created_at", "expires_at" }) {
            for (const char* value : { "missing", "null", "42", "[\"x\"]" })
                QTest::addRow("%s %s", key, value)
                    << QString::fromLatin1(key) << QByteArray(value) << false << OptionalText();
        }
        for (const char* key : { "agent_machine", "tool_input_summary", "classification", "explanation" }) {
            const QString k = QString::fromLatin1(key);
            QTest::addRow("%s missing", key) << k << "missing"_ba << true << OptionalText();
            QTest::addRow("%s null", key) << k << "null"_ba << true << OptionalText();
            QTest::addRow("%s empty", key) << k << "\"\""_ba << true << OptionalText(QString());
            QTest::addRow("%s text", key)
                << k << "\"z\\u00e9\\n\""_ba << true << OptionalText(u"z\u00e9\n"_s);
            QTest::addRow("%s number", key) << k << "1"_ba << false << OptionalText();
            QTest::addRow("%s object", key) << k << "{}"_ba << false << OptionalText();
        }
    }
    void memberTypes()
    {
        QFETCH(QString, key);
        QFETCH(QByteArray, value);
        QFETCH(bool, decodes);
        QFETCH(OptionalText, expected);
        const QJsonObject record = withMember(validRecord(), key, literal(value));
        QString error;
        const std::optional<PendingAction> action = PendingAction::fromJson(record, &error);
        QCOMPARE(bool(action), decodes);
        if (!action) {
            QVERIFY2(error.startsWith(key + ": "_L1), qPrintable(error));
            // One bad record among good ones fails the whole list.
            QVERIFY(!PendingActionsResponse::fromJson(
                responseBody({ validRecord(), record, validRecord() }), &error));
            QVERIFY2(error.startsWith("actions[1]: "_L1 + key), qPrintable(error));
            return;
        }
        const QMap<QString, OptionalText> fields { { u"agent_machine"_s, action->agentMachine },
            { u"tool_input_summary"_s, action->toolInputSummary },
            { u"classification"_s, action->classification }, { u"explanation"_s, action->explanation } };
        QCOMPARE(fields.value(key), expected);
    }

    void toolInputKeepsOnlyTextMapsAndCountsOnlyWholeNumbers()
    {
        const auto decoded = [](const QString& key, const QByteArray& value) {
            return PendingAction::fromJson(withMember(validRecord(), key, literal(value)));
        };
        for (const QByteArray value :
            { "missing", "\"ls\"", "{\"command\":\"ls\",\"timeout\":30}", "{\"o\":{\"a\":\"b\"}}" }) {
            const std::optional<PendingAction> action = decoded(u"tool_input"_s, value);
            QVERIFY2(action && action->toolInput.isEmpty(), value.constData());
        }
        QCOMPARE(decoded(u"tool_input"_s, R"({"zeta":"1","alpha":"2","":"empty key"})")
                     .value_or(PendingAction())
                     .toolInput,
            (TextMap { { QString(), u"empty key"_s }, { u"alpha"_s, u"2"_s }, { u"zeta"_s, u"1"_s } }));
        QCOMPARE(decoded(u"tool_input"_s, R"({"k":"first","k":"last"})").value_or(PendingAction()).toolInput,
            (TextMap { { u"k"_s, u"last"_s } }));

        // machine_agent_count: 1 unless a whole number that fits.
        const qint64 max = std::numeric_limits<qint64>::max();
        const qint64 min = std::numeric_limits<qint64>::min();
        const QList<std::pair<QByteArray, qint64>> counts { { "missing", 1 }, { "3.0", 3 }, { "3.5", 1 },
            { "\"3\"", 1 }, { "-4", -4 }, { "9223372036854775807", max }, { "-9223372036854775808", min },
            { "9223372036854775808", 1 }, { "-1e300", 1 } };
        for (const auto& [value, count] : counts) {
            const std::optional<PendingAction> action = decoded(u"machine_agent_count"_s, value);
            QCOMPARE(std::pair(value, action ? action->machineAgentCount : 0), std::pair(value, count));
        }
    }

    void response_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("count"); // -1: the whole response fails
        const QByteArray one = QJsonDocument(validRecord()).toJson(QJsonDocument::Compact);
        QTest::newRow("empty list") << R"({"actions":[]})"_ba << 0;
        QTest::newRow("extra members ignored")
            << "{\"next\":null,\"actions\":[" + one + "," + one + "],\"total\":1}" << 2;
        QTest::newRow("actions missing") << R"({"items":[]})"_ba << -1;
        QTest::newRow("actions is an object") << "{\"actions\":" + one + "}" << -1;
        QTest::newRow("top level is a list") << "[" + one + "]" << -1;
        QTest::newRow("element is null") << "{\"actions\":[" + one + ",null]}" << -1;
        QTest::newRow("not JSON") << "<html>502 Bad Gateway</html>"_ba << -1;
        QTest::newRow("truncated") << "{\"actions\":[" + one.left(one.size() / 2) << -1;
        QTest::newRow("trailing garbage") << R"({"actions":[]} x)"_ba << -1;
        QTest::newRow("invalid UTF-8") << "{\"actions\":[],\"x\":\"\xff\xfe\"}"_ba << -1;
        QTest::newRow("lone surrogate escape is kept as text")
            << R"({"actions":[{"id":"\ud800","agent_id":"a","agent_name":"n","tool_name":"t",)"
               R"("created_at":"c","expires_at":"e"}]})"_ba
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

    void hostileInput()
    {
        // Huge strings pass through intact.
        const QString huge(4 * 1024 * 1024, u'\u00e9');
        QJsonObject record = withMember(validRecord(), u"tool_name"_s, huge);
        record = withMember(record, u"tool_input"_s, QJsonObject { { huge, huge } });
        std::optional<PendingActionsResponse> response
            = PendingActionsResponse::fromJson(responseBody({ record }));
        QVERIFY(response);
        QCOMPARE(response->actions.first().toolSummary(), huge);
        QVERIFY(!response->actions.first().mcpDisplayName());

        // Deep nesting inside tool_input: within the parser's limit it is only an
        // input that is not text (empty map); beyond it the body is not JSON at all.
        auto nested = [](int depth) -> QByteArray { return QByteArray(depth, '[') + QByteArray(depth, ']'); };
        const QByteArray prefix = R"({"actions":[{"id":"1","agent_id":"a","agent_name":"n","tool_name":"t",)"
                                  R"("created_at":"c","expires_at":"e","tool_input":{"k":)";
        response = PendingActionsResponse::fromJson(prefix + nested(500) + "}}]}");
        QVERIFY(response && response->actions.first().toolInput.isEmpty());
        QString error;
        QVERIFY(!PendingActionsResponse::fromJson(prefix + nested(100000) + "}}]}", &error));
        QVERIFY(!error.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestPendingAction)
#include "tst_PendingAction.moc"
