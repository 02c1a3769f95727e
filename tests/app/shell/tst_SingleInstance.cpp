#include "app/shell/SingleInstance.h"
#include "tests/support/TestHome.h"

#include <QLocalSocket>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <chrono>
#include <memory>
#include <vector>
#include <future>

#include <sys/stat.h>

namespace {

// A "reopen" sent on a new connection reaches the server's signal.
bool reopenIsServed(const SingleInstance& server, const QSignalSpy& reopens)
{
    const qsizetype before = reopens.size();
    QLocalSocket socket;
    socket.connectToServer(server.socketPath());
    if (!socket.waitForConnected(2000))
        return false;
    socket.write("reopen\n");
    return QTest::qWaitFor([&] { return reopens.size() == before + 1; }, 5000);
}

} // namespace

class TestSingleInstance : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void decode_data();
    void decode();
    void encodeRoundTrip();
    void secondInstanceHandsOver();
    void staleSocketIsReplaced();
    void hostileConnectionsAreDropped();
    void folderMustBePrivate();
    void idleConnectionsAreClosedAndCapped();
    void withoutRuntimeDirectoryTheFolderIsUnderHome();
};

void TestSingleInstance::decode_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QString>("url");

    QTest::newRow("reopen") << QByteArray("reopen\n") << true << QString();
    QTest::newRow("callback") << QByteArray("open quorvane://auth/callback?code=abc\n") << true
                              << QStringLiteral("quorvane://auth/callback?code=abc");
    QTest::newRow("no newline") << QByteArray("reopen") << false << QString();
    QTest::newRow("two lines") << QByteArray("reopen\nreopen\n") << false << QString();
    QTest::newRow("other scheme") << QByteArray("open https://example.com/?code=1\n") << false << QString();
    QTest::newRow("file url") << QByteArray("open file:///etc/passwd\n") << false << QString();
    QTest::newRow("space inside url") << QByteArray("open quorvane://a b\n") << false << QString();
    QTest::newRow("control byte") << QByteArray("open quorvane://a\x01\n") << false << QString();
    QTest::newRow("non-ascii") << QByteArray("open quorvane://\xc3\xa9\n") << false << QString();
    QTest::newRow("approve is not a request") << QByteArray("approve 123\n") << false << QString();
    QTest::newRow("empty") << QByteArray("\n") << false << QString();
    QTest::newRow("oversized") << QByteArray("open quorvane://x?code=" + QByteArray(5000, 'a') + "\n") << false
                               << QString();
}

void TestSingleInstance::decode()
{
    QFETCH(QByteArray, line);
    QFETCH(bool, valid);
    QFETCH(QString, url);
    const auto message = SingleInstance::decode(line);
    QCOMPARE(message.has_value(), valid);
    if (valid && !url.isEmpty()) {
        QCOMPARE(message->kind, SingleInstance::Message::Kind::open);
        QCOMPARE(message->url.toString(), url);
    }
}

void TestSingleInstance::encodeRoundTrip()
{
    const SingleInstance::Message open{SingleInstance::Message::Kind::open,
                                       QUrl(QStringLiteral("quorvane://auth/callback?code=a%20b"))};
    QCOMPARE(SingleInstance::decode(SingleInstance::encode(open)), open);
    const SingleInstance::Message reopen{SingleInstance::Message::Kind::reopen, {}};
    QCOMPARE(SingleInstance::decode(SingleInstance::encode(reopen)), reopen);
    // A URL of another scheme is never put on the wire.
    QVERIFY(SingleInstance::encode({SingleInstance::Message::Kind::open, QUrl(QStringLiteral("http://x/"))}).isEmpty());
}

void TestSingleInstance::secondInstanceHandsOver()
{
    QTemporaryDir runtime;
    SingleInstance first(runtime.path());
    QVERIFY2(first.listen(), qPrintable(first.errorString()));
    struct stat info {};
    QCOMPARE(::stat(QFile::encodeName(first.folderPath()).constData(), &info), 0);
    QCOMPARE(info.st_mode & 0777, 0700u);

    SingleInstance second(runtime.path());
    QVERIFY(!second.listen());
    QCOMPARE(second.socketPath(), first.socketPath());

    QSignalSpy urls(&first, &SingleInstance::urlReceived);
    QSignalSpy reopens(&first, &SingleInstance::reopenRequested);
    const QUrl callback(QStringLiteral("quorvane://auth/callback?code=XYZ"));
    // The sender blocks; run it beside the event loop that serves the first one.
    std::future<bool> sent = std::async(std::launch::async, [&] {
        SingleInstance sender(runtime.path());
        return sender.send({SingleInstance::Message::Kind::open, callback});
    });
    QTRY_COMPARE(urls.size(), 1);
    QTRY_VERIFY(sent.wait_for(std::chrono::seconds(0)) == std::future_status::ready);
    QVERIFY(sent.get());
    QCOMPARE(urls.first().first().toUrl(), callback);

    sent = std::async(std::launch::async, [&] {
        SingleInstance sender(runtime.path());
        return sender.send({SingleInstance::Message::Kind::reopen, {}});
    });
    QTRY_COMPARE(reopens.size(), 1);
    QTRY_VERIFY(sent.wait_for(std::chrono::seconds(0)) == std::future_status::ready);
    QVERIFY(sent.get());
    QCOMPARE(urls.size(), 1);
}

