#include "core/ApprovalSyncService.h"
#include "core/Http.h"
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
#include <QSignalSpy>
#include <QTest>
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

    void answersWithinLimitsArriveWholeAndOversizedOnesAreRefused()
    {
        HostilePeer peer;
        peer.setAnswer("/small", 429, "{\"ok\":true}", "Retry-After: 30\r\n");
        peer.setAnswer("/big", 200, QByteArray(2 * 1024 * 1024, 'x'));
        QNetworkAccessManager network;
        const HttpResponse small
            = QCoro::waitFor(Http::send(network, requestFor(peer.origin(), u"/small"_s), "GET"));
        QCOMPARE(small.status, 429);
        QCOMPARE(small.body, "{\"ok\":true}"_ba);
        QVERIFY(!small.bodyTooLarge);
        QCOMPARE(small.retryAfterSeconds.value_or(-1), qint64(30));

        LogCapture log;
        for (int i = 0; i < 2; ++i) {
            const HttpResponse response
                = QCoro::waitFor(Http::send(network, requestFor(peer.origin(), u"/big"_s), "GET"));
            QCOMPARE(response.status, 200);
            QVERIFY(response.bodyTooLarge);
            QVERIFY(response.body.isEmpty());
        }
        QCOMPARE(log.lines().count(u"Quorvane: refused an answer of /big larger than 1048576 bytes"_s), 1);
        // A larger cap for the endpoint that needs it.
        const HttpResponse allowed = QCoro::waitFor(Http::send(
            network, requestFor(peer.origin(), u"/big"_s), "GET", {}, Http::Limits { 4 * 1024 * 1024 }));
        QCOMPARE(allowed.body.size(), 2 * 1024 * 1024);
    }

    void drippingAnswerEndsAtTheDeadline()
    {
        HostilePeer peer;
        peer.setDrip("/drip", 50); // never idle long enough for the idle time-out
        QNetworkAccessManager network;
        QElapsedTimer clock;
        clock.start();
        const HttpResponse response
            = QCoro::waitFor(Http::send(network, requestFor(peer.origin(), u"/drip"_s), "GET", {},
                Http::Limits { Http::defaultMaximumBodySize, 500 }));
        QVERIFY(!response.isHttp());
        QCOMPARE(response.transportError, u"no complete answer within 500 ms"_s);
        QVERIFY(clock.elapsed() >= 450);
    }

    // A chunked body that never ends: the largest cap any request has (the pending list's) holds as
    // the bytes arrive.
    void endlessChunkedAnswerIsCutAtTheCap()
    {
        FloodPeerProcess peer(u"chunked"_s);
        QVERIFY(peer.isRunning());
        QNetworkAccessManager network;
        LogCapture log;
        const QNetworkRequest request = requestFor(peer.origin(), u"/actions/pending"_s);
        const Http::Limits limits { ApprovalSyncService::maximumPendingListSize };
        // More attempts than the network manager keeps connections to one host: a connection that
        // carried a refused answer is not used again.
        for (int attempt = 0; attempt < 8; ++attempt) {
            auto task = Http::send(network, request, "GET", {}, limits);
            const HttpResponse response = QCoro::waitFor(std::move(task));
            QCOMPARE(response.status, 200);
            QVERIFY(response.bodyTooLarge);
            QVERIFY(response.body.isEmpty());
        }
        QCOMPARE(log.lines(),
            QStringList { u"Quorvane: refused an answer of /actions/pending larger than 8388608 bytes"_s });
        qInfo("peak resident set: %lld KiB", ProcessMemory::peakResidentKiB());
        QVERIFY2(!overCeiling(), qPrintable(QString::number(ProcessMemory::peakResidentKiB())));
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
