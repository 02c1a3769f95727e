#pragma once

#include <QHash>
#include <QObject>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrl>

// A minimal HTTP/1.1 server on 127.0.0.1 for what the reference back-end does
// not vary: each path answers with a scripted response, sent with or without a
// Content-Length, in several writes, or held open half-way so that a download
// stays in flight. One request per connection.
class LoopbackHttpServer : public QObject
{
    Q_OBJECT
public:
    struct Response
    {
        QByteArray status = "200 OK";
        QByteArray body;
        bool announceLength = true; // false: no Content-Length, the end is the close
        int pieces = 4;             // the body is written in this many parts
        bool hold = false;          // send the headers and the first part, then wait
        int interval = 5;           // milliseconds between two parts
    };

    bool listen();
    QUrl url(const QString& path) const;
    // http://127.0.0.1:<port>
    QString origin() const { return url({}).toString(); }
    void setResponse(const QString& path, const Response& response) { m_responses.insert(path, response); }
    int requestCount(const QString& path) const { return m_requests.value(path); }

private:
    void serve(QTcpSocket* socket);

    QTcpServer m_server;
    QHash<QString, Response> m_responses;
    QHash<QString, int> m_requests;
    QHash<QTcpSocket*, QByteArray> m_pending;
};
