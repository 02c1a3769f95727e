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
        const QString mark = entry.style == LogStyle::sectionHeader ? QStringLiteral("#")
            : entry.style == LogStyle::done                         ? QStringLiteral("✓")
            : entry.style == LogStyle::pending                      ? QStringLiteral("○")
                                                                    : QStringLiteral("⟳");
        result.append(mark + u' ' + entry.text);
    }
    return result;
}

// A header of a request the back-end logged, whatever the case of its name.
QString loggedHeader(const QJsonObject& request, const QString& name)
{
    const QJsonObject headers = request.value(QStringLiteral("headers")).toObject();
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
    return arguments << QStringLiteral("--wizard");
}

// The command hangs after its first line and ignores SIGTERM.
QJsonObject hanging(const QString& command, QJsonObject scenario = {})
{
    scenario.insert(command,
        QJsonObject { { QStringLiteral("hang"), true }, { QStringLiteral("ignoreTerminate"), true } });
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
    void initTestCase()
    {
        QVERIFY2(QFileInfo(StandInTool::executablePath()).isExecutable(),
            qPrintable(StandInTool::executablePath()));
    }
    void init()
    {
        setUp();
        m_state->setInstallLLM(false);
    }
    void cleanup() { tearDown(); }
    void allProjectsToolsShareTheName();
    void perProjectToolRunsInEachFolder();
    void failuresAreLoggedAndTheRunGoesOn();
    void noEnabledTool();
    void skipStopsTheRegistrationAndTheDownload();
    void closingTheWizardEndsTheRun();
    void phaseTexts();
    void namesArgumentsAndPostures();

private:
    void runSetup();
    void startSetup(const QJsonObject& scenario = {});
};

void TestSetupRun::runSetup()
{
    QSignalSpy screen(m_state.get(), &WizardState::currentScreenChanged);
    m_state->startSetup();
    QCOMPARE(m_state->currentScreen(), Screen::settingUp);
    QTRY_COMPARE_WITH_TIMEOUT(m_state->currentScreen(), Screen::done, 60000);
    QCOMPARE(screen.size(), 2);
    QCOMPARE(m_state->setupProgress(), 1.0);
    QCOMPARE(m_state->sessionToken(), QString());
}

void TestSetupRun::startSetup(const QJsonObject& scenario)
{
    const qsizetype before = m_tool->runs().size();
    writeScenario(hanging(QStringLiteral("init"), scenario));
    m_state->detectedTools()->setTools(
        { tool(QStringLiteral("Code Assistant"), QStringLiteral("code-assistant")) });
    m_state->startSetup();
    // Started is not yet running: the tool has written down its run.
    QTRY_COMPARE(m_tool->runs().size(), before + 1);
    QCOMPARE(m_state->currentScreen(), Screen::settingUp);
}

