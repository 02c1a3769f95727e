#include "core/CoreConstants.h"
#include "core/Ed25519Key.h"
#include "tests/support/LogCapture.h"
#include "core/MachineAuthService.h"
#include "tests/core/MemoryCredentialStore.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestHome.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTest>

#include <openssl/evp.h>

#include <memory>

#include <sys/stat.h>
#include <unistd.h>

using namespace std::chrono;

namespace {

// RFC 8032 TEST 1: a key with a known public half.
const QByteArray testSeed = QByteArray::fromHex("9d61b19deffd5a60ba844af492ec2cc44449c5697b326919703bac031cae7f60");
const QByteArray testPublicKey
    = QByteArray::fromHex("d75a980182b10ab7d54bfed3c964073a0ee172f3daa62325af021a68f707511a");

const QByteArray validConfig(R"({"id":"m-1","user_id":"u-7","machine_id_local":"LOCAL-1","name":"desk"})");

// 1700000000987.6 ms after the epoch.
system_clock::time_point testTime()
{
    return system_clock::time_point(duration_cast<system_clock::duration>(nanoseconds(1700000000987600000LL)));
}

QByteArray urlSafe(const QByteArray& bytes)
{
    return bytes.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
}

// Verifies with OpenSSL directly, independently of Ed25519Key.
bool opensslVerifies(const QByteArray& publicKey, const QByteArray& message, const QByteArray& signature)
{
    std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key(
        EVP_PKEY_new_raw_public_key(EVP_PKEY_ED25519, nullptr,
                                    reinterpret_cast<const unsigned char*>(publicKey.constData()),
                                    size_t(publicKey.size())),
        &EVP_PKEY_free);
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
    if (!key || !context || EVP_DigestVerifyInit(context.get(), nullptr, nullptr, nullptr, key.get()) != 1)
        return false;
    return EVP_DigestVerify(context.get(), reinterpret_cast<const unsigned char*>(signature.constData()),
                            size_t(signature.size()), reinterpret_cast<const unsigned char*>(message.constData()),
                            size_t(message.size()))
        == 1;
}

void putKeyItem(MemoryCredentialStore& store, const QString& account, const QByteArray& value)
{
    store.add(CoreConstants::keychainService(), account, CoreConstants::keychainAccessGroup(), value);
}

} // namespace

