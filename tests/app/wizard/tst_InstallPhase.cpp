#include "tests/app/wizard/InstallPhaseFixture.h"

using namespace InstallPhaseRows;

namespace {

using Screen = WizardState::WizardScreen;
const QString laterHint = u". You can install the local model later from the dashboard"_s;

} // namespace

// The install phase; the local model is optional: the phase goes on without its runtime.
class TestInstallPhase : public QObject, private InstallPhaseFixture
{
    Q_OBJECT
private Q_SLOTS:
    void init() { setUp(); }
    void cleanup() { tearDown(); }
    void fullInstallWalksTheRows()
    {
        serveArchive(StandInRuntime::servingScript());
        signIn();
        RowRecorder recorder(*m_state->install());
        QSignalSpy loading(m_state->install(), &InstallPhase::isRunningChanged);
        // The button stays disabled through the tool scan, until the configure screen.
        QList<bool> loadingWhileScanning;
        connect(m_state->configuration(), &AgentConfiguration::isDetectingToolsChanged, this,
            [this, &loadingWhileScanning] { loadingWhileScanning << m_state->install()->isRunning(); });

        QVERIFY(runInstall());
        QCOMPARE(recorder.rows,
            (QStringList { u"ollama downloading"_s, u"ollama installing"_s, u"ollama installed"_s,
                u"cli installing"_s, u"cli installed"_s, u"keychain installed"_s, u"machine installing"_s,
                u"machine installed"_s, u"model download starts"_s }));
        QCOMPARE(recorder.fractions.first(), 0.0);
        QVERIFY(recorder.fractions.size() > 1);
        QVERIFY(std::is_sorted(recorder.fractions.cbegin(), recorder.fractions.cend()));
        QCOMPARE(loading.size(), 2);
        QCOMPARE(loadingWhileScanning, (QList<bool> { true, true }));
        QCOMPARE(m_state->install()->errorMessage(), QString());

        QCOMPARE(m_state->currentScreen(), Screen::configure);
        QCOMPARE(m_state->configuration()->detectedTools()->count(), 1);
        QVERIFY(!QFile::exists(CoreConstants::approverOnlyPath()));

        // The runtime serves; the machine is registered; the program starts at log-in.
        QCOMPARE(m_runtimeServer->mechanism(), ModelRuntimeServer::Mechanism::childProcess);
        QVERIFY(QCoro::waitFor(m_runtimeServer->answers()));
        QVERIFY(QCoro::waitFor(m_dependencies->isGemmaInstalled()));
        QVERIFY(m_auth->isConfigured());
        QVERIFY(m_loginItem->isRegistered());

        // The product tool was asked for the preparation, then the model download
        // (running on) and the scan.
        const QList<QStringList> calls = invocations();
        QCOMPARE(calls.size(), 3);
        QCOMPARE(calls[0], (QStringList { u"init"_s, u"--preflight"_s, u"--wizard"_s }));
        QVERIFY(calls.contains(QStringList { u"download-model"_s, u"--wizard"_s }));
        QVERIFY(calls.contains(QStringList { u"scan"_s, u"--format"_s, u"json"_s }));

        // The model download goes on after the screen and its process is kept.
        QVERIFY(m_state->install()->modelDownload()->process());
        QTRY_VERIFY_WITH_TIMEOUT(m_state->install()->modelDownload()->llmDownloadComplete(), 10000);
        QCOMPARE(m_state->install()->modelDownload()->llmDownloadProgress(), 1.0);
        QTRY_VERIFY(m_state->install()->modelDownload()->process()->isFinished());
    }

    void failureRows_data()
    {
        QTest::addColumn<QString>("failure");
        QTest::addColumn<QString>("row"); // the row that shows it
        QTest::addColumn<QString>("message"); // its message (a prefix for the system's own texts)
        QTest::addColumn<bool>("stops"); // stays on the install screen
        QTest::addColumn<QString>("errorMessage"); // what the screen shows under the button

        // The runtime is optional: its failure, whichever (the installer's tests
        // have them all), stays on its row.
        QTest::newRow("runtime download")
            << u"download"_s << u"ollama"_s << u"Download failed: bad status"_s << false << QString();
        QTest::newRow("nobody answers at the runtime's address")
            << u"unreachable"_s << u"ollama"_s << u"Connection refused"_s << false << QString();
        const QString exited = u"CLI exited with code 1"_s;
        QTest::newRow("preparation fails") << u"preflight"_s << u"cli"_s << exited << true << exited;
        QTest::newRow("error event, then success")
            << u"errorEvent"_s << u"cli"_s << QString() << false << u"Keychain is slow"_s;
        QTest::newRow("error event without a message")
            << u"bareErrorEvent"_s << u"cli"_s << QString() << false << u"Installation failed"_s;
        QTest::newRow("login item refused") << u"loginItem"_s << QString() << QString() << false << QString();
    }

