#include "app/tooling/CLIService.h"
#include "app/wizard/WizardState.h"
#include "tests/support/BackendProcess.h"
#include "tests/support/ChildProcesses.h"
#include "tests/support/StandInTool.h"
#include "tests/support/TestHome.h"

#include <QDir>
#include <QJsonArray>
#include <QNetworkAccessManager>
#include <QSignalSpy>
#include <QTest>

#include <qcorotask.h>

#include <memory>

namespace {

using Run = StandInTool::Run;

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

QStringList texts(const SetupLogModel& log)
{
    QStringList result;
    for (const SetupLogEntry& entry : log.entries())
        result.append(entry.text);
    return result;
}

QList<LogStyle> styles(const SetupLogModel& log)
{
    QList<LogStyle> result;
    for (const SetupLogEntry& entry : log.entries())
        result.append(entry.style);
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

QStringList withWizard(QStringList arguments)
{
    return arguments << QStringLiteral("--wizard");
}

} // namespace

// The set-up run against the stand-in product tool (a real child process
// recording every run) and the reference back-end, which makes the agents
// "init" registers and answers the session link.
class TestSetupRun : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void allProjectsToolsShareTheName();
    void perProjectToolRunsInEachFolder();
    void failuresAreLoggedAndTheRunGoesOn();
    void noEnabledTool();
    void skipStopsTheDownload();
    void phaseTexts();

private:
    void runSetup();

    std::unique_ptr<TestHome> m_home;
    std::unique_ptr<BackendProcess> m_backend;
    std::unique_ptr<StandInTool> m_tool;
    std::unique_ptr<CLIService> m_cli;
    std::unique_ptr<QNetworkAccessManager> m_network;
    std::unique_ptr<WizardState> m_state;
};

void TestSetupRun::initTestCase()
{
    QVERIFY2(QFileInfo(StandInTool::executablePath()).isExecutable(), qPrintable(StandInTool::executablePath()));
}

void TestSetupRun::init()
{
    m_home = std::make_unique<TestHome>();
    m_backend = std::make_unique<BackendProcess>();
    QVERIFY2(m_backend->isRunning(), qPrintable(m_backend->lastError()));
    qputenv("QUORVANE_API_BASE_URL", m_backend->url().toString().toUtf8());
    m_tool = std::make_unique<StandInTool>();
    m_cli = std::make_unique<CLIService>(nullptr, [] { return StandInTool::executablePath(); });
    m_network = std::make_unique<QNetworkAccessManager>();
    m_state = std::make_unique<WizardState>();
    m_state->setCli(m_cli.get());
    m_state->setNetwork(m_network.get());
    m_state->setInstallLLM(false);
}

void TestSetupRun::cleanup()
{
    m_state.reset();
    // No registration may outlive its run.
    QTRY_COMPARE(childProcessCount("quorvane"), 0);
    m_network.reset();
    m_cli.reset();
    m_tool.reset();
    qunsetenv("QUORVANE_API_BASE_URL");
    m_backend.reset();
    m_home.reset();
}

void TestSetupRun::runSetup()
{
    QSignalSpy screen(m_state.get(), &WizardState::currentScreenChanged);
    m_state->startSetup();
    QCOMPARE(m_state->currentScreen(), WizardState::WizardScreen::settingUp);
    QTRY_COMPARE_WITH_TIMEOUT(m_state->currentScreen(), WizardState::WizardScreen::done, 60000);
    QCOMPARE(screen.size(), 2);
    QCOMPARE(m_state->setupProgress(), 1.0);
    QCOMPARE(m_state->phaseText(), QStringLiteral("Complete!"));
    QCOMPARE(m_state->sessionToken(), QString());
}

