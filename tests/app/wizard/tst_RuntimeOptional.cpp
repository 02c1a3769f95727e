#include "app/tooling/CLIService.h"
#include "app/tooling/DependencyService.h"
#include "app/wizard/InstallPhase.h"
#include "app/wizard/WizardState.h"
#include "core/MachineAuthService.h"
#include "tests/support/BackendMachine.h"
#include "tests/support/ChildProcesses.h"
#include "tests/support/LoopbackHttpServer.h"
#include "tests/support/StandInRuntime.h"
#include "tests/support/StandInTool.h"
#include "tests/support/TestFiles.h"

#include <QNetworkAccessManager>
#include <QTemporaryDir>
#include <QTest>
#include <qcorotask.h>

namespace {

const QString someDigest = QStringLiteral("0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef");
const QString laterHint = QStringLiteral("You can install the local model later from the dashboard");

} // namespace

// The local model is optional on the first run: the install phase goes on
// without its runtime, a build that cannot install the runtime says so before
// anything is downloaded, and the runtime counts wherever it is installed.
// Against the stand-in tool, the reference back-end and real downloads.
class TestRuntimeOptional : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void unreachableRuntimeLeavesTheRestOfTheSetUp();
    void buildWithoutDigestOffersNoModel();
    void toolScanKeepsTheButtonDisabled();
    void runtimeFoundWhereInstalledAndOnPath();

private:
    void signIn();

    std::unique_ptr<BackendMachine> m_machine;
    std::unique_ptr<StandInTool> m_tool;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<QNetworkAccessManager> m_network;
    std::unique_ptr<MachineAuthService> m_auth;
    std::unique_ptr<CLIService> m_cli;
    std::unique_ptr<DependencyService> m_dependencies;
    std::unique_ptr<WizardState> m_state;
};

void TestRuntimeOptional::init()
{
    m_machine = std::make_unique<BackendMachine>(false);
    QVERIFY2(m_machine->backend.isRunning(), qPrintable(m_machine->backend.lastError()));
    m_tool = std::make_unique<StandInTool>();
    m_dir = std::make_unique<QTemporaryDir>();
    m_network = std::make_unique<QNetworkAccessManager>();
    m_auth = std::make_unique<MachineAuthService>(m_machine->store, *m_network, [] {
        return MachineAuthService::LocalMachine { QStringLiteral("0A1B2C3D-0000-4000-8000-000000000021"),
            QStringLiteral("desk") };
    });
    m_cli = std::make_unique<CLIService>(nullptr, [] { return StandInTool::executablePath(); });
    m_dependencies = std::make_unique<DependencyService>(m_network.get(), m_cli.get());
    m_dependencies->setMachineArchitecture(QStringLiteral("x86_64"));
    m_dependencies->setInstallPrefix(m_dir->filePath(QStringLiteral("prefix")));
    m_dependencies->setKnownPaths({ m_dir->filePath(QStringLiteral("elsewhere")) });
    m_state = std::make_unique<WizardState>();
    m_state->setCli(m_cli.get());
    m_state->installPhase().setServices({ m_cli.get(), m_dependencies.get(), m_auth.get(), nullptr });
}

void TestRuntimeOptional::cleanup()
{
    m_state.reset();
    m_dependencies.reset();
    m_cli.reset();
    m_auth.reset();
    m_network.reset();
    m_tool.reset();
    m_machine.reset();
    QTRY_COMPARE(childProcessCount(), 0);
    m_dir.reset();
}

void TestRuntimeOptional::signIn()
{
    const QString token = m_machine->backend.createUser(QStringLiteral("ada@example.com"))
                              .value(QLatin1String("session_token"))
                              .toString();
    QVERIFY(!token.isEmpty());
    m_state->setSessionToken(token);
    m_state->setCurrentScreen(WizardState::WizardScreen::install);
}

