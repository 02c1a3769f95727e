#include "core/ApprovalSyncService.h"
#include "core/Http.h"
#include "core/HttpConnection.h"
#include "core/MachineAuthService.h"
#include "core/WebSocketSubscriber.h"
#include "tests/support/BackendMachine.h"
#include "tests/support/FloodPeerProcess.h"
#include "tests/support/HostilePeer.h"
#include "tests/support/LogCapture.h"
#include "tests/support/ProcessMemory.h"

#include <QCoroTask>
#include <QElapsedTimer>
#include <QFile>
#include <QNetworkAccessManager>
#include <QProcess>
#include <QSignalSpy>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslServer>
#include <QTemporaryDir>
#include <QTest>
#include <QTcpServer>
#include <QTimer>

#include <malloc.h>

using namespace Qt::StringLiterals;

// Requests against peers that drip, oversize, flood or ask to wait: every answer has a total
// deadline and a body cap, and this process's memory stays bounded. The flooding peers run in
// their own processes so that they send as fast as the kernel carries the bytes.
class TestHttp : public QObject
{
    Q_OBJECT

    static constexpr qint64 memoryCeilingKiB = 100 * 1024;

    static QNetworkRequest requestFor(const QString& origin, const QString& path)
    {
        return QNetworkRequest(QUrl(origin + path));
    }

    // The same request through the network manager or through the poll's kept connection.
    struct Transports
    {
        QNetworkAccessManager network;
        HttpConnection connection;

        HttpResponse get(bool kept, const QNetworkRequest& request, Http::Limits limits = {})
        {
            auto task = kept ? connection.send(request, "GET", {}, limits) : Http::send(network, request, "GET", {}, limits);
            return QCoro::waitFor(std::move(task));
        }
    };

    static void addTransports()
    {
        // Oversized answers are logged once per path in a process: each transport asks its own.
        QTest::addColumn<bool>("kept");
        QTest::addColumn<QString>("prefix");
        QTest::newRow("network manager") << false << u"/shared"_s;
        QTest::newRow("kept connection") << true << u"/kept"_s;
    }

    static bool overCeiling()
    {
        return ProcessMemory::meaningful && ProcessMemory::peakResidentKiB() > memoryCeilingKiB;
    }

private Q_SLOTS:
    // Each test's peak is its own: the kernel starts the high-water mark afresh.
    void init()
    {
        ::malloc_trim(0); // what an earlier test freed is not counted again
        QFile clear(u"/proc/self/clear_refs"_s);
        QVERIFY(!ProcessMemory::meaningful || (clear.open(QIODevice::WriteOnly) && clear.write("5") == 1));
    }

    void retryAfter()
    {
        const QList<std::pair<QByteArray, qint64>> cases { { "120", 120 }, { " 7 ", 7 }, { "0", 0 },
            { "Wed, 21 Oct 2026 07:28:00 GMT", -1 }, { "-5", -1 }, { "1.5", -1 },
            { "99999999999999999999", -1 }, { "", -1 } };
        for (const auto& [value, seconds] : cases)
            QCOMPARE(
                std::pair(value, Http::retryAfterSeconds(value).value_or(-1)), std::pair(value, seconds));
    }

    void answersWithinLimitsArriveWholeAndOversizedOnesAreRefused_data() { addTransports(); }
    void answersWithinLimitsArriveWholeAndOversizedOnesAreRefused()
    {
        QFETCH(bool, kept);
        QFETCH(QString, prefix);
        const QString big = prefix + u"/big"_s;
        HostilePeer peer;
        peer.setAnswer("/small", 429, "{\"ok\":true}", "Retry-After: 30\r\n");
        peer.setAnswer(big.toUtf8(), 200, QByteArray(2 * 1024 * 1024, 'x'));
        Transports transports;
        const HttpResponse small = transports.get(kept, requestFor(peer.origin(), u"/small"_s));
        QCOMPARE(small.status, 429);
        QCOMPARE(small.body, "{\"ok\":true}"_ba);
        QVERIFY(!small.bodyTooLarge);
        QCOMPARE(small.retryAfterSeconds.value_or(-1), qint64(30));

        LogCapture log;
        for (int i = 0; i < 2; ++i) {
            const HttpResponse response = transports.get(kept, requestFor(peer.origin(), big));
            QCOMPARE(response.status, 200);
            QVERIFY(response.bodyTooLarge);
            QVERIFY(response.body.isEmpty());
        }
        QCOMPARE(log.lines().count(u"Quorvane: refused an answer of %1 larger than 1048576 bytes"_s.arg(big)), 1);
        // A larger cap for the endpoint that needs it.
        const HttpResponse allowed
            = transports.get(kept, requestFor(peer.origin(), big), Http::Limits { 4 * 1024 * 1024 });
        QCOMPARE(allowed.body.size(), 2 * 1024 * 1024);
    }

