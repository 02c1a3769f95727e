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

using namespace Qt::StringLiterals;
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
        return writeScript(u"systemctl"_s,
            "echo \"$*\" >> '" + QFile::encodeName(m_dir->filePath(u"systemctl-calls"_s)) + "'\n" + body);
    }
    QStringList systemctlCalls() const
    {
        return QString::fromUtf8(TestFiles::contentOf(m_dir->filePath(u"systemctl-calls"_s)))
            .split(u'\n', Qt::SkipEmptyParts);
    }
    std::unique_ptr<ModelRuntimeServer> makeServer(const QString& systemctl = {})
    {
        auto server = std::make_unique<ModelRuntimeServer>(&*m_network);
        server->setPort(m_port);
        server->setSystemctl(systemctl);
        server->setUnitDirectory(m_dir->filePath(u"units"_s));
        server->setReadyDeadline(10s);
        return server;
    }

private Q_SLOTS:
    void init()
    {
        m_dir.emplace();
        m_network.emplace();
        m_runtime = writeScript(u"bin/ollama"_s, StandInRuntime::servingScript());
        m_port = StandInRuntime::freePort();
        QVERIFY(m_port != 0);
    }
    void cleanup()
    {
        const QByteArray unitPid = TestFiles::contentOf(m_dir->filePath(u"unit-pid"_s)).trimmed();
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
        QTest::newRow("lower-case gemma") << lower << u"local"_s << true << true;
        QTest::newRow("capital only")
            << QByteArray("NAME   ID\nGemma4:e4b  1234\n") << u"local"_s << true << false;
        QTest::newRow("undecodable output") << QByteArray("gemma \xff\xfe\n") << u"local"_s << true << false;
        QTest::newRow("runtime only in the system folder") << lower << u"usr"_s << true << true;
        QTest::newRow("no runtime") << lower << u"none"_s << false << false;
        QTest::newRow("runtime that hangs") << QByteArray("HANG") << u"local"_s << true << false;
    }
    void presenceChecks()
    {
        QFETCH(QByteArray, listOutput);
        QFETCH(QString, where);
        QFETCH(bool, runtime);
        QFETCH(bool, gemma);
        const QString local = m_dir->filePath(u"local/bin"_s);
        // The status is not examined.
        const QByteArray body = listOutput == "HANG"
            ? QByteArray("exec sleep 60\n")
            : "[ \"$1\" = list ] || exit 2\nprintf '%s' '" + listOutput + "'\nexit 1\n";
        if (where != QLatin1String("none"))
            writeScript(where + u"/bin/ollama"_s, body);
        else // a file that is not executable does not count
            QVERIFY(TestFiles::write(local + u"/ollama"_s, body));
        CLIService cli;
        DependencyService service(&*m_network, &cli);
        service.setKnownPaths({ local, m_dir->filePath(u"usr/bin"_s) });
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
        QVERIFY(QCoro::waitFor(server->ensureServing(m_dir->filePath(u"none"_s))).ok());
        QCOMPARE(server->mechanism(), ModelRuntimeServer::Mechanism::alreadyAnswering);
    }

    void failures_data()
    {
        QTest::addColumn<QByteArray>("script"); // empty: the command does not exist
        QTest::addColumn<QString>("messageStart");
        QTest::newRow("never answers")
            << QByteArray("exec sleep 30\n") << u"Ollama server did not answer on 127.0.0.1:%1 within 1 s"_s;
        QTest::newRow("ends at once")
            << QByteArray("exit 3\n") << u"Ollama server could not start: it ended with status 3"_s;
        QTest::newRow("missing command") << QByteArray() << u"Ollama server could not start: exec"_s;
    }
    void failures()
    {
        QFETCH(QByteArray, script);
        QFETCH(QString, messageStart);
        const QString command
            = script.isEmpty() ? m_dir->filePath(u"gone/ollama"_s) : writeScript(u"broken/ollama"_s, script);
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
            + QFile::encodeName(m_dir->filePath(u"unit-pid"_s)) + "'\nfi\nexit 0\n"));
        const CLIResult<void> serving = QCoro::waitFor(server->ensureServing(m_runtime));
        QVERIFY2(serving.ok(), qPrintable(serving.ok() ? QString() : serving.error().description()));
        QCOMPARE(server->mechanism(), ModelRuntimeServer::Mechanism::userUnit);
        QCOMPARE(systemctlCalls(),
            (QStringList { u"--user show-environment"_s, u"--user daemon-reload"_s,
                u"--user enable quorvane-ollama.service"_s, u"--user restart quorvane-ollama.service"_s }));
        QCOMPARE(server->unitPath(), m_dir->filePath(u"units/quorvane-ollama.service"_s));
        const QString unit = QString::fromUtf8(TestFiles::contentOf(server->unitPath()));
        QCOMPARE(unit, server->unitText(m_runtime));
        QVERIFY(unit.contains(u"Environment=OLLAMA_HOST=127.0.0.1:"_s + QString::number(m_port)));
        QVERIFY(unit.contains(u"WantedBy=default.target"_s));
        QVERIFY(QCoro::waitFor(server->answers()));
        // The unit's server is the user manager's, not our child.
        QCOMPARE(childProcessCount("quorvane-backen"), 0);

        // The command is quoted for systemd.
        const QString odd = server->unitText(u"/opt/my \"AI\" 100%/bin\\ollama"_s);
        QVERIFY2(
            odd.contains(u"ExecStart=\"/opt/my \\\"AI\\\" 100%%/bin\\\\ollama\" serve\n"_s), qPrintable(odd));
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
        QFile::remove(m_dir->filePath(u"systemctl-calls"_s));
        QFile::remove(unitPath);
        auto noManager = makeServer(writeSystemctl("exit 1\n"));
        QVERIFY(QCoro::waitFor(noManager->ensureServing(m_runtime)).ok());
        QCOMPARE(noManager->mechanism(), ModelRuntimeServer::Mechanism::childProcess);
        QCOMPARE(systemctlCalls(), QStringList { u"--user show-environment"_s });
        QVERIFY(!QFile::exists(noManager->unitPath()));
    }
};

QTEST_GUILESS_MAIN(TestModelRuntimeServer)
#include "tst_ModelRuntimeServer.moc"
