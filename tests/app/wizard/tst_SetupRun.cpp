#include "app/tooling/AgentNameRules.h"
#include "app/tooling/InitArguments.h"
#include "app/tooling/SecurityPosture.h"
#include "tests/app/wizard/InstallPhaseFixture.h"

using namespace InstallPhaseRows;

namespace {

using Run = StandInTool::Run;
using Screen = WizardState::WizardScreen;

DetectedTool tool(const QString& name, const QString& subtitle, ScopeChoice scope = ScopeChoice::allProjects)
{
    DetectedTool detected;
    detected.name = name;
    detected.subtitle = subtitle;
    detected.scope = scope;
    return detected;
}

DiscoveredProject project(const QString& path, bool selected)
{
    DiscoveredProject discovered;
    discovered.path = path;
    discovered.selected = selected;
    return discovered;
}

// The log as the screen shows it: "#" a header, "✓" done, "○" pending, "⟳" running.
QStringList lines(const SetupLogModel& log)
{
    QStringList result;
    for (const SetupLogEntry& entry : log.entries()) {
        const QString mark = entry.style == LogStyle::sectionHeader ? u"#"_s
            : entry.style == LogStyle::done                         ? u"✓"_s
            : entry.style == LogStyle::pending                      ? u"○"_s
                                                                    : u"⟳"_s;
        result.append(mark + u' ' + entry.text);
    }
    return result;
}

// A header of a request the back-end logged, whatever the case of its name.
QString loggedHeader(const QJsonObject& request, const QString& name)
{
    const QJsonObject headers = request.value(u"headers"_s).toObject();
    for (auto it = headers.begin(); it != headers.end(); ++it) {
        if (it.key().compare(name, Qt::CaseInsensitive) == 0)
            return it.value().toString();
    }
    return {};
}

// The done screen's agent rows: "name scope tool".
QStringList summaries(const AgentSummaryModel& agents)
{
    QStringList result;
    for (const AgentSummary& agent : agents.summaries())
        result << agent.name + u' ' + agent.scope + u' ' + agent.toolName;
    return result;
}

QStringList withWizard(QStringList arguments)
{
    return arguments << u"--wizard"_s;
}

// The command hangs after its first line and ignores SIGTERM.
QJsonObject hanging(const QString& command, QJsonObject scenario = {})
{
    scenario.insert(command, QJsonObject { { u"hang"_s, true }, { u"ignoreTerminate"_s, true } });
    return scenario;
}

} // namespace

// The set-up run against the stand-in product tool (a real child process
// recording every run) and the reference back-end, which makes the agents
// "init" registers and answers the session link; the screen can always be
// left, the run stopped with its child.
class TestSetupRun : public QObject, private InstallPhaseFixture
{
    Q_OBJECT
private Q_SLOTS:

    void init()
    {
        setUp();
        m_state->install()->chooseInstallLLM(false);
    }

