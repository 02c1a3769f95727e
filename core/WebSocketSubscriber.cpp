#include "core/WebSocketSubscriber.h"

#include "core/CoreConstants.h"
#include "core/MachineAuthService.h"
#include "core/LogCategories.h"

#include <QPointer>
#include <QRegularExpression>
#include <QTimer>
#include <QWebSocket>

namespace {

// Qt reports a refused handshake only through its error text
// ("... Unhandled http status code: 401 (Unauthorized)."): the status is read
// from there.
int refusedHandshakeStatus(const QString& errorText)
{
    static const QRegularExpression pattern(QStringLiteral("status code: (\\d{3})"));
    const QRegularExpressionMatch match = pattern.match(errorText);
    return match.hasMatch() ? match.captured(1).toInt() : 0;
}

} // namespace

WebSocketSubscriber::WebSocketSubscriber(MachineAuthService& auth, QObject* parent)
    : QObject(parent)
    , m_auth(auth)
{
    m_reconnectTimer.setSingleShot(true);
    connect(&m_reconnectTimer, &QTimer::timeout, this, &WebSocketSubscriber::connectSocket);
    m_watchdog.setSingleShot(true);
    connect(&m_watchdog, &QTimer::timeout, this, &WebSocketSubscriber::onWatchdog);
    m_stableTimer.setSingleShot(true);
    connect(&m_stableTimer, &QTimer::timeout, this, [this] { m_backoffMs = m_timing.initialBackoffMs; });
}

WebSocketSubscriber::~WebSocketSubscriber()
{
    discardSocket(false);
}

void WebSocketSubscriber::setTiming(const Timing& timing)
{
    m_timing = timing;
    m_backoffMs = timing.initialBackoffMs;
}

void WebSocketSubscriber::setReconnectDelays(int initialMs, int capMs)
{
    Timing timing = m_timing;
    timing.initialBackoffMs = initialMs;
    timing.maximumBackoffMs = capMs;
    setTiming(timing);
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
    socket->setMaxAllowedIncomingMessageSize(quint64(maximumMessageSize));
    socket->setMaxAllowedIncomingFrameSize(quint64(maximumMessageSize));
    // What the server sends waits in a bounded buffer; the kernel holds the rest.
    socket->setReadBufferSize(maximumMessageSize);
    m_socket = socket;
    watchControlFrames(socket);
    connect(socket, &QWebSocket::connected, this, [this, socket] {
        if (socket == m_socket)
            onConnected();
    });
    connect(socket, &QWebSocket::textMessageReceived, this, [this, socket](const QString& frame) {
        if (socket == m_socket)
            handleMessage(frame);
    });
    connect(socket, &QWebSocket::pong, this, [this, socket] {
        if (socket != m_socket)
            return;
        countControlFrame();
        if (!m_awaitingPong)
            return;
        m_awaitingPong = false;
        armNextPing();
    });
    // A failure reports both error and disconnected; handleFailure
    // detaches the socket on the first of them, so the second finds it stale.
    connect(socket, &QWebSocket::disconnected, this, [this, socket] { handleFailure(socket); });
    connect(socket, qOverload<QAbstractSocket::SocketError>(&QWebSocket::error), this,
            [this, socket] { handleFailure(socket); });
    m_watchdog.setTimerType(Qt::CoarseTimer);
    m_watchdog.start(m_timing.handshakeTimeoutMs);
    socket->open(signedRequest->request);
}

void WebSocketSubscriber::watchControlFrames(QWebSocket* socket)
{
    m_controlFrames = 0;
    m_controlFrameWindow.invalidate();
    m_floodDetected = false;
    // QWebSocket answers each ping itself and reports it only through the
    // signal of its frame parser, a child object; the connection goes by name.
    for (QObject* child : socket->children()) {
        if (child->metaObject()->indexOfSignal("pingReceived(QByteArray)") >= 0)
            connect(child, SIGNAL(pingReceived(QByteArray)), this, SLOT(countControlFrame()));
    }
}

void WebSocketSubscriber::countControlFrame()
{
    if (!m_socket || m_floodDetected)
        return;
    if (!m_controlFrameWindow.isValid() || m_controlFrameWindow.hasExpired(controlFrameWindowMs)) {
        m_controlFrameWindow.start();
        m_controlFrames = 0;
    }
    ++m_controlFrames;
    if (m_controlFrames <= maximumControlFrames && m_socket->bytesToWrite() <= maximumUnsentBytes)
        return;
    m_floodDetected = true;
    if (!m_loggedFlood) {
        m_loggedFlood = true;
        qCWarning(lcSync).noquote() << QStringLiteral("Quorvane: stream closed: too many control frames");
    }
    // The socket is in the middle of reading; it is dropped once that returns.
    QTimer::singleShot(0, this, [this, socket = QPointer<QWebSocket>(m_socket)] {
        if (socket)
            handleFailure(socket);
    });
}

void WebSocketSubscriber::armNextPing()
{
    // The wait for the next ping is rounded to whole seconds, like the poll's,
    // so that an idle program wakes once for both.
    m_watchdog.setTimerType(m_timing.pingIntervalMs >= 10 * 1000 ? Qt::VeryCoarseTimer : Qt::CoarseTimer);
    m_watchdog.start(m_timing.pingIntervalMs);
}

void WebSocketSubscriber::onConnected()
{
    m_awaitingPong = false;
    armNextPing();
    m_stableTimer.start(m_timing.stableAfterMs);
    setConnected(true);
}

void WebSocketSubscriber::onWatchdog()
{
    if (!m_socket)
        return;
    // Past the handshake deadline, or no pong in time: the connection is dead.
    if (!m_isConnected || m_awaitingPong) {
        handleFailure(m_socket);
        return;
    }
    m_awaitingPong = true;
    m_socket->ping();
    m_watchdog.setTimerType(Qt::CoarseTimer);
    m_watchdog.start(m_timing.pongTimeoutMs);
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
    if (socket->closeCode() == QWebSocketProtocol::CloseCodeTooMuchData && !m_loggedOversizedMessage) {
        m_loggedOversizedMessage = true;
        qCWarning(lcSync).noquote()
            << QStringLiteral("Quorvane: stream message larger than %1 bytes refused").arg(maximumMessageSize);
    }
    const int refusedStatus = m_isConnected ? 0 : refusedHandshakeStatus(socket->errorString());
    discardSocket(false);
    scheduleReconnect();
    if (refusedStatus > 0)
        Q_EMIT handshakeRefused(refusedStatus);
}

void WebSocketSubscriber::scheduleReconnect()
{
    setConnected(false);
    const int delay = m_backoffMs;
    m_backoffMs = std::min(m_backoffMs * 2, m_timing.maximumBackoffMs);
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
    m_watchdog.stop();
    m_stableTimer.stop();
    m_awaitingPong = false;
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
