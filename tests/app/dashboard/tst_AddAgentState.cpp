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
            projects.append(
                QJsonObject { { u"path"_s, path }, { u"isActive"_s, path.endsWith(QLatin1String("app")) },
                    { u"lastActive"_s, u"2025-03-01"_s } });
        return QJsonObject { { u"displayName"_s, u"Code Assistant"_s },
            { u"descriptorId"_s, u"code-assistant"_s },
            { u"detection"_s,
                QJsonObject { { u"status"_s, u"installed"_s },
                    { u"details"_s, QJsonObject { { u"projects"_s, projects } } } } } };
    }

    // A scan that finds the one tool with these projects, plus the init settings.
    static bool prepare(Fixture& f, const QStringList& projectPaths, const QJsonObject& init = {})
    {
        for (const QString& path : projectPaths) {
            if (!QDir(f.home.path()).mkpath(path.mid(2)))
                return false;
        }
        return f.writeScenario(
            QJsonObject { { u"scan"_s, QJsonObject { { u"agents"_s, QJsonArray { tool(projectPaths) } } } },
                { u"init"_s, init } });
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
        QVERIFY(prepare(f, { u"~/code/app"_s, u"~/code/web"_s }));
        auto state = std::make_unique<AddAgentState>(f.cli, f.auth, nullptr, f.home.path());
        QVERIFY(!state->canRegister());
        QCOMPARE(state->nameLabel(), u"Machine Name"_s);
        state->scan();
        QVERIFY(state->isScanning());
        // Scanning does not hold the caller: the event loop keeps running.
        QVERIFY(defaultAgentNames().contains(state->agentName()));
        QTRY_VERIFY(!state->isScanning());
        DetectedToolsModel& tools = *state->detectedTools();
        QCOMPARE(tools.count(), 1);
        QCOMPARE(tools.tools().first().projects.size(), 2);
        QCOMPARE(state->projectsRoot(), f.home.filePath(u"code"_s));
        QVERIFY(state->canRegister());

        QSignalSpy can(state.get(), &AddAgentState::canRegisterChanged);
        state->setAgentName(u" \t "_s);
        QVERIFY(!state->canRegister());
        state->setAgentName(u"vega"_s);
        QVERIFY(state->canRegister());
        QVERIFY(tools.setData(tools.index(0), false, DetectedToolsModel::EnabledRole));
        QVERIFY(!state->canRegister());
        QCOMPARE(can.size(), 3);
        // Disabled: pressing "Register Agent" does nothing.
        state->registerAgent();
        QVERIFY(!state->isRegistering());
        QVERIFY(tools.setData(tools.index(0), true, DetectedToolsModel::EnabledRole));
        QVERIFY(tools.setData(tools.index(0), int(ScopeChoice::perProject), DetectedToolsModel::ScopeRole));
        QCOMPARE(state->nameLabel(), u"Agent Name"_s);
        QCOMPARE(f.invocations(u"init"_s).size(), 0);

        // A scan that gives nothing usable leaves no tools.
        QVERIFY(
            f.writeScenario(QJsonObject { { u"scan"_s, QJsonObject { { u"rawOutput"_s, u"[1,2]"_s } } } }));
        state->scan();
        QTRY_VERIFY(!state->isScanning());
        QCOMPARE(tools.count(), 0);
        QVERIFY(!state->canRegister());
    }

    void perProjectRunsInEachFolder()
    {
        Fixture f;
        QVERIFY(prepare(f, { u"~/code/app"_s, u"~/code/web"_s }));
        auto state = scanned(f);
        QVERIFY(state);
        DetectedToolsModel& tools = *state->detectedTools();
        QVERIFY(tools.setData(tools.index(0), int(ScopeChoice::perProject), DetectedToolsModel::ScopeRole));
        QVERIFY(tools.setProjectSelected(0, 0, true));
        QVERIFY(tools.setProjectSelected(0, 1, true));
        state->setAgentName(u"  vega \n"_s);
        state->setSecurityPosture(SecurityPosture::restrictive);
        QSignalSpy progress(state.get(), &AddAgentState::registerProgressChanged);

        QVERIFY(finish(*state));
        QVERIFY2(!state->registerError(), qPrintable(state->registerError().value_or(QString())));
        QVERIFY(state->registerSuccess());
        const QList<StandInTool::Run> runs = initRuns(f);
        QCOMPARE(runs.size(), 2);
        const QStringList expected { u"init"_s, u"--name"_s, u"vega"_s, u"--template"_s, u"restrictive"_s,
            u"--agent-type"_s, u"code-assistant"_s, u"--wizard"_s };
        QCOMPARE(runs.at(0).arguments, expected);
        QCOMPARE(runs.at(1).arguments, expected);
        QCOMPARE(runs.at(0).workingDirectory, f.home.filePath(u"code/app"_s));
        QCOMPARE(runs.at(1).workingDirectory, f.home.filePath(u"code/web"_s));
        // Each new agent linked to this machine.
        QCOMPARE(f.requests(u"POST"_s, u"/agents/link-machine"_s).size(), 2);
        QVERIFY(progress.size() >= 3);
        QCOMPARE(state->registerProgress(), u"Linking..."_s);
    }

    void allProjectsGetsTheCommonRootEvenWhenSwitchedOff()
    {
        Fixture f;
        QVERIFY(prepare(f, { u"~/code/a"_s, u"~/code/b"_s }));
        auto state = scanned(f);
        QVERIFY(state);
        state->setProjectsRootEnabled(false);
        state->setAgentName(u"vega"_s);
        QVERIFY(finish(*state));
        QVERIFY(state->registerSuccess());
        const QList<StandInTool::Run> runs = initRuns(f);
        QCOMPARE(runs.size(), 1);
        QCOMPARE(runs.first().arguments,
            QStringList({ u"init"_s, u"--global"_s, u"--name"_s, u"vega"_s, u"--template"_s,
                u"developer-workstation"_s, u"--agent-type"_s, u"code-assistant"_s, u"--projects-root"_s,
                f.home.filePath(u"code"_s), u"--wizard"_s }));
        QCOMPARE(runs.first().workingDirectory, QDir::currentPath());

        // Without a common root of its own the sheet's root counts, only when switched on.
        DetectedTool lone = state->detectedTools()->tools().first();
        lone.projects.clear();
        state->setProjectsRoot(u"/srv/work"_s);
        QCOMPARE(state->projectsRootFor(lone), QString());
        state->setProjectsRootEnabled(true);
        QCOMPARE(state->projectsRootFor(lone), u"/srv/work"_s);
    }

    // How a registration ends; none of these links an agent.
    void registrationOutcomes_data()
    {
        QTest::addColumn<QJsonObject>("init");
        QTest::addColumn<bool>("registered");
        QTest::addColumn<bool>("success");
        QTest::addColumn<QString>("error"); // null: none
        QTest::newRow("error event, then success")
            << QJsonObject { { u"errorMessage"_s, u"Hook install failed"_s }, { u"exitCode"_s, 0 } } << true
            << true << u"Hook install failed"_s;
        QTest::newRow("verified without an agent id")
            << QJsonObject { { u"omitAgentId"_s, true } } << true << true << QString();
        QTest::newRow("failing run") << QJsonObject { { u"exitCode"_s, 1 } } << true << false
                                     << u"CLI exited with code 1"_s;
        QTest::newRow("machine not registered") << QJsonObject { { u"registerWithServer"_s, false } } << false
                                                << false << u"Machine not configured"_s;
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
        QVERIFY(f.requests(u"POST"_s, u"/agents/link-machine"_s).isEmpty());
    }

    void removalFailsWithoutReloading()
    {
        Fixture f(false);
        QVERIFY(f.writeScenario(u"unregister"_s, { { u"exitCode"_s, 3 } }));
        QVERIFY(f.writeAgent(u"vega"_s, u"2025-03-01"_s));
        QVERIFY(f.writeAgent(u"rigel"_s, u"2025-01-01"_s));
        HomeState& state = *f.state;
        state.reloadAgents();
        state.removeAgent(u"vega"_s, false);
        QCOMPARE(state.property("removingAgentName").toString(), u"vega"_s);
        QVERIFY(!state.property("removalError").isValid());
        // A second confirmed removal while one runs is dropped.
        state.removeAgent(u"rigel"_s, true);
        QCOMPARE(state.removingAgentName(), u"vega"_s);
        // An agent appearing meanwhile shows only if the list were read again.
        QVERIFY(f.writeAgent(u"deneb"_s, u"2025-02-01"_s));
        QTRY_VERIFY(!state.removingAgentName());
        QCOMPARE(state.removalError(), u"Removal of \"vega\" failed or was denied."_s);
        QCOMPARE(state.agents().size(), 2);
        QCOMPARE(f.invocations(u"unregister"_s),
            QList<QStringList>({ { u"unregister"_s, u"--agent"_s, u"vega"_s, u"--force"_s } }));

        // The next removal clears the failure shown; a success reads the list again.
        QVERIFY(f.writeScenario(QJsonObject {}));
        QSignalSpy errors(&state, &HomeState::removalErrorChanged);
        state.removeAgent(u"vega"_s, true);
        QCOMPARE(errors.size(), 1);
        QVERIFY(!state.removalError());
        QTRY_VERIFY(!state.removingAgentName());
        QVERIFY(!state.removalError());
        QCOMPARE(state.agents().size(), 2);
        QCOMPARE(state.agents().first().name, u"deneb"_s);
        QCOMPARE(f.invocations(u"unregister"_s).last(),
            QStringList(
                { u"unregister"_s, u"--agent"_s, u"vega"_s, u"--force"_s, u"--remove-global-rules"_s }));
    }

    void questions_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("agentCount");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QStringList>("buttons"); // "+rules": it also deletes the global rules
        const QString cancel = u"Cancel"_s;
        QTest::newRow("removing the last agent")
            << u"removal"_s << 1 << u"Remove Last Agent?"_s
            << u"This is the last agent on this machine. You can also remove your global rules from "
               "the server. You approve it in the Quorvane panel."_s
            << QStringList { cancel, u"Remove & Keep Rules"_s, u"Remove & Delete Rules +rules"_s };
        QTest::newRow("removing one of several")
            << u"removal"_s << 2 << u"Remove Agent?"_s
            << u"This will remove \"vega\" from this machine and the server. You approve it in the Quorvane panel."_s
            << QStringList { cancel, u"Remove"_s };
        QTest::newRow("uninstalling without agents")
            << u"uninstall"_s << 0 << u"Uninstall Quorvane?"_s
            << u"This will remove Quorvane from this machine."_s << QStringList { cancel, u"Uninstall"_s };
        QTest::newRow("uninstalling with agents")
            << u"uninstall"_s << 3 << u"Uninstall Quorvane?"_s
            << u"This will unregister 3 agents from the server and remove Quorvane from this machine. "
               "You approve it in the Quorvane panel. You can also remove your global rules."_s
            << QStringList { cancel, u"Uninstall & Keep Rules"_s, u"Uninstall & Delete Rules +rules"_s };
        QTest::newRow("uninstalling with one agent")
            << u"uninstall"_s << 1 << u"Uninstall Quorvane?"_s
            << u"This will unregister 1 agent from the server and remove Quorvane from this machine. "
               "You approve it in the Quorvane panel. You can also remove your global rules."_s
            << QStringList { cancel, u"Uninstall & Keep Rules"_s, u"Uninstall & Delete Rules +rules"_s };
    }

    void questions()
    {
        QFETCH(QString, kind);
        QFETCH(int, agentCount);
        QFETCH(QString, title);
        QFETCH(QString, message);
        QFETCH(QStringList, buttons);
        const QVariantMap dialog = kind == u"removal"_s ? ConfirmationDialogs::removal(u"vega"_s, agentCount)
                                                        : ConfirmationDialogs::uninstall(agentCount);
        QCOMPARE(dialog.value(u"title"_s).toString(), title);
        QCOMPARE(dialog.value(u"message"_s).toString(), message);
        const QVariantList list = dialog.value(u"buttons"_s).toList();
        QStringList shown;
        for (const QVariant& button : list) {
            const bool rules = button.toMap().value(u"removeGlobalRules"_s).toBool();
            shown << button.toMap().value(u"text"_s).toString() + (rules ? u" +rules"_s : QString());
        }
        QCOMPARE(shown, buttons);
        QCOMPARE(list.first().toMap().value(u"role"_s).toString(), u"cancel"_s);
        QCOMPARE(list.last().toMap().value(u"role"_s).toString(), u"destructive"_s);
    }
};

QTEST_GUILESS_MAIN(TestAddAgentState)
#include "tst_AddAgentState.moc"
