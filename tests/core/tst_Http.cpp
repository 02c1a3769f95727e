#include "tests/support/HostilePeer.h"
#include "core/Http.h"
#include "tests/support/LogCapture.h"

#include <QElapsedTimer>
#include <QNetworkAccessManager>
#include <QTest>

#include <QCoroTask>

// Requests against a peer that drips, oversizes or asks to wait: every answer
// has a total deadline and a body cap.
class TestHttp : public QObject
{
    Q_OBJECT

    static QNetworkRequest requestFor(const HostilePeer& peer, const QString& path)
    {
        return QNetworkRequest(QUrl(peer.origin() + path));
    }

private Q_SLOTS:
    void retryAfter_data()
    {
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<qint64>("seconds"); // -1: none
        QTest::newRow("seconds") << QByteArray("120") << qint64(120);
        QTest::newRow("spaces") << QByteArray(" 7 ") << qint64(7);
        QTest::newRow("zero") << QByteArray("0") << qint64(0);
        QTest::newRow("date") << QByteArray("Wed, 21 Oct 2026 07:28:00 GMT") << qint64(-1);
        QTest::newRow("negative") << QByteArray("-5") << qint64(-1);
        QTest::newRow("fraction") << QByteArray("1.5") << qint64(-1);
        QTest::newRow("huge") << QByteArray("99999999999999999999") << qint64(-1);
        QTest::newRow("empty") << QByteArray() << qint64(-1);
    }
    void retryAfter()
    {
        QFETCH(QByteArray, value);
        QFETCH(qint64, seconds);
        QCOMPARE(Http::retryAfterSeconds(value).value_or(-1), seconds);
    }

    void answersWithinLimitsArriveWhole()
    {
        HostilePeer peer;
        peer.setAnswer("/small", 429, "{\"ok\":true}", "Retry-After: 30\r\n");
        QNetworkAccessManager network;
        const HttpResponse response = QCoro::waitFor(Http::send(network, requestFor(peer, QStringLiteral("/small")), "GET"));
        QCOMPARE(response.status, 429);
        QCOMPARE(response.body, QByteArray("{\"ok\":true}"));
        QVERIFY(!response.bodyTooLarge);
        QCOMPARE(response.retryAfterSeconds.value_or(-1), qint64(30));
    }

    void oversizedBodyIsRefusedOnce()
    {
        HostilePeer peer;
        peer.setAnswer("/big", 200, QByteArray(2 * 1024 * 1024, 'x'));
        QNetworkAccessManager network;
        LogCapture log;
        for (int i = 0; i < 2; ++i) {
            const HttpResponse response = QCoro::waitFor(Http::send(network, requestFor(peer, QStringLiteral("/big")), "GET"));
            QCOMPARE(response.status, 200);
            QVERIFY(response.bodyTooLarge);
            QVERIFY(response.body.isEmpty());
        }
        QCOMPARE(log.lines().count(QStringLiteral("Quorvane: refused an answer of /big larger than 1048576 bytes")), 1);

        // A larger cap for the endpoint that needs it.
        const HttpResponse allowed = QCoro::waitFor(
            Http::send(network, requestFor(peer, QStringLiteral("/big")), "GET", {}, Http::Limits{4 * 1024 * 1024}));
        QCOMPARE(allowed.body.size(), 2 * 1024 * 1024);
    }

    void drippingAnswerEndsAtTheDeadline()
    {
        HostilePeer peer;
        peer.setDrip("/drip", 50); // never idle long enough for the idle time-out
        QNetworkAccessManager network;
        QElapsedTimer clock;
        clock.start();
        const HttpResponse response = QCoro::waitFor(Http::send(
            network, requestFor(peer, QStringLiteral("/drip")), "GET", {}, Http::Limits{Http::defaultMaximumBodySize, 500}));
        QVERIFY(!response.isHttp());
        QCOMPARE(response.transportError, QStringLiteral("no complete answer within 500 ms"));
        QVERIFY(clock.elapsed() >= 450);
    }
};

QTEST_GUILESS_MAIN(TestHttp)
#include "tst_Http.moc"
