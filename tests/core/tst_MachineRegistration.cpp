#include "tests/support/BackendMachine.h"
#include "core/CoreConstants.h"
#include "core/Http.h"
#include "tests/support/LogCapture.h"
#include "core/MachineAuthService.h"
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

namespace {

const QString localId = QStringLiteral("0A1B2C3D-0000-4000-8000-000000000001");

MachineAuthService::LocalMachine testLocalMachine()
{
    return { localId, QStringLiteral("desk") };
}

std::optional<QByteArray> keyItem(CredentialStore& store, const QString& account)
{
    return store.read(CoreConstants::keychainService(), account, CoreConstants::keychainAccessGroup());
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
        return backend.createUser(email).value(QLatin1String("session_token")).toString();
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
    const QJsonObject headers = request.value(QLatin1String("headers")).toObject();
    for (auto it = headers.begin(); it != headers.end(); ++it) {
        if (it.key().compare(name, Qt::CaseInsensitive) == 0)
            return it.value().toString();
    }
    return {};
}

QString describe(const std::optional<MachineRegistrationError>& error)
{
    return error ? error->description() : QStringLiteral("(success)");
}

QString describe(const std::variant<LinkResult, LinkError>& outcome)
{
    return std::holds_alternative<LinkError>(outcome) ? std::get<LinkError>(outcome).description()
                                                      : QStringLiteral("(linked)");
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
        const QString token = f.session(QStringLiteral("ada@example.com"));
        LogCapture log;
        const auto error = QCoro::waitFor(auth.registerMachine(token, QStringLiteral("ada@example.com")));
        QVERIFY2(!error, qPrintable(describe(error)));
        QVERIFY(auth.isConfigured());

        // The request: unsigned, the session as a cookie, exactly three members.
        const QList<QJsonObject> sent = f.requestsTo(QStringLiteral("/machines/register"));
        QCOMPARE(sent.size(), 1);
        QCOMPARE(header(sent.first(), QStringLiteral("Cookie")), QStringLiteral("quorvane_session=") + token);
        QCOMPARE(header(sent.first(), QStringLiteral("Content-Type")), QStringLiteral("application/json"));
        QVERIFY(header(sent.first(), QStringLiteral("X-Signature")).isEmpty());
        const QJsonObject body
            = QJsonDocument::fromJson(sent.first().value(QLatin1String("body")).toString().toUtf8()).object();
        QCOMPARE(body.keys(),
            QStringList({ QStringLiteral("machine_id_local"), QStringLiteral("name"),
                QStringLiteral("public_key") }));
        QCOMPARE(body.value(QLatin1String("machine_id_local")).toString(), localId);
        QCOMPARE(body.value(QLatin1String("name")).toString(), QStringLiteral("desk"));

        // The three stored parts.
        QCOMPARE(TestFiles::modeOf(CoreConstants::machineDirectory()), 0700);
        QCOMPARE(TestFiles::modeOf(CoreConstants::machineConfigPath()), 0600);
        QCOMPARE(TestFiles::modeOf(CoreConstants::publicKeyPath()), 0600);
        const std::optional<MachineConfig> config
            = MachineConfig::decode(TestFiles::contentOf(CoreConstants::machineConfigPath()));
        QVERIFY(config);
        QVERIFY(config->id.startsWith(QLatin1String("m-")));
        QCOMPARE(config->userId, QStringLiteral("ada@example.com"));
        QCOMPARE(config->machineIdLocal, localId);
        QCOMPARE(config->name, QStringLiteral("desk"));
        const QByteArray publicKey = TestFiles::contentOf(CoreConstants::publicKeyPath());
        QCOMPARE(publicKey.size(), 43);
        QCOMPARE(publicKey, body.value(QLatin1String("public_key")).toString().toUtf8());
        const std::optional<QByteArray> item = keyItem(f.store, localId);
        QVERIFY(item);
        QCOMPARE(item->size(), 86);
        const std::optional<QByteArray> keyBytes
            = MachineAuthService::base64urlDecode(QString::fromUtf8(*item));
        QVERIFY(keyBytes);
        QCOMPARE(MachineAuthService::base64urlEncode(keyBytes->mid(32)).toUtf8(), publicKey);
        QCOMPARE(Ed25519Key::fromSeed(keyBytes->left(32))->publicKey(), keyBytes->mid(32));

        // The log names the first 8 characters of the id and never the session.
        QVERIFY2(log.contains(QStringLiteral("Quorvane: Machine registered — id=") + config->id.left(8)
                     + QStringLiteral("…")),
            qPrintable(log.lines().join(u'\n')));
        for (const QString& line : log.lines())
            QVERIFY(!line.contains(token));

        // A signed request made afterwards verifies on the back-end.
        const auto signedRequest = auth.signedGETRequest(f.backend.url(QStringLiteral("/actions/pending")));
        QVERIFY(signedRequest);
        const HttpResponse pending = QCoro::waitFor(Http::send(f.network, *signedRequest));
        QCOMPARE(pending.status, 200);
        QVERIFY(f.requestsTo(QStringLiteral("/actions/pending"))
                    .first()
                    .value(QLatin1String("verified"))
                    .toBool());
    }

