#include "BackendProcess.h"
#include "TestFiles.h"
#include "CLIService.h"
#include "ChildProcesses.h"
#include "CoreConstants.h"
#include "DependencyService.h"
#include "FileCredentialStore.h"
#include "HomeState.h"
#include "LogCapture.h"
#include "MachineAuthService.h"
#include "McpInventory.h"
#include "TestHome.h"
#include "TestMachine.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QScopeGuard>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <qcorotask.h>

#include <unistd.h>

namespace {

// A model download running in the wizard, as the dashboard sees it. Driven
// either by hand (the setters) or by the stand-in tool, the way the wizard
// runs "download-model".
class WizardDownload : public ModelDownloadProgressSource
{
public:
    bool llmDownloading() const override { return m_downloading; }
    bool llmDownloadComplete() const override { return m_complete; }
    double llmDownloadProgress() const override { return m_progress; }

    void setDownloading(bool value)
    {
        if (std::exchange(m_downloading, value) != value)
            Q_EMIT llmDownloadingChanged();
    }
    void setComplete(bool value)
    {
        if (std::exchange(m_complete, value) != value)
            Q_EMIT llmDownloadCompleteChanged();
    }
    void setProgress(double value)
    {
        if (std::exchange(m_progress, value) != value)
            Q_EMIT llmDownloadProgressChanged();
    }

    QCoro::Task<bool> start(CLIService& cli)
    {
        setDownloading(true);
        setProgress(0.0);
        setComplete(false);
        QStringList arguments;
        arguments << QStringLiteral("download-model") << QStringLiteral("--wizard");
        CLIService::EventHandler onEvent = [this](const CLIEvent& event) {
            if (event.progress)
                setProgress(*event.progress);
            if (event.type == QLatin1String("complete")) {
                setComplete(true);
                setDownloading(false);
            } else if (event.type == QLatin1String("error")) {
                setDownloading(false);
            }
        };
        CLIResult<std::shared_ptr<CLIProcess>> started = co_await cli.start(arguments, std::move(onEvent));
        if (!started)
            co_return false;
        m_process = started.value();
        co_return true;
    }

private:
    bool m_downloading = false;
    bool m_complete = false;
    double m_progress = 0.0;
    std::shared_ptr<CLIProcess> m_process;
};

QByteArray compact(const QJsonObject& object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

} // namespace

// The dashboard model against the stand-in tool (a real child process driven
// by a scenario file, logging every argument list) and the reference back-end.
class TestHomeState : public QObject
{
    Q_OBJECT

    struct Fixture
    {
        TestHome home;
        QTemporaryDir dir;
        BackendProcess backend;
        FileCredentialStore store;
        std::optional<TestMachine> machine;
        MachineAuthService auth{store};
        QNetworkAccessManager network;
        CLIService cli;
        DependencyService dependencies{&network, &cli};
        QSettings settings{QDir(dir.path()).filePath(QStringLiteral("settings.ini")), QSettings::IniFormat};
        WizardDownload wizard;
        std::unique_ptr<HomeState> state;

        explicit Fixture(bool registered = true)
        {
            qputenv("QUORVANE_API_BASE_URL", backend.url().toString().toUtf8());
            qputenv("QUORVANE_CLI_LOG", QFile::encodeName(dir.filePath(QStringLiteral("invocations.log"))));
            qunsetenv("QUORVANE_CLI_SCENARIO");
            if (registered)
                machine = TestMachine::provision(backend, store);
            auth.reload();
            QDir(dir.path()).mkpath(QStringLiteral("bin"));
            dependencies.setKnownPaths({dir.filePath(QStringLiteral("bin"))});
            dependencies.setModelQueryCommands({ollamaPath()});
            state = std::make_unique<HomeState>(cli, dependencies, auth, network, settings, &wizard);
        }
        ~Fixture()
        {
            state.reset();
            qunsetenv("QUORVANE_API_BASE_URL");
            qunsetenv("QUORVANE_CLI_LOG");
            qunsetenv("QUORVANE_CLI_SCENARIO");
        }

        QString ollamaPath() const { return dir.filePath(QStringLiteral("bin/ollama")); }

        // A model runtime whose "list" runs body.
        bool installOllama(const QByteArray& body) const { return TestFiles::writeShellScript(ollamaPath(), body); }

        bool writeScenario(const QJsonObject& scenario) const
        {
            const QString path = dir.filePath(QStringLiteral("scenario.json"));
            QFile file(path);
            if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
                return false;
            file.write(QJsonDocument(scenario).toJson());
            qputenv("QUORVANE_CLI_SCENARIO", QFile::encodeName(path));
            return true;
        }

        bool writeInventory(const QByteArray& contents) const
        {
            return home.write(QStringLiteral(".quorvane/mcp-servers.json"), contents);
        }