void TestSingleInstance::staleSocketIsReplaced()
{
    QTemporaryDir runtime;
    {
        SingleInstance crashed(runtime.path());
        QVERIFY(crashed.listen());
        // Leave a file at the socket path as a crashed process would.
    }
    QFile stale(SingleInstance(runtime.path()).socketPath());
    QVERIFY(stale.open(QIODevice::WriteOnly));
    stale.close();
    SingleInstance next(runtime.path());
    QVERIFY2(next.listen(), qPrintable(next.errorString()));
}

void TestSingleInstance::hostileConnectionsAreDropped()
{
    QTemporaryDir runtime;
    SingleInstance server(runtime.path());
    QVERIFY(server.listen());
    QSignalSpy urls(&server, &SingleInstance::urlReceived);
    QSignalSpy reopens(&server, &SingleInstance::reopenRequested);

    const QList<QByteArray> payloads{
        QByteArray("open https://evil.example/\n"),
        QByteArray("respond 1 approved\n"),
        QByteArray(SingleInstance::maximumMessageSize + 10, 'x'),
        QByteArray("reop"),
    };
    for (const QByteArray& payload : payloads) {
        QLocalSocket socket;
        socket.connectToServer(server.socketPath());
        QVERIFY(socket.waitForConnected(2000));
        socket.write(payload);
        socket.flush();
        QTRY_VERIFY(socket.state() == QLocalSocket::UnconnectedState || payload == "reop");
        socket.abort();
    }
    // Nothing was acted on, and the server still answers a proper request.
    QCOMPARE(urls.size(), 0);
    QCOMPARE(reopens.size(), 0);
    QVERIFY(reopenIsServed(server, reopens));
}

void TestSingleInstance::folderMustBePrivate()
{
    TestHome home;
    const QString underHome = home.filePath(QStringLiteral(".quorvane/run"));
    {
        // A link planted where the private folder belongs is not used: the folder under the home is.
        QTemporaryDir runtime;
        QVERIFY(QFile::link(QDir::tempPath(), QDir(runtime.path()).filePath(QStringLiteral("quorvane"))));
        SingleInstance instance(runtime.path());
        QCOMPARE(instance.folderPath(), underHome);
        QVERIFY2(instance.listen(), qPrintable(instance.errorString()));
    }
    // A folder of ours with loose permissions is passed by too; the one under
    // the home is made private.
    QTemporaryDir other;
    const QString folder = QDir(other.path()).filePath(QStringLiteral("quorvane"));
    QVERIFY(QDir().mkdir(folder));
    QVERIFY(QFile::setPermissions(folder, QFile::Permissions(0x7777)));
    QVERIFY(QFile::setPermissions(underHome, QFile::Permissions(0x7777)));
    SingleInstance instance(other.path());
    QCOMPARE(instance.folderPath(), underHome);
    QVERIFY(instance.listen());
    struct stat info {};
    QCOMPARE(::stat(QFile::encodeName(underHome).constData(), &info), 0);
    QCOMPARE(info.st_mode & 0777, 0700u);
}

void TestSingleInstance::idleConnectionsAreClosedAndCapped()
{
    QTemporaryDir runtime;
    SingleInstance server(runtime.path());
    server.setConnectionDeadline(300);
    QVERIFY(server.listen());
    QSignalSpy reopens(&server, &SingleInstance::reopenRequested);

    // Connections that never send anything: no more than the cap stay open,
    // and those are closed once their time is up.
    std::vector<std::unique_ptr<QLocalSocket>> idle;
    for (int i = 0; i < SingleInstance::maximumConnections + 4; ++i) {
        idle.push_back(std::make_unique<QLocalSocket>());
        idle.back()->connectToServer(server.socketPath());
        QVERIFY(idle.back()->waitForConnected(2000));
    }
    QTRY_COMPARE(server.openConnections(), SingleInstance::maximumConnections);
    QTRY_COMPARE_WITH_TIMEOUT(server.openConnections(), 0, 3000);
    for (const auto& socket : idle)
        QTRY_COMPARE(socket->state(), QLocalSocket::UnconnectedState);

    // A proper request is still served afterwards.
    QVERIFY(reopenIsServed(server, reopens));
}

void TestSingleInstance::withoutRuntimeDirectoryTheFolderIsUnderHome()
{
    const QByteArray previous = qgetenv("XDG_RUNTIME_DIR");
    qunsetenv("XDG_RUNTIME_DIR");
    {
        TestHome home;
        SingleInstance instance;
        QCOMPARE(instance.folderPath(), home.filePath(QStringLiteral(".quorvane/run")));
        QVERIFY2(instance.listen(), qPrintable(instance.errorString()));
        QVERIFY(!instance.folderPath().startsWith(QDir::tempPath() + QStringLiteral("/quorvane-")));
    }
    qputenv("XDG_RUNTIME_DIR", previous);
}

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "tst_SingleInstance.moc"
