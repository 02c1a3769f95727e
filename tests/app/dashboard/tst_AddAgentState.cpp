#include "app/dashboard/AddAgentState.h"
#include "app/dashboard/ConfirmationDialogs.h"
#include "app/tooling/AgentNameRules.h"
#include "tests/app/dashboard/HomeStateFixture.h"

// Adding an agent (the sheet's model against the stand-in tool's scan and
// "init", and the reference back-end that links the new agents) and removing
// one (the tool's "unregister"), with the questions asked first.
class TestAddAgentState : public HomeStateTestCase
{
    Q_OBJECT

    static QJsonObject tool(const QStringList& projectPaths)
    {
        QJsonArray projects;
        for (const QString& path : projectPaths)
            projects.append(QJsonObject { { QStringLiteral("path"), path },
                { QStringLiteral("isActive"), path.endsWith(QLatin1String("app")) },
                { QStringLiteral("lastActive"), QStringLiteral("2025-03-01") } });
        return QJsonObject { { QStringLiteral("displayName"), QStringLiteral("Code Assistant") },
            { QStringLiteral("descriptorId"), QStringLiteral("code-assistant") },
            { QStringLiteral("detection"),
                QJsonObject { { QStringLiteral("status"), QStringLiteral("installed") },
                    { QStringLiteral("details"),
                        QJsonObject { { QStringLiteral("projects"), projects } } } } } };
    }

    // A scan that finds the one tool with these projects, plus the init settings.
    static bool prepare(Fixture& f, const QStringList& projectPaths, const QJsonObject& init = {})
    {
        for (const QString& path : projectPaths) {
            if (!QDir(f.home.path()).mkpath(path.mid(2)))
                return false;
        }
        return f.writeScenario(QJsonObject {
            { QStringLiteral("scan"),
                QJsonObject { { QStringLiteral("agents"), QJsonArray { tool(projectPaths) } } } },
            { QStringLiteral("init"), init } });
    }

