#include "tests/support/BackendMachine.h"
#include "core/CoreConstants.h"
#include "core/Http.h"
#include "tests/support/LogCapture.h"
#include "core/MachineAuthService.h"
#include "tests/core/MachineIdentityTesting.h"
#include "tests/core/MemoryCredentialStore.h"
#include "core/RegisterResponse.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestHome.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QTest>
#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {

const QString localId = u"0A1B2C3D-0000-4000-8000-000000000001"_s;

MachineAuthService::LocalMachine testLocalMachine()
{
    return { localId, u"desk"_s };
}

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
    std::optional<MachineRegistrationError> registerAs(MachineAuthService& auth, const QString& email)
    {
        return QCoro::waitFor(auth.registerMachine(session(email), email));
    }
    std::variant<LinkResult, LinkError> link(MachineAuthService& auth, const QString& agentId)
    {
        return QCoro::waitFor(auth.linkAgent(agentId));
    }
};

// A recorded request's header, whatever the case of its name.
QString header(const QJsonObject& request, const QString& name)
{
    const QJsonObject headers = request.value("headers"_L1).toObject();
    for (auto it = headers.begin(); it != headers.end(); ++it) {
        if (it.key().compare(name, Qt::CaseInsensitive) == 0)
            return it.value().toString();
    }
    return {};
}

QString describe(const std::optional<MachineRegistrationError>& error)
{
    return error ? error->description() : u"(success)"_s;
}

QString describe(const std::variant<LinkResult, LinkError>& outcome)
{
    return std::holds_alternative<LinkError>(outcome) ? std::get<LinkError>(outcome).description()
                                                      : u"(linked)"_s;
}

} // namespace