    void cleanup() { tearDown(); }
    void allProjectsToolsShareTheName()
    {
        signIn();
        const QString token = m_state->account()->sessionToken();
        // Upper case, an inner space, an exclamation mark and spaces around it.
        m_state->configuration()->rename(u"  Vega Star! \n"_s);
        const QString code = m_machine->home.filePath(u"code"_s);
        QVERIFY(QDir().mkpath(code));
        DetectedTool second = tool(u"Desk Assistant"_s, u"desk-assistant"_s);
        second.projectsRoot = code;
        second.projectsRootEnabled = true;
        DetectedTool ignored = tool(u"Off Tool"_s, u"off-tool"_s);
        ignored.enabled = false;
        m_state->configuration()->detectedTools()->setTools(
            { tool(u"Code Assistant"_s, u"code-assistant"_s), ignored, second });
        QList<double> progress;
        connect(m_state->setup(), &SetupRun::progressChanged, this,
            [&progress, this] { progress.append(m_state->setup()->progress()); });
        // The tool's progress messages replace the running line while it works.
        QStringList replaced;
        connect(m_state->setup()->log(), &QAbstractItemModel::dataChanged, this, [&replaced, this] {
            const SetupLogEntry& last = m_state->setup()->log()->entries().last();
            if (last.style == LogStyle::active)
                replaced.append(last.text);
        });

        runSetup();

        const QList<Run> runs = m_tool->runs();
        QCOMPARE(runs.size(), 4);
        const QStringList init { u"init"_s, u"--global"_s, u"--name"_s, u"vega-star"_s, u"--template"_s,
            u"developer-workstation"_s, u"--agent-type"_s };
        QCOMPARE(runs.at(0).arguments, withWizard(init + QStringList { u"code-assistant"_s }));
        QCOMPARE(runs.at(1).arguments, QStringList({ u"mark-linked"_s, u"--agent"_s, u"vega-star"_s }));
        // The same name again: the product tool, not the wizard, makes it unique.
        QCOMPARE(runs.at(2).arguments,
            withWizard(init + QStringList { u"desk-assistant"_s, u"--projects-root"_s, code }));
        QCOMPARE(runs.at(3).arguments.first(), u"mark-linked"_s);

        const QStringList agent {
            u"✓ Registered agent \"vega-star\" (global — all projects)"_s,
            u"✓ Linked vega-star to "_s + email,
            u"✓ Rules seeded from \"Developer Workstation\" template (12 rules)"_s,
        };
        QCOMPARE(lines(*m_state->setup()->log()),
            QStringList { u"# AGENTS"_s } + agent + QStringList { u"✓ Hook installed for Code Assistant"_s }
                + agent + QStringList { u"✓ Hook installed for Desk Assistant"_s });
        QCOMPARE(m_state->setup()->templateRuleCount(), 12);
        QCOMPARE(m_state->setup()->errorMessage(), QString());
        QCOMPARE(summaries(*m_state->setup()->registeredAgents()),
            QStringList({ u"vega-star global Code Assistant"_s, u"vega-star global Desk Assistant"_s }));
        QCOMPARE(progress, QList<double>({ 0.3, 0.6, 1.0 }));
        QVERIFY2(replaced.contains(u"Creating keys for agent vega-star"_s), qPrintable(replaced.join(u'|')));

        // Both links carried the session as bearer; both agents belong to the account now.
        const QList<QJsonObject> links = m_machine->requestsTo(u"/agents/link-session"_s);
        QCOMPARE(links.size(), 2);
        for (const QJsonObject& link : links)
            QCOMPARE(loggedHeader(link, u"Authorization"_s), u"Bearer "_s + token);
        const QJsonArray stored = m_machine->backend.state().value(u"agents"_s).toArray();
        QCOMPARE(stored.size(), 2);
        for (const QJsonValue& value : stored)
            QVERIFY(!value.toObject().value(u"user_id"_s).toString().isEmpty());
    }

