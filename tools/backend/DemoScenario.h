#pragma once

#include <QObject>
#include <QRandomGenerator>
#include <QTimer>

class BackendService;

// A realistic stream of escalations for demos: shell commands with per-segment
// risk, file edits, MCP tool calls, one unregister and one link request, a new
// one every 20 to 40 seconds, each expiring after a few minutes, for whoever
// registered a machine last (else the default account).
class DemoScenario : public QObject
{
    Q_OBJECT
public:
    explicit DemoScenario(BackendService* service, QObject* parent = nullptr);
    void start(int firstDelayMs = 3000);
    // Adds the next escalation of the cycle at once; returns its id.
    QString emitNext();

private:
    void scheduleNext(int delayMs);

    BackendService* m_service;
    QTimer m_timer;
    int m_next = 0;
    QRandomGenerator m_random;
};
