#pragma once

#include "UserEvent.h"

#include <QObject>
#include <QTimer>

class MachineAuthService;
class QWebSocket;

// Keeps one WebSocket open to the back-end's per-user event stream and turns
// each text frame into a UserEvent. After a failure it reconnects with a delay
// that starts at one second, doubles and is capped at a minute; the delay goes
// back to the start only once a connection is really established, so an
// unreachable server is retried 1, 2, 4, 8 ... 60 s apart.
class WebSocketSubscriber : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool isConnected READ isConnected NOTIFY isConnectedChanged)

public:
    explicit WebSocketSubscriber(MachineAuthService& auth, QObject* parent = nullptr);
    ~WebSocketSubscriber() override;

    bool isConnected() const { return m_isConnected; }
    bool hasSocket() const { return m_socket != nullptr; }

    // The delay before the next reconnect, and its bounds (tests shorten them).
    int backoffMs() const { return m_backoffMs; }
    void setReconnectDelays(int initialMs, int capMs);

    // Opens the socket unless one is open or being opened.
    void start();
    // Closes the socket (going away), cancels a pending reconnect, and stays idle.
    void stop();

Q_SIGNALS:
    void eventReceived(const UserEvent& event);
    void isConnectedChanged(bool isConnected);
    // A reconnect was scheduled after a failure, delayMs from now.
    void reconnectScheduled(int delayMs);

private:
    void connectSocket();
    void handleMessage(const QString& frame);
    void handleFailure(QWebSocket* socket);
    void scheduleReconnect();
    void setConnected(bool connected);
    void discardSocket(bool closeFirst);

    MachineAuthService& m_auth;
    QWebSocket* m_socket = nullptr; // owned (child), replaced only through discardSocket()
    QTimer m_reconnectTimer;
    bool m_isConnected = false;
    int m_initialBackoffMs = 1000;
    int m_maxBackoffMs = 60000;
    int m_backoffMs = 1000;
};
