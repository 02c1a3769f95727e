#include "tests/support/BackendProcess.h"
#include "tests/tools/cli/CliRunner.h"
#include "tests/support/TestHome.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

// Exercises the built stand-in tool as a child process: argument lists, event
// lines, exit statuses and exactly the files each command leaves in the home.
class TestStandInCli : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestHome> m_home;
    std::unique_ptr<QTemporaryDir> m_side; // scenario and log live outside the home
    CliRunner m_cli;

    QString scenarioPath() const { return m_side->filePath(QStringLiteral("scenario.json")); }
    QString logPath() const { return m_side->filePath(QStringLiteral("invocations.jsonl")); }

    void setScenario(const QByteArray& json)
    {
        QFile file(scenarioPath());
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(json);
    }

    QStringList homeFiles() const
    {
        QStringList files;
        QDirIterator it(
            m_home->path(), QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
        while (it.hasNext())
            files.append(QDir(m_home->path()).relativeFilePath(it.next()));
        files.sort();
        return files;
    }

    QJsonObject readJson(const QString& relative) const
    {
        QFile file(m_home->filePath(relative));
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return QJsonDocument::fromJson(file.readAll()).object();
    }

    // A registered agent folder as the tool itself would leave it.
    void addAgent(const QString& folder, const QString& name)
    {
        const QJsonObject config { { QStringLiteral("name"), name },
            { QStringLiteral("machine"), QStringLiteral("desk") },
            { QStringLiteral("machineId"), QStringLiteral("m-1") },
            { QStringLiteral("publicKey"), QStringLiteral("key") },
            { QStringLiteral("createdAt"), QStringLiteral("2025-01-01T00:00:00Z") },
            { QStringLiteral("apiUrl"), QStringLiteral("http://127.0.0.1:1") } };
        QVERIFY(m_home->write(QStringLiteral(".quorvane/agents/") + folder + QStringLiteral("/config.json"),
            QJsonDocument(config).toJson()));
    }

private Q_SLOTS:
    void init()
    {
        m_home = std::make_unique<TestHome>();
        m_side = std::make_unique<QTemporaryDir>();
        QVERIFY(m_side->isValid());
        QVERIFY(QFile::exists(CliRunner::executablePath()));
        m_cli.environment = QProcessEnvironment::systemEnvironment();
        m_cli.environment.insert(QStringLiteral("QUORVANE_HOME"), m_home->path());
        m_cli.environment.insert(QStringLiteral("QUORVANE_CLI_SCENARIO"), scenarioPath());
        m_cli.environment.insert(QStringLiteral("QUORVANE_CLI_LOG"), logPath());
        m_cli.environment.remove(QStringLiteral("QUORVANE_API_BASE_URL"));
        setScenario("{}");
    }

    void cleanup()
    {
        m_home.reset();
        m_side.reset();
    }

    void capturedOutput_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QByteArray>("scenario");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("version") << QStringList { QStringLiteral("--version") } << QByteArray("{}")
                                 << QByteArray("1.0.0\n");
        QTest::newRow("version from scenario")
            << QStringList { QStringLiteral("--version") } << QByteArray(R"({"version":{"text":"2.10.1"}})")
            << QByteArray("2.10.1\n");
        QTest::newRow("raw output") << QStringList { QStringLiteral("scan"), QStringLiteral("--format"),
            QStringLiteral("json") } << QByteArray(R"({"scan":{"rawOutput":"[1,2]"}})")
                                    << QByteArray("[1,2]");
        QTest::newRow("failing mark-linked is silent without a message") << QStringList {
            QStringLiteral("mark-linked"), QStringLiteral("--agent"), QStringLiteral("vega")
        } << QByteArray(R"({"mark-linked":{"exitCode":5}})") << QByteArray();
    }
    void capturedOutput()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, scenario);
        QFETCH(QByteArray, expected);
        setScenario(scenario);
        const QStringList before = homeFiles();
        const CliRun run = m_cli.run(arguments);
        QVERIFY(run.finished);
        QCOMPARE(run.exitStatus, QProcess::NormalExit);
        QCOMPARE(run.output, expected);
        QCOMPARE(homeFiles(), before);
    }

    void scanReportsTools()
    {
        QVERIFY(QDir().mkpath(m_home->filePath(QStringLiteral("code/a"))));
        setScenario(R"({"scan":{"agents":[{"displayName":"Code Assistant","descriptorId":"code-assistant",
            "detection":{"status":"installed","details":{"projects":[
                {"path":"~/code/a","isActive":true,"lastActive":"today"},{"path":"/srv/b","isActive":false}]}}}]}})");
        CliRun run
            = m_cli.run({ QStringLiteral("scan"), QStringLiteral("--format"), QStringLiteral("json") });
        QCOMPARE(run.exitCode, 0);
        QJsonObject output = QJsonDocument::fromJson(run.output).object();
        const QJsonArray projects
            = output
                  .value(QStringLiteral("agents"))[0][QStringLiteral("detection")][QStringLiteral("details")]
                                                  [QStringLiteral("projects")]
                  .toArray();
        QCOMPARE(projects.size(), 2);
        QCOMPARE(projects[0][QStringLiteral("path")].toString(), m_home->filePath(QStringLiteral("code/a")));
        QCOMPARE(projects[1][QStringLiteral("path")].toString(), QStringLiteral("/srv/b"));

        // Without a scenario: one installed tool and one that is not found.
        setScenario("{}");
        run = m_cli.run({ QStringLiteral("scan"), QStringLiteral("--format"), QStringLiteral("json") });
        const QJsonArray agents
            = QJsonDocument::fromJson(run.output).object().value(QStringLiteral("agents")).toArray();
        QCOMPARE(agents.size(), 2);
        QCOMPARE(agents[0][QStringLiteral("detection")][QStringLiteral("status")].toString(),
            QStringLiteral("installed"));
        QCOMPARE(agents[1][QStringLiteral("detection")][QStringLiteral("status")].toString(),
            QStringLiteral("not_found"));

        // A very large output stays one JSON object and arrives whole.
        setScenario(R"({"scan":{"largeOutputBytes":6000000}})");
        run = m_cli.run({ QStringLiteral("scan"), QStringLiteral("--format"), QStringLiteral("json") });
        QVERIFY(run.output.size() > 6000000);
        QVERIFY(run.chunks.size() > 1);
        output = QJsonDocument::fromJson(run.output).object();
        QCOMPARE(output.value(QStringLiteral("agents")).toArray().size(), 2);

        // Other commands put the filler before their normal output.
        setScenario(R"({"version":{"largeOutputBytes":100000}})");
        run = m_cli.run({ QStringLiteral("--version") });
        QCOMPARE(run.output.size(), 100000 + 6);
        QVERIFY(run.output.endsWith("\n1.0.0\n"));
    }

    void eventCommands_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QByteArray>("scenario");
        QTest::addColumn<QStringList>("types");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("errorMessage");
        QTest::addColumn<QStringList>("newFiles");

        const QString progress = QStringLiteral("progress");
        const QString preflightArg = QStringLiteral("--preflight");
        const QString wizard = QStringLiteral("--wizard");
        const QStringList preflight { QStringLiteral("init"), preflightArg, wizard };
        QTest::newRow("preflight") << preflight << QByteArray("{}")
                                   << QStringList { progress, progress, QStringLiteral("complete") } << 0
                                   << QString() << QStringList();
        QTest::newRow("preflight error, status 1")
            << preflight << QByteArray(R"({"preflight":{"errorMessage":"Key store locked","exitCode":1}})")
            << QStringList { progress, QStringLiteral("error") } << 1 << QStringLiteral("Key store locked")
            << QStringList();
        QTest::newRow("preflight error, status 0")
            << preflight << QByteArray(R"({"preflight":{"errorMessage":"Key store locked"}})")
            << QStringList { progress, QStringLiteral("error") } << 0 << QStringLiteral("Key store locked")
            << QStringList();
        QTest::newRow("preflight silent failure")
            << preflight << QByteArray(R"({"preflight":{"exitCode":3,"failAfterSteps":0}})") << QStringList()
            << 3 << QString() << QStringList();

        const QStringList download { QStringLiteral("download-model"), wizard };
        QStringList downloadTypes;
        for (int i = 0; i < 10; ++i)
            downloadTypes.append(progress);
        QTest::newRow("download") << download << QByteArray(R"({"download-model":{"stepDelayMs":1}})")
                                  << (downloadTypes + QStringList { QStringLiteral("complete") }) << 0
                                  << QString() << QStringList();
        QTest::newRow("download failure")
            << download
            << QByteArray(
                   R"({"download-model":{"stepDelayMs":1,"failAfterSteps":4,"errorMessage":"Disk full","exitCode":1}})")
            << (downloadTypes.mid(0, 4) + QStringList { QStringLiteral("error") }) << 1
            << QStringLiteral("Disk full") << QStringList();

        const QStringList analysisTypes { progress, progress, progress, QStringLiteral("suggestion_count"),
            QStringLiteral("complete") };
        QTest::newRow("analysis") << QStringList { QStringLiteral("analyze-history"), wizard }
                                  << QByteArray("{}") << analysisTypes << 0 << QString() << QStringList();
        QTest::newRow("analysis with MCP discovery")
            << QStringList { QStringLiteral("analyze-history"), QStringLiteral("--scan-mcp"), wizard }
            << QByteArray("{}")
            << QStringList { progress, progress, progress, progress, QStringLiteral("suggestion_count"),
                   QStringLiteral("complete") }
            << 0 << QString() << QStringList { QStringLiteral(".quorvane/mcp-servers.json") };
        QTest::newRow("analysis failure writes no inventory")
            << QStringList { QStringLiteral("analyze-history"), QStringLiteral("--scan-mcp"), wizard }
            << QByteArray(R"({"analyze-history":{"errorMessage":"Model not loaded","exitCode":2}})")
            << QStringList { progress, QStringLiteral("error") } << 2 << QStringLiteral("Model not loaded")
            << QStringList();

        const QStringList initGlobal { QStringLiteral("init"), QStringLiteral("--global"),
            QStringLiteral("--name"), QStringLiteral("vega"), QStringLiteral("--template"),
            QStringLiteral("developer-workstation"), QStringLiteral("--agent-type"),
            QStringLiteral("code-assistant"), wizard };
        QTest::newRow("init without a server")
            << initGlobal << QByteArray(R"({"init":{"registerWithServer":false,"agentId":"agt-7"}})")
            << QStringList { progress, progress, progress, QStringLiteral("verified") } << 0 << QString()
            << QStringList { QStringLiteral(".quorvane/agents/vega/config.json") };
        QTest::newRow("init failure leaves no agent")
            << initGlobal
            << QByteArray(
                   R"({"init":{"registerWithServer":false,"errorMessage":"Hook install failed","exitCode":1,"failAfterSteps":2}})")
            << QStringList { progress, progress, QStringLiteral("error") } << 1
            << QStringLiteral("Hook install failed") << QStringList();
        QTest::newRow("init error event with status 0 leaves no agent")
            << initGlobal
            << QByteArray(R"({"init":{"registerWithServer":false,"errorMessage":"Hook install failed"}})")
            << QStringList { progress, QStringLiteral("error") } << 0 << QStringLiteral("Hook install failed")
            << QStringList();
        QTest::newRow("init with an unreachable server")
            << initGlobal << QByteArray("{}") << QStringList { progress, progress, QStringLiteral("error") }
            << 1 << QString() << QStringList();
        QTest::newRow("mark-linked of an unknown agent")
            << QStringList { QStringLiteral("mark-linked"), QStringLiteral("--agent"),
                   QStringLiteral("nobody") }
            << QByteArray("{}") << QStringList { QStringLiteral("error") } << 1 << QString() << QStringList();
    }
    void eventCommands()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, scenario);
        QFETCH(QStringList, types);
        QFETCH(int, exitCode);
        QFETCH(QString, errorMessage);
        QFETCH(QStringList, newFiles);

        setScenario(scenario);
        // A loopback port nobody listens on: the server is unreachable.
        m_cli.environment.insert(
            QStringLiteral("QUORVANE_API_BASE_URL"), QStringLiteral("http://127.0.0.1:9"));
        const QStringList before = homeFiles();
        const CliRun run = m_cli.run(arguments);
        QVERIFY(run.finished);
        QCOMPARE(run.exitStatus, QProcess::NormalExit);
        QCOMPARE(run.exitCode, exitCode);

        // Every line the tool prints is an event the companion can decode.
        for (const QByteArray& line : run.lines())
            QVERIFY2(CliRunner::isEvent(line), line.constData());
        QCOMPARE(run.eventTypes(), types);

        double lastProgress = 0;
        for (const QJsonObject& event : run.events()) {
            const QString type = event.value(QStringLiteral("type")).toString();
            if (type == QLatin1String("progress")) {
                const double fraction = event.value(QStringLiteral("progress")).toDouble();
                QVERIFY(fraction > lastProgress && fraction <= 1.0);
                lastProgress = fraction;
            } else if (type == QLatin1String("error")) {
                QVERIFY(!event.value(QStringLiteral("message")).toString().isEmpty());
                if (!errorMessage.isEmpty())
                    QCOMPARE(event.value(QStringLiteral("message")).toString(), errorMessage);
            } else if (type == QLatin1String("suggestion_count")) {
                QCOMPARE(event.value(QStringLiteral("data"))[QStringLiteral("count")].toString(),
                    QStringLiteral("3"));
            } else if (type == QLatin1String("verified")) {
                QCOMPARE(event.value(QStringLiteral("data"))[QStringLiteral("agentId")].toString(),
                    QStringLiteral("agt-7"));
            }
        }

        QStringList expected = before + newFiles;
        expected.sort();
        QCOMPARE(homeFiles(), expected);
    }

    void agentFilesFollowTheRegistryFormat()
    {
        setScenario(R"({"init":{"registerWithServer":false}})");
        const QStringList initVega { QStringLiteral("init"), QStringLiteral("--name"), QStringLiteral("vega"),
            QStringLiteral("--template"), QStringLiteral("restrictive"), QStringLiteral("--agent-type"),
            QStringLiteral("code-assistant"), QStringLiteral("--wizard") };
        // One per-project agent per folder; a taken name gets a suffix.
        const QString projectA = m_side->filePath(QStringLiteral("a"));
        const QString projectB = m_side->filePath(QStringLiteral("b"));
        QVERIFY(QDir().mkpath(projectA) && QDir().mkpath(projectB));
        CliRun run = m_cli.run(initVega, projectA);
        QCOMPARE(run.exitCode, 0);
        run = m_cli.run(initVega, projectB);
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.events().last().value(QStringLiteral("data"))[QStringLiteral("name")].toString(),
            QStringLiteral("vega-2"));
        QCOMPARE(homeFiles(),
            (QStringList { QStringLiteral(".quorvane/agents/vega-2/config.json"),
                QStringLiteral(".quorvane/agents/vega/config.json") }));

        const QJsonObject first = readJson(QStringLiteral(".quorvane/agents/vega/config.json"));
        for (const char* key : { "name", "machine", "machineId", "publicKey", "agentId", "status",
                 "createdAt", "apiUrl", "template", "scope", "projectPath" })
            QVERIFY2(first.value(QLatin1String(key)).isString(), key);
        QCOMPARE(first.value(QStringLiteral("name")).toString(), QStringLiteral("vega"));
        QCOMPARE(first.value(QStringLiteral("template")).toString(), QStringLiteral("restrictive"));
        QCOMPARE(first.value(QStringLiteral("projectPath")).toString(), QDir(projectA).canonicalPath());
        QCOMPARE(readJson(QStringLiteral(".quorvane/agents/vega-2/config.json"))
                     .value(QStringLiteral("projectPath")),
            QJsonValue(QDir(projectB).canonicalPath()));
        QCOMPARE(QFile::permissions(m_home->filePath(QStringLiteral(".quorvane/agents/vega/config.json"))),
            QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadUser
                | QFileDevice::WriteUser);

        // A global agent records its scope and projects root, not a project path.
        const QStringList initGlobal { QStringLiteral("init"), QStringLiteral("--global"),
            QStringLiteral("--template"), QStringLiteral("personal-assistant"),
            QStringLiteral("--projects-root"), m_side->path(), QStringLiteral("--wizard") };
        run = m_cli.run(initGlobal);
        QCOMPARE(run.exitCode, 0);
        const QJsonObject global = readJson(QStringLiteral(".quorvane/agents/agent/config.json"));
        QCOMPARE(global.value(QStringLiteral("scope")).toString(), QStringLiteral("global"));
        QCOMPARE(global.value(QStringLiteral("projectsRoot")).toString(), m_side->path());
        QVERIFY(!global.contains(QStringLiteral("projectPath")));

        // mark-linked records the link in that agent's file only.
        const QStringList before = homeFiles();
        run = m_cli.run(
            { QStringLiteral("mark-linked"), QStringLiteral("--agent"), QStringLiteral("vega-2") });
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(
            readJson(QStringLiteral(".quorvane/agents/vega-2/config.json")).value(QStringLiteral("status")),
            QJsonValue(QStringLiteral("linked")));
        QCOMPARE(
            readJson(QStringLiteral(".quorvane/agents/vega/config.json")).value(QStringLiteral("status")),
            QJsonValue(QStringLiteral("active")));
        QCOMPARE(homeFiles(), before);

        // Back-to-back registrations with no pauses end cleanly every time
        // (a crash at the end of the run once hid here).
        setScenario(R"({"defaults":{"stepDelayMs":0},"init":{"registerWithServer":false}})");
        for (int i = 0; i < 8; ++i) {
            run = m_cli.run(initVega, projectA);
            QCOMPARE(run.exitStatus, QProcess::NormalExit);
            QCOMPARE(run.exitCode, 0);
            QCOMPARE(run.eventTypes().last(), QStringLiteral("verified"));
        }

        // A scenario may leave "agentId" out of the confirming event.
        setScenario(R"({"init":{"registerWithServer":false,"omitAgentId":true}})");
        run = m_cli.run(initVega, projectA);
        QCOMPARE(run.eventTypes().last(), QStringLiteral("verified"));
        QVERIFY(!run.events()
                     .last()
                     .value(QStringLiteral("data"))
                     .toObject()
                     .contains(QStringLiteral("agentId")));
    }

    void unregisterStatuses_data()
    {
        QTest::addColumn<QByteArray>("scenario");
        QTest::addColumn<QString>("agent");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<bool>("folderRemains");
        QTest::newRow("removed") << QByteArray("{}") << QStringLiteral("vega") << 0 << false;
        QTest::newRow("denied") << QByteArray(R"({"unregister":{"exitCode":2}})") << QStringLiteral("vega")
                                << 2 << true;
        QTest::newRow("timed out") << QByteArray(R"({"unregister":{"exitCode":3}})") << QStringLiteral("vega")
                                   << 3 << true;
        QTest::newRow("removed locally")
            << QByteArray(R"({"unregister":{"exitCode":4}})") << QStringLiteral("vega") << 4 << false;
        QTest::newRow("failed") << QByteArray(R"({"unregister":{"exitCode":1}})") << QStringLiteral("vega")
                                << 1 << true;
        QTest::newRow("by the name inside config.json")
            << QByteArray("{}") << QStringLiteral("altair") << 0 << false;
        QTest::newRow("unknown agent") << QByteArray("{}") << QStringLiteral("rigel") << 1 << true;
        QTest::newRow("path in the name")
            << QByteArray("{}") << QStringLiteral("../agents/vega") << 64 << true;
    }
    void unregisterStatuses()
    {
        QFETCH(QByteArray, scenario);
        QFETCH(QString, agent);
        QFETCH(int, exitCode);
        QFETCH(bool, folderRemains);
        addAgent(QStringLiteral("vega"), QStringLiteral("vega"));
        addAgent(QStringLiteral("x1"), QStringLiteral("altair"));
        setScenario(scenario);
        const QStringList before = homeFiles();

        const CliRun run = m_cli.run({ QStringLiteral("unregister"), QStringLiteral("--agent"), agent,
            QStringLiteral("--force"), QStringLiteral("--remove-global-rules") });
        QVERIFY(run.finished);
        QCOMPARE(run.exitStatus, QProcess::NormalExit);
        QCOMPARE(run.exitCode, exitCode);
        QStringList expected = before;
        if (!folderRemains)
            expected.removeAll(agent == QLatin1String("altair")
                    ? QStringLiteral(".quorvane/agents/x1/config.json")
                    : QStringLiteral(".quorvane/agents/vega/config.json"));
        QCOMPARE(homeFiles(), expected);
    }

    void unregisterNeverFollowsLinksOut()
    {
        QTemporaryDir outside;
        QVERIFY(QFile(outside.filePath(QStringLiteral("keep"))).open(QIODevice::WriteOnly));
        const QJsonObject config { { QStringLiteral("name"), QStringLiteral("deneb") } };
        QFile file(outside.filePath(QStringLiteral("config.json")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QJsonDocument(config).toJson());
        file.close();
        QVERIFY(QDir().mkpath(m_home->filePath(QStringLiteral(".quorvane/agents"))));
        QVERIFY(QFile::link(outside.path(), m_home->filePath(QStringLiteral(".quorvane/agents/deneb"))));

        const CliRun run = m_cli.run({ QStringLiteral("unregister"), QStringLiteral("--agent"),
            QStringLiteral("deneb"), QStringLiteral("--force") });
        QCOMPARE(run.exitCode, 1); // a link is not an agent folder
        QVERIFY(QFile::exists(outside.filePath(QStringLiteral("keep"))));
        QVERIFY(QFile::exists(outside.filePath(QStringLiteral("config.json"))));
    }

    void usageErrors_data()
    {
        QTest::addColumn<QStringList>("arguments");
        const QString init = QStringLiteral("init");
        const QString tmpl = QStringLiteral("--template");
        const QString restrictive = QStringLiteral("restrictive");
        QTest::newRow("nothing") << QStringList();
        QTest::newRow("unknown command") << QStringList { QStringLiteral("launch") };
        QTest::newRow("init without template") << QStringList { init, QStringLiteral("--global") };
        QTest::newRow("unknown template") << QStringList { init, tmpl, QStringLiteral("lenient") };
        QTest::newRow("name with a space")
            << QStringList { init, QStringLiteral("--name"), QStringLiteral("my agent"), tmpl, restrictive };
        QTest::newRow("upper-case name")
            << QStringList { init, QStringLiteral("--name"), QStringLiteral("Vega"), tmpl, restrictive };
        QTest::newRow("name with a newline")
            << QStringList { init, QStringLiteral("--name"), QStringLiteral("vega\n"), tmpl, restrictive };
        QTest::newRow("missing value") << QStringList { init, tmpl };
        QTest::newRow("relative projects root") << QStringList { init, tmpl, restrictive,
            QStringLiteral("--projects-root"), QStringLiteral("~/code") };
        QTest::newRow("flag twice") << QStringList { QStringLiteral("analyze-history"),
            QStringLiteral("--wizard"), QStringLiteral("--wizard") };
        QTest::newRow("preflight with registration flags")
            << QStringList { init, QStringLiteral("--preflight"), QStringLiteral("--global") };
        QTest::newRow("scan as text")
            << QStringList { QStringLiteral("scan"), QStringLiteral("--format"), QStringLiteral("text") };
        QTest::newRow("scan without format") << QStringList { QStringLiteral("scan") };
        QTest::newRow("unregister without force") << QStringList { QStringLiteral("unregister"),
            QStringLiteral("--agent"), QStringLiteral("vega") };
        QTest::newRow("mark-linked without agent") << QStringList { QStringLiteral("mark-linked") };
        QTest::newRow("flag of another command")
            << QStringList { QStringLiteral("download-model"), QStringLiteral("--scan-mcp") };
    }
    void usageErrors()
    {
        QFETCH(QStringList, arguments);
        addAgent(QStringLiteral("vega"), QStringLiteral("vega"));
        const QStringList before = homeFiles();
        const CliRun run = m_cli.run(arguments);
        QCOMPARE(run.exitStatus, QProcess::NormalExit);
        QCOMPARE(run.exitCode, 64);
        QCOMPARE(run.eventTypes(), QStringList { QStringLiteral("error") });
        QCOMPARE(homeFiles(), before);
    }

    void invocationLogRecordsEveryArgumentList()
    {
        const QString project = m_side->filePath(QStringLiteral("proj"));
        QVERIFY(QDir().mkpath(project));
        m_cli.run({ QStringLiteral("--version") });
        m_cli.run({ QStringLiteral("analyze-history"), QStringLiteral("--wizard") }, project);
        m_cli.run({ QStringLiteral("bogus"), QStringLiteral("with space") });

        QFile log(logPath());
        QVERIFY(log.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = log.readAll().split('\n');
        QCOMPARE(lines.size(), 4); // three lines and the empty tail
        QCOMPARE(QJsonDocument::fromJson(lines[0]).object().value(QStringLiteral("args")).toArray(),
            QJsonArray { QStringLiteral("--version") });
        const QJsonObject second = QJsonDocument::fromJson(lines[1]).object();
        QCOMPARE(second.value(QStringLiteral("args")).toArray(),
            (QJsonArray { QStringLiteral("analyze-history"), QStringLiteral("--wizard") }));
        QCOMPARE(second.value(QStringLiteral("cwd")).toString(), QDir(project).canonicalPath());
        QCOMPARE(QJsonDocument::fromJson(lines[2]).object().value(QStringLiteral("args")).toArray(),
            (QJsonArray { QStringLiteral("bogus"), QStringLiteral("with space") }));
    }

    void splitLinesArriveInTwoWrites()
    {
        setScenario(R"({"preflight":{"splitLines":true,"splitDelayMs":400,"stepDelayMs":0}})");
        const CliRun run = m_cli.run(
            { QStringLiteral("init"), QStringLiteral("--preflight"), QStringLiteral("--wizard") });
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.eventTypes(),
            (QStringList {
                QStringLiteral("progress"), QStringLiteral("progress"), QStringLiteral("complete") }));
        // The first read ends in the middle of the first line.
        QVERIFY(run.chunks.size() >= 2);
        QVERIFY(!run.chunks.first().contains('\n'));
        QVERIFY(run.lines().first().startsWith(run.chunks.first()));
        // Reassembled, every line is whole again.
        for (const QByteArray& line : run.lines())
            QVERIFY(CliRunner::isEvent(line));
    }

    void malformedLinesAreMixedIn()
    {
        setScenario("{\"preflight\":{\"malformed\":true},"
                    "\"analyze-history\":{\"malformed\":[\"{\\\"type\\\":7}\",\"\",\"oops\"]}}");
        CliRun run = m_cli.run(
            { QStringLiteral("init"), QStringLiteral("--preflight"), QStringLiteral("--wizard") });
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.lines().size(), 7 + 3);
        QCOMPARE(run.eventTypes(),
            (QStringList {
                QStringLiteral("progress"), QStringLiteral("progress"), QStringLiteral("complete") }));

        run = m_cli.run({ QStringLiteral("analyze-history"), QStringLiteral("--wizard") });
        QCOMPARE(run.lines().mid(0, 3), (QList<QByteArray> { "{\"type\":7}", "", "oops" }));
        QCOMPARE(run.events().size(), 5);
    }

    void hangsUntilTerminated()
    {
        setScenario(R"({"download-model":{"hang":true,"stepDelayMs":0}})");
        QProcess process;
        process.setProcessEnvironment(m_cli.environment);
        process.setStandardErrorFile(QProcess::nullDevice());
        process.start(
            CliRunner::executablePath(), { QStringLiteral("download-model"), QStringLiteral("--wizard") });
        QVERIFY(process.waitForStarted());
        QTRY_VERIFY(process.canReadLine());
        QVERIFY(CliRunner::isEvent(process.readLine().trimmed()));
        QVERIFY(!process.waitForFinished(300)); // still waiting after its first event
        process.terminate();
        QVERIFY(process.waitForFinished(5000));
        QCOMPARE(process.exitStatus(), QProcess::CrashExit);
        QVERIFY(process.readAll().isEmpty());
    }

    void scenarioProblemsAndCases()
    {
        // A broken scenario is reported, never obeyed halfway.
        for (const QByteArray& broken : { QByteArray("{\"init\": "), QByteArray("[1]"),
                 QByteArray(R"({"preflight":{"stepDelayMs":"fast"}})"),
                 QByteArray(R"({"preflight":{"exitCode":1.5}})"),
                 QByteArray(R"({"preflight":{"largeOutputBytes":1e300}})"),
                 QByteArray(R"({"preflight":[]})") }) {
            setScenario(broken);
            const CliRun run = m_cli.run({ QStringLiteral("init"), QStringLiteral("--preflight") });
            QCOMPARE(run.exitCode, 78);
            QCOMPARE(run.eventTypes(), QStringList { QStringLiteral("error") });
        }
        setScenario(R"({"analyze-history":{"suggestionCount":1e300}})");
        QCOMPARE(m_cli.run({ QStringLiteral("analyze-history") }).exitCode, 78);

        // "defaults" apply to every command; the first matching case wins.
        setScenario(R"({"defaults":{"stepDelayMs":0},
            "analyze-history":{"suggestionCount":"abc","cases":[
                {"whenArgs":["--scan-mcp"],"suggestionCount":12,"mcpServers":[{"name":"docs"}]},
                {"whenArgs":["--wizard"],"exitCode":9}]}})");
        CliRun run = m_cli.run({ QStringLiteral("analyze-history") });
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.events()[3].value(QStringLiteral("data"))[QStringLiteral("count")].toString(),
            QStringLiteral("abc"));
        run = m_cli.run(
            { QStringLiteral("analyze-history"), QStringLiteral("--scan-mcp"), QStringLiteral("--wizard") });
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.events()[4].value(QStringLiteral("data"))[QStringLiteral("count")].toString(),
            QStringLiteral("12"));
        QCOMPARE(readJson(QStringLiteral(".quorvane/mcp-servers.json")),
            (QJsonObject { { QStringLiteral("servers"),
                QJsonArray { QJsonObject { { QStringLiteral("name"), QStringLiteral("docs") } } } } }));
        QCOMPARE(m_cli.run({ QStringLiteral("analyze-history"), QStringLiteral("--wizard") }).exitCode, 9);

        // Cases can also pick a working folder.
        const QString project = m_side->filePath(QStringLiteral("code/b"));
        QVERIFY(QDir().mkpath(project));
        setScenario(R"({"init":{"registerWithServer":false,"cases":[{"whenCwd":"code/b","exitCode":6}]}})");
        const QStringList initArgs { QStringLiteral("init"), QStringLiteral("--template"),
            QStringLiteral("restrictive") };
        QCOMPARE(m_cli.run(initArgs, project).exitCode, 6);
        QCOMPARE(m_cli.run(initArgs, m_side->path()).exitCode, 0);
    }

    void initCreatesTheAgentOnTheBackend()
    {
        BackendProcess backend;
        if (!backend.isRunning())
            QSKIP(qPrintable(QStringLiteral("reference back-end unavailable: ") + backend.lastError()));
        m_cli.environment.insert(QStringLiteral("QUORVANE_API_BASE_URL"), backend.url().toString());

        // A registered machine: its identifier goes with the agent.
        const QString machineId = backend.registerMachine(QStringLiteral("person@example.com"),
            QString::fromLatin1(
                QByteArray(32, 'k').toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals)),
            QStringLiteral("LOCAL-1"), QStringLiteral("desk"));
        QVERIFY2(!machineId.isEmpty(), qPrintable(backend.lastError()));
        const QJsonObject machine { { QStringLiteral("id"), machineId },
            { QStringLiteral("user_id"), QStringLiteral("u") },
            { QStringLiteral("machine_id_local"), QStringLiteral("LOCAL-1") },
            { QStringLiteral("name"), QStringLiteral("desk") } };
        QVERIFY(
            m_home->write(QStringLiteral(".quorvane/machine/machine.json"), QJsonDocument(machine).toJson()));

        const CliRun run = m_cli.run({ QStringLiteral("init"), QStringLiteral("--global"),
            QStringLiteral("--name"), QStringLiteral("vega"), QStringLiteral("--template"),
            QStringLiteral("developer-workstation"), QStringLiteral("--agent-type"),
            QStringLiteral("code-assistant"), QStringLiteral("--wizard") });
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.eventTypes().last(), QStringLiteral("verified"));
        const QString agentId
            = run.events().last().value(QStringLiteral("data"))[QStringLiteral("agentId")].toString();
        QVERIFY(!agentId.isEmpty());

        bool found = false;
        for (const QJsonValue& agent : backend.state().value(QStringLiteral("agents")).toArray()) {
            if (agent[QStringLiteral("id")].toString() != agentId
                && agent[QStringLiteral("agent_id")].toString() != agentId)
                continue;
            found = true;
            QCOMPARE(agent[QStringLiteral("name")].toString(), QStringLiteral("vega"));
        }
        QVERIFY2(found, QJsonDocument(backend.state()).toJson().constData());

        const QJsonObject config = readJson(QStringLiteral(".quorvane/agents/vega/config.json"));
        QCOMPARE(config.value(QStringLiteral("agentId")).toString(), agentId);
        QCOMPARE(config.value(QStringLiteral("machineId")).toString(), machineId);
        QCOMPARE(config.value(QStringLiteral("machine")).toString(), QStringLiteral("desk"));
        QCOMPARE(config.value(QStringLiteral("apiUrl")).toString(), backend.url().toString());

        // The same fixed identifier twice: the server refuses the second agent.
        setScenario(R"({"init":{"agentId":"agt-fixed"}})");
        const QStringList initAltair { QStringLiteral("init"), QStringLiteral("--global"),
            QStringLiteral("--name"), QStringLiteral("altair"), QStringLiteral("--template"),
            QStringLiteral("restrictive") };
        QCOMPARE(m_cli.run(initAltair).exitCode, 0);
        const QStringList before = homeFiles();
        const CliRun refused = m_cli.run(initAltair);
        QCOMPARE(refused.exitCode, 1);
        QCOMPARE(refused.eventTypes().last(), QStringLiteral("error"));
        QCOMPARE(homeFiles(), before);
    }
};

QTEST_GUILESS_MAIN(TestStandInCli)
#include "tst_StandInCli.moc"
