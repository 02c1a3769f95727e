#include "app/tooling/DependencyService.h"
#include "app/tooling/ModelRuntimeServer.h"
#include "tests/support/BackendProcess.h"
#include "tests/support/ChildProcesses.h"
#include "tests/support/StandInRuntime.h"
#include "tests/support/TestFiles.h"

#include <QFile>
#include <QNetworkAccessManager>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <qcorotask.h>

using namespace std::chrono_literals;

// The runtime on this machine: found, asked for its models, and its server
// started for real. The stand-in runtime's "serve" is the reference back-end
// on the requested port, as a child process or through a stand-in systemctl
// that starts it the way the user manager would.
class TestModelRuntimeServer : public QObject
{
    Q_OBJECT

    std::optional<QTemporaryDir> m_dir;
    std::optional<QNetworkAccessManager> m_network;
    QString m_runtime;
    quint16 m_port = 0;

    QString writeScript(const QString& name, const QByteArray& body)
    {
        const QString path = m_dir->filePath(name);
        return TestFiles::writeShellScript(path, body) ? path : QString();
    }
    // A stand-in systemctl that records its calls, then runs body.
    QString writeSystemctl(const QByteArray& body)
    {
        return writeScript(QStringLiteral("systemctl"),
            "echo \"$*\" >> '" + QFile::encodeName(m_dir->filePath(QStringLiteral("systemctl-calls"))) + "'\n"
                + body);
    }
    QStringList systemctlCalls() const
    {
        return QString::fromUtf8(TestFiles::contentOf(m_dir->filePath(QStringLiteral("systemctl-calls"))))
            .split(u'\n', Qt::SkipEmptyParts);
    }
    std::unique_ptr<ModelRuntimeServer> makeServer(const QString& systemctl = {})
    {
        auto server = std::make_unique<ModelRuntimeServer>(&*m_network);
        server->setPort(m_port);
        server->setSystemctl(systemctl);
        server->setUnitDirectory(m_dir->filePath(QStringLiteral("units")));
        server->setReadyDeadline(10s);
        return server;
    }

private Q_SLOTS:
    void init()
    {
        m_dir.emplace();
        m_network.emplace();
        m_runtime = writeScript(QStringLiteral("bin/ollama"), StandInRuntime::servingScript());
        m_port = StandInRuntime::freePort();
        QVERIFY(m_port != 0);
    }
    void cleanup()
    {
        const QByteArray unitPid
            = TestFiles::contentOf(m_dir->filePath(QStringLiteral("unit-pid"))).trimmed();
        if (!unitPid.isEmpty())
            ::kill(pid_t(unitPid.toInt()), SIGTERM);
        // No server child outlives its test.
        QTRY_COMPARE(childProcessCount(), 0);
        m_network.reset();
        m_dir.reset();
    }

    void presenceChecks_data()
    {
        QTest::addColumn<QByteArray>("listOutput"); // "HANG": the runtime never answers
        QTest::addColumn<QString>("where"); // "local", "usr" or "none"
        QTest::addColumn<bool>("runtime");
        QTest::addColumn<bool>("gemma");
        const QByteArray lower
            = "NAME            ID              SIZE      MODIFIED\ngemma4:e4b  1234  9.6 GB  2 days ago\n";
        QTest::newRow("lower-case gemma") << lower << QStringLiteral("local") << true << true;
        QTest::newRow("capital only")
            << QByteArray("NAME   ID\nGemma4:e4b  1234\n") << QStringLiteral("local") << true << false;
        QTest::newRow("undecodable output")
            << QByteArray("gemma \xff\xfe\n") << QStringLiteral("local") << true << false;
        QTest::newRow("runtime only in the system folder") << lower << QStringLiteral("usr") << true << true;
        QTest::newRow("no runtime") << lower << QStringLiteral("none") << false << false;
        QTest::newRow("runtime that hangs") << QByteArray("HANG") << QStringLiteral("local") << true << false;
    }
    void presenceChecks()
    {
        QFETCH(QByteArray, listOutput);
        QFETCH(QString, where);
        QFETCH(bool, runtime);
        QFETCH(bool, gemma);
        const QString local = m_dir->filePath(QStringLiteral("local/bin"));
        // The status is not examined.
        const QByteArray body = listOutput == "HANG"
            ? QByteArray("exec sleep 60\n")
            : "[ \"$1\" = list ] || exit 2\nprintf '%s' '" + listOutput + "'\nexit 1\n";
        if (where != QLatin1String("none"))
            writeScript(where + QStringLiteral("/bin/ollama"), body);
        else // a file that is not executable does not count
            QVERIFY(TestFiles::write(local + QStringLiteral("/ollama"), body));
        CLIService cli;
        DependencyService service(&*m_network, &cli);
        service.setKnownPaths({ local, m_dir->filePath(QStringLiteral("usr/bin")) });
        service.setModelQueryTimeout(300);
        QCOMPARE(service.isOllamaInstalled(), runtime);
        QCOMPARE(QCoro::waitFor(service.isGemmaInstalled()), gemma);
    }

