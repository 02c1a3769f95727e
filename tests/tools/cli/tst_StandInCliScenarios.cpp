#include "tests/support/BackendProcess.h"
#include "tests/support/TestFiles.h"
#include "tests/support/Words.h"
#include "tests/tools/cli/CliRunner.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

// What scenarios make the stand-in tool do: its invocation log, split and
// malformed lines, hanging, broken scenarios and cases, and the reference back-end.
class TestStandInCliScenarios : public QObject, private CliCase
{
    Q_OBJECT

private Q_SLOTS:
    void init() { QVERIFY(setUp()); }
    void cleanup() { tearDown(); }

    void invocationLogRecordsEveryArgumentList()
    {
        const QString project = side->filePath(u"proj"_s);
        QVERIFY(QDir().mkpath(project));
        run("--version");
        run("analyze-history --wizard", project);
        cli.run({ u"bogus"_s, u"with space"_s });

        const QList<QByteArray> lines = TestFiles::contentOf(logPath()).split('\n');
        QCOMPARE(lines.size(), 4); // three lines and the empty tail
        QCOMPARE(QJsonDocument::fromJson(lines[0])[u"args"_s].toArray(), QJsonArray { u"--version"_s });
        QCOMPARE(QJsonDocument::fromJson(lines[1])[u"args"_s].toArray(),
            (QJsonArray { u"analyze-history"_s, u"--wizard"_s }));
        QCOMPARE(QJsonDocument::fromJson(lines[1])[u"cwd"_s].toString(), QDir(project).canonicalPath());
        QCOMPARE(QJsonDocument::fromJson(lines[2])[u"args"_s].toArray(),
            (QJsonArray { u"bogus"_s, u"with space"_s }));
    }

    void splitAndMalformedLines()
    {
        setScenario(R"({"preflight":{"splitLines":true,"splitDelayMs":400,"stepDelayMs":0}})");
        CliRun result = run("init --preflight --wizard");
        QCOMPARE(result.exitCode, 0);
        QCOMPARE(result.eventTypes(), (QStringList { u"progress"_s, u"progress"_s, u"complete"_s }));
        // The first read ends in the middle of the first line; reassembled, every line is whole.
        QVERIFY(result.chunks.size() >= 2);
        QVERIFY(!result.chunks.first().contains('\n'));
        QVERIFY(result.lines().first().startsWith(result.chunks.first()));
        for (const QByteArray& line : result.lines())
            QVERIFY(CliRunner::isEvent(line));

        setScenario("{\"preflight\":{\"malformed\":true},"
                    "\"analyze-history\":{\"malformed\":[\"{\\\"type\\\":7}\",\"\",\"oops\"]}}");
        result = run("init --preflight --wizard");
        QCOMPARE(result.exitCode, 0);
        QCOMPARE(result.lines().size(), 7 + 3);
        QCOMPARE(result.eventTypes(), (QStringList { u"progress"_s, u"progress"_s, u"complete"_s }));
        result = run("analyze-history --wizard");
        QCOMPARE(result.lines().mid(0, 3), (QList<QByteArray> { "{\"type\":7}", "", "oops" }));
        QCOMPARE(result.events().size(), 5);
    }