        QList<QStringList> invocations() const
        {
            QList<QStringList> result;
            QFile file(dir.filePath(QStringLiteral("invocations.log")));
            if (!file.open(QIODevice::ReadOnly))
                return result;
            for (const QByteArray& line : file.readAll().split('\n')) {
                if (line.isEmpty())
                    continue;
                QStringList arguments;
                for (const QJsonValue& value : QJsonDocument::fromJson(line).object().value(QLatin1String("args")).toArray())
                    arguments.append(value.toString());
                result.append(arguments);
            }
            return result;
        }

        QList<QJsonObject> requests(const QString& method, const QString& target)
        {
            QList<QJsonObject> result;
            for (const QJsonValue& value : backend.requests()) {
                const QJsonObject request = value.toObject();
                if (request.value(QLatin1String("method")).toString() == method
                    && request.value(QLatin1String("target")).toString() == target)
                    result.append(request);
            }
            return result;
        }
        QList<QJsonObject> syncRequests() { return requests(QStringLiteral("POST"), QStringLiteral("/mcp-servers/sync")); }
        QList<QJsonObject> preferenceRequests()
        {
            return requests(QStringLiteral("PUT"), QStringLiteral("/users/preferences"));
        }
    };

    // Our children that run the stand-in tool (the back-end is a child too).
    static int childCount() { return childProcessCount("quorvane"); }

    static QString inventoryText()
    {
        return QStringLiteral("{\n  \"servers\": [\n    {\"name\": \"filesystem\", \"command\": \"mcp-fs\"},\n"
                              "    {\"name\": \"tracker\", \"url\": \"http://127.0.0.1:9/mcp\"}\n  ]\n}\n");
    }
    static QByteArray inventoryBody()
    {
        return QByteArray("{\"servers\":[{\"command\":\"mcp-fs\",\"name\":\"filesystem\"},"
                          "{\"name\":\"tracker\",\"url\":\"http://127.0.0.1:9/mcp\"}]}");
    }

private Q_SLOTS:
    void initTestCase()
    {
        const QString standIn
            = qEnvironmentVariable("QUORVANE_BUILD_DIR") + QStringLiteral("/libexec/quorvane/bin/quorvane");
        QVERIFY2(QFileInfo(standIn).isExecutable(), qPrintable(standIn));
        qputenv("QUORVANE_CLI", QFile::encodeName(standIn));
    }

    void cleanup()
    {
        // Whatever a case did, no tool it started may outlive it.
        QTRY_COMPARE(childCount(), 0);
    }

    void initialState()
    {
        Fixture f;
        HomeState& state = *f.state;
        QCOMPARE(state.agents().size(), 0);
        QCOMPARE(state.agentList()->count(), 0);
        QCOMPARE(state.removingAgentName(), std::nullopt);
        QCOMPARE(state.removalError(), std::nullopt);
        QVERIFY(!state.property("removingAgentName").isValid());
        QVERIFY(!state.property("removalError").isValid());
        QVERIFY(!state.ollamaInstalled());
        QVERIFY(!state.gemmaInstalled());
        QVERIFY(!state.llmInstalling());
        QCOMPARE(state.llmProgress(), 0.0);
        QVERIFY(!state.analysisRunning());
        QCOMPARE(state.analysisSuggestionCount(), std::nullopt);
        QVERIFY(!state.property("analysisSuggestionCount").isValid());
        QVERIFY(!state.isMirroringWizardDownload());
        QVERIFY(!state.showAddAgent());
        QVERIFY(!state.isUninstalling());
        QVERIFY(!state.uninstallComplete());
        QCOMPARE(state.uninstallStatus(), QString());
        QCOMPARE(state.uninstallReport(), QStringList());
        QVERIFY(!state.mcpLlmSummary());
        QVERIFY(!state.isApproverOnly());

        QSignalSpy shown(&state, &HomeState::showAddAgentChanged);
        state.setProperty("showAddAgent", true);
        state.setShowAddAgent(true);
        QVERIFY(state.showAddAgent());
        QCOMPARE(shown.count(), 1);
        QCOMPARE(f.invocations().size(), 0);
    }

    void refreshReadsAgentsAndMarker()
    {
        Fixture f;
        HomeState& state = *f.state;
        const auto agent = [](const char* name, const char* createdAt) {
            return compact(QJsonObject{{QStringLiteral("name"), QLatin1String(name)},
                                       {QStringLiteral("machine"), QStringLiteral("desk")},
                                       {QStringLiteral("machineId"), QStringLiteral("m-1")},
                                       {QStringLiteral("publicKey"), QStringLiteral("pk")},
                                       {QStringLiteral("createdAt"), QLatin1String(createdAt)},
                                       {QStringLiteral("apiUrl"), QStringLiteral("https://api.example")},
                                       {QStringLiteral("scope"), QStringLiteral("global")}});
        };
        QVERIFY(f.home.write(QStringLiteral(".quorvane/agents/older/config.json"), agent("older", "2025-01-01")));
        QVERIFY(f.home.write(QStringLiteral(".quorvane/agents/newer/config.json"), agent("newer", "2025-06-01")));
        QVERIFY(f.home.write(QStringLiteral(".quorvane/agents/broken/config.json"), "{"));
        QSignalSpy approverOnly(&state, &HomeState::isApproverOnlyChanged);

        state.refresh();
        QCOMPARE(state.agents().size(), 2);
        QCOMPARE(state.agents().at(0).name, QStringLiteral("newer"));
        QCOMPARE(state.agents().at(1).name, QStringLiteral("older"));
        QCOMPARE(state.agentList()->count(), 2);
        QVERIFY(!state.isApproverOnly());
        QCOMPARE(approverOnly.count(), 0);

        QVERIFY(f.home.write(QStringLiteral(".quorvane/machine/approver-only"), QByteArray()));
        state.refresh();
        QVERIFY(state.isApproverOnly());
        QCOMPARE(approverOnly.count(), 1);
        QVERIFY(state.property("isApproverOnly").toBool());

        // A state made on an approval device knows it from the start.
        HomeState again(f.cli, f.dependencies, f.auth, f.network, f.settings);
        QVERIFY(again.isApproverOnly());
    }

