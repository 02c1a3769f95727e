#include "app/tooling/ModelRuntimeServer.h"
#include "tests/support/BackendProcess.h"
#include "tests/support/ChildProcesses.h"
#include "tests/support/StandInRuntime.h"
#include "tests/support/TestFiles.h"

#include <QFile>
#include <QNetworkAccessManager>
#include <QTemporaryDir>
#include <QTest>

#include <qcorotask.h>

#include <csignal>

using namespace std::chrono_literals;

// The runtime's server started for real: a stand-in runtime whose "serve" is
// the reference back-end on the requested port, as a child process or through
// a stand-in systemctl that starts it the way the user manager would.
class TestModelRuntimeServer : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void childProcessServes();
    void alreadyAnswering();
    void failures_data();
    void failures();
    void userUnit();
    void userUnitRefusedFallsBackToChild();
    void unitQuotesTheCommand();

private:
    QString writeScript(const QString& name, const QByteArray& body);
    std::unique_ptr<ModelRuntimeServer> makeServer(const QString& systemctl = {});
    QStringList systemctlCalls() const;
    void stopUnitServer();

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<QNetworkAccessManager> m_network;
    QString m_runtime;
    quint16 m_port = 0;
};

void TestModelRuntimeServer::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_network = std::make_unique<QNetworkAccessManager>();
    m_runtime = writeScript(QStringLiteral("bin/ollama"), StandInRuntime::servingScript());
    m_port = StandInRuntime::freePort();
    QVERIFY(m_port != 0);
}

void TestModelRuntimeServer::cleanup()
{
    stopUnitServer();
    // No server child outlives its test.
    QTRY_COMPARE(childProcessCount(), 0);
    m_network.reset();
    m_dir.reset();
}

QString TestModelRuntimeServer::writeScript(const QString& name, const QByteArray& body)
{
    const QString path = m_dir->filePath(name);
    return TestFiles::writeShellScript(path, body) ? path : QString();
}

std::unique_ptr<ModelRuntimeServer> TestModelRuntimeServer::makeServer(const QString& systemctl)
{
    auto server = std::make_unique<ModelRuntimeServer>(m_network.get());
    server->setPort(m_port);
    server->setSystemctl(systemctl);
    server->setUnitDirectory(m_dir->filePath(QStringLiteral("units")));
    server->setReadyDeadline(10s);
    return server;
}

QStringList TestModelRuntimeServer::systemctlCalls() const
{
    return QString::fromUtf8(TestFiles::contentOf(m_dir->filePath(QStringLiteral("systemctl-calls"))))
        .split(u'\n', Qt::SkipEmptyParts);
}

void TestModelRuntimeServer::stopUnitServer()
{
    const QByteArray pid = TestFiles::contentOf(m_dir->filePath(QStringLiteral("unit-pid"))).trimmed();
    if (!pid.isEmpty())
        ::kill(pid_t(pid.toInt()), SIGTERM);
}

void TestModelRuntimeServer::childProcessServes()
{
    auto server = makeServer();
    QVERIFY(!QCoro::waitFor(server->answers()));
    const CLIResult<void> serving = QCoro::waitFor(server->ensureServing(m_runtime));
    QVERIFY2(serving.ok(), qPrintable(serving.ok() ? QString() : serving.error().description()));
    QCOMPARE(server->mechanism(), ModelRuntimeServer::Mechanism::childProcess);
    QVERIFY(QCoro::waitFor(server->answers()));
    QCOMPARE(childProcessCount("quorvane-backen"), 1);

    // Asked again, nothing more is started.
    QVERIFY(QCoro::waitFor(server->ensureServing(m_runtime)).ok());
    QCOMPARE(childProcessCount("quorvane-backen"), 1);

    // The companion ending ends its child.
    server.reset();
    QTRY_COMPARE(childProcessCount(), 0);
}

void TestModelRuntimeServer::alreadyAnswering()
{
    BackendProcess running;
    QVERIFY2(running.isRunning(), qPrintable(running.lastError()));
    m_port = running.port();
    auto server = makeServer();
    // Nothing is started: not even a command that does not exist is tried.
    const CLIResult<void> serving = QCoro::waitFor(server->ensureServing(m_dir->filePath(QStringLiteral("none"))));
    QVERIFY(serving.ok());
    QCOMPARE(server->mechanism(), ModelRuntimeServer::Mechanism::alreadyAnswering);
}

void TestModelRuntimeServer::failures_data()
{
    QTest::addColumn<QByteArray>("script"); // empty: the command does not exist
    QTest::addColumn<QString>("messageStart");
    QTest::newRow("never answers") << QByteArray("exec sleep 30\n")
                                   << QStringLiteral("Ollama server did not answer on 127.0.0.1:%1 within 1 s");
    QTest::newRow("ends at once") << QByteArray("exit 3\n")
                                  << QStringLiteral("Ollama server could not start: it ended with status 3");
    QTest::newRow("missing command") << QByteArray() << QStringLiteral("Ollama server could not start: exec");
}

