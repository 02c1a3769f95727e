#include "tools/backend/BackendService.h"

#include "tools/backend/BackendValues.h"

#include <QJsonArray>

using BackendValues::iso;
using BackendValues::parseObject;
using BackendValues::parseZonedTime;

namespace {

// A signed body names what it acts on; a named id other than the one the
// request is for means the body was signed for something else.
bool namesOther(const QJsonObject& body, const QString& member, const QString& expected)
{
    return body.contains(member) && body.value(member).toString() != expected;
}

} // namespace

// What a machine asks with its signature: the pending list, decisions, links,
// push tokens, removal, preferences, tool inventories and trust windows.
BackendService::Result BackendService::pendingActions(const QString& machineId)
{
    const QString userId = machine(machineId)->userId;
    const QDateTime t = now();
    QJsonArray list;
    for (const Action& a : std::as_const(m_actions)) {
        if (a.userId == userId && a.expiresAt > t)
            list.append(a.json);
    }
    return reply(BackendResponse::json(200, QJsonObject{{QStringLiteral("actions"), list}}));
}

BackendService::Result BackendService::respond(const QString& machineId, const QString& actionId,
                                               const QByteArray& body)
{
    const QString userId = machine(machineId)->userId;
    const auto object = parseObject(body);
    if (!object)
        return fail(400, QStringLiteral("body must be a JSON object"));
    const QString decision = object->value(QStringLiteral("decision")).toString();
    if (decision != QLatin1String("approved") && decision != QLatin1String("denied"))
        return fail(400, QStringLiteral("decision must be \"approved\" or \"denied\""));
    QString scope;
    if (object->contains(QStringLiteral("create_rule"))) {
        scope = object->value(QStringLiteral("create_rule")).toObject().value(QStringLiteral("scope")).toString();
        if (scope != QLatin1String("agent") && scope != QLatin1String("machine") && scope != QLatin1String("global"))
            return fail(400, QStringLiteral("create_rule.scope must be agent, machine or global"));
    }
    if (!object->value(QStringLiteral("action_id")).isString() || namesOther(*object, QStringLiteral("action_id"), actionId))
        return fail(400, QStringLiteral("action_id must name the action of the path"));

    for (qsizetype i = 0; i < m_actions.size(); ++i) {
        const Action action = m_actions[i];
        if (action.id != actionId || action.userId != userId)
            continue;
        if (action.expiresAt <= now()) {
            m_actions.removeAt(i);
            recordDecision(action, machineId, QStringLiteral("expired"), {}, QStringLiteral("expiry"));
            return reply(BackendResponse::text(409, "action expired"), QStringLiteral("action expired"));
        }
        m_actions.removeAt(i);
        const QString toolName = action.json.value(QStringLiteral("tool_name")).toString();
        const bool ruleAllowed = toolName != QLatin1String("quorvane:unregister")
            && toolName != QLatin1String("quorvane:link");
        const QString ruleScope = (decision == QLatin1String("approved") && ruleAllowed) ? scope : QString();
        recordDecision(action, machineId, decision, ruleScope, QStringLiteral("machine"));
        if (!ruleScope.isEmpty()) {
            createRule(userId, ruleScope, action.json.value(QStringLiteral("agent_id")).toString(), machineId, toolName,
                       QStringLiteral("decision:") + action.id);
            bumpRules(userId);
        }
        return reply(BackendResponse::json(
            200, QJsonObject{{QStringLiteral("id"), action.id}, {QStringLiteral("decision"), decision}}));
    }
    for (const Decision& d : std::as_const(m_decisions)) {
        if (d.actionId == actionId && d.userId == userId)
            return reply(BackendResponse::text(409, "action already decided"), QStringLiteral("already decided"));
    }
    return fail(404, QStringLiteral("unknown action"));
}

BackendService::Result BackendService::linkMachine(const QString& machineId, const QByteArray& body)
{
    const QString userId = machine(machineId)->userId;
    const auto object = parseObject(body);
    if (!object || !object->value(QStringLiteral("agent_id")).isString())
        return fail(400, QStringLiteral("body must be {\"agent_id\": text}"));
    if (namesOther(*object, QStringLiteral("machine_id"), machineId))
        return fail(400, QStringLiteral("machine_id must name the signing machine"));
    const auto it = m_agents.find(object->value(QStringLiteral("agent_id")).toString());
    if (it == m_agents.end())
        return fail(404, QStringLiteral("unknown agent"));
    Agent& agent = it->second;
    if (!agent.userId.isEmpty() && agent.userId != userId)
        return fail(403, QStringLiteral("agent belongs to another account"));
    for (const auto& [id, other] : m_agents) {
        if (id != agent.id && other.name == agent.name && other.machineIds.contains(machineId))
            return reply(BackendResponse::text(409, "duplicate name"), QStringLiteral("duplicate name"));
    }
    agent.userId = userId;
    return reply(BackendResponse::json(200, linkAgentTo(agent, machineId)));
}