    void refreshLLMStatus_data()
    {
        QTest::addColumn<QByteArray>("ollama"); // the runtime's script; empty: not installed
        QTest::addColumn<bool>("ollamaInstalled");
        QTest::addColumn<bool>("gemmaInstalled");
        QTest::newRow("no runtime") << QByteArray() << false << false;
        QTest::newRow("runtime with gemma")
            << QByteArray("echo 'NAME ID SIZE'; echo 'gemma4:latest abc 9.6 GB'") << true << true;
        QTest::newRow("runtime without models") << QByteArray("echo 'NAME ID SIZE'") << true << false;
        QTest::newRow("only capitalised Gemma") << QByteArray("echo 'Gemma4:latest abc'") << true << false;
        QTest::newRow("list fails") << QByteArray("exit 1") << true << false;
    }
    void refreshLLMStatus()
    {
        QFETCH(QByteArray, ollama);
        QFETCH(bool, ollamaInstalled);
        QFETCH(bool, gemmaInstalled);
        Fixture f;
        HomeState& state = *f.state;
        if (!ollama.isEmpty())
            QVERIFY(f.installOllama(ollama));
        QSignalSpy installing(&state, &HomeState::llmInstallingChanged);
        QSignalSpy progress(&state, &HomeState::llmProgressChanged);

        QCoro::waitFor(state.refreshLLMStatus());
        QCOMPARE(state.ollamaInstalled(), ollamaInstalled);
        QCOMPARE(state.gemmaInstalled(), gemmaInstalled);
        // Without a wizard download the download fields are left alone.
        QCOMPARE(installing.count(), 0);
        QCOMPARE(progress.count(), 0);
        QVERIFY(!state.isMirroringWizardDownload());

        // Taking the runtime away is seen by the next refresh.
        QFile::remove(f.ollamaPath());
        QCoro::waitFor(state.refreshLLMStatus());
        QVERIFY(!state.ollamaInstalled());
        QVERIFY(!state.gemmaInstalled());
    }

    // A model lookup still running when a download completes must not take
    // the model away again with its older answer.
    void lateModelLookupIsDropped()
    {
        Fixture f;
        HomeState& state = *f.state;
        const QString gate = f.dir.filePath(QStringLiteral("gate"));
        QVERIFY(f.installOllama("while [ ! -e '" + QFile::encodeName(gate) + "' ]; do sleep 0.05; done\necho 'NAME ID'\n"));
        QVERIFY(f.writeScenario(QJsonObject{
            {QStringLiteral("download-model"),
             QJsonObject{{QStringLiteral("steps"), 1}, {QStringLiteral("stepDelayMs"), 0}}}}));

        QCoro::Task<> refresh = state.refreshLLMStatus();
        QVERIFY(state.ollamaInstalled());
        state.installModel();
        QTRY_VERIFY(state.gemmaInstalled());
        QVERIFY(!state.llmInstalling());

        QFile gateFile(gate);
        QVERIFY(gateFile.open(QIODevice::WriteOnly));
        gateFile.close();
        QCoro::waitFor(std::move(refresh));
        QVERIFY(state.gemmaInstalled());

        // Of two overlapping lookups the later one decides: the first answers
        // "gemma" only after the second has answered without it.
        const QString counter = f.dir.filePath(QStringLiteral("calls"));
        QFile::remove(gate);
        QVERIFY(f.installOllama("if [ -e '" + QFile::encodeName(counter) + "' ]; then echo 'NAME ID'; exit 0; fi\n"
                                "touch '" + QFile::encodeName(counter) + "'\n"
                                "while [ ! -e '" + QFile::encodeName(gate) + "' ]; do sleep 0.05; done\n"
                                "echo 'gemma4:latest'\n"));
        QCoro::Task<> first = state.refreshLLMStatus();
        QTRY_VERIFY(QFile::exists(counter));
        QCoro::waitFor(state.refreshLLMStatus());
        QVERIFY(!state.gemmaInstalled());
        QVERIFY(gateFile.open(QIODevice::WriteOnly));
        gateFile.close();
        QCoro::waitFor(std::move(first));
        QVERIFY(!state.gemmaInstalled());
    }

