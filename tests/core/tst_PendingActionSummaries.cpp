#include "core/CommandSegment.h"
#include "core/PendingAction.h"
#include "core/RuleScope.h"

#include <QTest>

using namespace Qt::StringLiterals;
using TextMap = QMap<QString, QString>;
using OptionalText = std::optional<QString>;
using Segments = QList<CommandSegment>;

namespace {

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

// What the approvals panel derives from a pending action: summaries, names, command segments,
// rule scopes and the time left.
class TestPendingActionSummaries : public QObject
{
    Q_OBJECT

private Q_SLOTS:
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

    void timeValues_data()
    {
        QTest::addColumn<QString>("expiresAt");
        QTest::addColumn<QDateTime>("now");
        QTest::addColumn<bool>("hasRemaining");
        QTest::addColumn<double>("remaining");
        QTest::addColumn<bool>("expired");
        const QString expiry = u"2025-01-31T12:00:00.500Z"_s;
        auto at = [](int h, int mi, int s, int ms) {
            return QDateTime(QDate(2025, 1, 31), QTime(h, mi, s, ms), Qt::UTC);
        };
        QTest::newRow("fraction of a second left") << expiry << at(12, 0, 0, 250) << true << 0.25 << false;
        QTest::newRow("exactly at expiry") << expiry << at(12, 0, 0, 500) << true << 0.0 << true;
        QTest::newRow("after expiry") << expiry << at(12, 1, 0, 500) << true << -60.0 << true;
        QTest::newRow("now in another zone")
            << expiry << QDateTime(QDate(2025, 1, 31), QTime(13, 59, 0, 500), Qt::OffsetFromUTC, 2 * 3600)
            << true << 60.0 << false;
        QTest::newRow("unparseable expiry") << u"soon"_s << at(11, 0, 0, 0) << false << 0.0 << true;
        QTest::newRow("invalid clock") << expiry << QDateTime() << false << 0.0 << true;
    }
    void timeValues()
    {
        QFETCH(QString, expiresAt);
        QFETCH(QDateTime, now);
        QFETCH(bool, hasRemaining);
        QFETCH(double, remaining);
        QFETCH(bool, expired);
        PendingAction action = actionWith(u"Bash"_s);
        action.expiresAt = expiresAt;
        const std::optional<double> timeRemaining = action.timeRemaining(now);
        QCOMPARE(bool(timeRemaining), hasRemaining);
        if (timeRemaining)
            QCOMPARE(*timeRemaining, remaining);
        QCOMPARE(action.isExpired(now), expired);
    }

    void summaries_data()
    {
        QTest::addColumn<TextMap>("toolInput");
        QTest::addColumn<OptionalText>("toolInputSummary");
        QTest::addColumn<QString>("toolSummary");
        QTest::addColumn<QString>("shortSummary");
        const OptionalText none;
        const OptionalText backend(u"backend summary"_s);
        QTest::newRow("summary beats command")
            << TextMap { { u"command"_s, u"ls -la"_s }, { u"summary"_s, u"List"_s } } << backend << u"List"_s
            << u"List"_s;
        QTest::newRow("command beats file_path")
            << TextMap { { u"file_path"_s, u"/etc/hosts"_s }, { u"command"_s, u"cat /etc/hosts"_s } } << none
            << u"cat /etc/hosts"_s << u"cat /etc/hosts"_s;
        QTest::newRow("file_path beats target")
            << TextMap { { u"target"_s, u"prod"_s }, { u"file_path"_s, u"/srv"_s } } << none << u"/srv"_s
            << u"/srv"_s;
        QTest::newRow("target") << TextMap { { u"target"_s, u"prod"_s }, { u"aaa"_s, u"first"_s } } << none
                                << u"prod"_s << u"prod"_s;
        QTest::newRow("empty summary is still found")
            << TextMap { { u"summary"_s, u""_s }, { u"command"_s, u"ls"_s } } << none << QString()
            << QString();
        QTest::newRow("first value in key order")
            << TextMap { { u"zz"_s, u"last"_s }, { u"body"_s, u"first"_s } } << backend << u"first"_s
            << u"first"_s;
        QTest::newRow("short_summary beats everything")
            << TextMap { { u"summary"_s, u"Long summary"_s }, { u"short_summary"_s, u"Short"_s } } << backend
            << u"Long summary"_s << u"Short"_s;
        QTest::newRow("short_summary alone is also a value")
            << TextMap { { u"short_summary"_s, u"Short"_s } } << none << u"Short"_s << u"Short"_s;
        QTest::newRow("empty input uses the back-end summary")
            << TextMap() << backend << u"backend summary"_s << u"backend summary"_s;
        QTest::newRow("then the tool name") << TextMap() << none << u"Bash"_s << u"Bash"_s;
    }
    void summaries()
    {
        QFETCH(TextMap, toolInput);
        QFETCH(OptionalText, toolInputSummary);
        QFETCH(QString, toolSummary);
        QFETCH(QString, shortSummary);
        const PendingAction action = actionWith(u"Bash"_s, toolInput, toolInputSummary);
        QCOMPARE(action.toolSummary(), toolSummary);
        QCOMPARE(action.shortSummary(), shortSummary);
        QCOMPARE(action.displaySummary(), shortSummary);
        QCOMPARE(action.displayName(), shortSummary);
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
    void hostileValues()
    {
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
};

QTEST_GUILESS_MAIN(TestPendingActionSummaries)
#include "tst_PendingActionSummaries.moc"
