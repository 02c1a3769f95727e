#include "app/shell/SingleInstance.h"
#include "tests/support/TestHome.h"

#include <QLocalSocket>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <future>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace std::chrono_literals;
using namespace Qt::StringLiterals;

namespace {

using Kind = SingleInstance::Message::Kind;
constexpr uid_t nobody = 65534;
const SingleInstance::Message callback { Kind::open,
    QUrl(QStringLiteral("quorvane://auth/callback?code=SECRET-CODE&state=s")) };

// A later start hands `message` over (its send blocks, so it runs beside the event
// loop that serves the listener), and the listener's `signal` fires once more.
bool handOver(const QString& runtime, const SingleInstance::Message& message, const QSignalSpy& signal)
{
    const qsizetype before = signal.size();
    std::future<bool> sent
        = std::async(std::launch::async, [&] { return SingleInstance(runtime).send(message); });
    return QTest::qWaitFor(
               [&] { return signal.size() == before + 1 && sent.wait_for(0s) == std::future_status::ready; },
               5000)
        && sent.get();
}

int modeOf(const QString& path)
{
    struct stat info
    {
    };
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 ? int(info.st_mode & 07777) : -1;
}

// A listener of another user: a forked child that binds `socketPath` (making its folder
// first when `makeFolder`), takes the uid of nobody before it listens (so that the kernel
// records nobody as the listener), answers every connection with "ok\n" like a companion
// would, and passes on every byte it reads through a pipe. Killed by its pid when it goes.
class ForeignListener
{
public:
    ForeignListener(const QString& socketPath, bool makeFolder)
    {
        int fds[2];
        if (::pipe(fds) != 0)
            return;
        m_pid = ::fork();
        if (m_pid == 0) {
            ::close(fds[0]);
            serve(QFile::encodeName(socketPath), makeFolder, fds[1]);
            ::_exit(1);
        }
        ::close(fds[1]);
        m_received = fds[0];
        ::fcntl(m_received, F_SETFL, O_NONBLOCK);
    }
    ~ForeignListener()
    {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
        if (m_received >= 0)
            ::close(m_received);
    }
    // The child reports "L" once it listens.
    bool waitUntilListening()
    {
        return QTest::qWaitFor([this] { return !received(false).isNull(); }, 5000) && m_heard.startsWith('L');
    }
    // What connections sent it, after the "L".
    QByteArray received(bool afterTheL = true)
    {
        char buffer[512];
        ssize_t count = 0;
        while ((count = ::read(m_received, buffer, sizeof buffer)) > 0)
            m_heard.append(buffer, count);
        return afterTheL ? m_heard.mid(1) : m_heard;
    }

private:
    static void serve(const QByteArray& path, bool makeFolder, int out)
    {
        // A client that leaves before the answer must not end the listener.
        ::signal(SIGPIPE, SIG_IGN);
        const auto becomeNobody = [] { return ::setgid(nobody) == 0 && ::setuid(nobody) == 0; };
        if (makeFolder
            && (!becomeNobody() || ::mkdir(path.left(path.lastIndexOf('/')).constData(), 0700) != 0))
            return;
        const int server = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address {};
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
        if (server < 0 || ::bind(server, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
            return;
        if ((!makeFolder && !becomeNobody()) || ::listen(server, 8) != 0 || ::write(out, "L", 1) != 1)
            return;
        for (;;) {
            const int client = ::accept(server, nullptr, nullptr);
            if (client < 0)
                continue;
            (void)!::write(client, "ok\n", 3);
            char buffer[512];
            ssize_t count = 0;
            pollfd wait { client, POLLIN, 0 };
            while (::poll(&wait, 1, 1000) > 0 && (count = ::read(client, buffer, sizeof buffer)) > 0)
                (void)!::write(out, buffer, size_t(count));
            ::close(client);
        }
    }

    pid_t m_pid = -1;
    int m_received = -1;
    QByteArray m_heard;
};

} // namespace

// One companion per user: the wire form, the hand-over, and where the socket lives and whom
// it talks to: never a folder or a listener of another user, never a path too long for a socket.
class TestSingleInstance : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void decode_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<QString>("url"); // empty: "reopen"; "-": "show-pending"
        QTest::newRow("reopen") << QByteArray("reopen\n") << true << QString();
        QTest::newRow("show pending") << QByteArray("show-pending\n") << true << u"-"_s;
        QTest::newRow("show pending twice") << QByteArray("show-pending\nshow-pending\n") << false << QString();
        QTest::newRow("callback") << QByteArray("open quorvane://auth/callback?code=abc\n") << true
                                  << QStringLiteral("quorvane://auth/callback?code=abc");
        QTest::newRow("escaped callback") << QByteArray("open quorvane://auth/callback?code=a%20b\n") << true
                                          << QStringLiteral("quorvane://auth/callback?code=a%20b");
        QTest::newRow("no newline") << QByteArray("reopen") << false << QString();
        QTest::newRow("two lines") << QByteArray("reopen\nreopen\n") << false << QString();
        QTest::newRow("other scheme")
            << QByteArray("open https://example.com/?code=1\n") << false << QString();
        QTest::newRow("file url") << QByteArray("open file:///etc/passwd\n") << false << QString();
        QTest::newRow("space inside url") << QByteArray("open quorvane://a b\n") << false << QString();
        QTest::newRow("control byte") << QByteArray("open quorvane://a\x01\n") << false << QString();
        QTest::newRow("non-ascii") << QByteArray("open quorvane://\xc3\xa9\n") << false << QString();
        QTest::newRow("approve is not a request") << QByteArray("approve 123\n") << false << QString();
        QTest::newRow("empty") << QByteArray("\n") << false << QString();
        QTest::newRow("oversized") << QByteArray("open quorvane://x?code=" + QByteArray(5000, 'a') + "\n")
                                   << false << QString();
    }
    void decode()
    {
        QFETCH(QByteArray, line);
        QFETCH(bool, valid);
        QFETCH(QString, url);
        const auto message = SingleInstance::decode(line);
        QCOMPARE(message.has_value(), valid);
        if (message) {
            const SingleInstance::Message expected = url == u"-"_s ? SingleInstance::Message { Kind::showPending, {} }
                : url.isEmpty() ? SingleInstance::Message { Kind::reopen, {} }
                                : SingleInstance::Message { Kind::open, QUrl(url) };
            QCOMPARE(*message, expected);
            QCOMPARE(SingleInstance::encode(*message), line);
        }
        // A URL of another scheme is never put on the wire.
        QVERIFY(SingleInstance::encode({ Kind::open, QUrl(u"http://x/"_s) }).isEmpty());
    }

