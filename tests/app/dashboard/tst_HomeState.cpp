#include "tests/app/dashboard/HomeStateFixture.h"

// The dashboard model: agents, the approver-only marker, the local model and the wizard's download.
class TestHomeState : public HomeStateTestCase
{
    Q_OBJECT

private Q_SLOTS:
    void initialState()
    {
        Fixture f;
        HomeState& state = *f.state;
        QCOMPARE(state.agentList()->count(), 0);
        // An absent count is undefined in QML, not 0.
        QVERIFY(!state.property("analysisSuggestionCount").isValid());
        QVERIFY(!state.mcpLlmSummary());

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
            return compact(QJsonObject { { QStringLiteral("name"), QLatin1String(name) },
                { QStringLiteral("machine"), QStringLiteral("desk") },
                { QStringLiteral("machineId"), QStringLiteral("m-1") },
                { QStringLiteral("publicKey"), QStringLiteral("pk") },
                { QStringLiteral("createdAt"), QLatin1String(createdAt) },
                { QStringLiteral("apiUrl"), QStringLiteral("https://api.example") },
                { QStringLiteral("scope"), QStringLiteral("global") } });
        };
        QVERIFY(
            f.home.write(QStringLiteral(".quorvane/agents/older/config.json"), agent("older", "2025-01-01")));
        QVERIFY(
            f.home.write(QStringLiteral(".quorvane/agents/newer/config.json"), agent("newer", "2025-06-01")));
        QVERIFY(f.home.write(QStringLiteral(".quorvane/agents/broken/config.json"), "{"));
        QSignalSpy approverOnly(&state, &HomeState::isApproverOnlyChanged);
        // The tool's version line is shown cut to a sane length.
        QVERIFY(f.writeScenario(QJsonObject { { QStringLiteral("version"),
            QJsonObject { { QStringLiteral("text"), QString(QString(100, u'7') + u'\n') } } } }));

        state.refresh();
        QTRY_COMPARE(state.cliVersion(), std::optional<QString>(QString(64, u'7')));
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
        QSignalSpy installing(&state.modelRuntime(), &ModelRuntimeState::llmInstallingChanged);
        QSignalSpy progress(&state.modelRuntime(), &ModelRuntimeState::llmProgressChanged);

        QCoro::waitFor(state.modelRuntime().refreshLLMStatus());
        QCOMPARE(state.modelRuntime().ollamaInstalled(), ollamaInstalled);
        QCOMPARE(state.modelRuntime().gemmaInstalled(), gemmaInstalled);
        // Without a wizard download the download fields are left alone.
        QCOMPARE(installing.count(), 0);
        QCOMPARE(progress.count(), 0);
        QVERIFY(!state.modelRuntime().isMirroringWizardDownload());

