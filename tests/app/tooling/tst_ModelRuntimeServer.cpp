#include "app/tooling/DependencyService.h"
#include "app/tooling/ModelRuntimeServer.h"
#include "platform/LoopbackListeners.h"
#include "tests/app/tooling/CLIServiceFixture.h"
#include "tests/support/BackendProcess.h"
#include "tests/support/StandInRuntime.h"

#include <QNetworkAccessManager>
#include <QTcpServer>
#include <arpa/inet.h>
#include <csignal>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

// A child process of another account (nobody) serving HTTP on a loopback
// port: the way another user's program squats the runtime's port.
class ForeignServer
{
public:
    ForeignServer()
    {
        int ready[2];
        if (::getuid() != 0 || ::pipe(ready) != 0)
            return;
        m_pid = ::fork();
        if (m_pid == 0) {
            ::close(ready[0]);
            if (::setgid(65534) != 0 || ::setuid(65534) != 0)
                ::_exit(1);
            const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
            sockaddr_in address {};
            address.sin_family = AF_INET;
            address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            socklen_t length = sizeof address;
            if (::bind(listener, reinterpret_cast<sockaddr*>(&address), length) != 0
                || ::listen(listener, 8) != 0
                || ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0)
                ::_exit(1);
            const quint16 port = ntohs(address.sin_port);
            if (::write(ready[1], &port, sizeof port) != sizeof port)
                ::_exit(1);
            static const char answer[] = "HTTP/1.0 200 OK\r\nContent-Length: 2\r\n\r\nok";
            for (;;) {
                const int connection = ::accept(listener, nullptr, nullptr);
                char request[1024];
                if (connection >= 0 && ::read(connection, request, sizeof request) >= 0)
                    (void)!::write(connection, answer, sizeof answer - 1);
                ::close(connection);
            }
        }
        ::close(ready[1]);
        if (m_pid > 0 && ::read(ready[0], &m_port, sizeof m_port) != sizeof m_port)
            m_port = 0;
        ::close(ready[0]);
    }
    ~ForeignServer()
    {
        if (m_pid <= 0)
            return;
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
    }
    quint16 port() const { return m_port; }

private:
    pid_t m_pid = -1;
    quint16 m_port = 0;
};

} // namespace

// The runtime on this machine: found, asked for its models, and its server
// started for real. The stand-in runtime's "serve" is the reference back-end
// on the requested port, as a child process or through a stand-in systemctl
// that starts it the way the user manager would. The port is taken as ours only
// when our own account listens there: the kernel's socket tables name each
// listener's owner.
class TestModelRuntimeServer : public CLIServiceTestCase
{
    Q_OBJECT

