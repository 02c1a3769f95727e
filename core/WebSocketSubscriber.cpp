#include "WebSocketSubscriber.h"

#include "CoreConstants.h"
#include "MachineAuthService.h"

#include <QWebSocket>

WebSocketSubscriber::WebSocketSubscriber(MachineAuthService& auth, QObject* parent)
    : QObject(parent)
    , m_auth(auth)
{
    m_reconnectTimer.setSingleShot(true);
    connect(&m_reconnectTimer, &QTimer::timeout, this, &WebSocketSubscriber::connectSocket);
}

WebSocketSubscriber::~WebSocketSubscriber()
{
    discardSocket(false);
}

void WebSocketSubscriber::setReconnectDelays(int initialMs, int capMs)
{
    m_initialBackoffMs = initialMs;
    m_maxBackoffMs = capMs;
    m_backoffMs = initialMs;
}

void WebSocketSubscriber::start()
{
    if (m_socket || m_reconnectTimer.isActive())
        return;
    connectSocket();
}

void WebSocketSubscriber::stop()
{
    m_reconnectTimer.stop();
    discardSocket(true);
    setConnected(false);
}

void WebSocketSubscriber::connectSocket()
{
    const QUrl url(CoreConstants::webSocketBaseURL() + QStringLiteral("/ws/user"), QUrl::StrictMode);
    if (!url.isValid())
        return;
    // The signed message covers "GET /ws/user"; QWebSocket adds the Upgrade
    // and Connection headers of the handshake itself.
    const std::optional<SignedRequest> signedRequest = m_auth.signedGETRequest(url);
    if (!signedRequest)
        return;

    discardSocket(false);
    auto* socket = new QWebSocket(QString(), QWebSocketProtocol::VersionLatest, this);
    m_socket = socket;
    connect(socket, &QWebSocket::connected, this, [this, socket] {
        if (socket != m_socket)
            return;
        m_backoffMs = m_initialBackoffMs;
        setConnected(true);
    });
    connect(socket, &QWebSocket::textMessageReceived, this, [this, socket](const QString& frame) {
        if (socket == m_socket)
            handleMessage(frame);
    });
    // A failure reports both error and disconnected; handleFailure
    // detaches the socket on the first of them, so the second finds it stale.
    connect(socket, &QWebSocket::disconnected, this, [this, socket] { handleFailure(socket); });
    connect(socket, qOverload<QAbstractSocket::SocketError>(&QWebSocket::error), this, [this, socket] { handleFailure(socket); });
    socket->open(signedRequest->request);
}

void WebSocketSubscriber::handleMessage(const QString& frame)
{
    if (const std::optional<UserEvent> event = UserEvent::fromFrame(frame))
        Q_EMIT eventReceived(*event);
}

void WebSocketSubscriber::handleFailure(QWebSocket* socket)
{
    // Failures of a socket that was replaced or closed by stop() are not ours
    // to act on: a stopped subscriber stays idle.
    if (socket != m_socket)
        return;
    discardSocket(false);
    scheduleReconnect();
}

void WebSocketSubscriber::scheduleReconnect()
{
    setConnected(false);
    const int delay = m_backoffMs;
    m_backoffMs = std::min(m_backoffMs * 2, m_maxBackoffMs);
    m_reconnectTimer.start(delay);
    Q_EMIT reconnectScheduled(delay);
}

void WebSocketSubscriber::setConnected(bool connected)
{
    if (m_isConnected == connected)
        return;
    m_isConnected = connected;
    Q_EMIT isConnectedChanged(connected);
}

void WebSocketSubscriber::discardSocket(bool closeFirst)
{
    QWebSocket* socket = m_socket;
    if (!socket)
        return;
    m_socket = nullptr;
    socket->disconnect(this);
    if (closeFirst)
        socket->close(QWebSocketProtocol::CloseCodeGoingAway);
    else
        socket->abort();
    socket->deleteLater();
}