    void hangsUntilTerminated()
    {
        setScenario(R"({"download-model":{"hang":true,"stepDelayMs":0}})");
        QProcess process;
        process.setProcessEnvironment(cli.environment);
        process.setStandardErrorFile(QProcess::nullDevice());
        process.start(CliRunner::executablePath(), words("download-model --wizard"));
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
        for (const QByteArray& broken : { "{\"init\": "_ba, "[1]"_ba,
                 R"({"preflight":{"stepDelayMs":"fast"}})"_ba, R"({"preflight":{"exitCode":1.5}})"_ba,
                 R"({"preflight":{"largeOutputBytes":1e300}})"_ba, R"({"preflight":[]})"_ba }) {
            setScenario(broken);
            const CliRun result = run("init --preflight");
            QCOMPARE(result.exitCode, 78);
            QCOMPARE(result.eventTypes(), QStringList { u"error"_s });
        }
        setScenario(R"({"analyze-history":{"suggestionCount":1e300}})");
        QCOMPARE(run("analyze-history").exitCode, 78);

        // "defaults" apply to every command; the first matching case wins.
        setScenario(R"({"defaults":{"stepDelayMs":0},
            "analyze-history":{"suggestionCount":"abc","cases":[
                {"whenArgs":["--scan-mcp"],"suggestionCount":12,"mcpServers":[{"name":"docs"}]},
                {"whenArgs":["--wizard"],"exitCode":9}]}})");
        CliRun result = run("analyze-history");
        QCOMPARE(result.exitCode, 0);
        QCOMPARE(result.events()[3][u"data"_s][u"count"_s].toString(), u"abc"_s);
        result = run("analyze-history --scan-mcp --wizard");
        QCOMPARE(result.exitCode, 0);
        QCOMPARE(result.events()[4][u"data"_s][u"count"_s].toString(), u"12"_s);
        QCOMPARE(readJson(u".quorvane/mcp-servers.json"_s),
            (QJsonObject { { u"servers"_s, QJsonArray { QJsonObject { { u"name"_s, u"docs"_s } } } } }));
        QCOMPARE(run("analyze-history --wizard").exitCode, 9);

        // Cases can also pick a working folder.
        const QString project = side->filePath(u"code/b"_s);
        QVERIFY(QDir().mkpath(project));
        setScenario(R"({"init":{"registerWithServer":false,"cases":[{"whenCwd":"code/b","exitCode":6}]}})");
        QCOMPARE(run("init --template restrictive", project).exitCode, 6);
        QCOMPARE(run("init --template restrictive", side->path()).exitCode, 0);
    }

    void initCreatesTheAgentOnTheBackend()
    {
        BackendProcess backend;
        QVERIFY2(backend.isRunning(), qPrintable(backend.lastError()));
        cli.environment.insert(u"QUORVANE_API_BASE_URL"_s, backend.url().toString());

        // A registered machine: its identifier goes with the agent.
        const QString machineId = backend.registerMachine(u"person@example.com"_s,
            QString::fromLatin1(
                QByteArray(32, 'k').toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals)),
            u"LOCAL-1"_s, u"desk"_s);
        QVERIFY2(!machineId.isEmpty(), qPrintable(backend.lastError()));
        const QJsonObject machine { { u"id"_s, machineId }, { u"user_id"_s, u"u"_s },
            { u"machine_id_local"_s, u"LOCAL-1"_s }, { u"name"_s, u"desk"_s } };
        QVERIFY(home->write(u".quorvane/machine/machine.json"_s, QJsonDocument(machine).toJson()));

        const CliRun result = run("init --global --name vega --template developer-workstation "
                                  "--agent-type code-assistant --wizard");
        QCOMPARE(result.exitCode, 0);
        QCOMPARE(result.eventTypes().last(), u"verified"_s);
        const QString agentId = result.events().last()[u"data"_s][u"agentId"_s].toString();
        QVERIFY(!agentId.isEmpty());
        QStringList names;
        for (const QJsonValue& agent : backend.state()[u"agents"_s].toArray()) {
            if (agent[u"id"_s].toString() == agentId || agent[u"agent_id"_s].toString() == agentId)
                names.append(agent[u"name"_s].toString());
        }
        QCOMPARE(names, QStringList { u"vega"_s });

        const QJsonObject config = readJson(u".quorvane/agents/vega/config.json"_s);
        QCOMPARE(config[u"agentId"_s].toString(), agentId);
        QCOMPARE(config[u"machineId"_s].toString(), machineId);
        QCOMPARE(config[u"machine"_s].toString(), u"desk"_s);
        QCOMPARE(config[u"apiUrl"_s].toString(), backend.url().toString());

        // The same fixed identifier twice: the server refuses the second agent.
        setScenario(R"({"init":{"agentId":"agt-fixed"}})");
        const char* initAltair = "init --global --name altair --template restrictive";
        QCOMPARE(run(initAltair).exitCode, 0);
        const QStringList before = homeFiles();
        const CliRun refused = run(initAltair);
        QCOMPARE(refused.exitCode, 1);
        QCOMPARE(refused.eventTypes().last(), u"error"_s);
        QCOMPARE(homeFiles(), before);
    }
};

QTEST_GUILESS_MAIN(TestStandInCliScenarios)
#include "tst_StandInCliScenarios.moc"