    void failureRows()
    {
        QFETCH(QString, failure);
        QFETCH(QString, row);
        QFETCH(QString, message);
        QFETCH(bool, stops);
        QFETCH(QString, errorMessage);

        const bool runtime = row == u"ollama"_s;
        serveArchive(StandInRuntime::servingScript(), failure == u"download"_s ? "404 Not Found" : "200 OK");
        if (failure == u"unreachable"_s)
            m_dependencies->setOllamaArchiveURL(
                QUrl(u"http://127.0.0.1:%1/ollama.tgz"_s.arg(StandInRuntime::freePort())));
        if (failure == u"preflight"_s)
            writeScenario(
                u"preflight"_s, { { u"exitCode"_s, 1 }, { u"errorMessage"_s, u"Keychain locked"_s } });
        if (failure == u"errorEvent"_s)
            writeScenario(u"preflight"_s, { { u"errorMessage"_s, u"Keychain is slow"_s } });
        if (failure == u"bareErrorEvent"_s)
            writeScenario(
                u"preflight"_s, { { u"rawOutput"_s, u"{\"type\":\"error\"}\n{\"type\":\"complete\"}\n"_s } });
        if (failure == u"loginItem"_s)
            QVERIFY(TestFiles::write(m_machine->home.filePath(u".config"_s), "a file, not a folder"));
        signIn();
        m_state->install()->chooseInstallLLM(runtime);
        LogCapture log;

        QVERIFY(runInstall());
        QCOMPARE(m_state->install()->errorMessage(), errorMessage);
        QCOMPARE(m_state->currentScreen(), stops ? Screen::install : Screen::configure);
        if (!row.isEmpty()) {
            const DependencyStatus status = row == u"ollama"_s ? m_state->install()->ollamaStatus()
                : row == u"cli"_s                              ? m_state->install()->cliStatus()
                                                               : m_state->install()->machineStatus();
            if (failure == u"errorEvent"_s || failure == u"bareErrorEvent"_s) {
                QCOMPARE(status, DependencyStatus::installed());
            } else {
                QCOMPARE(status.kind(), DependencyStatus::Kind::failed);
                QVERIFY2(status.message().startsWith(message) && !status.message().isEmpty(),
                    qPrintable(status.message()));
                // The runtime's row says the model can come later, and the choice stays.
                if (runtime) {
                    QVERIFY2(status.message().endsWith(laterHint), qPrintable(status.message()));
                    QVERIFY(m_state->install()->installLLM());
                }
            }
        }
        if (stops) {
            // Nothing after the failing step ran.
            QCOMPARE(m_state->install()->machineStatus(), DependencyStatus::missing());
            QCOMPARE(m_state->install()->modelDownload()->llmDownloading(), false);
            QVERIFY(!m_loginItem->isRegistered());
            if (runtime)
                QCOMPARE(m_state->install()->cliStatus(), DependencyStatus::missing());
        } else {
            QCOMPARE(m_state->install()->machineStatus(), DependencyStatus::installed());
            // The model download needs a working runtime.
            QVERIFY(!m_state->install()->modelDownload()->llmDownloading() && !m_state->install()->modelDownload()->llmDownloadComplete());
        }
        const QStringList loginLines = log.lines().filter(u"Login item registration failed: "_s);
        if (failure == u"loginItem"_s) {
            QCOMPARE(loginLines.size(), 1);
            QVERIFY(loginLines.first().startsWith(u"Quorvane: Login item registration failed: "_s));
            QVERIFY(!m_loginItem->isRegistered());
        } else {
            QCOMPARE(loginLines.size(), 0);
        }
    }

