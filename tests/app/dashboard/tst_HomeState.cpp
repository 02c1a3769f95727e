#include "tests/app/dashboard/HomeStateFixture.h"

// The dashboard model: agents, the approver-only marker, the local model and
// the wizard's download.
class TestHomeState : public HomeStateTestCase
{
    Q_OBJECT

    static QJsonObject steps(int count, int delayMs)
    {
        return { { u"steps"_s, count }, { u"stepDelayMs"_s, delayMs } };
    }

private Q_SLOTS:
    void refreshReadsAgentsAndMarker()
    {
        Fixture f;
        HomeState& state = *f.state;
        QVERIFY(f.writeAgent(u"older"_s, u"2025-01-01"_s));
        QVERIFY(f.writeAgent(u"newer"_s, u"2025-06-01"_s));
        QVERIFY(f.home.write(u".quorvane/agents/broken/config.json"_s, "{"));
        QSignalSpy approverOnly(&state, &HomeState::isApproverOnlyChanged);
        // The tool's version line is shown cut to a sane length.
        QVERIFY(f.writeScenario(u"version"_s, { { u"text"_s, QString(QString(100, u'7') + u'\n') } }));

        state.refresh();
        QTRY_COMPARE(state.cliVersion(), std::optional<QString>(QString(64, u'7')));
        QCOMPARE(state.agentList()->count(), 2);
        QCOMPARE(state.agents().at(0).name, u"newer"_s);
        QCOMPARE(state.agents().at(1).name, u"older"_s);
        QVERIFY(!state.isApproverOnly());

        QVERIFY(f.home.write(u".quorvane/machine/approver-only"_s, QByteArray()));
        state.refresh();
        QVERIFY(state.property("isApproverOnly").toBool());
        QCOMPARE(approverOnly.count(), 1);
        // A state made on an approval device knows it from the start.
        QVERIFY(HomeState(f.cli, f.dependencies, f.auth, f.network, f.settings).isApproverOnly());
    }

    void refreshLLMStatus()
    {
        Fixture f;
        ModelRuntimeState& runtime = f.state->modelRuntime();
        QVERIFY(f.installOllama("echo 'NAME ID SIZE'; echo 'gemma4:latest abc 9.6 GB'"));
        QSignalSpy installing(&runtime, &ModelRuntimeState::llmInstallingChanged);
        QCoro::waitFor(runtime.refreshLLMStatus());
        QVERIFY(runtime.ollamaInstalled());
        QVERIFY(runtime.gemmaInstalled());
        // Without a wizard download the download fields are left alone.
        QCOMPARE(installing.count(), 0);
        QVERIFY(!runtime.isMirroringWizardDownload());

        // Taking the runtime away is seen by the next refresh.
        QFile::remove(f.ollamaPath());
        QCoro::waitFor(runtime.refreshLLMStatus());
        QVERIFY(!runtime.ollamaInstalled());
        QVERIFY(!runtime.gemmaInstalled());
    }

    // A model lookup still running when a download completes must not take
    // the model away again with its older answer.
    void lateModelLookupIsDropped()
    {
        Fixture f;
        ModelRuntimeState& runtime = f.state->modelRuntime();
        const QByteArray gate = QFile::encodeName(f.dir.filePath(u"gate"_s));
        const auto openGate = [&gate] { return TestFiles::write(QFile::decodeName(gate), {}); };
        const QByteArray waitForGate = "while [ ! -e '" + gate + "' ]; do sleep 0.05; done\n";
        QVERIFY(f.installOllama(waitForGate + "echo 'NAME ID'\n"));
        QVERIFY(f.writeScenario(u"download-model"_s, steps(1, 0)));

        QCoro::Task<> refresh = runtime.refreshLLMStatus();
        QVERIFY(runtime.ollamaInstalled());
        runtime.installModel();
        QTRY_VERIFY(runtime.gemmaInstalled());
        QVERIFY(openGate());
        QCoro::waitFor(std::move(refresh));
        QVERIFY(runtime.gemmaInstalled());

        // Of two overlapping lookups the later one decides: the first answers
        // "gemma" only after the second has answered without it.
        const QByteArray counter = QFile::encodeName(f.dir.filePath(u"calls"_s));
        QFile::remove(QFile::decodeName(gate));
        QVERIFY(f.installOllama("if [ -e '" + counter + "' ]; then echo 'NAME ID'; exit 0; fi\ntouch '"
            + counter + "'\n" + waitForGate + "echo 'gemma4:latest'\n"));
        QCoro::Task<> first = runtime.refreshLLMStatus();
        QTRY_VERIFY(QFile::exists(QFile::decodeName(counter)));
        QCoro::waitFor(runtime.refreshLLMStatus());
        QVERIFY(!runtime.gemmaInstalled());
        QVERIFY(openGate());
        QCoro::waitFor(std::move(first));
        QVERIFY(!runtime.gemmaInstalled());
    }

