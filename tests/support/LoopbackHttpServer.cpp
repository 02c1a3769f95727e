#include "tests/support/LoopbackHttpServer.h"

#include <QHostAddress>
#include <QTimer>

bool LoopbackHttpServer::listen()
{
    connect(&m_server, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket* socket = m_server.nextPendingConnection()) {
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] { serve(socket); });
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        }
    });
    return m_server.listen(QHostAddress::LocalHost, 0);
}

QUrl LoopbackHttpServer::url(const QString& path) const
{
    QUrl url(QStringLiteral("http://127.0.0.1"));
    url.setPort(m_server.serverPort());
    url.setPath(path);
    return url;
}

void LoopbackHttpServer::serve(QTcpSocket* socket)
{
    QByteArray& request = m_pending[socket];
    request.append(socket->readAll());
    if (!request.contains("\r\n\r\n"))
        return;
    const QList<QByteArray> requestLine = request.left(request.indexOf("\r\n")).split(' ');
    m_pending.remove(socket);
    const QString path = requestLine.size() >= 2 ? QString::fromUtf8(requestLine[1]) : QString();
    m_requests[path] += 1;

    const Response response = m_responses.value(path, Response{"404 Not Found", "no such file", true, 1, false});
    QByteArray head = "HTTP/1.1 " + response.status + "\r\nContent-Type: application/octet-stream\r\n";
    if (response.announceLength)
        head += "Content-Length: " + QByteArray::number(response.body.size()) + "\r\n";
    head += "Connection: close\r\n\r\n";
    socket->write(head);

    const qsizetype pieces = qMax(1, response.pieces);
    const qsizetype step = qMax<qsizetype>(1, (response.body.size() + pieces - 1) / pieces);
    QList<QByteArray> parts;
    for (qsizetype offset = 0; offset < response.body.size(); offset += step)
        parts.append(response.body.mid(offset, step));
    if (response.hold) {
        if (!parts.isEmpty())
            socket->write(parts.first());
        socket->flush();
        return; // the client aborts, or the socket goes away with the server
    }
    // Later parts go out on later turns of the event loop, as separate reads.
    auto remaining = std::make_shared<QList<QByteArray>>(parts);
    auto* timer = new QTimer(socket);
    timer->setInterval(response.interval);
    connect(timer, &QTimer::timeout, socket, [socket, timer, remaining] {
        if (remaining->isEmpty()) {
            timer->stop();
            socket->disconnectFromHost();
            return;
        }
        socket->write(remaining->takeFirst());
        socket->flush();
    });
    timer->start();
}
