#include "tools/backend/BackendService.h"

#include "tools/backend/BackendValues.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUrl>

#include <functional>

using BackendValues::jsonString;
using BackendValues::newId;
using BackendValues::newToken;
using BackendValues::parseObject;

namespace {

bool plausibleEmail(const QString& s)
{
    if (s.isEmpty() || s.size() > 254 || !s.contains(QLatin1Char('@')))
        return false;
    for (QChar c : s) {
        if (c.isSpace() || c.category() == QChar::Other_Control)
            return false;
    }
    return true;
}

QString cookieValue(const QByteArray& header, const QByteArray& name)
{
    const QList<QByteArray> parts = header.split(';');
    for (const QByteArray& part : parts) {
        const QByteArray p = part.trimmed();
        if (p.startsWith(QByteArray(name + "=")))
            return QString::fromUtf8(p.mid(name.size() + 1));
    }
    return {};
}

int templateRuleCount(const QString& templateName)
{
    if (templateName == QLatin1String("developer-workstation"))
        return 12;
    if (templateName == QLatin1String("personal-assistant"))
        return 9;
    if (templateName == QLatin1String("restrictive"))
        return 5;
    return 0;
}

} // namespace

BackendService::Result BackendService::reply(const BackendResponse& response, const QString& reason)
{
    Result r;
    r.response = response;
    r.reason = reason;
    return r;
}

BackendService::Result BackendService::fail(int status, const QString& message)
{
    return reply(BackendResponse::error(status, message), message);
}

BackendService::BackendService(QObject* parent)
    : QObject(parent)
{
    ensureUser(defaultEmail());
    m_tick.setInterval(200);
    connect(&m_tick, &QTimer::timeout, this, &BackendService::tick);
    m_tick.start();
}

BackendService::User& BackendService::ensureUser(const QString& email)
{
    // The account id is its e-mail address, so a machine registered again for the
    // same account is recognised by the companion (it compares user_id with the e-mail).
    auto it = m_users.find(email);
    if (it == m_users.end()) {
        User u;
        u.id = email;
        u.email = email;
        it = m_users.emplace(email, u).first;
    }
    return it->second;
}

const BackendService::Machine* BackendService::machine(const QString& id) const
{
    const auto it = m_machines.find(id);
    return it == m_machines.end() ? nullptr : &it->second;
}

QString BackendService::defaultOwner() const
{
    if (!m_lastRegisteredUser.isEmpty() && m_users.count(m_lastRegisteredUser))
        return m_lastRegisteredUser;
    return defaultEmail();
}

SignatureVerifier::Check BackendService::checkSignature(const BackendRequest& request) const
{
    return SignatureVerifier::check(
        request,
        [this](const QString& id) -> std::optional<QByteArray> {
            const Machine* m = machine(id);
            if (!m)
                return std::nullopt;
            return m->publicKey;
        },
        QDateTime::currentMSecsSinceEpoch());
}

std::optional<SignatureVerifier::Check> BackendService::verify(const BackendRequest& request, Result& result)
{
    const auto check = checkSignature(request);
    if (!check.ok) {
        result = fail(401, check.reason);
        return std::nullopt;
    }
    // Requests that change state are accepted once. A GET may repeat: two
    // reads signed in the same millisecond are identical, and harmless.
    if (request.method != "GET" && !m_replays.accept(check.machineId, request.header("X-Signature"))) {
        result = fail(401, QStringLiteral("replayed request"));
        return std::nullopt;
    }
    result.verified = true;
    return check;
}

BackendService::StreamAuth BackendService::authenticateStream(const BackendRequest& request) const
{
    StreamAuth auth;
    auth.check = checkSignature(request);
    if (auth.check.ok)
        auth.userId = machine(auth.check.machineId)->userId;
    return auth;
}