void TestSetupRun::allProjectsToolsShareTheName()
{
    const QString token = m_backend->createUser(QStringLiteral("dev@example.com"))
                              .value(QStringLiteral("session_token")).toString();
    QVERIFY(!token.isEmpty());
    m_state->setSessionToken(token);
    m_state->setSignedInEmail(QStringLiteral("dev@example.com"));
    // Upper case, an inner space, an exclamation mark and spaces around it.
    m_state->setAgentName(QStringLiteral("  Vega Star! \n"));
    QVERIFY(QDir(m_home->path()).mkpath(QStringLiteral("code")));
    DetectedTool second = tool(QStringLiteral("Desk Assistant"), QStringLiteral("desk-assistant"));
    second.projectsRoot = m_home->filePath(QStringLiteral("code"));
    second.projectsRootEnabled = true;
    DetectedTool ignored = tool(QStringLiteral("Off Tool"), QStringLiteral("off-tool"));
    ignored.enabled = false;
    m_state->detectedTools()->setTools(
        {tool(QStringLiteral("Code Assistant"), QStringLiteral("code-assistant")), ignored, second});
    QList<double> progress;
    connect(m_state.get(), &WizardState::setupProgressChanged, this,
            [&progress, this] { progress.append(m_state->setupProgress()); });

    runSetup();

    const QList<Run> runs = m_tool->runs();
    QCOMPARE(runs.size(), 4);
    QCOMPARE(runs.at(0).arguments,
             withWizard({QStringLiteral("init"), QStringLiteral("--global"), QStringLiteral("--name"),
                         QStringLiteral("vega-star"), QStringLiteral("--template"),
                         QStringLiteral("developer-workstation"), QStringLiteral("--agent-type"),
                         QStringLiteral("code-assistant")}));
    QCOMPARE(runs.at(1).arguments, QStringList({QStringLiteral("mark-linked"), QStringLiteral("--agent"),
                                                QStringLiteral("vega-star")}));
    // The same name again: the product tool, not the wizard, makes it unique.
    QCOMPARE(runs.at(2).arguments,
             withWizard({QStringLiteral("init"), QStringLiteral("--global"), QStringLiteral("--name"),
                         QStringLiteral("vega-star"), QStringLiteral("--template"),
                         QStringLiteral("developer-workstation"), QStringLiteral("--agent-type"),
                         QStringLiteral("desk-assistant"), QStringLiteral("--projects-root"),
                         m_home->filePath(QStringLiteral("code"))}));
    QCOMPARE(runs.at(3).arguments.first(), QStringLiteral("mark-linked"));

    const QString agent = QStringLiteral("\"vega-star\"");
    QCOMPARE(texts(*m_state->setupLog()),
             QStringList({QStringLiteral("AGENTS"),
                          QStringLiteral("Registered agent ") + agent + QStringLiteral(" (global — all projects)"),
                          QStringLiteral("Linked vega-star to dev@example.com"),
                          QStringLiteral("Rules seeded from \"Developer Workstation\" template (12 rules)"),
                          QStringLiteral("Hook installed for Code Assistant"),
                          QStringLiteral("Registered agent ") + agent + QStringLiteral(" (global — all projects)"),
                          QStringLiteral("Linked vega-star to dev@example.com"),
                          QStringLiteral("Rules seeded from \"Developer Workstation\" template (12 rules)"),
                          QStringLiteral("Hook installed for Desk Assistant")}));
    QCOMPARE(styles(*m_state->setupLog()),
             QList<LogStyle>({LogStyle::sectionHeader, LogStyle::done, LogStyle::done, LogStyle::done,
                              LogStyle::done, LogStyle::done, LogStyle::done, LogStyle::done, LogStyle::done}));
    QCOMPARE(m_state->templateRuleCount(), 12);
    QCOMPARE(m_state->errorMessage(), QString());
    const QList<AgentSummary>& agents = m_state->registeredAgents()->summaries();
    QCOMPARE(agents.size(), 2);
    QCOMPARE(agents.at(0).name, QStringLiteral("vega-star"));
    QCOMPARE(agents.at(0).scope, QStringLiteral("global"));
    QCOMPARE(agents.at(1).toolName, QStringLiteral("Desk Assistant"));
    QCOMPARE(progress, QList<double>({0.3, 0.6, 1.0}));

    // Both links carried the session as bearer; both agents belong to the account now.
    const QJsonArray requests = m_backend->requests();
    int links = 0;
    for (const QJsonValue& value : requests) {
        const QJsonObject request = value.toObject();
        if (request.value(QStringLiteral("target")).toString() != QLatin1String("/agents/link-session"))
            continue;
        ++links;
        QCOMPARE(loggedHeader(request, QStringLiteral("Authorization")), QStringLiteral("Bearer ") + token);
        QCOMPARE(loggedHeader(request, QStringLiteral("Content-Type")), QStringLiteral("application/json"));
        QVERIFY(request.value(QStringLiteral("body")).toString().startsWith(QLatin1String("{\"agent_id\":\"")));
    }
    QCOMPARE(links, 2);
    const QJsonArray agentsStored = m_backend->request("GET", "/_control/state").object().value(QStringLiteral("agents")).toArray();
    QCOMPARE(agentsStored.size(), 2);
    for (const QJsonValue& value : agentsStored)
        QVERIFY(!value.toObject().value(QStringLiteral("user_id")).toString().isEmpty());
}