void TestRuntimeOptional::unreachableRuntimeLeavesTheRestOfTheSetUp()
{
    // No network: nobody answers where the runtime's archive would be.
    const quint16 closed = StandInRuntime::freePort();
    QVERIFY(closed != 0);
    m_dependencies->setOllamaArchiveURL(
        QUrl(QStringLiteral("http://127.0.0.1:%1/ollama-linux-amd64.tgz").arg(closed)));
    m_dependencies->setOllamaArchiveSHA256(someDigest);
    signIn();
    QVERIFY(m_state->installLLM());
    QCOMPARE(m_state->modelUnavailableReason(), QString());

    // One press of "Install & Continue" reaches the configure screen.
    QCoro::waitFor(m_state->installPhase().runInstall());
    QCOMPARE(m_state->currentScreen(), WizardState::WizardScreen::configure);
    QVERIFY(!m_state->isLoading());
    // The runtime row says what failed and that the model can come later; no
    // error lingers under the button, and the choice stays as it was.
    const DependencyStatus runtime = m_state->ollamaStatus();
    QCOMPARE(runtime.kind(), DependencyStatus::Kind::failed);
    QVERIFY2(
        runtime.message().startsWith(QStringLiteral("Connection refused")), qPrintable(runtime.message()));
    QVERIFY2(runtime.message().endsWith(laterHint), qPrintable(runtime.message()));
    QCOMPARE(m_state->errorMessage(), QString());
    QVERIFY(m_state->installLLM());
    // Everything else was done; no model download without a runtime.
    QCOMPARE(m_state->cliStatus(), DependencyStatus::installed());
    QCOMPARE(m_state->machineStatus(), DependencyStatus::installed());
    QVERIFY(!m_state->llmDownloading());
    QCOMPARE(m_machine->requestCount(QStringLiteral("POST"), QStringLiteral("/machines/register")), 1);
}

void TestRuntimeOptional::buildWithoutDigestOffersNoModel()
{
    LoopbackHttpServer archives;
    QVERIFY(archives.listen());
    const QString archivePath = QStringLiteral("/ollama-linux-amd64.tgz");
    archives.setResponse(archivePath, { "200 OK", QByteArray(4096, 'x'), true, 1, false });
    m_dependencies->setOllamaArchiveURL(archives.url(archivePath));
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
    QCOMPARE(archives.requestCount(archivePath), 0);

    // A runtime already present needs no digest: the model can be chosen.
    QVERIFY(TestFiles::writeShellScript(m_dir->filePath(QStringLiteral("prefix/bin/ollama")), "exit 0\n"));
    m_state->installPhase().showInstallScreen();
    QCOMPARE(m_state->modelUnavailableReason(), QString());
    m_state->setInstallLLM(true);
    QVERIFY(m_state->installLLM());
}

void TestRuntimeOptional::toolScanKeepsTheButtonDisabled()
{
    signIn();
    m_state->setInstallLLM(false);
    QList<bool> loadingWhileScanning;
    connect(m_state.get(), &WizardState::isDetectingToolsChanged, this,
        [this, &loadingWhileScanning] { loadingWhileScanning << m_state->isLoading(); });

    QCoro::waitFor(m_state->installPhase().runInstall());
    // The scan started and ended with the button still disabled; only then
    // does the configure screen come.
    QCOMPARE(loadingWhileScanning, (QList<bool> { true, true }));
    QCOMPARE(m_state->currentScreen(), WizardState::WizardScreen::configure);
    QVERIFY(!m_state->isLoading());
}

void TestRuntimeOptional::runtimeFoundWhereInstalledAndOnPath()
{
    const QByteArray lists = "[ \"$1\" = list ] || exit 2\nprintf 'NAME\\ngemma4:e4b  9.6 GB\\n'\n";
    // Where the install puts it (<prefix>/bin), with no known path holding it.
    QVERIFY(TestFiles::writeShellScript(m_dir->filePath(QStringLiteral("prefix/bin/ollama")), lists));
    QVERIFY(m_dependencies->isOllamaInstalled());
    QVERIFY(QCoro::waitFor(m_dependencies->isGemmaInstalled()));

    // On PATH, as a packaged or hand-installed runtime is.
    const QString onPath = m_dir->filePath(QStringLiteral("path-bin"));
    QVERIFY(TestFiles::writeShellScript(onPath + QStringLiteral("/ollama"), lists));
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(onPath) + ':' + path);
    DependencyService fromPath(m_network.get(), m_cli.get());
    qputenv("PATH", path);
    fromPath.setInstallPrefix(m_dir->filePath(QStringLiteral("nothing-here")));
    QCOMPARE(fromPath.ollamaCommand(), onPath + QStringLiteral("/ollama"));
    QVERIFY(QCoro::waitFor(fromPath.isGemmaInstalled()));
}

QTEST_GUILESS_MAIN(TestRuntimeOptional)
#include "tst_RuntimeOptional.moc"
