#include "tests/app/wizard/InstallPhaseFixture.h"

using namespace std::chrono_literals;
using namespace InstallPhaseRows;

namespace {

using Screen = WizardState::WizardScreen;
const QString laterHint = QStringLiteral(". You can install the local model later from the dashboard");

} // namespace

// The install phase; the local model is optional: the phase goes on without its runtime.
class TestInstallPhase : public QObject, private InstallPhaseFixture
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(QFileInfo(StandInTool::executablePath()).isExecutable(),
            qPrintable(StandInTool::executablePath()));
    }
    void init() { setUp(); }
    void cleanup() { tearDown(); }
    void fullInstallWalksTheRows();
    void failureRows_data();
    void failureRows();
    void pressingAgainStartsOver();
    void approvalDeviceSkipsRuntimeModelAndScan();
    void buildWithoutDigestOffersNoModelUnlessTheRuntimeIsThere();
    void runtimeFoundOnPath();
    void cancellingOrClosingEndsThePreparation();
};

void TestInstallPhase::fullInstallWalksTheRows()
{
    serveArchive(StandInRuntime::servingScript());
    signIn();
    QCOMPARE(m_state->ollamaStatus(), DependencyStatus::missing());
    RowRecorder recorder(*m_state);
    QSignalSpy loading(m_state.get(), &WizardState::isLoadingChanged);
    // The button stays disabled through the tool scan, until the configure screen.
    QList<bool> loadingWhileScanning;
    connect(m_state.get(), &WizardState::isDetectingToolsChanged, this,
        [this, &loadingWhileScanning] { loadingWhileScanning << m_state->isLoading(); });

    QVERIFY(runInstall());
    QCOMPARE(recorder.rows,
        (QStringList { QStringLiteral("ollama downloading"), QStringLiteral("ollama installing"),
            QStringLiteral("ollama installed"), QStringLiteral("cli installing"),
            QStringLiteral("cli installed"), QStringLiteral("keychain installed"),
            QStringLiteral("machine installing"), QStringLiteral("machine installed"),
            QStringLiteral("model download starts") }));
    QCOMPARE(recorder.fractions.first(), 0.0);
    QVERIFY(recorder.fractions.size() > 1);
    QVERIFY(std::is_sorted(recorder.fractions.cbegin(), recorder.fractions.cend()));
    QCOMPARE(loading.size(), 2);
    QCOMPARE(loadingWhileScanning, (QList<bool> { true, true }));
    QCOMPARE(m_state->errorMessage(), QString());

    // Ends on the configure screen with the stand-in's detected tool.
    QCOMPARE(m_state->currentScreen(), Screen::configure);
    QCOMPARE(m_state->detectedTools()->count(), 1);
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
    QCOMPARE(calls[0],
        (QStringList { QStringLiteral("init"), QStringLiteral("--preflight"), QStringLiteral("--wizard") }));
    QVERIFY(calls.contains(QStringList { QStringLiteral("download-model"), QStringLiteral("--wizard") }));
    QVERIFY(calls.contains(
        QStringList { QStringLiteral("scan"), QStringLiteral("--format"), QStringLiteral("json") }));

    // The model download goes on after the screen and its process is kept.
    QVERIFY(m_state->llmProcess());
    QTRY_VERIFY_WITH_TIMEOUT(m_state->llmDownloadComplete(), 10000);
    QCOMPARE(m_state->llmDownloadProgress(), 1.0);
    QTRY_VERIFY(m_state->llmProcess()->isFinished());
}