    // A second start hands its request over; a file left at the socket path by a crashed
    // instance is replaced.
    void secondInstanceHandsOver()
    {
        QTemporaryDir runtime;
        {
            SingleInstance crashed(runtime.path());
            QVERIFY(crashed.listen());
        }
        QFile stale(SingleInstance(runtime.path()).socketPath());
        QVERIFY(stale.open(QIODevice::WriteOnly));
        stale.close();
        SingleInstance first(runtime.path());
        QVERIFY2(first.listen(), qPrintable(first.errorString()));
        QCOMPARE(modeOf(first.folderPath()), 0700);
        SingleInstance second(runtime.path());
        QVERIFY(!second.listen());
        QVERIFY(second.anotherInstanceRuns());

        QSignalSpy urls(&first, &SingleInstance::urlReceived);
        QSignalSpy reopens(&first, &SingleInstance::reopenRequested);
        QVERIFY(handOver(runtime.path(), callback, urls));
        QCOMPARE(urls.first().first().toUrl(), callback.url);
        QVERIFY(handOver(runtime.path(), { Kind::reopen, {} }, reopens));
        QCOMPARE(urls.size(), 1);
    }

    // Anything but one whole request closes the connection, idle ones close when their time is up
    // and no more than the cap stay open; nothing is acted on, and a proper request is still served.
    void hostileAndIdleConnectionsAreDropped()
    {
        QTemporaryDir runtime;
        SingleInstance server(runtime.path());
        QVERIFY(server.listen());
        QSignalSpy urls(&server, &SingleInstance::urlReceived);
        QSignalSpy reopens(&server, &SingleInstance::reopenRequested);
        for (const QByteArray& payload :
            { QByteArray("open https://evil.example/\n"), QByteArray("respond 1 approved\n"),
                QByteArray(SingleInstance::maximumMessageSize + 10, 'x') }) {
            QLocalSocket socket;
            socket.connectToServer(server.socketPath());
            QVERIFY(socket.waitForConnected(2000));
            socket.write(payload);
            socket.flush();
            // At once, not at the end of the connection's time.
            QTRY_COMPARE_WITH_TIMEOUT(socket.state(), QLocalSocket::UnconnectedState, 2000);
        }
        server.setConnectionDeadline(300);
        std::vector<std::unique_ptr<QLocalSocket>> idle;
        for (int i = 0; i < SingleInstance::maximumConnections + 4; ++i) {
            idle.push_back(std::make_unique<QLocalSocket>());
            idle.back()->connectToServer(server.socketPath());
            QVERIFY(idle.back()->waitForConnected(2000));
            if (i == 0)
                idle.back()->write("reop");
        }
        QTRY_COMPARE(server.openConnections(), SingleInstance::maximumConnections);
        QTRY_COMPARE_WITH_TIMEOUT(server.openConnections(), 0, 3000);
        for (const auto& socket : idle)
            QTRY_COMPARE(socket->state(), QLocalSocket::UnconnectedState);
        QCOMPARE(urls.size(), 0);
        QCOMPARE(reopens.size(), 0);
        QVERIFY(handOver(runtime.path(), { Kind::reopen, {} }, reopens));
    }

