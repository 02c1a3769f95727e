#include "tools/backend/ControlApi.h"

#include "tools/backend/BackendServer.h"
#include "tools/backend/BackendService.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace {

std::optional<QJsonObject> parseObject(const QByteArray& body, bool emptyIsObject = true)
{
    if (emptyIsObject && body.trimmed().isEmpty())
        return QJsonObject();
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return std::nullopt;
    return doc.object();
}

BackendResponse badBody()
{
    return BackendResponse::error(400, QStringLiteral("body must be a JSON object"));
}

} // namespace

ControlApi::ControlApi(BackendService* service, BackendServer* server)
    : m_service(service)
    , m_server(server)
{
}

BackendResponse ControlApi::handle(const BackendRequest& request)
{
    const QString path = request.path();
    const QByteArray& method = request.method;
    const QString prefix = QStringLiteral("/_control/");
    const QString what = path.mid(prefix.size());

    if (what == QLatin1String("users") && method == "POST") {
        const auto body = parseObject(request.body);
        if (!body)
            return badBody();
        const QString email = body->value(QStringLiteral("email")).toString(BackendService::defaultEmail());
        if (email.isEmpty() || !email.contains(QLatin1Char('@')))
            return BackendResponse::error(400, QStringLiteral("email must be an e-mail address"));
        return BackendResponse::json(200, m_service->createUser(email));
    }
    if (what == QLatin1String("actions") && method == "POST") {
        const auto body = parseObject(request.body, false);
        if (!body)
            return badBody();
        QString error;
        const auto stored = m_service->addAction(*body, &error);
        if (!stored)
            return BackendResponse::error(400, error);
        return BackendResponse::json(200, *stored);
    }
    if (what.startsWith(QLatin1String("actions/")) && method == "GET") {
        const QString id = what.mid(8);
        if (id.isEmpty() || id.contains(QLatin1Char('/')))
            return BackendResponse::error(404, QStringLiteral("not found"));
        return BackendResponse::json(200, m_service->actionStatus(id));
    }
    if (what == QLatin1String("agents") && method == "POST") {
        const auto body = parseObject(request.body, false);
        if (!body)
            return badBody();
        QString error;
        const auto id = m_service->addAgent(*body, &error);
        if (!id)
            return BackendResponse::error(400, error);
        return BackendResponse::json(200, QJsonObject{{QStringLiteral("agent_id"), *id}});
    }
    if (what == QLatin1String("frames") && method == "POST")
        return frames(request.body);
    if (what == QLatin1String("drop-sockets") && method == "POST")
        return BackendResponse::json(200, QJsonObject{{QStringLiteral("dropped"), m_server->dropSockets()}});
    if (what == QLatin1String("refuse-websocket") && method == "POST") {
        const auto body = parseObject(request.body);
        if (!body || !body->value(QStringLiteral("seconds")).isDouble())
            return BackendResponse::error(400, QStringLiteral("body must be {\"seconds\": number}"));
        const double seconds = body->value(QStringLiteral("seconds")).toDouble();
        m_server->refuseWebSocketFor(int(qBound(0.0, seconds, 86400.0)));
        return BackendResponse::json(200, QJsonObject{{QStringLiteral("seconds"), seconds}});
    }
    if (what == QLatin1String("inject") && method == "POST")
        return inject(request.body);
    if (what == QLatin1String("inject") && method == "DELETE") {
        m_server->clearInjections();
        return BackendResponse::json(200, QJsonObject{{QStringLiteral("cleared"), true}});
    }
    if (what == QLatin1String("requests") && method == "GET")
        return BackendResponse::json(200, m_server->requests());
    if (what == QLatin1String("requests") && method == "DELETE") {
        m_server->clearRequests();
        return BackendResponse::json(200, QJsonObject{{QStringLiteral("cleared"), true}});
    }
    if (what == QLatin1String("state") && method == "GET") {
        QJsonObject state = m_service->stateJson();
        state.insert(QStringLiteral("streams"), m_server->streams());
        return BackendResponse::json(200, state);
    }
    if (what == QLatin1String("trust-window/expire") && method == "POST") {
        m_service->expireTrustWindows();
        return BackendResponse::json(200, QJsonObject{{QStringLiteral("active"), false}});
    }
    if (what == QLatin1String("reset") && method == "POST") {
        m_service->reset();
        m_server->clearRequests();
        m_server->clearInjections();
        m_server->refuseWebSocketFor(0);
        return BackendResponse::json(200, QJsonObject{{QStringLiteral("reset"), true}});
    }
    return BackendResponse::error(404, QStringLiteral("unknown control request"));
}