void TestInstallPhase::failureRows_data()
{
    QTest::addColumn<QString>("failure");
    QTest::addColumn<QString>("row"); // the row that shows it
    QTest::addColumn<QString>("message"); // its message (a prefix for the system's own texts)
    QTest::addColumn<bool>("stops"); // stays on the install screen
    QTest::addColumn<QString>("errorMessage"); // what the screen shows under the button

    // The runtime is optional: its failure, whichever (the installer's tests
    // have them all), stays on its row.
    QTest::newRow("runtime download") << QStringLiteral("download") << QStringLiteral("ollama")
                                      << QStringLiteral("Download failed: bad status") << false << QString();
    QTest::newRow("nobody answers at the runtime's address")
        << QStringLiteral("unreachable") << QStringLiteral("ollama") << QStringLiteral("Connection refused")
        << false << QString();
    const QString exited = QStringLiteral("CLI exited with code 1");
    QTest::newRow("preparation fails")
        << QStringLiteral("preflight") << QStringLiteral("cli") << exited << true << exited;
    QTest::newRow("error event, then success") << QStringLiteral("errorEvent") << QStringLiteral("cli")
                                               << QString() << false << QStringLiteral("Keychain is slow");
    QTest::newRow("error event without a message")
        << QStringLiteral("bareErrorEvent") << QStringLiteral("cli") << QString() << false
        << QStringLiteral("Installation failed");
    QTest::newRow("login item refused")
        << QStringLiteral("loginItem") << QString() << QString() << false << QString();
}

void TestInstallPhase::failureRows()
{
    QFETCH(QString, failure);
    QFETCH(QString, row);
    QFETCH(QString, message);
    QFETCH(bool, stops);
    QFETCH(QString, errorMessage);

    const bool runtime = row == QLatin1String("ollama");
    serveArchive(
        StandInRuntime::servingScript(), failure == QLatin1String("download") ? "404 Not Found" : "200 OK");
    if (failure == QLatin1String("unreachable"))
        m_dependencies->setOllamaArchiveURL(
            QUrl(QStringLiteral("http://127.0.0.1:%1/ollama.tgz").arg(StandInRuntime::freePort())));
    if (failure == QLatin1String("preflight"))
        writeScenario({ { QStringLiteral("preflight"),
            QJsonObject { { QStringLiteral("exitCode"), 1 },
                { QStringLiteral("errorMessage"), QStringLiteral("Keychain locked") } } } });
    if (failure == QLatin1String("errorEvent"))
        writeScenario({ { QStringLiteral("preflight"),
            QJsonObject { { QStringLiteral("errorMessage"), QStringLiteral("Keychain is slow") } } } });
    if (failure == QLatin1String("bareErrorEvent"))
        writeScenario({ { QStringLiteral("preflight"),
            QJsonObject { { QStringLiteral("rawOutput"),
                QStringLiteral("{\"type\":\"error\"}\n{\"type\":\"complete\"}\n") } } } });
    if (failure == QLatin1String("loginItem"))
        QVERIFY(
            TestFiles::write(m_machine->home.filePath(QStringLiteral(".config")), "a file, not a folder"));
    signIn();
    m_state->setInstallLLM(runtime);
    LogCapture log;

    QVERIFY(runInstall());
    QCOMPARE(m_state->errorMessage(), errorMessage);
    QCOMPARE(m_state->currentScreen(), stops ? Screen::install : Screen::configure);
    if (!row.isEmpty()) {
        const DependencyStatus status = row == QLatin1String("ollama") ? m_state->ollamaStatus()
            : row == QLatin1String("cli")                              ? m_state->cliStatus()
                                                                       : m_state->machineStatus();
        if (failure == QLatin1String("errorEvent") || failure == QLatin1String("bareErrorEvent")) {
            QCOMPARE(status, DependencyStatus::installed());
        } else {
            QCOMPARE(status.kind(), DependencyStatus::Kind::failed);
            QVERIFY2(status.message().startsWith(message) && !status.message().isEmpty(),
                qPrintable(status.message()));
            // The runtime's row says the model can come later, and the choice stays.
            if (runtime) {
                QVERIFY2(status.message().endsWith(laterHint), qPrintable(status.message()));
                QVERIFY(m_state->installLLM());
            }
        }
    }
    if (stops) {
        // Nothing after the failing step ran.
        QCOMPARE(m_state->machineStatus(), DependencyStatus::missing());
        QCOMPARE(m_state->llmDownloading(), false);
        QVERIFY(!m_loginItem->isRegistered());
        if (runtime)
            QCOMPARE(m_state->cliStatus(), DependencyStatus::missing());
    } else {
        QCOMPARE(m_state->machineStatus().kind(), DependencyStatus::Kind::installed);
        // The model download needs a working runtime.
        QVERIFY(!m_state->llmDownloading() && !m_state->llmDownloadComplete());
    }
    const QStringList loginLines = log.lines().filter(QStringLiteral("Login item registration failed: "));
    if (failure == QLatin1String("loginItem")) {
        QCOMPARE(loginLines.size(), 1);
        QVERIFY(loginLines.first().startsWith(QStringLiteral("Quorvane: Login item registration failed: ")));
        QVERIFY(!m_loginItem->isRegistered());
    } else {
        QCOMPARE(loginLines.size(), 0);
    }
}

