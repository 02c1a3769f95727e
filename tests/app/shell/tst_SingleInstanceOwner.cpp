#include "app/shell/SingleInstance.h"
#include "tests/support/TestHome.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <cstring>
#include <thread>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr uid_t nobody = 65534;

// A listener of another user: a forked child that binds `socketPath` (making
// its folder first when `makeFolder`), takes the uid of nobody before it
// listens (so that the kernel records nobody as the listener), answers every
// connection with "ok\n" like a companion would, and passes on every byte it
// reads through a pipe. Killed (by its pid) when the object goes.
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
        for (int i = 0; i < 500 && m_heard.isEmpty(); ++i) {
            drain();
            QTest::qWait(10);
        }
        return m_heard.startsWith('L');
    }
    // What connections sent it, after the "L".
    QByteArray received()
    {
        drain();
        return m_heard.mid(1);
    }

private:
    static void serve(const QByteArray& path, bool makeFolder, int out)
    {
        // A client that leaves before the answer must not end the listener.
        ::signal(SIGPIPE, SIG_IGN);
        if (makeFolder) {
            const QByteArray folder = path.left(path.lastIndexOf('/'));
            if (::setgid(nobody) != 0 || ::setuid(nobody) != 0 || ::mkdir(folder.constData(), 0700) != 0)
                return;
        }
        const int server = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address {};
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
        if (server < 0 || ::bind(server, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
            return;
        if (!makeFolder && (::setgid(nobody) != 0 || ::setuid(nobody) != 0))
            return;
        if (::listen(server, 8) != 0 || ::write(out, "L", 1) != 1)
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
    void drain()
    {
        char buffer[512];
        ssize_t count = 0;
        while ((count = ::read(m_received, buffer, sizeof buffer)) > 0)
            m_heard.append(buffer, count);
    }

    pid_t m_pid = -1;
    int m_received = -1;
    QByteArray m_heard;
};

const SingleInstance::Message callback { SingleInstance::Message::Kind::open,
    QUrl(QStringLiteral("quorvane://auth/callback?code=SECRET-CODE&state=s")) };

} // namespace

// Where the single-instance socket lives and who it talks to: never a folder
// or a listener of another user, and never a path too long for a socket.
class TestSingleInstanceOwner : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void anotherUsersFolderIsPassedBy()
    {
        if (::getuid() != 0)
            QSKIP("making a listener of another user needs root");
        // A shared runtime folder (like /tmp) where nobody already made "quorvane/".
        QTemporaryDir shared;
        QVERIFY(QFile::setPermissions(shared.path(), QFile::Permissions(0x7777)));
        QVERIFY(::chmod(QFile::encodeName(shared.path()).constData(), 01777) == 0);
        const QString planted = shared.path() + QStringLiteral("/quorvane/app.socket");
        ForeignListener foreign(planted, true);
        QVERIFY(foreign.waitUntilListening());

        TestHome home;
        SingleInstance first(shared.path());
        QCOMPARE(first.folderPath(), home.filePath(QStringLiteral(".quorvane/run")));
        QVERIFY2(first.listen(), qPrintable(first.errorString()));
        struct stat info {};
        QCOMPARE(::lstat(QFile::encodeName(first.folderPath()).constData(), &info), 0);
        QCOMPARE(info.st_mode & 07777, 0700u);

        // A second start hands the callback to the first, not to nobody.
        QSignalSpy urls(&first, &SingleInstance::urlReceived);
        SingleInstance second(shared.path());
        QVERIFY(!second.listen());
        QVERIFY(second.anotherInstanceRuns());
        bool delivered = false;
        std::thread sender([&] { delivered = second.send(callback); });
        QTRY_COMPARE(urls.size(), 1);
        sender.join();
        QVERIFY(delivered);
        QCOMPARE(urls.first().first().toUrl(), callback.url);
        QTest::qWait(100);
        QCOMPARE(foreign.received(), QByteArray());
    }

    void nothingIsSentToAListenerOfAnotherUser()
    {
        if (::getuid() != 0)
            QSKIP("making a listener of another user needs root");
        // Our own private folder, where a process that became nobody listens.
        TestHome home;
        QTemporaryDir runtime;
        const QString folder = runtime.path() + QStringLiteral("/quorvane");
        QVERIFY(QDir().mkdir(folder));
        QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        ForeignListener foreign(folder + QStringLiteral("/app.socket"), false);
        QVERIFY(foreign.waitUntilListening());

        SingleInstance instance(runtime.path());
        QCOMPARE(instance.folderPath(), folder);
        // Not taken for a companion of ours, and nothing sent to it.
        QVERIFY(!instance.listen());
        QVERIFY(!instance.anotherInstanceRuns());
        const bool sent = instance.send(callback);
        QTest::qWait(100);
        QCOMPARE(foreign.received(), QByteArray());
        QVERIFY(!sent);
        QVERIFY2(instance.errorString().contains(QStringLiteral("another user")), qPrintable(instance.errorString()));
    }

    void aRuntimeFolderTooLongForASocketIsPassedBy()
    {
        TestHome home;
        QTemporaryDir runtime;
        QString deep = runtime.path();
        while (deep.size() < 120)
            deep += QStringLiteral("/abcdefghijklmnopqrstuvwxyz");
        QVERIFY(QDir().mkpath(deep));
        QVERIFY(!SingleInstance::socketPathFits(deep + QStringLiteral("/quorvane")));

        SingleInstance instance(deep);
        QCOMPARE(instance.folderPath(), home.filePath(QStringLiteral(".quorvane/run")));
        QVERIFY2(instance.listen(), qPrintable(instance.errorString()));
        QVERIFY(!QFileInfo::exists(deep + QStringLiteral("/quorvane")));
        // The largest path that fits is taken as it is.
        const QString fitting = QStringLiteral("/") + QString(int(sizeof(sockaddr_un::sun_path)) - 13, u'x');
        QVERIFY(SingleInstance::socketPathFits(fitting));
        QVERIFY(!SingleInstance::socketPathFits(fitting + u'x'));
    }
};

QTEST_GUILESS_MAIN(TestSingleInstanceOwner)
#include "tst_SingleInstanceOwner.moc"
