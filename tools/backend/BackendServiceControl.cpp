#include "tools/backend/BackendService.h"

#include "tools/backend/BackendValues.h"

#include <QJsonArray>
#include <QJsonDocument>

using BackendValues::iso;
using BackendValues::jsonString;
using BackendValues::newId;
using BackendValues::newToken;
using BackendValues::parseZonedTime;

// What the control interface asks of the service: users, actions and agents
// put in place by tests and the demo, action status, expiry, reset and the
// whole state.
QJsonObject BackendService::createUser(const QString& email)
{
    const User& user = ensureUser(email);
    const QString token = newToken();
    m_sessions.insert(token, user.id);
    return {{QStringLiteral("user_id"), user.id}, {QStringLiteral("session_token"), token}};
}

std::optional<QJsonObject> BackendService::addAction(QJsonObject json, QString* error)
{
    QString userId;
    if (json.contains(QStringLiteral("machine_id"))) {
        const Machine* m = machine(json.value(QStringLiteral("machine_id")).toString());
        if (!m) {
            *error = QStringLiteral("unknown machine_id");
            return std::nullopt;
        }
        userId = m->userId;
    }
    if (json.contains(QStringLiteral("user_id"))) {
        const QString u = json.value(QStringLiteral("user_id")).toString();
        if (u.isEmpty()) {
            *error = QStringLiteral("user_id must be a non-empty text");
            return std::nullopt;
        }
        userId = ensureUser(u).id;
    }
    if (userId.isEmpty())
        userId = defaultOwner();
    const bool notify = json.value(QStringLiteral("notify")).toBool(true);
    const QJsonValue expiresIn = json.value(QStringLiteral("expires_in_seconds"));
    for (const char* controlOnly : {"machine_id", "user_id", "notify", "expires_in_seconds"})
        json.remove(QLatin1String(controlOnly));

    const QDateTime t = now();
    if (!json.value(QStringLiteral("id")).isString() || json.value(QStringLiteral("id")).toString().isEmpty())
        json.insert(QStringLiteral("id"), newId("act-"));
    if (!json.contains(QStringLiteral("created_at")))
        json.insert(QStringLiteral("created_at"), iso(t));
    if (expiresIn.isDouble())
        json.insert(QStringLiteral("expires_at"), iso(t.addMSecs(qint64(expiresIn.toDouble() * 1000))));
    else if (!json.contains(QStringLiteral("expires_at")))
        json.insert(QStringLiteral("expires_at"), iso(t.addSecs(300)));

    Action action;
    action.id = json.value(QStringLiteral("id")).toString();
    action.userId = userId;
    action.json = json;
    // An expiry the back-end cannot read still ends the action after five minutes;
    // the stored text is served as given.
    const auto parsed = parseZonedTime(json.value(QStringLiteral("expires_at")).toString());
    action.expiresAt = parsed ? *parsed : t.addSecs(300);

    for (qsizetype i = 0; i < m_actions.size(); ++i) {
        if (m_actions[i].id == action.id)
            m_actions.removeAt(i--);
    }
    if (trustWindowActive(userId)) {
        // The trust window approves escalations on the person's behalf.
        recordDecision(action, {}, QStringLiteral("approved"), {}, QStringLiteral("trust_window"));
        return json;
    }
    m_actions.append(action);
    if (notify && action.expiresAt > t)
        Q_EMIT userFrame(userId, "{\"type\":\"action_pending\",\"actionId\":" + jsonString(action.id) + '}');
    return json;
}

std::optional<QString> BackendService::addAgent(const QJsonObject& spec, QString* error)
{
    const QString name = spec.value(QStringLiteral("name")).toString();
    if (name.isEmpty()) {
        *error = QStringLiteral("name must be a non-empty text");
        return std::nullopt;
    }
    Agent agent;
    agent.id = spec.value(QStringLiteral("agent_id")).toString();
    if (agent.id.isEmpty())
        agent.id = newId("agt-");
    if (agent.id.contains(QLatin1Char('/')) || m_agents.count(agent.id)) {
        *error = QStringLiteral("agent_id is taken or contains \"/\"");
        return std::nullopt;
    }
    agent.name = name;
    agent.agentType = spec.value(QStringLiteral("agent_type")).toString();
    agent.templateName = spec.value(QStringLiteral("template")).toString();
    if (spec.contains(QStringLiteral("machine_id"))) {
        const Machine* m = machine(spec.value(QStringLiteral("machine_id")).toString());
        if (!m) {
            *error = QStringLiteral("unknown machine_id");
            return std::nullopt;
        }
        agent.originMachineId = m->id;
        agent.userId = m->userId;
    }
    if (spec.contains(QStringLiteral("user_id")))
        agent.userId = ensureUser(spec.value(QStringLiteral("user_id")).toString()).id;
    m_agents.emplace(agent.id, agent);
    return agent.id;
}