void TestSetupRun::perProjectToolRunsInEachFolder()
{
    // No session token: nothing is linked.
    m_state->setAgentName(QStringLiteral("!!! ###"));
    m_state->setSecurityPosture(SecurityPosture::restrictive);
    for (const QString& folder : {QStringLiteral("code/a"), QStringLiteral("code/b"), QStringLiteral("code/c"),
                                  QStringLiteral("code/d")})
        QVERIFY(QDir(m_home->path()).mkpath(folder));
    DetectedTool perProject = tool(QStringLiteral("Code Assistant"), QString(), ScopeChoice::perProject);
    perProject.projects = {project(QStringLiteral("~/code/a"), true), project(QStringLiteral("~/code/d"), false),
                           project(QStringLiteral("~/code/b"), true), project(QStringLiteral("~/code/c"), true)};
    m_state->detectedTools()->setTools({perProject});
    // The folder b registration fails.
    QVERIFY(m_tool->writeScenario(
        {{QStringLiteral("init"),
          QJsonObject{{QStringLiteral("cases"),
                       QJsonArray{QJsonObject{{QStringLiteral("whenCwd"), QStringLiteral("code/b")},
                                              {QStringLiteral("exitCode"), 3}}}}}}}));

    runSetup();

    const QList<Run> runs = m_tool->runs();
    QCOMPARE(runs.size(), 3);
    const QStringList arguments = withWizard({QStringLiteral("init"), QStringLiteral("--template"),
                                              QStringLiteral("restrictive")});
    const QStringList folders{QStringLiteral("code/a"), QStringLiteral("code/b"), QStringLiteral("code/c")};
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(runs.at(i).arguments, arguments);
        QCOMPARE(QFileInfo(runs.at(i).workingDirectory).canonicalFilePath(),
                 QFileInfo(m_home->filePath(folders.at(i))).canonicalFilePath());
    }
    QCOMPARE(texts(*m_state->setupLog()),
             QStringList({QStringLiteral("AGENTS"), QStringLiteral("Registered agent for ~/code/a"),
                          QStringLiteral("Failed: ~/code/b — CLI exited with code 3"),
                          QStringLiteral("Registered agent for ~/code/c"),
                          QStringLiteral("Hook installed for Code Assistant")}));
    QCOMPARE(styles(*m_state->setupLog()),
             QList<LogStyle>({LogStyle::sectionHeader, LogStyle::done, LogStyle::pending, LogStyle::done,
                              LogStyle::done}));
    QCOMPARE(m_state->errorMessage(), QStringLiteral("CLI exited with code 3"));
    // A name of symbols only: the first tool's agent is "agent-1".
    const QList<AgentSummary>& agents = m_state->registeredAgents()->summaries();
    QCOMPARE(agents.size(), 1);
    QCOMPARE(agents.first().name, QStringLiteral("agent-1"));
    QCOMPARE(agents.first().scope, QStringLiteral("per-project"));
    QCOMPARE(m_state->templateRuleCount(), 0);
}

void TestSetupRun::failuresAreLoggedAndTheRunGoesOn()
{
    const QString token = m_backend->createUser(QStringLiteral("dev@example.com"))
                              .value(QStringLiteral("session_token")).toString();
    m_state->setSessionToken(token);
    m_state->setAgentName(QStringLiteral("atlas"));
    m_state->setSecurityPosture(SecurityPosture::personal);
    m_state->detectedTools()->setTools({tool(QStringLiteral("Code Assistant"), QStringLiteral("code-assistant")),
                                        tool(QStringLiteral("Desk Assistant"), QStringLiteral("desk-assistant")),
                                        tool(QStringLiteral("Third Tool"), QStringLiteral("third-tool"))});
    // The first tool reports an error but exits 0; the third exits 4.
    QVERIFY(m_tool->writeScenario(
        {{QStringLiteral("init"),
          QJsonObject{{QStringLiteral("cases"),
                       QJsonArray{QJsonObject{{QStringLiteral("whenArgs"), QJsonArray{QStringLiteral("code-assistant")}},
                                              {QStringLiteral("errorMessage"), QStringLiteral("Hook install failed")}},
                                  QJsonObject{{QStringLiteral("whenArgs"), QJsonArray{QStringLiteral("third-tool")}},
                                              {QStringLiteral("exitCode"), 4}}}}}}}));
    // The account refuses the second tool's agent.
    QVERIFY(m_backend->inject("POST", QStringLiteral("/agents/link-session"), 403,
                              "{\"error\":\"agent belongs to another account\"}"));
    QStringList errors;
    connect(m_state.get(), &WizardState::errorMessageChanged, this,
            [&errors, this] { errors.append(m_state->errorMessage()); });

    runSetup();

    QCOMPARE(texts(*m_state->setupLog()),
             QStringList({QStringLiteral("AGENTS"), QStringLiteral("Failed: Hook install failed"),
                          QStringLiteral("Hook installed for Code Assistant"),
                          QStringLiteral("Registered agent \"atlas\" (global — all projects)"),
                          QStringLiteral("Linking failed — link manually from dashboard"),
                          QStringLiteral("Hook installed for Desk Assistant"),
                          QStringLiteral("Failed to register agent \"atlas\": CLI exited with code 4"),
                          QStringLiteral("Hook installed for Third Tool")}));
    QCOMPARE(styles(*m_state->setupLog()),
             QList<LogStyle>({LogStyle::sectionHeader, LogStyle::pending, LogStyle::done, LogStyle::done,
                              LogStyle::pending, LogStyle::done, LogStyle::pending, LogStyle::done}));
    QCOMPARE(errors, QStringList({QStringLiteral("Hook install failed"),
                                  QStringLiteral("Link failed: agent belongs to another account"),
                                  QStringLiteral("CLI exited with code 4")}));
    // Every tool has its summary, also those whose registration failed.
    QCOMPARE(m_state->registeredAgents()->count(), 3);
    // Only the second tool's agent was offered for linking, and it was not marked linked.
    int linkRequests = 0;
    for (const QJsonValue& request : m_backend->requests())
        linkRequests += request.toObject().value(QStringLiteral("target")).toString() == QLatin1String("/agents/link-session");
    QCOMPARE(linkRequests, 1);
    for (const Run& run : m_tool->runs())
        QVERIFY(run.arguments.first() != QLatin1String("mark-linked"));
}

