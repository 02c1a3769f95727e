#pragma once

#include "app/tooling/CLIProcess.h"
#include "app/tooling/CLIService.h"
#include "app/tooling/DependencyService.h"
#include "app/tooling/ModelRuntimeServer.h"
#include "app/wizard/InstallPhase.h"
#include "app/wizard/WizardState.h"
#include "tests/app/wizard/WizardTestAccess.h"
#include "core/CoreConstants.h"
#include "core/MachineAuthService.h"
#include "platform/PkexecPrivilegedRunner.h"
#include "platform/XdgAutostartLoginItem.h"
#include "tests/support/BackendMachine.h"
#include "tests/support/ChildProcesses.h"
#include "tests/support/LogCapture.h"
#include "tests/support/LoopbackHttpServer.h"
#include "tests/support/PackedTree.h"
#include "tests/support/StandInRuntime.h"
#include "tests/support/StandInTool.h"
#include "tests/support/TestFiles.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <QMetaEnum>
#include <QNetworkAccessManager>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <qcorotask.h>

using namespace Qt::StringLiterals;

namespace InstallPhaseRows {

const QString archivePath = u"/download/ollama-linux-amd64.tgz"_s;
const QString email = u"ada@example.com"_s;

// The install screen's rows as they change, one entry per change ("ollama
// downloading"); the many fractions of one download count once.
struct RowRecorder
{
    QObject context;
    QStringList rows;
    QList<double> fractions;

    explicit RowRecorder(InstallPhase& install)
    {
        const auto watch = [&](auto changed, const char* name, auto getter) {
            QObject::connect(&install, changed, &context, [this, &install, name, getter] {
                const DependencyStatus status = (install.*getter)();
                if (status.kind() == DependencyStatus::Kind::downloading)
                    fractions.append(status.fraction());
                append(QLatin1String(name) + u' '
                    + QLatin1String(
                        QMetaEnum::fromType<DependencyStatus::Kind>().valueToKey(int(status.kind()))));
            });
        };
        watch(&InstallPhase::ollamaStatusChanged, "ollama", &InstallPhase::ollamaStatus);
        watch(&InstallPhase::cliStatusChanged, "cli", &InstallPhase::cliStatus);
        watch(&InstallPhase::credentialStoreStatusChanged, "keychain", &InstallPhase::credentialStoreStatus);
        watch(&InstallPhase::machineStatusChanged, "machine", &InstallPhase::machineStatus);
        ModelDownload* download = install.modelDownload();
        QObject::connect(download, &ModelDownload::llmDownloadingChanged, &context, [this, download] {
            if (download->llmDownloading())
                append(u"model download starts"_s);
        });
    }

    void append(const QString& row)
    {
        if (rows.isEmpty() || rows.last() != row)
            rows.append(row);
    }
};

} // namespace InstallPhaseRows

// The install phase against real peers: the stand-in product tool (a child
// process driven by a scenario file), the reference back-end for the machine's
// registration, a loopback server handing out a runtime archive that real tar
// unpacks through a stand-in for pkexec, the runtime's server as a real child
// (the back-end again, on a free port), and an autostart folder in the test home.
// The set-up run, the tool detection and the analysis use the same peers.
struct InstallPhaseFixture
{
    void setUp()
    {
        QVERIFY2(QFileInfo(StandInTool::executablePath()).isExecutable(),
            qPrintable(StandInTool::executablePath()));
        m_machine = std::make_unique<BackendMachine>(false);
        QVERIFY2(m_machine->backend.isRunning(), qPrintable(m_machine->backend.lastError()));
        m_dir = std::make_unique<QTemporaryDir>();
        m_prefix = m_dir->filePath(u"prefix"_s);
        m_network = std::make_unique<QNetworkAccessManager>();
        m_auth = std::make_unique<MachineAuthService>(m_machine->store, *m_network, [] {
            return MachineAuthService::LocalMachine { u"0A1B2C3D-0000-4000-8000-000000000017"_s, u"desk"_s };
        });
        m_archives = std::make_unique<LoopbackHttpServer>();
        QVERIFY(m_archives->listen());
        m_tool = std::make_unique<StandInTool>();
        writeScenario({});
        m_runtimeServer = std::make_unique<ModelRuntimeServer>(m_network.get());
        m_runtimeServer->setPort(StandInRuntime::freePort());
        m_runtimeServer->setSystemctl(QString());
        m_runtimeServer->setReadyDeadline(std::chrono::seconds(10));
        m_loginItem = std::make_unique<XdgAutostartLoginItem>(
            m_machine->home.filePath(u".config/autostart"_s), u"/opt/quorvane/bin/quorvane-app"_s);
        // The privileged runner runs the command as it is.
        const QString pkexec = m_dir->filePath(u"pkexec"_s);
        QVERIFY(TestFiles::writeShellScript(pkexec, "exec \"$@\"\n"));
        m_pkexec = std::make_unique<PkexecPrivilegedRunner>(pkexec);
        m_cli = std::make_unique<CLIService>(m_pkexec.get(), [] { return StandInTool::executablePath(); });
        m_dependencies = std::make_unique<DependencyService>(m_network.get(), m_cli.get(), m_runtimeServer.get());
        m_dependencies->setMachineArchitecture(u"x86_64"_s);
        m_dependencies->setOllamaArchiveURL(m_archives->url(InstallPhaseRows::archivePath));
        m_dependencies->setInstallPrefix(m_prefix);
        // The runtime is found where the install puts it; no known path holds it.
        m_dependencies->setKnownPaths({ m_dir->filePath(u"elsewhere"_s) });
        m_state = std::make_unique<WizardState>();
        m_state->setServices(
            { m_network.get(), m_cli.get(), m_dependencies.get(), m_auth.get(), m_loginItem.get(), {} });
    }

