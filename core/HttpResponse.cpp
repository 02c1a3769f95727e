#include "HttpResponse.h"

#include "MachineAuthService.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPointer>

#include <QCoroNetworkReply>

namespace Http {

QCoro::Task<HttpResponse> send(QNetworkAccessManager& network, QNetworkRequest request, QByteArray method,
                               QByteArray body)
{
    QNetworkReply* reply = nullptr;
    if (method == "GET")
        reply = network.get(request);
    else if (method == "DELETE")
        reply = network.deleteResource(request);
    else if (method == "POST")
        reply = network.post(request, body);
    else if (method == "PUT")
        reply = network.put(request, body);
    else
        reply = network.sendCustomRequest(request, method, body);

    co_await qCoro(reply).waitForFinished();

    HttpResponse response;
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (status.isValid()) {
        response.status = status.toInt();
        response.body = reply->readAll();
    } else {
        response.transportError = reply->errorString();
    }
    reply->deleteLater();
    co_return response;
}

QCoro::Task<HttpResponse> send(QNetworkAccessManager& network, const SignedRequest& request)
{
    return send(network, request.request, request.method, request.body);
}

} // namespace Http
