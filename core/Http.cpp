#include "core/Http.h"

#include "core/SignedRequest.h"
#include "core/LogCategories.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSet>
#include <QTimer>

#include <QCoroNetworkReply>

namespace Http {

namespace {

QNetworkReply* start(QNetworkAccessManager& network, const QNetworkRequest& request, const QByteArray& method,
                     const QByteArray& body)
{
    if (method == "GET")
        return network.get(request);
    if (method == "DELETE")
        return network.deleteResource(request);
    if (method == "POST")
        return network.post(request, body);
    if (method == "PUT")
        return network.put(request, body);
    return network.sendCustomRequest(request, method, body);
}

constexpr qint64 readBufferSize = 256 * 1024;
constexpr int idleConnectionSeconds = 30;

} // namespace

void logOversizedOnce(const QUrl& url, qint64 limit)
{
    static QSet<QString> logged;
    const QString path = url.path();
    if (logged.contains(path))
        return;
    logged.insert(path);
    qCWarning(lcSync).noquote()
        << QStringLiteral("Quorvane: refused an answer of %1 larger than %2 bytes").arg(path).arg(limit);
}

QString pastDeadlineText(int deadlineMs)
{
    return QStringLiteral("no complete answer within %1 ms").arg(deadlineMs);
}

std::optional<qint64> retryAfterSeconds(const QByteArray& value)
{
    const QByteArray trimmed = value.trimmed();
    if (trimmed.isEmpty() || trimmed.size() > 12)
        return std::nullopt;
    for (const char c : trimmed) {
        if (c < '0' || c > '9')
            return std::nullopt;
    }
    return trimmed.toLongLong();
}

QCoro::Task<HttpResponse> send(QNetworkAccessManager& network, QNetworkRequest request, QByteArray method,
                               QByteArray body, Limits limits)
{
    // A connection idle this long is closed: long enough for the 15-s poll to
    // keep using its own, short enough that one made for an occasional
    // request (an update check, a decision) does not linger for minutes.
    request.setAttribute(QNetworkRequest::ConnectionCacheExpiryTimeoutSecondsAttribute, idleConnectionSeconds);
    QNetworkReply* reply = start(network, request, method, body);
    // The network thread stops reading from the socket while this much is
    // waiting here, so it never gathers more than the cap on its own.
    reply->setReadBufferSize(std::min(limits.maximumBodySize, readBufferSize));

    // The body is taken as it arrives, so an answer over the limit is cut off
    // at the first chunk past it, whatever its Content-Length says.
    QByteArray received;
    bool tooLarge = false;
    bool pastDeadline = false;
    const auto refuseIfTooLarge = [&] {
        const qint64 announced = reply->header(QNetworkRequest::ContentLengthHeader).toLongLong();
        if (announced > limits.maximumBodySize || received.size() + reply->bytesAvailable() > limits.maximumBodySize) {
            tooLarge = true;
            reply->abort();
            return;
        }
        received += reply->readAll();
    };
    QObject::connect(reply, &QNetworkReply::metaDataChanged, reply, refuseIfTooLarge);
    QObject::connect(reply, &QNetworkReply::readyRead, reply, refuseIfTooLarge);
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, reply, [&] {
        pastDeadline = true;
        reply->abort();
    });
    deadline.start(limits.deadlineMs);

    co_await qCoro(reply).waitForFinished();
    deadline.stop();
    reply->disconnect();
    // Qt's HTTP thread stops honouring the read buffer limit on a connection
    // whose earlier answer was aborted, and a server that sends without end
    // would fill the memory through it: such a connection is not kept. The
    // others are, so the 15-s poll does not connect anew each time.
    if (tooLarge || pastDeadline)
        network.clearConnectionCache();

    HttpResponse response;
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (pastDeadline) {
        response.transportError = pastDeadlineText(limits.deadlineMs);
    } else if (status.isValid()) {
        response.status = status.toInt();
        response.retryAfterSeconds = retryAfterSeconds(reply->rawHeader(QByteArrayLiteral("Retry-After")));
        if (tooLarge) {
            response.bodyTooLarge = true;
            logOversizedOnce(request.url(), limits.maximumBodySize);
        } else {
            received += reply->readAll();
            response.body = std::move(received);
        }
    } else {
        response.transportError = reply->errorString();
    }
    reply->deleteLater();
    co_return response;
}

QCoro::Task<HttpResponse> send(QNetworkAccessManager& network, const SignedRequest& request, Limits limits)
{
    return send(network, request.request, request.method, request.body, limits);
}

} // namespace Http