    void tearDown()
    {
        m_state.reset();
        m_loginItem.reset();
        m_dependencies.reset();
        m_runtimeServer.reset();
        m_cli.reset();
        m_pkexec.reset();
        m_archives.reset();
        m_auth.reset();
        m_network.reset();
        m_tool.reset();
        m_machine.reset();
        // Neither the model download nor the runtime's server outlives the test.
        QTRY_COMPARE(childProcessCount(), 0);
        m_dir.reset();
    }

    void writeScenario(const QJsonObject& scenario)
    {
        QJsonObject whole = scenario;
        whole.insert(u"defaults"_s, QJsonObject { { u"stepDelayMs"_s, 2 } });
        if (!whole.contains(u"download-model"_s))
            whole.insert(u"download-model"_s, QJsonObject { { u"stepDelayMs"_s, 20 } });
        QVERIFY(m_tool->writeScenario(whole));
    }

    void writeScenario(const QString& command, const QJsonObject& behaviour)
    {
        writeScenario(QJsonObject { { command, behaviour } });
    }

    void serveArchive(const QByteArray& runtimeScript, const QByteArray& status = "200 OK")
    {
        const QString staging = m_dir->filePath(u"staging"_s);
        QDir(staging).removeRecursively();
        QVERIFY(TestFiles::writeShellScript(staging + u"/bin/ollama"_s, runtimeScript));
        const QString archive = m_dir->filePath(u"runtime.tgz"_s);
        QFile::remove(archive);
        QVERIFY(packTree(staging, archive));
        const QByteArray body = TestFiles::contentOf(archive);
        m_dependencies->setOllamaArchiveSHA256(
            QString::fromLatin1(QCryptographicHash::hash(body, QCryptographicHash::Sha256).toHex()));
        m_archives->setResponse(InstallPhaseRows::archivePath, { status, body, true, 4, false });
    }

    void signIn()
    {
        const QString token
            = m_machine->backend.createUser(InstallPhaseRows::email).value(u"session_token"_s).toString();
        QVERIFY(!token.isEmpty());
        WizardTestAccess::signIn(*m_state->account(), token, InstallPhaseRows::email);
        WizardTestAccess::show(*m_state, WizardState::WizardScreen::install);
    }

    QList<QStringList> invocations() const
    {
        QList<QStringList> arguments;
        for (const StandInTool::Run& run : m_tool->runs())
            arguments << run.arguments;
        return arguments;
    }

    ModelDownload& download() { return *m_state->install()->modelDownload(); }

    bool runInstall()
    {
        QCoro::waitFor(m_state->install()->runInstall());
        return !m_state->install()->isRunning();
    }

    std::unique_ptr<BackendMachine> m_machine;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<StandInTool> m_tool;
    std::unique_ptr<QNetworkAccessManager> m_network;
    std::unique_ptr<MachineAuthService> m_auth;
    std::unique_ptr<LoopbackHttpServer> m_archives;
    std::unique_ptr<PkexecPrivilegedRunner> m_pkexec;
    std::unique_ptr<CLIService> m_cli;
    std::unique_ptr<ModelRuntimeServer> m_runtimeServer;
    std::unique_ptr<DependencyService> m_dependencies;
    std::unique_ptr<XdgAutostartLoginItem> m_loginItem;
    std::unique_ptr<WizardState> m_state;
    QString m_prefix;
};
