#include "tools/cli/ControlClient.h"

#include <QHostAddress>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrl>
#include <memory>
#include <qcoro/qcoronetworkreply.h>

namespace {

bool isLoopback(const QUrl& url)
{
    return url.host() == QLatin1String("localhost") || QHostAddress(url.host()).isLoopback();
}

QByteArray requestBody(const QString& name, const QString& agentType, const QString& templateName,
    const QString& machineId, const QString& wantedId)
{
    QJsonObject body { { QStringLiteral("name"), name }, { QStringLiteral("agent_type"), agentType },
        { QStringLiteral("template"), templateName } };
    if (!machineId.isEmpty())
        body.insert(QStringLiteral("machine_id"), machineId);
    if (!wantedId.isEmpty())
        body.insert(QStringLiteral("agent_id"), wantedId);
    return QJsonDocument(body).toJson(QJsonDocument::Compact);
}

} // namespace

ControlClient::ControlClient(QNetworkAccessManager* network, QString apiBaseURL)
    : m_network(network)
    , m_apiBaseURL(std::move(apiBaseURL))
{
}

QCoro::Task<ControlClient::Result> ControlClient::createAgent(const QString& name, const QString& agentType,
    const QString& templateName, const QString& machineId, const QString& wantedId)
{
    const QUrl url(m_apiBaseURL + QStringLiteral("/_control/agents"));
    if (!url.isValid() || !isLoopback(url)) {
        co_return Result { QString(),
            QStringLiteral("the stand-in only registers agents with a reference back-end on a "
                           "loopback address (QUORVANE_API_BASE_URL is %1)")
                .arg(m_apiBaseURL) };
    }

    const QByteArray body = requestBody(name, agentType, templateName, machineId, wantedId);

    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
    request.setTransferTimeout(10000);
    std::unique_ptr<QNetworkReply> reply(m_network->post(request, body));
    co_await reply.get();

    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (reply->error() != QNetworkReply::NoError && status == 0)
        co_return Result { QString(),
            QStringLiteral("cannot reach the server: %1").arg(reply->errorString()) };
    const QJsonDocument answer = QJsonDocument::fromJson(reply->readAll());
    const QJsonValue agentId = answer.object().value(QStringLiteral("agent_id"));
    if ((status != 200 && status != 201) || !agentId.isString() || agentId.toString().isEmpty()) {
        QString reason = QStringLiteral("the server refused the agent (HTTP %1)").arg(status);
        const QJsonValue serverError = answer.object().value(QStringLiteral("error"));
        if (serverError.isString())
            reason += QStringLiteral(": ") + serverError.toString();
        co_return Result { QString(), reason };
    }
    co_return Result { agentId.toString(), QString() };
}
