#include "core/Ed25519Key.h"
#include "core/MachineConfig.h"
#include "core/RegisterResponse.h"
#include "core/SecretBytes.h"
#include "tests/core/MachineIdentityTesting.h"
#include "tests/support/LogCapture.h"
#include "tests/support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTest>
#include <sys/stat.h>

using namespace std::chrono;
using namespace Qt::StringLiterals;

// The machine key and what it signs: the key itself, the encoding, the headers and message, the
// clock, wiping key bytes, and the stored identity: what loading makes of every stored state, and
// what storing writes to the credential store and the private files.
class TestMachineAuthService : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // RFC 4648 section 10 in the URL-safe alphabet without padding, the two characters
    // where the alphabets differ, and the stored forms decoding accepts or refuses.
    void base64url()
    {
        const QList<std::pair<QString, QByteArray>> canonical { { QString(), QByteArray() },
            { u"Zg"_s, "f"_ba }, { u"Zm9v"_s, "foo"_ba }, { u"-_8"_s, QByteArray::fromHex("fbff") } };
        for (const auto& [text, bytes] : canonical) {
            QCOMPARE(MachineAuthService::base64urlEncode(bytes), text);
            QCOMPARE(
                MachineAuthService::base64urlDecode(text).value_or("(refused)"_ba).toHex(), bytes.toHex());
        }
        QCOMPARE(MachineAuthService::base64urlDecode(u"Zg=="_s), std::optional("f"_ba)); // padded
        QCOMPARE(MachineAuthService::base64urlDecode(u"+/8"_s), std::optional(QByteArray::fromHex("fbff")));
        for (const QString& text : { u"Zm9vY"_s, u"Zg==Zm8"_s, u"Zm9v\n"_s, u"Zm9\u00e9"_s })
            QVERIFY2(!MachineAuthService::base64urlDecode(text), qPrintable(text));
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
        const auto message = [](const MachineAuthService& signer) {
            return signer.signedGETRequest(pendingUrl)->request.rawHeader("X-Signed-Message");
        };
        QCOMPARE(message(service), "m-1:1700000000987:GET /actions/pending"_ba);
        // 999.9 ms is still truncated, and the clock is read for every request.
        now = system_clock::time_point(
            duration_cast<system_clock::duration>(nanoseconds(1700000001999900000LL)));
        QCOMPARE(message(service), "m-1:1700000001999:GET /actions/pending"_ba);
        // The system clock by default.
        const qint64 stamp = message(MachineAuthService(configured.store)).split(':').at(1).toLongLong();
        const qint64 wall = duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
        QVERIFY(stamp <= wall && stamp > wall - 60 * 60 * 1000);
    }

    // Messages that cannot be carried in a header, or are not UTF-8, are not signed.
    void builderRefusesWhatCannotBeSentAsSigned()
    {
        Configured configured;
        const MachineAuthService service(configured.store, [] { return testTime(); });
        QVERIFY(service.isConfigured());
        LogCapture log;
        const QUrl api(u"https://api.example.com/x"_s);
        for (const QByteArray& body : { "{\n\"a\":1}"_ba, QByteArray("{}\0", 3), "{\"a\":\"\xff\"}"_ba })
            QVERIFY2(!service.signedPOSTRequest(api, body), body.constData());
        QVERIFY(!service.signedPUTRequest(api, "{}\r\nX-Evil: 1"));
        QVERIFY(!service.signedGETRequest(QUrl(u"https://api.example.com/x%0D%0AX-Evil:%201"_s)));
        QVERIFY(log.lines().isEmpty());
    }

    // RFC 8032, section 7.1, TEST 1 (other messages' signatures are checked with OpenSSL above).
    void ed25519KeysSignAsTheRfcSays()
    {
        const auto key = Ed25519Key::fromSeed(testSeed);
        QVERIFY(key);
        QCOMPARE(key->publicKey().toHex(), testPublicKey.toHex());
        const QByteArray signature
            = QByteArray::fromHex("e5564300c360ac729086e2cc806e828a84877f1eb8e5d974d873e0652249"
                                  "01555fb8821590a33bacc61e39701cf9b46bd25bf5f0595bbe24655141"
                                  "438e7a100b");
        QCOMPARE(key->sign({}).toHex(), signature.toHex());
        QVERIFY(Ed25519Key::verify(testPublicKey, {}, signature));
        QByteArray tampered = signature;
        tampered[10] = char(tampered[10] ^ 0x01);
        QVERIFY(!Ed25519Key::verify(testPublicKey, {}, tampered));
        QVERIFY(!Ed25519Key::verify(testPublicKey, "x"_ba, signature));
        QVERIFY(!Ed25519Key::verify(testPublicKey.left(31), {}, signature));
        QVERIFY(!Ed25519Key::verify(testPublicKey, {}, signature.left(63)));
        for (int length : { 0, 1, 31, 33, 64 })
            QVERIFY(!Ed25519Key::fromSeed(QByteArray(length, '\x11')));

        // Generated keys differ, a seed gives its key back, and a copy outlives its original.
        const auto first = Ed25519Key::generate();
        const auto second = Ed25519Key::generate();
        QVERIFY(first && second && first->seed() != second->seed());
        QCOMPARE(Ed25519Key::fromSeed(first->seed())->publicKey(), first->publicKey());
        std::optional<Ed25519Key> copy;
        {
            const Ed25519Key original = *Ed25519Key::generate();
            copy = original;
        }
        QVERIFY(Ed25519Key::verify(copy->publicKey(), "m"_ba, copy->sign("m"_ba)));
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

    // What the machine keeps and what the back-end answers decode only when whole.
    void recordsDecodeOnlyWhenComplete()
    {
        const QByteArray complete = R"({"id":"m","user_id":"u","machine_id_local":"l","name":"n")";
        QCOMPARE(MachineConfig::decode(complete + R"(,"v":2})"),
            std::optional(MachineConfig { u"m"_s, u"u"_s, u"l"_s, u"n"_s }));
        for (const QByteArray& json : QByteArrayList { R"({"id":"m","machine_id_local":"l","name":"n"})"_ba,
                 QByteArray(complete).replace(R"("u")", "5") + '}',
                 QByteArray(complete).replace(R"("l")", "{}") + '}', R"(["m","u","l","n"])"_ba,
                 complete + "}x", complete.chopped(3), QByteArray("\x00\xff\xfe{", 4) })
            QVERIFY2(!MachineConfig::decode(json), json.constData());

        const QByteArray link
            = R"({"linked":true,"agent_id":"a","seeded":true,"rules_count":12,"has_other_machines":false)";
        QCOMPARE(LinkResult::decode(link + R"(,"x":1})"),
            std::optional(LinkResult { true, u"a"_s, true, 12, false }));
        QVERIFY(!LinkResult::decode(QByteArray(link).replace("12", "1.5") + '}'));
        QVERIFY(!LinkResult::decode(QByteArray(link).replace("\"linked\":true", "\"linked\":\"yes\"") + '}'));
        QVERIFY(!LinkResult::decode(link.left(link.indexOf(",\"has_other")) + '}'));
        QVERIFY(!LinkResult::decode(QByteArray(LinkResult::maximumSize + 1, ' ')));

        // The ids travel in signed headers and machine.json: only usable ones are taken.
        const QString longest(RegisterResponse::maximumIdLength, u'm');
        const auto registered
            = RegisterResponse::decode(R"({"machine_id":")" + longest.toUtf8() + R"(","user_id":"bö b"})");
        QCOMPARE(registered->machineId, longest);
        QCOMPARE(registered->userId, u"bö b"_s);
        for (const QByteArray& json : QByteArrayList { R"({"machine_id":1,"user_id":"u"})"_ba,
                 R"({"machine_id":"","user_id":"u"})"_ba, R"({"machine_id":"m\nX-Evil: 1","user_id":"u"})"_ba,
                 "{\"machine_id\":\"m\u2028\",\"user_id\":\"u\"}"_ba,
                 R"({"machine_id":")" + QByteArray(129, 'm') + R"(","user_id":"u"})",
                 R"({"machine_id":"m","user_id":"u\u0007"})"_ba, R"({"machine_id":"m","user_id":""})"_ba })
            QVERIFY2(!RegisterResponse::decode(json), json.constData());
        QVERIFY(!RegisterResponse::isUsableId(u"m\t1"_s));
        QVERIFY(!RegisterResponse::isUsableId(u"m\u00851"_s)); // C1 next line
        QVERIFY(!RegisterResponse::isUsableId(QStringView(u"m\xd800")));
    }

    void reloadHandlesEveryStoredState_data()
    {
        QTest::addColumn<QByteArray>("fileKind"); // "file", "none", "fifo"
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QByteArray>("item"); // null: none
        QTest::addColumn<bool>("configLoaded");
        QTest::addColumn<bool>("configured");
        QTest::addColumn<QString>("logLine"); // "%path" is filled in; empty: no line

        const QByteArray full = urlSafe(testSeed + testPublicKey);
        const QString noConfig = u"Quorvane: MachineAuthService — no config at %path"_s;
        const QString noKey = u"Quorvane: MachineAuthService — keychain read failed for account LOCAL-1"_s;
        const QByteArray file = "file";
        QTest::newRow("configured, 86-char key") << file << validConfig << full << true << true << QString();
        QTest::newRow("seed-only key (43 chars)")
            << file << validConfig << urlSafe(testSeed) << true << true << QString();
        QTest::newRow("no machine.json") << "none"_ba << QByteArray() << full << false << false << noConfig;
        QTest::newRow("truncated JSON") << file << validConfig.left(30) << full << false << false << noConfig;
        QTest::newRow("FIFO in its place") << "fifo"_ba << QByteArray() << full << false << false << noConfig;
        QTest::newRow("larger than 1 MiB") // valid JSON, just too big
            << file << validConfig + QByteArray(MachineAuthService::maximumConfigSize, ' ') << full << false
            << false << noConfig;
        QTest::newRow("no key item") << file << validConfig << QByteArray() << true << false << noKey;
        QTest::newRow("key not UTF-8") << file << validConfig << "\xff\xfe\x80"_ba << true << false << noKey;
        QTest::newRow("key with a line break") << file << validConfig << full + '\n'
                                               << true << false << noKey;
        QTest::newRow("31-byte key") << file << validConfig << urlSafe(testSeed.left(31)) << true << false
                                     << QString();
    }
    void reloadHandlesEveryStoredState()
    {
        QFETCH(QByteArray, fileKind);
        QFETCH(QByteArray, json);
        QFETCH(QByteArray, item);
        QFETCH(bool, configLoaded);
        QFETCH(bool, configured);
        QFETCH(QString, logLine);

        TestHome home;
        const QString path = CoreConstants::machineConfigPath();
        QVERIFY(QDir().mkpath(CoreConstants::machineDirectory()));
        if (fileKind == "file")
            QVERIFY(TestFiles::write(path, json));
        else if (fileKind == "fifo")
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        MemoryCredentialStore store;
        if (!item.isNull())
            putKeyItem(store, u"LOCAL-1"_s, item);

        LogCapture log;
        const MachineAuthService service(store, [] { return testTime(); });
        QCOMPARE(service.config(),
            configLoaded ? std::optional(MachineConfig { u"m-1"_s, u"u-7"_s, u"LOCAL-1"_s, u"desk"_s })
                         : std::nullopt);
        QCOMPARE(service.isConfigured(), configured);
        QCOMPARE(log.lines(),
            logLine.isEmpty() ? QStringList() : QStringList { QString(logLine).replace("%path"_L1, path) });
        QCOMPARE(service.userId(), configLoaded ? std::optional<QString>(u"u-7"_s) : std::nullopt);
        // Without both parts no builder signs, and none of them logs.
        log.clear();
        for (const QByteArray method : { "GET", "DELETE", "POST", "PUT" })
            QCOMPARE(sign(service, method, pendingUrl, "{}").has_value(), configured);
        QVERIFY(log.lines().isEmpty());
    }

    void reloadFollowsTheStoredStateAndNotifies()
    {
        TestHome home;
        MemoryCredentialStore store;
        MachineAuthService service(store);
        QVERIFY(!service.isConfigured());
        QSignalSpy changed(&service, &MachineAuthService::configurationChanged);

        QVERIFY(home.write(u".quorvane/machine/machine.json"_s, validConfig));
        service.reload();
        QCOMPARE(changed.count(), 1);
        QVERIFY(service.config() && !service.isConfigured());

        const QByteArray full = urlSafe(testSeed + testPublicKey);
        putKeyItem(store, u"LOCAL-1"_s, full);
        service.reload();
        QCOMPARE(changed.count(), 2);
        QVERIFY(service.isConfigured());
        QCOMPARE(service.privateKeyBase64url(), std::optional<QString>(QString::fromLatin1(full)));
        // The key text is read afresh each time.
        putKeyItem(store, u"LOCAL-1"_s, "changed");
        QCOMPARE(service.privateKeyBase64url(), std::optional<QString>(u"changed"_s));
        putKeyItem(store, u"LOCAL-1"_s, "\xc3\x28");
        QVERIFY(!service.privateKeyBase64url());

        QVERIFY(QFile::remove(CoreConstants::machineConfigPath()));
        service.reload();
        QCOMPARE(changed.count(), 3);
        QVERIFY(!service.config() && !service.isConfigured() && !service.privateKeyBase64url());

        // Clearing deletes every account of the service, and nothing of other services or groups.
        putKeyItem(store, u"LOCAL-2"_s, "b");
        store.add(u"org.other.machine"_s, u"LOCAL-1"_s, CoreConstants::keychainAccessGroup(), "c");
        store.add(CoreConstants::keychainService(), u"LOCAL-1"_s, u"OTHERTEAM.org.other"_s, "d");
        service.clearKeychain();
        QCOMPARE(store.items().size(), 2);
        QVERIFY(!keyItem(store, u"LOCAL-2"_s));
        QCOMPARE(store.read(u"org.other.machine"_s, u"LOCAL-1"_s, CoreConstants::keychainAccessGroup()),
            std::optional<QByteArray>("c"));
    }

    void storeIdentityWritesKeyItemAndPrivateFiles()
    {
        TestHome home;
        MemoryCredentialStore store;
        putKeyItem(store, u"LOCAL-9"_s, "old item of this account");
        const auto key = Ed25519Key::generate();
        QVERIFY(key);
        const MachineConfig config { u"m-42"_s, u"u-1"_s, u"LOCAL-9"_s, u"laptop"_s };

        // Modes come from creation, not from the umask.
        const mode_t previousMask = ::umask(0);
        const auto result = MachineAuthService::storeIdentity(store, config, *key);
        ::umask(previousMask);
        QVERIFY2(result.ok(), qPrintable(result.fileError));
        QCOMPARE(*keyItem(store, u"LOCAL-9"_s), urlSafe(key->seed() + key->publicKey()));
        QCOMPARE(store.items().size(), 1);
        QCOMPARE(TestFiles::modeOf(CoreConstants::machineDirectory()), 0700);
        QCOMPARE(TestFiles::modeOf(CoreConstants::machineConfigPath()), 0600);
        QCOMPARE(TestFiles::modeOf(CoreConstants::publicKeyPath()), 0600);
        const QByteArray configText = TestFiles::contentOf(CoreConstants::machineConfigPath());
        QVERIFY(!configText.contains('\n'));
        QCOMPARE(MachineConfig::decode(configText), std::optional<MachineConfig>(config));
        QCOMPARE(TestFiles::contentOf(CoreConstants::publicKeyPath()), urlSafe(key->publicKey()));
        // No temporary files stay behind.
        QCOMPARE(QDir(CoreConstants::machineDirectory())
                     .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
            (QStringList { u"machine.json"_s, u"public-key"_s }));

        // A new service loads what was stored.
        MachineAuthService service(store);
        QVERIFY(service.isConfigured());
        QCOMPARE(service.machineId(), std::optional<QString>(u"m-42"_s));

        // Storing again replaces the files and tightens a loosened directory.
        QVERIFY(::chmod(QFile::encodeName(CoreConstants::machineDirectory()).constData(), 0755) == 0);
        QVERIFY(
            MachineAuthService::storeIdentity(store, { u"m-43"_s, u"u-1"_s, u"LOCAL-9"_s, u"laptop"_s }, *key)
                .ok());
        QCOMPARE(TestFiles::modeOf(CoreConstants::machineDirectory()), 0700);
        service.reload();
        QCOMPARE(service.machineId(), std::optional<QString>(u"m-43"_s));
    }

    void homeReachedThroughALinkWorks()
    {
        TestHome home;
        QVERIFY(QDir(home.path()).mkpath(u"real"_s));
        QVERIFY(QFile::link(home.filePath(u"real"_s), home.filePath(u"link"_s)));
        qputenv("QUORVANE_HOME", QFile::encodeName(home.filePath(u"link"_s)));
        QCOMPARE(CoreConstants::homeDirectory(), QFileInfo(home.filePath(u"real"_s)).canonicalFilePath());
        MemoryCredentialStore store;
        const auto result = MachineAuthService::storeIdentity(
            store, { u"m-1"_s, u"u-1"_s, u"L"_s, u"host"_s }, *Ed25519Key::fromSeed(testSeed));
        QVERIFY2(result.ok(), qPrintable(result.fileError));
        QVERIFY(QFileInfo::exists(home.filePath(u"real/.quorvane/machine/machine.json"_s)));
        QVERIFY(MachineAuthService(store).isConfigured());
    }
};

QTEST_GUILESS_MAIN(TestMachineAuthService)
#include "tst_MachineAuthService.moc"
