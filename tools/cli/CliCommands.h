#pragma once

#include "tools/cli/AgentStore.h"
#include "tools/cli/CommandBehaviour.h"
#include "tools/cli/EventWriter.h"
#include "tools/cli/Invocation.h"

#include <qcoro/qcorotask.h>

class QNetworkAccessManager;

// Carries out one invocation as the scenario's behaviour says and yields the
// exit status. Every event goes to standard output as one JSON line.
class CliCommands
{
public:
    CliCommands(Invocation invocation, CommandBehaviour behaviour, QNetworkAccessManager* network);

    QCoro::Task<int> run();

private:
    QCoro::Task<int> version();
    QCoro::Task<int> scan();
    QCoro::Task<int> preflight();
    QCoro::Task<int> init();
    QCoro::Task<int> markLinked();
    QCoro::Task<int> downloadModel();
    QCoro::Task<int> analyzeHistory();
    QCoro::Task<int> unregister();

    // Waits the step delay, writes the event, and after the first line of
    // output stops for good when the scenario asks the run to hang.
    QCoro::Task<> emitEvent(const QString& type, const QJsonObject& fields = {});
    QCoro::Task<> emitLine(const QByteArray& text);
    QCoro::Task<> afterLine();
    // Whether the scenario makes the run fail before step (counted from 0).
    bool failsAt(int step) const;
    // The error event (when the scenario names a message) and the status.
    QCoro::Task<int> fail();
    // An error the tool itself detects: an error event and the status (1 by default).
    QCoro::Task<int> refuse(const QString& message, int status = 1);

    Invocation m_invocation;
    CommandBehaviour m_behaviour;
    QNetworkAccessManager* m_network;
    EventWriter m_writer;
    AgentStore m_store;
    int m_linesWritten = 0;
};