BackendService::Result BackendService::pushToken(const QString& machineId, const QString& target,
                                                 const QByteArray& body)
{
    if (!m_machines.count(target))
        return fail(404, QStringLiteral("unknown machine"));
    if (target != machineId)
        return fail(403, QStringLiteral("a machine can only set its own push token"));
    const auto object = parseObject(body);
    if (!object || !object->value(QStringLiteral("push_token")).isString()
        || !object->value(QStringLiteral("platform")).isString())
        return fail(400, QStringLiteral("body must be {\"push_token\": text, \"platform\": text}"));
    m_machines[target].pushToken = *object;
    return reply(BackendResponse::json(200, QJsonObject{{QStringLiteral("ok"), true}}));
}

BackendService::Result BackendService::deleteMachine(const QString& machineId, const QString& target)
{
    const auto it = m_machines.find(target);
    if (it == m_machines.end())
        return fail(404, QStringLiteral("unknown machine"));
    if (it->second.userId != machine(machineId)->userId)
        return fail(403, QStringLiteral("machine belongs to another account"));
    m_machines.erase(it);
    for (auto& [id, agent] : m_agents)
        agent.machineIds.removeAll(target);
    Q_EMIT machineRemoved(target);
    return reply(BackendResponse::json(200, QJsonObject{{QStringLiteral("deleted"), target}}));
}

BackendService::Result BackendService::preferences(const QString& machineId, const QByteArray& body)
{
    const auto object = parseObject(body);
    if (!object)
        return fail(400, QStringLiteral("body must be a JSON object"));
    if (object->contains(QStringLiteral("mcp_llm_summary")) && !object->value(QStringLiteral("mcp_llm_summary")).isBool())
        return fail(400, QStringLiteral("mcp_llm_summary must be a boolean"));
    User& user = m_users[machine(machineId)->userId];
    for (auto it = object->begin(); it != object->end(); ++it)
        user.preferences.insert(it.key(), it.value());
    return reply(BackendResponse::json(200, user.preferences));
}

BackendService::Result BackendService::mcpSync(const QString& machineId, const QByteArray& body)
{
    const auto object = parseObject(body);
    if (!object || !object->value(QStringLiteral("servers")).isArray())
        return fail(400, QStringLiteral("body must be {\"servers\": [...]}"));
    const QJsonArray servers = object->value(QStringLiteral("servers")).toArray();
    m_machines[machineId].mcpServers = servers;
    return reply(BackendResponse::json(200, QJsonObject{{QStringLiteral("count"), servers.size()}}));
}

BackendService::Result BackendService::openTrustWindow(const QString& machineId, const QByteArray& body)
{
    const QString userId = machine(machineId)->userId;
    const auto object = parseObject(body);
    if (!object)
        return fail(400, QStringLiteral("body must be a JSON object"));
    if (namesOther(*object, QStringLiteral("machine_id"), machineId))
        return fail(400, QStringLiteral("machine_id must name the signing machine"));
    TrustWindow window;
    const QDateTime t = now();
    if (object->contains(QStringLiteral("duration_minutes"))) {
        const QJsonValue v = object->value(QStringLiteral("duration_minutes"));
        const double minutes = v.toDouble(-1);
        if (!v.isDouble() || minutes != double(qint64(minutes)) || minutes < 1 || minutes > 24 * 60)
            return fail(400, QStringLiteral("duration_minutes must be a whole number from 1 to 1440"));
        window.startsAt = t;
        window.endsAt = t.addSecs(qint64(minutes) * 60);
    } else {
        const auto starts = parseZonedTime(object->value(QStringLiteral("starts_at")).toString());
        const auto ends = parseZonedTime(object->value(QStringLiteral("ends_at")).toString());
        if (!starts || !ends)
            return fail(400, QStringLiteral("give duration_minutes, or starts_at and ends_at in ISO 8601 with a zone"));
        if (*ends <= *starts)
            return fail(400, QStringLiteral("ends_at must be after starts_at"));
        if (*ends <= t)
            return fail(400, QStringLiteral("ends_at is in the past"));
        window.startsAt = *starts;
        window.endsAt = *ends;
    }
    m_trustWindows[userId] = window;
    tick(); // announces a window that is active now
    const bool active = window.startsAt <= t;
    return reply(BackendResponse::json(200, QJsonObject{{QStringLiteral("active"), active},
                                                     {QStringLiteral("starts_at"), iso(window.startsAt)},
                                                     {QStringLiteral("ends_at"), iso(window.endsAt)}}));
}

BackendService::Result BackendService::closeTrustWindow(const QString& machineId)
{
    const QString userId = machine(machineId)->userId;
    // "ended" tells whether a window (opened by any client) was active.
    const bool ended = m_trustWindows.erase(userId) > 0;
    if (ended)
        sendTrustWindow(userId, false);
    return reply(BackendResponse::json(
        200, QJsonObject{{QStringLiteral("active"), false}, {QStringLiteral("ended"), ended}}));
}