    void registeringAgainFollowsWhoseIdentityIsLoaded()
    {
        Fixture f;
        MachineAuthService auth(f.store, f.network, &testLocalMachine);
        QVERIFY(!f.registerAs(auth, QStringLiteral("ada@example.com")));
        const std::optional<QByteArray> firstKey = keyItem(f.store, localId);
        const QString firstId = *auth.machineId();

        // The same e-mail: nothing is sent, nothing changes.
        QVERIFY(f.backend.clearRequests());
        QVERIFY(
            !QCoro::waitFor(auth.registerMachine(QStringLiteral("any"), QStringLiteral("ada@example.com"))));
        QVERIFY(f.backend.requests().isEmpty());
        QCOMPARE(keyItem(f.store, localId), firstKey);

        // Another user: every key item of the service and the folder go first.
        f.store.add(CoreConstants::keychainService(), QStringLiteral("OTHER-ACCOUNT"),
            CoreConstants::keychainAccessGroup(), "stale");
        QVERIFY(f.home.write(QStringLiteral(".quorvane/machine/stale"), "old"));
        QVERIFY(!f.registerAs(auth, QStringLiteral("bob@example.com")));
        QVERIFY(!keyItem(f.store, QStringLiteral("OTHER-ACCOUNT")));
        QVERIFY(!QFile::exists(CoreConstants::machineDirectory() + QStringLiteral("/stale")));
        QVERIFY(keyItem(f.store, localId) != firstKey);
        QCOMPARE(*auth.userId(), QStringLiteral("bob@example.com"));
        QVERIFY(*auth.machineId() != firstId);

        // A config without its key item is registered again without a wipe; the
        // back-end keeps the id of a machine it knows and answers 200.
        f.store.remove(CoreConstants::keychainService(), localId, CoreConstants::keychainAccessGroup());
        QVERIFY(f.home.write(QStringLiteral(".quorvane/machine/kept"), "x"));
        auth.reload();
        QVERIFY(!auth.isConfigured());
        const QString bobId = *auth.machineId();
        QVERIFY(!f.registerAs(auth, QStringLiteral("bob@example.com")));
        QVERIFY(QFile::exists(CoreConstants::machineDirectory() + QStringLiteral("/kept")));
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
            << 500 << QByteArray(R"({"error":"database down"})")
            << QStringLiteral(R"(API error (500): {"error":"database down"})") << int(Kind::apiError);
        QTest::newRow("403 plain text")
            << 403 << QByteArray("forbidden") << QStringLiteral("API error (403): forbidden")
            << int(Kind::apiError);
        QTest::newRow("200 without user_id")
            << 200 << QByteArray(R"({"machine_id":"m-9"})") << QStringLiteral("Invalid registration response")
            << int(Kind::systemError);
        QTest::newRow("200 not JSON")
            << 200 << QByteArray("<html>") << QStringLiteral("Invalid registration response")
            << int(Kind::systemError);
    }