// Registration and linking against the reference back-end, and the stored
// identity they leave behind.
class TestMachineRegistration : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void registrationStoresTheIdentityThatThenSigns()
    {
        Fixture f;
        QVERIFY2(f.backend.isRunning(), qPrintable(f.backend.lastError()));
        MachineAuthService auth(f.store, f.network, &testLocalMachine);
        QVERIFY(!auth.isConfigured());
        const QString token = f.session(u"ada@example.com"_s);
        LogCapture log;
        const auto error = QCoro::waitFor(auth.registerMachine(token, u"ada@example.com"_s));
        QVERIFY2(!error, qPrintable(describe(error)));
        QVERIFY(auth.isConfigured());

        // The request: unsigned, the session as a cookie, exactly three members.
        const QList<QJsonObject> sent = f.requestsTo(u"/machines/register"_s);
        QCOMPARE(sent.size(), 1);
        QCOMPARE(header(sent.first(), u"Cookie"_s), u"quorvane_session="_s + token);
        QCOMPARE(header(sent.first(), u"Content-Type"_s), u"application/json"_s);
        QVERIFY(header(sent.first(), u"X-Signature"_s).isEmpty());
        const QJsonObject body
            = QJsonDocument::fromJson(sent.first().value("body"_L1).toString().toUtf8()).object();
        QCOMPARE(body.keys(), QStringList({ u"machine_id_local"_s, u"name"_s, u"public_key"_s }));
        QCOMPARE(body.value("machine_id_local"_L1).toString(), localId);
        QCOMPARE(body.value("name"_L1).toString(), u"desk"_s);

        // The three stored parts.
        QCOMPARE(TestFiles::modeOf(CoreConstants::machineDirectory()), 0700);
        QCOMPARE(TestFiles::modeOf(CoreConstants::machineConfigPath()), 0600);
        QCOMPARE(TestFiles::modeOf(CoreConstants::publicKeyPath()), 0600);
        const std::optional<MachineConfig> config
            = MachineConfig::decode(TestFiles::contentOf(CoreConstants::machineConfigPath()));
        QVERIFY(config);
        QVERIFY(config->id.startsWith("m-"_L1));
        QCOMPARE(config->userId, u"ada@example.com"_s);
        QCOMPARE(config->machineIdLocal, localId);
        QCOMPARE(config->name, u"desk"_s);
        const QByteArray publicKey = TestFiles::contentOf(CoreConstants::publicKeyPath());
        QCOMPARE(publicKey.size(), 43);
        QCOMPARE(publicKey, body.value("public_key"_L1).toString().toUtf8());
        const std::optional<QByteArray> item = keyItem(f.store, localId);
        QVERIFY(item);
        QCOMPARE(item->size(), 86);
        const std::optional<QByteArray> keyBytes
            = MachineAuthService::base64urlDecode(QString::fromUtf8(*item));
        QVERIFY(keyBytes);
        QCOMPARE(MachineAuthService::base64urlEncode(keyBytes->mid(32)).toUtf8(), publicKey);
        QCOMPARE(Ed25519Key::fromSeed(keyBytes->left(32))->publicKey(), keyBytes->mid(32));

        // The log names the first 8 characters of the id and never the session.
        QVERIFY2(log.contains(u"Quorvane: Machine registered — id="_s + config->id.left(8) + u"…"_s),
            qPrintable(log.lines().join(u'\n')));
        for (const QString& line : log.lines())
            QVERIFY(!line.contains(token));

        // A signed request made afterwards verifies on the back-end.
        const auto signedRequest = auth.signedGETRequest(f.backend.url(u"/actions/pending"_s));
        QVERIFY(signedRequest);
        const HttpResponse pending = QCoro::waitFor(Http::send(f.network, *signedRequest));
        QCOMPARE(pending.status, 200);
        QVERIFY(f.requestsTo(u"/actions/pending"_s).first().value("verified"_L1).toBool());
    }

    void registeringAgainFollowsWhoseIdentityIsLoaded()
    {
        Fixture f;
        MachineAuthService auth(f.store, f.network, &testLocalMachine);
        QVERIFY(!f.registerAs(auth, u"ada@example.com"_s));
        const std::optional<QByteArray> firstKey = keyItem(f.store, localId);
        const QString firstId = *auth.machineId();

        // The same e-mail: nothing is sent, nothing changes.
        QVERIFY(f.backend.clearRequests());
        QVERIFY(!QCoro::waitFor(auth.registerMachine(u"any"_s, u"ada@example.com"_s)));
        QVERIFY(f.backend.requests().isEmpty());
        QCOMPARE(keyItem(f.store, localId), firstKey);

        // Another user: every key item of the service and the folder go first.
        f.store.add(CoreConstants::keychainService(), u"OTHER-ACCOUNT"_s,
            CoreConstants::keychainAccessGroup(), "stale");
        QVERIFY(f.home.write(u".quorvane/machine/stale"_s, "old"));
        QVERIFY(!f.registerAs(auth, u"bob@example.com"_s));
        QVERIFY(!keyItem(f.store, u"OTHER-ACCOUNT"_s));
        QVERIFY(!QFile::exists(CoreConstants::machineDirectory() + u"/stale"_s));
        QVERIFY(keyItem(f.store, localId) != firstKey);
        QCOMPARE(*auth.userId(), u"bob@example.com"_s);
        QVERIFY(*auth.machineId() != firstId);

        // A config without its key item is registered again without a wipe; the
        // back-end keeps the id of a machine it knows and answers 200.
        f.store.remove(CoreConstants::keychainService(), localId, CoreConstants::keychainAccessGroup());
        QVERIFY(f.home.write(u".quorvane/machine/kept"_s, "x"));
        auth.reload();
        QVERIFY(!auth.isConfigured());
        const QString bobId = *auth.machineId();
        QVERIFY(!f.registerAs(auth, u"bob@example.com"_s));
        QVERIFY(QFile::exists(CoreConstants::machineDirectory() + u"/kept"_s));
        QVERIFY(auth.isConfigured());
        QCOMPARE(*auth.machineId(), bobId);
    }

    void registrationFailuresLeaveNoIdentity_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("description");
        QTest::addColumn<int>("kind");
        using Kind = MachineRegistrationError::Kind;
        QTest::newRow("500 with a JSON body")
            << 500 << R"({"error":"database down"})"_ba << QStringLiteral(R"(API error (500): {"error":"database down"})")
            << int(Kind::apiError);
        QTest::newRow("403 plain text")
            << 403 << "forbidden"_ba << u"API error (403): forbidden"_s << int(Kind::apiError);
        QTest::newRow("200 without user_id") << 200 << R"({"machine_id":"m-9"})"_ba
                                             << u"Invalid registration response"_s << int(Kind::systemError);
        QTest::newRow("200 not JSON")
            << 200 << "<html>"_ba << u"Invalid registration response"_s << int(Kind::systemError);
    }

    void registrationFailuresLeaveNoIdentity()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QString, description);
        QFETCH(int, kind);
        Fixture f;
        MachineAuthService auth(f.store, f.network, &testLocalMachine);
        QVERIFY(f.backend.inject("POST", u"/machines/register"_s, status, body));
        const auto error = f.registerAs(auth, u"ada@example.com"_s);
        QVERIFY(error);
        QCOMPARE(error->description(), description);
        QCOMPARE(int(error->kind()), kind);
        if (error->kind() == MachineRegistrationError::Kind::apiError)
            QCOMPARE(error->code(), status);
        QVERIFY(!auth.isConfigured());
        QVERIFY(!keyItem(f.store, localId));
        QVERIFY(!QFile::exists(CoreConstants::machineConfigPath()));
    }

    void registrationReportsTransportStoreAndFileFailures()
    {
        Fixture f;
        {
            // The connection closed without an answer: the transfer's own text.
            MachineAuthService auth(f.store, f.network, &testLocalMachine);
            QVERIFY(f.backend.closeEveryConnection("POST", u"/machines/register"_s));
            const auto error = f.registerAs(auth, u"ada@example.com"_s);
            QVERIFY(error);
            QCOMPARE(error->kind(), MachineRegistrationError::Kind::systemError);
            QVERIFY(!error->description().isEmpty());
            QVERIFY(f.backend.clearInjections());
        }
        {
            // The store refuses the key: nothing is written to disk.
            MemoryCredentialStore store;
            store.setAddStatus(-25299);
            MachineAuthService auth(store, f.network, &testLocalMachine);
            const auto error = f.registerAs(auth, u"ada@example.com"_s);
            QVERIFY(error);
            QCOMPARE(error->description(), u"Keychain write failed: -25299"_s);
            QVERIFY(!QFile::exists(CoreConstants::machineDirectory()));
        }
        {
            // The machine folder cannot be made: the key item stays.
            QVERIFY(f.home.write(u".quorvane/machine"_s, "a file in the way"));
            MemoryCredentialStore store;
            MachineAuthService auth(store, f.network, &testLocalMachine);
            const auto error = f.registerAs(auth, u"ada@example.com"_s);
            QVERIFY(error);
            QCOMPARE(error->kind(), MachineRegistrationError::Kind::fileWriteFailed);
            QVERIFY(error->description().startsWith("File write failed: "_L1));
            QVERIFY(keyItem(store, localId));
            QVERIFY(!auth.isConfigured());
        }
        {
            // A session token that would break the header is not sent.
            MemoryCredentialStore store;
            MachineAuthService auth(store, f.network, &testLocalMachine);
            QVERIFY(f.backend.clearRequests());
            const auto error = QCoro::waitFor(auth.registerMachine(u"t\r\nX-Evil: 1"_s, QString()));
            QVERIFY(error);
            QCOMPARE(error->kind(), MachineRegistrationError::Kind::networkError);
            QVERIFY(f.backend.requests().isEmpty());
        }
    }

    void errorDescriptionsAreTheShownTexts()
    {
        QCOMPARE(MachineRegistrationError::networkError(u"Invalid URL"_s).description(),
            u"Network error: Invalid URL"_s);
        QCOMPARE(MachineRegistrationError::fileWriteFailed(u"disk full"_s).description(),
            u"File write failed: disk full"_s);
        QCOMPARE(
            MachineRegistrationError::alreadyRegistered().description(), u"Machine is already registered"_s);
        QCOMPARE(LinkError::networkError(u"No HTTP response"_s).description(),
            u"Network error: No HTTP response"_s);
        QCOMPARE(
            LinkError::apiError(404, u"unknown agent"_s).description(), u"API error (404): unknown agent"_s);
    }

    void linkingAgainstTheBackend()
    {
        Fixture f;
        MachineAuthService auth(f.store, f.network, &testLocalMachine);

        // Not configured: refused before anything is sent.
        auto outcome = f.link(auth, u"agent-1"_s);
        QVERIFY(std::holds_alternative<LinkError>(outcome));
        QCOMPARE(std::get<LinkError>(outcome).description(), u"Machine not configured"_s);
        QVERIFY(f.backend.requests().isEmpty());

        QVERIFY(!f.registerAs(auth, u"ada@example.com"_s));
        const QString agent
            = f.backend.addAgent(u"helper"_s, u"claude-code"_s, QString(), u"ada@example.com"_s);
        QVERIFY(!agent.isEmpty());
        outcome = f.link(auth, agent);
        QVERIFY2(std::holds_alternative<LinkResult>(outcome), qPrintable(describe(outcome)));
        const LinkResult linked = std::get<LinkResult>(outcome);
        QVERIFY(linked.linked);
        QCOMPARE(linked.agentId, agent);
        QVERIFY(!linked.hasOtherMachines);
        const QJsonObject request = f.requestsTo(u"/agents/link-machine"_s).last();
        QVERIFY(request.value("verified"_L1).toBool());
        QCOMPARE(request.value("body"_L1).toString(), u"{\"agent_id\":\"%1\"}"_s.arg(agent));

        // Another agent of the same name on this machine: 409, the body is the text.
        const QString twin
            = f.backend.addAgent(u"helper"_s, u"claude-code"_s, QString(), u"ada@example.com"_s);
        outcome = f.link(auth, twin);
        QVERIFY2(std::holds_alternative<LinkError>(outcome), qPrintable(twin + QLatin1Char(' ') + agent));
        QCOMPARE(std::get<LinkError>(outcome).kind(), LinkError::Kind::duplicateName);
        QCOMPARE(std::get<LinkError>(outcome).description(), u"duplicate name"_s);

        // Any agent id makes a valid JSON body (here: unknown, 404).
        const QString odd = u"a\"b\\c\nd"_s;
        outcome = f.link(auth, odd);
        QVERIFY(std::holds_alternative<LinkError>(outcome));
        QCOMPARE(std::get<LinkError>(outcome).kind(), LinkError::Kind::apiError);
        QCOMPARE(std::get<LinkError>(outcome).status(), 404);
        const QByteArray oddBody
            = f.requestsTo(u"/agents/link-machine"_s).last().value("body"_L1).toString().toUtf8();
        QCOMPARE(QJsonDocument::fromJson(oddBody).object().value("agent_id"_L1).toString(), odd);

        // 500 with a JSON body; a 200 that is not a LinkResult; no answer at all.
        QVERIFY(f.backend.inject("POST", u"/agents/link-machine"_s, 500, R"({"error":"boom"})"));
        QCOMPARE(describe(f.link(auth, agent)), QStringLiteral(R"(API error (500): {"error":"boom"})"));
        QVERIFY(f.backend.inject("POST", u"/agents/link-machine"_s, 200, R"({"linked":true})"));
        QCOMPARE(describe(f.link(auth, agent)), u"Invalid link response"_s);
        QVERIFY(f.backend.closeEveryConnection("POST", u"/agents/link-machine"_s));
        outcome = f.link(auth, agent);
        QVERIFY(std::holds_alternative<LinkError>(outcome));
        QCOMPARE(std::get<LinkError>(outcome).kind(), LinkError::Kind::systemError);
    }

    void linkRefusesWhatCannotBeSigned()
    {
        // A machine id with a line break cannot travel in the signed headers.
        TestHome home;
        MemoryCredentialStore store;
        QVERIFY(home.write(u".quorvane/machine/machine.json"_s,
            R"({"id":"m-1\nX","user_id":"u","machine_id_local":"L","name":"n"})"));
        const auto key = Ed25519Key::generate();
        store.add(CoreConstants::keychainService(), u"L"_s, CoreConstants::keychainAccessGroup(),
            MachineAuthService::base64urlEncode(key->seed() + key->publicKey()).toUtf8());
        QNetworkAccessManager network;
        MachineAuthService auth(store, network, &testLocalMachine);
        QVERIFY(auth.isConfigured());
        const auto outcome = QCoro::waitFor(auth.linkAgent(u"agent-1"_s));
        QCOMPARE(describe(outcome), u"Failed to create signed request"_s);
    }

    void linkResultDecodingNeedsEveryMember()
    {
        const auto full = LinkResult::decode(
            R"({"linked":true,"agent_id":"a","seeded":true,"rules_count":12,"has_other_machines":false,"x":1})");
        QVERIFY(full);
        QCOMPARE(*full, (LinkResult { true, u"a"_s, true, 12, false }));
        QVERIFY(!LinkResult::decode(
            R"({"linked":true,"agent_id":"a","seeded":true,"rules_count":1.5,"has_other_machines":false})"));
        QVERIFY(!LinkResult::decode(
            R"({"linked":"yes","agent_id":"a","seeded":true,"rules_count":1,"has_other_machines":false})"));
        QVERIFY(!LinkResult::decode(R"({"linked":true,"agent_id":"a","seeded":true,"rules_count":1})"));
        QVERIFY(!LinkResult::decode(QByteArray(LinkResult::maximumSize + 1, ' ')));
        QVERIFY(!RegisterResponse::decode(R"({"machine_id":1,"user_id":"u"})"));
        QCOMPARE(RegisterResponse::decode(R"({"machine_id":"m","user_id":"u"})")->machineId, u"m"_s);
    }
};

QTEST_GUILESS_MAIN(TestMachineRegistration)
#include "tst_MachineRegistration.moc"