void TestInstallPhase::pressingAgainStartsOver()
{
    writeScenario({ { QStringLiteral("preflight"), QJsonObject { { QStringLiteral("exitCode"), 2 } } } });
    signIn();
    m_state->setInstallLLM(false);
    QVERIFY(runInstall());
    QCOMPARE(m_state->cliStatus(), DependencyStatus::failed(QStringLiteral("CLI exited with code 2")));
    QCOMPARE(m_state->errorMessage(), QStringLiteral("CLI exited with code 2"));
    QCOMPARE(m_state->currentScreen(), Screen::install);

    // The tool works now; the button runs the whole phase again from step 1.
    writeScenario({});
    RowRecorder recorder(*m_state);
    QSignalSpy errors(m_state.get(), &WizardState::errorMessageChanged);
    QSignalSpy loading(m_state.get(), &WizardState::isLoadingChanged);
    m_state->runInstall();
    QVERIFY(m_state->isLoading());
    QCOMPARE(m_state->errorMessage(), QString());
    // A second press while it runs starts nothing more.
    m_state->runInstall();
    QTRY_COMPARE_WITH_TIMEOUT(m_state->currentScreen(), Screen::configure, 20000);
    QCOMPARE(recorder.rows,
        (QStringList { QStringLiteral("cli installing"), QStringLiteral("cli installed"),
            QStringLiteral("keychain installed"), QStringLiteral("machine installing"),
            QStringLiteral("machine installed") }));
    QCOMPARE(errors.size(), 1);
    QCOMPARE(loading.size(), 2);
    int preparations = 0;
    for (const QStringList& call : invocations())
        preparations += call.contains(QStringLiteral("--preflight")) ? 1 : 0;
    QCOMPARE(preparations, 2);
}

void TestInstallPhase::approvalDeviceSkipsRuntimeModelAndScan()
{
    signIn();
    m_state->setApproverOnly(true);
    QCOMPARE(m_state->installLLM(), false);
    QCOMPARE(m_state->discoverMcpServers(), false);

    QVERIFY(runInstall());
    QCOMPARE(m_state->machineStatus(), DependencyStatus::installed());
    QCOMPARE(m_state->isApproverOnly(), true);
    QCOMPARE(m_state->currentScreen(), Screen::done);
    QVERIFY(QFileInfo(CoreConstants::approverOnlyPath()).isFile());
    QCOMPARE(QFileInfo(CoreConstants::approverOnlyPath()).size(), 0);
    QCOMPARE(TestFiles::modeOf(CoreConstants::machineDirectory()), 0700);
    // No runtime, no model, no scan.
    QCOMPARE(m_state->ollamaStatus(), DependencyStatus::missing());
    QCOMPARE(m_state->llmDownloading(), false);
    QCOMPARE(m_archives->requestCount(archivePath), 0);
    QCOMPARE(invocations().size(), 1);
}

