#pragma once

#include "tools/backend/BackendRequest.h"
#include "tools/backend/BackendResponse.h"

#include <QDateTime>
#include <QHash>
#include <QJsonArray>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QTcpServer>
#include <QWebSocketServer>

#include <memory>
#include <optional>

class BackendService;
class ControlApi;
class QTcpSocket;
class QWebSocket;

// The network front of the back-end: one loopback port that serves the API
// origin, the web origin, the user stream (/ws/user, handed to a
// QWebSocketServer after its signed opening request is checked) and the control
// interface under /_control/. A small HTTP/1.1 server with keep-alive,
// pipelining, Content-Length and chunked bodies.
class BackendServer : public QObject
{
    Q_OBJECT
public:
    explicit BackendServer(BackendService* service, QObject* parent = nullptr);
    ~BackendServer() override;

    bool listen(quint16 port);
    quint16 port() const { return m_tcp.serverPort(); }
    QString errorString() const { return m_tcp.errorString(); }
    void setVerbose(bool verbose) { m_verbose = verbose; }

    // Answers for the next matching requests (control interface).
    struct Injection
    {
        QByteArray method;      // empty: any method
        QString path;           // exact decoded path without query
        std::optional<int> status; // absent: only delay; 0: close without an answer
        QByteArray body;
        QList<QPair<QByteArray, QByteArray>> headers; // extra answer headers (Retry-After, ...)
        int count = 1;
        int delayMs = 0;
    };
    void addInjection(const Injection& injection) { m_injections.append(injection); }
    void clearInjections() { m_injections.clear(); }

    QJsonArray requests() const { return m_requests; }
    void clearRequests() { m_requests = QJsonArray(); }

    int sendText(const QString& userId, const QByteArray& text, int repeat = 1);
    int sendBinary(const QString& userId, const QByteArray& data);
    int dropSockets();
    void refuseWebSocketFor(int seconds);
    QJsonArray streams() const;

private:
    struct Connection
    {
        bool busy = false;        // an answer is delayed; further requests wait
        bool sentContinue = false;
    };
    struct Stream
    {
        QPointer<QWebSocket> socket;
        QString userId;
        QString machineId;
    };
    struct StreamIdentity
    {
        QString userId;
        QString machineId;
    };

    void onNewConnection();
    void onNewStream();
    void process(QTcpSocket* socket);
    void route(QTcpSocket* socket, const BackendRequest& request, qsizetype consumed, bool upgrade);
    void serve(QTcpSocket* socket, const BackendRequest& request, qsizetype consumed, bool upgrade,
               const std::optional<Injection>& injection);
    void upgrade(QTcpSocket* socket, const BackendRequest& request, qsizetype consumed);
    void send(QTcpSocket* socket, const BackendRequest& request, const BackendResponse& response, bool close = false);
    void logRequest(const BackendRequest& request, bool verified, const QString& reason, int status);
    std::optional<Injection> takeInjection(const BackendRequest& request);
    void closeStreamsOf(const QString& machineId);

    BackendService* m_service;
    std::unique_ptr<ControlApi> m_control;
    QTcpServer m_tcp;
    QWebSocketServer m_ws;
    QHash<QTcpSocket*, Connection> m_connections;
    QHash<quint16, StreamIdentity> m_pendingStreams; // by the client's port
    QList<Stream> m_streams;
    QList<Injection> m_injections;
    QJsonArray m_requests;
    QDateTime m_refuseUntil;
    bool m_verbose = false;
};