    static std::unique_ptr<AddAgentState> scanned(Fixture& f)
    {
        auto state = std::make_unique<AddAgentState>(f.cli, f.auth, nullptr, f.home.path());
        state->scan();
        if (!QTest::qWaitFor([&] { return !state->isScanning(); }, 30'000))
            return nullptr;
        return state;
    }

    static bool finish(AddAgentState& state)
    {
        state.registerAgent();
        return QTest::qWaitFor([&] { return !state.isRegistering(); }, 60'000);
    }

    static QList<StandInTool::Run> initRuns(const Fixture& f)
    {
        QList<StandInTool::Run> runs = f.tool.runs();
        runs.removeIf(
            [](const StandInTool::Run& run) { return run.arguments.value(0) != QLatin1String("init"); });
        return runs;
    }

private Q_SLOTS:
    void scanAndWhenRegistering()
    {
        Fixture f;
        QVERIFY(prepare(f, { QStringLiteral("~/code/app"), QStringLiteral("~/code/web") }));
        auto state = std::make_unique<AddAgentState>(f.cli, f.auth, nullptr, f.home.path());
        QVERIFY(!state->canRegister());
        QCOMPARE(state->nameLabel(), QStringLiteral("Machine Name"));
        state->scan();
        QVERIFY(state->isScanning());
        // Scanning does not hold the caller: the event loop keeps running.
        QVERIFY(defaultAgentNames().contains(state->agentName()));
        QTRY_VERIFY(!state->isScanning());
        DetectedToolsModel& tools = *state->detectedTools();
        QCOMPARE(tools.count(), 1);
        QCOMPARE(tools.tools().first().projects.size(), 2);
        QCOMPARE(state->projectsRoot(), f.home.filePath(QStringLiteral("code")));
        QVERIFY(state->canRegister());

        QSignalSpy can(state.get(), &AddAgentState::canRegisterChanged);
        state->setAgentName(QStringLiteral(" \t "));
        QVERIFY(!state->canRegister());
        state->setAgentName(QStringLiteral("vega"));
        QVERIFY(state->canRegister());
        QVERIFY(tools.setData(tools.index(0), false, DetectedToolsModel::EnabledRole));
        QVERIFY(!state->canRegister());
        QCOMPARE(can.size(), 3);
        // Disabled: pressing "Register Agent" does nothing.
        state->registerAgent();
        QVERIFY(!state->isRegistering());
        QVERIFY(tools.setData(tools.index(0), true, DetectedToolsModel::EnabledRole));
        QVERIFY(tools.setData(tools.index(0), int(ScopeChoice::perProject), DetectedToolsModel::ScopeRole));
        QCOMPARE(state->nameLabel(), QStringLiteral("Agent Name"));
        QCOMPARE(f.invocations(QStringLiteral("init")).size(), 0);

        // A scan that gives nothing usable leaves no tools.
        QVERIFY(f.writeScenario(QJsonObject { { QStringLiteral("scan"),
            QJsonObject { { QStringLiteral("rawOutput"), QStringLiteral("[1,2]") } } } }));
        state->scan();
        QTRY_VERIFY(!state->isScanning());
        QCOMPARE(tools.count(), 0);
        QVERIFY(!state->canRegister());
    }

    void perProjectRunsInEachFolder()
    {
        Fixture f;
        QVERIFY(prepare(f, { QStringLiteral("~/code/app"), QStringLiteral("~/code/web") }));
        auto state = scanned(f);
        QVERIFY(state);
        DetectedToolsModel& tools = *state->detectedTools();
        QVERIFY(tools.setData(tools.index(0), int(ScopeChoice::perProject), DetectedToolsModel::ScopeRole));
        QVERIFY(tools.setProjectSelected(0, 0, true));
        QVERIFY(tools.setProjectSelected(0, 1, true));
        state->setAgentName(QStringLiteral("  vega \n"));
        state->setSecurityPosture(SecurityPosture::restrictive);
        QSignalSpy progress(state.get(), &AddAgentState::registerProgressChanged);

        QVERIFY(finish(*state));
        QVERIFY2(!state->registerError(), qPrintable(state->registerError().value_or(QString())));
        QVERIFY(state->registerSuccess());
        const QList<StandInTool::Run> runs = initRuns(f);
        QCOMPARE(runs.size(), 2);
        const QStringList expected { QStringLiteral("init"), QStringLiteral("--name"), QStringLiteral("vega"),
            QStringLiteral("--template"), QStringLiteral("restrictive"), QStringLiteral("--agent-type"),
            QStringLiteral("code-assistant"), QStringLiteral("--wizard") };
        QCOMPARE(runs.at(0).arguments, expected);
        QCOMPARE(runs.at(1).arguments, expected);
        QCOMPARE(runs.at(0).workingDirectory, f.home.filePath(QStringLiteral("code/app")));
        QCOMPARE(runs.at(1).workingDirectory, f.home.filePath(QStringLiteral("code/web")));
        // Each new agent linked to this machine.
        QCOMPARE(f.requests(QStringLiteral("POST"), QStringLiteral("/agents/link-machine")).size(), 2);
        QVERIFY(progress.size() >= 3);
        QCOMPARE(state->registerProgress(), QStringLiteral("Linking..."));
    }

    void allProjectsGetsTheCommonRootEvenWhenSwitchedOff()
    {
        Fixture f;
        QVERIFY(prepare(f, { QStringLiteral("~/code/a"), QStringLiteral("~/code/b") }));
        auto state = scanned(f);
        QVERIFY(state);
        state->setProjectsRootEnabled(false);
        state->setAgentName(QStringLiteral("vega"));
        QVERIFY(finish(*state));
        QVERIFY(state->registerSuccess());
        const QList<StandInTool::Run> runs = initRuns(f);
        QCOMPARE(runs.size(), 1);
        QCOMPARE(runs.first().arguments,
            QStringList({ QStringLiteral("init"), QStringLiteral("--global"), QStringLiteral("--name"),
                QStringLiteral("vega"), QStringLiteral("--template"), QStringLiteral("developer-workstation"),
                QStringLiteral("--agent-type"), QStringLiteral("code-assistant"),
                QStringLiteral("--projects-root"), f.home.filePath(QStringLiteral("code")),
                QStringLiteral("--wizard") }));
        QCOMPARE(runs.first().workingDirectory, QDir::currentPath());

        // Without a common root of its own the sheet's root counts, only when switched on.
        DetectedTool lone = state->detectedTools()->tools().first();
        lone.projects.clear();
        state->setProjectsRoot(QStringLiteral("/srv/work"));
        QCOMPARE(state->projectsRootFor(lone), QString());
        state->setProjectsRootEnabled(true);
        QCOMPARE(state->projectsRootFor(lone), QStringLiteral("/srv/work"));
    }

    // How a registration ends; none of these links an agent.
    void registrationOutcomes_data()
    {
        QTest::addColumn<QJsonObject>("init");
        QTest::addColumn<bool>("registered");
        QTest::addColumn<bool>("success");
        QTest::addColumn<QString>("error"); // null: none
        QTest::newRow("error event, then success")
            << QJsonObject { { QStringLiteral("errorMessage"), QStringLiteral("Hook install failed") },
                   { QStringLiteral("exitCode"), 0 } }
            << true << true << QStringLiteral("Hook install failed");
        QTest::newRow("verified without an agent id")
            << QJsonObject { { QStringLiteral("omitAgentId"), true } } << true << true << QString();
        QTest::newRow("failing run") << QJsonObject { { QStringLiteral("exitCode"), 1 } } << true << false
                                     << QStringLiteral("CLI exited with code 1");
        QTest::newRow("machine not registered")
            << QJsonObject { { QStringLiteral("registerWithServer"), false } } << false << false
            << QStringLiteral("Machine not configured");
    }
    void registrationOutcomes()
    {
        QFETCH(QJsonObject, init);
        QFETCH(bool, registered);
        QFETCH(bool, success);
        QFETCH(QString, error);
        Fixture f(registered);
        QVERIFY(prepare(f, {}, init));
        auto state = scanned(f);
        QVERIFY(state);
        QVERIFY(finish(*state));
        QCOMPARE(state->registerSuccess(), success);
        QCOMPARE(state->registerError(), error.isNull() ? std::nullopt : std::optional<QString>(error));
        QCOMPARE(initRuns(f).size(), 1);
        QVERIFY(f.requests(QStringLiteral("POST"), QStringLiteral("/agents/link-machine")).isEmpty());
    }

    void removalFailsWithoutReloading()
    {
        Fixture f(false);
        QVERIFY(f.writeScenario(QStringLiteral("unregister"), { { QStringLiteral("exitCode"), 3 } }));
        QVERIFY(f.writeAgent(QStringLiteral("vega"), QStringLiteral("2025-03-01")));
        QVERIFY(f.writeAgent(QStringLiteral("rigel"), QStringLiteral("2025-01-01")));
        HomeState& state = *f.state;
        state.reloadAgents();
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
        QCOMPARE(f.invocations(QStringLiteral("unregister")),
            QList<QStringList>({ { QStringLiteral("unregister"), QStringLiteral("--agent"),
                QStringLiteral("vega"), QStringLiteral("--force") } }));

        // The next removal clears the failure shown; a success reads the list again.
        QVERIFY(f.writeScenario(QJsonObject {}));
        QSignalSpy errors(&state, &HomeState::removalErrorChanged);
        state.removeAgent(QStringLiteral("vega"), true);
        QCOMPARE(errors.size(), 1);
        QVERIFY(!state.removalError());
        QTRY_VERIFY(!state.removingAgentName());
        QVERIFY(!state.removalError());
        QCOMPARE(state.agents().size(), 2);
        QCOMPARE(state.agents().first().name, QStringLiteral("deneb"));
        QCOMPARE(f.invocations(QStringLiteral("unregister")).last(),
            QStringList({ QStringLiteral("unregister"), QStringLiteral("--agent"), QStringLiteral("vega"),
                QStringLiteral("--force"), QStringLiteral("--remove-global-rules") }));
    }

    void questions_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("agentCount");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QStringList>("buttons"); // the last is the destructive one
        QTest::addColumn<bool>("lastRemovesRules");
        const QString cancel = QStringLiteral("Cancel");
        QTest::newRow("removing the last agent")
            << QStringLiteral("removal") << 1 << QStringLiteral("Remove Last Agent?")
            << QStringLiteral(
                   "This is the last agent on this machine. You can also remove your global rules from "
                   "the server. Requires phone approval.")
            << QStringList { cancel, QStringLiteral("Remove & Keep Rules"),
                   QStringLiteral("Remove & Delete Rules") }
            << true;
        QTest::newRow("removing one of several")
            << QStringLiteral("removal") << 2 << QStringLiteral("Remove Agent?")
            << QStringLiteral(
                   "This will remove \"vega\" from this machine and the server. Requires phone approval.")
            << QStringList { cancel, QStringLiteral("Remove") } << false;
        QTest::newRow("uninstalling without agents")
            << QStringLiteral("uninstall") << 0 << QStringLiteral("Uninstall Quorvane?")
            << QStringLiteral("This will remove Quorvane from this machine.")
            << QStringList { cancel, QStringLiteral("Uninstall") } << false;
        QTest::newRow("uninstalling with agents")
            << QStringLiteral("uninstall") << 3 << QStringLiteral("Uninstall Quorvane?")
            << QStringLiteral(
                   "This will unregister 3 agents from the server and remove Quorvane from this machine. "
                   "Requires phone approval. You can also remove your global rules.")
            << QStringList { cancel, QStringLiteral("Uninstall & Keep Rules"),
                   QStringLiteral("Uninstall & Delete Rules") }
            << true;
        QTest::newRow("uninstalling with one agent")
            << QStringLiteral("uninstall") << 1 << QStringLiteral("Uninstall Quorvane?")
            << QStringLiteral(
                   "This will unregister 1 agent from the server and remove Quorvane from this machine. "
                   "Requires phone approval. You can also remove your global rules.")
            << QStringList { cancel, QStringLiteral("Uninstall & Keep Rules"),
                   QStringLiteral("Uninstall & Delete Rules") }
            << true;
    }
    void questions()
    {
        QFETCH(QString, kind);
        QFETCH(int, agentCount);
        QFETCH(QString, title);
        QFETCH(QString, message);
        QFETCH(QStringList, buttons);
        QFETCH(bool, lastRemovesRules);
        const QVariantMap dialog = kind == QLatin1String("removal")
            ? ConfirmationDialogs::removal(QStringLiteral("vega"), agentCount)
            : ConfirmationDialogs::uninstall(agentCount);
        QCOMPARE(dialog.value(QStringLiteral("title")).toString(), title);
        QCOMPARE(dialog.value(QStringLiteral("message")).toString(), message);
        QStringList texts;
        QList<bool> removesRules;
        for (const QVariant& button : dialog.value(QStringLiteral("buttons")).toList()) {
            texts << button.toMap().value(QStringLiteral("text")).toString();
            removesRules << button.toMap().value(QStringLiteral("removeGlobalRules")).toBool();
        }
        QCOMPARE(texts, buttons);
        // Only the last button may delete the rules.
        QCOMPARE(removesRules.count(true), lastRemovesRules ? 1 : 0);
        QCOMPARE(removesRules.last(), lastRemovesRules);
        const QVariantList list = dialog.value(QStringLiteral("buttons")).toList();
        QCOMPARE(list.first().toMap().value(QStringLiteral("role")).toString(), QStringLiteral("cancel"));
        QCOMPARE(list.last().toMap().value(QStringLiteral("role")).toString(), QStringLiteral("destructive"));
    }
};

QTEST_GUILESS_MAIN(TestAddAgentState)
#include "tst_AddAgentState.moc"
