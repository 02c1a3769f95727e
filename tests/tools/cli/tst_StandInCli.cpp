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

// The built stand-in tool as a child process: argument lists, event lines, exit
// statuses and exactly the files each command leaves in the home.
class TestStandInCli : public QObject, private CliCase
{
    Q_OBJECT

private Q_SLOTS:
    void init() { QVERIFY(setUp()); }
    void cleanup() { tearDown(); }

    void capturedOutput_data()
    {
        QTest::addColumn<QString>("arguments");
        QTest::addColumn<QByteArray>("scenario");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("version") << u"--version"_s << "{}"_ba
                                 << "1.0.0\n"_ba;
        QTest::newRow("version from scenario") << u"--version"_s << R"({"version":{"text":"2.10.1"}})"_ba
                                               << "2.10.1\n"_ba;
        QTest::newRow("raw output") << u"scan --format json"_s << R"({"scan":{"rawOutput":"[1,2]"}})"_ba
                                    << "[1,2]"_ba;
        QTest::newRow("failing mark-linked is silent")
            << u"mark-linked --agent vega"_s << R"({"mark-linked":{"exitCode":5}})"_ba << QByteArray();
    }
    void capturedOutput()
    {
        QFETCH(QString, arguments);
        QFETCH(QByteArray, scenario);
        QFETCH(QByteArray, expected);
        setScenario(scenario);
        const QStringList before = homeFiles();
        const CliRun result = cli.run(arguments.split(u' '));
        QVERIFY(result.finished);
        QCOMPARE(result.exitStatus, QProcess::NormalExit);
        QCOMPARE(result.output, expected);
        QCOMPARE(homeFiles(), before);
    }

