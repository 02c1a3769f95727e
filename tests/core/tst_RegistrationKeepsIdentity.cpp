#include "core/CoreConstants.h"
#include "core/Http.h"
#include "core/MachineAuthService.h"
#include "core/RegisterResponse.h"
#include "tests/core/MachineIdentityTesting.h"
#include "tests/core/MemoryCredentialStore.h"
#include "tests/support/BackendMachine.h"
#include "tests/support/TestFiles.h"

#include <QFile>
#include <QNetworkAccessManager>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

const QString localId = u"0A1B2C3D-0000-4000-8000-000000000031"_s;

MachineAuthService::LocalMachine testLocalMachine()
{
    return { localId, u"desk"_s };
}

// The three stored parts of an identity.
struct Stored
{
    std::optional<QByteArray> item;
    QByteArray config;
    QByteArray publicKey;
    bool operator==(const Stored&) const = default;
};

Stored storedIdentity(CredentialStore& store)
{
    return { keyItem(store, localId), TestFiles::contentOf(CoreConstants::machineConfigPath()),
        TestFiles::contentOf(CoreConstants::publicKeyPath()) };
}

// A store that refuses the next key item it is given, and only that one.
class RefusingOnce : public MemoryCredentialStore
{
public:
    int add(const QString& service, const QString& account, const QString& group, const QByteArray& secret) override
    {
        if (std::exchange(m_refuse, false))
            return -25299;
        return MemoryCredentialStore::add(service, account, group, secret);
    }
    void refuseNextAdd() { m_refuse = true; }

private:
    bool m_refuse = false;
};

// A registered machine (ada) on the reference back-end and a second user (bob) signing in.
struct Fixture : BackendMachine
{
    QNetworkAccessManager network;

    Fixture()
        : BackendMachine(false)
    {
    }
    QString session(const QString& email) { return backend.createUser(email).value("session_token"_L1).toString(); }
    std::optional<MachineRegistrationError> registerAs(MachineAuthService& auth, const QString& token,
        const QString& email)
    {
        return QCoro::waitFor(auth.registerMachine(token, email));
    }
    // The loaded identity signs a request that the back-end verifies.
    bool signsForTheBackend(MachineAuthService& auth)
    {
        const auto request = auth.signedGETRequest(backend.url(u"/actions/pending"_s));
        if (!request || QCoro::waitFor(Http::send(network, *request)).status != 200)
            return false;
        return requestsTo(u"/actions/pending"_s).last().value("verified"_L1).toBool();
    }
};

} // namespace

