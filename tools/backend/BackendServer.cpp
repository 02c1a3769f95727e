#include "tools/backend/BackendServer.h"

#include "tools/backend/BackendService.h"
#include "tools/backend/ControlAccess.h"
#include "tools/backend/ControlApi.h"
#include "tools/backend/BackendRequestParser.h"

#include <QJsonObject>
#include <QTcpSocket>
#include <QTimer>
#include <QWebSocket>

#include <cstdio>

BackendServer::BackendServer(BackendService* service, QObject* parent)
    : QObject(parent)
    , m_service(service)
    , m_control(std::make_unique<ControlApi>(service, this))
    , m_ws(QStringLiteral("quorvane-backend"), QWebSocketServer::NonSecureMode)
{
    connect(&m_tcp, &QTcpServer::newConnection, this, &BackendServer::onNewConnection);
    connect(&m_ws, &QWebSocketServer::newConnection, this, &BackendServer::onNewStream);
    connect(m_service, &BackendService::userFrame, this,
            [this](const QString& userId, const QByteArray& text) { sendText(userId, text); });
    connect(m_service, &BackendService::machineRemoved, this, &BackendServer::closeStreamsOf);
}

BackendServer::~BackendServer() = default;

bool BackendServer::listen(quint16 port)
{
    return m_tcp.listen(QHostAddress::LocalHost, port);
}

void BackendServer::onNewConnection()
{
    while (QTcpSocket* socket = m_tcp.nextPendingConnection()) {
        m_connections.insert(socket, {});
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { process(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            m_connections.remove(socket);
            socket->deleteLater();
        });
    }
}

void BackendServer::process(QTcpSocket* socket)
{
    for (;;) {
        const auto it = m_connections.find(socket);
        if (it == m_connections.end() || it->busy || socket->state() != QAbstractSocket::ConnectedState)
            return;
        // Peek rather than read: an upgrade request must reach the WebSocket
        // server unread.
        const QByteArray data = socket->peek(socket->bytesAvailable());
        if (data.isEmpty())
            return;
        const auto result = BackendRequestParser::parse(data);
        if (result.outcome == BackendRequestParser::Outcome::Invalid) {
            socket->readAll();
            BackendRequest bad = result.request;
            bad.method = bad.method.isEmpty() ? QByteArray("?") : bad.method;
            logRequest(bad, false, QString::fromUtf8(result.error), result.errorStatus);
            send(socket, bad, BackendResponse::error(result.errorStatus, QString::fromUtf8(result.error)), true);
            return;
        }
        if (result.outcome == BackendRequestParser::Outcome::Incomplete) {
            if (result.expectsContinue && !it->sentContinue) {
                it->sentContinue = true;
                socket->write("HTTP/1.1 100 Continue\r\n\r\n");
            }
            return;
        }
        it->sentContinue = false;
        const BackendRequest& request = result.request;
        const bool upgrade = request.isWebSocketUpgrade();
        route(socket, request, result.consumed, upgrade);
        if (upgrade)
            return;
    }
}

void BackendServer::route(QTcpSocket* socket, const BackendRequest& request, qsizetype consumed, bool upgrade)
{
    const QString path = request.path();
    if (!upgrade && (path == QLatin1String("/_control") || path.startsWith(QLatin1String("/_control/")))) {
        socket->read(consumed);
        if (!ControlAccess::isAllowedPeer(socket->peerAddress())) {
            send(socket, request, BackendResponse::error(403, QStringLiteral("control interface is for local peers only")));
            return;
        }
        send(socket, request, m_control->handle(request));
        return;
    }
    const std::optional<Injection> injection = takeInjection(request);
    if (injection && injection->delayMs > 0) {
        m_connections[socket].busy = true;
        const QPointer<QTcpSocket> guard(socket);
        QTimer::singleShot(injection->delayMs, this, [this, guard, request, consumed, upgrade, injection] {
            if (!guard || !m_connections.contains(guard.data()))
                return;
            m_connections[guard.data()].busy = false;
            serve(guard.data(), request, consumed, upgrade, injection);
            if (guard && !upgrade)
                process(guard.data());
        });
        return;
    }
    serve(socket, request, consumed, upgrade, injection);
}

void BackendServer::serve(QTcpSocket* socket, const BackendRequest& request, qsizetype consumed, bool upgrade,
                          const std::optional<Injection>& injection)
{
    if (injection && injection->status) {
        socket->read(consumed);
        const int status = *injection->status;
        logRequest(request, false, QStringLiteral("injected"), status);
        if (status == 0) {
            // A transport failure: the connection ends without an answer.
            m_connections.remove(socket);
            socket->abort();
            socket->deleteLater();
            return;
        }
        BackendResponse response = BackendResponse::text(status, injection->body);
        response.headers = injection->headers;
        if (injection->body.startsWith('{') || injection->body.startsWith('['))
            response.contentType = "application/json";
        send(socket, request, response, upgrade);
        return;
    }
    if (upgrade) {
        this->upgrade(socket, request, consumed);
        return;
    }
    socket->read(consumed);
    const BackendService::Result result = m_service->handle(request);
    logRequest(request, result.verified, result.reason, result.response.status);
    send(socket, request, result.response);
}

