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

// The stored machine identity: what loading makes of every stored state, and what
// storing writes to the credential store and the private files.
class TestMachineIdentityStore : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void reloadHandlesEveryStoredState_data()
    {
        QTest::addColumn<QByteArray>("fileKind"); // "file", "none", "directory", "fifo", "huge"
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<bool>("hasItem");
        QTest::addColumn<QByteArray>("item");
        QTest::addColumn<bool>("configLoaded");
        QTest::addColumn<bool>("configured");
        QTest::addColumn<QString>("logLine"); // "%path" is filled in; empty: no line

        const QByteArray full = urlSafe(testSeed + testPublicKey);
        const QString noConfig = u"Quorvane: MachineAuthService — no config at %path"_s;
        const QString noKey = u"Quorvane: MachineAuthService — keychain read failed for account LOCAL-1"_s;
        const QByteArray file = "file";
        QTest::newRow("configured, 86-char key")
            << file << validConfig << true << full << true << true << QString();
        QTest::newRow("seed-only key (43 chars)")
            << file << validConfig << true << urlSafe(testSeed) << true << true << QString();
        QTest::newRow("no machine.json")
            << "none"_ba << QByteArray() << true << full << false << false << noConfig;
        QTest::newRow("truncated JSON")
            << file << validConfig.left(30) << true << full << false << false << noConfig;
        QTest::newRow("FIFO in its place")
            << "fifo"_ba << QByteArray() << true << full << false << false << noConfig;
        QTest::newRow("larger than 1 MiB")
            << "huge"_ba << validConfig << true << full << false << false << noConfig;
        QTest::newRow("no key item") << file << validConfig << false << QByteArray() << true << false
                                     << noKey;
        QTest::newRow("key not UTF-8")
            << file << validConfig << true << "\xff\xfe\x80"_ba << true << false << noKey;
        QTest::newRow("key with a line break") << file << validConfig << true << full + '\n'
                                               << true << false << noKey;
        QTest::newRow("31-byte key") << file << validConfig << true << urlSafe(testSeed.left(31)) << true
                                     << false << QString();
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
        if (fileKind == "file")
            QVERIFY(TestFiles::write(path, json));
        else if (fileKind == "fifo")
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        else if (fileKind == "huge") // valid JSON, just too big
            QVERIFY(TestFiles::write(path, json + QByteArray(MachineAuthService::maximumConfigSize, ' ')));
        MemoryCredentialStore store;
        if (hasItem)
            putKeyItem(store, u"LOCAL-1"_s, item);

        LogCapture log;
        const MachineAuthService service(store, [] { return testTime(); });
        QCOMPARE(service.config().has_value(), configLoaded);
        QCOMPARE(service.isConfigured(), configured);
        QCOMPARE(log.lines(),
            logLine.isEmpty() ? QStringList() : QStringList { QString(logLine).replace("%path"_L1, path) });
        QCOMPARE(service.machineId(), configLoaded ? std::optional<QString>(u"m-1"_s) : std::nullopt);
        QCOMPARE(service.userId(), configLoaded ? std::optional<QString>(u"u-7"_s) : std::nullopt);
        if (configLoaded)
            QCOMPARE(service.config()->name, u"desk"_s);
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
        const QByteArray publicKeyText = TestFiles::contentOf(CoreConstants::publicKeyPath());
        QCOMPARE(publicKeyText, urlSafe(key->publicKey()));
        // No temporary files stay behind.
        QCOMPARE(QDir(CoreConstants::machineDirectory())
                     .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
            (QStringList { u"machine.json"_s, u"public-key"_s }));

        // A new service loads what was stored and signs with it.
        MachineAuthService service(store, [] { return testTime(); });
        QCOMPARE(service.machineId(), std::optional<QString>(u"m-42"_s));
        const auto request = service.signedGETRequest(pendingUrl);
        QVERIFY(request);
        QVERIFY(opensslVerifies(QByteArray::fromBase64(publicKeyText, QByteArray::Base64UrlEncoding),
            request->request.rawHeader("X-Signed-Message"),
            QByteArray::fromBase64(
                request->request.rawHeader("X-Signature"), QByteArray::Base64UrlEncoding)));

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
        const std::optional<Ed25519Key> key = Ed25519Key::generate();
        QVERIFY(key);
        const auto result
            = MachineAuthService::storeIdentity(store, { u"m-1"_s, u"u-1"_s, u"L"_s, u"host"_s }, *key);
        QVERIFY2(result.ok(), qPrintable(result.fileError));
        QVERIFY(QFileInfo::exists(home.filePath(u"real/.quorvane/machine/machine.json"_s)));
        QVERIFY(MachineAuthService(store).isConfigured());
    }

    void storeIdentityStopsAtTheFirstFailure()
    {
        const auto key = Ed25519Key::generate();
        QVERIFY(key);
        const MachineConfig config { u"m-1"_s, u"u-1"_s, u"LOCAL-1"_s, u"desk"_s };
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
        // A file where the machine directory belongs: the key item stays, the failure names the path.
        TestHome home;
        QVERIFY(home.write(u".quorvane/machine"_s, "not a directory"));
        MemoryCredentialStore store;
        const auto result = MachineAuthService::storeIdentity(store, config, *key);
        QCOMPARE(result.keychainStatus, 0);
        QVERIFY(result.fileError.contains(CoreConstants::machineDirectory()));
        QVERIFY(keyItem(store, u"LOCAL-1"_s));
    }
};

QTEST_GUILESS_MAIN(TestMachineIdentityStore)
#include "tst_MachineIdentityStore.moc"