    void failedRegistrationStopsOnTheInstallScreen_data()
    {
        QTest::addColumn<int>("status"); // 0: the session is refused, nothing injected
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("approver");
        QTest::addColumn<bool>("loaded"); // another account's identity is loaded before
        QTest::newRow("500, approval device") << 500 << R"({"error":"down"})"_ba << true << false;
        QTest::newRow("unusable id, set up for another account")
            << 200 << R"({"machine_id":"","user_id":"u"})"_ba << false << true;
        QTest::newRow("refused session, set up for another account") << 0 << QByteArray() << true << true;
    }

    // Without a machine identity neither the configure nor the done screen follows; the button retries.
    void failedRegistrationStopsOnTheInstallScreen()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(bool, approver);
        QFETCH(bool, loaded);
        const QString other = u"carol@example.com"_s;
        if (loaded)
            QVERIFY(!QCoro::waitFor(m_auth->registerMachine(
                m_machine->backend.createUser(other).value("session_token"_L1).toString(), other)));
        const std::optional<QString> previousId = m_auth->machineId();
        signIn();
        if (status)
            QVERIFY(m_machine->backend.inject("POST", u"/machines/register"_s, status, body));
        else
            WizardTestAccess::signIn(*m_state->account(), u"not-a-session"_s, email);
        m_state->install()->chooseApproverOnly(approver);
        m_state->install()->chooseInstallLLM(false);

        QVERIFY(runInstall());
        QCOMPARE(m_state->currentScreen(), Screen::install);
        QCOMPARE(m_state->install()->machineStatus().kind(), DependencyStatus::Kind::failed);
        QVERIFY(!m_state->install()->errorMessage().isEmpty());
        QCOMPARE(m_state->install()->machineStatus().message(), m_state->install()->errorMessage());
        QVERIFY(!QFile::exists(CoreConstants::approverOnlyPath()));
        QVERIFY(!m_loginItem->isRegistered());
        QCOMPARE(invocations().size(), 1); // the preparation only: no scan
        QCOMPARE(m_auth->isConfigured(), loaded);
        QCOMPARE(m_auth->machineId(), previousId);
        if (!status)
            return;

