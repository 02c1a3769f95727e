#include "app/panel/PanelPresentation.h"
#include "tests/app/panel/PanelTestActions.h"

#include <QTest>
#include <limits>

using namespace PanelTestActions;

// The texts and colour names of the approvals panel.
class TestPanelPresentation : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void tabLabel_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("label");
        QTest::newRow("none") << 0 << QStringLiteral("Actions");
        QTest::newRow("one") << 1 << QStringLiteral("Actions (1)");
        QTest::newRow("many") << 1000 << QStringLiteral("Actions (1000)");
    }
    void tabLabel()
    {
        QFETCH(int, count);
        QFETCH(QString, label);
        QCOMPARE(PanelPresentation::actionsTabLabel(count), label);
    }

    void countdown_data()
    {
        QTest::addColumn<double>("remaining");
        QTest::addColumn<bool>("unregister");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("color");
        QTest::newRow("65.9 s") << 65.9 << false << QStringLiteral("1:05 remaining")
                                << QStringLiteral("teal");
        QTest::newRow("12:00") << 720.0 << false << QStringLiteral("12:00 remaining")
                               << QStringLiteral("teal");
        QTest::newRow("minutes unpadded")
            << 59.999 << false << QStringLiteral("0:59 remaining") << QStringLiteral("teal");
        QTest::newRow("under a second")
            << 0.4 << false << QStringLiteral("0:00 remaining") << QStringLiteral("teal");
        QTest::newRow("hours stay minutes")
            << 7322.0 << false << QStringLiteral("122:02 remaining") << QStringLiteral("teal");
        QTest::newRow("unregister is amber")
            << 65.9 << true << QStringLiteral("1:05 remaining") << QStringLiteral("amber");
        QTest::newRow("zero") << 0.0 << false << QStringLiteral("Expired") << QStringLiteral("red");
        QTest::newRow("negative") << -12.5 << false << QStringLiteral("Expired") << QStringLiteral("red");
        QTest::newRow("expired unregister is red")
            << -1.0 << true << QStringLiteral("Expired") << QStringLiteral("red");
        QTest::newRow("NaN counts as expired") << std::numeric_limits<double>::quiet_NaN() << false
                                               << QStringLiteral("Expired") << QStringLiteral("red");
        QTest::newRow("infinite is capped, not overflowed")
            << std::numeric_limits<double>::infinity() << false
            << QStringLiteral("150000000000000:00 remaining") << QStringLiteral("teal");
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

    void remainingSeconds()
    {
        PendingAction action = make(QStringLiteral("a"));
        action.expiresAt = expiresIn(65.9);
        QCOMPARE(PanelPresentation::remainingSeconds(action, fixedNow()), 65.9);
        action.expiresAt = QStringLiteral("tomorrow");
        QCOMPARE(PanelPresentation::remainingSeconds(action, fixedNow()), 0.0);
        QCOMPARE(PanelPresentation::countdownText(PanelPresentation::remainingSeconds(action, fixedNow())),
            QStringLiteral("Expired"));
    }

    void badges_data()
    {
        QTest::addColumn<QString>("classification");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("color");
        QTest::newRow("Network") << QStringLiteral("Network") << QStringLiteral("Network")
                                 << QStringLiteral("red");
        QTest::newRow("read") << QStringLiteral("read") << QStringLiteral("Read") << QStringLiteral("teal");
        QTest::newRow("SHELL") << QStringLiteral("SHELL") << QStringLiteral("Shell") << QStringLiteral("red");
        QTest::newRow("unknown") << QStringLiteral("unknown") << QStringLiteral("Unknown")
                                 << QStringLiteral("red");
        QTest::newRow("destructive") << QStringLiteral("Destructive") << QStringLiteral("Destructive")
                                     << QStringLiteral("red");
        QTest::newRow("write") << QStringLiteral("write") << QStringLiteral("Write")
                               << QStringLiteral("teal");
        QTest::newRow("words") << QStringLiteral("file write") << QStringLiteral("File Write")
                               << QStringLiteral("teal");
        QTest::newRow("hyphen") << QStringLiteral("read-only") << QStringLiteral("Read-Only")
                                << QStringLiteral("teal");
        QTest::newRow("service name")
            << QStringLiteral("Github") << QStringLiteral("Github") << QStringLiteral("teal");
        QTest::newRow("red only when whole")
            << QStringLiteral("network access") << QStringLiteral("Network Access") << QStringLiteral("teal");
    }
    void badges()
    {
        QFETCH(QString, classification);
        QFETCH(QString, text);
        QFETCH(QString, color);
        QCOMPARE(PanelPresentation::badgeText(classification), text);
        QCOMPARE(PanelPresentation::badgeColorName(classification), color);
    }

    void badgeSourceAndRuleLabel()
    {
        PendingAction action = make(QStringLiteral("a"));
        QCOMPARE(
            PanelPresentation::badgeSource(action), std::optional<QString>(QStringLiteral("destructive")));
        QCOMPARE(PanelPresentation::ruleLabel(action), QStringLiteral("destructive"));

        action.toolName = QStringLiteral("mcp__claude_ai_Gmail__search_threads");
        QCOMPARE(PanelPresentation::badgeSource(action), std::optional<QString>(QStringLiteral("Gmail")));
        QCOMPARE(PanelPresentation::ruleLabel(action), QStringLiteral("Gmail"));

        action.toolName = QStringLiteral("mcp__tool"); // does not split: back to the classification
        QCOMPARE(PanelPresentation::ruleLabel(action), QStringLiteral("destructive"));

        action.classification.reset();
        QCOMPARE(PanelPresentation::badgeSource(action), std::nullopt);
        QCOMPARE(PanelPresentation::ruleLabel(action), QStringLiteral("unknown"));

        action.classification = QString(); // empty text: no badge
        QCOMPARE(PanelPresentation::badgeSource(action), std::nullopt);
    }

    void scopeWarnings_data()
    {
        QTest::addColumn<int>("scope");
        QTest::addColumn<bool>("withMachine");
        QTest::addColumn<QString>("warning");
        QTest::newRow("agent") << int(RuleScope::agent) << true
                               << QStringLiteral(
                                      "Future destructive actions from claude-work will be auto-approved.");
        QTest::newRow("machine") << int(RuleScope::machine) << true
                                 << QStringLiteral(
                                        "Future destructive actions from agents on workstation will be "
                                        "auto-approved.");
        QTest::newRow("machine without a name")
            << int(RuleScope::machine) << false
            << QStringLiteral(
                   "Future destructive actions from agents on this machine will be auto-approved.");
        QTest::newRow("global") << int(RuleScope::global) << true
                                << QStringLiteral(
                                       "Future destructive actions from any agent will be auto-approved.");
    }
    void scopeWarnings()
    {
        QFETCH(int, scope);
        QFETCH(bool, withMachine);
        QFETCH(QString, warning);
        PendingAction action = make(QStringLiteral("a"));
        if (!withMachine)
            action.agentMachine.reset();
        QCOMPARE(PanelPresentation::scopeWarning(action, RuleScope::Value(scope)), warning);
    }

    void spokenSummaries_data()
    {
        QTest::addColumn<QString>("classification"); // "-": none
        QTest::addColumn<double>("remaining");
        QTest::addColumn<QString>("spoken");
        QTest::newRow("risky") << QStringLiteral("destructive") << 65.9
                               << QStringLiteral("rm -rf build, high risk, 1 minute 5 seconds left");
        QTest::newRow("other class") << QStringLiteral("read") << 120.0
                                     << QStringLiteral("rm -rf build, low risk, 2 minutes left");
        QTest::newRow("no class") << QStringLiteral("-") << 1.2
                                  << QStringLiteral("rm -rf build, 1 second left");
        QTest::newRow("expired") << QStringLiteral("Network") << 0.0
                                 << QStringLiteral("rm -rf build, high risk, expired");
        QTest::newRow("not a number") << QStringLiteral("-") << std::numeric_limits<double>::quiet_NaN()
                                      << QStringLiteral("rm -rf build, expired");
    }
    void spokenSummaries()
    {
        QFETCH(QString, classification);
        QFETCH(double, remaining);
        QFETCH(QString, spoken);
        const std::optional<QString> risk
            = classification == QLatin1String("-") ? std::nullopt : std::optional<QString>(classification);
        QCOMPARE(PanelPresentation::spokenSummary(QStringLiteral("rm -rf build"), risk, remaining), spoken);
        QCOMPARE(PanelPresentation::spokenDuration(3601), QStringLiteral("60 minutes 1 second"));
        QCOMPARE(PanelPresentation::spokenDuration(-5), QStringLiteral("0 seconds"));
    }

    void highestRiskAndRuleCoverage()
    {
        const auto segment = [](const QString& risk) {
            return CommandSegment { risk + QStringLiteral(" piece"), {}, risk };
        };
        QCOMPARE(PanelPresentation::highestRiskSegment({}), std::nullopt);
        QCOMPARE(PanelPresentation::highestRiskSegment({segment(QStringLiteral("read")), segment(QStringLiteral("READ"))}),
                 std::nullopt);
        // The first of the riskiest; an unknown risk weighs least.
        QCOMPARE(PanelPresentation::highestRiskSegment({segment(QStringLiteral("read")), segment(QStringLiteral("write")),
                                                        segment(QStringLiteral("Destructive")),
                                                        segment(QStringLiteral("privileged"))}),
                 std::optional<qsizetype>(3));
        QCOMPARE(PanelPresentation::highestRiskSegment({segment(QStringLiteral("write")), segment(QStringLiteral("odd")),
                                                        segment(QStringLiteral("network"))}),
                 std::optional<qsizetype>(2));

        PendingAction action = make(QStringLiteral("a"));
        QCOMPARE(PanelPresentation::ruleCoverage(action, RuleScope::agent),
                 QStringLiteral("every Bash action from claude-work"));
        QCOMPARE(PanelPresentation::ruleCoverage(action, RuleScope::machine),
                 QStringLiteral("every Bash action from any agent on workstation"));
        QCOMPARE(PanelPresentation::ruleCoverage(action, RuleScope::global),
                 QStringLiteral("every Bash action from any agent on any machine"));
        action.agentMachine.reset();
        action.toolName = QStringLiteral("mcp__github__create_issue");
        QCOMPARE(PanelPresentation::ruleCoverage(action, RuleScope::machine),
                 QStringLiteral("every Github: Create Issue action from any agent on this machine"));
    }

    void explanation_data()
    {
        QTest::addColumn<QString>("toolName");
        QTest::addColumn<bool>("hasExplanation");
        QTest::addColumn<bool>("shown");
        QTest::addColumn<QString>("mode");
        QTest::newRow("unregister never")
            << QStringLiteral("quorvane:unregister") << true << true << QStringLiteral("none");
        QTest::newRow("mcp with explanation")
            << QStringLiteral("mcp__github__create_issue") << true << false << QStringLiteral("caption");
        QTest::newRow("mcp without explanation")
            << QStringLiteral("mcp__github__create_issue") << false << false << QStringLiteral("button");
        QTest::newRow("button") << QStringLiteral("Bash") << true << false << QStringLiteral("button");
        QTest::newRow("generating") << QStringLiteral("Bash") << false << true
                                    << QStringLiteral("generating");
        QTest::newRow("lines") << QStringLiteral("Bash") << true << true << QStringLiteral("lines");
        QTest::newRow("link") << QStringLiteral("quorvane:link") << false << false
                              << QStringLiteral("button");
    }
    void explanation()
    {
        QFETCH(QString, toolName);
        QFETCH(bool, hasExplanation);
        QFETCH(bool, shown);
        QFETCH(QString, mode);
        PendingAction action = make(QStringLiteral("a"), toolName);
        if (hasExplanation)
            action.explanation = QStringLiteral("Why");
        QCOMPARE(PanelPresentation::explanationMode(action, {.shown = shown}), mode);
    }

    void explanationLines()
    {
        QCOMPARE(PanelPresentation::explanationLines(QStringLiteral("One\n\n  \nTwo\r\nThree\rFour\n")),
            (QStringList { QStringLiteral("One"), QStringLiteral("Two"), QStringLiteral("Three"),
                QStringLiteral("Four") }));
        QCOMPARE(PanelPresentation::explanationLines(QStringLiteral("  indented")),
            QStringList { QStringLiteral("  indented") });
        QCOMPARE(PanelPresentation::explanationLines(QStringLiteral(" \n\t\n")), QStringList());
        QCOMPARE(PanelPresentation::explanationLines(QStringLiteral(" \n \n")), QStringList());
        QCOMPARE(PanelPresentation::explanationLines(QString()), QStringList());
    }

    void decisionButtons()
    {
        QCOMPARE(PanelPresentation::approveLabel(false), QStringLiteral("Approve"));
        QCOMPARE(PanelPresentation::denyLabel(false), QStringLiteral("Deny"));
        QCOMPARE(PanelPresentation::approveColorName(false), QStringLiteral("green"));
        QCOMPARE(PanelPresentation::denyColorName(false), QStringLiteral("red"));
        QCOMPARE(PanelPresentation::approveLabel(true), QStringLiteral("Remove"));
        QCOMPARE(PanelPresentation::denyLabel(true), QStringLiteral("Keep Agent"));
        QCOMPARE(PanelPresentation::approveColorName(true), QStringLiteral("amber"));
        QCOMPARE(PanelPresentation::denyColorName(true), QStringLiteral("green"));
        QVERIFY(PanelPresentation::isReadRisk(QStringLiteral("read")));
        QVERIFY(!PanelPresentation::isReadRisk(QStringLiteral("Read")));
        QVERIFY(!PanelPresentation::isReadRisk(QStringLiteral("write")));
    }
};

QTEST_GUILESS_MAIN(TestPanelPresentation)
#include "tst_PanelPresentation.moc"