    void installModel_data()
    {
        QTest::addColumn<QJsonObject>("behaviour"); // download-model's scenario entry
        QTest::addColumn<bool>("toolMissing");
        QTest::addColumn<bool>("gemmaInstalled");
        QTest::addColumn<double>("progress");
        QTest::newRow("completes") << QJsonObject{{QStringLiteral("steps"), 4}, {QStringLiteral("stepDelayMs"), 10}}
                                   << false << true << 1.0;
        QTest::newRow("error event") << QJsonObject{{QStringLiteral("steps"), 4},
                                                    {QStringLiteral("stepDelayMs"), 10},
                                                    {QStringLiteral("failAfterSteps"), 2},
                                                    {QStringLiteral("errorMessage"), QStringLiteral("disk full")},
                                                    {QStringLiteral("exitCode"), 1}}
                                     << false << false << 0.5;
        QTest::newRow("exits without saying how")
            << QJsonObject{{QStringLiteral("rawOutput"), QStringLiteral("{\"type\":\"progress\",\"progress\":0.25}\n")}}
            << false << false << 0.25;
        QTest::newRow("killed mid-way") << QJsonObject{{QStringLiteral("rawOutput"), QStringLiteral("garbage\n")},
                                                       {QStringLiteral("exitCode"), 137}}
                                        << false << false << 0.0;
        QTest::newRow("tool missing") << QJsonObject() << true << false << 0.0;
    }
    void installModel()
    {
        QFETCH(QJsonObject, behaviour);
        QFETCH(bool, toolMissing);
        QFETCH(bool, gemmaInstalled);
        QFETCH(double, progress);
        Fixture f;
        HomeState& state = *f.state;
        QVERIFY(f.writeScenario(QJsonObject{{QStringLiteral("download-model"), behaviour}}));
        if (toolMissing)
            qputenv("QUORVANE_CLI", QFile::encodeName(f.dir.filePath(QStringLiteral("no-such-tool"))));
        const auto restore = qScopeGuard([] {
            qputenv("QUORVANE_CLI", QFile::encodeName(qEnvironmentVariable("QUORVANE_BUILD_DIR")
                                                      + QStringLiteral("/libexec/quorvane/bin/quorvane")));
        });
        LogCapture log;
        QSignalSpy installing(&state, &HomeState::llmInstallingChanged);

        state.installModel();
        QVERIFY(state.llmInstalling());
        QCOMPARE(state.llmProgress(), 0.0);
        QTRY_VERIFY(!state.llmInstalling());
        QCOMPARE(installing.count(), 2);
        QCOMPARE(state.gemmaInstalled(), gemmaInstalled);
        QCOMPARE(state.llmProgress(), progress);
        if (toolMissing) {
            QCOMPARE(log.lines().size(), 1);
            QVERIFY2(log.lines().first().startsWith(QStringLiteral("Quorvane: model download could not start: ")),
                     qPrintable(log.lines().first()));
        } else {
            QCOMPARE(f.invocations(), QList<QStringList>{(QStringList{QStringLiteral("download-model"),
                                                                       QStringLiteral("--wizard")})});
        }

        // Once it has ended, "Download" starts a new one.
        if (!toolMissing && !gemmaInstalled) {
            QVERIFY(f.writeScenario(QJsonObject{
                {QStringLiteral("download-model"),
                 QJsonObject{{QStringLiteral("steps"), 1}, {QStringLiteral("stepDelayMs"), 0}}}}));
            state.installModel();
            QVERIFY(state.llmInstalling());
            QTRY_VERIFY(state.gemmaInstalled());
            QVERIFY(!state.llmInstalling());
            QCOMPARE(f.invocations().size(), 2);
        }
    }

    void downloadTwiceStartsOneDownload()
    {
        Fixture f;
        HomeState& state = *f.state;
        QVERIFY(f.writeScenario(QJsonObject{
            {QStringLiteral("download-model"),
             QJsonObject{{QStringLiteral("steps"), 5}, {QStringLiteral("stepDelayMs"), 40}}}}));
        QList<double> seen;
        connect(&state, &HomeState::llmProgressChanged, this, [&] { seen.append(state.llmProgress()); });

        state.installModel();
        state.installModel();
        QTRY_VERIFY(state.llmProgress() > 0.0);
        state.installModel();
        QTRY_VERIFY(state.gemmaInstalled());
        QVERIFY(!state.llmInstalling());
        QCOMPARE(f.invocations().size(), 1);
        QCOMPARE(seen, (QList<double>{0.2, 0.4, 0.6, 0.8, 1.0}));
    }

