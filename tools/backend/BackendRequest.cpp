#include "tools/backend/BackendRequest.h"

#include "core/HttpWireFormat.h"

#include <QUrl>

QByteArray BackendRequest::header(QByteArrayView name) const
{
    return HttpWireFormat::headerValue(headers, name);
}

bool BackendRequest::hasHeader(QByteArrayView name) const
{
    return HttpWireFormat::hasHeader(headers, name);
}

bool BackendRequest::headerHasToken(QByteArrayView name, QByteArrayView token) const
{
    return HttpWireFormat::headerHasToken(headers, name, token);
}

bool BackendRequest::keepAlive() const
{
    return HttpWireFormat::keepsAlive(version, headers);
}

bool BackendRequest::isWebSocketUpgrade() const
{
    return headerHasToken("Upgrade", "websocket");
}

QByteArray BackendRequest::rawPath() const
{
    const qsizetype q = target.indexOf('?');
    return q < 0 ? target : target.left(q);
}

QByteArray BackendRequest::rawQuery() const
{
    const qsizetype q = target.indexOf('?');
    return q < 0 ? QByteArray() : target.mid(q + 1);
}

bool BackendRequest::hasQuery() const
{
    return target.contains('?');
}

QString BackendRequest::path() const
{
    return QString::fromUtf8(QByteArray::fromPercentEncoding(rawPath()));
}

std::optional<QString> BackendRequest::queryItem(const QString& name) const
{
    const QList<QByteArray> items = rawQuery().split('&');
    for (const QByteArray& item : items) {
        const qsizetype eq = item.indexOf('=');
        const QByteArray key = eq < 0 ? item : item.left(eq);
        if (QString::fromUtf8(QByteArray::fromPercentEncoding(key)) != name)
            continue;
        const QByteArray value = eq < 0 ? QByteArray() : item.mid(eq + 1);
        return QString::fromUtf8(QByteArray::fromPercentEncoding(value));
    }
    return std::nullopt;
}
