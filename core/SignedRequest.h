#pragma once

#include <QByteArray>
#include <QNetworkRequest>

// A request signed with the machine key, ready to send: the caller hands
// `request`, `method` and `body` to QNetworkAccessManager::sendCustomRequest.
// The request carries the 60-second transfer time-out and, in this order,
// Content-Type (POST and PUT only), X-Machine-Id, X-Signature and X-Signed-Message.
struct SignedRequest
{
    QNetworkRequest request;
    QByteArray method; // "GET", "DELETE", "POST" or "PUT"
    QByteArray body;   // empty for GET and DELETE
};