    void childProcessServes()
    {
        auto server = makeServer();
        QVERIFY(!QCoro::waitFor(server->answers()));
        const CLIResult<void> serving = QCoro::waitFor(server->ensureServing(m_runtime));
        QVERIFY2(serving.ok(), qPrintable(serving.ok() ? QString() : serving.error().description()));
        QCOMPARE(server->mechanism(), ModelRuntimeServer::Mechanism::childProcess);
        QVERIFY(QCoro::waitFor(server->answers()));
        // Asked again, nothing more is started.
        QVERIFY(QCoro::waitFor(server->ensureServing(m_runtime)).ok());
        QCOMPARE(childProcessCount("quorvane-backen"), 1);
        // The companion ending ends its child.
        server.reset();
        QTRY_COMPARE(childProcessCount(), 0);

        // A server already answering: nothing is started, not even a command that does not exist.
        BackendProcess running;
        QVERIFY2(running.isRunning(), qPrintable(running.lastError()));
        m_port = running.port();
        server = makeServer();
        QVERIFY(QCoro::waitFor(server->ensureServing(m_dir->filePath(QStringLiteral("none")))).ok());
        QCOMPARE(server->mechanism(), ModelRuntimeServer::Mechanism::alreadyAnswering);
    }

    void failures_data()
    {
        QTest::addColumn<QByteArray>("script"); // empty: the command does not exist
        QTest::addColumn<QString>("messageStart");
        QTest::newRow("never answers") << QByteArray(
            "exec sleep 30\n") << QStringLiteral("Ollama server did not answer on 127.0.0.1:%1 within 1 s");
        QTest::newRow("ends at once") << QByteArray(
            "exit 3\n") << QStringLiteral("Ollama server could not start: it ended with status 3");
        QTest::newRow("missing command")
            << QByteArray() << QStringLiteral("Ollama server could not start: exec");
    }
    void failures()
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
        QVERIFY2(message.startsWith(
                     messageStart.contains(QLatin1String("%1")) ? messageStart.arg(m_port) : messageStart),
            qPrintable(message));
        // A server that never answered is not left running.
        QTRY_COMPARE(childProcessCount("sleep"), 0);
    }

    void userUnit()
    {
        // The stand-in starts the unit's server the way the user manager would:
        // detached from us, with the unit's environment.
        auto server = makeServer(writeSystemctl("if [ \"$2\" = restart ]; then\n  OLLAMA_HOST=127.0.0.1:"
            + QByteArray::number(m_port) + " setsid '" + QFile::encodeName(m_runtime)
            + "' serve </dev/null >/dev/null 2>&1 &\n  echo $! > '"
            + QFile::encodeName(m_dir->filePath(QStringLiteral("unit-pid"))) + "'\nfi\nexit 0\n"));
        const CLIResult<void> serving = QCoro::waitFor(server->ensureServing(m_runtime));
        QVERIFY2(serving.ok(), qPrintable(serving.ok() ? QString() : serving.error().description()));
        QCOMPARE(server->mechanism(), ModelRuntimeServer::Mechanism::userUnit);
        QCOMPARE(systemctlCalls(),
            (QStringList { QStringLiteral("--user show-environment"), QStringLiteral("--user daemon-reload"),
                QStringLiteral("--user enable quorvane-ollama.service"),
                QStringLiteral("--user restart quorvane-ollama.service") }));
        QCOMPARE(server->unitPath(), m_dir->filePath(QStringLiteral("units/quorvane-ollama.service")));
        const QString unit = QString::fromUtf8(TestFiles::contentOf(server->unitPath()));
        QCOMPARE(unit, server->unitText(m_runtime));
        QVERIFY(
            unit.contains(QStringLiteral("Environment=OLLAMA_HOST=127.0.0.1:") + QString::number(m_port)));
        QVERIFY(unit.contains(QStringLiteral("WantedBy=default.target")));
        QVERIFY(QCoro::waitFor(server->answers()));
        // The unit's server is the user manager's, not our child.
        QCOMPARE(childProcessCount("quorvane-backen"), 0);

        // The command is quoted for systemd.
        const QString odd = server->unitText(QStringLiteral("/opt/my \"AI\" 100%/bin\\ollama"));
        QVERIFY2(odd.contains(QStringLiteral("ExecStart=\"/opt/my \\\"AI\\\" 100%%/bin\\\\ollama\" serve\n")),
            qPrintable(odd));
    }

    void userUnitRefusedFallsBackToChild()
    {
        auto server = makeServer(writeSystemctl("[ \"$2\" = show-environment ] && exit 0\nexit 1\n"));
        QVERIFY(QCoro::waitFor(server->ensureServing(m_runtime)).ok());
        QCOMPARE(server->mechanism(), ModelRuntimeServer::Mechanism::childProcess);
        QCOMPARE(systemctlCalls().size(), 2);

        // Without a user manager systemctl is asked nothing more.
        const QString unitPath = server->unitPath();
        server.reset();
        QTRY_COMPARE(childProcessCount(), 0);
        QFile::remove(m_dir->filePath(QStringLiteral("systemctl-calls")));
        QFile::remove(unitPath);
        auto noManager = makeServer(writeSystemctl("exit 1\n"));
        QVERIFY(QCoro::waitFor(noManager->ensureServing(m_runtime)).ok());
        QCOMPARE(noManager->mechanism(), ModelRuntimeServer::Mechanism::childProcess);
        QCOMPARE(systemctlCalls(), QStringList { QStringLiteral("--user show-environment") });
        QVERIFY(!QFile::exists(noManager->unitPath()));
    }
};

QTEST_GUILESS_MAIN(TestModelRuntimeServer)
#include "tst_ModelRuntimeServer.moc"
