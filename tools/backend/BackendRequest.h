#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

#include <optional>

// One parsed HTTP/1.1 request as it arrived on the wire.
struct BackendRequest
{
    QByteArray method;
    QByteArray target;  // the raw request target, "/path?query"
    QByteArray version; // "HTTP/1.1" or "HTTP/1.0"
    QList<QPair<QByteArray, QByteArray>> headers; // names as sent, values trimmed
    QByteArray body;

    // The first header of that name (case-insensitive), or an empty array.
    QByteArray header(QByteArrayView name) const;
    bool hasHeader(QByteArrayView name) const;
    // Whether a comma-separated header holds the token (case-insensitive).
    bool headerHasToken(QByteArrayView name, QByteArrayView token) const;

    bool keepAlive() const;
    bool isWebSocketUpgrade() const;

    QByteArray rawPath() const;  // target before "?"
    QByteArray rawQuery() const; // target after "?", empty when none
    bool hasQuery() const;
    QString path() const;        // percent-decoded path
    // The value of the first query item of that name, percent-decoded ("+" stays "+").
    std::optional<QString> queryItem(const QString& name) const;
};