class TestMachineAuthService : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // RFC 4648 section 10, written in the URL-safe alphabet without padding,
    // plus the two characters where the alphabets differ.
    void base64urlMatchesRfc4648_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("empty") << QByteArray() << QString();
        QTest::newRow("f") << QByteArray("f") << QStringLiteral("Zg");
        QTest::newRow("fo") << QByteArray("fo") << QStringLiteral("Zm8");
        QTest::newRow("foo") << QByteArray("foo") << QStringLiteral("Zm9v");
        QTest::newRow("foob") << QByteArray("foob") << QStringLiteral("Zm9vYg");
        QTest::newRow("fooba") << QByteArray("fooba") << QStringLiteral("Zm9vYmE");
        QTest::newRow("foobar") << QByteArray("foobar") << QStringLiteral("Zm9vYmFy");
        QTest::newRow("minus") << QByteArray::fromHex("fbefbe") << QStringLiteral("----");
        QTest::newRow("underscore") << QByteArray::fromHex("ffffff") << QStringLiteral("____");
        QTest::newRow("both") << QByteArray::fromHex("fbff") << QStringLiteral("-_8");
    }
    void base64urlMatchesRfc4648()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        QCOMPARE(MachineAuthService::base64urlEncode(bytes), text);
        const auto decoded = MachineAuthService::base64urlDecode(text);
        QVERIFY(decoded);
        QCOMPARE(decoded->toHex(), bytes.toHex());
    }

    void base64urlDecodingFollowsTheStoredFormRules_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("decodes");
        QTest::addColumn<QByteArray>("bytes");
        // Padding that is already there is accepted, and so is the standard
        // alphabet, because decoding only maps "-" and "_" and pads.
        QTest::newRow("padded") << QStringLiteral("Zg==") << true << QByteArray("f");
        QTest::newRow("short padding completed") << QStringLiteral("Zg=") << true << QByteArray("f");
        QTest::newRow("standard alphabet") << QStringLiteral("+/8") << true << QByteArray::fromHex("fbff");
        QTest::newRow("one char too many") << QStringLiteral("Zm9vY") << false << QByteArray();
        QTest::newRow("single char") << QStringLiteral("Z") << false << QByteArray();
        QTest::newRow("padding inside") << QStringLiteral("Zg==Zm8") << false << QByteArray();
        QTest::newRow("padding first") << QStringLiteral("=Zg") << false << QByteArray();
        QTest::newRow("three padding") << QStringLiteral("Z===") << false << QByteArray();
        QTest::newRow("space") << QStringLiteral("Zm 9v") << false << QByteArray();
        QTest::newRow("line break") << QStringLiteral("Zm9v\n") << false << QByteArray();
        QTest::newRow("punctuation") << QStringLiteral("Zm9v!") << false << QByteArray();
        QTest::newRow("non-ascii") << QStringLiteral("Zm9\u00e9") << false << QByteArray();
    }
    void base64urlDecodingFollowsTheStoredFormRules()
    {
        QFETCH(QString, text);
        QFETCH(bool, decodes);
        QFETCH(QByteArray, bytes);
        const auto decoded = MachineAuthService::base64urlDecode(text);
        QCOMPARE(decoded.has_value(), decodes);
        if (decodes)
            QCOMPARE(decoded->toHex(), bytes.toHex());
    }

    void signedRequestsHaveTheDocumentedShape_data()
    {
        QTest::addColumn<QByteArray>("method");
        QTest::addColumn<QString>("url");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QByteArray>("message");
        const QString api = QStringLiteral("https://api.example.com");
        QTest::newRow("GET") << QByteArray("GET") << api + QStringLiteral("/actions/pending") << QByteArray()
                             << QByteArray("m-1:1700000000987:GET /actions/pending");
        QTest::newRow("GET with query") << QByteArray("GET") << api + QStringLiteral("/actions/pending?limit=5")
                                        << QByteArray()
                                        << QByteArray("m-1:1700000000987:GET /actions/pending?limit=5");
        QTest::newRow("GET percent-decoded path")
            << QByteArray("GET") << api + QStringLiteral("/agents/my%20agent") << QByteArray()
            << QByteArray("m-1:1700000000987:GET /agents/my agent");
        QTest::newRow("GET without path") << QByteArray("GET") << api << QByteArray()
                                          << QByteArray("m-1:1700000000987:GET /");
        QTest::newRow("DELETE") << QByteArray("DELETE") << api + QStringLiteral("/machines/m-1") << QByteArray()
                                << QByteArray("m-1:1700000000987:DELETE /machines/m-1");
        QTest::newRow("POST") << QByteArray("POST") << api + QStringLiteral("/approvals/a-9/respond")
                              << QByteArray(R"({"decision":"approve"})")
                              << QByteArray(R"(m-1:1700000000987:{"decision":"approve"})");
        QTest::newRow("POST empty body") << QByteArray("POST") << api + QStringLiteral("/trust-window")
                                         << QByteArray() << QByteArray("m-1:1700000000987:");
        QTest::newRow("PUT UTF-8 body") << QByteArray("PUT") << api + QStringLiteral("/users/preferences")
                                        << QByteArray("{\"name\":\"caf\xc3\xa9\"}")
                                        << QByteArray("m-1:1700000000987:{\"name\":\"caf\xc3\xa9\"}");
    }
    void signedRequestsHaveTheDocumentedShape()
    {
        QFETCH(QByteArray, method);
        QFETCH(QString, url);
        QFETCH(QByteArray, body);
        QFETCH(QByteArray, message);

        TestHome home;
        QVERIFY(home.write(QStringLiteral(".quorvane/machine/machine.json"), validConfig));
        MemoryCredentialStore store;
        putKeyItem(store, QStringLiteral("LOCAL-1"), urlSafe(testSeed + testPublicKey));
        MachineAuthService service(store, [] { return testTime(); });
        QVERIFY(service.isConfigured());

        const QUrl target(url);
        std::optional<SignedRequest> signedRequest;
        if (method == "GET")
            signedRequest = service.signedGETRequest(target);
        else if (method == "DELETE")
            signedRequest = service.signedDELETERequest(target);
        else if (method == "POST")
            signedRequest = service.signedPOSTRequest(target, body);
        else
            signedRequest = service.signedPUTRequest(target, body);
        QVERIFY(signedRequest);

        const QNetworkRequest& request = signedRequest->request;
        QCOMPARE(signedRequest->method, method);
        QCOMPARE(signedRequest->body, body);
        QCOMPARE(request.url(), target);
        QCOMPARE(request.transferTimeout(), 60000);
        QCOMPARE(request.rawHeader("X-Signed-Message"), message);
        QCOMPARE(request.rawHeader("X-Machine-Id"), QByteArray("m-1"));

        QList<QByteArray> expectedHeaders{"X-Machine-Id", "X-Signature", "X-Signed-Message"};
        if (method == "POST" || method == "PUT") {
            expectedHeaders.prepend("Content-Type");
            QCOMPARE(request.rawHeader("Content-Type"), QByteArray("application/json"));
        }
        QCOMPARE(request.rawHeaderList(), expectedHeaders);

        // A server verifies from the two headers alone.
        const QByteArray signatureText = request.rawHeader("X-Signature");
        QVERIFY(!signatureText.contains('=') && !signatureText.contains('+') && !signatureText.contains('/'));
        const auto signature = QByteArray::fromBase64Encoding(signatureText, QByteArray::Base64UrlEncoding
                                                                                 | QByteArray::AbortOnBase64DecodingErrors);
        QVERIFY(signature);
        QCOMPARE(signature.decoded.size(), 64);
        QVERIFY(opensslVerifies(testPublicKey, request.rawHeader("X-Signed-Message"), signature.decoded));
        QVERIFY(!opensslVerifies(testPublicKey, request.rawHeader("X-Signed-Message") + ' ', signature.decoded));
    }

    void timestampIsWholeMillisecondsFromTheClock()
    {
        TestHome home;
        QVERIFY(home.write(QStringLiteral(".quorvane/machine/machine.json"), validConfig));
        MemoryCredentialStore store;
        putKeyItem(store, QStringLiteral("LOCAL-1"), urlSafe(testSeed));
        system_clock::time_point now = testTime();
        MachineAuthService service(store, [&now] { return now; });
        const QUrl url(QStringLiteral("https://api.example.com/actions/pending"));

        QCOMPARE(service.signedGETRequest(url)->request.rawHeader("X-Signed-Message"),
                 QByteArray("m-1:1700000000987:GET /actions/pending"));
        // 999.9 ms is still truncated, not rounded up to the next second.
        now = system_clock::time_point(duration_cast<system_clock::duration>(nanoseconds(1700000000999900000LL)));
        QCOMPARE(service.signedGETRequest(url)->request.rawHeader("X-Signed-Message"),
                 QByteArray("m-1:1700000000999:GET /actions/pending"));
        // The clock is read for every request.
        now += seconds(1);
        QCOMPARE(service.signedGETRequest(url)->request.rawHeader("X-Signed-Message"),
                 QByteArray("m-1:1700000001999:GET /actions/pending"));
        // The system clock by default: 13 digits today.
        MachineAuthService systemClock(store);
        const QList<QByteArray> parts = systemClock.signedGETRequest(url)->request.rawHeader("X-Signed-Message").split(':');
        QCOMPARE(parts.size(), 3);
        QCOMPARE(parts.at(1).size(), 13);
        const qint64 stamp = parts.at(1).toLongLong();
        const qint64 wall = duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
        QVERIFY(stamp <= wall && stamp > wall - 60 * 60 * 1000);
    }

    // Messages that cannot be carried in a header, or are not UTF-8, are not signed.
    void builderRefusesWhatCannotBeSentAsSigned_data()
    {
        QTest::addColumn<QByteArray>("method");
        QTest::addColumn<QString>("url");
        QTest::addColumn<QByteArray>("body");
        const QString api = QStringLiteral("https://api.example.com");
        QTest::newRow("body with line break") << QByteArray("POST") << api + QStringLiteral("/x")
                                              << QByteArray("{\n\"a\":1}");
        QTest::newRow("body with CR LF") << QByteArray("PUT") << api + QStringLiteral("/x")
                                         << QByteArray("{}\r\nX-Evil: 1");
        QTest::newRow("body with NUL") << QByteArray("POST") << api + QStringLiteral("/x") << QByteArray("{}\0", 3);
        QTest::newRow("body not UTF-8") << QByteArray("POST") << api + QStringLiteral("/x")
                                        << QByteArray("{\"a\":\"\xff\"}");
        QTest::newRow("encoded line break in path") << QByteArray("GET")
                                                    << api + QStringLiteral("/a%0D%0AX-Evil:%201") << QByteArray();
    }
    void builderRefusesWhatCannotBeSentAsSigned()
    {
        QFETCH(QByteArray, method);
        QFETCH(QString, url);
        QFETCH(QByteArray, body);
        TestHome home;
        QVERIFY(home.write(QStringLiteral(".quorvane/machine/machine.json"), validConfig));
        MemoryCredentialStore store;
        putKeyItem(store, QStringLiteral("LOCAL-1"), urlSafe(testSeed + testPublicKey));
        MachineAuthService service(store, [] { return testTime(); });
        QVERIFY(service.isConfigured());
        LogCapture log;
        const QUrl target(url);
        if (method == "GET")
            QVERIFY(!service.signedGETRequest(target));
        else if (method == "POST")
            QVERIFY(!service.signedPOSTRequest(target, body));
        else
            QVERIFY(!service.signedPUTRequest(target, body));
        QVERIFY(log.lines().isEmpty());
    }

    void reloadHandlesEveryStoredState_data()
    {
        QTest::addColumn<QByteArray>("fileKind"); // "file", "none", "directory", "fifo", "huge"
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<bool>("hasItem");
        QTest::addColumn<QByteArray>("item");
        QTest::addColumn<bool>("configLoaded");
        QTest::addColumn<bool>("configured");
        QTest::addColumn<QString>("logLine"); // "%path" and "%account" are filled in; empty: no line

        const QByteArray full = urlSafe(testSeed + testPublicKey);
        const QString noConfig = QStringLiteral("Quorvane: MachineAuthService — no config at %path");
        const QString noKey = QStringLiteral("Quorvane: MachineAuthService — keychain read failed for account LOCAL-1");

        QTest::newRow("configured, 86-char key") << QByteArray("file") << validConfig << true << full << true << true
                                                 << QString();
        QTest::newRow("seed-only key (43 chars)")
            << QByteArray("file") << validConfig << true << urlSafe(testSeed) << true << true << QString();
        QTest::newRow("unknown keys ignored")
            << QByteArray("file")
            << QByteArray(R"({"extra":[1,2],"id":"m-1","user_id":"u-7","machine_id_local":"LOCAL-1","name":"desk"})")
            << true << full << true << true << QString();
        QTest::newRow("no machine.json") << QByteArray("none") << QByteArray() << true << full << false << false
                                         << noConfig;
        QTest::newRow("empty file") << QByteArray("file") << QByteArray() << true << full << false << false
                                    << noConfig;
        QTest::newRow("truncated JSON") << QByteArray("file") << validConfig.left(30) << true << full << false
                                        << false << noConfig;
        QTest::newRow("id is a number")
            << QByteArray("file")
            << QByteArray(R"({"id":12,"user_id":"u-7","machine_id_local":"LOCAL-1","name":"desk"})") << true << full
            << false << false << noConfig;
        QTest::newRow("name is null")
            << QByteArray("file")
            << QByteArray(R"({"id":"m-1","user_id":"u-7","machine_id_local":"LOCAL-1","name":null})") << true << full
            << false << false << noConfig;
        QTest::newRow("name missing") << QByteArray("file")
                                      << QByteArray(R"({"id":"m-1","user_id":"u-7","machine_id_local":"LOCAL-1"})")
                                      << true << full << false << false << noConfig;
        QTest::newRow("array") << QByteArray("file") << QByteArray("[]") << true << full << false << false
                               << noConfig;
        QTest::newRow("directory in its place") << QByteArray("directory") << QByteArray() << true << full << false
                                                << false << noConfig;
        QTest::newRow("FIFO in its place") << QByteArray("fifo") << QByteArray() << true << full << false << false
                                           << noConfig;
        QTest::newRow("larger than 1 MiB") << QByteArray("huge") << validConfig << true << full << false << false
                                           << noConfig;
        QTest::newRow("no key item") << QByteArray("file") << validConfig << false << QByteArray() << true << false
                                     << noKey;
        QTest::newRow("key not UTF-8") << QByteArray("file") << validConfig << true << QByteArray("\xff\xfe\x80")
                                       << true << false << noKey;
        QTest::newRow("key not base64url") << QByteArray("file") << validConfig << true << QByteArray("not*base64")
                                           << true << false << noKey;
        QTest::newRow("key with a line break") << QByteArray("file") << validConfig << true << full + '\n' << true
                                               << false << noKey;
        QTest::newRow("31-byte key") << QByteArray("file") << validConfig << true << urlSafe(testSeed.left(31))
                                     << true << false << QString();
        QTest::newRow("empty key") << QByteArray("file") << validConfig << true << QByteArray() << true << false
                                   << QString();
    }
    void reloadHandlesEveryStoredState()
    {
        QFETCH(QByteArray, fileKind);
        QFETCH(QByteArray, json);
        QFETCH(bool, hasItem);
        QFETCH(QByteArray, item);
        QFETCH(bool, configLoaded);
        QFETCH(bool, configured);
        QFETCH(QString, logLine);

        TestHome home;
        const QString path = CoreConstants::machineConfigPath();
        QVERIFY(QDir().mkpath(CoreConstants::machineDirectory()));
        if (fileKind == "file") {
            QVERIFY(home.write(QStringLiteral(".quorvane/machine/machine.json"), json));
        } else if (fileKind == "directory") {
            QVERIFY(QDir().mkpath(path));
        } else if (fileKind == "fifo") {
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        } else if (fileKind == "huge") {
            // Valid JSON, just too big: the trailing spaces push it past the limit.
            QVERIFY(home.write(QStringLiteral(".quorvane/machine/machine.json"),
                               json + QByteArray(MachineAuthService::maximumConfigSize, ' ')));
        }
        MemoryCredentialStore store;
        if (hasItem)
            putKeyItem(store, QStringLiteral("LOCAL-1"), item);

        LogCapture log;
        MachineAuthService service(store, [] { return testTime(); });
        QCOMPARE(service.config().has_value(), configLoaded);
        QCOMPARE(service.isConfigured(), configured);
        QCOMPARE(log.lines(), logLine.isEmpty() ? QStringList() : QStringList{QString(logLine).replace(QStringLiteral("%path"), path)});
        if (configLoaded) {
            QCOMPARE(service.machineId(), std::optional<QString>(QStringLiteral("m-1")));
            QCOMPARE(service.userId(), std::optional<QString>(QStringLiteral("u-7")));
            QCOMPARE(service.config()->machineIdLocal, QStringLiteral("LOCAL-1"));
            QCOMPARE(service.config()->name, QStringLiteral("desk"));
        } else {
            QVERIFY(!service.machineId());
            QVERIFY(!service.userId());
        }
        // Without both parts no builder signs, and none of them logs.
        const QUrl url(QStringLiteral("https://api.example.com/actions/pending"));
        log.clear();
        QCOMPARE(service.signedGETRequest(url).has_value(), configured);
        QCOMPARE(service.signedDELETERequest(url).has_value(), configured);
        QCOMPARE(service.signedPOSTRequest(url, "{}").has_value(), configured);
        QCOMPARE(service.signedPUTRequest(url, "{}").has_value(), configured);
        QVERIFY(log.lines().isEmpty());
    }

    void reloadFollowsTheStoredStateAndNotifies()
    {
        TestHome home;
        MemoryCredentialStore store;
        MachineAuthService service(store);
        QVERIFY(!service.isConfigured());
        QSignalSpy changed(&service, &MachineAuthService::configurationChanged);

        QVERIFY(home.write(QStringLiteral(".quorvane/machine/machine.json"), validConfig));
        service.reload();
        QCOMPARE(changed.count(), 1);
        QVERIFY(service.config() && !service.isConfigured());

        putKeyItem(store, QStringLiteral("LOCAL-1"), urlSafe(testSeed + testPublicKey));
        service.reload();
        QCOMPARE(changed.count(), 2);
        QVERIFY(service.isConfigured());
        QCOMPARE(service.privateKeyBase64url(), std::optional<QString>(QString::fromLatin1(urlSafe(testSeed + testPublicKey))));

        // The key text is read afresh each time.
        putKeyItem(store, QStringLiteral("LOCAL-1"), "changed");
        QCOMPARE(service.privateKeyBase64url(), std::optional<QString>(QStringLiteral("changed")));
        putKeyItem(store, QStringLiteral("LOCAL-1"), "\xc3\x28");
        QVERIFY(!service.privateKeyBase64url());

        QVERIFY(QFile::remove(CoreConstants::machineConfigPath()));
        service.reload();
        QCOMPARE(changed.count(), 3);
        QVERIFY(!service.config() && !service.isConfigured());
        QVERIFY(!service.privateKeyBase64url());
    }

    void clearKeychainDeletesEveryAccountOfTheService()
    {
        TestHome home;
        MemoryCredentialStore store;
        putKeyItem(store, QStringLiteral("LOCAL-1"), "a");
        putKeyItem(store, QStringLiteral("LOCAL-2"), "b");
        store.add(QStringLiteral("org.other.machine"), QStringLiteral("LOCAL-1"), CoreConstants::keychainAccessGroup(),
                  "c");
        store.add(CoreConstants::keychainService(), QStringLiteral("LOCAL-1"), QStringLiteral("OTHERTEAM.org.other"),
                  "d");
        MachineAuthService service(store);
        service.clearKeychain();
        QCOMPARE(store.items().size(), 2);
        QVERIFY(!store.read(CoreConstants::keychainService(), QStringLiteral("LOCAL-2"),
                            CoreConstants::keychainAccessGroup()));
        QCOMPARE(store.read(QStringLiteral("org.other.machine"), QStringLiteral("LOCAL-1"),
                            CoreConstants::keychainAccessGroup()),
                 std::optional<QByteArray>("c"));
    }

    void storeIdentityWritesKeyItemAndPrivateFiles()
    {
        TestHome home;
        MemoryCredentialStore store;
        putKeyItem(store, QStringLiteral("LOCAL-9"), "old item of this account");
        const auto key = Ed25519Key::generate();
        QVERIFY(key);
        const MachineConfig config{QStringLiteral("m-42"), QStringLiteral("u-1"), QStringLiteral("LOCAL-9"),
                                   QStringLiteral("laptop")};

        // Modes come from creation, not from the umask.
        const mode_t previousMask = ::umask(0);
        const auto result = MachineAuthService::storeIdentity(store, config, *key);
        ::umask(previousMask);
        QVERIFY2(result.ok(), qPrintable(result.fileError));

        const QString item = QString::fromUtf8(*store.read(CoreConstants::keychainService(), QStringLiteral("LOCAL-9"),
                                                           CoreConstants::keychainAccessGroup()));
        QCOMPARE(item.size(), 86);
        QCOMPARE(QByteArray::fromBase64(item.toLatin1(), QByteArray::Base64UrlEncoding), key->seed() + key->publicKey());
        QCOMPARE(store.items().size(), 1);

        QCOMPARE(TestFiles::modeOf(CoreConstants::machineDirectory()), 0700);
        QCOMPARE(TestFiles::modeOf(CoreConstants::machineConfigPath()), 0600);
        QCOMPARE(TestFiles::modeOf(CoreConstants::publicKeyPath()), 0600);
        QFile configFile(CoreConstants::machineConfigPath());
        QVERIFY(configFile.open(QIODevice::ReadOnly));
        const QByteArray configText = configFile.readAll();
        QVERIFY(!configText.contains('\n'));
        QCOMPARE(MachineConfig::decode(configText), std::optional<MachineConfig>(config));
        QFile publicKeyFile(CoreConstants::publicKeyPath());
        QVERIFY(publicKeyFile.open(QIODevice::ReadOnly));
        const QByteArray publicKeyText = publicKeyFile.readAll();
        QCOMPARE(publicKeyText.size(), 43);
        QCOMPARE(publicKeyText, urlSafe(key->publicKey()));
        // No temporary files stay behind.
        QCOMPARE(QDir(CoreConstants::machineDirectory()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 (QStringList{QStringLiteral("machine.json"), QStringLiteral("public-key")}));

        // A new service loads what was stored and signs with it.
        MachineAuthService service(store, [] { return testTime(); });
        QVERIFY(service.isConfigured());
        QCOMPARE(service.machineId(), std::optional<QString>(QStringLiteral("m-42")));
        const auto request = service.signedGETRequest(QUrl(QStringLiteral("https://api.example.com/actions/pending")));
        QVERIFY(request);
        QVERIFY(opensslVerifies(QByteArray::fromBase64(publicKeyText, QByteArray::Base64UrlEncoding),
                                request->request.rawHeader("X-Signed-Message"),
                                QByteArray::fromBase64(request->request.rawHeader("X-Signature"),
                                                       QByteArray::Base64UrlEncoding)));

        // Storing again replaces the files and tightens a loosened directory.
        QVERIFY(::chmod(QFile::encodeName(CoreConstants::machineDirectory()).constData(), 0755) == 0);
        const MachineConfig second{QStringLiteral("m-43"), QStringLiteral("u-1"), QStringLiteral("LOCAL-9"),
                                   QStringLiteral("laptop")};
        QVERIFY(MachineAuthService::storeIdentity(store, second, *key).ok());
        QCOMPARE(TestFiles::modeOf(CoreConstants::machineDirectory()), 0700);
        service.reload();
        QCOMPARE(service.machineId(), std::optional<QString>(QStringLiteral("m-43")));
    }

    void homeReachedThroughALinkWorks()
    {
        TestHome home;
        QVERIFY(QDir(home.path()).mkpath(QStringLiteral("real")));
        const QString link = home.filePath(QStringLiteral("link"));
        QVERIFY(QFile::link(home.filePath(QStringLiteral("real")), link));
        qputenv("QUORVANE_HOME", QFile::encodeName(link));
        QCOMPARE(CoreConstants::homeDirectory(), QFileInfo(home.filePath(QStringLiteral("real"))).canonicalFilePath());

        MemoryCredentialStore store;
        const std::optional<Ed25519Key> key = Ed25519Key::generate();
        QVERIFY(key);
        MachineConfig config{QStringLiteral("m-1"), QStringLiteral("u-1"), QStringLiteral("LOCAL"), QStringLiteral("host")};
        const auto result = MachineAuthService::storeIdentity(store, config, *key);
        QVERIFY2(result.ok(), qPrintable(result.fileError));
        QVERIFY(QFileInfo::exists(home.filePath(QStringLiteral("real/.quorvane/machine/machine.json"))));
        QVERIFY(MachineAuthService(store).isConfigured());
    }

    void storeIdentityStopsAtTheFirstFailure()
    {
        const auto key = Ed25519Key::generate();
        QVERIFY(key);
        const MachineConfig config{QStringLiteral("m-1"), QStringLiteral("u-1"), QStringLiteral("LOCAL-1"),
                                   QStringLiteral("desk")};
        {
            // The store refuses the key: nothing reaches the disk.
            TestHome home;
            MemoryCredentialStore store;
            store.setAddStatus(-25308);
            const auto result = MachineAuthService::storeIdentity(store, config, *key);
            QCOMPARE(result.keychainStatus, -25308);
            QVERIFY(!result.ok());
            QVERIFY(!QFileInfo::exists(CoreConstants::machineDirectory()));
        }
        {
            // A file where the machine directory belongs: the key item stays, the
            // failure is reported with the path.
            TestHome home;
            QVERIFY(home.write(QStringLiteral(".quorvane/machine"), "not a directory"));
            MemoryCredentialStore store;
            const auto result = MachineAuthService::storeIdentity(store, config, *key);
            QCOMPARE(result.keychainStatus, 0);
            QVERIFY(result.fileError.contains(CoreConstants::machineDirectory()));
            QVERIFY(store.read(CoreConstants::keychainService(), QStringLiteral("LOCAL-1"),
                               CoreConstants::keychainAccessGroup()));
        }
    }
};

QTEST_GUILESS_MAIN(TestMachineAuthService)
#include "tst_MachineAuthService.moc"