    void registrationFailuresLeaveNoIdentity()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QString, description);
        QFETCH(int, kind);
        Fixture f;
        MachineAuthService auth(f.store, f.network, &testLocalMachine);
        QVERIFY(f.backend.inject("POST", QStringLiteral("/machines/register"), status, body));
        const auto error = f.registerAs(auth, QStringLiteral("ada@example.com"));
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
            // Qt tries a closed keep-alive connection once more: close both.
            QVERIFY(f.backend.inject("POST", QStringLiteral("/machines/register"), 0, {}, 2));
            const auto error = f.registerAs(auth, QStringLiteral("ada@example.com"));
            QVERIFY(error);
            QCOMPARE(error->kind(), MachineRegistrationError::Kind::systemError);
            QVERIFY(!error->description().isEmpty());
        }
        {
            // The store refuses the key: nothing is written to disk.
            MemoryCredentialStore store;
            store.setAddStatus(-25299);
            MachineAuthService auth(store, f.network, &testLocalMachine);
            const auto error = f.registerAs(auth, QStringLiteral("ada@example.com"));
            QVERIFY(error);
            QCOMPARE(error->description(), QStringLiteral("Keychain write failed: -25299"));
            QVERIFY(!QFile::exists(CoreConstants::machineDirectory()));
        }
        {
            // The machine folder cannot be made: the key item stays.
            QVERIFY(f.home.write(QStringLiteral(".quorvane/machine"), "a file in the way"));
            MemoryCredentialStore store;
            MachineAuthService auth(store, f.network, &testLocalMachine);
            const auto error = f.registerAs(auth, QStringLiteral("ada@example.com"));
            QVERIFY(error);
            QCOMPARE(error->kind(), MachineRegistrationError::Kind::fileWriteFailed);
            QVERIFY(error->description().startsWith(QLatin1String("File write failed: ")));
            QVERIFY(keyItem(store, localId));
            QVERIFY(!auth.isConfigured());
        }
        {
            // A session token that would break the header is not sent.
            MemoryCredentialStore store;
            MachineAuthService auth(store, f.network, &testLocalMachine);
            QVERIFY(f.backend.clearRequests());
            const auto error
                = QCoro::waitFor(auth.registerMachine(QStringLiteral("t\r\nX-Evil: 1"), QString()));
            QVERIFY(error);
            QCOMPARE(error->kind(), MachineRegistrationError::Kind::networkError);
            QVERIFY(f.backend.requests().isEmpty());
        }
    }

    void errorDescriptionsAreTheShownTexts()
    {
        QCOMPARE(MachineRegistrationError::networkError(QStringLiteral("Invalid URL")).description(),
            QStringLiteral("Network error: Invalid URL"));
        QCOMPARE(MachineRegistrationError::fileWriteFailed(QStringLiteral("disk full")).description(),
            QStringLiteral("File write failed: disk full"));
        QCOMPARE(MachineRegistrationError::alreadyRegistered().description(),
            QStringLiteral("Machine is already registered"));
        QCOMPARE(LinkError::networkError(QStringLiteral("No HTTP response")).description(),
            QStringLiteral("Network error: No HTTP response"));
        QCOMPARE(LinkError::apiError(404, QStringLiteral("unknown agent")).description(),
            QStringLiteral("API error (404): unknown agent"));
    }

    void linkingAgainstTheBackend()
    {
        Fixture f;
        MachineAuthService auth(f.store, f.network, &testLocalMachine);

        // Not configured: refused before anything is sent.
        auto outcome = f.link(auth, QStringLiteral("agent-1"));
        QVERIFY(std::holds_alternative<LinkError>(outcome));
        QCOMPARE(std::get<LinkError>(outcome).description(), QStringLiteral("Machine not configured"));
        QVERIFY(f.backend.requests().isEmpty());

        QVERIFY(!f.registerAs(auth, QStringLiteral("ada@example.com")));
        const QString agent = f.backend.addAgent(QStringLiteral("helper"), QStringLiteral("claude-code"),
            QString(), QStringLiteral("ada@example.com"));
        QVERIFY(!agent.isEmpty());
        outcome = f.link(auth, agent);
        QVERIFY2(std::holds_alternative<LinkResult>(outcome), qPrintable(describe(outcome)));
        const LinkResult linked = std::get<LinkResult>(outcome);
        QVERIFY(linked.linked);
        QCOMPARE(linked.agentId, agent);
        QVERIFY(!linked.hasOtherMachines);
        const QJsonObject request = f.requestsTo(QStringLiteral("/agents/link-machine")).last();
        QVERIFY(request.value(QLatin1String("verified")).toBool());
        QCOMPARE(request.value(QLatin1String("body")).toString(),
            QStringLiteral("{\"agent_id\":\"%1\"}").arg(agent));

        // Another agent of the same name on this machine: 409, the body is the text.
        const QString twin = f.backend.addAgent(QStringLiteral("helper"), QStringLiteral("claude-code"),
            QString(), QStringLiteral("ada@example.com"));
        outcome = f.link(auth, twin);
        QVERIFY2(std::holds_alternative<LinkError>(outcome), qPrintable(twin + QLatin1Char(' ') + agent));
        QCOMPARE(std::get<LinkError>(outcome).kind(), LinkError::Kind::duplicateName);
        QCOMPARE(std::get<LinkError>(outcome).description(), QStringLiteral("duplicate name"));

        // Any agent id makes a valid JSON body (here: unknown, 404).
        const QString odd = QStringLiteral("a\"b\\c\nd");
        outcome = f.link(auth, odd);
        QVERIFY(std::holds_alternative<LinkError>(outcome));
        QCOMPARE(std::get<LinkError>(outcome).kind(), LinkError::Kind::apiError);
        QCOMPARE(std::get<LinkError>(outcome).status(), 404);
        const QByteArray oddBody = f.requestsTo(QStringLiteral("/agents/link-machine"))
                                       .last()
                                       .value(QLatin1String("body"))
                                       .toString()
                                       .toUtf8();
        QCOMPARE(QJsonDocument::fromJson(oddBody).object().value(QLatin1String("agent_id")).toString(), odd);

        // 500 with a JSON body; a 200 that is not a LinkResult; no answer at all.
        QVERIFY(f.backend.inject("POST", QStringLiteral("/agents/link-machine"), 500, R"({"error":"boom"})"));
        QCOMPARE(describe(f.link(auth, agent)), QStringLiteral(R"(API error (500): {"error":"boom"})"));
        QVERIFY(f.backend.inject("POST", QStringLiteral("/agents/link-machine"), 200, R"({"linked":true})"));
        QCOMPARE(describe(f.link(auth, agent)), QStringLiteral("Invalid link response"));
        QVERIFY(f.backend.inject("POST", QStringLiteral("/agents/link-machine"), 0, {}, 2));
        outcome = f.link(auth, agent);
        QVERIFY(std::holds_alternative<LinkError>(outcome));
        QCOMPARE(std::get<LinkError>(outcome).kind(), LinkError::Kind::systemError);
    }

    void linkRefusesWhatCannotBeSigned()
    {
        // A machine id with a line break cannot travel in the signed headers.
        TestHome home;
        MemoryCredentialStore store;
        QVERIFY(home.write(QStringLiteral(".quorvane/machine/machine.json"),
            R"({"id":"m-1\nX","user_id":"u","machine_id_local":"L","name":"n"})"));
        const auto key = Ed25519Key::generate();
        store.add(CoreConstants::keychainService(), QStringLiteral("L"), CoreConstants::keychainAccessGroup(),
            MachineAuthService::base64urlEncode(key->seed() + key->publicKey()).toUtf8());
        QNetworkAccessManager network;
        MachineAuthService auth(store, network, &testLocalMachine);
        QVERIFY(auth.isConfigured());
        const auto outcome = QCoro::waitFor(auth.linkAgent(QStringLiteral("agent-1")));
        QCOMPARE(describe(outcome), QStringLiteral("Failed to create signed request"));
    }

    void linkResultDecodingNeedsEveryMember()
    {
        const auto full = LinkResult::decode(
            R"({"linked":true,"agent_id":"a","seeded":true,"rules_count":12,"has_other_machines":false,"x":1})");
        QVERIFY(full);
        QCOMPARE(*full, (LinkResult { true, QStringLiteral("a"), true, 12, false }));
        QVERIFY(!LinkResult::decode(
            R"({"linked":true,"agent_id":"a","seeded":true,"rules_count":1.5,"has_other_machines":false})"));
        QVERIFY(!LinkResult::decode(
            R"({"linked":"yes","agent_id":"a","seeded":true,"rules_count":1,"has_other_machines":false})"));
        QVERIFY(!LinkResult::decode(R"({"linked":true,"agent_id":"a","seeded":true,"rules_count":1})"));
        QVERIFY(!LinkResult::decode(QByteArray(LinkResult::maximumSize + 1, ' ')));
        QVERIFY(!RegisterResponse::decode(R"({"machine_id":1,"user_id":"u"})"));
        QCOMPARE(
            RegisterResponse::decode(R"({"machine_id":"m","user_id":"u"})")->machineId, QStringLiteral("m"));
    }
};

QTEST_GUILESS_MAIN(TestMachineRegistration)
#include "tst_MachineRegistration.moc"
