#pragma once

#include "core/UserEvent.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

class MachineAuthService;
class QWebSocket;

// Keeps one WebSocket open to the back-end's per-user event stream and turns
// each text frame into a UserEvent. After a failure it reconnects with a delay
// that starts at one second, doubles and is capped at a minute; the delay goes
// back to the start only once a connection has stayed up for 30 seconds, so a
// server that is unreachable, or that accepts and at once closes every
// connection, is retried 1, 2, 4, 8 ... 60 s apart.
//
// A handshake gets the same 60 seconds as every request; while connected a
// ping goes out every 30 seconds and a pong missing 10 seconds later counts as
// a drop, so a half-open connection is noticed. A message over 1 MiB (real
// frames are well under 1 KB) closes the connection.
//
// Control frames cost memory and time without carrying anything: each ping
// the server sends is answered with a pong. More than 50 control frames
// within 10 seconds, or more than 256 KiB of answers waiting to be sent (a
// server that does not read), is a flood: the connection is dropped and
// retried after the back-off.
class WebSocketSubscriber : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool isConnected READ isConnected NOTIFY isConnectedChanged)

public:
    static constexpr int defaultInitialBackoffMs = 1000;
    static constexpr int defaultMaximumBackoffMs = 60 * 1000;
    static constexpr int defaultHandshakeTimeoutMs = 60 * 1000;
    static constexpr int defaultPingIntervalMs = 30 * 1000;
    static constexpr int defaultPongTimeoutMs = 10 * 1000;
    static constexpr int defaultStableAfterMs = 30 * 1000;
    static constexpr qint64 maximumMessageSize = 1024 * 1024;
    static constexpr int maximumControlFrames = 50;
    static constexpr int controlFrameWindowMs = 10 * 1000;
    static constexpr qint64 maximumUnsentBytes = 256 * 1024;

    // Every timing the subscriber uses; tests shorten them.
    struct Timing
    {
        int initialBackoffMs = defaultInitialBackoffMs;
        int maximumBackoffMs = defaultMaximumBackoffMs;
        int handshakeTimeoutMs = defaultHandshakeTimeoutMs;
        int pingIntervalMs = defaultPingIntervalMs;
        int pongTimeoutMs = defaultPongTimeoutMs;
        int stableAfterMs = defaultStableAfterMs; // up this long, the back-off starts over
    };

    explicit WebSocketSubscriber(MachineAuthService& auth, QObject* parent = nullptr);
    ~WebSocketSubscriber() override;

    bool isConnected() const { return m_isConnected; }
    bool hasSocket() const { return m_socket != nullptr; }

    // The delay before the next reconnect.
    int backoffMs() const { return m_backoffMs; }
    const Timing& timing() const { return m_timing; }
    void setTiming(const Timing& timing);
    void setReconnectDelays(int initialMs, int capMs);

    // Opens the socket unless one is open or being opened.
    void start();
    // Closes the socket (going away), cancels a pending reconnect, and stays idle.
    void stop();

    // Every text message the socket delivers goes through here.
    void handleMessage(const QString& frame);

Q_SIGNALS:
    void eventReceived(const UserEvent& event);
    void isConnectedChanged(bool isConnected);
    // A reconnect was scheduled after a failure, delayMs from now.
    void reconnectScheduled(int delayMs);
    // The server answered the handshake with an HTTP status instead of opening
    // the stream (401: the machine's identity was refused).
    void handshakeRefused(int status);

private Q_SLOTS:
    // A ping or pong arrived on the open socket.
    void countControlFrame();

private:
    void connectSocket();
    void watchControlFrames(QWebSocket* socket);
    void onConnected();
    void armNextPing();
    void onWatchdog();
    void handleFailure(QWebSocket* socket);
    void scheduleReconnect();
    void setConnected(bool connected);
    void discardSocket(bool closeFirst);

    MachineAuthService& m_auth;
    QWebSocket* m_socket = nullptr; // owned (child), replaced only through discardSocket()
    Timing m_timing;
    QTimer m_reconnectTimer;
    // One timer guards the open socket: the handshake deadline, then the next
    // ping, then the pong deadline, so an idle stream wakes twice a minute.
    QTimer m_watchdog;
    QTimer m_stableTimer;
    bool m_awaitingPong = false;
    bool m_isConnected = false;
    bool m_loggedOversizedMessage = false;
    bool m_loggedFlood = false;
    bool m_floodDetected = false;
    int m_controlFrames = 0;
    QElapsedTimer m_controlFrameWindow;
    int m_backoffMs = defaultInitialBackoffMs;
};