void TestSetupRun::allProjectsToolsShareTheName()
{
    signIn();
    const QString token = m_state->sessionToken();
    // Upper case, an inner space, an exclamation mark and spaces around it.
    m_state->setAgentName(QStringLiteral("  Vega Star! \n"));
    const QString code = m_machine->home.filePath(QStringLiteral("code"));
    QVERIFY(QDir().mkpath(code));
    DetectedTool second = tool(QStringLiteral("Desk Assistant"), QStringLiteral("desk-assistant"));
    second.projectsRoot = code;
    second.projectsRootEnabled = true;
    DetectedTool ignored = tool(QStringLiteral("Off Tool"), QStringLiteral("off-tool"));
    ignored.enabled = false;
    m_state->detectedTools()->setTools(
        { tool(QStringLiteral("Code Assistant"), QStringLiteral("code-assistant")), ignored, second });
    QList<double> progress;
    connect(m_state.get(), &WizardState::setupProgressChanged, this,
        [&progress, this] { progress.append(m_state->setupProgress()); });
    // The tool's progress messages replace the running line while it works.
    QStringList replaced;
    connect(m_state->setupLog(), &QAbstractItemModel::dataChanged, this, [&replaced, this] {
        const SetupLogEntry& last = m_state->setupLog()->entries().last();
        if (last.style == LogStyle::active)
            replaced.append(last.text);
    });

    runSetup();

    const QList<Run> runs = m_tool->runs();
    QCOMPARE(runs.size(), 4);
    const QStringList init { QStringLiteral("init"), QStringLiteral("--global"), QStringLiteral("--name"),
        QStringLiteral("vega-star"), QStringLiteral("--template"), QStringLiteral("developer-workstation"),
        QStringLiteral("--agent-type") };
    QCOMPARE(runs.at(0).arguments, withWizard(init + QStringList { QStringLiteral("code-assistant") }));
    QCOMPARE(runs.at(1).arguments,
        QStringList(
            { QStringLiteral("mark-linked"), QStringLiteral("--agent"), QStringLiteral("vega-star") }));
    // The same name again: the product tool, not the wizard, makes it unique.
    QCOMPARE(runs.at(2).arguments,
        withWizard(init
            + QStringList { QStringLiteral("desk-assistant"), QStringLiteral("--projects-root"), code }));
    QCOMPARE(runs.at(3).arguments.first(), QStringLiteral("mark-linked"));

    const QStringList agent {
        QStringLiteral("✓ Registered agent \"vega-star\" (global — all projects)"),
        QStringLiteral("✓ Linked vega-star to ") + email,
        QStringLiteral("✓ Rules seeded from \"Developer Workstation\" template (12 rules)"),
    };
    QCOMPARE(lines(*m_state->setupLog()),
        QStringList { QStringLiteral("# AGENTS") } + agent
            + QStringList { QStringLiteral("✓ Hook installed for Code Assistant") } + agent
            + QStringList { QStringLiteral("✓ Hook installed for Desk Assistant") });
    QCOMPARE(m_state->templateRuleCount(), 12);
    QCOMPARE(m_state->errorMessage(), QString());
    QCOMPARE(summaries(*m_state->registeredAgents()),
        QStringList({ QStringLiteral("vega-star global Code Assistant"),
            QStringLiteral("vega-star global Desk Assistant") }));
    QCOMPARE(progress, QList<double>({ 0.3, 0.6, 1.0 }));
    QVERIFY2(replaced.contains(QStringLiteral("Creating keys for agent vega-star")),
        qPrintable(replaced.join(u'|')));

    // Both links carried the session as bearer; both agents belong to the account now.
    const QList<QJsonObject> links = m_machine->requestsTo(QStringLiteral("/agents/link-session"));
    QCOMPARE(links.size(), 2);
    for (const QJsonObject& link : links)
        QCOMPARE(loggedHeader(link, QStringLiteral("Authorization")), QStringLiteral("Bearer ") + token);
    const QJsonArray stored = m_machine->backend.state().value(QStringLiteral("agents")).toArray();
    QCOMPARE(stored.size(), 2);
    for (const QJsonValue& value : stored)
        QVERIFY(!value.toObject().value(QStringLiteral("user_id")).toString().isEmpty());
}

void TestSetupRun::perProjectToolRunsInEachFolder()
{
    // No session token: nothing is linked.
    m_state->setAgentName(QStringLiteral("!!! ###"));
    m_state->setSecurityPosture(SecurityPosture::restrictive);
    for (const char* folder : { "code/a", "code/b", "code/c", "code/d" })
        QVERIFY(QDir(m_machine->home.path()).mkpath(QLatin1String(folder)));
    DetectedTool perProject = tool(QStringLiteral("Code Assistant"), QString(), ScopeChoice::perProject);
    perProject.projects
        = { project(QStringLiteral("~/code/a"), true), project(QStringLiteral("~/code/d"), false),
              project(QStringLiteral("~/code/b"), true), project(QStringLiteral("~/code/c"), true) };
    m_state->detectedTools()->setTools({ perProject });
    // The folder b registration fails.
    writeScenario({ { QStringLiteral("init"),
        QJsonObject { { QStringLiteral("cases"),
            QJsonArray { QJsonObject { { QStringLiteral("whenCwd"), QStringLiteral("code/b") },
                { QStringLiteral("exitCode"), 3 } } } } } } });

    runSetup();

    const QList<Run> runs = m_tool->runs();
    QCOMPARE(runs.size(), 3);
    const QStringList folders { QStringLiteral("code/a"), QStringLiteral("code/b"),
        QStringLiteral("code/c") };
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(runs.at(i).arguments,
            withWizard(
                { QStringLiteral("init"), QStringLiteral("--template"), QStringLiteral("restrictive") }));
        QCOMPARE(QFileInfo(runs.at(i).workingDirectory).canonicalFilePath(),
            QFileInfo(m_machine->home.filePath(folders.at(i))).canonicalFilePath());
    }
    QCOMPARE(lines(*m_state->setupLog()),
        QStringList({ QStringLiteral("# AGENTS"), QStringLiteral("✓ Registered agent for ~/code/a"),
            QStringLiteral("○ Failed: ~/code/b — CLI exited with code 3"),
            QStringLiteral("✓ Registered agent for ~/code/c"),
            QStringLiteral("✓ Hook installed for Code Assistant") }));
    QCOMPARE(m_state->errorMessage(), QStringLiteral("CLI exited with code 3"));
    // A name of symbols only: the first tool's agent is "agent-1".
    QCOMPARE(summaries(*m_state->registeredAgents()),
        QStringList({ QStringLiteral("agent-1 per-project Code Assistant") }));
    QCOMPARE(m_state->templateRuleCount(), 0);
}