    void perProjectToolRunsInEachFolder()
    {
        // No session token: nothing is linked.
        m_state->configuration()->rename(u"!!! ###"_s);
        m_state->configuration()->choosePosture(SecurityPosture::restrictive);
        for (const char* folder : { "code/a", "code/b", "code/c", "code/d" })
            QVERIFY(QDir(m_machine->home.path()).mkpath(QLatin1String(folder)));
        DetectedTool perProject = tool(u"Code Assistant"_s, QString(), ScopeChoice::perProject);
        perProject.projects = { project(u"~/code/a"_s, true), project(u"~/code/d"_s, false),
            project(u"~/code/b"_s, true), project(u"~/code/c"_s, true) };
        m_state->configuration()->detectedTools()->setTools({ perProject });
        // The folder b registration fails.
        writeScenario({ { u"init"_s,
            QJsonObject { { u"cases"_s,
                QJsonArray { QJsonObject { { u"whenCwd"_s, u"code/b"_s }, { u"exitCode"_s, 3 } } } } } } });

        runSetup();

        const QList<Run> runs = m_tool->runs();
        QCOMPARE(runs.size(), 3);
        const QStringList folders { u"code/a"_s, u"code/b"_s, u"code/c"_s };
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(runs.at(i).arguments, withWizard({ u"init"_s, u"--template"_s, u"restrictive"_s }));
            QCOMPARE(QFileInfo(runs.at(i).workingDirectory).canonicalFilePath(),
                QFileInfo(m_machine->home.filePath(folders.at(i))).canonicalFilePath());
        }
        QCOMPARE(lines(*m_state->setup()->log()),
            QStringList({ u"# AGENTS"_s, u"✓ Registered agent for ~/code/a"_s,
                u"○ Failed: ~/code/b — CLI exited with code 3"_s, u"✓ Registered agent for ~/code/c"_s,
                u"✓ Hook installed for Code Assistant"_s }));
        QCOMPARE(m_state->setup()->errorMessage(), u"CLI exited with code 3"_s);
        // A name of symbols only: the first tool's agent is "agent-1".
        QCOMPARE(summaries(*m_state->setup()->registeredAgents()),
            QStringList({ u"agent-1 per-project Code Assistant"_s }));
        QCOMPARE(m_state->setup()->templateRuleCount(), 0);
    }

    void failuresAreLoggedAndTheRunGoesOn()
    {
        signIn();
        m_state->configuration()->rename(u"atlas"_s);
        m_state->configuration()->choosePosture(SecurityPosture::personal);
        m_state->configuration()->detectedTools()->setTools({ tool(u"Code Assistant"_s, u"code-assistant"_s),
            tool(u"Desk Assistant"_s, u"desk-assistant"_s), tool(u"Third Tool"_s, u"third-tool"_s) });
        // The first tool reports an error but exits 0; the third exits 4.
        const auto when = [](const char* tool, const char* key, const QJsonValue& value) {
            return QJsonObject { { u"whenArgs"_s, QJsonArray { QLatin1String(tool) } },
                { QLatin1String(key), value } };
        };
        writeScenario({ { u"init"_s,
            QJsonObject { { u"cases"_s,
                QJsonArray { when("code-assistant", "errorMessage", u"Hook install failed"_s),
                    when("third-tool", "exitCode", 4) } } } } });
        // The account refuses the second tool's agent.
        QVERIFY(m_machine->backend.inject(
            "POST", u"/agents/link-session"_s, 403, "{\"error\":\"agent belongs to another account\"}"));
        QStringList errors;
        connect(m_state->setup(), &SetupRun::errorMessageChanged, this,
            [&errors, this] { errors.append(m_state->setup()->errorMessage()); });

        runSetup();

        QCOMPARE(lines(*m_state->setup()->log()),
            QStringList(
                { u"# AGENTS"_s, u"○ Failed: Hook install failed"_s, u"✓ Hook installed for Code Assistant"_s,
                    u"✓ Registered agent \"atlas\" (global — all projects)"_s,
                    u"○ Linking failed — link manually from dashboard"_s,
                    u"✓ Hook installed for Desk Assistant"_s,
                    u"○ Failed to register agent \"atlas\": CLI exited with code 4"_s,
                    u"✓ Hook installed for Third Tool"_s }));
        QCOMPARE(errors,
            QStringList({ u"Hook install failed"_s, u"Link failed: agent belongs to another account"_s,
                u"CLI exited with code 4"_s }));
        // Every tool has its summary, also those whose registration failed.
        QCOMPARE(m_state->setup()->registeredAgents()->count(), 3);
        // Only the second tool's agent was offered for linking, and it was not marked linked.
        QCOMPARE(m_machine->requestsTo(u"/agents/link-session"_s).size(), 1);
        for (const Run& run : m_tool->runs())
            QVERIFY(run.arguments.first() != u"mark-linked"_s);
    }

    void noEnabledTool()
    {
        DetectedTool off = tool(u"Code Assistant"_s, u"code-assistant"_s);
        off.enabled = false;
        m_state->configuration()->detectedTools()->setTools({ off });
        WizardTestAccess::signIn(*m_state->account(), u"token"_s, QString());
        m_state->startSetup();
        // Nothing to wait for: the run ends at once, and without the local model no analysis follows.
        QCOMPARE(m_state->currentScreen(), Screen::done);
        QCOMPARE(lines(*m_state->setup()->log()), QStringList({ u"# AGENTS"_s }));
        QCOMPARE(m_state->setup()->registeredAgents()->count(), 0);
        QCOMPARE(m_state->setup()->progress(), 1.0);
        QCOMPARE(m_state->account()->sessionToken(), QString());
        QCOMPARE(m_tool->runs().size(), 0);
        QCOMPARE(m_state->analysis()->waitingForLLM(), false);
    }

    void skipStopsTheRegistrationAndTheDownload()
    {
        // The model download runs on from the install screen.
        const QJsonObject downloading { { u"download-model"_s, QJsonObject { { u"hang"_s, true } } } };
        writeScenario(downloading);
        const CLIResult<std::shared_ptr<CLIProcess>> started
            = QCoro::waitFor(m_cli->start({ u"download-model"_s, u"--wizard"_s }, {}));
        QVERIFY(started.ok());
        std::shared_ptr<CLIProcess> download = started.value();
        QTRY_COMPARE(m_tool->runs().size(), 1);
        WizardTestAccess::setProcess(*m_state->install()->modelDownload(), download);
        WizardTestAccess::setDownloading(*m_state->install()->modelDownload(), true);
        m_state->install()->chooseInstallLLM(true);
        WizardTestAccess::signIn(*m_state->account(), u"token"_s, QString());
        startSetup(downloading);

        // "Skip & Finish Setup": the registration under way and the download stop,
        // and the run goes no further.
        m_state->skipSetup();
        QCOMPARE(m_state->currentScreen(), Screen::done);
        QCOMPARE(m_state->install()->modelDownload()->process(), nullptr);
        QCOMPARE(m_state->install()->modelDownload()->llmDownloading(), false);
        QCOMPARE(m_state->install()->installLLM(), false);
        QCOMPARE(m_state->setup()->progress(), 1.0);
        QCOMPARE(m_state->account()->sessionToken(), QString());
        QTRY_VERIFY(download->isFinished());
        QTRY_COMPARE(childProcessCount("quorvane"), 0);
        for (const SetupLogEntry& entry : m_state->setup()->log()->entries())
            QVERIFY2(!entry.text.startsWith(u"Hook installed"_s), qPrintable(entry.text));
        QCOMPARE(m_tool->runs().size(), 2);
        QCOMPARE(m_state->analysis()->waitingForLLM(), false);
    }

    // Closing the wizard (its model goes) while the run waits ends the run's child.
    void closingTheWizardEndsTheRun()
    {
        startSetup();
        m_state.reset();
        QTRY_COMPARE(childProcessCount("quorvane"), 0);
    }

    void phaseTexts()
    {
        const QList<std::pair<double, QString>> expected { { 0.0, u"Registering..."_s },
            { 0.5, u"Registering..."_s }, { 0.51, u"Configuring agents..."_s },
            { 0.8, u"Configuring agents..."_s }, { 0.81, u"Almost there..."_s },
            { 0.99, u"Almost there..."_s }, { 1.0, u"Complete!"_s } };
        QSignalSpy changed(m_state->setup(), &SetupRun::progressChanged);
        for (const auto& [progress, text] : expected) {
            WizardTestAccess::setProgress(*m_state->setup(), progress);
            QCOMPARE(m_state->setup()->phaseText(), text);
        }
        QCOMPARE(changed.size(), expected.size() - 1);
    }

    void namesArgumentsAndPostures()
    {
        QCOMPARE(baseAgentName(u"  My Agent!\n"_s), u"my-agent"_s);
        QCOMPARE(baseAgentName(u"!!!"_s), QString());
        QCOMPARE(baseAgentName(u"- Über_Tool -"_s), u"bertool"_s);
        // Cut to 32 characters first, then the hyphens at the ends go.
        QCOMPARE(baseAgentName(u"a"_s.repeated(31) + u" b"_s), u"a"_s.repeated(31));
        QCOMPARE(baseAgentName(u"--x--"_s), u"x"_s);

        // Without a name the tool picks one (the runs above and the add-agent tests have the rest).
        QCOMPARE(InitArguments::allProjects(QString(), u"restrictive"_s, QString(), QString()),
            QStringList({ u"init"_s, u"--global"_s, u"--template"_s, u"restrictive"_s }));
    }

private:
    void runSetup()
    {
        QSignalSpy screen(m_state.get(), &WizardState::currentScreenChanged);
        m_state->startSetup();
        QCOMPARE(m_state->currentScreen(), Screen::settingUp);
        QTRY_COMPARE_WITH_TIMEOUT(m_state->currentScreen(), Screen::done, 60000);
        QCOMPARE(screen.size(), 2);
        QCOMPARE(m_state->setup()->progress(), 1.0);
        QCOMPARE(m_state->account()->sessionToken(), QString());
    }

    void startSetup(const QJsonObject& scenario = {})
    {
        const qsizetype before = m_tool->runs().size();
        writeScenario(hanging(u"init"_s, scenario));
        m_state->configuration()->detectedTools()->setTools({ tool(u"Code Assistant"_s, u"code-assistant"_s) });
        m_state->startSetup();
        // Started is not yet running: the tool has written down its run.
        QTRY_COMPARE(m_tool->runs().size(), before + 1);
        QCOMPARE(m_state->currentScreen(), Screen::settingUp);
    }
};

QTEST_MAIN(TestSetupRun)
#include "tst_SetupRun.moc"
