#include "core/CoreConstants.h"
#include "core/Http.h"
#include "core/MachineAuthService.h"
#include "tests/core/MachineIdentityTesting.h"
#include "tests/support/BackendMachine.h"
#include "tests/support/LogCapture.h"
#include "tests/support/TestFiles.h"

#include <QFile>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

const QString localId = u"0A1B2C3D-0000-4000-8000-000000000001"_s;
const QString ada = u"ada@example.com"_s;
const QString bob = u"bob@example.com"_s;

MachineAuthService::LocalMachine testLocalMachine()
{
    return { localId, u"desk"_s };
}

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

class RefusingOnce : public MemoryCredentialStore
{
public:
    int add(const QString& service, const QString& account, const QString& group,
        const QByteArray& secret) override
    {
        if (std::exchange(m_refuse, false))
            return -25299;
        return MemoryCredentialStore::add(service, account, group, secret);
    }
    void refuseNextAdd() { m_refuse = true; }

private:
    bool m_refuse = false;
};

// A home and the reference back-end with no machine registered yet.
struct Fixture : BackendMachine
{
    QNetworkAccessManager network;

    Fixture()
        : BackendMachine(false)
    {
    }

    QString session(const QString& email)
    {
        return backend.createUser(email).value("session_token"_L1).toString();
    }
    std::optional<MachineRegistrationError> registerAs(
        MachineAuthService& auth, const QString& email, const QString& token = {})
    {
        return QCoro::waitFor(auth.registerMachine(token.isNull() ? session(email) : token, email));
    }
    std::variant<LinkResult, LinkError> link(MachineAuthService& auth, const QString& agentId)
    {
        return QCoro::waitFor(auth.linkAgent(agentId));
    }
    bool signsForTheBackend(MachineAuthService& auth)
    {
        const auto request = auth.signedGETRequest(backend.url(u"/actions/pending"_s));
        if (!request || QCoro::waitFor(Http::send(network, *request)).status != 200)
            return false;
        return requestsTo(u"/actions/pending"_s).last().value("verified"_L1).toBool();
    }
};

QString describe(const std::optional<MachineRegistrationError>& error)
{
    return error ? error->description() : u"(success)"_s;
}

QString describe(const std::variant<LinkResult, LinkError>& outcome)
{
    return std::holds_alternative<LinkError>(outcome) ? std::get<LinkError>(outcome).description()
                                                      : u"(linked)"_s;
}

int kindOf(const std::variant<LinkResult, LinkError>& outcome)
{
    return std::holds_alternative<LinkError>(outcome) ? int(std::get<LinkError>(outcome).kind()) : -1;
}

// An empty `expected` stands for the transfer's own text of a system error.
bool failedWith(const std::optional<MachineRegistrationError>& error, const QString& expected)
{
    if (!error)
        return false;
    if (expected.isEmpty())
        return error->kind() == MachineRegistrationError::Kind::systemError
            && !error->description().isEmpty();
    return error->description() == expected;
}

} // namespace