        // Retry runs the phase again; the back-end answers this time.
        QVERIFY(runInstall());
        QCOMPARE(m_state->install()->errorMessage(), QString());
        QCOMPARE(m_state->install()->machineStatus(), DependencyStatus::installed());
        QCOMPARE(*m_auth->userId(), email);
        QCOMPARE(m_state->currentScreen(), approver ? Screen::done : Screen::configure);
        QCOMPARE(QFile::exists(CoreConstants::approverOnlyPath()), approver);
    }

    void pressingAgainStartsOver()
    {
        writeScenario(u"preflight"_s, { { u"exitCode"_s, 2 } });
        signIn();
        m_state->install()->chooseInstallLLM(false);
        QVERIFY(runInstall());
        QCOMPARE(m_state->install()->cliStatus(), DependencyStatus::failed(u"CLI exited with code 2"_s));
        QCOMPARE(m_state->install()->errorMessage(), u"CLI exited with code 2"_s);
        QCOMPARE(m_state->currentScreen(), Screen::install);

        // The tool works now; the button runs the whole phase again from step 1.
        writeScenario({});
        RowRecorder recorder(*m_state->install());
        QSignalSpy errors(m_state->install(), &InstallPhase::errorMessageChanged);
        QSignalSpy loading(m_state->install(), &InstallPhase::isRunningChanged);
        m_state->install()->start();
        QVERIFY(m_state->install()->isRunning());
        QCOMPARE(m_state->install()->errorMessage(), QString());
        // A second press while it runs starts nothing more.
        m_state->install()->start();
        QTRY_COMPARE_WITH_TIMEOUT(m_state->currentScreen(), Screen::configure, 20000);
        QCOMPARE(recorder.rows,
            (QStringList { u"cli installing"_s, u"cli installed"_s, u"keychain installed"_s,
                u"machine installing"_s, u"machine installed"_s }));
        QCOMPARE(errors.size(), 1);
        QCOMPARE(loading.size(), 2);
        int preparations = 0;
        for (const QStringList& call : invocations())
            preparations += call.contains(u"--preflight"_s) ? 1 : 0;
        QCOMPARE(preparations, 2);
    }

    void approvalDeviceSkipsRuntimeModelAndScan()
    {
        signIn();
        m_state->install()->chooseApproverOnly(true);
        QCOMPARE(m_state->install()->installLLM(), false);
        QCOMPARE(m_state->install()->discoverMcpServers(), false);

        QVERIFY(runInstall());
        QCOMPARE(m_state->install()->machineStatus(), DependencyStatus::installed());
        QCOMPARE(m_state->currentScreen(), Screen::done);
        QVERIFY(QFileInfo(CoreConstants::approverOnlyPath()).isFile());
        QCOMPARE(QFileInfo(CoreConstants::approverOnlyPath()).size(), 0);
        QCOMPARE(TestFiles::modeOf(CoreConstants::machineDirectory()), 0700);
        QCOMPARE(m_state->install()->ollamaStatus(), DependencyStatus::missing());
        QCOMPARE(m_state->install()->modelDownload()->llmDownloading(), false);
        QCOMPARE(m_archives->requestCount(archivePath), 0);
        QCOMPARE(invocations().size(), 1);
    }

    void buildWithoutDigestOffersNoModelUnlessTheRuntimeIsThere()
    {
        serveArchive(StandInRuntime::servingScript());
        m_dependencies->setOllamaArchiveSHA256(QString());
        signIn();

        // The install screen: the model switch off, with the reason, and it stays off.
        const QString reason = m_dependencies->installBlockedReason().value_or(QString());
        QVERIFY(reason.contains(u"pins no digest"_s));
        QCOMPARE(m_state->install()->modelUnavailableReason(), reason);
        QVERIFY(!m_state->install()->installLLM());
        m_state->install()->chooseInstallLLM(true);
        QVERIFY(!m_state->install()->installLLM());

        // Asked anyway, the install refuses before fetching a byte.
        const CLIResult<DependencyStatus> refused
            = QCoro::waitFor(m_dependencies->installOllamaIfMissing({}));
        QVERIFY(!refused.ok());
        QCOMPARE(refused.error().description(), reason);
        QCOMPARE(m_archives->requestCount(archivePath), 0);

        // A runtime already present needs no digest: the model can be chosen, and
        // the install brings its server up (installing meanwhile) instead of
        // downloading, then starts the model download after the registration.
        QVERIFY(TestFiles::writeShellScript(m_prefix + u"/bin/ollama"_s, StandInRuntime::servingScript()));
        m_state->install()->showInstallScreen();
        QCOMPARE(m_state->install()->modelUnavailableReason(), QString());
        QCOMPARE(m_state->install()->ollamaStatus(), DependencyStatus::installed());
        m_state->install()->chooseInstallLLM(true);
        QVERIFY(m_state->install()->installLLM());
        RowRecorder recorder(*m_state->install());
        QVERIFY(runInstall());
        QCOMPARE(m_archives->requestCount(archivePath), 0);
        QVERIFY(QCoro::waitFor(m_runtimeServer->answers()));
        QCOMPARE(recorder.rows,
            (QStringList { u"ollama installing"_s, u"ollama installed"_s, u"cli installing"_s,
                u"cli installed"_s, u"keychain installed"_s, u"machine installing"_s, u"machine installed"_s,
                u"model download starts"_s }));
        QCOMPARE(m_state->currentScreen(), Screen::configure);
    }

    // "Cancel" stops the preparation under way and the button starts it over;
    // closing the wizard (its model goes) ends it too. The tool hangs and ignores SIGTERM.
    void cancellingOrClosingEndsThePreparation()
    {
        writeScenario(u"preflight"_s, { { u"hang"_s, true }, { u"ignoreTerminate"_s, true } });
        signIn();
        m_state->install()->chooseInstallLLM(false);
        m_state->install()->start();
        QVERIFY(m_state->install()->isRunning());
        QTRY_COMPARE(childProcessCount("quorvane"), 1);
        m_state->install()->cancel();
        QTRY_VERIFY(!m_state->install()->isRunning());
        QCOMPARE(childProcessCount("quorvane"), 0);
        QCOMPARE(m_state->install()->errorMessage(), u"Cancelled"_s);
        QCOMPARE(m_state->currentScreen(), Screen::install);

        m_state->install()->start();
        QTRY_COMPARE(childProcessCount("quorvane"), 1);
        m_state.reset();
        QTRY_COMPARE(childProcessCount("quorvane"), 0);
    }
};

QTEST_GUILESS_MAIN(TestInstallPhase)
#include "tst_InstallPhase.moc"