void TestSetupRun::noEnabledTool()
{
    DetectedTool off = tool(QStringLiteral("Code Assistant"), QStringLiteral("code-assistant"));
    off.enabled = false;
    m_state->detectedTools()->setTools({off});
    m_state->setSessionToken(QStringLiteral("token"));
    m_state->startSetup();
    // Nothing to wait for: the run ends at once.
    QCOMPARE(m_state->currentScreen(), WizardState::WizardScreen::done);
    QCOMPARE(texts(*m_state->setupLog()), QStringList({QStringLiteral("AGENTS")}));
    QCOMPARE(m_state->setupLog()->entries().first().section, QStringLiteral("AGENTS"));
    QCOMPARE(m_state->registeredAgents()->count(), 0);
    QCOMPARE(m_state->setupProgress(), 1.0);
    QCOMPARE(m_state->sessionToken(), QString());
    QCOMPARE(m_tool->runs().size(), 0);
    // Without the local model no analysis follows.
    QCOMPARE(m_state->analysisWaitingForLLM(), false);
    QCOMPARE(m_state->analysisStatusLine(), QString());
}

void TestSetupRun::skipStopsTheDownload()
{
    QVERIFY(m_tool->writeScenario({{QStringLiteral("download-model"), QJsonObject{{QStringLiteral("hang"), true}}}}));
    const CLIResult<std::shared_ptr<CLIProcess>> started
        = QCoro::waitFor(m_cli->start({QStringLiteral("download-model"), QStringLiteral("--wizard")}, {}));
    QVERIFY(started.ok());
    std::shared_ptr<CLIProcess> download = started.value();
    QVERIFY(download->isRunning());
    m_state->setLlmProcess(download);
    m_state->setLlmDownloading(true);
    m_state->setInstallLLM(true);
    m_state->setSessionToken(QStringLiteral("token"));
    m_state->setCurrentScreen(WizardState::WizardScreen::settingUp);

    m_state->skipSetup();
    QCOMPARE(m_state->currentScreen(), WizardState::WizardScreen::done);
    QCOMPARE(m_state->llmProcess(), nullptr);
    QCOMPARE(m_state->llmDownloading(), false);
    QCOMPARE(m_state->installLLM(), false);
    QCOMPARE(m_state->setupProgress(), 1.0);
    QCOMPARE(m_state->sessionToken(), QString());
    QTRY_VERIFY(download->isFinished());
    QCOMPARE(m_state->analysisWaitingForLLM(), false);
}

void TestSetupRun::phaseTexts()
{
    const QList<std::pair<double, QString>> expected{
        {0.0, QStringLiteral("Registering...")},        {0.5, QStringLiteral("Registering...")},
        {0.51, QStringLiteral("Configuring agents...")}, {0.8, QStringLiteral("Configuring agents...")},
        {0.81, QStringLiteral("Almost there...")},       {0.99, QStringLiteral("Almost there...")},
        {1.0, QStringLiteral("Complete!")}};
    QSignalSpy changed(m_state.get(), &WizardState::setupProgressChanged);
    for (const auto& [progress, text] : expected) {
        m_state->setSetupProgress(progress);
        QCOMPARE(m_state->phaseText(), text);
    }
    QCOMPARE(changed.size(), expected.size() - 1);
}

QTEST_MAIN(TestSetupRun)
#include "tst_SetupRun.moc"
