#pragma once

#include <QProcess>
#include <QString>

// The flooding back-end (flood_peer) as a real child process on a free
// loopback port: its sending never waits on this test's event loop. Modes:
// "pings", "pings-read", "chunked" (see tools/flood-peer/main.cpp).
class FloodPeerProcess
{
public:
    // Starts it and waits (at most 10 s) for its port.
    explicit FloodPeerProcess(const QString& mode);
    ~FloodPeerProcess();
    FloodPeerProcess(const FloodPeerProcess&) = delete;
    FloodPeerProcess& operator=(const FloodPeerProcess&) = delete;

    bool isRunning() const { return m_port != 0; }
    QString origin() const { return QStringLiteral("http://127.0.0.1:%1").arg(m_port); }

private:
    QProcess m_process;
    int m_port = 0;
};