    // A runtime folder that is a planted link, is ours but loose, is too long for a socket
    // address, or is not set: the folder under the home is used, and made private.
    void unusableRuntimeFoldersAreUnderHome()
    {
        TestHome home;
        const QString underHome = home.filePath(QStringLiteral(".quorvane/run"));
        QTemporaryDir linked;
        QVERIFY(QFile::link(QDir::tempPath(), QDir(linked.path()).filePath(QStringLiteral("quorvane"))));
        QTemporaryDir loose;
        QVERIFY(QDir(loose.path()).mkdir(QStringLiteral("quorvane")));
        QVERIFY(
            QFile::setPermissions(loose.filePath(QStringLiteral("quorvane")), QFile::Permissions(0x7777)));
        QTemporaryDir runtime;
        QString deep = runtime.path();
        while (deep.size() < 120)
            deep += QStringLiteral("/abcdefghijklmnopqrstuvwxyz");
        QVERIFY(QDir().mkpath(deep));
        QVERIFY(!SingleInstance::socketPathFits(deep + QStringLiteral("/quorvane")));
        const QByteArray previous = qgetenv("XDG_RUNTIME_DIR");
        qunsetenv("XDG_RUNTIME_DIR");
        const auto restore = qScopeGuard([&] { qputenv("XDG_RUNTIME_DIR", previous); });

        for (const QString& folder : { linked.path(), loose.path(), deep, QString() }) {
            SingleInstance instance(folder);
            QCOMPARE(instance.folderPath(), underHome);
            if (folder == loose.path())
                QVERIFY(QFile::setPermissions(underHome, QFile::Permissions(0x7777)));
            QVERIFY2(instance.listen(), qPrintable(instance.errorString()));
            QCOMPARE(modeOf(underHome), 0700);
        }
        QVERIFY(!QFileInfo::exists(deep + QStringLiteral("/quorvane")));
        // The largest path that fits is taken as it is.
        const QString fitting = QStringLiteral("/") + QString(int(sizeof(sockaddr_un::sun_path)) - 13, u'x');
        QVERIFY(SingleInstance::socketPathFits(fitting));
        QVERIFY(!SingleInstance::socketPathFits(fitting + u'x'));
    }

    // Nothing goes to a listener of another user (nobody, made by a forked child that drops root).
    void listenersOfAnotherUserGetNothing()
    {
        if (::getuid() != 0)
            QSKIP("making a listener of another user needs root");
        TestHome home;
        // A shared runtime folder (like /tmp) where nobody already made "quorvane/": passed by.
        QTemporaryDir shared;
        QVERIFY(::chmod(QFile::encodeName(shared.path()).constData(), 01777) == 0);
        ForeignListener planted(shared.path() + QStringLiteral("/quorvane/app.socket"), true);
        QVERIFY(planted.waitUntilListening());
        SingleInstance first(shared.path());
        QCOMPARE(first.folderPath(), home.filePath(QStringLiteral(".quorvane/run")));
        QVERIFY2(first.listen(), qPrintable(first.errorString()));
        // A second start hands the callback to the first, not to nobody.
        QSignalSpy urls(&first, &SingleInstance::urlReceived);
        SingleInstance second(shared.path());
        QVERIFY(!second.listen());
        QVERIFY(second.anotherInstanceRuns());
        QVERIFY(handOver(shared.path(), callback, urls));
        QCOMPARE(urls.first().first().toUrl(), callback.url);

        // Our own private folder, where a process that became nobody listens: not taken for a
        // companion of ours, and nothing sent to it.
        QTemporaryDir runtime;
        const QString folder = runtime.path() + QStringLiteral("/quorvane");
        QVERIFY(QDir().mkdir(folder));
        QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        ForeignListener foreign(folder + QStringLiteral("/app.socket"), false);
        QVERIFY(foreign.waitUntilListening());
        SingleInstance instance(runtime.path());
        QCOMPARE(instance.folderPath(), folder);
        QVERIFY(!instance.listen());
        QVERIFY(!instance.anotherInstanceRuns());
        QVERIFY(!instance.send(callback));
        QVERIFY2(instance.errorString().contains(QStringLiteral("another user")),
            qPrintable(instance.errorString()));
        QTest::qWait(100);
        QCOMPARE(planted.received(), QByteArray());
        QCOMPARE(foreign.received(), QByteArray());
    }
};

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "tst_SingleInstance.moc"
