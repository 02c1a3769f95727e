#include "app/tooling/CLIEvent.h"
#include "tests/support/StandInTool.h"
#include "tests/support/TestHome.h"
#include "tests/support/Words.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QDirIterator>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

// What one run printed, as the reads delivered it.
struct Run
{
    int exitCode = -1; // also when killed after the time limit
    QList<QByteArray> chunks;
    QByteArray output;

    QList<QByteArray> lines() const
    {
        QList<QByteArray> result = output.split('\n');
        if (!result.isEmpty() && result.last().isEmpty())
            result.removeLast();
        return result;
    }
    QList<CLIEvent> events() const
    {
        QList<CLIEvent> result;
        for (const QByteArray& line : lines()) {
            if (const std::optional<CLIEvent> event = CLIEvent::decode(line))
                result.append(*event);
        }
        return result;
    }
    QStringList eventTypes() const
    {
        QStringList types;
        for (const CLIEvent& event : events())
            types.append(event.type);
        return types;
    }
};

} // namespace

// The built stand-in tool as the companion runs it (standard error to the null
// device): its scenario format, the events and statuses it answers with, the
// files it leaves in the home.
class TestStandInCli : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestHome> m_home;
    std::unique_ptr<QTemporaryDir> m_side;
    QProcessEnvironment m_environment;

    void setScenario(const QByteArray& json) const
    {
        TestFiles::write(m_side->filePath(u"scenario.json"_s), json);
    }

    Run run(const QStringList& arguments, const QString& workingDirectory = {}) const
    {
        Run result;
        QProcess process;
        process.setProcessEnvironment(m_environment);
        process.setStandardErrorFile(QProcess::nullDevice());
        process.setWorkingDirectory(workingDirectory.isEmpty() ? m_side->path() : workingDirectory);
        process.start(StandInTool::executablePath(), arguments);
        if (!process.waitForStarted(10000))
            return result;
        const QDeadlineTimer deadline(30000);
        while (process.state() != QProcess::NotRunning && !deadline.hasExpired()) {
            if (process.waitForReadyRead(100))
                result.chunks.append(process.readAllStandardOutput());
        }
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(5000);
        }
        if (const QByteArray rest = process.readAllStandardOutput(); !rest.isEmpty())
            result.chunks.append(rest);
        result.output = result.chunks.join();
        result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        return result;
    }
    Run run(const char* line, const QString& workingDirectory = {}) const
    {
        return run(words(line), workingDirectory);
    }

    // The files in the home, relative to it, sorted.
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
    QJsonObject agentConfig(const QString& folder) const
    {
        return QJsonDocument::fromJson(
            TestFiles::contentOf(m_home->filePath(u".quorvane/agents/"_s + folder + u"/config.json"_s)))
            .object();
    }

