#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QObject>
#include <QTcpServer>

class QTcpSocket;

// A misbehaving back-end on 127.0.0.1 for the hardening tests: its stream
// handshake can be held unanswered, accepted and closed at once, or accepted
// and then left silent (no pong ever); an HTTP path can drip its answer one
// byte at a time, or answer at once with a given body. It checks no
// signature and keeps every connection until it is destroyed.
class HostilePeer : public QObject
{
public:
    enum class Stream { hold, acceptThenClose, acceptThenSilent };

    HostilePeer()
    {
        m_clock.start();
        connect(&m_server, &QTcpServer::newConnection, this, &HostilePeer::accept);
        m_server.listen(QHostAddress::LocalHost, 0);
    }

    QString origin() const { return QStringLiteral("http://127.0.0.1:%1").arg(m_server.serverPort()); }
    void setStream(Stream stream) { m_stream = stream; }
    // The answer to `path` starts at once and then sends one byte every intervalMs.
    void setDrip(const QByteArray& path, int intervalMs) { m_drips.insert(path, intervalMs); }
    // The answer to `path`: the status, the body and extra header lines.
    void setAnswer(const QByteArray& path, int status, const QByteArray& body, const QByteArray& headers = {})
    {
        m_answers.insert(path, Answer{status, body, headers});
    }

    // Answers leave the connection open for the next request (they close it by default).
    void setKeepAlive(bool keepAlive) { m_keepAlive = keepAlive; }
    // Closes every connection, as a server does with those idle too long.
    void closeConnections();
    int connectionCount() const { return m_connectionCount; }

    // Milliseconds since the peer started at which each stream handshake arrived.
    const QList<qint64>& handshakeTimes() const { return m_handshakeTimes; }
    // Paths of the HTTP requests, with their arrival times.
    const QList<QPair<QByteArray, qint64>>& requests() const { return m_requests; }
    qint64 elapsed() const { return m_clock.elapsed(); }

private:
    struct Answer
    {
        int status = 200;
        QByteArray body;
        QByteArray headers;
    };

    void accept();
    void read(QTcpSocket* socket);
    void answerStream(QTcpSocket* socket, const QByteArray& head);
    void drip(QTcpSocket* socket, int intervalMs);

    QTcpServer m_server;
    QElapsedTimer m_clock;
    Stream m_stream = Stream::hold;
    bool m_keepAlive = false;
    int m_connectionCount = 0;
    QHash<QByteArray, int> m_drips;
    QHash<QByteArray, Answer> m_answers;
    QHash<QTcpSocket*, QByteArray> m_buffers;
    QList<QTcpSocket*> m_streams;
    QList<qint64> m_handshakeTimes;
    QList<QPair<QByteArray, qint64>> m_requests;
};
