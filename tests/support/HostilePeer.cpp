#include "tests/support/HostilePeer.h"

#include <QCryptographicHash>
#include <QTcpSocket>
#include <QTimer>

namespace {

QByteArray headerValue(const QByteArray& head, const QByteArray& name)
{
    for (const QByteArray& line : head.split('\n')) {
        const qsizetype colon = line.indexOf(':');
        if (colon > 0 && line.left(colon).trimmed().toLower() == name.toLower())
            return line.mid(colon + 1).trimmed();
    }
    return {};
}

} // namespace

void HostilePeer::accept()
{
    while (QTcpSocket* socket = m_server.nextPendingConnection()) {
        socket->setParent(this);
        ++m_connectionCount;
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { read(socket); });
    }
}

void HostilePeer::read(QTcpSocket* socket)
{
    if (m_streams.contains(socket)) {
        socket->readAll(); // pings and whatever else: never answered
        return;
    }
    QByteArray& buffer = m_buffers[socket];
    buffer += socket->readAll();
    const qsizetype end = buffer.indexOf("\r\n\r\n");
    if (end < 0)
        return;
    const QByteArray head = buffer.left(end);
    const qsizetype contentLength = headerValue(head, "Content-Length").toLongLong();
    if (buffer.size() < end + 4 + contentLength)
        return;
    m_buffers.remove(socket);
    const QByteArray path = head.left(head.indexOf("\r\n")).split(' ').value(1);

    if (path == "/ws/user") {
        answerStream(socket, head);
        return;
    }
    m_requests.append({path, m_clock.elapsed()});
    if (m_drips.contains(path)) {
        socket->write("HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: 100000\r\n\r\n{");
        drip(socket, m_drips.value(path));
        return;
    }
    const Answer answer = m_answers.value(path, Answer{404, "not found", {}});
    socket->write("HTTP/1.1 " + QByteArray::number(answer.status) + " Status\r\n"
                  + (m_keepAlive ? "" : "Connection: close\r\n") + "Content-Length: "
                  + QByteArray::number(answer.body.size()) + "\r\n" + answer.headers + "\r\n");
    socket->write(answer.body);
    if (!m_keepAlive)
        socket->disconnectFromHost();
}

void HostilePeer::closeConnections()
{
    for (QTcpSocket* socket : findChildren<QTcpSocket*>(Qt::FindDirectChildrenOnly))
        socket->disconnectFromHost();
}

void HostilePeer::answerStream(QTcpSocket* socket, const QByteArray& head)
{
    m_handshakeTimes.append(m_clock.elapsed());
    m_streams.append(socket);
    if (m_stream == Stream::hold)
        return;
    const QByteArray key = headerValue(head, "Sec-WebSocket-Key") + "258EAFA5-E914-47DA-95CA-C5AB0DC85B11";
    const QByteArray accept = QCryptographicHash::hash(key, QCryptographicHash::Sha1).toBase64();
    socket->write("HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                  "Sec-WebSocket-Accept: "
                  + accept + "\r\n\r\n");
    if (m_stream == Stream::acceptThenClose)
        socket->disconnectFromHost();
}

void HostilePeer::drip(QTcpSocket* socket, int intervalMs)
{
    auto* timer = new QTimer(socket);
    connect(timer, &QTimer::timeout, socket, [socket] { socket->write(" "); });
    timer->start(intervalMs);
}