void TestSetupRun::failuresAreLoggedAndTheRunGoesOn()
{
    signIn();
    m_state->setAgentName(QStringLiteral("atlas"));
    m_state->setSecurityPosture(SecurityPosture::personal);
    m_state->detectedTools()->setTools(
        { tool(QStringLiteral("Code Assistant"), QStringLiteral("code-assistant")),
            tool(QStringLiteral("Desk Assistant"), QStringLiteral("desk-assistant")),
            tool(QStringLiteral("Third Tool"), QStringLiteral("third-tool")) });
    // The first tool reports an error but exits 0; the third exits 4.
    const auto when = [](const char* tool, const char* key, const QJsonValue& value) {
        return QJsonObject { { QStringLiteral("whenArgs"), QJsonArray { QLatin1String(tool) } },
            { QLatin1String(key), value } };
    };
    writeScenario({ { QStringLiteral("init"),
        QJsonObject { { QStringLiteral("cases"),
            QJsonArray { when("code-assistant", "errorMessage", QStringLiteral("Hook install failed")),
                when("third-tool", "exitCode", 4) } } } } });
    // The account refuses the second tool's agent.
    QVERIFY(m_machine->backend.inject("POST", QStringLiteral("/agents/link-session"), 403,
        "{\"error\":\"agent belongs to another account\"}"));
    QStringList errors;
    connect(m_state.get(), &WizardState::errorMessageChanged, this,
        [&errors, this] { errors.append(m_state->errorMessage()); });

    runSetup();

    QCOMPARE(lines(*m_state->setupLog()),
        QStringList({ QStringLiteral("# AGENTS"), QStringLiteral("○ Failed: Hook install failed"),
            QStringLiteral("✓ Hook installed for Code Assistant"),
            QStringLiteral("✓ Registered agent \"atlas\" (global — all projects)"),
            QStringLiteral("○ Linking failed — link manually from dashboard"),
            QStringLiteral("✓ Hook installed for Desk Assistant"),
            QStringLiteral("○ Failed to register agent \"atlas\": CLI exited with code 4"),
            QStringLiteral("✓ Hook installed for Third Tool") }));
    QCOMPARE(errors,
        QStringList({ QStringLiteral("Hook install failed"),
            QStringLiteral("Link failed: agent belongs to another account"),
            QStringLiteral("CLI exited with code 4") }));
    // Every tool has its summary, also those whose registration failed.
    QCOMPARE(m_state->registeredAgents()->count(), 3);
    // Only the second tool's agent was offered for linking, and it was not marked linked.
    QCOMPARE(m_machine->requestsTo(QStringLiteral("/agents/link-session")).size(), 1);
    for (const Run& run : m_tool->runs())
        QVERIFY(run.arguments.first() != QLatin1String("mark-linked"));
}

void TestSetupRun::noEnabledTool()
{
    DetectedTool off = tool(QStringLiteral("Code Assistant"), QStringLiteral("code-assistant"));
    off.enabled = false;
    m_state->detectedTools()->setTools({ off });
    m_state->setSessionToken(QStringLiteral("token"));
    m_state->startSetup();
    // Nothing to wait for: the run ends at once, and without the local model no analysis follows.
    QCOMPARE(m_state->currentScreen(), Screen::done);
    QCOMPARE(lines(*m_state->setupLog()), QStringList({ QStringLiteral("# AGENTS") }));
    QCOMPARE(m_state->registeredAgents()->count(), 0);
    QCOMPARE(m_state->setupProgress(), 1.0);
    QCOMPARE(m_state->sessionToken(), QString());
    QCOMPARE(m_tool->runs().size(), 0);
    QCOMPARE(m_state->analysisWaitingForLLM(), false);
}

