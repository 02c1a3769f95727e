#include "core/CommandSegment.h"
#include "core/PendingAction.h"
#include "core/PendingActionsResponse.h"
#include "core/RuleScope.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

using namespace Qt::StringLiterals;
using TextMap = QMap<QString, QString>;
using OptionalText = std::optional<QString>;
using Segments = QList<CommandSegment>;

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

PendingAction actionWith(
    const QString& toolName, const TextMap& toolInput = {}, const OptionalText& summary = {})
{
    PendingAction action;
    action.id = u"a"_s;
    action.toolName = toolName;
    action.toolInput = toolInput;
    action.toolInputSummary = summary;
    return action;
}

qint64 utcMSecs(int y, int mo, int d, int h, int mi, int s, int ms = 0)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s, ms), Qt::UTC).toMSecsSinceEpoch();
}

} // namespace

// Pending actions as the back-end lists them (the tolerant decoder of one record and of the list),
// and what the approvals panel derives from one: summaries, names, command segments, rule scopes
// and the time left.
class TestPendingAction : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void decodesEveryFieldAndKeepsTheOrder()
    {
        const PendingAction expected { u"act-1"_s, u"agent-7"_s, u"Coding assistant"_s, u"workstation"_s,
            u"Bash"_s, u"rm -rf build"_s,
            TextMap { { u"command"_s, u"rm -rf build"_s }, { u"description"_s, u"Clean the build"_s } },
            u"destructive"_s, 2, u"2025-01-31T11:55:00Z"_s, u"2025-01-31T12:00:00.250Z"_s,
            u"Deletes the build folder."_s };
        QCOMPARE(PendingAction::fromJson(validRecord()), std::optional(expected));

        QJsonArray actions;
        for (const char* id : { "c", "a", "b" })
            actions.append(withMember(validRecord(), u"id"_s, QString::fromLatin1(id)));
        const std::optional<PendingActionsResponse> response
            = PendingActionsResponse::fromJson(responseBody(actions));
        QVERIFY(response && response->actions.size() == 3);
        QCOMPARE(response->actions[0].id + response->actions[1].id + response->actions[2].id, u"cab"_s);
    }

    // Required texts fail the record and the whole list; optional texts fail it only when they are
    // present and not text.
    void memberTypes()
    {
        const auto refused = [](const QString& key, const QByteArray& value) {
            const QJsonObject record = withMember(validRecord(), key, literal(value));
            QString error;
            QVERIFY2(!PendingAction::fromJson(record, &error) && error.startsWith(key + ": "_L1),
                qPrintable(key + u' ' + QString::fromLatin1(value) + u" -> "_s + error));
            // One bad record among good ones fails the whole list.
            QVERIFY(!PendingActionsResponse::fromJson(
                responseBody({ validRecord(), record, validRecord() }), &error));
            QVERIFY2(error.startsWith("actions[1]: "_L1 + key), qPrintable(error));
        };
        for (const char* key : { "id", "agent_id", "agent_name", "tool_name", "created_at", "expires_at" }) {
            for (const char* value : { "missing", "null", "42", "[\"x\"]" })
                refused(QString::fromLatin1(key), value);
        }
        const QList<std::pair<QByteArray, OptionalText>> kept { { "missing", std::nullopt },
            { "null", std::nullopt }, { "\"\"", QString() }, { "\"z\\u00e9\\n\"", u"z\u00e9\n"_s } };
        for (const QString& key :
            { u"agent_machine"_s, u"tool_input_summary"_s, u"classification"_s, u"explanation"_s }) {
            for (const auto& [value, expected] : kept) {
                const auto action = PendingAction::fromJson(withMember(validRecord(), key, literal(value)));
                QVERIFY(action);
                const QMap<QString, OptionalText> fields { { u"agent_machine"_s, action->agentMachine },
                    { u"tool_input_summary"_s, action->toolInputSummary },
                    { u"classification"_s, action->classification },
                    { u"explanation"_s, action->explanation } };
                QCOMPARE(std::pair(key + u' ' + QString::fromLatin1(value), fields.value(key)),
                    std::pair(key + u' ' + QString::fromLatin1(value), expected));
            }
            refused(key, "1");
            refused(key, "{}");
        }
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

    void response()
    {
        const QByteArray one = QJsonDocument(validRecord()).toJson(QJsonDocument::Compact);
        // The body and how many actions it holds (-1: the whole response fails).
        const QList<std::pair<QByteArray, int>> cases { { R"({"actions":[]})"_ba, 0 },
            { "{\"next\":null,\"actions\":[" + one + "," + one + "],\"total\":1}",
                2 }, // extra members ignored
            { R"({"items":[]})"_ba, -1 }, { "{\"actions\":" + one + "}", -1 }, { "[" + one + "]", -1 },
            { "{\"actions\":[" + one + ",null]}", -1 }, { "<html>502 Bad Gateway</html>"_ba, -1 },
            { "{\"actions\":[" + one.left(one.size() / 2), -1 }, { R"({"actions":[]} x)"_ba, -1 },
            { "{\"actions\":[],\"x\":\"\xff\xfe\"}"_ba, -1 },
            // A lone surrogate escape is kept as text.
            { R"({"actions":[{"id":"\ud800","agent_id":"a","agent_name":"n","tool_name":"t",)"
              R"("created_at":"c","expires_at":"e"}]})"_ba,
                1 } };
        for (const auto& [body, count] : cases) {
            QString error;
            const std::optional<PendingActionsResponse> response
                = PendingActionsResponse::fromJson(body, &error);
            QCOMPARE(std::pair(body.left(60), response ? int(response->actions.size()) : -1),
                std::pair(body.left(60), count));
            QCOMPARE(error.isEmpty(), bool(response));
        }
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

        // A huge MCP name splits without trouble.
        PendingAction mcp = actionWith(u"mcp__"_s + QString(100000, u'a') + u"__"_s + QString(100000, u'_'));
        QVERIFY(!mcp.mcpDisplayName());
        mcp.toolName.append(u'z');
        QCOMPARE(mcp.mcpDisplayName()->size(), 100000 + 3);

        // A huge fraction in the expiry is still a date.
        PendingAction longFraction = actionWith(u"Bash"_s);
        longFraction.expiresAt = u"2025-01-31T12:00:00."_s + QString(1000000, u'9') + u"Z"_s;
        QCOMPARE(longFraction.expiresDate()->toMSecsSinceEpoch(), utcMSecs(2025, 1, 31, 12, 0, 0, 999));

        // Deeply nested detail segments text is only "does not decode".
        const PendingAction segments = actionWith(
            u"Bash"_s, { { u"detail_segments"_s, QString(100000, u'[') + QString(100000, u']') } });
        QVERIFY(!segments.detailSegments());
    }

    void expiresDate()
    {
        const auto date = [](const QString& text) {
            PendingAction action = actionWith(u"Bash"_s);
            action.expiresAt = text;
            return action.expiresDate();
        };
        // Fractions of a millisecond are cut; offsets, a lower-case t and z, leap days and leap seconds.
        const QList<std::pair<QString, qint64>> valid {
            { u"2025-01-31T12:00:00.123Z"_s, utcMSecs(2025, 1, 31, 12, 0, 0, 123) },
            { u"2025-01-31T12:00:00.123987Z"_s, utcMSecs(2025, 1, 31, 12, 0, 0, 123) },
            { u"2025-01-31T13:30:00+01:30"_s, utcMSecs(2025, 1, 31, 12, 0, 0) },
            { u"2024-12-31T23:30:00.010-02:00"_s, utcMSecs(2025, 1, 1, 1, 30, 0, 10) },
            { u"2025-01-31t12:00:00z"_s, utcMSecs(2025, 1, 31, 12, 0, 0) },
            { u"2000-02-29T23:59:59Z"_s, utcMSecs(2000, 2, 29, 23, 59, 59) },
            { u"2016-12-31T23:59:60Z"_s, utcMSecs(2017, 1, 1, 0, 0, 0) },
            { u"1969-12-31T23:59:59.999Z"_s, -1 },
            { u"9999-12-31T23:59:59Z"_s, utcMSecs(9999, 12, 31, 23, 59, 59) },
        };
        for (const auto& [text, msecs] : valid) {
            const std::optional<QDateTime> parsed = date(text);
            QCOMPARE(std::pair(text, parsed ? parsed->toMSecsSinceEpoch() : 0), std::pair(text, msecs));
        }
        for (const char* text :
            { "2025-13-01T12:00:00Z", "2025-01-00T12:00:00Z", "2025-04-31T12:00:00Z", "2025-02-29T12:00:00Z",
                "1900-02-29T12:00:00Z", "2025-01-31T24:00:00Z", "2025-01-31T12:60:00Z",
                "2025-01-31T12:00:61Z", "2025-01-31T12:00:00Z ", "2025-01-31T12:00:00", "2025-01-31T12:00Z",
                "2025-01-31 12:00:00Z", "2025-01-31T12:00:00.Z", "2025-01-31T12:00:00,5Z",
                "2025-01-31T12:00:00+0100", "2025-01-31T12:00:00+24:00", "2025-01-31T12:00:00+01:60",
                "2025-01-31T12:00:00Z+01:00", "12025-01-31T12:00:00Z", "2025-1-31T12:00:00Z",
                "\u0662\u0660\u0662\u0665-01-31T12:00:00Z", "1738324800", "", "2025-01-31T12:0" })
            QVERIFY2(!date(QString::fromUtf8(text)), text);
    }

    void timeValues()
    {
        const QString expiry = u"2025-01-31T12:00:00.500Z"_s;
        const auto at = [](int h, int mi, int s, int ms) {
            return QDateTime(QDate(2025, 1, 31), QTime(h, mi, s, ms), Qt::UTC);
        };
        // The expiry, now, the seconds left (none without a date or a clock) and whether it has
        // expired, which it has exactly at the expiry.
        const QList<std::tuple<QString, QDateTime, std::optional<double>, bool>> cases {
            { expiry, at(12, 0, 0, 250), 0.25, false }, { expiry, at(12, 0, 0, 500), 0.0, true },
            { expiry, at(12, 1, 0, 500), -60.0, true },
            { expiry, QDateTime(QDate(2025, 1, 31), QTime(13, 59, 0, 500), Qt::OffsetFromUTC, 2 * 3600), 60.0,
                false },
            { u"soon"_s, at(11, 0, 0, 0), std::nullopt, true }, { expiry, QDateTime(), std::nullopt, true }
        };
        for (const auto& [expiresAt, now, remaining, expired] : cases) {
            PendingAction action = actionWith(u"Bash"_s);
            action.expiresAt = expiresAt;
            const QString when = expiresAt + u" at "_s + now.toString(Qt::ISODateWithMs);
            QCOMPARE(std::tuple(when, action.timeRemaining(now).value_or(-1e9), action.isExpired(now)),
                std::tuple(when, remaining.value_or(-1e9), expired));
        }
    }

    void summaries()
    {
        const OptionalText none;
        const OptionalText backend(u"backend summary"_s);
        // The tool input and the back-end's summary, then the tool summary and the short summary:
        // summary, command, file_path, target, else the first value in key order; short_summary
        // first for the short one; then the back-end's summary, then the tool name.
        const QList<std::tuple<TextMap, OptionalText, QString, QString>> cases {
            { { { u"command"_s, u"ls -la"_s }, { u"summary"_s, u"List"_s } }, backend, u"List"_s, u"List"_s },
            { { { u"file_path"_s, u"/etc/hosts"_s }, { u"command"_s, u"cat /etc/hosts"_s } }, none,
                u"cat /etc/hosts"_s, u"cat /etc/hosts"_s },
            { { { u"target"_s, u"prod"_s }, { u"file_path"_s, u"/srv"_s } }, none, u"/srv"_s, u"/srv"_s },
            { { { u"target"_s, u"prod"_s }, { u"aaa"_s, u"first"_s } }, none, u"prod"_s, u"prod"_s },
            { { { u"summary"_s, u""_s }, { u"command"_s, u"ls"_s } }, none, QString(), QString() },
            { { { u"zz"_s, u"last"_s }, { u"body"_s, u"first"_s } }, backend, u"first"_s, u"first"_s },
            { { { u"summary"_s, u"Long summary"_s }, { u"short_summary"_s, u"Short"_s } }, backend,
                u"Long summary"_s, u"Short"_s },
            { { { u"short_summary"_s, u"Short"_s } }, none, u"Short"_s, u"Short"_s },
            { {}, backend, u"backend summary"_s, u"backend summary"_s }, { {}, none, u"Bash"_s, u"Bash"_s }
        };
        for (const auto& [input, backendSummary, toolSummary, shortSummary] : cases) {
            const PendingAction action = actionWith(u"Bash"_s, input, backendSummary);
            const QString keys = input.keys().join(u',');
            QCOMPARE(std::pair(keys, action.toolSummary()), std::pair(keys, toolSummary));
            QCOMPARE(std::tuple(keys, action.shortSummary(), action.displaySummary(), action.displayName()),
                std::tuple(keys, shortSummary, shortSummary, shortSummary));
        }
    }

    void detailSegments()
    {
        const auto segments = [](const QString& value) { // null: no "detail_segments" in the input
            TextMap input { { u"command"_s, u"ls"_s } };
            if (!value.isNull())
                input.insert(u"detail_segments"_s, value);
            return actionWith(u"Bash"_s, input).detailSegments();
        };
        QCOMPARE(segments(u" [ ] "_s), std::optional(Segments()));
        QCOMPARE(segments(uR"([{"segment":"ls -la","base_cmd":"ls","risk":"read","x":1},)"
                          uR"({"segment":"rm -rf /tmp/\u00e9","base_cmd":"rm","risk":"destructive"}])"_s),
            std::optional(Segments { { u"ls -la"_s, u"ls"_s, u"read"_s },
                { u"rm -rf /tmp/\u00e9"_s, u"rm"_s, u"destructive"_s } }));
        for (const QString& value :
            { QString(), u"ls -la && rm x"_s, uR"([{"segment":"ls","base_cmd":"ls")"_s,
                uR"({"segment":"ls","base_cmd":"ls","risk":"r"})"_s, u"[null]"_s,
                uR"([{"segment":"ls","base_cmd":"ls","risk":"read"},{"segment":"rm x","base_cmd":"rm"}])"_s,
                uR"([{"base_cmd":"ls","risk":"read"}])"_s, uR"([{"segment":"ls","risk":"read"}])"_s,
                uR"([{"segment":"ls","base_cmd":"ls","risk":1}])"_s })
            QVERIFY2(!segments(value), qPrintable(value));
    }

    void specialToolNames()
    {
        // The name, then isUnregister, canCreateRule and isMcpTool.
        const QList<std::tuple<QString, bool, bool, bool>> cases { { u"quorvane:unregister"_s, true, false,
                                                                       false },
            { u"quorvane:link"_s, false, false, false }, { u"QUORVANE:UNREGISTER"_s, false, true, false },
            { u"quorvane:other"_s, false, true, false }, { u"mcp__"_s, false, true, true },
            { u"mcp_github__x"_s, false, true, false }, { u"MCP__github__x"_s, false, true, false } };
        for (const auto& [name, unregister, rule, mcp] : cases) {
            const PendingAction action = actionWith(name);
            QCOMPARE(std::tuple(name, action.isUnregister(), action.canCreateRule(), action.isMcpTool()),
                std::tuple(name, unregister, rule, mcp));
        }
    }

    void mcpNames()
    {
        const QList<std::pair<QString, QString>> cases { // "-": none
            { u"mcp__github__create_ticket"_s, u"Github: Create Ticket"_s },
            { u"mcp__claude_ai_Gmail__search_threads"_s, u"Gmail: Search Threads"_s },
            { u"mcp__plugin_acme_google_drive__get"_s, u"Google Drive: Get"_s },
            { u"mcp__plugin_slack__post"_s, u"Slack: Post"_s },
            { u"mcp__plugin_acme_x___y__z"_s, u"X: Y Z"_s }, { u"mcp__tool"_s, u"-"_s },
            { u"mcp____x"_s, u"-"_s }, { u"mcp__a__"_s, u"-"_s }, { u"mcp___a__b"_s, u"A: B"_s },
            { u"mcp__gitHub__createPR_now"_s, u"GitHub: CreatePR Now"_s },
            { u"mcp__my--server__do__it"_s, u"My Server: Do It"_s },
            { u"mcp__\u00e9t\u00e9__\u00fcber_alles"_s, u"\u00c9t\u00e9: \u00dcber Alles"_s },
            { u"mcp__claude_ai___x"_s, u"Claude Ai: X"_s }, { u"mcp__plugin_-__x"_s, u"-"_s },
            { u"mcp__srv__-"_s, u"-"_s }, { u"github__create_ticket"_s, u"-"_s }
        };
        for (const auto& [toolName, displayName] : cases) {
            const PendingAction action = actionWith(toolName, { { u"short_summary"_s, u"short"_s } });
            QCOMPARE(std::pair(toolName, action.mcpDisplayName().value_or(u"-"_s)),
                std::pair(toolName, displayName));
            QCOMPARE(action.mcpServiceName().value_or(u"-"_s), displayName.section(u':', 0, 0));
            QCOMPARE(action.displayName(), displayName == "-"_L1 ? u"short"_s : displayName);
        }
    }

    void ruleScopes()
    {
        for (const RuleScope scope : RuleScope::allCases())
            QCOMPARE(RuleScope::fromRawValue(scope.rawValue()), std::optional<RuleScope>(scope));
        QVERIFY(!RuleScope::fromRawValue(u"Agent"));
        // "This Agent" only where the machine runs more than one agent.
        const QList<RuleScope> shared { RuleScope::machine, RuleScope::global };
        QCOMPARE(RuleScope::availableCases(std::numeric_limits<qint64>::min()), shared);
        QCOMPARE(RuleScope::availableCases(1), shared);
        QCOMPARE(RuleScope::availableCases(2), RuleScope::allCases());
    }
};

QTEST_GUILESS_MAIN(TestPendingAction)
#include "tst_PendingAction.moc"