void TestInstallPhase::buildWithoutDigestOffersNoModelUnlessTheRuntimeIsThere()
{
    serveArchive(StandInRuntime::servingScript());
    m_dependencies->setOllamaArchiveSHA256(QString());
    signIn();

    // The install screen: the model switch off, with the reason, and it stays off.
    const QString reason = m_dependencies->installBlockedReason().value_or(QString());
    QVERIFY(reason.contains(QStringLiteral("pins no digest")));
    QCOMPARE(m_state->modelUnavailableReason(), reason);
    QVERIFY(!m_state->installLLM());
    m_state->setInstallLLM(true);
    QVERIFY(!m_state->installLLM());

    // Asked anyway, the install refuses before fetching a byte.
    const CLIResult<DependencyStatus> refused = QCoro::waitFor(m_dependencies->installOllamaIfMissing({}));
    QVERIFY(!refused.ok());
    QCOMPARE(refused.error().description(), reason);
    QCOMPARE(m_archives->requestCount(archivePath), 0);

    // A runtime already present needs no digest: the model can be chosen, and
    // the install brings its server up (installing meanwhile) instead of
    // downloading, then starts the model download after the registration.
    QVERIFY(TestFiles::writeShellScript(
        m_prefix + QStringLiteral("/bin/ollama"), StandInRuntime::servingScript()));
    m_state->installPhase().showInstallScreen();
    QCOMPARE(m_state->modelUnavailableReason(), QString());
    QCOMPARE(m_state->ollamaStatus(), DependencyStatus::installed());
    m_state->setInstallLLM(true);
    QVERIFY(m_state->installLLM());
    RowRecorder recorder(*m_state);
    QVERIFY(runInstall());
    QCOMPARE(m_archives->requestCount(archivePath), 0);
    QVERIFY(QCoro::waitFor(m_runtimeServer->answers()));
    QCOMPARE(recorder.rows,
        (QStringList { QStringLiteral("ollama installing"), QStringLiteral("ollama installed"),
            QStringLiteral("cli installing"), QStringLiteral("cli installed"),
            QStringLiteral("keychain installed"), QStringLiteral("machine installing"),
            QStringLiteral("machine installed"), QStringLiteral("model download starts") }));
    QCOMPARE(m_state->currentScreen(), Screen::configure);
}

void TestInstallPhase::runtimeFoundOnPath()
{
    // As a packaged or hand-installed runtime is.
    const QString onPath = m_dir->filePath(QStringLiteral("path-bin"));
    QVERIFY(TestFiles::writeShellScript(onPath + QStringLiteral("/ollama"),
        "[ \"$1\" = list ] || exit 2\nprintf 'NAME\\ngemma4:e4b  9.6 GB\\n'\n"));
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(onPath) + ':' + path);
    DependencyService fromPath(m_network.get(), m_cli.get());
    qputenv("PATH", path);
    fromPath.setInstallPrefix(m_dir->filePath(QStringLiteral("nothing-here")));
    QCOMPARE(fromPath.ollamaCommand(), onPath + QStringLiteral("/ollama"));
    QVERIFY(QCoro::waitFor(fromPath.isGemmaInstalled()));
}

// "Cancel" stops the preparation under way and the button starts it over;
// closing the wizard (its model goes) ends it too. The tool hangs and ignores SIGTERM.
void TestInstallPhase::cancellingOrClosingEndsThePreparation()
{
    writeScenario({ { QStringLiteral("preflight"),
        QJsonObject { { QStringLiteral("hang"), true }, { QStringLiteral("ignoreTerminate"), true } } } });
    signIn();
    m_state->setInstallLLM(false);
    m_state->runInstall();
    QVERIFY(m_state->isLoading());
    QTRY_COMPARE(childProcessCount("quorvane"), 1);
    m_state->cancelInstall();
    QTRY_VERIFY(!m_state->isLoading());
    QCOMPARE(childProcessCount("quorvane"), 0);
    QCOMPARE(m_state->errorMessage(), QStringLiteral("Cancelled"));
    QCOMPARE(m_state->currentScreen(), Screen::install);
    QVERIFY(!m_state->installPhase().isRunning());

    m_state->runInstall();
    QTRY_COMPARE(childProcessCount("quorvane"), 1);
    m_state.reset();
    QTRY_COMPARE(childProcessCount("quorvane"), 0);
}

QTEST_GUILESS_MAIN(TestInstallPhase)
#include "tst_InstallPhase.moc"
