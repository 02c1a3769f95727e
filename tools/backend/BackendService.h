#pragma once

#include "tools/backend/BackendRequest.h"
#include "tools/backend/BackendResponse.h"
#include "tools/backend/ReplayGuard.h"
#include "tools/backend/SignatureVerifier.h"

#include <QDateTime>
#include <QHash>
#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QStringList>
#include <QTimer>

#include <map>
#include <optional>

// The back-end's in-memory state and every endpoint of the API and web origins
// (no networking here: BackendServer hands requests in and sends the answers).
// Events for a user's WebSocket streams leave through userFrame().
class BackendService : public QObject
{
    Q_OBJECT
public:
    explicit BackendService(QObject* parent = nullptr);

    static QString defaultEmail() { return QStringLiteral("person@example.com"); }

    void setReleasesDirectory(const QString& dir) { m_releasesDir = dir; }

    struct Result
    {
        BackendResponse response;
        bool verified = false; // a machine signature was checked and accepted
        QString reason;        // why a request was refused, for the request log
    };
    Result handle(const BackendRequest& request);

    // The signed opening request of the user stream (GET /ws/user).
    struct StreamAuth
    {
        SignatureVerifier::Check check;
        QString userId;
    };
    StreamAuth authenticateStream(const BackendRequest& request) const;

    // Control operations (tests, demo).
    QJsonObject createUser(const QString& email);
    // Stores a pending action; nullopt with an error text when the owner cannot be found.
    std::optional<QJsonObject> addAction(QJsonObject action, QString* error);
    std::optional<QString> addAgent(const QJsonObject& spec, QString* error);
    QJsonObject actionStatus(const QString& actionId) const;
    void expireTrustWindows();
    void reset();
    QJsonObject stateJson() const;
    // The owner of the most recently registered machine, else the default account.
    QString defaultOwner() const;

Q_SIGNALS:
    // A text frame for every stream of the user (every stream when userId is empty).
    void userFrame(const QString& userId, const QByteArray& text);
    void machineRemoved(const QString& machineId);

private:
    struct User
    {
        QString id;
        QString email;
        QJsonObject preferences;
        qint64 rulesVersion = 0;
    };
    struct Machine
    {
        QString id, userId, name, machineIdLocal;
        QByteArray publicKey;
        QJsonObject pushToken;
        std::optional<QJsonArray> mcpServers;
    };
    struct Agent
    {
        QString id, name, agentType, userId, templateName, originMachineId;
        QStringList machineIds;
    };
    struct Action
    {
        QString id, userId;
        QDateTime expiresAt;
        QJsonObject json;
    };
    struct Decision
    {
        QString actionId, userId, machineId, decision, ruleScope, source;
        QDateTime at;
    };
    struct Rule
    {
        QString id, userId, scope, agentId, machineId, toolName, source;
        QDateTime createdAt;
    };
    struct TrustWindow
    {
        QDateTime startsAt, endsAt;
        bool announced = false;
    };
    struct AuthCode
    {
        QString userId;
        QDateTime expiresAt;
    };

    using Params = QStringList;

    static Result reply(const BackendResponse& response, const QString& reason = {});
    static Result fail(int status, const QString& message);

    QDateTime now() const { return QDateTime::currentDateTimeUtc(); }
    User& ensureUser(const QString& email);
    const Machine* machine(const QString& id) const;
    // The request's signature checked against the stored key of the machine it names.
    SignatureVerifier::Check checkSignature(const BackendRequest& request) const;
    // checkSignature, and a signature accepted before is refused as a replay.
    std::optional<SignatureVerifier::Check> verify(const BackendRequest& request, Result& result);

    // Web origin and unsigned API endpoints.
    Result authLogin(const BackendRequest& request);
    Result exchangeCode(const BackendRequest& request);
    Result registerMachine(const BackendRequest& request);
    Result linkSession(const BackendRequest& request);
    Result releasesLatest();
    Result releaseFile(const QString& name);
    // Signed endpoints: machineId is the verified signer.
    Result pendingActions(const QString& machineId);
    Result respond(const QString& machineId, const QString& actionId, const QByteArray& body);
    Result linkMachine(const QString& machineId, const QByteArray& body);
    Result pushToken(const QString& machineId, const QString& target, const QByteArray& body);
    Result deleteMachine(const QString& machineId, const QString& target);
    Result preferences(const QString& machineId, const QByteArray& body);
    Result mcpSync(const QString& machineId, const QByteArray& body);
    Result openTrustWindow(const QString& machineId, const QByteArray& body);
    Result closeTrustWindow(const QString& machineId);

    QJsonObject linkAgentTo(Agent& agent, const QString& machineId);
    void createRule(const QString& userId, const QString& scope, const QString& agentId, const QString& machineId,
                    const QString& toolName, const QString& source);
    void bumpRules(const QString& userId);
    void recordDecision(const Action& action, const QString& machineId, const QString& decision,
                        const QString& scope, const QString& source);
    bool trustWindowActive(const QString& userId) const;
    void tick();
    void sendTrustWindow(const QString& userId, bool active);

    std::map<QString, User> m_users;
    std::map<QString, Machine> m_machines;
    std::map<QString, Agent> m_agents;
    QList<Action> m_actions; // in arrival order
    QList<Decision> m_decisions;
    QList<Rule> m_rules;
    std::map<QString, TrustWindow> m_trustWindows; // by user
    QHash<QString, QString> m_sessions;             // token -> user
    ReplayGuard m_replays;
    QHash<QString, AuthCode> m_codes;
    QString m_lastRegisteredUser;
    QString m_releasesDir;
    QTimer m_tick;
};
