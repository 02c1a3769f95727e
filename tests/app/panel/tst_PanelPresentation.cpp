#include "app/panel/ActionDetailState.h"
#include "app/panel/PanelPresentation.h"
#include "tests/app/panel/PanelTestActions.h"

#include <QSignalSpy>
#include <QTest>
#include <limits>

using namespace PanelTestActions;

namespace {

QStringList scopeValues(const RuleChoice& rule)
{
    QStringList values;
    for (const QVariant& option : rule.scopeOptions())
        values << option.toMap().value(u"value"_qs).toString() + u'='
                + option.toMap().value(u"label"_qs).toString();
    return values;
}

const double notANumber = std::numeric_limits<double>::quiet_NaN();

} // namespace

// The texts and colour names of the approvals panel, and the detail page's
// state: what it shows, the rule toggle and the scope.
class TestPanelPresentation : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void countdown_data()
    {
        QTest::addColumn<double>("remaining");
        QTest::addColumn<bool>("unregister");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("color");
        QTest::newRow("65.9 s") << 65.9 << false << u"1:05 remaining"_qs << u"teal"_qs;
        QTest::newRow("hours stay minutes") << 7322.0 << false << u"122:02 remaining"_qs << u"teal"_qs;
        QTest::newRow("unregister is amber") << 65.9 << true << u"1:05 remaining"_qs << u"amber"_qs;
        QTest::newRow("zero") << 0.0 << false << u"Expired"_qs << u"red"_qs;
        QTest::newRow("expired unregister is red") << -1.0 << true << u"Expired"_qs << u"red"_qs;
        QTest::newRow("NaN counts as expired") << notANumber << false << u"Expired"_qs << u"red"_qs;
        QTest::newRow("infinite is capped, not overflowed")
            << std::numeric_limits<double>::infinity() << false << u"150000000000000:00 remaining"_qs
            << u"teal"_qs;
    }
    void countdown()
    {
        QFETCH(double, remaining);
        QFETCH(bool, unregister);
        QFETCH(QString, text);
        QFETCH(QString, color);
        QCOMPARE(PanelPresentation::countdownText(remaining), text);
        QCOMPARE(PanelPresentation::countdownColorName(remaining, unregister), color);
    }

    void badges_data()
    {
        QTest::addColumn<QString>("classification");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("color");
        QTest::newRow("Network") << u"Network"_qs << u"Network"_qs << u"red"_qs;
        QTest::newRow("read") << u"read"_qs << u"Read"_qs << u"teal"_qs;
        QTest::newRow("SHELL") << u"SHELL"_qs << u"Shell"_qs << u"red"_qs;
        QTest::newRow("words") << u"file write"_qs << u"File Write"_qs << u"teal"_qs;
        QTest::newRow("hyphen") << u"read-only"_qs << u"Read-Only"_qs << u"teal"_qs;
        QTest::newRow("red only when whole") << u"network access"_qs << u"Network Access"_qs << u"teal"_qs;
    }
    void badges()
    {
        QFETCH(QString, classification);
        QFETCH(QString, text);
        QFETCH(QString, color);
        QCOMPARE(PanelPresentation::badgeText(classification), text);
        QCOMPARE(PanelPresentation::badgeColorName(classification), color);
    }

    void badgeSourceRuleLabelAndCoverage()
    {
        PendingAction action = make(u"a"_qs);
        QCOMPARE(PanelPresentation::ruleCoverage(action, RuleScope::machine),
            u"every Bash action from any agent on workstation"_qs);
        QCOMPARE(PanelPresentation::ruleCoverage(action, RuleScope::global),
            u"every Bash action from any agent on any machine"_qs);

        action.toolName = u"mcp__claude_ai_Gmail__search_threads"_qs;
        QCOMPARE(PanelPresentation::badgeSource(action), std::optional<QString>(u"Gmail"_qs));
        QCOMPARE(PanelPresentation::ruleLabel(action), u"Gmail"_qs);
        action.toolName = u"mcp__tool"_qs; // does not split: back to the classification
        QCOMPARE(PanelPresentation::ruleLabel(action), u"destructive"_qs);
        action.classification.reset();
        QCOMPARE(PanelPresentation::badgeSource(action), std::nullopt);
        QCOMPARE(PanelPresentation::ruleLabel(action), u"unknown"_qs);
        action.classification = QString(); // empty text: no badge
        QCOMPARE(PanelPresentation::badgeSource(action), std::nullopt);

        action.agentMachine.reset();
        action.toolName = u"mcp__github__create_issue"_qs;
        QCOMPARE(PanelPresentation::ruleCoverage(action, RuleScope::machine),
            u"every Github: Create Issue action from any agent on this machine"_qs);
    }

    void spokenSummaries_data()
    {
        QTest::addColumn<QString>("classification"); // "-": none
        QTest::addColumn<double>("remaining");
        QTest::addColumn<QString>("spoken");
        QTest::newRow("risky") << u"destructive"_qs << 65.9
                               << u"rm -rf build, high risk, 1 minute 5 seconds left"_qs;
        QTest::newRow("other class") << u"read"_qs << 120.0 << u"rm -rf build, low risk, 2 minutes left"_qs;
        QTest::newRow("no class") << u"-"_qs << 1.2 << u"rm -rf build, 1 second left"_qs;
        QTest::newRow("expired") << u"Network"_qs << 0.0 << u"rm -rf build, high risk, expired"_qs;
        QTest::newRow("not a number") << u"-"_qs << notANumber << u"rm -rf build, expired"_qs;
    }
    void spokenSummaries()
    {
        QFETCH(QString, classification);
        QFETCH(double, remaining);
        QFETCH(QString, spoken);
        const std::optional<QString> risk
            = classification == u"-" ? std::nullopt : std::optional(classification);
        QCOMPARE(PanelPresentation::spokenSummary(u"rm -rf build"_qs, risk, remaining), spoken);
        QCOMPARE(PanelPresentation::spokenDuration(3601), u"60 minutes 1 second"_qs);
        QCOMPARE(PanelPresentation::spokenDuration(-5), u"0 seconds"_qs);
    }

    // The riskiest part of a command is named over both risk vocabularies the
    // back-end and the classifier use; low parts are faded like reading ones.
    void riskiestPart_data()
    {
        QTest::addColumn<QStringList>("risks");
        QTest::addColumn<QString>("asked"); // empty: no part is named
        QTest::newRow("high after medium") << QStringList { u"low"_qs, u"medium"_qs, u"high"_qs }
                                           << u"Asked because this part is high: step 2"_qs;
        QTest::newRow("high first") << QStringList { u"HIGH"_qs, u"medium"_qs }
                                    << u"Asked because this part is HIGH: step 0"_qs;
        QTest::newRow("ties to the first")
            << QStringList { u"medium"_qs, u"medium"_qs } << u"Asked because this part is medium: step 0"_qs;
        QTest::newRow("privileged over destructive") << QStringList { u"destructive"_qs, u"privileged"_qs,
            u"write"_qs } << u"Asked because this part is privileged: step 1"_qs;
        QTest::newRow("unknown weighs least")
            << QStringList { u"odd"_qs, u"write"_qs } << u"Asked because this part is write: step 1"_qs;
        QTest::newRow("only low") << QStringList { u"low"_qs, u"read"_qs, u"READ"_qs } << QString();
    }
    void riskiestPart()
    {
        QFETCH(QStringList, risks);
        QFETCH(QString, asked);
        QList<std::pair<QString, QString>> pieces; // "step N" with the Nth risk
        for (const QString& risk : risks)
            pieces.append({ u"step %1"_qs.arg(pieces.size()), risk });
        PendingAction action = make(u"a"_qs);
        action.toolInput.insert(u"detail_segments"_qs, segmentsJson(pieces));
        ActionDetailState detail;
        detail.show(action, false);
        QCOMPARE(detail.shown()->highestRiskText(), asked);
        int marked = 0;
        for (const QVariant& segment : detail.shown()->segments()) {
            const QVariantMap map = segment.toMap();
            const QString risk = map.value(u"risk"_qs).toString();
            QCOMPARE(map.value(u"isRead"_qs).toBool(), risk == u"low" || risk == u"read");
            marked += map.value(u"isHighestRisk"_qs).toBool() ? 1 : 0;
        }
        QCOMPARE(marked, asked.isEmpty() ? 0 : 1);
    }

    void detailShowsTheAction()
    {
        ActionDetailState detail;
        const ShownAction& shown = *detail.shown();
        detail.countdown()->setClock(fixedNow);
        PendingAction action = make(u"act-1"_qs);
        action.expiresAt = expiresIn(65.9);
        // Without readable segments the summary is shown.
        action.toolInput.insert(u"detail_segments"_qs, u"not json"_qs);
        detail.show(action, false);
        QVERIFY(!shown.hasSegments());
        QCOMPARE(shown.displaySummary(), u"rm -rf build"_qs);
        QCOMPARE(shown.title(), u"Bash"_qs); // the tool name, not the summary
        QCOMPARE(detail.countdown()->spokenSummary(), u"Bash, high risk, 1 minute 5 seconds left"_qs);

        // An MCP tool is titled by its display name and badged by its service.
        action.toolName = u"mcp__github__create_issue"_qs;
        detail.show(action, false);
        QCOMPARE(shown.title(), u"Github: Create Issue"_qs);
        QCOMPARE(shown.badgeText(), u"Github"_qs);

        detail.show(std::nullopt, false);
        QVERIFY(!detail.action() && !detail.countdown()->showsButtons());
        QCOMPARE(shown.title(), QString());

        // No rule is ever sent for a tool that cannot have one, toggle or not.
        for (const QString& tool : { u"quorvane:unregister"_qs, u"quorvane:link"_qs, u"Write"_qs }) {
            detail.show(make(u"a"_qs, tool), false);
            detail.rule()->turn(true);
            QCOMPARE(shown.showsRuleSection(), tool == u"Write");
            QCOMPARE(detail.rule()->scopeForApproval().has_value(), tool == u"Write");
        }
    }

    void scopes_data()
    {
        QTest::addColumn<int>("machineAgentCount");
        QTest::addColumn<QStringList>("options");
        const QString agent = u"agent=This Agent"_qs;
        const QString machine = u"machine=This Machine"_qs;
        const QString global = u"global=All Agents"_qs;
        QTest::newRow("two agents") << 2 << QStringList { agent, machine, global };
        QTest::newRow("one agent") << 1 << QStringList { machine, global };
        QTest::newRow("negative") << -4 << QStringList { machine, global };
    }
    void scopes()
    {
        QFETCH(int, machineAgentCount);
        QFETCH(QStringList, options);
        ActionDetailState detail;
        RuleChoice& rule = *detail.rule();
        PendingAction action = make(u"a"_qs);
        action.machineAgentCount = machineAgentCount;
        detail.show(action, false);
        QCOMPARE(scopeValues(rule), options);
        QVERIFY(!rule.isOn());
        QCOMPARE(rule.scope().rawValue(), options.first().section(u'=', 0, 0));
        QCOMPARE(rule.scopeIndex(), 0);

        // Only scopes on offer can be chosen.
        rule.chooseScope(RuleScope::global);
        QCOMPARE(rule.warning(), u"Future destructive actions from any agent will be auto-approved."_qs);
        rule.chooseScope(RuleScope::agent);
        QCOMPARE(rule.scope().rawValue(), machineAgentCount > 1 ? u"agent"_qs : u"global"_qs);
        rule.chooseScopeAt(99);
        rule.chooseScopeAt(-1);
        QVERIFY(options.contains(rule.scope().rawValue() + u'=' + rule.scope().displayName()));
        rule.chooseScopeAt(1);
        QCOMPARE(rule.scope().rawValue(), options.at(1).section(u'=', 0, 0));
    }

    void choicesResetForAnotherActionOnly()
    {
        ActionDetailState detail;
        RuleChoice& rule = *detail.rule();
        PendingAction first = make(u"a"_qs);
        first.agentMachine.reset();
        detail.show(first, false);
        rule.turn(true);
        rule.chooseScope(RuleScope::machine);
        QCOMPARE(rule.warning(), u"Future destructive actions from agents on this machine will be auto-approved."_qs);

        // A refresh of the same action keeps the choices but updates the warning.
        QSignalSpy warning(&rule, &RuleChoice::scopeChanged);
        first.agentMachine = u"laptop"_qs;
        detail.show(first, false);
        QVERIFY(rule.isOn());
        QCOMPARE(rule.warning(), u"Future destructive actions from agents on laptop will be auto-approved."_qs);
        QVERIFY(!warning.isEmpty());

        // A refresh that no longer offers the chosen scope moves to one on offer.
        rule.chooseScope(RuleScope::agent);
        first.machineAgentCount = 1;
        detail.show(first, false);
        QCOMPARE(rule.scope().rawValue(), u"machine"_qs);

        // Another action starts afresh.
        detail.show(make(u"b"_qs), false);
        QVERIFY(!rule.isOn());
        QCOMPARE(rule.warning(), u"Future destructive actions from claude-work will be auto-approved."_qs);
    }
};

QTEST_GUILESS_MAIN(TestPanelPresentation)
#include "tst_PanelPresentation.moc"