// Registering as another user keeps the loaded identity until the new one is
// stored: whatever fails, the old key item, machine.json and public-key stay
// and keep signing.
class TestRegistrationKeepsIdentity : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void failuresKeepTheLoadedIdentity_data()
    {
        QTest::addColumn<int>("status"); // 0: a refused session, nothing injected
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("description");
        QTest::newRow("500") << 500 << R"({"error":"down"})"_ba << QStringLiteral(R"(API error (500): {"error":"down"})");
        QTest::newRow("refused session")
            << 0 << QByteArray() << QStringLiteral(R"(API error (401): {"error":"unknown session"})");
        QTest::newRow("1 MiB error body")
            << 500 << QByteArray(1024 * 1024, 'x') << u"API error (500): (answer too large)"_s;
        QTest::newRow("long error body") << 502 << QByteArray(2000, 'y')
                                         << u"API error (502): "_s + QString(500, u'y') + u"…"_s;
        const QString invalid = u"Invalid registration response"_s;
        QTest::newRow("no user_id") << 200 << R"({"machine_id":"m-9"})"_ba << invalid;
        QTest::newRow("empty machine_id") << 201 << R"({"machine_id":"","user_id":"bob"})"_ba << invalid;
        QTest::newRow("line-broken machine_id")
            << 200 << R"({"machine_id":"m-9\nX-Evil: 1","user_id":"bob"})"_ba << invalid;
        QTest::newRow("separator in machine_id")
            << 200 << "{\"machine_id\":\"m-9\u2028\",\"user_id\":\"bob\"}"_ba << invalid;
        QTest::newRow("129-character machine_id")
            << 200 << "{\"machine_id\":\"" + QByteArray(129, 'm') + "\",\"user_id\":\"bob\"}" << invalid;
        QTest::newRow("control character in user_id")
            << 200 << R"({"machine_id":"m-9","user_id":"bob\u0007"})"_ba << invalid;
        QTest::newRow("empty user_id") << 200 << R"({"machine_id":"m-9","user_id":""})"_ba << invalid;
    }

    void failuresKeepTheLoadedIdentity()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QString, description);
        Fixture f;
        QVERIFY2(f.backend.isRunning(), qPrintable(f.backend.lastError()));
        MachineAuthService auth(f.store, f.network, &testLocalMachine);
        QVERIFY(!f.registerAs(auth, f.session(u"ada@example.com"_s), u"ada@example.com"_s));
        const Stored before = storedIdentity(f.store);
        QVERIFY(before.item && !before.config.isEmpty() && !before.publicKey.isEmpty());
        const QString adaId = *auth.machineId();

        const QString token = status ? f.session(u"bob@example.com"_s) : u"not-a-session"_s;
        if (status)
            QVERIFY(f.backend.inject("POST", u"/machines/register"_s, status, body));
        const auto error = f.registerAs(auth, token, u"bob@example.com"_s);
        QVERIFY(error);
        QCOMPARE(error->description(), description);

        // Nothing was wiped, in memory or on disk, and the old key still signs.
        QVERIFY(auth.isConfigured());
        QCOMPARE(*auth.machineId(), adaId);
        QCOMPARE(storedIdentity(f.store), before);
        QVERIFY(!QFile::exists(CoreConstants::machineDirectory() + u".previous"_s));
        auth.reload();
        QVERIFY(auth.isConfigured());
        QCOMPARE(*auth.userId(), u"ada@example.com"_s);
        QVERIFY(f.signsForTheBackend(auth));
    }

    void acceptedIdsAreKept()
    {
        const QString longest(RegisterResponse::maximumIdLength, u'm');
        const auto decoded
            = RegisterResponse::decode("{\"machine_id\":\"" + longest.toUtf8() + "\",\"user_id\":\"bö b\"}");
        QVERIFY(decoded);
        QCOMPARE(decoded->machineId, longest);
        QCOMPARE(decoded->userId, u"bö b"_s);
        QVERIFY(!RegisterResponse::isUsableId(u"m\t1"_s));
        QVERIFY(!RegisterResponse::isUsableId(u"m\u00851"_s)); // C1 next line
        QVERIFY(!RegisterResponse::isUsableId(QStringView(u"m\xd800")));
    }

    void aRefusedKeyPutsTheOldIdentityBack()
    {
        Fixture f;
        RefusingOnce store;
        MachineAuthService auth(store, f.network, &testLocalMachine);
        QVERIFY(!f.registerAs(auth, f.session(u"ada@example.com"_s), u"ada@example.com"_s));
        QVERIFY(f.home.write(u".quorvane/machine/approver-only"_s, ""));
        const Stored before = storedIdentity(store);
        const QString adaId = *auth.machineId();

        // The back-end registers bob; the store refuses the new key after the
        // old folder was set aside: the key item and the folder come back.
        store.refuseNextAdd();
        const auto error = f.registerAs(auth, f.session(u"bob@example.com"_s), u"bob@example.com"_s);
        QVERIFY(error);
        QCOMPARE(error->description(), u"Keychain write failed: -25299"_s);
        QCOMPARE(storedIdentity(store), before);
        QVERIFY(QFile::exists(CoreConstants::approverOnlyPath()));
        QCOMPARE(TestFiles::modeOf(CoreConstants::machineDirectory()), 0700);
        auth.reload();
        QCOMPARE(*auth.machineId(), adaId);
        QVERIFY(f.signsForTheBackend(auth));

        // The folder cannot be set aside (a file holds the place): nothing changes.
        QVERIFY(f.home.write(u".quorvane/machine.previous"_s, "a file"));
        const auto blocked = f.registerAs(auth, f.session(u"bob@example.com"_s), u"bob@example.com"_s);
        QVERIFY(blocked);
        QCOMPARE(blocked->kind(), MachineRegistrationError::Kind::fileWriteFailed);
        QCOMPARE(storedIdentity(store), before);
        QCOMPARE(*auth.machineId(), adaId);

        // Then it works: bob's identity replaces ada's whole, and the place is cleared.
        QVERIFY(QFile::remove(f.home.filePath(u".quorvane/machine.previous"_s)));
        QVERIFY(!f.registerAs(auth, f.session(u"bob@example.com"_s), u"bob@example.com"_s));
        QCOMPARE(*auth.userId(), u"bob@example.com"_s);
        QVERIFY(*auth.machineId() != adaId);
        QVERIFY(storedIdentity(store).item != before.item);
        QVERIFY(!QFile::exists(CoreConstants::approverOnlyPath()));
        QVERIFY(!QFile::exists(CoreConstants::machineDirectory() + u".previous"_s));
        QVERIFY(f.signsForTheBackend(auth));
    }
};

QTEST_GUILESS_MAIN(TestRegistrationKeepsIdentity)
#include "tst_RegistrationKeepsIdentity.moc"
