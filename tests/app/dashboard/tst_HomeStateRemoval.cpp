#include "app/dashboard/ConfirmationDialogs.h"
#include "tests/app/dashboard/HomeStateFixture.h"

// Removing one agent through the stand-in tool's "unregister", and the
// questions asked before removing or uninstalling.
class TestHomeStateRemoval : public HomeStateTestCase
{
    Q_OBJECT

private Q_SLOTS:
    void removalFailsWithoutReloading()
    {
        Fixture f;
        QVERIFY(f.writeScenario(QJsonObject{
            {QStringLiteral("unregister"), QJsonObject{{QStringLiteral("exitCode"), 3}}}}));
        QVERIFY(f.writeAgent(QStringLiteral("vega"), QStringLiteral("2025-03-01")));
        QVERIFY(f.writeAgent(QStringLiteral("rigel"), QStringLiteral("2025-01-01")));
        HomeState& state = *f.state;
        state.reloadAgents();
        QCOMPARE(state.agents().size(), 2);

        state.removeAgent(QStringLiteral("vega"), false);
        QCOMPARE(state.property("removingAgentName").toString(), QStringLiteral("vega"));
        QVERIFY(!state.property("removalError").isValid());
        // A second confirmed removal while one runs is dropped.
        state.removeAgent(QStringLiteral("rigel"), true);
        QCOMPARE(state.removingAgentName(), QStringLiteral("vega"));
        // An agent appearing meanwhile shows only if the list were read again.
        QVERIFY(f.writeAgent(QStringLiteral("deneb"), QStringLiteral("2025-02-01")));

        QTRY_VERIFY(!state.removingAgentName());
        QCOMPARE(state.removalError(), QStringLiteral("Removal of \"vega\" failed or was denied."));
        QCOMPARE(state.agents().size(), 2);
        QCOMPARE(f.invocationsOf(QStringLiteral("unregister")),
                 QList<QStringList>({{QStringLiteral("unregister"), QStringLiteral("--agent"), QStringLiteral("vega"),
                                      QStringLiteral("--force")}}));
    }

    void removalSucceedsAndReloads()
    {
        Fixture f;
        QVERIFY(f.writeAgent(QStringLiteral("vega"), QStringLiteral("2025-03-01")));
        HomeState& state = *f.state;
        state.reloadAgents();
        // A failure shown before is cleared by the next removal.
        QVERIFY(f.writeScenario(QJsonObject{
            {QStringLiteral("unregister"), QJsonObject{{QStringLiteral("exitCode"), 2}}}}));
        state.removeAgent(QStringLiteral("vega"), true);
        QTRY_VERIFY(state.removalError().has_value());
        QVERIFY(f.writeScenario(QJsonObject{}));
        QSignalSpy errors(&state, &HomeState::removalErrorChanged);
        state.removeAgent(QStringLiteral("vega"), true);
        QCOMPARE(errors.size(), 1);
        QVERIFY(!state.removalError());
        QTRY_VERIFY(!state.removingAgentName());
        QVERIFY(!state.removalError());
        QCOMPARE(state.agents().size(), 0);
        QCOMPARE(f.invocationsOf(QStringLiteral("unregister")).last(),
                 QStringList({QStringLiteral("unregister"), QStringLiteral("--agent"), QStringLiteral("vega"),
                              QStringLiteral("--force"), QStringLiteral("--remove-global-rules")}));
    }

    void removalQuestion_data()
    {
        QTest::addColumn<int>("agentCount");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QStringList>("buttons");
        QTest::addColumn<QList<bool>>("removesRules");
        QTest::newRow("last agent")
            << 1 << QStringLiteral("Remove Last Agent?")
            << QStringLiteral("This is the last agent on this machine. You can also remove your global rules from the "
                              "server. Requires phone approval.")
            << QStringList{QStringLiteral("Cancel"), QStringLiteral("Remove & Keep Rules"),
                           QStringLiteral("Remove & Delete Rules")}
            << QList<bool>{false, false, true};
        QTest::newRow("one of several")
            << 2 << QStringLiteral("Remove Agent?")
            << QStringLiteral("This will remove \"vega\" from this machine and the server. Requires phone approval.")
            << QStringList{QStringLiteral("Cancel"), QStringLiteral("Remove")} << QList<bool>{false, false};
    }
    void removalQuestion()
    {
        QFETCH(int, agentCount);
        QFETCH(QString, title);
        QFETCH(QString, message);
        QFETCH(QStringList, buttons);
        QFETCH(QList<bool>, removesRules);
        const QVariantMap dialog = ConfirmationDialogs::removal(QStringLiteral("vega"), agentCount);
        QCOMPARE(dialog.value(QStringLiteral("title")).toString(), title);
        QCOMPARE(dialog.value(QStringLiteral("message")).toString(), message);
        const QVariantList list = dialog.value(QStringLiteral("buttons")).toList();
        QCOMPARE(list.size(), buttons.size());
        for (qsizetype i = 0; i < list.size(); ++i) {
            const QVariantMap button = list.at(i).toMap();
            QCOMPARE(button.value(QStringLiteral("text")).toString(), buttons.at(i));
            QCOMPARE(button.value(QStringLiteral("removeGlobalRules")).toBool(), removesRules.at(i));
        }
        QCOMPARE(list.first().toMap().value(QStringLiteral("role")).toString(), QStringLiteral("cancel"));
        QCOMPARE(list.last().toMap().value(QStringLiteral("role")).toString(), QStringLiteral("destructive"));
    }

    void uninstallQuestion_data()
    {
        QTest::addColumn<int>("agentCount");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QStringList>("buttons");
        QTest::newRow("none") << 0 << QStringLiteral("This will remove Quorvane from this machine.")
                              << QStringList{QStringLiteral("Cancel"), QStringLiteral("Uninstall")};
        const QStringList withAgents{QStringLiteral("Cancel"), QStringLiteral("Uninstall & Keep Rules"),
                                     QStringLiteral("Uninstall & Delete Rules")};
        QTest::newRow("one") << 1
                             << QStringLiteral("This will unregister 1 agent from the server and remove Quorvane from "
                                               "this machine. Requires phone approval. You can also remove your "
                                               "global rules.")
                             << withAgents;
        QTest::newRow("three") << 3
                               << QStringLiteral("This will unregister 3 agents from the server and remove Quorvane "
                                                 "from this machine. Requires phone approval. You can also remove "
                                                 "your global rules.")
                               << withAgents;
    }
    void uninstallQuestion()
    {
        QFETCH(int, agentCount);
        QFETCH(QString, message);
        QFETCH(QStringList, buttons);
        const QVariantMap dialog = ConfirmationDialogs::uninstall(agentCount);
        QCOMPARE(dialog.value(QStringLiteral("title")).toString(), QStringLiteral("Uninstall Quorvane?"));
        QCOMPARE(dialog.value(QStringLiteral("message")).toString(), message);
        QStringList texts;
        for (const QVariant& button : dialog.value(QStringLiteral("buttons")).toList())
            texts << button.toMap().value(QStringLiteral("text")).toString();
        QCOMPARE(texts, buttons);
        // Only the last button deletes the rules, and only when there are agents.
        const QVariantMap last = dialog.value(QStringLiteral("buttons")).toList().last().toMap();
        QCOMPARE(last.value(QStringLiteral("removeGlobalRules")).toBool(), agentCount > 0);
    }
};

QTEST_GUILESS_MAIN(TestHomeStateRemoval)
#include "tst_HomeStateRemoval.moc"