    std::optional<QNetworkAccessManager> m_network;
    QString m_runtime;
    quint16 m_port = 0;

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
        CLIServiceTestCase::init();
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
        m_network.reset();
        CLIServiceTestCase::cleanup(); // no server child outlives its test
    }

    void presenceChecks_data()
    {
        QTest::addColumn<QByteArray>("listOutput"); // "HANG": the runtime never answers
        QTest::addColumn<QString>("where"); // "local", "usr", "path" or "none"
        QTest::addColumn<bool>("runtime");
        QTest::addColumn<bool>("gemma");
        const QByteArray lower
            = "NAME            ID              SIZE      MODIFIED\ngemma4:e4b  1234  9.6 GB  2 days ago\n";
        QTest::newRow("lower-case gemma") << lower << u"local"_s << true << true;
        QTest::newRow("capital only")
            << QByteArray("NAME   ID\nGemma4:e4b  1234\n") << u"local"_s << true << false;
        QTest::newRow("undecodable output") << QByteArray("gemma \xff\xfe\n") << u"local"_s << true << false;
        QTest::newRow("runtime only in the system folder") << lower << u"usr"_s << true << true;
        QTest::newRow("runtime on PATH, as a package installs it") << lower << u"path"_s << true << true;
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
        if (where != u"none"_s)
            writeScript(where + u"/bin/ollama"_s, body);
        else // a file that is not executable does not count
            QVERIFY(TestFiles::write(local + u"/ollama"_s, body));
        CLIService cli;
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", QFile::encodeName(m_dir->filePath(u"path/bin"_s)) + ':' + path);
        DependencyService service(&*m_network, &cli);
        qputenv("PATH", path);
        service.setInstallPrefix(m_dir->filePath(u"prefix"_s));
        if (where != u"path"_s)
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
        QVERIFY2(message.startsWith(messageStart.contains(u"%1"_s) ? messageStart.arg(m_port) : messageStart),
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

    void tablesNameTheListenersOwner()
    {
        QTcpServer v4;
        QVERIFY(v4.listen(QHostAddress::LocalHost));
        QCOMPARE(LoopbackListeners::ownersOf(v4.serverPort()), QList<uid_t> { ::getuid() });
        QTcpServer any;
        QVERIFY(any.listen(QHostAddress::Any)); // dual-stack: the IPv6 any-address
        QCOMPARE(LoopbackListeners::ownersOf(any.serverPort()), QList<uid_t> { ::getuid() });
        const quint16 closed = v4.serverPort();
        v4.close();
        QVERIFY(LoopbackListeners::ownersOf(closed).isEmpty());

#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
        // Words as the kernel prints them on this machine; only listening
        // sockets on loopback or any-addresses count, bad lines are skipped.
        const QByteArray tcp
            = "  sl  local_address rem_address   st tx_queue rx_queue tr tm->when retrnsmt   uid\n"
              "   0: 0100007F:2CA2 00000000:0000 0A 00000000:00000000 00:00000000 00000000  1000\n"
              "   1: 00000000:2CA2 00000000:0000 0A 00000000:00000000 00:00000000 00000000  1001\n"
              "   2: 0101A8C0:2CA2 00000000:0000 0A 00000000:00000000 00:00000000 00000000  1002\n"
              "   3: 0100007F:2CA2 0100007F:9C40 01 00000000:00000000 00:00000000 00000000  1003\n"
              "   4: 0100007F:2CA3 00000000:0000 0A 00000000:00000000 00:00000000 00000000  1004\n"
              "   5: 0100007G:2CA2 00000000:0000 0A 00000000:00000000 00:00000000 00000000  1005\n"
              "   6: 0100007F:2CA2 00000000:0000 0A\n";
        QCOMPARE(LoopbackListeners::ownersIn(tcp, 11426), (QList<uid_t> { 1000, 1001 }));
        const QByteArray tcp6 = "header\n"
                                " 0: 00000000000000000000000001000000:2CA2 0:0 0A 0:0 0:0 0 2000\n"
                                " 1: 0000000000000000FFFF00000100007F:2CA2 0:0 0A 0:0 0:0 0 2001\n"
                                " 2: 000080FE00000000FF0000000100FE00:2CA2 0:0 0A 0:0 0:0 0 2002\n";
        QCOMPARE(LoopbackListeners::ownersIn(tcp6, 11426), (QList<uid_t> { 2000, 2001 }));
#endif
    }

    void anotherUsersServerIsRefused()
    {
        ForeignServer foreign;
        if (foreign.port() == 0)
            QSKIP("needs root to serve as another account");
        QCOMPARE(LoopbackListeners::ownersOf(foreign.port()), QList<uid_t> { 65534 });

        QNetworkAccessManager network;
        ModelRuntimeServer server(&network);
        server.setPort(foreign.port());
        server.setSystemctl(QString());
        QVERIFY(QCoro::waitFor(server.answers()));
        const CLIResult<void> serving = QCoro::waitFor(server.ensureServing(u"/bin/true"_s));
        QVERIFY(!serving);
        QCOMPARE(serving.error().description(),
            u"Another user's program answers on 127.0.0.1:%1; the local model runtime was not used"_s.arg(
                foreign.port()));
        QCOMPARE(server.mechanism(), ModelRuntimeServer::Mechanism::none);
    }
};

QTEST_GUILESS_MAIN(TestModelRuntimeServer)
#include "tst_ModelRuntimeServer.moc"