    void suggestionCount_data()
    {
        QTest::addColumn<QString>("output"); // the tool's lines
        QTest::addColumn<QVariant>("count"); // invalid: absent
        const auto line = [](const char* count) {
            return QStringLiteral("{\"type\":\"suggestion_count\",\"data\":{\"count\":\"%1\"}}\n")
                .arg(QLatin1String(count));
        };
        const QString withoutData = QStringLiteral("{\"type\":\"suggestion_count\"}\n");
        const QString withoutCount = QStringLiteral("{\"type\":\"suggestion_count\",\"data\":{\"total\":\"4\"}}\n");
        QTest::newRow("12") << line("12") << QVariant(qint64(12));
        QTest::newRow("+7") << line("+7") << QVariant(qint64(7));
        QTest::newRow("-2") << line("-2") << QVariant(qint64(-2));
        QTest::newRow("abc") << line("abc") << QVariant(qint64(0));
        QTest::newRow("overflow") << line("92233720368547758070") << QVariant(qint64(0));
        QTest::newRow("no data leaves it") << QString(line("5") + withoutData) << QVariant(qint64(5));
        QTest::newRow("no count leaves it") << QString(line("5") + withoutCount) << QVariant(qint64(5));
        QTest::newRow("only no data") << withoutData << QVariant();
        QTest::newRow("other events") << QStringLiteral("{\"type\":\"progress\",\"data\":{\"count\":\"9\"}}\n"
                                                        "{\"type\":\"complete\",\"data\":{\"count\":\"9\"}}\n")
                                      << QVariant();
        QTest::newRow("last one wins") << QString(line("3") + line("8")) << QVariant(qint64(8));
        QTest::newRow("number in data is no event")
            << QString(line("6") + QStringLiteral("{\"type\":\"suggestion_count\",\"data\":{\"count\":7}}\n"))
            << QVariant(qint64(6));
    }
    void suggestionCount()
    {
        QFETCH(QString, output);
        QFETCH(QVariant, count);
        Fixture f;
        HomeState& state = *f.state;
        QVERIFY(f.writeScenario(
            QJsonObject{{QStringLiteral("analyze-history"), QJsonObject{{QStringLiteral("rawOutput"), output}}}}));
        QSignalSpy running(&state, &HomeState::analysisRunningChanged);

        state.startAnalysis();
        QVERIFY(state.analysisRunning());
        QTRY_VERIFY(!state.analysisRunning());
        QCOMPARE(running.count(), 2);
        QCOMPARE(state.property("analysisSuggestionCount"), count);
        QCOMPARE(f.invocations(),
                 QList<QStringList>{(QStringList{QStringLiteral("analyze-history"), QStringLiteral("--wizard")})});

        // A new analysis starts without the old count.
        QVERIFY(f.writeScenario(QJsonObject{
            {QStringLiteral("analyze-history"), QJsonObject{{QStringLiteral("hang"), true}}}}));
        state.startAnalysis();
        QCOMPARE(state.analysisSuggestionCount(), std::nullopt);
        state.cancelAnalysis();
    }

    void analysisSyncsInventoryWhateverTheOutcome_data()
    {
        QTest::addColumn<QJsonObject>("behaviour");
        QTest::addColumn<QVariant>("count");
        QTest::addColumn<bool>("logged");
        QTest::newRow("succeeds") << QJsonObject{{QStringLiteral("suggestionCount"), QStringLiteral("4")}}
                                  << QVariant(qint64(4)) << false;
        QTest::newRow("exits non-zero") << QJsonObject{{QStringLiteral("exitCode"), 3}} << QVariant() << true;
        QTest::newRow("error event then non-zero")
            << QJsonObject{{QStringLiteral("errorMessage"), QStringLiteral("no history")},
                           {QStringLiteral("exitCode"), 1}}
            << QVariant() << true;
    }
    void analysisSyncsInventoryWhateverTheOutcome()
    {
        QFETCH(QJsonObject, behaviour);
        QFETCH(QVariant, count);
        QFETCH(bool, logged);
        Fixture f;
        QVERIFY(f.machine);
        HomeState& state = *f.state;
        QVERIFY(f.writeInventory(inventoryText().toUtf8()));
        QVERIFY(f.writeScenario(QJsonObject{{QStringLiteral("analyze-history"), behaviour}}));
        LogCapture log;

        state.startAnalysis();
        QTRY_VERIFY(!state.analysisRunning());
        // The inventory went out before the analysis was shown as ended.
        const QList<QJsonObject> syncs = f.syncRequests();
        QCOMPARE(syncs.size(), 1);
        QCOMPARE(syncs.first().value(QLatin1String("body")).toString().toUtf8(), inventoryBody());
        QVERIFY(syncs.first().value(QLatin1String("verified")).toBool());
        QCOMPARE(state.property("analysisSuggestionCount"), count);
        QCOMPARE(log.lines().size(), logged ? 1 : 0);
        if (logged)
            QVERIFY(log.lines().first().startsWith(QStringLiteral("Quorvane: activity analysis failed: CLI exited")));
    }

