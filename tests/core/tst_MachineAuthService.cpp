#include "core/Ed25519Key.h"
#include "core/MachineAuthService.h"
#include "core/MachineConfig.h"
#include "core/SecretBytes.h"
#include "tests/core/MachineIdentityTesting.h"
#include "tests/core/MemoryCredentialStore.h"
#include "tests/support/LogCapture.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

using namespace std::chrono;
using namespace Qt::StringLiterals;

// The machine key and what it signs: the key itself, the encoding, the headers and message, the
// clock, the stored record naming the machine, and wiping key bytes.
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
    // RFC 8032, section 7.1: TEST 1 (empty message) and TEST 3.
    void ed25519MatchesTheRfc8032Vectors_data()
    {
        QTest::addColumn<QByteArray>("seed");
        QTest::addColumn<QByteArray>("publicKey");
        QTest::addColumn<QByteArray>("message");
        QTest::addColumn<QByteArray>("signature");
        QTest::newRow("TEST 1") << testSeed << testPublicKey << QByteArray()
                                << QByteArray::fromHex(
                                       "e5564300c360ac729086e2cc806e828a84877f1eb8e5d974d873e0652249"
                                       "01555fb8821590a33bacc61e39701cf9b46bd25bf5f0595bbe24655141"
                                       "438e7a100b");
        QTest::newRow("TEST 3")
            << QByteArray::fromHex("c5aa8df43f9f837bedb7442f31dcb7b166d38535076f094b85ce3a2e0b4458f7")
            << QByteArray::fromHex("fc51cd8e6218a1a38da47ed00230f0580816ed13ba3303ac5deb911548908025")
            << QByteArray::fromHex("af82")
            << QByteArray::fromHex(
                   "6291d657deec24024827e69c3abe01a30ce548a284743a445e3680d7db5ac3ac18ff9b538d16f2"
                   "90ae67f760984dc6594a7c15e9716ed28dc027beceea1ec40a");
    }
    void ed25519MatchesTheRfc8032Vectors()
    {
        QFETCH(QByteArray, seed);
        QFETCH(QByteArray, publicKey);
        QFETCH(QByteArray, message);
        QFETCH(QByteArray, signature);
        const auto key = Ed25519Key::fromSeed(seed);
        QVERIFY(key);
        QCOMPARE(key->seed().toHex(), seed.toHex());
        QCOMPARE(key->publicKey().toHex(), publicKey.toHex());
        QCOMPARE(key->sign(message).toHex(), signature.toHex());
        QVERIFY(Ed25519Key::verify(publicKey, message, signature));
        QByteArray tampered = signature;
        tampered[10] = char(tampered[10] ^ 0x01);
        QVERIFY(!Ed25519Key::verify(publicKey, message, tampered));
        QVERIFY(!Ed25519Key::verify(publicKey, message + 'x', signature));
        QVERIFY(!Ed25519Key::verify(publicKey.left(31), message, signature));
        QVERIFY(!Ed25519Key::verify(publicKey, message, signature.left(63)));
        for (int length : { 0, 1, 31, 33, 64 })
            QVERIFY(!Ed25519Key::fromSeed(QByteArray(length, '\x11')));
    }

    void ed25519KeysAreFreshAndOutliveTheirCopies()
    {
        const auto first = Ed25519Key::generate();
        const auto second = Ed25519Key::generate();
        QVERIFY(first && second);
        QCOMPARE(first->seed().size(), 32);
        QVERIFY(first->seed() != second->seed());
        const QByteArray message("m-1:1700000000000:GET /actions/pending");
        const QByteArray signature = first->sign(message);
        QCOMPARE(Ed25519Key::fromSeed(first->seed())->sign(message), signature);
        QVERIFY(!Ed25519Key::verify(second->publicKey(), message, signature));
        std::optional<Ed25519Key> copy;
        {
            const Ed25519Key original = *Ed25519Key::generate();
            copy = original;
        }
        QVERIFY(Ed25519Key::verify(copy->publicKey(), message, copy->sign(message)));
    }

    void secretBytesWipeOnlyTheirOwnBuffer()
    {
        QByteArray bytes("0123456789abcdef0123456789abcdef");
        bytes.detach();
        const char* where = bytes.constData();
        SecretBytes::cleanse(bytes);
        QCOMPARE(bytes.constData(), where);
        QCOMPARE(bytes, QByteArray(32, '\0'));
        QString text = u"private-key-text"_s;
        text.detach();
        SecretBytes::cleanse(text);
        QCOMPARE(text, QString(16, QChar(0)));
        // A shared buffer is left to its other holder.
        const QByteArray kept("still needed");
        QByteArray copy = kept;
        SecretBytes::cleanse(copy);
        QVERIFY(copy.isEmpty());
        QCOMPARE(kept, "still needed"_ba);
    }

    void machineConfigDecodesOnlyCompleteRecords_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<bool>("decodes");
        QTest::newRow("complete") << R"({"id":"m","user_id":"u","machine_id_local":"l","name":"n"})"_ba
                                  << true;
        QTest::newRow("extra keys")
            << R"({"id":"m","user_id":"u","machine_id_local":"l","name":"n","v":2})"_ba << true;
        QTest::newRow("missing user_id") << R"({"id":"m","machine_id_local":"l","name":"n"})"_ba << false;
        QTest::newRow("number") << R"({"id":"m","user_id":5,"machine_id_local":"l","name":"n"})"_ba << false;
        QTest::newRow("object") << R"({"id":"m","user_id":"u","machine_id_local":{},"name":"n"})"_ba << false;
        QTest::newRow("array") << R"(["m","u","l","n"])"_ba << false;
        QTest::newRow("trailing garbage")
            << R"({"id":"m","user_id":"u","machine_id_local":"l","name":"n"}x)"_ba << false;
        QTest::newRow("truncated") << "{\"id\":\"m\",\"user_id\":\"u\",\"machine_id_local\":\"l\",\"na"_ba
                                   << false;
        QTest::newRow("binary") << QByteArray("\x00\xff\xfe{", 4) << false;
    }
    void machineConfigDecodesOnlyCompleteRecords()
    {
        QFETCH(QByteArray, json);
        QFETCH(bool, decodes);
        const auto config = MachineConfig::decode(json);
        QCOMPARE(config.has_value(), decodes);
        if (decodes)
            QCOMPARE(*config, (MachineConfig { u"m"_s, u"u"_s, u"l"_s, u"n"_s }));
    }

    void machineConfigEncodesCompactJsonThatDecodesBack()
    {
        const MachineConfig config { u"m-1"_s, u"u-\"7\""_s, u"A-B"_s, u"caf\u00e9 box"_s };
        const QByteArray json = config.encode();
        QCOMPARE(json.count(' '), 1); // compact: the name holds the only space
        const QJsonObject object = QJsonDocument::fromJson(json).object();
        QCOMPARE(object.keys(), (QStringList { u"id"_s, u"machine_id_local"_s, u"name"_s, u"user_id"_s }));
        QCOMPARE(MachineConfig::decode(json), std::optional<MachineConfig>(config));
    }
};

QTEST_GUILESS_MAIN(TestMachineAuthService)
#include "tst_MachineAuthService.moc"