    void drippingAnswerEndsAtTheDeadline_data() { addTransports(); }
    void drippingAnswerEndsAtTheDeadline()
    {
        QFETCH(bool, kept);
        HostilePeer peer;
        peer.setDrip("/drip", 50); // never idle long enough for the idle time-out
        Transports transports;
        QElapsedTimer clock;
        clock.start();
        const HttpResponse response = transports.get(
            kept, requestFor(peer.origin(), u"/drip"_s), Http::Limits { Http::defaultMaximumBodySize, 500 });
        QVERIFY(!response.isHttp());
        QCOMPARE(response.transportError, u"no complete answer within 500 ms"_s);
        QVERIFY(clock.elapsed() >= 450);
    }

    // A chunked body that never ends: the largest cap any request has (the pending list's) holds as
    // the bytes arrive.
    void endlessChunkedAnswerIsCutAtTheCap_data() { addTransports(); }
    void endlessChunkedAnswerIsCutAtTheCap()
    {
        QFETCH(bool, kept);
        QFETCH(QString, prefix);
        const QString path = prefix + u"/actions/pending"_s;
        FloodPeerProcess peer(u"chunked"_s);
        QVERIFY(peer.isRunning());
        Transports transports;
        LogCapture log;
        const QNetworkRequest request = requestFor(peer.origin(), path);
        const Http::Limits limits { ApprovalSyncService::maximumPendingListSize };
        // More attempts than the network manager keeps connections to one host: a connection that
        // carried a refused answer is not used again.
        for (int attempt = 0; attempt < 8; ++attempt) {
            const HttpResponse response = transports.get(kept, request, limits);
            QCOMPARE(response.status, 200);
            QVERIFY(response.bodyTooLarge);
            QVERIFY(response.body.isEmpty());
        }
        QCOMPARE(log.lines(),
            QStringList { u"Quorvane: refused an answer of %1 larger than 8388608 bytes"_s.arg(path) });
        qInfo("peak resident set: %lld KiB", ProcessMemory::peakResidentKiB());
        QVERIFY2(!overCeiling(), qPrintable(QString::number(ProcessMemory::peakResidentKiB())));
    }

