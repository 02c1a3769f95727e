#pragma once

#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <memory>

// A tiny HTTP/1.1 server on 127.0.0.1 for tests that need control over what
// the reference back-end does not vary: answers with or without a
// Content-Length header, any status, any body. One request per connection.
class LoopbackHttpServer : public QObject
{
public:
    struct Response
    {
        int status = 200;
        QByteArray body;
        bool sendContentLength = true;
        int dripMilliseconds = 0; // > 0: the body goes out one byte per interval
    };

    LoopbackHttpServer()
    {
        connect(&m_server, &QTcpServer::newConnection, this, &LoopbackHttpServer::accept);
        m_server.listen(QHostAddress::LocalHost, 0);
    }

    bool isListening() const { return m_server.isListening(); }
    QString origin() const { return QStringLiteral("http://127.0.0.1:%1").arg(m_server.serverPort()); }
    quint16 port() const { return m_server.serverPort(); }

    void setResponse(const QByteArray& path, const Response& response) { m_responses.insert(path, response); }
    // Paths requested so far, in order.
    const QList<QByteArray>& requests() const { return m_requests; }

private:
    void accept()
    {
        while (QTcpSocket* socket = m_server.nextPendingConnection()) {
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] { read(socket); });
        }
    }

    void read(QTcpSocket* socket)
    {
        QByteArray& buffer = m_buffers[socket];
        buffer += socket->readAll();
        const qsizetype end = buffer.indexOf("\r\n\r\n");
        if (end < 0)
            return;
        const QList<QByteArray> requestLine = buffer.left(buffer.indexOf("\r\n")).split(' ');
        m_buffers.remove(socket);
        const QByteArray path = requestLine.value(1);
        m_requests.append(path);
        const Response response = m_responses.value(path, Response{404, "not found", true});
        QByteArray head = "HTTP/1.1 " + QByteArray::number(response.status) + " Status\r\nConnection: close\r\n";
        if (response.sendContentLength)
            head += "Content-Length: " + QByteArray::number(response.body.size()) + "\r\n";
        head += "\r\n";
        socket->write(head);
        if (response.dripMilliseconds > 0) {
            drip(socket, response.body, response.dripMilliseconds);
            return;
        }
        socket->write(response.body);
        socket->disconnectFromHost();
    }

    // A host that keeps the connection alive with a byte now and then.
    void drip(QTcpSocket* socket, const QByteArray& body, int interval)
    {
        auto* timer = new QTimer(socket);
        auto sent = std::make_shared<qsizetype>(0);
        connect(timer, &QTimer::timeout, socket, [socket, body, sent] {
            if (*sent < body.size())
                socket->write(body.mid((*sent)++, 1));
        });
        timer->start(interval);
    }

    QTcpServer m_server;
    QHash<QByteArray, Response> m_responses;
    QHash<QTcpSocket*, QByteArray> m_buffers;
    QList<QByteArray> m_requests;
};
