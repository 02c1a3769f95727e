#include "tools/backend/BackendRequest.h"

#include <QUrl>

QByteArray BackendRequest::header(QByteArrayView name) const
{
    for (const auto& h : headers) {
        if (h.first.compare(name, Qt::CaseInsensitive) == 0)
            return h.second;
    }
    return {};
}

bool BackendRequest::hasHeader(QByteArrayView name) const
{
    for (const auto& h : headers) {
        if (h.first.compare(name, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

bool BackendRequest::headerHasToken(QByteArrayView name, QByteArrayView token) const
{
    for (const auto& h : headers) {
        if (h.first.compare(name, Qt::CaseInsensitive) != 0)
            continue;
        const QList<QByteArray> parts = h.second.split(',');
        for (const QByteArray& part : parts) {
            if (part.trimmed().compare(token, Qt::CaseInsensitive) == 0)
                return true;
        }
    }
    return false;
}

bool BackendRequest::keepAlive() const
{
    if (headerHasToken("Connection", "close"))
        return false;
    if (version == "HTTP/1.0")
        return headerHasToken("Connection", "keep-alive");
    return true;
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
