#include "app/tooling/ModelRuntimeServer.h"
#include "platform/LoopbackListeners.h"

#include <QNetworkAccessManager>
#include <QTcpServer>
#include <QTest>
#include <qcorotask.h>

#include <arpa/inet.h>
#include <csignal>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

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
            if (::bind(listener, reinterpret_cast<sockaddr*>(&address), length) != 0 || ::listen(listener, 8) != 0
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

// The runtime's loopback port is taken as ours only when our own account
// listens there: the kernel's socket tables name each listener's owner.
class TestRuntimePortOwner : public QObject
{
    Q_OBJECT
private Q_SLOTS:
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
        const QByteArray tcp = "  sl  local_address rem_address   st tx_queue rx_queue tr tm->when retrnsmt   uid\n"
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
        const CLIResult<void> serving = QCoro::waitFor(server.ensureServing(QStringLiteral("/bin/true")));
        QVERIFY(!serving);
        QCOMPARE(serving.error().description(),
            QStringLiteral("Another user's program answers on 127.0.0.1:%1; the local model runtime was not used")
                .arg(foreign.port()));
        QCOMPARE(server.mechanism(), ModelRuntimeServer::Mechanism::none);
    }
};

QTEST_GUILESS_MAIN(TestRuntimePortOwner)
#include "tst_RuntimePortOwner.moc"