    void scanReportsTools()
    {
        QVERIFY(QDir().mkpath(home->filePath(u"code/a"_s)));
        setScenario(R"({"scan":{"agents":[{"displayName":"Code Assistant","descriptorId":"code-assistant",
            "detection":{"status":"installed","details":{"projects":[
                {"path":"~/code/a","isActive":true,"lastActive":"today"},{"path":"/srv/b","isActive":false}]}}}]}})");
        CliRun result = run("scan --format json");
        QCOMPARE(result.exitCode, 0);
        const QJsonArray projects = QJsonDocument::fromJson(result.output)
                                        .object()[u"agents"_s][0][u"detection"_s][u"details"_s][u"projects"_s]
                                        .toArray();
        QCOMPARE(projects.size(), 2);
        QCOMPARE(projects[0][u"path"_s].toString(), home->filePath(u"code/a"_s));
        QCOMPARE(projects[1][u"path"_s].toString(), u"/srv/b"_s);

        // Without a scenario: one installed tool and one that is not found.
        setScenario("{}");
        const QJsonArray agents
            = QJsonDocument::fromJson(run("scan --format json").output)[u"agents"_s].toArray();
        QCOMPARE(agents.size(), 2);
        QCOMPARE(agents[0][u"detection"_s][u"status"_s].toString(), u"installed"_s);
        QCOMPARE(agents[1][u"detection"_s][u"status"_s].toString(), u"not_found"_s);

        // A very large output stays one JSON object and arrives whole.
        setScenario(R"({"scan":{"largeOutputBytes":6000000}})");
        result = run("scan --format json");
        QVERIFY(result.output.size() > 6000000 && result.chunks.size() > 1);
        QCOMPARE(QJsonDocument::fromJson(result.output)[u"agents"_s].toArray().size(), 2);

        // Other commands put the filler before their normal output.
        setScenario(R"({"version":{"largeOutputBytes":100000}})");
        result = run("--version");
        QCOMPARE(result.output.size(), 100000 + 6);
        QVERIFY(result.output.endsWith("\n1.0.0\n"));
    }

    void eventCommands_data()
    {
        QTest::addColumn<QString>("arguments");
        QTest::addColumn<QByteArray>("scenario");
        QTest::addColumn<QString>(
            "types"); // p: progress, c: complete, e: error, s: suggestion_count, v: verified
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("errorMessage");
        QTest::addColumn<QString>("newFile");
        const QString preflight = u"init --preflight --wizard"_s;
        const QString initGlobal = u"init --global --name vega --template developer-workstation "
                                   "--agent-type code-assistant --wizard"_s;
        QTest::newRow("preflight") << preflight << "{}"_ba << u"ppc"_s << 0 << QString() << QString();
        QTest::newRow("preflight error, status 1")
            << preflight << R"({"preflight":{"errorMessage":"Key store locked","exitCode":1}})"_ba << u"pe"_s
            << 1 << u"Key store locked"_s << QString();
        QTest::newRow("preflight silent failure")
            << preflight << R"({"preflight":{"exitCode":3,"failAfterSteps":0}})"_ba << QString() << 3
            << QString() << QString();
        QTest::newRow("download failure")
            << u"download-model --wizard"_s
            << R"({"download-model":{"stepDelayMs":1,"failAfterSteps":4,"errorMessage":"Disk full","exitCode":1}})"_ba
            << u"ppppe"_s << 1 << u"Disk full"_s << QString();
        QTest::newRow("analysis with MCP discovery")
            << u"analyze-history --scan-mcp --wizard"_s << "{}"_ba << u"ppppsc"_s << 0 << QString()
            << u".quorvane/mcp-servers.json"_s;
        QTest::newRow("analysis failure writes no inventory")
            << u"analyze-history --scan-mcp --wizard"_s
            << R"({"analyze-history":{"errorMessage":"Model not loaded","exitCode":2}})"_ba << u"pe"_s << 2
            << u"Model not loaded"_s << QString();
        QTest::newRow("init without a server")
            << initGlobal << R"({"init":{"registerWithServer":false,"agentId":"agt-7"}})"_ba << u"pppv"_s << 0
            << QString() << u".quorvane/agents/vega/config.json"_s;
        QTest::newRow("init failure leaves no agent")
            << initGlobal
            << R"({"init":{"registerWithServer":false,"errorMessage":"Hook install failed","exitCode":1,"failAfterSteps":2}})"_ba
            << u"ppe"_s << 1 << u"Hook install failed"_s << QString();
        QTest::newRow("init error event with status 0 leaves no agent")
            << initGlobal
            << R"({"init":{"registerWithServer":false,"errorMessage":"Hook install failed"}})"_ba << u"pe"_s
            << 0 << u"Hook install failed"_s << QString();
        QTest::newRow("init with an unreachable server")
            << initGlobal << "{}"_ba << u"ppe"_s << 1 << QString() << QString();
        QTest::newRow("mark-linked of an unknown agent")
            << u"mark-linked --agent nobody"_s << "{}"_ba << u"e"_s << 1 << QString() << QString();
    }
    void eventCommands()
    {
        QFETCH(QString, arguments);
        QFETCH(QByteArray, scenario);
        QFETCH(QString, types);
        QFETCH(int, exitCode);
        QFETCH(QString, errorMessage);
        QFETCH(QString, newFile);
        setScenario(scenario);
        // A loopback port nobody listens on: the server is unreachable.
        cli.environment.insert(u"QUORVANE_API_BASE_URL"_s, u"http://127.0.0.1:9"_s);
        const QStringList before = homeFiles();
        const CliRun result = cli.run(arguments.split(u' '));
        QVERIFY(result.finished);
        QCOMPARE(result.exitStatus, QProcess::NormalExit);
        QCOMPARE(result.exitCode, exitCode);

        // Every line the tool prints is an event the companion can decode.
        for (const QByteArray& line : result.lines())
            QVERIFY2(CliRunner::isEvent(line), line.constData());
        const QMap<QChar, QString> names { { u'p', u"progress"_s }, { u'c', u"complete"_s },
            { u'e', u"error"_s }, { u's', u"suggestion_count"_s }, { u'v', u"verified"_s } };
        QStringList expectedTypes;
        for (const QChar letter : types)
            expectedTypes.append(names.value(letter));
        QCOMPARE(result.eventTypes(), expectedTypes);

        double lastProgress = 0;
        for (const QJsonObject& event : result.events()) {
            const QString type = event[u"type"_s].toString();
            if (type == "progress"_L1) {
                const double fraction = event[u"progress"_s].toDouble();
                QVERIFY(fraction > lastProgress && fraction <= 1.0);
                lastProgress = fraction;
            } else if (type == "error"_L1) {
                QVERIFY(!event[u"message"_s].toString().isEmpty());
                if (!errorMessage.isEmpty())
                    QCOMPARE(event[u"message"_s].toString(), errorMessage);
            } else if (type == "suggestion_count"_L1) {
                QCOMPARE(event[u"data"_s][u"count"_s].toString(), u"3"_s);
            } else if (type == "verified"_L1) {
                QCOMPARE(event[u"data"_s][u"agentId"_s].toString(), u"agt-7"_s);
            }
        }
        QStringList expected = before;
        if (!newFile.isEmpty())
            expected.append(newFile);
        expected.sort();
        QCOMPARE(homeFiles(), expected);
    }

    void agentFilesFollowTheRegistryFormat()
    {
        setScenario(R"({"init":{"registerWithServer":false}})");
        const char* initVega = "init --name vega --template restrictive --agent-type code-assistant --wizard";
        // One per-project agent per folder; a taken name gets a suffix.
        const QString projectA = side->filePath(u"a"_s);
        const QString projectB = side->filePath(u"b"_s);
        QVERIFY(QDir().mkpath(projectA) && QDir().mkpath(projectB));
        QCOMPARE(run(initVega, projectA).exitCode, 0);
        CliRun result = run(initVega, projectB);
        QCOMPARE(result.exitCode, 0);
        QCOMPARE(result.events().last()[u"data"_s][u"name"_s].toString(), u"vega-2"_s);
        QCOMPARE(homeFiles(),
            (QStringList {
                u".quorvane/agents/vega-2/config.json"_s, u".quorvane/agents/vega/config.json"_s }));

        const QJsonObject first = readJson(u".quorvane/agents/vega/config.json"_s);
        for (const char* key : { "name", "machine", "machineId", "publicKey", "agentId", "status",
                 "createdAt", "apiUrl", "template", "scope", "projectPath" })
            QVERIFY2(first.value(QLatin1String(key)).isString(), key);
        QCOMPARE(first[u"name"_s].toString(), u"vega"_s);
        QCOMPARE(first[u"template"_s].toString(), u"restrictive"_s);
        QCOMPARE(first[u"projectPath"_s].toString(), QDir(projectA).canonicalPath());
        QCOMPARE(readJson(u".quorvane/agents/vega-2/config.json"_s)[u"projectPath"_s].toString(),
            QDir(projectB).canonicalPath());
        QCOMPARE(TestFiles::modeOf(home->filePath(u".quorvane/agents/vega/config.json"_s)), 0600);

        // A global agent records its scope and projects root, not a project path.
        QCOMPARE(cli.run(words("init --global --template personal-assistant --wizard --projects-root")
                        << side->path())
                     .exitCode,
            0);
        const QJsonObject global = readJson(u".quorvane/agents/agent/config.json"_s);
        QCOMPARE(global[u"scope"_s].toString(), u"global"_s);
        QCOMPARE(global[u"projectsRoot"_s].toString(), side->path());
        QVERIFY(!global.contains(u"projectPath"_s));

        // mark-linked records the link in that agent's file only.
        const QStringList before = homeFiles();
        QCOMPARE(run("mark-linked --agent vega-2").exitCode, 0);
        QCOMPARE(readJson(u".quorvane/agents/vega-2/config.json"_s)[u"status"_s].toString(), u"linked"_s);
        QCOMPARE(readJson(u".quorvane/agents/vega/config.json"_s)[u"status"_s].toString(), u"active"_s);
        QCOMPARE(homeFiles(), before);

        // Back-to-back registrations with no pauses end cleanly every time
        // (a crash at the end of the run once hid here).
        setScenario(R"({"defaults":{"stepDelayMs":0},"init":{"registerWithServer":false}})");
        for (int i = 0; i < 8; ++i) {
            result = run(initVega, projectA);
            QCOMPARE(result.exitStatus, QProcess::NormalExit);
            QCOMPARE(result.exitCode, 0);
            QCOMPARE(result.eventTypes().last(), u"verified"_s);
        }

        // A scenario may leave "agentId" out of the confirming event.
        setScenario(R"({"init":{"registerWithServer":false,"omitAgentId":true}})");
        result = run(initVega, projectA);
        QCOMPARE(result.eventTypes().last(), u"verified"_s);
        QVERIFY(!result.events().last()[u"data"_s].toObject().contains(u"agentId"_s));
    }

    void unregisterStatuses_data()
    {
        QTest::addColumn<QByteArray>("scenario");
        QTest::addColumn<QString>("agent");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("removedFolder");
        QTest::newRow("removed") << "{}"_ba << u"vega"_s << 0 << u"vega"_s;
        QTest::newRow("denied") << R"({"unregister":{"exitCode":2}})"_ba << u"vega"_s << 2 << QString();
        QTest::newRow("timed out") << R"({"unregister":{"exitCode":3}})"_ba << u"vega"_s << 3 << QString();
        QTest::newRow("removed locally")
            << R"({"unregister":{"exitCode":4}})"_ba << u"vega"_s << 4 << u"vega"_s;
        QTest::newRow("failed") << R"({"unregister":{"exitCode":1}})"_ba << u"vega"_s << 1 << QString();
        QTest::newRow("by the name inside config.json") << "{}"_ba << u"altair"_s << 0 << u"x1"_s;
        QTest::newRow("unknown agent") << "{}"_ba << u"rigel"_s << 1 << QString();
        QTest::newRow("path in the name") << "{}"_ba << u"../agents/vega"_s << 64 << QString();
    }
    void unregisterStatuses()
    {
        QFETCH(QByteArray, scenario);
        QFETCH(QString, agent);
        QFETCH(int, exitCode);
        QFETCH(QString, removedFolder);
        addAgent(u"vega"_s, u"vega"_s);
        addAgent(u"x1"_s, u"altair"_s);
        setScenario(scenario);
        QStringList expected = homeFiles();
        const CliRun result = cli.run(words("unregister --force --remove-global-rules --agent") << agent);
        QVERIFY(result.finished);
        QCOMPARE(result.exitStatus, QProcess::NormalExit);
        QCOMPARE(result.exitCode, exitCode);
        expected.removeAll(u".quorvane/agents/"_s + removedFolder + u"/config.json"_s);
        QCOMPARE(homeFiles(), expected);
    }

    void unregisterNeverFollowsLinksOut()
    {
        QTemporaryDir outside;
        QVERIFY(TestFiles::write(outside.filePath(u"keep"_s), {}));
        QVERIFY(TestFiles::write(outside.filePath(u"config.json"_s), R"({"name":"deneb"})"));
        QVERIFY(QDir().mkpath(home->filePath(u".quorvane/agents"_s)));
        QVERIFY(QFile::link(outside.path(), home->filePath(u".quorvane/agents/deneb"_s)));
        QCOMPARE(run("unregister --agent deneb --force").exitCode, 1); // a link is not an agent folder
        QVERIFY(QFile::exists(outside.filePath(u"keep"_s)));
        QVERIFY(QFile::exists(outside.filePath(u"config.json"_s)));
    }

    void usageErrors_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("nothing") << QStringList();
        QTest::newRow("unknown command") << words("launch");
        QTest::newRow("init without template") << words("init --global");
        QTest::newRow("unknown template") << words("init --template lenient");
        QTest::newRow("name with a space")
            << words("init --template restrictive --name") + QStringList { u"my agent"_s };
        QTest::newRow("relative projects root")
            << words("init --template restrictive --projects-root ~/code");
        QTest::newRow("flag twice") << words("analyze-history --wizard --wizard");
        QTest::newRow("preflight with registration flags") << words("init --preflight --global");
        QTest::newRow("scan as text") << words("scan --format text");
        QTest::newRow("unregister without force") << words("unregister --agent vega");
        QTest::newRow("mark-linked without agent") << words("mark-linked");
    }
    void usageErrors()
    {
        QFETCH(QStringList, arguments);
        addAgent(u"vega"_s, u"vega"_s);
        const QStringList before = homeFiles();
        const CliRun result = cli.run(arguments);
        QCOMPARE(result.exitStatus, QProcess::NormalExit);
        QCOMPARE(result.exitCode, 64);
        QCOMPARE(result.eventTypes(), QStringList { u"error"_s });
        QCOMPARE(homeFiles(), before);
    }
};

QTEST_GUILESS_MAIN(TestStandInCli)
#include "tst_StandInCli.moc"