private Q_SLOTS:
    void init()
    {
        m_home = std::make_unique<TestHome>();
        m_side = std::make_unique<QTemporaryDir>();
        m_environment = QProcessEnvironment::systemEnvironment();
        m_environment.insert(u"QUORVANE_HOME"_s, m_home->path());
        m_environment.insert(u"QUORVANE_CLI_SCENARIO"_s, m_side->filePath(u"scenario.json"_s));
        m_environment.insert(u"QUORVANE_CLI_LOG"_s, m_side->filePath(u"invocations.jsonl"_s));
        // A loopback port nobody listens on: the server is unreachable.
        m_environment.insert(u"QUORVANE_API_BASE_URL"_s, u"http://127.0.0.1:9"_s);
        setScenario("{}");
        QVERIFY(QFile::exists(StandInTool::executablePath()));
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
        const QString init = u"init --global --name vega --template developer-workstation "
                             "--agent-type code-assistant --wizard"_s;
        QTest::newRow("preflight") << u"init --preflight --wizard"_s << "{}"_ba << u"ppc"_s << 0 << QString()
                                   << QString();
        QTest::newRow("analysis with MCP discovery")
            << u"analyze-history --scan-mcp --wizard"_s << "{}"_ba << u"ppppsc"_s << 0 << QString()
            << u".quorvane/mcp-servers.json"_s;
        QTest::newRow("analysis failure writes no inventory")
            << u"analyze-history --scan-mcp --wizard"_s
            << R"({"analyze-history":{"errorMessage":"Model not loaded","exitCode":2}})"_ba << u"pe"_s << 2
            << u"Model not loaded"_s << QString();
        QTest::newRow("init without a server")
            << init << R"({"init":{"registerWithServer":false,"agentId":"agt-7"}})"_ba << u"pppv"_s << 0
            << QString() << u".quorvane/agents/vega/config.json"_s;
        QTest::newRow("init error event with status 0 leaves no agent")
            << init << R"({"init":{"registerWithServer":false,"errorMessage":"Hook install failed"}})"_ba
            << u"pe"_s << 0 << u"Hook install failed"_s << QString();
        QTest::newRow("init with an unreachable server")
            << init << "{}"_ba << u"ppe"_s << 1 << QString() << QString();
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
        QStringList expectedFiles = homeFiles();
        const Run result = run(arguments.split(u' '));
        QCOMPARE(result.exitCode, exitCode);

        // Every line is an event the companion decodes.
        for (const QByteArray& line : result.lines())
            QVERIFY2(CLIEvent::decode(line), line.constData());
        const QMap<QChar, QString> names { { u'p', u"progress"_s }, { u'c', u"complete"_s },
            { u'e', u"error"_s }, { u's', u"suggestion_count"_s }, { u'v', u"verified"_s } };
        QStringList expectedTypes;
        for (const QChar letter : types)
            expectedTypes.append(names.value(letter));
        QCOMPARE(result.eventTypes(), expectedTypes);
        double lastProgress = 0;
        for (const CLIEvent& event : result.events()) {
            if (event.type == "progress"_L1) {
                QVERIFY(event.progress > lastProgress && event.progress <= 1.0);
                lastProgress = *event.progress;
            } else if (event.type == "error"_L1) {
                QVERIFY(!event.message.value_or(QString()).isEmpty());
                if (!errorMessage.isEmpty())
                    QCOMPARE(event.message.value_or(QString()), errorMessage);
            } else if (event.type == "suggestion_count"_L1) {
                QCOMPARE(event.dataValue(u"count"_s), u"3"_s);
            } else if (event.type == "verified"_L1) {
                QCOMPARE(event.dataValue(u"agentId"_s), u"agt-7"_s);
            }
        }
        if (!newFile.isEmpty())
            expectedFiles.append(newFile);
        expectedFiles.sort();
        QCOMPARE(homeFiles(), expectedFiles);
    }

    // The agent registry the companion reads: one folder per agent, a taken
    // name gets a suffix, private files, "linked" after mark-linked.
    void agentFiles()
    {
        setScenario(R"({"init":{"registerWithServer":false}})");
        const char* initVega = "init --name vega --template restrictive --agent-type code-assistant --wizard";
        const QString projectA = m_side->filePath(u"a"_s);
        const QString projectB = m_side->filePath(u"b"_s);
        QVERIFY(QDir().mkpath(projectA) && QDir().mkpath(projectB));
        QCOMPARE(run(initVega, projectA).exitCode, 0);
        const Run second = run(initVega, projectB);
        QCOMPARE(second.events().last().dataValue(u"name"_s), u"vega-2"_s);
        QCOMPARE(homeFiles(),
            (QStringList {
                u".quorvane/agents/vega-2/config.json"_s, u".quorvane/agents/vega/config.json"_s }));
        const QJsonObject first = agentConfig(u"vega"_s);
        for (const char* key : { "name", "machine", "machineId", "publicKey", "agentId", "status",
                 "createdAt", "apiUrl", "template", "scope", "projectPath" })
            QVERIFY2(first.value(QLatin1String(key)).isString(), key);
        QCOMPARE(first[u"projectPath"_s].toString(), QDir(projectA).canonicalPath());
        QCOMPARE(TestFiles::modeOf(m_home->filePath(u".quorvane/agents/vega/config.json"_s)), 0600);

        QCOMPARE(run("mark-linked --agent vega-2").exitCode, 0);
        QCOMPARE(agentConfig(u"vega-2"_s)[u"status"_s].toString(), u"linked"_s);
        QCOMPARE(agentConfig(u"vega"_s)[u"status"_s].toString(), u"active"_s);
    }

    // Arguments the real tool refuses are refused with status 64 and one error
    // event, before anything happens.
    void usageErrors_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("nothing") << QStringList();
        QTest::newRow("unknown command") << words("launch");
        QTest::newRow("init without template") << words("init --global");
        QTest::newRow("name with a space")
            << words("init --template restrictive --name") + QStringList { u"my agent"_s };
        QTest::newRow("relative projects root")
            << words("init --template restrictive --projects-root ~/code");
        QTest::newRow("preflight with registration flags") << words("init --preflight --global");
        QTest::newRow("unregister without force") << words("unregister --agent vega");
        QTest::newRow("path as agent name") << words("unregister --force --agent ../agents/vega");
    }

    void usageErrors()
    {
        QFETCH(QStringList, arguments);
        m_home->write(u".quorvane/agents/vega/config.json"_s, R"({"name":"vega","machineId":"m-1"})");
        const QStringList before = homeFiles();
        const Run result = run(arguments);
        QCOMPARE(result.exitCode, 64);
        QCOMPARE(result.eventTypes(), QStringList { u"error"_s });
        QCOMPARE(homeFiles(), before);
    }

    // "defaults" apply to every command, the first matching case wins, and a
    // broken scenario is reported (status 78), never obeyed halfway.
    void scenarioFormat()
    {
        for (const QByteArray& broken :
            { "{\"init\": "_ba, "[1]"_ba, R"({"preflight":{"stepDelayMs":"fast"}})"_ba,
                R"({"preflight":{"exitCode":1.5}})"_ba, R"({"preflight":[]})"_ba }) {
            setScenario(broken);
            const Run result = run("init --preflight");
            QCOMPARE(result.exitCode, 78);
            QCOMPARE(result.eventTypes(), QStringList { u"error"_s });
        }

        setScenario(R"({"defaults":{"stepDelayMs":0},
            "analyze-history":{"suggestionCount":"abc","cases":[
                {"whenArgs":["--scan-mcp"],"suggestionCount":12,"mcpServers":[{"name":"docs"}]},
                {"whenArgs":["--wizard"],"exitCode":9}]}})");
        QCOMPARE(run("analyze-history").events()[3].dataValue(u"count"_s), u"abc"_s);
        const Run scan = run("analyze-history --scan-mcp --wizard");
        QCOMPARE(scan.exitCode, 0);
        QCOMPARE(scan.events()[4].dataValue(u"count"_s), u"12"_s);
        QCOMPARE(
            QJsonDocument::fromJson(TestFiles::contentOf(m_home->filePath(u".quorvane/mcp-servers.json"_s)))
                .object(),
            (QJsonObject { { u"servers"_s, QJsonArray { QJsonObject { { u"name"_s, u"docs"_s } } } } }));
        QCOMPARE(run("analyze-history --wizard").exitCode, 9);
    }

    // Lines split across reads and lines that are no events: what the
    // companion's reader must cope with really happens.
    void awkwardOutput()
    {
        setScenario(R"({"preflight":{"splitLines":true,"splitDelayMs":400,"stepDelayMs":0}})");
        Run result = run("init --preflight --wizard");
        QCOMPARE(result.eventTypes(), (QStringList { u"progress"_s, u"progress"_s, u"complete"_s }));
        QVERIFY(result.chunks.size() >= 2 && !result.chunks.first().contains('\n'));
        QVERIFY(result.lines().first().startsWith(result.chunks.first()));

        setScenario("{\"analyze-history\":{\"malformed\":[\"{\\\"type\\\":7}\",\"\",\"oops\"]}}");
        result = run("analyze-history --wizard");
        QCOMPARE(result.lines().mid(0, 3), (QList<QByteArray> { "{\"type\":7}", "", "oops" }));
        QCOMPARE(result.events().size(), 5);
    }
};

QTEST_GUILESS_MAIN(TestStandInCli)
#include "tst_StandInCli.moc"