BackendService::Result BackendService::handle(const BackendRequest& request)
{
    // Path segments, each percent-decoded; an id holding "/" matches no route.
    QStringList segments;
    const QList<QByteArray> raw = request.rawPath().split('/');
    for (qsizetype i = 1; i < raw.size(); ++i) {
        const QString s = QString::fromUtf8(QByteArray::fromPercentEncoding(raw[i]));
        if (s.contains(QLatin1Char('/')) || s.isEmpty())
            return fail(404, QStringLiteral("not found"));
        segments << s;
    }

    using Handler = std::function<Result(const Params& params, const QString& machineId)>;
    struct Route
    {
        const char* method;
        QList<const char*> pattern; // "*" is a parameter
        bool isSigned;
        Handler handler;
    };
    const QByteArray body = request.body;
    const QList<Route> routes = {
        {"GET", {"auth", "login"}, false, [&](const Params&, const QString&) { return authLogin(request); }},
        {"POST", {"auth", "exchange-code"}, false, [&](const Params&, const QString&) { return exchangeCode(request); }},
        {"POST", {"machines", "register"}, false,
         [&](const Params&, const QString&) { return registerMachine(request); }},
        {"POST", {"agents", "link-session"}, false, [&](const Params&, const QString&) { return linkSession(request); }},
        {"GET", {"releases", "latest"}, false, [&](const Params&, const QString&) { return releasesLatest(); }},
        {"GET", {"releases", "files", "*"}, false, [&](const Params& p, const QString&) { return releaseFile(p[0]); }},
        {"GET", {"ws", "user"}, false,
         [&](const Params&, const QString&) { return fail(400, QStringLiteral("WebSocket upgrade required")); }},
        {"GET", {"actions", "pending"}, true, [&](const Params&, const QString& m) { return pendingActions(m); }},
        {"POST", {"approvals", "*", "respond"}, true,
         [&](const Params& p, const QString& m) { return respond(m, p[0], body); }},
        {"POST", {"agents", "link-machine"}, true, [&](const Params&, const QString& m) { return linkMachine(m, body); }},
        {"PUT", {"machines", "*", "push-token"}, true,
         [&](const Params& p, const QString& m) { return pushToken(m, p[0], body); }},
        {"DELETE", {"machines", "*"}, true, [&](const Params& p, const QString& m) { return deleteMachine(m, p[0]); }},
        {"PUT", {"users", "preferences"}, true, [&](const Params&, const QString& m) { return preferences(m, body); }},
        {"POST", {"mcp-servers", "sync"}, true, [&](const Params&, const QString& m) { return mcpSync(m, body); }},
        {"POST", {"trust-window"}, true, [&](const Params&, const QString& m) { return openTrustWindow(m, body); }},
        {"DELETE", {"trust-window"}, true, [&](const Params&, const QString& m) { return closeTrustWindow(m); }},
    };

    bool pathKnown = false;
    for (const Route& route : routes) {
        if (route.pattern.size() != segments.size())
            continue;
        Params params;
        bool match = true;
        for (qsizetype i = 0; i < segments.size() && match; ++i) {
            if (qstrcmp(route.pattern[i], "*") == 0)
                params << segments[i];
            else
                match = segments[i] == QLatin1String(route.pattern[i]);
        }
        if (!match)
            continue;
        pathKnown = true;
        if (request.method != route.method)
            continue;
        if (!route.isSigned)
            return route.handler(params, {});
        Result refused;
        const auto check = verify(request, refused);
        if (!check)
            return refused;
        Result r = route.handler(params, check->machineId);
        r.verified = true;
        return r;
    }
    if (pathKnown)
        return fail(405, QStringLiteral("method not allowed"));
    return fail(404, QStringLiteral("not found"));
}

// --- web origin -----------------------------------------------------------

BackendService::Result BackendService::authLogin(const BackendRequest& request)
{
    QString email = defaultEmail();
    if (const auto hint = request.queryItem(QStringLiteral("login_hint"))) {
        if (!plausibleEmail(*hint))
            return fail(400, QStringLiteral("login_hint is not an e-mail address"));
        email = *hint;
    }
    // The companion's state for this attempt goes back with the code, unchanged.
    const std::optional<QString> state = request.queryItem(QStringLiteral("state"));
    if (state && (state->isEmpty() || state->size() > 256))
        return fail(400, QStringLiteral("state must have 1 to 256 characters"));
    const User& user = ensureUser(email);
    const QString code = newToken().left(24);
    m_codes.insert(code, {user.id, now().addSecs(600)});
    BackendResponse response = BackendResponse::text(302, "Signed in as " + email.toUtf8() + ".\n");
    QByteArray location = "quorvane://auth/callback?code=" + code.toUtf8();
    if (state)
        location += "&state=" + QUrl::toPercentEncoding(*state);
    response.headers.append({"Location", location});
    return reply(response);
}

