#pragma once

#include "core/HttpResponse.h"

#include <QByteArray>
#include <QNetworkRequest>

#include <QCoroTask>

class QNetworkAccessManager;
struct SignedRequest;

// Requests to the back-end, each with a total deadline and a cap on the body
// it accepts: a server that drips bytes or sends without end cannot hold a
// request, or the program's memory, for ever.
namespace Http {

inline constexpr int requestDeadlineMs = 60 * 1000;
inline constexpr qint64 defaultMaximumBodySize = 1024 * 1024;

struct Limits
{
    qint64 maximumBodySize = defaultMaximumBodySize;
    int deadlineMs = requestDeadlineMs; // from sending to the last byte of the answer
};

// Sends a request and waits for the whole answer without blocking the thread.
// `method` is GET, POST, PUT or DELETE; the body is sent for POST and PUT.
QCoro::Task<HttpResponse> send(QNetworkAccessManager& network, QNetworkRequest request, QByteArray method,
                               QByteArray body = {}, Limits limits = {});
QCoro::Task<HttpResponse> send(QNetworkAccessManager& network, const SignedRequest& request, Limits limits = {});

// One line per endpoint, however often a server repeats an answer over the cap.
void logOversizedOnce(const QUrl& url, qint64 limit);
// The transport error of a request that ran out of time.
QString pastDeadlineText(int deadlineMs);

// Retry-After as delta-seconds; nothing for an HTTP date or anything else.
std::optional<qint64> retryAfterSeconds(const QByteArray& value);

} // namespace Http