    void installModel_data()
    {
        QTest::addColumn<QJsonObject>("behaviour"); // download-model's scenario entry
        QTest::addColumn<bool>("toolMissing");
        QTest::addColumn<bool>("gemmaInstalled");
        QTest::addColumn<double>("progress");
        QTest::newRow("completes") << steps(4, 10) << false << true << 1.0;
        QJsonObject failing = steps(4, 10);
        failing.insert(u"failAfterSteps"_s, 2);
        failing.insert(u"errorMessage"_s, u"disk full"_s);
        failing.insert(u"exitCode"_s, 1);
        QTest::newRow("error event") << failing << false << false << 0.5;
        QTest::newRow("exits without saying how")
            << QJsonObject { { u"rawOutput"_s, u"{\"type\":\"progress\",\"progress\":0.25}\n"_s } } << false
            << false << 0.25;
        QTest::newRow("tool missing") << QJsonObject() << true << false << 0.0;
    }
    void installModel()
    {
        QFETCH(QJsonObject, behaviour);
        QFETCH(bool, toolMissing);
        QFETCH(bool, gemmaInstalled);
        QFETCH(double, progress);
        Fixture f;
        ModelRuntimeState& runtime = f.state->modelRuntime();
        QVERIFY(f.writeScenario(u"download-model"_s, behaviour));
        if (toolMissing)
            qputenv("QUORVANE_CLI", QFile::encodeName(f.dir.filePath(u"no-such-tool"_s)));
        LogCapture log;
        QSignalSpy installing(&runtime, &ModelRuntimeState::llmInstallingChanged);

        runtime.installModel();
        QVERIFY(runtime.llmInstalling());
        QCOMPARE(runtime.llmProgress(), 0.0);
        QCOMPARE(runtime.modelMissingReason(), u"Available once the download finishes"_s);
        runtime.installModel(); // while one runs, nothing more
        QTRY_VERIFY(!runtime.llmInstalling());
        QCOMPARE(installing.count(), 2);
        QCOMPARE(runtime.gemmaInstalled(), gemmaInstalled);
        QCOMPARE(runtime.modelMissingReason().isEmpty(), gemmaInstalled);
        QCOMPARE(runtime.llmProgress(), progress);
        if (toolMissing) {
            QCOMPARE(log.lines().size(), 1);
            QVERIFY2(log.lines().first().startsWith(u"Quorvane: model download could not start: "_s),
                qPrintable(log.lines().first()));
            return;
        }
        QCOMPARE(f.invocations(), (QList<QStringList> { { u"download-model"_s, u"--wizard"_s } }));
        // Once it has ended, "Download" starts a new one.
        if (!gemmaInstalled) {
            QVERIFY(f.writeScenario(u"download-model"_s, steps(1, 0)));
            runtime.installModel();
            QVERIFY(runtime.llmInstalling());
            QTRY_VERIFY(runtime.gemmaInstalled());
            QCOMPARE(f.invocations().size(), 2);
        }
    }

    // The wizard's model download, as the program hands it to the dashboard.
    void followsTheWizardModel()
    {
        Fixture f(false);
        ModelRuntimeState& runtime = f.state->modelRuntime();
        f.wizard.setLlmDownloading(true);
        f.wizard.setLlmDownloadProgress(0.3);
        // The dashboard opens while the wizard downloads.
        QCoro::waitFor(runtime.refreshLLMStatus());
        QCoro::waitFor(runtime.refreshLLMStatus()); // resubscribes, not twice
        QVERIFY(runtime.llmInstalling() && runtime.ollamaInstalled() && !runtime.gemmaInstalled());
        QVERIFY(runtime.isMirroringWizardDownload());
        QCOMPARE(runtime.llmProgress(), 0.3);
        runtime.installModel(); // "Download" is no second download meanwhile
        QSignalSpy progress(&runtime, &ModelRuntimeState::llmProgressChanged);
        f.wizard.setLlmDownloadProgress(0.5);
        QCOMPARE(progress.count(), 1);
        f.wizard.setLlmDownloadProgress(7.0); // out of range from a broken source
        QCOMPARE(runtime.llmProgress(), 1.0);
        // The wizard ending without completing: no model.
        f.wizard.setLlmDownloading(false);
        QVERIFY(!runtime.llmInstalling() && !runtime.gemmaInstalled());
        QVERIFY(!runtime.isMirroringWizardDownload());
        QCOMPARE(f.invocations().size(), 0);
        f.wizard.setLlmDownloading(true);
        QCoro::waitFor(runtime.refreshLLMStatus());

        // A completion seen first ends the mirror; what follows is not mirrored.
        QSignalSpy installing(&runtime, &ModelRuntimeState::llmInstallingChanged);
        f.wizard.setLlmDownloadComplete(true);
        QVERIFY(!runtime.llmInstalling());
        QVERIFY(runtime.gemmaInstalled());
        f.wizard.setLlmDownloading(false);
        f.wizard.setLlmDownloadProgress(0.1);
        f.wizard.setLlmDownloadComplete(false);
        QCOMPARE(runtime.llmProgress(), 1.0);
        QVERIFY(runtime.gemmaInstalled());
        QCOMPARE(installing.count(), 1);

        // A download that was already complete is not mirrored: the runtime is
        // looked up instead (none here).
        f.wizard.setLlmDownloading(true);
        f.wizard.setLlmDownloadComplete(true);
        QCoro::waitFor(runtime.refreshLLMStatus());
        QVERIFY(!runtime.isMirroringWizardDownload());
        QVERIFY(!runtime.gemmaInstalled());

        // A source that goes away while mirrored ends the mirror.
        f.wizard.setLlmDownloadComplete(false);
        QCoro::waitFor(runtime.refreshLLMStatus());
        QVERIFY(runtime.llmInstalling());
        auto source = std::make_unique<StandInModelDownload>();
        HomeState other(f.cli, f.dependencies, f.auth, f.network, f.settings, source.get());
        source->setLlmDownloading(true);
        QCoro::waitFor(other.modelRuntime().refreshLLMStatus());
        QVERIFY(other.modelRuntime().llmInstalling());
        source.reset();
        QVERIFY(!other.modelRuntime().llmInstalling());
        QVERIFY(!other.modelRuntime().isMirroringWizardDownload());
        // Neither does a state that goes away outlive its source's signals.
        f.state.reset();
        f.wizard.setLlmDownloadProgress(0.9);
        f.wizard.setLlmDownloading(false);
    }
};

QTEST_GUILESS_MAIN(TestHomeState)
#include "tst_HomeState.moc"