BackendService::Result BackendService::exchangeCode(const BackendRequest& request)
{
    const auto body = parseObject(request.body);
    if (!body || !body->value(QStringLiteral("code")).isString())
        return fail(400, QStringLiteral("body must be {\"code\": text}"));
    const QString code = body->value(QStringLiteral("code")).toString();
    // Codes are single-use: taken out whether or not they are still valid.
    const auto it = m_codes.constFind(code);
    if (it == m_codes.constEnd())
        return fail(401, QStringLiteral("invalid or used code"));
    const AuthCode entry = *it;
    m_codes.erase(it);
    if (entry.expiresAt < now())
        return fail(401, QStringLiteral("code expired"));
    const QString token = newToken();
    m_sessions.insert(token, entry.userId);
    return reply(BackendResponse::json(
        200, QJsonObject{{QStringLiteral("session"), token}, {QStringLiteral("email"), m_users[entry.userId].email}}));
}

// --- unsigned API ---------------------------------------------------------

BackendService::Result BackendService::registerMachine(const BackendRequest& request)
{
    const QString token = cookieValue(request.header("Cookie"), "quorvane_session");
    if (token.isEmpty())
        return fail(401, QStringLiteral("missing session cookie"));
    if (!m_sessions.contains(token))
        return fail(401, QStringLiteral("unknown session"));
    const QString userId = m_sessions.value(token);
    const auto body = parseObject(request.body);
    if (!body)
        return fail(400, QStringLiteral("body must be a JSON object"));
    const QJsonValue key = body->value(QStringLiteral("public_key"));
    const QJsonValue local = body->value(QStringLiteral("machine_id_local"));
    const QJsonValue name = body->value(QStringLiteral("name"));
    if (!key.isString() || !local.isString() || !name.isString() || local.toString().isEmpty()
        || local.toString().size() > 256 || name.toString().size() > 256)
        return fail(400, QStringLiteral("public_key, machine_id_local and name must be texts"));
    const auto keyBytes = SignatureVerifier::decodeBase64Url(key.toString().toUtf8());
    if (!keyBytes || keyBytes->size() != 32)
        return fail(400, QStringLiteral("public_key must be 32 bytes of base64url"));

    // The same machine registering again for the same account keeps its id.
    int status = 201;
    Machine* target = nullptr;
    for (auto& [id, m] : m_machines) {
        if (m.userId == userId && m.machineIdLocal == local.toString()) {
            target = &m;
            status = 200;
        }
    }
    if (!target) {
        Machine m;
        m.id = newId("m-");
        m.userId = userId;
        target = &m_machines.emplace(m.id, m).first->second;
    }
    target->machineIdLocal = local.toString();
    target->name = name.toString();
    target->publicKey = *keyBytes;
    m_lastRegisteredUser = userId;
    return reply(BackendResponse::json(
        status, QJsonObject{{QStringLiteral("machine_id"), target->id}, {QStringLiteral("user_id"), userId}}));
}

BackendService::Result BackendService::linkSession(const BackendRequest& request)
{
    const QByteArray auth = request.header("Authorization");
    if (!auth.startsWith("Bearer ") || !m_sessions.contains(QString::fromUtf8(auth.mid(7))))
        return fail(401, QStringLiteral("invalid session"));
    const QString userId = m_sessions.value(QString::fromUtf8(auth.mid(7)));
    const auto body = parseObject(request.body);
    if (!body || !body->value(QStringLiteral("agent_id")).isString())
        return fail(400, QStringLiteral("body must be {\"agent_id\": text}"));
    const auto it = m_agents.find(body->value(QStringLiteral("agent_id")).toString());
    if (it == m_agents.end())
        return fail(404, QStringLiteral("unknown agent"));
    Agent& agent = it->second;
    if (!agent.userId.isEmpty() && agent.userId != userId)
        return fail(403, QStringLiteral("agent belongs to another account"));
    agent.userId = userId;
    const Machine* origin = machine(agent.originMachineId);
    const QString machineId = origin && origin->userId == userId ? origin->id : QString();
    return reply(BackendResponse::json(200, linkAgentTo(agent, machineId)));
}

BackendService::Result BackendService::releasesLatest()
{
    if (m_releasesDir.isEmpty())
        return fail(404, QStringLiteral("no release published"));
    QFile file(QDir(m_releasesDir).filePath(QStringLiteral("latest.json")));
    if (!file.open(QIODevice::ReadOnly))
        return fail(404, QStringLiteral("no release published"));
    return reply({200, "application/json", file.readAll(), {}});
}

