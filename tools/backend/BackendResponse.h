#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>

class QJsonArray;
class QJsonObject;

// One answer, serialised by the connection that sends it.
struct BackendResponse
{
    int status = 200;
    QByteArray contentType;
    QByteArray body;
    QList<QPair<QByteArray, QByteArray>> headers; // extra headers (Location, ...)

    static BackendResponse json(int status, const QJsonObject& object);
    static BackendResponse json(int status, const QJsonArray& array);
    static BackendResponse text(int status, const QByteArray& text);
    // {"error": message}, the shape the companion reads error texts from.
    static BackendResponse error(int status, const QString& message);

    static QByteArray reasonPhrase(int status);
    // Status line, headers and body; Connection: keep-alive or close.
    QByteArray serialize(bool keepAlive) const;
};