    // The poll's connection carries request after request, comes back when the server closed it
    // meanwhile, lets two requests take turns, and never sends a header that would split the
    // request in two.
    void keptConnectionIsReusedAndRenewed()
    {
        HostilePeer peer;
        peer.setKeepAlive(true);
        peer.setAnswer("/pending", 200, "[]");
        HttpConnection connection;
        const QNetworkRequest request = requestFor(peer.origin(), u"/pending"_s);
        for (int i = 0; i < 3; ++i) {
            auto task = connection.send(request, "GET");
            const HttpResponse response = QCoro::waitFor(std::move(task));
            QCOMPARE(response.status, 200);
            QCOMPARE(response.body, "[]"_ba);
        }
        QCOMPARE(peer.connectionCount(), 1);

        peer.closeConnections();
        auto afterClose = connection.send(request, "GET");
        QCOMPARE(QCoro::waitFor(std::move(afterClose)).status, 200);
        QCOMPARE(peer.connectionCount(), 2);

        auto first = connection.send(request, "GET");
        auto second = connection.send(request, "GET");
        QCOMPARE(QCoro::waitFor(std::move(first)).body, "[]"_ba);
        QCOMPARE(QCoro::waitFor(std::move(second)).body, "[]"_ba);
        QCOMPARE(peer.connectionCount(), 2);
        QCOMPARE(peer.requests().size(), 6);

        QNetworkRequest forged = request;
        forged.setRawHeader("X-Signature", "abc\r\nX-Machine-Id: someone-else");
        auto refused = connection.send(forged, "GET");
        QVERIFY(!QCoro::waitFor(std::move(refused)).transportError.isEmpty());
        QCOMPARE(peer.requests().size(), 6);

        // Nothing listens on the port: an error at once, not a wait for the deadline.
        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost));
        const QUrl nowhere(u"http://127.0.0.1:%1/pending"_s.arg(closed.serverPort()));
        closed.close();
        auto unanswered = connection.send(QNetworkRequest(nowhere), "GET");
        const HttpResponse failure = QCoro::waitFor(std::move(unanswered));
        QVERIFY(!failure.isHttp());
        QVERIFY2(failure.transportError.contains(u"refused"_s, Qt::CaseInsensitive), qPrintable(failure.transportError));
    }

    // The back-end is reached over TLS: the kept connection trusts only certificates the system
    // trusts, for the very name it asked for.
    void keptConnectionChecksTheServersCertificate()
    {
        QTemporaryDir dir;
        QProcess openssl;
        openssl.setWorkingDirectory(dir.path());
        openssl.start(u"openssl"_s, { u"req"_s, u"-x509"_s, u"-newkey"_s, u"ec"_s, u"-pkeyopt"_s,
            u"ec_paramgen_curve:prime256v1"_s, u"-nodes"_s, u"-keyout"_s, u"key.pem"_s, u"-out"_s, u"cert.pem"_s,
            u"-days"_s, u"1"_s, u"-subj"_s, u"/CN=127.0.0.1"_s, u"-addext"_s, u"subjectAltName=IP:127.0.0.1"_s });
        QVERIFY(openssl.waitForFinished() && openssl.exitCode() == 0);
        const QList<QSslCertificate> certificates = QSslCertificate::fromPath(dir.filePath(u"cert.pem"_s));
        QFile keyFile(dir.filePath(u"key.pem"_s));
        QVERIFY(certificates.size() == 1 && keyFile.open(QIODevice::ReadOnly));

        QSslServer server;
        QSslConfiguration serverTls = QSslConfiguration::defaultConfiguration();
        serverTls.setLocalCertificate(certificates.first());
        serverTls.setPrivateKey(QSslKey(&keyFile, QSsl::Ec));
        server.setSslConfiguration(serverTls);
        connect(&server, &QTcpServer::pendingConnectionAvailable, &server, [&server] {
            QTcpSocket* socket = server.nextPendingConnection();
            connect(socket, &QIODevice::readyRead, socket, [socket] {
                if (socket->readAll().contains("\r\n\r\n"))
                    socket->write("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok");
            });
        });
        QVERIFY(server.listen(QHostAddress::LocalHost));
        const QNetworkRequest request(QUrl(u"https://127.0.0.1:%1/pending"_s.arg(server.serverPort())));

        HttpConnection connection;
        auto untrusted = connection.send(request, "GET");
        const HttpResponse refused = QCoro::waitFor(std::move(untrusted));
        QVERIFY2(!refused.isHttp() && refused.transportError.contains(u"certificate"_s, Qt::CaseInsensitive),
            qPrintable(refused.transportError));

        const QSslConfiguration systemTls = QSslConfiguration::defaultConfiguration();
        QSslConfiguration trusting = systemTls;
        trusting.addCaCertificates(certificates);
        QSslConfiguration::setDefaultConfiguration(trusting);
        auto trusted = connection.send(request, "GET");
        const HttpResponse answered = QCoro::waitFor(std::move(trusted));
        QCOMPARE(answered.body, "ok"_ba);

        // The certificate names 127.0.0.1, not localhost.
        QNetworkRequest otherName = request;
        otherName.setUrl(QUrl(u"https://localhost:%1/pending"_s.arg(server.serverPort())));
        auto misnamed = connection.send(otherName, "GET");
        const HttpResponse wrongName = QCoro::waitFor(std::move(misnamed));
        QSslConfiguration::setDefaultConfiguration(systemTls);
        QVERIFY2(!wrongName.isHttp() && wrongName.transportError.contains(u"host name"_s, Qt::CaseInsensitive),
            qPrintable(wrongName.transportError));
    }

    // Pings flood the event stream: the subscriber drops the connection and backs off, whether
    // the server reads the pongs or leaves them unread.
    void pingFloodIsDropped_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::newRow("pongs never read") << u"pings"_s;
        QTest::newRow("pongs read") << u"pings-read"_s;
    }
    void pingFloodIsDropped()
    {
        QFETCH(QString, mode);
        BackendMachine machine;
        QVERIFY(machine.machine);
        FloodPeerProcess peer(mode);
        QVERIFY(peer.isRunning());
        qputenv("QUORVANE_API_BASE_URL", peer.origin().toUtf8());
        MachineAuthService auth(machine.store);
        WebSocketSubscriber subscriber(auth);
        subscriber.setTiming({ .initialBackoffMs = 50, .maximumBackoffMs = 200 });
        QSignalSpy scheduled(&subscriber, &WebSocketSubscriber::reconnectScheduled);
        LogCapture log;

        subscriber.start();
        // Three connections flooded and dropped; a subscriber that never lets go is stopped by the
        // memory it gathers instead.
        QTRY_VERIFY_WITH_TIMEOUT(scheduled.count() >= 3 || overCeiling(), 60 * 1000);
        subscriber.stop();
        qInfo("peak resident set: %lld KiB", ProcessMemory::peakResidentKiB());
        QVERIFY2(!overCeiling(), qPrintable(QString::number(ProcessMemory::peakResidentKiB())));
        QVERIFY(!subscriber.isConnected());
        QCOMPARE(log.lines().count(u"Quorvane: stream closed: too many control frames"_s), 1);
    }
};

QTEST_GUILESS_MAIN(TestHttp)
#include "tst_Http.moc"
