#pragma once

#include <QString>
#include <qcoro/qcorotask.h>

class QNetworkAccessManager;

// Creates agents on the reference back-end through its control endpoint
// POST <api>/_control/agents {"name", "agent_type", "template", "machine_id"?,
// "agent_id"?} -> {"agent_id"}.
// The stand-in only ever talks to a loopback origin: it is a test bed and
// must never create anything on a real server.
class ControlClient
{
public:
    struct Result
    {
        QString agentId; // empty on failure
        QString error; // why it failed
    };

    ControlClient(QNetworkAccessManager* network, QString apiBaseURL);

    // machineId and wantedId are left out of the request when empty; the
    // server then picks the agent's identifier.
    QCoro::Task<Result> createAgent(const QString& name, const QString& agentType,
        const QString& templateName, const QString& machineId, const QString& wantedId);

private:
    QNetworkAccessManager* m_network;
    QString m_apiBaseURL;
};