    void cancelAnalysis()
    {
        Fixture f;
        HomeState& state = *f.state;
        QVERIFY(f.writeInventory(inventoryText().toUtf8()));
        QVERIFY(f.writeScenario(QJsonObject{
            {QStringLiteral("analyze-history"), QJsonObject{{QStringLiteral("hang"), true}}}}));
        QSignalSpy running(&state, &HomeState::analysisRunningChanged);
        LogCapture log;

        state.startAnalysis();
        state.startAnalysis(); // while one runs, nothing
        QTRY_COMPARE(f.invocations().size(), 1);
        QTRY_COMPARE(childCount(), 1);
        state.cancelAnalysis();
        QVERIFY(!state.analysisRunning());
        QCOMPARE(running.count(), 2);
        // The tool is stopped and the inventory still goes out.
        QTRY_COMPARE(childCount(), 0);
        QTRY_COMPARE(f.syncRequests().size(), 1);
        QCOMPARE(f.syncRequests().first().value(QLatin1String("body")).toString().toUtf8(), inventoryBody());
        QVERIFY(!state.analysisRunning());
        QCOMPARE(running.count(), 2);
        QCOMPARE(state.analysisSuggestionCount(), std::nullopt);
        QVERIFY(log.lines().isEmpty()); // a cancelled run is no failure
        state.cancelAnalysis(); // nothing left to cancel
        QVERIFY(!state.analysisRunning());
    }

    // The tail of a cancelled analysis must not end the one started after it.
    void cancelThenRestart()
    {
        Fixture f;
        HomeState& state = *f.state;
        QVERIFY(f.writeInventory(inventoryText().toUtf8()));
        QVERIFY(f.writeScenario(QJsonObject{
            {QStringLiteral("analyze-history"), QJsonObject{{QStringLiteral("hang"), true}}}}));
        // The first sync is held back, so the old tail ends while the new run goes on.
        QVERIFY(f.backend.injectDelay("POST", QStringLiteral("/mcp-servers/sync"), 300));
        QSignalSpy finished(&f.network, &QNetworkAccessManager::finished);

        state.startAnalysis();
        QTRY_COMPARE(childCount(), 1);
        // The tool logs its run when it starts; cancelling earlier would end it unlogged.
        QTRY_COMPARE(f.invocations().size(), 1);
        state.cancelAnalysis();
        state.startAnalysis();
        QVERIFY(state.analysisRunning());
        QTRY_COMPARE(f.invocations().size(), 2);
        // The old tail has run once its request has been answered.
        QTRY_COMPARE(finished.count(), 1);
        QCoreApplication::processEvents();
        QCOMPARE(f.syncRequests().size(), 1);
        QVERIFY(state.analysisRunning());
        QCOMPARE(childCount(), 1);

        state.cancelAnalysis();
        QVERIFY(!state.analysisRunning());
        QTRY_COMPARE(f.syncRequests().size(), 2);
    }

    void syncMcpServers_data()
    {
        QTest::addColumn<QByteArray>("file"); // empty: no file
        QTest::addColumn<QByteArray>("body"); // empty: nothing sent
        QTest::newRow("servers") << inventoryText().toUtf8() << inventoryBody();
        QTest::newRow("empty list") << QByteArray("{\"servers\":[]}") << QByteArray("{\"servers\":[]}");
        QTest::newRow("servers is an object") << QByteArray("{\"servers\":{\"name\":\"fs\"}}") << QByteArray();
        QTest::newRow("a server is text") << QByteArray("{\"servers\":[\"fs\"]}") << QByteArray();
        QTest::newRow("not JSON") << QByteArray("servers") << QByteArray();
        QTest::newRow("no file") << QByteArray() << QByteArray();
        QTest::newRow("huge file") << QByteArray(QByteArray("{\"servers\":[{\"pad\":\"")
                                                 + QByteArray(McpInventory::maximumFileSize, 'x')
                                                 + QByteArray("\"}]}"))
                                   << QByteArray();
    }
    void syncMcpServers()
    {
        QFETCH(QByteArray, file);
        QFETCH(QByteArray, body);
        Fixture f;
        QVERIFY(f.machine);
        if (!file.isEmpty())
            QVERIFY(f.writeInventory(file));

        const bool sent = QCoro::waitFor(HomeState::syncMcpServers(f.auth, f.network));
        QCOMPARE(sent, !body.isEmpty());
        const QList<QJsonObject> syncs = f.syncRequests();
        QCOMPARE(syncs.size(), body.isEmpty() ? 0 : 1);
        if (!body.isEmpty()) {
            QCOMPARE(syncs.first().value(QLatin1String("body")).toString().toUtf8(), body);
            QVERIFY2(syncs.first().value(QLatin1String("verified")).toBool(),
                     qPrintable(syncs.first().value(QLatin1String("reason")).toString()));
            QCOMPARE(syncs.first().value(QLatin1String("status")).toInt(), 200);
        }
    }