BackendResponse ControlApi::inject(const QByteArray& raw)
{
    const auto body = parseObject(raw, false);
    if (!body)
        return badBody();
    BackendServer::Injection injection;
    const QString path = body->value(QStringLiteral("path")).toString();
    if (!path.startsWith(QLatin1Char('/')))
        return BackendResponse::error(400, QStringLiteral("path must begin with \"/\""));
    injection.path = path;
    injection.method = body->value(QStringLiteral("method")).toString().toUpper().toLatin1();
    if (body->contains(QStringLiteral("status"))) {
        const QJsonValue status = body->value(QStringLiteral("status"));
        const int s = status.toInt(-1);
        if (!status.isDouble() || s < 0 || s == 1 || (s > 1 && s < 100) || s > 599)
            return BackendResponse::error(400, QStringLiteral("status must be 0 (close) or 100 to 599"));
        injection.status = s;
    }
    const QJsonValue responseBody = body->value(QStringLiteral("body"));
    if (responseBody.isString())
        injection.body = responseBody.toString().toUtf8();
    else if (responseBody.isObject() || responseBody.isArray())
        injection.body = responseBody.isObject()
            ? QJsonDocument(responseBody.toObject()).toJson(QJsonDocument::Compact)
            : QJsonDocument(responseBody.toArray()).toJson(QJsonDocument::Compact);
    const QJsonObject headers = body->value(QStringLiteral("headers")).toObject();
    for (auto it = headers.begin(); it != headers.end(); ++it) {
        const QByteArray name = it.key().toLatin1();
        const QByteArray value = it.value().toString().toLatin1();
        if (name.isEmpty() || name.contains('\r') || name.contains('\n') || value.contains('\r') || value.contains('\n'))
            return BackendResponse::error(400, QStringLiteral("headers must be one-line names and texts"));
        injection.headers.append({name, value});
    }
    injection.count = body->value(QStringLiteral("count")).toInt(1);
    injection.delayMs = qBound(0, body->value(QStringLiteral("delay_ms")).toInt(0), 600000);
    if (injection.count < 1)
        return BackendResponse::error(400, QStringLiteral("count must be at least 1"));
    if (!injection.status && injection.delayMs == 0)
        return BackendResponse::error(400, QStringLiteral("give a status, a delay_ms, or both"));
    m_server->addInjection(injection);
    return BackendResponse::json(200, *body);
}

BackendResponse ControlApi::frames(const QByteArray& raw)
{
    const auto body = parseObject(raw, false);
    if (!body)
        return badBody();
    const QString userId = body->value(QStringLiteral("user_id")).toString();
    const int repeat = body->value(QStringLiteral("repeat")).toInt(1);
    if (repeat < 1 || repeat > 100000)
        return BackendResponse::error(400, QStringLiteral("repeat must be from 1 to 100000"));
    int sent = 0;
    if (body->value(QStringLiteral("text")).isString()) {
        sent = m_server->sendText(userId, body->value(QStringLiteral("text")).toString().toUtf8(), repeat);
    } else if (body->value(QStringLiteral("binary")).isString()) {
        const auto data = QByteArray::fromBase64Encoding(body->value(QStringLiteral("binary")).toString().toLatin1(),
                                                         QByteArray::AbortOnBase64DecodingErrors);
        if (!data)
            return BackendResponse::error(400, QStringLiteral("binary must be base64"));
        sent = m_server->sendBinary(userId, *data);
    } else {
        return BackendResponse::error(400, QStringLiteral("body must hold \"text\" or \"binary\""));
    }
    return BackendResponse::json(200, QJsonObject{{QStringLiteral("sent"), sent}});
}