void TestModelRuntimeServer::failures()
{
    QFETCH(QByteArray, script);
    QFETCH(QString, messageStart);
    const QString command = script.isEmpty() ? m_dir->filePath(QStringLiteral("gone/ollama"))
                                             : writeScript(QStringLiteral("broken/ollama"), script);
    auto server = makeServer();
    server->setReadyDeadline(1s);
    const CLIResult<void> serving = QCoro::waitFor(server->ensureServing(command));
    QVERIFY(!serving.ok());
    const QString message = serving.error().description();
    QVERIFY2(message.startsWith(messageStart.contains(QLatin1String("%1")) ? messageStart.arg(m_port) : messageStart),
             qPrintable(message));
    // A server that never answered is not left running.
    QTRY_COMPARE(childProcessCount("sleep"), 0);
}

void TestModelRuntimeServer::userUnit()
{
    // The stand-in starts the unit's server the way the user manager would:
    // detached from us, with the unit's environment.
    const QString calls = m_dir->filePath(QStringLiteral("systemctl-calls"));
    const QString pidFile = m_dir->filePath(QStringLiteral("unit-pid"));
    const QByteArray systemctlScript = "echo \"$*\" >> '" + QFile::encodeName(calls)
        + "'\n"
          "if [ \"$2\" = restart ]; then\n"
          "  OLLAMA_HOST=127.0.0.1:"
        + QByteArray::number(m_port) + " setsid '" + QFile::encodeName(m_runtime)
        + "' serve </dev/null >/dev/null 2>&1 &\n"
          "  echo $! > '"
        + QFile::encodeName(pidFile) + "'\nfi\nexit 0\n";
    auto server = makeServer(writeScript(QStringLiteral("systemctl"), systemctlScript));

    const CLIResult<void> serving = QCoro::waitFor(server->ensureServing(m_runtime));
    QVERIFY2(serving.ok(), qPrintable(serving.ok() ? QString() : serving.error().description()));
    QCOMPARE(server->mechanism(), ModelRuntimeServer::Mechanism::userUnit);
    QCOMPARE(systemctlCalls(), (QStringList{QStringLiteral("--user show-environment"),
                                            QStringLiteral("--user daemon-reload"),
                                            QStringLiteral("--user enable quorvane-ollama.service"),
                                            QStringLiteral("--user restart quorvane-ollama.service")}));
    QCOMPARE(server->unitPath(), m_dir->filePath(QStringLiteral("units/quorvane-ollama.service")));
    const QString unit = QString::fromUtf8(TestFiles::contentOf(server->unitPath()));
    QCOMPARE(unit, server->unitText(m_runtime));
    QVERIFY(unit.contains(QStringLiteral("ExecStart=\"") + m_runtime + QStringLiteral("\" serve\n")));
    QVERIFY(unit.contains(QStringLiteral("Environment=OLLAMA_HOST=127.0.0.1:") + QString::number(m_port)));
    QVERIFY(unit.contains(QStringLiteral("WantedBy=default.target")));
    QVERIFY(QCoro::waitFor(server->answers()));
    // The unit's server is the user manager's, not our child.
    QCOMPARE(childProcessCount("quorvane-backen"), 0);
}

void TestModelRuntimeServer::userUnitRefusedFallsBackToChild()
{
    const QString calls = m_dir->filePath(QStringLiteral("systemctl-calls"));
    const QByteArray refusing = "echo \"$*\" >> '" + QFile::encodeName(calls)
        + "'\n[ \"$2\" = show-environment ] && exit 0\nexit 1\n";
    auto server = makeServer(writeScript(QStringLiteral("systemctl"), refusing));
    QVERIFY(QCoro::waitFor(server->ensureServing(m_runtime)).ok());
    QCOMPARE(server->mechanism(), ModelRuntimeServer::Mechanism::childProcess);
    QCOMPARE(systemctlCalls().size(), 2);

    // Without a user manager systemctl is asked nothing more.
    const QString unitPath = server->unitPath();
    server.reset();
    QTRY_COMPARE(childProcessCount(), 0);
    QFile::remove(calls);
    QFile::remove(unitPath);
    auto noManager = makeServer(writeScript(QStringLiteral("systemctl"),
                                            "echo \"$*\" >> '" + QFile::encodeName(calls) + "'\nexit 1\n"));
    QVERIFY(QCoro::waitFor(noManager->ensureServing(m_runtime)).ok());
    QCOMPARE(noManager->mechanism(), ModelRuntimeServer::Mechanism::childProcess);
    QCOMPARE(systemctlCalls(), QStringList{QStringLiteral("--user show-environment")});
    QVERIFY(!QFile::exists(noManager->unitPath()));
}

void TestModelRuntimeServer::unitQuotesTheCommand()
{
    ModelRuntimeServer server(m_network.get());
    const QString unit = server.unitText(QStringLiteral("/opt/my \"AI\" 100%/bin\\ollama"));
    QVERIFY2(unit.contains(QStringLiteral("ExecStart=\"/opt/my \\\"AI\\\" 100%%/bin\\\\ollama\" serve\n")),
             qPrintable(unit));
    QVERIFY(unit.contains(QStringLiteral("Environment=OLLAMA_HOST=127.0.0.1:11434\n")));
}

QTEST_GUILESS_MAIN(TestModelRuntimeServer)
#include "tst_ModelRuntimeServer.moc"