QJsonObject BackendService::actionStatus(const QString& actionId) const
{
    for (const Action& a : m_actions) {
        if (a.id == actionId)
            return {{QStringLiteral("id"), actionId},
                    {QStringLiteral("status"), a.expiresAt > now() ? QStringLiteral("pending") : QStringLiteral("expired")}};
    }
    for (qsizetype i = m_decisions.size() - 1; i >= 0; --i) {
        const Decision& d = m_decisions[i];
        if (d.actionId == actionId)
            return {{QStringLiteral("id"), actionId},
                    {QStringLiteral("status"), d.decision},
                    {QStringLiteral("rule_scope"), d.ruleScope.isEmpty() ? QJsonValue() : QJsonValue(d.ruleScope)},
                    {QStringLiteral("source"), d.source}};
    }
    return {{QStringLiteral("id"), actionId}, {QStringLiteral("status"), QStringLiteral("unknown")}};
}

void BackendService::expireTrustWindows()
{
    QStringList users;
    for (const auto& [userId, window] : m_trustWindows)
        users << userId;
    m_trustWindows.clear();
    for (const QString& u : std::as_const(users))
        sendTrustWindow(u, false);
}

void BackendService::reset()
{
    m_actions.clear();
    m_decisions.clear();
}

QJsonObject BackendService::stateJson() const
{
    QJsonArray users, machines, agents, actions, decisions, rules, windows, pushTokens;
    QJsonObject preferences, mcp;
    for (const auto& [id, u] : m_users) {
        users.append(QJsonObject{{QStringLiteral("user_id"), u.id}, {QStringLiteral("email"), u.email}});
        if (!u.preferences.isEmpty())
            preferences.insert(u.id, u.preferences);
    }
    for (const auto& [id, m] : m_machines) {
        machines.append(QJsonObject{{QStringLiteral("id"), m.id},
                                    {QStringLiteral("user_id"), m.userId},
                                    {QStringLiteral("name"), m.name},
                                    {QStringLiteral("machine_id_local"), m.machineIdLocal},
                                    {QStringLiteral("public_key"),
                                     QString::fromLatin1(m.publicKey.toBase64(QByteArray::Base64UrlEncoding
                                                                              | QByteArray::OmitTrailingEquals))}});
        if (!m.pushToken.isEmpty()) {
            QJsonObject t = m.pushToken;
            t.insert(QStringLiteral("machine_id"), m.id);
            pushTokens.append(t);
        }
        if (m.mcpServers)
            mcp.insert(m.id, *m.mcpServers);
    }
    for (const auto& [id, a] : m_agents) {
        agents.append(QJsonObject{{QStringLiteral("agent_id"), a.id},
                                  {QStringLiteral("name"), a.name},
                                  {QStringLiteral("agent_type"), a.agentType},
                                  {QStringLiteral("user_id"), a.userId},
                                  {QStringLiteral("template"), a.templateName},
                                  {QStringLiteral("machine_ids"), QJsonArray::fromStringList(a.machineIds)}});
    }
    const QDateTime t = now();
    for (const Action& a : m_actions) {
        if (a.expiresAt > t) {
            QJsonObject o = a.json;
            o.insert(QStringLiteral("user_id"), a.userId);
            actions.append(o);
        }
    }
    for (const Decision& d : m_decisions) {
        decisions.append(QJsonObject{{QStringLiteral("action_id"), d.actionId},
                                     {QStringLiteral("decision"), d.decision},
                                     {QStringLiteral("rule_scope"), d.ruleScope.isEmpty() ? QJsonValue() : QJsonValue(d.ruleScope)},
                                     {QStringLiteral("machine_id"), d.machineId},
                                     {QStringLiteral("user_id"), d.userId},
                                     {QStringLiteral("source"), d.source},
                                     {QStringLiteral("decided_at"), iso(d.at)}});
    }
    for (const Rule& r : m_rules) {
        rules.append(QJsonObject{{QStringLiteral("id"), r.id},
                                 {QStringLiteral("user_id"), r.userId},
                                 {QStringLiteral("scope"), r.scope},
                                 {QStringLiteral("agent_id"), r.agentId},
                                 {QStringLiteral("machine_id"), r.machineId},
                                 {QStringLiteral("tool_name"), r.toolName},
                                 {QStringLiteral("source"), r.source}});
    }
    for (const auto& [userId, w] : m_trustWindows) {
        windows.append(QJsonObject{{QStringLiteral("user_id"), userId},
                                   {QStringLiteral("starts_at"), iso(w.startsAt)},
                                   {QStringLiteral("ends_at"), iso(w.endsAt)},
                                   {QStringLiteral("active"), w.startsAt <= t && t < w.endsAt}});
    }
    return {{QStringLiteral("users"), users},           {QStringLiteral("machines"), machines},
            {QStringLiteral("agents"), agents},         {QStringLiteral("pending_actions"), actions},
            {QStringLiteral("decisions"), decisions},   {QStringLiteral("rules"), rules},
            {QStringLiteral("trust_windows"), windows}, {QStringLiteral("push_tokens"), pushTokens},
            {QStringLiteral("preferences"), preferences}, {QStringLiteral("mcp_servers"), mcp}};
}
