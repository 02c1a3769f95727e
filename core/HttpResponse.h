#pragma once

#include <QByteArray>
#include <QNetworkRequest>
#include <QString>

#include <QCoroTask>

class QNetworkAccessManager;
struct SignedRequest;

// The outcome of one exchange with the back-end. Success is decided by the
// status alone; a transport failure (no HTTP answer at all) has no status.
struct HttpResponse
{
    int status = -1;
    QByteArray body;
    QString transportError; // set exactly when there was no HTTP answer

    bool isHttp() const { return status >= 0; }
};

namespace Http {

// Sends a request and waits for the whole answer without blocking the thread.
// `method` is GET, POST, PUT or DELETE; the body is sent for POST and PUT.
QCoro::Task<HttpResponse> send(QNetworkAccessManager& network, QNetworkRequest request, QByteArray method,
                               QByteArray body = {});
QCoro::Task<HttpResponse> send(QNetworkAccessManager& network, const SignedRequest& request);

} // namespace Http
