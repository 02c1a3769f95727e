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

} // namespace

class TestPendingActionSummaries : public QObject
{
    Q_OBJECT

private Q_SLOTS:
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

    void detailSegments_data()
    {
        QTest::addColumn<OptionalText>("value");
        QTest::addColumn<bool>("present");
        QTest::addColumn<Segments>("expected");
        QTest::newRow("key missing") << OptionalText() << false << Segments();
        QTest::newRow("empty list with spaces") << OptionalText(u" [ ] "_s) << true << Segments();
        QTest::newRow("not JSON") << OptionalText(u"ls -la && rm x"_s) << false << Segments();
        QTest::newRow("truncated") << OptionalText(QStringLiteral(R"([{"segment":"ls","base_cmd":"ls")"))
                                   << false << Segments();
        QTest::newRow("object instead of list")
            << OptionalText(QStringLiteral(R"({"segment":"ls","base_cmd":"ls","risk":"r"})")) << false
            << Segments();
        QTest::newRow("null element") << OptionalText(u"[null]"_s) << false << Segments();
        QTest::newRow("second element missing risk") << OptionalText(QStringLiteral(
            R"([{"segment":"ls","base_cmd":"ls","risk":"read"},{"segment":"rm x","base_cmd":"rm"}])"))
                                                     << false << Segments();
        QTest::newRow("missing segment")
            << OptionalText(QStringLiteral(R"([{"base_cmd":"ls","risk":"read"}])")) << false << Segments();
        QTest::newRow("missing base_cmd")
            << OptionalText(QStringLiteral(R"([{"segment":"ls","risk":"read"}])")) << false << Segments();
        QTest::newRow("risk is a number")
            << OptionalText(QStringLiteral(R"([{"segment":"ls","base_cmd":"ls","risk":1}])")) << false
            << Segments();
        QTest::newRow("two segments, extra member ignored")
            << OptionalText(QStringLiteral(
                   R"([{"segment":"ls -la","base_cmd":"ls","risk":"read","x":1},)"
                   R"({"segment":"rm -rf /tmp/\u00e9","base_cmd":"rm","risk":"destructive"}])"))
            << true
            << Segments { { u"ls -la"_s, u"ls"_s, u"read"_s },
                   { u"rm -rf /tmp/\u00e9"_s, u"rm"_s, u"destructive"_s } };
    }
    void detailSegments()
    {
        QFETCH(OptionalText, value);
        QFETCH(bool, present);
        QFETCH(Segments, expected);
        TextMap input { { u"command"_s, u"ls"_s } };
        if (value)
            input.insert(u"detail_segments"_s, *value);
        const std::optional<Segments> segments = actionWith(u"Bash"_s, input).detailSegments();
        QCOMPARE(bool(segments), present);
        if (segments)
            QCOMPARE(*segments, expected);
    }

    void specialToolNames_data()
    {
        QTest::addColumn<QString>("toolName");
        QTest::addColumn<bool>("isUnregister");
        QTest::addColumn<bool>("canCreateRule");
        QTest::addColumn<bool>("isMcpTool");
        QTest::newRow("unregister") << u"quorvane:unregister"_s << true << false << false;
        QTest::newRow("link") << u"quorvane:link"_s << false << false << false;
        QTest::newRow("upper-case unregister") << u"QUORVANE:UNREGISTER"_s << false << true << false;
        QTest::newRow("other quorvane name") << u"quorvane:other"_s << false << true << false;
        QTest::newRow("mcp prefix alone") << u"mcp__"_s << false << true << true;
        QTest::newRow("single underscore") << u"mcp_github__x"_s << false << true << false;
        QTest::newRow("upper-case prefix") << u"MCP__github__x"_s << false << true << false;
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
        QTest::addColumn<QString>("displayName"); // empty: none
        QTest::newRow("github") << u"mcp__github__create_issue"_s << u"Github: Create Issue"_s;
        QTest::newRow("claude_ai_ prefix")
            << u"mcp__claude_ai_Gmail__search_threads"_s << u"Gmail: Search Threads"_s;
        QTest::newRow("plugin with a long server")
            << u"mcp__plugin_acme_google_drive__get"_s << u"Google Drive: Get"_s;
        QTest::newRow("plugin with one piece") << u"mcp__plugin_slack__post"_s << u"Slack: Post"_s;
        QTest::newRow("plugin with doubled underscore") << u"mcp__plugin_acme_x___y__z"_s << u"X: Y Z"_s;
        QTest::newRow("no second separator") << u"mcp__tool"_s << QString();
        QTest::newRow("empty server") << u"mcp____x"_s << QString();
        QTest::newRow("empty tool") << u"mcp__a__"_s << QString();
        QTest::newRow("server starting with underscore") << u"mcp___a__b"_s << u"A: B"_s;
        QTest::newRow("rest of word unchanged")
            << u"mcp__gitHub__createPR_now"_s << u"GitHub: CreatePR Now"_s;
        QTest::newRow("dashes and repeats") << u"mcp__my--server__do__it"_s << u"My Server: Do It"_s;
        QTest::newRow("non-ASCII first letter")
            << u"mcp__\u00e9t\u00e9__\u00fcber_alles"_s << u"\u00c9t\u00e9: \u00dcber Alles"_s;
        QTest::newRow("claude_ai before the separator") << u"mcp__claude_ai___x"_s << u"Claude Ai: X"_s;
        QTest::newRow("nothing after the plugin prefix") << u"mcp__plugin_-__x"_s << QString();
        QTest::newRow("tool of separators only") << u"mcp__srv__-"_s << QString();
        QTest::newRow("not mcp") << u"github__create_issue"_s << QString();
    }
    void mcpNames()
    {
        QFETCH(QString, toolName);
        QFETCH(QString, displayName);
        const PendingAction action = actionWith(toolName, { { u"short_summary"_s, u"short"_s } });
        const OptionalText expected = displayName.isEmpty() ? OptionalText() : OptionalText(displayName);
        QCOMPARE(action.mcpDisplayName(), expected);
        QCOMPARE(action.mcpServiceName(),
            displayName.isEmpty() ? OptionalText() : displayName.section(u':', 0, 0));
        QCOMPARE(action.displayName(), expected.value_or(u"short"_s));
    }

    void ruleScopes()
    {
        QCOMPARE(RuleScope::allCases(),
            (QList<RuleScope> { RuleScope::agent, RuleScope::machine, RuleScope::global }));
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
        // The scope travels through QVariant (and so QML) unchanged.
        QCOMPARE(QVariant::fromValue(RuleScope(RuleScope::global)).value<RuleScope>(),
            RuleScope(RuleScope::global));

        // "This Agent" only where the machine runs more than one agent.
        const QList<RuleScope> shared { RuleScope::machine, RuleScope::global };
        QCOMPARE(RuleScope::availableCases(std::numeric_limits<qint64>::min()), shared);
        QCOMPARE(RuleScope::availableCases(1), shared);
        QCOMPARE(RuleScope::availableCases(2), RuleScope::allCases());
        QCOMPARE(RuleScope::availableCases(std::numeric_limits<qint64>::max()), RuleScope::allCases());
    }
};

QTEST_GUILESS_MAIN(TestPendingActionSummaries)
#include "tst_PendingActionSummaries.moc"