    void syncIgnoresAnswersAndNeedsAnIdentity()
    {
        {
            Fixture f(false);
            QVERIFY(f.writeInventory(inventoryText().toUtf8()));
            QVERIFY(!QCoro::waitFor(f.state->syncMcpServers()));
            QVERIFY(!QCoro::waitFor(f.state->syncMcpSummaryPreference()));
            QCOMPARE(f.backend.requests().size(), 0);
        }
        Fixture f;
        QVERIFY(f.writeInventory(inventoryText().toUtf8()));
        QVERIFY(f.backend.inject("POST", QStringLiteral("/mcp-servers/sync"), 500, "{\"error\":\"boom\"}"));
        QVERIFY(f.backend.inject("POST", QStringLiteral("/mcp-servers/sync"), 401, "{\"error\":\"who\"}"));
        LogCapture log;
        QVERIFY(QCoro::waitFor(f.state->syncMcpServers()));
        QVERIFY(QCoro::waitFor(f.state->syncMcpServers()));
        QCOMPARE(f.syncRequests().size(), 2);
        QVERIFY(log.lines().isEmpty());
    }

    void preference()
    {
        Fixture f;
        QVERIFY(f.machine);
        HomeState& state = *f.state;
        QCOMPARE(HomeState::preferenceBody(true).size(), 24);
        QSignalSpy finished(&f.network, &QNetworkAccessManager::finished);
        QSignalSpy changed(&state, &HomeState::mcpLlmSummaryChanged);

        state.setMcpLlmSummary(true);
        QVERIFY(state.mcpLlmSummary());
        QCOMPARE(changed.count(), 1);
        QTRY_COMPARE(f.preferenceRequests().size(), 1);
        QJsonObject request = f.preferenceRequests().first();
        QCOMPARE(request.value(QLatin1String("body")).toString(), QStringLiteral("{\"mcp_llm_summary\":true}"));
        QCOMPARE(request.value(QLatin1String("body")).toString().size(), 24);
        QVERIFY(request.value(QLatin1String("verified")).toBool());
        {
            QSettings stored(f.settings.fileName(), QSettings::IniFormat);
            QCOMPARE(stored.value(QStringLiteral("mcpLlmSummary")).toString(), QStringLiteral("true"));
        }
        HomeState reopened(f.cli, f.dependencies, f.auth, f.network, f.settings);
        QVERIFY(reopened.mcpLlmSummary());

        state.setMcpLlmSummary(true); // no change, nothing sent
        QCOMPARE(changed.count(), 1);

        state.setProperty("mcpLlmSummary", false);
        QVERIFY(!state.mcpLlmSummary());
        QCOMPARE(changed.count(), 2);
        QTRY_COMPARE(f.preferenceRequests().size(), 2);
        request = f.preferenceRequests().last();
        QCOMPARE(request.value(QLatin1String("body")).toString(), QStringLiteral("{\"mcp_llm_summary\":false}"));
        QTRY_COMPARE(finished.count(), 2);
        QCOMPARE(f.preferenceRequests().size(), 2);
    }

    void storedPreferenceValues_data()
    {
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<bool>("enabled");
        QTest::newRow("absent") << QVariant() << false;
        QTest::newRow("true") << QVariant(true) << true;
        QTest::newRow("false") << QVariant(false) << false;
        QTest::newRow("text true") << QVariant(QStringLiteral("true")) << true;
        QTest::newRow("other text") << QVariant(QStringLiteral("yes please")) << false;
        QTest::newRow("number") << QVariant(1) << false;
    }
    void storedPreferenceValues()
    {
        QFETCH(QVariant, stored);
        QFETCH(bool, enabled);
        Fixture f(false);
        if (stored.isValid())
            f.settings.setValue(QStringLiteral("mcpLlmSummary"), stored);
        QCOMPARE(f.state->mcpLlmSummary(), enabled);
    }

    // Quick flips must leave the back-end with the last value, even when an
    // earlier request is slow.
    void preferenceChangesSettleOnLastValue()
    {
        Fixture f;
        HomeState& state = *f.state;
        QVERIFY(f.backend.injectDelay("PUT", QStringLiteral("/users/preferences"), 300));
        QSignalSpy finished(&f.network, &QNetworkAccessManager::finished);

        state.setMcpLlmSummary(true);
        state.setMcpLlmSummary(false);
        state.setMcpLlmSummary(true);
        state.setMcpLlmSummary(false);
        QTRY_COMPARE(f.preferenceRequests().size(), 2);
        QCOMPARE(f.preferenceRequests().first().value(QLatin1String("body")).toString(),
                 QStringLiteral("{\"mcp_llm_summary\":true}"));
        QCOMPARE(f.preferenceRequests().last().value(QLatin1String("body")).toString(),
                 QStringLiteral("{\"mcp_llm_summary\":false}"));
        QTRY_COMPARE(finished.count(), 2);
        QCoreApplication::processEvents();
        QCOMPARE(f.preferenceRequests().size(), 2);
        const QJsonObject preferences = f.backend.state().value(QLatin1String("preferences")).toObject();
        QCOMPARE(preferences.size(), 1);
        QCOMPARE(preferences.begin()->toObject().value(QLatin1String("mcp_llm_summary")), QJsonValue(false));
    }

