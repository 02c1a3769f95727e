#include "core/CoreConstants.h"
#include "core/Ed25519Key.h"
#include "core/MachineAuthService.h"
#include "tests/core/MachineIdentityTesting.h"
#include "tests/core/MemoryCredentialStore.h"
#include "tests/support/LogCapture.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestHome.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTest>
#include <sys/stat.h>
#include <unistd.h>

using namespace std::chrono;
using namespace Qt::StringLiterals;

// Signing requests with the machine key: the encoding, the headers and message, the clock.
class TestMachineAuthService : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // RFC 4648 section 10 in the URL-safe alphabet without padding, the two characters
    // where the alphabets differ, and the stored forms decoding accepts or refuses.
    void base64url_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("decodes");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("canonical"); // encoding `bytes` gives `text`
        QTest::newRow("empty") << QString() << true << QByteArray() << true;
        QTest::newRow("f") << u"Zg"_s << true << "f"_ba << true;
        QTest::newRow("foo") << u"Zm9v"_s << true << "foo"_ba << true;
        QTest::newRow("both differing characters") << u"-_8"_s << true << QByteArray::fromHex("fbff") << true;
        QTest::newRow("padded") << u"Zg=="_s << true << "f"_ba << false;
        QTest::newRow("standard alphabet") << u"+/8"_s << true << QByteArray::fromHex("fbff") << false;
        QTest::newRow("one char too many") << u"Zm9vY"_s << false << QByteArray() << false;
        QTest::newRow("padding inside") << u"Zg==Zm8"_s << false << QByteArray() << false;
        QTest::newRow("line break") << u"Zm9v\n"_s << false << QByteArray() << false;
        QTest::newRow("non-ascii") << u"Zm9\u00e9"_s << false << QByteArray() << false;
    }
    void base64url()
    {
        QFETCH(QString, text);
        QFETCH(bool, decodes);
        QFETCH(QByteArray, bytes);
        QFETCH(bool, canonical);
        const auto decoded = MachineAuthService::base64urlDecode(text);
        QCOMPARE(decoded.has_value(), decodes);
        if (decodes)
            QCOMPARE(decoded->toHex(), bytes.toHex());
        if (canonical)
            QCOMPARE(MachineAuthService::base64urlEncode(bytes), text);
    }

    void signedRequestsHaveTheDocumentedShape_data()
    {
        QTest::addColumn<QByteArray>("method");
        QTest::addColumn<QString>("url");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QByteArray>("message");
        const QString api = u"https://api.example.com"_s;
        QTest::newRow("GET with query") << "GET"_ba << api + u"/actions/pending?limit=5"_s << QByteArray()
                                        << "m-1:1700000000987:GET /actions/pending?limit=5"_ba;
        QTest::newRow("GET percent-decoded path") << "GET"_ba << api + u"/agents/my%20agent"_s << QByteArray()
                                                  << "m-1:1700000000987:GET /agents/my agent"_ba;
        QTest::newRow("GET without path") << "GET"_ba << api << QByteArray() << "m-1:1700000000987:GET /"_ba;
        QTest::newRow("DELETE") << "DELETE"_ba << api + u"/machines/m-1"_s << QByteArray()
                                << "m-1:1700000000987:DELETE /machines/m-1"_ba;
        QTest::newRow("POST") << "POST"_ba << api + u"/approvals/a-9/respond"_s
                              << R"({"decision":"approve"})"_ba
                              << R"(m-1:1700000000987:{"decision":"approve"})"_ba;
        QTest::newRow("POST empty body")
            << "POST"_ba << api + u"/trust-window"_s << QByteArray() << "m-1:1700000000987:"_ba;
        QTest::newRow("PUT UTF-8 body")
            << "PUT"_ba << api + u"/users/preferences"_s << "{\"name\":\"caf\xc3\xa9\"}"_ba
            << "m-1:1700000000987:{\"name\":\"caf\xc3\xa9\"}"_ba;
    }
    void signedRequestsHaveTheDocumentedShape()
    {
        QFETCH(QByteArray, method);
        QFETCH(QString, url);
        QFETCH(QByteArray, body);
        QFETCH(QByteArray, message);
        Configured configured;
        const MachineAuthService service(configured.store, [] { return testTime(); });
        QVERIFY(service.isConfigured());
        const std::optional<SignedRequest> signedRequest = sign(service, method, QUrl(url), body);
        QVERIFY(signedRequest);

        const QNetworkRequest& request = signedRequest->request;
        QCOMPARE(signedRequest->method, method);
        QCOMPARE(signedRequest->body, body);
        QCOMPARE(request.url(), QUrl(url));
        QCOMPARE(request.transferTimeout(), 60000);
        QCOMPARE(request.rawHeader("X-Signed-Message"), message);
        QCOMPARE(request.rawHeader("X-Machine-Id"), "m-1"_ba);
        QList<QByteArray> expectedHeaders { "X-Machine-Id", "X-Signature", "X-Signed-Message" };
        if (method == "POST" || method == "PUT") {
            expectedHeaders.prepend("Content-Type");
            QCOMPARE(request.rawHeader("Content-Type"), "application/json"_ba);
        }
        QCOMPARE(request.rawHeaderList(), expectedHeaders);

        // A server verifies from the two headers alone.
        const auto signature = QByteArray::fromBase64Encoding(request.rawHeader("X-Signature"),
            QByteArray::Base64UrlEncoding | QByteArray::AbortOnBase64DecodingErrors);
        QVERIFY(signature && !request.rawHeader("X-Signature").contains('='));
        QCOMPARE(signature.decoded.size(), 64);
        QVERIFY(opensslVerifies(testPublicKey, message, signature.decoded));
        QVERIFY(!opensslVerifies(testPublicKey, message + ' ', signature.decoded));
    }

    void timestampIsWholeMillisecondsFromTheClock()
    {
        Configured configured(urlSafe(testSeed));
        system_clock::time_point now = testTime();
        const MachineAuthService service(configured.store, [&now] { return now; });
        QCOMPARE(service.signedGETRequest(pendingUrl)->request.rawHeader("X-Signed-Message"),
            "m-1:1700000000987:GET /actions/pending"_ba);
        // 999.9 ms is still truncated, and the clock is read for every request.
        now = system_clock::time_point(
            duration_cast<system_clock::duration>(nanoseconds(1700000001999900000LL)));
        QCOMPARE(service.signedGETRequest(pendingUrl)->request.rawHeader("X-Signed-Message"),
            "m-1:1700000001999:GET /actions/pending"_ba);
        // The system clock by default.
        const QList<QByteArray> parts = MachineAuthService(configured.store)
                                            .signedGETRequest(pendingUrl)
                                            ->request.rawHeader("X-Signed-Message")
                                            .split(':');
        QCOMPARE(parts.size(), 3);
        const qint64 wall = duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
        QVERIFY(parts.at(1).toLongLong() <= wall && parts.at(1).toLongLong() > wall - 60 * 60 * 1000);
    }

    // Messages that cannot be carried in a header, or are not UTF-8, are not signed.
    void builderRefusesWhatCannotBeSentAsSigned_data()
    {
        QTest::addColumn<QByteArray>("method");
        QTest::addColumn<QString>("url");
        QTest::addColumn<QByteArray>("body");
        const QString api = u"https://api.example.com/x"_s;
        QTest::newRow("body with line break") << "POST"_ba << api << "{\n\"a\":1}"_ba;
        QTest::newRow("body with CR LF") << "PUT"_ba << api << "{}\r\nX-Evil: 1"_ba;
        QTest::newRow("body with NUL") << "POST"_ba << api << QByteArray("{}\0", 3);
        QTest::newRow("body not UTF-8") << "POST"_ba << api << "{\"a\":\"\xff\"}"_ba;
        QTest::newRow("encoded line break in path")
            << "GET"_ba << api + u"%0D%0AX-Evil:%201"_s << QByteArray();
    }
    void builderRefusesWhatCannotBeSentAsSigned()
    {
        QFETCH(QByteArray, method);
        QFETCH(QString, url);
        QFETCH(QByteArray, body);
        Configured configured;
        const MachineAuthService service(configured.store, [] { return testTime(); });
        QVERIFY(service.isConfigured());
        LogCapture log;
        QVERIFY(!sign(service, method, QUrl(url), body));
        QVERIFY(log.lines().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestMachineAuthService)
#include "tst_MachineAuthService.moc"
