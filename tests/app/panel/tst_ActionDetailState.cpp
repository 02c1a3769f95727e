#include "app/panel/ActionDetailState.h"
#include "tests/app/panel/PanelTestActions.h"

#include <QSignalSpy>
#include <QTest>
#include <QVariantMap>

using namespace PanelTestActions;

namespace {

QString segmentsJson()
{
    return QStringLiteral("[{\"segment\":\"cd build\",\"base_cmd\":\"cd\",\"risk\":\"read\"},"
                          "{\"segment\":\"rm -rf out\",\"base_cmd\":\"rm\",\"risk\":\"destructive\"}]");
}

QStringList scopeValues(const ActionDetailState& detail)
{
    QStringList values;
    for (const QVariant& option : detail.scopeOptions())
        values << option.toMap().value(QStringLiteral("value")).toString() + QLatin1Char('=')
                + option.toMap().value(QStringLiteral("label")).toString();
    return values;
}

} // namespace

// The detail page's state: what it shows, the rule toggle and the scope.
class TestActionDetailState : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void showsTheAction()
    {
        ActionDetailState detail;
        detail.setClock(fixedNow);
        QVERIFY(!detail.hasAction());
        QVERIFY(!detail.showsButtons());
        QCOMPARE(detail.scopeWarning(), QString());

        PendingAction action = make(QStringLiteral("act-1"));
        action.toolInput.insert(QStringLiteral("detail_segments"), segmentsJson());
        action.expiresAt = expiresIn(65.9);
        detail.setAction(action);
        QVERIFY(detail.hasAction());
        QCOMPARE(detail.actionId(), QStringLiteral("act-1"));
        QCOMPARE(detail.title(), QStringLiteral("Bash")); // the tool name, not the summary
        QCOMPARE(detail.agentName(), QStringLiteral("claude-work"));
        QCOMPARE(detail.agentMachine(), QStringLiteral("workstation"));
        QVERIFY(detail.hasSegments());
        QCOMPARE(detail.segments().size(), 2);
        const QVariantMap first = detail.segments().at(0).toMap();
        const QVariantMap second = detail.segments().at(1).toMap();
        QCOMPARE(first.value(QStringLiteral("segment")).toString(), QStringLiteral("cd build"));
        QCOMPARE(first.value(QStringLiteral("isRead")).toBool(), true);
        QCOMPARE(second.value(QStringLiteral("segment")).toString(), QStringLiteral("rm -rf out"));
        QCOMPARE(second.value(QStringLiteral("isRead")).toBool(), false);
        // Why the person is asked: the riskiest piece is marked and named.
        QCOMPARE(first.value(QStringLiteral("isHighestRisk")).toBool(), false);
        QCOMPARE(second.value(QStringLiteral("isHighestRisk")).toBool(), true);
        QCOMPARE(
            detail.highestRiskText(), QStringLiteral("Asked because this part is destructive: rm -rf out"));
        QCOMPARE(detail.spokenSummary(), QStringLiteral("Bash, high risk, 1 minute 5 seconds left"));
        QCOMPARE(detail.scopeOptions().first().toMap().value(QStringLiteral("covers")).toString(),
                 QStringLiteral("every Bash action from claude-work"));
        QCOMPARE(detail.badgeText(), QStringLiteral("Destructive"));
        QCOMPARE(detail.badgeColorName(), QStringLiteral("red"));
        QVERIFY(detail.showsButtons());
        QVERIFY(detail.showsRuleSection());

        // Without segments (missing, empty or unreadable) the summary is shown.
        for (const QString& value : { QStringLiteral("[]"), QStringLiteral("not json") }) {
            action.toolInput.insert(QStringLiteral("detail_segments"), value);
            detail.setAction(action);
            QVERIFY(!detail.hasSegments());
            QCOMPARE(detail.displaySummary(), QStringLiteral("rm -rf build"));
        }

        // An MCP tool is titled by its display name and badged by its service.
        action.toolName = QStringLiteral("mcp__github__create_issue");
        detail.setAction(action);
        QCOMPARE(detail.title(), QStringLiteral("Github: Create Issue"));
        QCOMPARE(detail.badgeText(), QStringLiteral("Github"));
        QCOMPARE(detail.badgeColorName(), QStringLiteral("teal"));

        detail.setAction(std::nullopt);
        QVERIFY(!detail.hasAction());
        QCOMPARE(detail.title(), QString());
        QVERIFY(!detail.hasSegments());
    }

    void specialTools_data()
    {
        QTest::addColumn<QString>("toolName");
        QTest::addColumn<bool>("ruleSection");
        QTest::addColumn<QString>("approve");
        QTest::addColumn<QString>("deny");
        QTest::addColumn<QString>("countdownColor");
        QTest::newRow("unregister") << QStringLiteral("quorvane:unregister") << false
                                    << QStringLiteral("Remove") << QStringLiteral("Keep Agent")
                                    << QStringLiteral("amber");
        QTest::newRow("link") << QStringLiteral("quorvane:link") << false << QStringLiteral("Approve")
                              << QStringLiteral("Deny") << QStringLiteral("teal");
        QTest::newRow("other") << QStringLiteral("Write") << true << QStringLiteral("Approve")
                               << QStringLiteral("Deny") << QStringLiteral("teal");
    }
    void specialTools()
    {
        QFETCH(QString, toolName);
        QFETCH(bool, ruleSection);
        QFETCH(QString, approve);
        QFETCH(QString, deny);
        QFETCH(QString, countdownColor);
        ActionDetailState detail;
        detail.setClock(fixedNow);
        detail.setAction(make(QStringLiteral("a"), toolName));
        QCOMPARE(detail.showsRuleSection(), ruleSection);
        QCOMPARE(detail.approveLabel(), approve);
        QCOMPARE(detail.denyLabel(), deny);
        QCOMPARE(detail.countdownColorName(), countdownColor);
        QVERIFY(detail.showsButtons());
        // No rule is ever sent for a tool that cannot have one, toggle or not.
        detail.setCreateRule(true);
        QCOMPARE(detail.scopeForDecision(QStringLiteral("approved")).has_value(), ruleSection);
    }

    void expiredPageHasNoButtons()
    {
        ActionDetailState detail;
        QDateTime now = fixedNow();
        detail.setClock([&now] { return now; });
        PendingAction action = make(QStringLiteral("a"));
        action.expiresAt = expiresIn(1.5);
        detail.setAction(action);
        QVERIFY(detail.showsButtons());
        QSignalSpy countdown(&detail, &ActionDetailState::countdownChanged);
        now = now.addSecs(2);
        detail.refreshCountdown();
        QCOMPARE(countdown.count(), 1);
        QCOMPARE(detail.countdownText(), QStringLiteral("Expired"));
        QCOMPARE(detail.countdownColorName(), QStringLiteral("red"));
        QVERIFY(detail.isExpired());
        QVERIFY(!detail.showsButtons());

        action.expiresAt = QStringLiteral("2025-13-45T99:00:00Z"); // unreadable: expired
        detail.setAction(action);
        QCOMPARE(detail.remainingSeconds(), 0.0);
        QVERIFY(!detail.showsButtons());
    }

    void scopes_data()
    {
        QTest::addColumn<int>("machineAgentCount");
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QString>("initialScope");
        const QString agent = QStringLiteral("agent=This Agent");
        const QString machine = QStringLiteral("machine=This Machine");
        const QString global = QStringLiteral("global=All Agents");
        QTest::newRow("two agents") << 2 << QStringList { agent, machine, global } << QStringLiteral("agent");
        QTest::newRow("one agent") << 1 << QStringList { machine, global } << QStringLiteral("machine");
        QTest::newRow("negative") << -4 << QStringList { machine, global } << QStringLiteral("machine");
    }
    void scopes()
    {
        QFETCH(int, machineAgentCount);
        QFETCH(QStringList, options);
        QFETCH(QString, initialScope);
        ActionDetailState detail;
        PendingAction action = make(QStringLiteral("a"));
        action.machineAgentCount = machineAgentCount;
        detail.setAction(action);
        QCOMPARE(scopeValues(detail), options);
        QVERIFY(!detail.createRule());
        QCOMPARE(detail.ruleScopeRawValue(), initialScope);
        QCOMPARE(detail.ruleScopeIndex(), 0);

        // Only scopes on offer can be chosen.
        detail.setRuleScopeRawValue(QStringLiteral("global"));
        QCOMPARE(detail.ruleScopeRawValue(), QStringLiteral("global"));
        QCOMPARE(detail.scopeWarning(),
            QStringLiteral("Future destructive actions from any agent will be auto-approved."));
        detail.setRuleScopeRawValue(QStringLiteral("agent"));
        QCOMPARE(detail.ruleScopeRawValue(),
            machineAgentCount > 1 ? QStringLiteral("agent") : QStringLiteral("global"));
        detail.setRuleScopeRawValue(QStringLiteral("everything"));
        detail.setRuleScopeIndex(99);
        detail.setRuleScopeIndex(-1);
        QVERIFY(options.contains(detail.ruleScopeRawValue() + QLatin1Char('=')
            + RuleScope::fromRawValue(detail.ruleScopeRawValue())->displayName()));
        detail.setRuleScopeIndex(1);
        QCOMPARE(detail.ruleScopeRawValue(), options.at(1).section(QLatin1Char('='), 0, 0));
    }

    void choicesResetForAnotherActionOnly()
    {
        ActionDetailState detail;
        PendingAction first = make(QStringLiteral("a"));
        first.agentMachine.reset();
        detail.setAction(first);
        QSignalSpy warning(&detail, &ActionDetailState::ruleScopeChanged);
        detail.setCreateRule(true);
        detail.setRuleScopeRawValue(QStringLiteral("machine"));
        QCOMPARE(detail.scopeWarning(),
            QStringLiteral("Future destructive actions from agents on this machine will be auto-approved."));

        // A refresh of the same action keeps the choices but updates the warning.
        first.agentMachine = QStringLiteral("laptop");
        detail.setAction(first);
        QVERIFY(detail.createRule());
        QCOMPARE(detail.ruleScopeRawValue(), QStringLiteral("machine"));
        QCOMPARE(detail.scopeWarning(),
            QStringLiteral("Future destructive actions from agents on laptop will be auto-approved."));
        QVERIFY(warning.count() >= 2);

        // A refresh that no longer offers the chosen scope moves to one on offer.
        detail.setRuleScopeRawValue(QStringLiteral("agent"));
        QCOMPARE(detail.ruleScopeRawValue(), QStringLiteral("agent"));
        first.machineAgentCount = 1;
        detail.setAction(first);
        QCOMPARE(detail.ruleScopeRawValue(), QStringLiteral("machine"));

        // Another action starts afresh.
        detail.setAction(make(QStringLiteral("b")));
        QVERIFY(!detail.createRule());
        QCOMPARE(detail.ruleScopeRawValue(), QStringLiteral("agent"));
        QCOMPARE(detail.scopeWarning(),
            QStringLiteral("Future destructive actions from claude-work will be auto-approved."));
    }
};

QTEST_GUILESS_MAIN(TestActionDetailState)
#include "tst_ActionDetailState.moc"