    void mirrorWizardDownloadToTheEnd_data()
    {
        QTest::addColumn<QJsonObject>("behaviour");
        QTest::addColumn<bool>("completes");
        QTest::newRow("completes") << QJsonObject{{QStringLiteral("steps"), 5}, {QStringLiteral("stepDelayMs"), 60}}
                                   << true;
        QTest::newRow("fails") << QJsonObject{{QStringLiteral("steps"), 5},
                                              {QStringLiteral("stepDelayMs"), 60},
                                              {QStringLiteral("failAfterSteps"), 2},
                                              {QStringLiteral("errorMessage"), QStringLiteral("no space")},
                                              {QStringLiteral("exitCode"), 1}}
                               << false;
    }
    void mirrorWizardDownloadToTheEnd()
    {
        QFETCH(QJsonObject, behaviour);
        QFETCH(bool, completes);
        Fixture f;
        HomeState& state = *f.state;
        QVERIFY(f.writeScenario(QJsonObject{{QStringLiteral("download-model"), behaviour}}));
        QVERIFY(QCoro::waitFor(f.wizard.start(f.cli)));
        QTRY_VERIFY(f.wizard.llmDownloadProgress() > 0.0);

        // The dashboard opens while the wizard downloads.
        QCoro::waitFor(state.refreshLLMStatus());
        QVERIFY(state.ollamaInstalled());
        QVERIFY(!state.gemmaInstalled());
        QVERIFY(state.llmInstalling());
        QCOMPARE(state.llmProgress(), f.wizard.llmDownloadProgress());
        QVERIFY(state.isMirroringWizardDownload());
        // "Download" is no second download meanwhile.
        state.installModel();

        QTRY_VERIFY(!state.llmInstalling());
        QCOMPARE(state.gemmaInstalled(), completes);
        QCOMPARE(state.llmProgress(), f.wizard.llmDownloadProgress());
        QVERIFY(!state.isMirroringWizardDownload());
        QCOMPARE(f.invocations().size(), 1);
    }

    void mirrorSubscriptionsAreDropped()
    {
        Fixture f;
        HomeState& state = *f.state;
        f.wizard.setDownloading(true);
        f.wizard.setProgress(0.3);
        QCoro::waitFor(state.refreshLLMStatus());
        QCoro::waitFor(state.refreshLLMStatus()); // resubscribes, not twice
        QCOMPARE(state.llmProgress(), 0.3);
        QSignalSpy progress(&state, &HomeState::llmProgressChanged);
        f.wizard.setProgress(0.5);
        QCOMPARE(progress.count(), 1);
        QCOMPARE(state.llmProgress(), 0.5);
        f.wizard.setProgress(7.0); // out of range from a broken source
        QCOMPARE(state.llmProgress(), 1.0);

        // A completion seen first ends the mirror; what follows is not mirrored.
        QSignalSpy installing(&state, &HomeState::llmInstallingChanged);
        f.wizard.setComplete(true);
        QVERIFY(!state.llmInstalling());
        QVERIFY(state.gemmaInstalled());
        QVERIFY(!state.isMirroringWizardDownload());
        f.wizard.setDownloading(false);
        f.wizard.setProgress(0.1);
        f.wizard.setComplete(false);
        QCOMPARE(state.llmProgress(), 1.0);
        QVERIFY(state.gemmaInstalled());
        QCOMPARE(installing.count(), 1);

        // A download that was already complete is not mirrored: the runtime is
        // looked up instead (none here).
        f.wizard.setDownloading(true);
        f.wizard.setComplete(true);
        QCoro::waitFor(state.refreshLLMStatus());
        QVERIFY(!state.isMirroringWizardDownload());
        QVERIFY(!state.ollamaInstalled());
        QVERIFY(!state.gemmaInstalled());

        // Stopping the download without completing ends "installing" only.
        f.wizard.setComplete(false);
        QCoro::waitFor(state.refreshLLMStatus());
        QVERIFY(state.llmInstalling());
        f.wizard.setDownloading(false);
        QVERIFY(!state.llmInstalling());
        QVERIFY(!state.gemmaInstalled());
        QVERIFY(!state.isMirroringWizardDownload());
    }

    void mirrorOutlivesNeitherSide()
    {
        Fixture f;
        f.wizard.setDownloading(true);
        QCoro::waitFor(f.state->refreshLLMStatus());
        QVERIFY(f.state->isMirroringWizardDownload());
        f.state.reset();
        f.wizard.setProgress(0.9);
        f.wizard.setComplete(true);
        f.wizard.setDownloading(false);

        // A source that goes away while mirrored ends the mirror.
        auto source = std::make_unique<WizardDownload>();
        HomeState state(f.cli, f.dependencies, f.auth, f.network, f.settings, source.get());
        source->setDownloading(true);
        QCoro::waitFor(state.refreshLLMStatus());
        QVERIFY(state.llmInstalling());
        source.reset();
        QVERIFY(!state.llmInstalling());
        QVERIFY(!state.isMirroringWizardDownload());
        QCoro::waitFor(state.refreshLLMStatus());
        QVERIFY(!state.ollamaInstalled());
    }
};

QTEST_GUILESS_MAIN(TestHomeState)
#include "tst_HomeState.moc"
