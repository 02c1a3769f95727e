#include "core/CoreConstants.h"
#include "core/Http.h"
#include "core/MachineAuthService.h"
#include "core/RegisterResponse.h"
#include "tests/core/MachineIdentityTesting.h"
#include "tests/core/MemoryCredentialStore.h"
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
        QVERIFY(!auth.isConfigured());
        const QString token = f.session(u"ada@example.com"_s);
        LogCapture log;
        const auto error = QCoro::waitFor(auth.registerMachine(token, u"ada@example.com"_s));
        QVERIFY2(!error, qPrintable(describe(error)));
        QVERIFY(auth.isConfigured());

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
        QCOMPARE(*config, (MachineConfig { config->id, u"ada@example.com"_s, localId, u"desk"_s }));
        QCOMPARE(TestFiles::contentOf(CoreConstants::publicKeyPath()),
            body.value("public_key"_L1).toString().toUtf8());

        // The log names the first 8 characters of the id and never the session.
        QVERIFY2(log.contains(u"Quorvane: Machine registered — id="_s + config->id.left(8) + u"…"_s),
            qPrintable(log.lines().join(u'\n')));
        QVERIFY(log.lines().filter(token).isEmpty());

        // The stored key item signs what the back-end verifies with the key it was sent.
        const auto signedRequest = auth.signedGETRequest(f.backend.url(u"/actions/pending"_s));
        QVERIFY(signedRequest);
        QCOMPARE(QCoro::waitFor(Http::send(f.network, *signedRequest)).status, 200);
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

    // Each failure stops the steps after it: a refused or unreadable answer stores nothing, a refused
    // key item writes no file, an unwritable machine folder leaves the key item.
    void registrationReportsAnswerTransportStoreAndFileFailures()
    {
        Fixture f;
        {
            MachineAuthService auth(f.store, f.network, &testLocalMachine);
            QVERIFY(f.backend.inject("POST", u"/machines/register"_s, 500, R"({"error":"database down"})"));
            const auto error = f.registerAs(auth, u"ada@example.com"_s);
            QCOMPARE(describe(error), uR"(API error (500): {"error":"database down"})"_s);
            QCOMPARE(error->code(), 500);
            QVERIFY(f.backend.inject("POST", u"/machines/register"_s, 200, R"({"machine_id":"m-9"})"));
            QCOMPARE(describe(f.registerAs(auth, u"ada@example.com"_s)), u"Invalid registration response"_s);
            QVERIFY(!auth.isConfigured() && !keyItem(f.store, localId));
            QVERIFY(!QFile::exists(CoreConstants::machineConfigPath()));
        }
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
            MemoryCredentialStore store;
            store.setAddStatus(-25299);
            MachineAuthService auth(store, f.network, &testLocalMachine);
            QCOMPARE(describe(f.registerAs(auth, u"ada@example.com"_s)), u"Keychain write failed: -25299"_s);
            QVERIFY(!QFile::exists(CoreConstants::machineDirectory()));
        }
        {
            QVERIFY(f.home.write(u".quorvane/machine"_s, "a file in the way"));
            MemoryCredentialStore store;
            MachineAuthService auth(store, f.network, &testLocalMachine);
            const QString description = describe(f.registerAs(auth, u"ada@example.com"_s));
            QVERIFY2(description.startsWith("File write failed: "_L1)
                    && description.contains(CoreConstants::machineDirectory()),
                qPrintable(description));
            QVERIFY(keyItem(store, localId));
            QVERIFY(!auth.isConfigured());
        }
        {
            // A session token that would break the header is not sent.
            MemoryCredentialStore store;
            MachineAuthService auth(store, f.network, &testLocalMachine);
            QVERIFY(f.backend.clearRequests());
            const auto error = QCoro::waitFor(auth.registerMachine(u"t\r\nX-Evil: 1"_s, QString()));
            QCOMPARE(describe(error), u"Network error: Invalid session token"_s);
            QVERIFY(f.backend.requests().isEmpty());
        }
    }

    void linkingAgainstTheBackend()
    {
        Fixture f;
        MachineAuthService auth(f.store, f.network, &testLocalMachine);

        // Not configured: refused before anything is sent.
        QCOMPARE(describe(f.link(auth, u"agent-1"_s)), u"Machine not configured"_s);
        QVERIFY(f.backend.requests().isEmpty());

        QVERIFY(!f.registerAs(auth, u"ada@example.com"_s));
        const QString agent
            = f.backend.addAgent(u"helper"_s, u"claude-code"_s, QString(), u"ada@example.com"_s);
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
        const QString twin
            = f.backend.addAgent(u"helper"_s, u"claude-code"_s, QString(), u"ada@example.com"_s);
        outcome = f.link(auth, twin);
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

    void linkResultDecodingNeedsEveryMember()
    {
        const QByteArray full
            = R"({"linked":true,"agent_id":"a","seeded":true,"rules_count":12,"has_other_machines":false)";
        QCOMPARE(LinkResult::decode(full + R"(,"x":1})"),
            std::optional(LinkResult { true, u"a"_s, true, 12, false }));
        QVERIFY(!LinkResult::decode(QByteArray(full).replace("12", "1.5") + '}'));
        QVERIFY(!LinkResult::decode(QByteArray(full).replace("\"linked\":true", "\"linked\":\"yes\"") + '}'));
        QVERIFY(!LinkResult::decode(full.left(full.indexOf(",\"has_other")) + '}'));
        QVERIFY(!LinkResult::decode(QByteArray(LinkResult::maximumSize + 1, ' ')));
        QVERIFY(!RegisterResponse::decode(R"({"machine_id":1,"user_id":"u"})"));
        QCOMPARE(RegisterResponse::decode(R"({"machine_id":"m","user_id":"u"})")->machineId, u"m"_s);
    }
};

QTEST_GUILESS_MAIN(TestMachineRegistration)
#include "tst_MachineRegistration.moc"