void TestSetupRun::skipStopsTheRegistrationAndTheDownload()
{
    // The model download runs on from the install screen.
    const QJsonObject downloading { { QStringLiteral("download-model"),
        QJsonObject { { QStringLiteral("hang"), true } } } };
    writeScenario(downloading);
    const CLIResult<std::shared_ptr<CLIProcess>> started
        = QCoro::waitFor(m_cli->start({ QStringLiteral("download-model"), QStringLiteral("--wizard") }, {}));
    QVERIFY(started.ok());
    std::shared_ptr<CLIProcess> download = started.value();
    QTRY_COMPARE(m_tool->runs().size(), 1);
    m_state->setLlmProcess(download);
    m_state->setLlmDownloading(true);
    m_state->setInstallLLM(true);
    m_state->setSessionToken(QStringLiteral("token"));
    startSetup(downloading);

    // "Skip & Finish Setup": the registration under way and the download stop,
    // and the run goes no further.
    m_state->skipSetup();
    QCOMPARE(m_state->currentScreen(), Screen::done);
    QCOMPARE(m_state->llmProcess(), nullptr);
    QCOMPARE(m_state->llmDownloading(), false);
    QCOMPARE(m_state->installLLM(), false);
    QCOMPARE(m_state->setupProgress(), 1.0);
    QCOMPARE(m_state->sessionToken(), QString());
    QTRY_VERIFY(download->isFinished());
    QTRY_COMPARE(childProcessCount("quorvane"), 0);
    for (const SetupLogEntry& entry : m_state->setupLog()->entries())
        QVERIFY2(!entry.text.startsWith(QLatin1String("Hook installed")), qPrintable(entry.text));
    QCOMPARE(m_tool->runs().size(), 2);
    QCOMPARE(m_state->analysisWaitingForLLM(), false);
}

// Closing the wizard (its model goes) while the run waits ends the run's child.
void TestSetupRun::closingTheWizardEndsTheRun()
{
    startSetup();
    m_state.reset();
    QTRY_COMPARE(childProcessCount("quorvane"), 0);
}

void TestSetupRun::phaseTexts()
{
    const QList<std::pair<double, QString>> expected { { 0.0, QStringLiteral("Registering...") },
        { 0.5, QStringLiteral("Registering...") }, { 0.51, QStringLiteral("Configuring agents...") },
        { 0.8, QStringLiteral("Configuring agents...") }, { 0.81, QStringLiteral("Almost there...") },
        { 0.99, QStringLiteral("Almost there...") }, { 1.0, QStringLiteral("Complete!") } };
    QSignalSpy changed(m_state.get(), &WizardState::setupProgressChanged);
    for (const auto& [progress, text] : expected) {
        m_state->setSetupProgress(progress);
        QCOMPARE(m_state->phaseText(), text);
    }
    QCOMPARE(changed.size(), expected.size() - 1);
}

void TestSetupRun::namesArgumentsAndPostures()
{
    QCOMPARE(baseAgentName(QStringLiteral("  My Agent!\n")), QStringLiteral("my-agent"));
    QCOMPARE(baseAgentName(QStringLiteral("!!!")), QString());
    QCOMPARE(baseAgentName(QStringLiteral("- Über_Tool -")), QStringLiteral("bertool"));
    // Cut to 32 characters first, then the hyphens at the ends go.
    QCOMPARE(baseAgentName(QStringLiteral("a").repeated(31) + QStringLiteral(" b")),
        QStringLiteral("a").repeated(31));
    QCOMPARE(baseAgentName(QStringLiteral("--x--")), QStringLiteral("x"));

    // Without a name the tool picks one (the runs above and the add-agent tests have the rest).
    QCOMPARE(InitArguments::allProjects(QString(), QStringLiteral("restrictive"), QString(), QString()),
        QStringList({ QStringLiteral("init"), QStringLiteral("--global"), QStringLiteral("--template"),
            QStringLiteral("restrictive") }));
}

QTEST_MAIN(TestSetupRun)
#include "tst_SetupRun.moc"