void BackendServer::upgrade(QTcpSocket* socket, const BackendRequest& request, qsizetype consumed)
{
    if (request.method != "GET" || request.path() != QLatin1String("/ws/user")) {
        socket->read(consumed);
        logRequest(request, false, QStringLiteral("no stream at this path"), 404);
        send(socket, request, BackendResponse::error(404, QStringLiteral("not found")), true);
        return;
    }
    if (m_refuseUntil.isValid() && QDateTime::currentDateTimeUtc() < m_refuseUntil) {
        socket->read(consumed);
        logRequest(request, false, QStringLiteral("streams refused"), 503);
        send(socket, request, BackendResponse::error(503, QStringLiteral("stream unavailable")), true);
        return;
    }
    const BackendService::StreamAuth auth = m_service->authenticateStream(request);
    if (!auth.check.ok) {
        socket->read(consumed);
        logRequest(request, false, auth.check.reason, 401);
        send(socket, request, BackendResponse::error(401, auth.check.reason), true);
        return;
    }
    logRequest(request, true, {}, 101);
    m_pendingStreams.insert(socket->peerPort(), {auth.userId, auth.check.machineId});
    m_connections.remove(socket);
    disconnect(socket, nullptr, this, nullptr);
    // The handshake bytes are still unread in the socket.
    m_ws.handleConnection(socket);
}

void BackendServer::onNewStream()
{
    while (QWebSocket* ws = m_ws.nextPendingConnection()) {
        const auto identity = m_pendingStreams.take(ws->peerPort());
        if (identity.userId.isEmpty()) {
            ws->abort();
            ws->deleteLater();
            continue;
        }
        m_streams.append({ws, identity.userId, identity.machineId});
        connect(ws, &QWebSocket::disconnected, this, [this, ws] {
            for (qsizetype i = 0; i < m_streams.size(); ++i) {
                if (m_streams[i].socket == ws)
                    m_streams.removeAt(i--);
            }
            ws->deleteLater();
        });
        if (m_verbose)
            std::fprintf(stderr, "quorvane-backend: stream opened for %s\n", qPrintable(identity.machineId));
    }
}

void BackendServer::send(QTcpSocket* socket, const BackendRequest& request, const BackendResponse& response, bool close)
{
    const bool keepAlive = !close && request.keepAlive();
    socket->write(response.serialize(keepAlive));
    if (m_verbose)
        std::fprintf(stderr, "quorvane-backend: %s %s -> %d\n", request.method.constData(), request.target.constData(),
                     response.status);
    if (!keepAlive) {
        m_connections.remove(socket);
        socket->disconnectFromHost();
    }
}

void BackendServer::logRequest(const BackendRequest& request, bool verified, const QString& reason, int status)
{
    QJsonObject headers;
    for (const auto& h : request.headers) {
        const QString name = QString::fromLatin1(h.first);
        const QString value = QString::fromUtf8(h.second);
        headers.insert(name, headers.contains(name) ? headers.value(name).toString() + QStringLiteral(", ") + value : value);
    }
    m_requests.append(QJsonObject{{QStringLiteral("method"), QString::fromLatin1(request.method)},
                                  {QStringLiteral("target"), QString::fromUtf8(request.target)},
                                  {QStringLiteral("headers"), headers},
                                  {QStringLiteral("body"), QString::fromUtf8(request.body)},
                                  {QStringLiteral("verified"), verified},
                                  {QStringLiteral("reason"), reason},
                                  {QStringLiteral("status"), status}});
}

std::optional<BackendServer::Injection> BackendServer::takeInjection(const BackendRequest& request)
{
    const QString path = request.path();
    for (qsizetype i = 0; i < m_injections.size(); ++i) {
        Injection& inj = m_injections[i];
        if ((!inj.method.isEmpty() && inj.method != request.method) || inj.path != path)
            continue;
        const Injection taken = inj;
        if (--inj.count <= 0)
            m_injections.removeAt(i);
        return taken;
    }
    return std::nullopt;
}

int BackendServer::sendText(const QString& userId, const QByteArray& text, int repeat)
{
    int n = 0;
    const QString message = QString::fromUtf8(text);
    for (const Stream& s : std::as_const(m_streams)) {
        if (s.socket && (userId.isEmpty() || s.userId == userId)) {
            for (int i = 0; i < repeat; ++i)
                s.socket->sendTextMessage(message);
            ++n;
        }
    }
    return n;
}

int BackendServer::sendBinary(const QString& userId, const QByteArray& data)
{
    int n = 0;
    for (const Stream& s : std::as_const(m_streams)) {
        if (s.socket && (userId.isEmpty() || s.userId == userId)) {
            s.socket->sendBinaryMessage(data);
            ++n;
        }
    }
    return n;
}

int BackendServer::dropSockets()
{
    const QList<Stream> streams = m_streams;
    m_streams.clear();
    for (const Stream& s : streams) {
        if (s.socket) {
            s.socket->abort();
            s.socket->deleteLater();
        }
    }
    return int(streams.size());
}

void BackendServer::closeStreamsOf(const QString& machineId)
{
    for (qsizetype i = 0; i < m_streams.size(); ++i) {
        if (m_streams[i].machineId != machineId)
            continue;
        const QPointer<QWebSocket> ws = m_streams[i].socket;
        m_streams.removeAt(i--);
        if (ws) {
            ws->abort();
            ws->deleteLater();
        }
    }
}

void BackendServer::refuseWebSocketFor(int seconds)
{
    m_refuseUntil = QDateTime::currentDateTimeUtc().addMSecs(qint64(seconds) * 1000);
}

QJsonArray BackendServer::streams() const
{
    QJsonArray list;
    for (const Stream& s : m_streams) {
        if (s.socket)
            list.append(QJsonObject{{QStringLiteral("user_id"), s.userId}, {QStringLiteral("machine_id"), s.machineId}});
    }
    return list;
}