// Registration and linking against the reference back-end, and the identity they leave behind.
// How the identity's parts are written (modes, key item, files) is the machine-key program's test.
class TestMachineRegistration : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void registrationStoresTheIdentityThatThenSigns()
    {
        Fixture f;
        QVERIFY2(f.backend.isRunning(), qPrintable(f.backend.lastError()));
        MachineAuthService auth(f.store, f.network, &testLocalMachine);
        const QString token = f.session(ada);
        LogCapture log;
        const auto error = f.registerAs(auth, ada, token);
        QVERIFY2(!error, qPrintable(describe(error)));

        // The request: unsigned, the session as a cookie, exactly three members.
        const QList<QJsonObject> sent = f.requestsTo(u"/machines/register"_s);
        QCOMPARE(sent.size(), 1);
        const QJsonObject headers = sent.first().value("headers"_L1).toObject();
        QCOMPARE(headers.value("Cookie"_L1).toString(), u"quorvane_session="_s + token);
        QCOMPARE(headers.value("Content-Type"_L1).toString(), u"application/json"_s);
        QVERIFY(!headers.contains("X-Signature"_L1));
        const QJsonObject body
            = QJsonDocument::fromJson(sent.first().value("body"_L1).toString().toUtf8()).object();
        QCOMPARE(body.keys(), QStringList({ u"machine_id_local"_s, u"name"_s, u"public_key"_s }));
        QCOMPARE(body.value("machine_id_local"_L1).toString(), localId);
        QCOMPARE(body.value("name"_L1).toString(), u"desk"_s);

        // Stored: the back-end's answer and the public key that was sent.
        const std::optional<MachineConfig> config
            = MachineConfig::decode(TestFiles::contentOf(CoreConstants::machineConfigPath()));
        QVERIFY(config && config->id.startsWith("m-"_L1));
        QCOMPARE(*config, (MachineConfig { config->id, ada, localId, u"desk"_s }));
        QCOMPARE(TestFiles::contentOf(CoreConstants::publicKeyPath()),
            body.value("public_key"_L1).toString().toUtf8());

        // The log names the first 8 characters of the id and never the session.
        QVERIFY2(log.contains(u"Quorvane: Machine registered — id="_s + config->id.left(8) + u"…"_s),
            qPrintable(log.lines().join(u'\n')));
        QVERIFY(log.lines().filter(token).isEmpty());
        QVERIFY(f.signsForTheBackend(auth));
    }

    void registeringAgainFollowsWhoseIdentityIsLoaded()
    {
        Fixture f;
        MachineAuthService auth(f.store, f.network, &testLocalMachine);
        QVERIFY(!f.registerAs(auth, ada));
        const std::optional<QByteArray> firstKey = keyItem(f.store, localId);
        const QString firstId = *auth.machineId();

        // The same e-mail: nothing is sent, nothing changes.
        QVERIFY(f.backend.clearRequests());
        QVERIFY(!f.registerAs(auth, ada, u"any"_s));
        QVERIFY(f.backend.requests().isEmpty());
        QCOMPARE(keyItem(f.store, localId), firstKey);

        // A config without its key item is registered again without a wipe; the
        // back-end keeps the id of a machine it knows and answers 200.
        f.store.remove(CoreConstants::keychainService(), localId, CoreConstants::keychainAccessGroup());
        QVERIFY(f.home.write(u".quorvane/machine/kept"_s, "x"));
        auth.reload();
        QVERIFY(!auth.isConfigured());
        QVERIFY(!f.registerAs(auth, ada));
        QVERIFY(QFile::exists(CoreConstants::machineDirectory() + u"/kept"_s));
        QVERIFY(auth.isConfigured());
        QCOMPARE(*auth.machineId(), firstId);
    }

    void failedRegistrationsStoreNothingAndKeepTheLoadedIdentity_data()
    {
        QTest::addColumn<int>("status"); // 0: a refused session; -1: the connection closes unanswered
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("description"); // empty: the transfer's own text
        QTest::newRow("500") << 500 << R"({"error":"down"})"_ba << uR"(API error (500): {"error":"down"})"_s;
        QTest::newRow("refused session")
            << 0 << QByteArray() << uR"(API error (401): {"error":"unknown session"})"_s;
        QTest::newRow("1 MiB error body")
            << 500 << QByteArray(1024 * 1024, 'x') << u"API error (500): (answer too large)"_s;
        QTest::newRow("long error body")
            << 502 << QByteArray(2000, 'y') << u"API error (502): "_s + QString(500, u'y') + u"…"_s;
        QTest::newRow("no user_id") << 200 << R"({"machine_id":"m-9"})"_ba
                                    << u"Invalid registration response"_s;
        QTest::newRow("empty machine_id")
            << 201 << R"({"machine_id":"","user_id":"bob"})"_ba << u"Invalid registration response"_s;
        QTest::newRow("no answer") << -1 << QByteArray() << QString();
    }

    // Whatever fails, nothing is stored; and registering as another user keeps the loaded
    // identity (key item, machine.json, public-key) until the new one is stored: it still signs.
    void failedRegistrationsStoreNothingAndKeepTheLoadedIdentity()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QString, description);
        Fixture f;
        MachineAuthService auth(f.store, f.network, &testLocalMachine);
        const auto fail = [&] {
            return status < 0 ? f.backend.closeEveryConnection("POST", u"/machines/register"_s)
                              : !status || f.backend.inject("POST", u"/machines/register"_s, status, body);
        };
        const QString token = status ? QString() : u"not-a-session"_s;
        QVERIFY(fail());
        auto error = f.registerAs(auth, bob, token);
        QVERIFY2(failedWith(error, description), qPrintable(describe(error)));
        if (status >= 400)
            QCOMPARE(error->code(), status);
        QVERIFY(!auth.isConfigured() && !keyItem(f.store, localId));
        QVERIFY(!QFile::exists(CoreConstants::machineConfigPath()));

        QVERIFY(f.backend.clearInjections());
        QVERIFY(!f.registerAs(auth, ada));
        const Stored before = storedIdentity(f.store);
        QVERIFY(before.item && !before.config.isEmpty() && !before.publicKey.isEmpty());
        const QString adaId = *auth.machineId();
        QVERIFY(fail());
        error = f.registerAs(auth, bob, token);
        QVERIFY2(failedWith(error, description), qPrintable(describe(error)));
        QVERIFY(f.backend.clearInjections());
        QVERIFY(auth.isConfigured());
        QCOMPARE(*auth.machineId(), adaId);
        QCOMPARE(storedIdentity(f.store), before);
        QVERIFY(!QFile::exists(CoreConstants::machineDirectory() + u".previous"_s));
        auth.reload();
        QCOMPARE(*auth.userId(), ada);
        QVERIFY(f.signsForTheBackend(auth));
    }

    // A refused key item writes no file, an unwritable folder leaves the key item, and when replacing
    // either puts the loaded identity back whole. A session that would break the header is not sent.
    void storeAndFileFailures()
    {
        Fixture f;
        RefusingOnce store;
        MachineAuthService auth(store, f.network, &testLocalMachine);
        store.refuseNextAdd();
        QCOMPARE(describe(f.registerAs(auth, ada)), u"Keychain write failed: -25299"_s);
        QVERIFY(!QFile::exists(CoreConstants::machineDirectory()));
        QVERIFY(f.home.write(u".quorvane/machine"_s, "a file in the way"));
        const QString description = describe(f.registerAs(auth, ada));
        QVERIFY2(description.startsWith("File write failed: "_L1)
                && description.contains(CoreConstants::machineDirectory()),
            qPrintable(description));
        QVERIFY(keyItem(store, localId));
        QVERIFY(!auth.isConfigured());
        QVERIFY(f.backend.clearRequests());
        QCOMPARE(describe(f.registerAs(auth, ada, u"t\r\nX-Evil: 1"_s)),
            u"Network error: Invalid session token"_s);
        QVERIFY(f.backend.requests().isEmpty());

        QVERIFY(QFile::remove(CoreConstants::machineDirectory()));
        QVERIFY(!f.registerAs(auth, ada));
        QVERIFY(f.home.write(u".quorvane/machine/approver-only"_s, ""));
        const Stored before = storedIdentity(store);
        const QString adaId = *auth.machineId();

        // The back-end registers bob; the store refuses the new key after the
        // old folder was set aside: the key item and the folder come back.
        store.refuseNextAdd();
        QCOMPARE(describe(f.registerAs(auth, bob)), u"Keychain write failed: -25299"_s);
        QCOMPARE(storedIdentity(store), before);
        QVERIFY(QFile::exists(CoreConstants::approverOnlyPath()));
        QCOMPARE(TestFiles::modeOf(CoreConstants::machineDirectory()), 0700);
        auth.reload();
        QCOMPARE(*auth.machineId(), adaId);
        QVERIFY(f.signsForTheBackend(auth));

        // The folder cannot be set aside (a file holds the place): nothing changes.
        QVERIFY(f.home.write(u".quorvane/machine.previous"_s, "a file"));
        const auto blocked = f.registerAs(auth, bob);
        QVERIFY(blocked);
        QCOMPARE(blocked->kind(), MachineRegistrationError::Kind::fileWriteFailed);
        QCOMPARE(storedIdentity(store), before);
        QCOMPARE(*auth.machineId(), adaId);

        // Then it works: bob's identity replaces ada's whole; every key item of the service, the
        // old folder and the place aside go.
        QVERIFY(QFile::remove(f.home.filePath(u".quorvane/machine.previous"_s)));
        store.add(CoreConstants::keychainService(), u"OTHER-ACCOUNT"_s, CoreConstants::keychainAccessGroup(),
            "old");
        QVERIFY(!f.registerAs(auth, bob));
        QCOMPARE(*auth.userId(), bob);
        QVERIFY(*auth.machineId() != adaId);
        QVERIFY(storedIdentity(store).item != before.item);
        QVERIFY(!keyItem(store, u"OTHER-ACCOUNT"_s));
        QVERIFY(!QFile::exists(CoreConstants::approverOnlyPath()));
        QVERIFY(!QFile::exists(CoreConstants::machineDirectory() + u".previous"_s));
        QVERIFY(f.signsForTheBackend(auth));
    }

    void linkingAgainstTheBackend()
    {
        Fixture f;
        MachineAuthService auth(f.store, f.network, &testLocalMachine);

        // Not configured: refused before anything is sent.
        QCOMPARE(describe(f.link(auth, u"agent-1"_s)), u"Machine not configured"_s);
        QVERIFY(f.backend.requests().isEmpty());

        QVERIFY(!f.registerAs(auth, ada));
        const QString agent = f.backend.addAgent(u"helper"_s, u"claude-code"_s, QString(), ada);
        QVERIFY(!agent.isEmpty());
        auto outcome = f.link(auth, agent);
        QVERIFY2(std::holds_alternative<LinkResult>(outcome), qPrintable(describe(outcome)));
        const LinkResult linked = std::get<LinkResult>(outcome);
        QVERIFY(linked.linked && !linked.hasOtherMachines);
        QCOMPARE(linked.agentId, agent);
        const QJsonObject request = f.requestsTo(u"/agents/link-machine"_s).last();
        QVERIFY(request.value("verified"_L1).toBool());
        QCOMPARE(request.value("body"_L1).toString(), u"{\"agent_id\":\"%1\"}"_s.arg(agent));

        // Another agent of the same name on this machine: 409, the body is the text.
        outcome = f.link(auth, f.backend.addAgent(u"helper"_s, u"claude-code"_s, QString(), ada));
        QCOMPARE(kindOf(outcome), int(LinkError::Kind::duplicateName));
        QCOMPARE(describe(outcome), u"duplicate name"_s);

        // Any agent id makes a valid JSON body (here: unknown, 404).
        const QString odd = u"a\"b\\c\nd"_s;
        outcome = f.link(auth, odd);
        QCOMPARE(kindOf(outcome), int(LinkError::Kind::apiError));
        QCOMPARE(std::get<LinkError>(outcome).status(), 404);
        const QByteArray oddBody
            = f.requestsTo(u"/agents/link-machine"_s).last().value("body"_L1).toString().toUtf8();
        QCOMPARE(QJsonDocument::fromJson(oddBody).object().value("agent_id"_L1).toString(), odd);

        // 500 with a JSON body; a 200 that is not a LinkResult; no answer at all.
        QVERIFY(f.backend.inject("POST", u"/agents/link-machine"_s, 500, R"({"error":"boom"})"));
        QCOMPARE(describe(f.link(auth, agent)), uR"(API error (500): {"error":"boom"})"_s);
        QVERIFY(f.backend.inject("POST", u"/agents/link-machine"_s, 200, R"({"linked":true})"));
        QCOMPARE(describe(f.link(auth, agent)), u"Invalid link response"_s);
        QVERIFY(f.backend.closeEveryConnection("POST", u"/agents/link-machine"_s));
        QCOMPARE(kindOf(f.link(auth, agent)), int(LinkError::Kind::systemError));
    }

    void linkRefusesWhatCannotBeSigned()
    {
        // A machine id with a line break cannot travel in the signed headers.
        Configured configured;
        QVERIFY(configured.home.write(u".quorvane/machine/machine.json"_s,
            R"({"id":"m-1\nX","user_id":"u","machine_id_local":"LOCAL-1","name":"n"})"));
        QNetworkAccessManager network;
        MachineAuthService auth(configured.store, network, &testLocalMachine);
        QVERIFY(auth.isConfigured());
        QCOMPARE(
            describe(QCoro::waitFor(auth.linkAgent(u"agent-1"_s))), u"Failed to create signed request"_s);
    }
};

QTEST_GUILESS_MAIN(TestMachineRegistration)
#include "tst_MachineRegistration.moc"