        // Taking the runtime away is seen by the next refresh.
        QFile::remove(f.ollamaPath());
        QCoro::waitFor(state.modelRuntime().refreshLLMStatus());
        QVERIFY(!state.modelRuntime().ollamaInstalled());
        QVERIFY(!state.modelRuntime().gemmaInstalled());
    }

    // A model lookup still running when a download completes must not take
    // the model away again with its older answer.
    void lateModelLookupIsDropped()
    {
        Fixture f;
        HomeState& state = *f.state;
        const QString gate = f.dir.filePath(QStringLiteral("gate"));
        QVERIFY(f.installOllama(
            "while [ ! -e '" + QFile::encodeName(gate) + "' ]; do sleep 0.05; done\necho 'NAME ID'\n"));
        QVERIFY(f.writeScenario(QJsonObject { { QStringLiteral("download-model"),
            QJsonObject { { QStringLiteral("steps"), 1 }, { QStringLiteral("stepDelayMs"), 0 } } } }));

        QCoro::Task<> refresh = state.modelRuntime().refreshLLMStatus();
        QVERIFY(state.modelRuntime().ollamaInstalled());
        state.modelRuntime().installModel();
        QTRY_VERIFY(state.modelRuntime().gemmaInstalled());
        QVERIFY(!state.modelRuntime().llmInstalling());

        QFile gateFile(gate);
        QVERIFY(gateFile.open(QIODevice::WriteOnly));
        gateFile.close();
        QCoro::waitFor(std::move(refresh));
        QVERIFY(state.modelRuntime().gemmaInstalled());

        // Of two overlapping lookups the later one decides: the first answers
        // "gemma" only after the second has answered without it.
        const QString counter = f.dir.filePath(QStringLiteral("calls"));
        QFile::remove(gate);
        QVERIFY(f.installOllama("if [ -e '" + QFile::encodeName(counter)
            + "' ]; then echo 'NAME ID'; exit 0; fi\n"
              "touch '"
            + QFile::encodeName(counter)
            + "'\n"
              "while [ ! -e '"
            + QFile::encodeName(gate)
            + "' ]; do sleep 0.05; done\n"
              "echo 'gemma4:latest'\n"));
        QCoro::Task<> first = state.modelRuntime().refreshLLMStatus();
        QTRY_VERIFY(QFile::exists(counter));
        QCoro::waitFor(state.modelRuntime().refreshLLMStatus());
        QVERIFY(!state.modelRuntime().gemmaInstalled());
        QVERIFY(gateFile.open(QIODevice::WriteOnly));
        gateFile.close();
        QCoro::waitFor(std::move(first));
        QVERIFY(!state.modelRuntime().gemmaInstalled());
    }

    void installModel_data()
    {
        QTest::addColumn<QJsonObject>("behaviour"); // download-model's scenario entry
        QTest::addColumn<bool>("toolMissing");
        QTest::addColumn<bool>("gemmaInstalled");
        QTest::addColumn<double>("progress");
        QTest::newRow("completes") << QJsonObject { { QStringLiteral("steps"), 4 },
            { QStringLiteral("stepDelayMs"), 10 } }
                                   << false << true << 1.0;
        QTest::newRow("error event") << QJsonObject { { QStringLiteral("steps"), 4 },
            { QStringLiteral("stepDelayMs"), 10 }, { QStringLiteral("failAfterSteps"), 2 },
            { QStringLiteral("errorMessage"), QStringLiteral("disk full") },
            { QStringLiteral("exitCode"), 1 } }
                                     << false << false << 0.5;
        QTest::newRow("exits without saying how") << QJsonObject {
            { QStringLiteral("rawOutput"), QStringLiteral("{\"type\":\"progress\",\"progress\":0.25}\n") }
        } << false << false << 0.25;
        QTest::newRow("killed mid-way") << QJsonObject {
            { QStringLiteral("rawOutput"), QStringLiteral("garbage\n") }, { QStringLiteral("exitCode"), 137 }
        } << false << false << 0.0;
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
        QVERIFY(f.writeScenario(QJsonObject { { QStringLiteral("download-model"), behaviour } }));
        if (toolMissing)
            qputenv("QUORVANE_CLI", QFile::encodeName(f.dir.filePath(QStringLiteral("no-such-tool"))));
        const auto restore = qScopeGuard([] {
            qputenv("QUORVANE_CLI",
                QFile::encodeName(qEnvironmentVariable("QUORVANE_BUILD_DIR")
                    + QStringLiteral("/libexec/quorvane/bin/quorvane")));
        });
        LogCapture log;
        QSignalSpy installing(&state.modelRuntime(), &ModelRuntimeState::llmInstallingChanged);

        state.modelRuntime().installModel();
        QVERIFY(state.modelRuntime().llmInstalling());
        QCOMPARE(state.modelRuntime().llmProgress(), 0.0);
        QTRY_VERIFY(!state.modelRuntime().llmInstalling());
        QCOMPARE(installing.count(), 2);
        QCOMPARE(state.modelRuntime().gemmaInstalled(), gemmaInstalled);
        QCOMPARE(state.modelRuntime().llmProgress(), progress);
        if (toolMissing) {
            QCOMPARE(log.lines().size(), 1);
            QVERIFY2(
                log.lines().first().startsWith(QStringLiteral("Quorvane: model download could not start: ")),
                qPrintable(log.lines().first()));
        } else {
            QCOMPARE(f.invocations(),
                QList<QStringList> {
                    (QStringList { QStringLiteral("download-model"), QStringLiteral("--wizard") }) });
        }

        // Once it has ended, "Download" starts a new one.
        if (!toolMissing && !gemmaInstalled) {
            QVERIFY(f.writeScenario(QJsonObject { { QStringLiteral("download-model"),
                QJsonObject { { QStringLiteral("steps"), 1 }, { QStringLiteral("stepDelayMs"), 0 } } } }));
            state.modelRuntime().installModel();
            QVERIFY(state.modelRuntime().llmInstalling());
            QTRY_VERIFY(state.modelRuntime().gemmaInstalled());
            QVERIFY(!state.modelRuntime().llmInstalling());
            QCOMPARE(f.invocations().size(), 2);
        }
    }

    void downloadTwiceStartsOneDownload()
    {
        Fixture f;
        HomeState& state = *f.state;
        QVERIFY(f.writeScenario(QJsonObject { { QStringLiteral("download-model"),
            QJsonObject { { QStringLiteral("steps"), 5 }, { QStringLiteral("stepDelayMs"), 40 } } } }));
        QList<double> seen;
        connect(&state.modelRuntime(), &ModelRuntimeState::llmProgressChanged, this,
            [&] { seen.append(state.modelRuntime().llmProgress()); });

        state.modelRuntime().installModel();
        state.modelRuntime().installModel();
        QTRY_VERIFY(state.modelRuntime().llmProgress() > 0.0);
        state.modelRuntime().installModel();
        QTRY_VERIFY(state.modelRuntime().gemmaInstalled());
        QVERIFY(!state.modelRuntime().llmInstalling());
        QCOMPARE(f.invocations().size(), 1);
        QCOMPARE(seen, (QList<double> { 0.2, 0.4, 0.6, 0.8, 1.0 }));
    }

    void mirrorWizardDownloadToTheEnd_data()
    {
        QTest::addColumn<QJsonObject>("behaviour");
        QTest::addColumn<bool>("completes");
        QTest::newRow("completes") << QJsonObject { { QStringLiteral("steps"), 5 },
            { QStringLiteral("stepDelayMs"), 60 } }
                                   << true;
        QTest::newRow("fails") << QJsonObject { { QStringLiteral("steps"), 5 },
            { QStringLiteral("stepDelayMs"), 60 }, { QStringLiteral("failAfterSteps"), 2 },
            { QStringLiteral("errorMessage"), QStringLiteral("no space") },
            { QStringLiteral("exitCode"), 1 } }
                               << false;
    }
    void mirrorWizardDownloadToTheEnd()
    {
        QFETCH(QJsonObject, behaviour);
        QFETCH(bool, completes);
        Fixture f;
        HomeState& state = *f.state;
        QVERIFY(f.writeScenario(QJsonObject { { QStringLiteral("download-model"), behaviour } }));
        QVERIFY(QCoro::waitFor(f.wizard.start(f.cli)));
        QTRY_VERIFY(f.wizard.llmDownloadProgress() > 0.0);

        // The dashboard opens while the wizard downloads.
        QCoro::waitFor(state.modelRuntime().refreshLLMStatus());
        QVERIFY(state.modelRuntime().ollamaInstalled());
        QVERIFY(!state.modelRuntime().gemmaInstalled());
        QVERIFY(state.modelRuntime().llmInstalling());
        QCOMPARE(state.modelRuntime().llmProgress(), f.wizard.llmDownloadProgress());
        QVERIFY(state.modelRuntime().isMirroringWizardDownload());
        // "Download" is no second download meanwhile.
        state.modelRuntime().installModel();

        QTRY_VERIFY(!state.modelRuntime().llmInstalling());
        QCOMPARE(state.modelRuntime().gemmaInstalled(), completes);
        QCOMPARE(state.modelRuntime().llmProgress(), f.wizard.llmDownloadProgress());
        QVERIFY(!state.modelRuntime().isMirroringWizardDownload());
        QCOMPARE(f.invocations().size(), 1);
    }

    void mirrorSubscriptionsAreDropped()
    {
        Fixture f;
        HomeState& state = *f.state;
        f.wizard.setDownloading(true);
        f.wizard.setProgress(0.3);
        QCoro::waitFor(state.modelRuntime().refreshLLMStatus());
        QCoro::waitFor(state.modelRuntime().refreshLLMStatus()); // resubscribes, not twice
        QCOMPARE(state.modelRuntime().llmProgress(), 0.3);
        QSignalSpy progress(&state.modelRuntime(), &ModelRuntimeState::llmProgressChanged);
        f.wizard.setProgress(0.5);
        QCOMPARE(progress.count(), 1);
        QCOMPARE(state.modelRuntime().llmProgress(), 0.5);
        f.wizard.setProgress(7.0); // out of range from a broken source
        QCOMPARE(state.modelRuntime().llmProgress(), 1.0);

        // A completion seen first ends the mirror; what follows is not mirrored.
        QSignalSpy installing(&state.modelRuntime(), &ModelRuntimeState::llmInstallingChanged);
        f.wizard.setComplete(true);
        QVERIFY(!state.modelRuntime().llmInstalling());
        QVERIFY(state.modelRuntime().gemmaInstalled());
        QVERIFY(!state.modelRuntime().isMirroringWizardDownload());
        f.wizard.setDownloading(false);
        f.wizard.setProgress(0.1);
        f.wizard.setComplete(false);
        QCOMPARE(state.modelRuntime().llmProgress(), 1.0);
        QVERIFY(state.modelRuntime().gemmaInstalled());
        QCOMPARE(installing.count(), 1);

        // A download that was already complete is not mirrored: the runtime is
        // looked up instead (none here).
        f.wizard.setDownloading(true);
        f.wizard.setComplete(true);
        QCoro::waitFor(state.modelRuntime().refreshLLMStatus());
        QVERIFY(!state.modelRuntime().isMirroringWizardDownload());
        QVERIFY(!state.modelRuntime().ollamaInstalled());
        QVERIFY(!state.modelRuntime().gemmaInstalled());

        // Stopping the download without completing ends "installing" only.
        f.wizard.setComplete(false);
        QCoro::waitFor(state.modelRuntime().refreshLLMStatus());
        QVERIFY(state.modelRuntime().llmInstalling());
        f.wizard.setDownloading(false);
        QVERIFY(!state.modelRuntime().llmInstalling());
        QVERIFY(!state.modelRuntime().gemmaInstalled());
        QVERIFY(!state.modelRuntime().isMirroringWizardDownload());
    }

    void mirrorOutlivesNeitherSide()
    {
        Fixture f;
        f.wizard.setDownloading(true);
        QCoro::waitFor(f.state->modelRuntime().refreshLLMStatus());
        QVERIFY(f.state->modelRuntime().isMirroringWizardDownload());
        f.state.reset();
        f.wizard.setProgress(0.9);
        f.wizard.setComplete(true);
        f.wizard.setDownloading(false);

        // A source that goes away while mirrored ends the mirror.
        auto source = std::make_unique<WizardDownload>();
        HomeState state(f.cli, f.dependencies, f.auth, f.network, f.settings, source.get());
        source->setDownloading(true);
        QCoro::waitFor(state.modelRuntime().refreshLLMStatus());
        QVERIFY(state.modelRuntime().llmInstalling());
        source.reset();
        QVERIFY(!state.modelRuntime().llmInstalling());
        QVERIFY(!state.modelRuntime().isMirroringWizardDownload());
        QCoro::waitFor(state.modelRuntime().refreshLLMStatus());
        QVERIFY(!state.modelRuntime().ollamaInstalled());
    }
};

QTEST_GUILESS_MAIN(TestHomeState)
#include "tst_HomeState.moc"