BackendService::Result BackendService::releaseFile(const QString& name)
{
    if (m_releasesDir.isEmpty())
        return fail(404, QStringLiteral("not found"));
    if (name.contains(QLatin1String("..")) || name.contains(QLatin1Char('/')) || name.contains(QLatin1Char('\\'))
        || name.contains(QChar(0)) || name.startsWith(QLatin1Char('.')))
        return fail(400, QStringLiteral("refused file name"));
    const QString root = QFileInfo(m_releasesDir).canonicalFilePath();
    const QFileInfo info(QDir(m_releasesDir).filePath(name));
    const QString canonical = info.canonicalFilePath();
    // A symbolic link that leads out of the folder is refused like a "..".
    if (canonical.isEmpty() || !info.isFile())
        return fail(404, QStringLiteral("not found"));
    if (!canonical.startsWith(root + QLatin1Char('/')))
        return fail(400, QStringLiteral("refused file name"));
    QFile file(canonical);
    if (!file.open(QIODevice::ReadOnly))
        return fail(404, QStringLiteral("not found"));
    return reply({200, "application/octet-stream", file.readAll(), {}});
}

// --- shared pieces --------------------------------------------------------

QJsonObject BackendService::linkAgentTo(Agent& agent, const QString& machineId)
{
    if (!machineId.isEmpty() && !agent.machineIds.contains(machineId))
        agent.machineIds.append(machineId);
    bool seeded = false;
    const auto countRules = [this, &agent] {
        int n = 0;
        for (const Rule& r : std::as_const(m_rules))
            n += r.agentId == agent.id ? 1 : 0;
        return n;
    };
    const int templateRules = templateRuleCount(agent.templateName);
    if (countRules() == 0 && templateRules > 0) {
        for (int i = 0; i < templateRules; ++i)
            createRule(agent.userId, QStringLiteral("agent"), agent.id, {}, {},
                       QStringLiteral("template:") + agent.templateName);
        bumpRules(agent.userId);
        seeded = true;
    }
    bool others = false;
    for (const QString& m : std::as_const(agent.machineIds))
        others = others || m != machineId;
    return QJsonObject{{QStringLiteral("linked"), true},
                       {QStringLiteral("agent_id"), agent.id},
                       {QStringLiteral("seeded"), seeded},
                       {QStringLiteral("rules_count"), countRules()},
                       {QStringLiteral("has_other_machines"), others}};
}

void BackendService::createRule(const QString& userId, const QString& scope, const QString& agentId,
                                const QString& machineId, const QString& toolName, const QString& source)
{
    Rule rule;
    rule.id = newId("rule-");
    rule.userId = userId;
    rule.scope = scope;
    rule.agentId = scope == QLatin1String("agent") ? agentId : QString();
    rule.machineId = scope == QLatin1String("machine") ? machineId : QString();
    rule.toolName = toolName;
    rule.source = source;
    rule.createdAt = now();
    m_rules.append(rule);
}

void BackendService::bumpRules(const QString& userId)
{
    User& user = ensureUser(userId);
    ++user.rulesVersion;
    Q_EMIT userFrame(userId, "{\"type\":\"rules_changed\",\"version\":" + jsonString(QString::number(user.rulesVersion))
                                 + '}');
}

void BackendService::recordDecision(const Action& action, const QString& machineId, const QString& decision,
                                    const QString& scope, const QString& source)
{
    m_decisions.append({action.id, action.userId, machineId, decision, scope, source, now()});
}

bool BackendService::trustWindowActive(const QString& userId) const
{
    const auto it = m_trustWindows.find(userId);
    const QDateTime t = now();
    return it != m_trustWindows.end() && it->second.startsAt <= t && t < it->second.endsAt;
}

void BackendService::sendTrustWindow(const QString& userId, bool active)
{
    Q_EMIT userFrame(userId, active ? QByteArray("{\"type\":\"trust_window_changed\",\"active\":true}")
                                    : QByteArray("{\"type\":\"trust_window_changed\",\"active\":false}"));
}

void BackendService::tick()
{
    const QDateTime t = now();
    QStringList ended;
    for (auto& [userId, window] : m_trustWindows) {
        if (window.endsAt <= t) {
            ended << userId;
        } else if (!window.announced && window.startsAt <= t) {
            window.announced = true;
            sendTrustWindow(userId, true);
        }
    }
    for (const QString& userId : std::as_const(ended)) {
        m_trustWindows.erase(userId);
        sendTrustWindow(userId, false);
    }
}
