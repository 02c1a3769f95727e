#pragma once

#include "core/PendingAction.h"

#include <QDateTime>
#include <QJsonObject>
#include <QString>

// Pending actions for the panel's tests, as records and in the wire shape.
namespace PanelTestActions {

// A fixed "now" that countdown tests measure against.
inline QDateTime fixedNow()
{
    return QDateTime(QDate(2025, 1, 31), QTime(12, 0, 0), Qt::UTC);
}

// An ISO 8601 expiry `seconds` after fixedNow() (millisecond precision).
inline QString expiresIn(double seconds, const QDateTime& now = fixedNow())
{
    return now.addMSecs(qint64(seconds * 1000.0)).toString(Qt::ISODateWithMs);
}

inline PendingAction make(const QString& id, const QString& toolName = QStringLiteral("Bash"))
{
    PendingAction action;
    action.id = id;
    action.agentId = QStringLiteral("agent-1");
    action.agentName = QStringLiteral("claude-work");
    action.agentMachine = QStringLiteral("workstation");
    action.toolName = toolName;
    action.toolInput = {{QStringLiteral("command"), QStringLiteral("rm -rf build")}};
    action.classification = QStringLiteral("destructive");
    action.machineAgentCount = 2;
    action.createdAt = QStringLiteral("2025-01-31T11:55:00Z");
    action.expiresAt = expiresIn(300);
    return action;
}

inline QJsonObject toJson(const PendingAction& action)
{
    QJsonObject object{{QStringLiteral("id"), action.id},
                       {QStringLiteral("agent_id"), action.agentId},
                       {QStringLiteral("agent_name"), action.agentName},
                       {QStringLiteral("tool_name"), action.toolName},
                       {QStringLiteral("machine_agent_count"), action.machineAgentCount},
                       {QStringLiteral("created_at"), action.createdAt},
                       {QStringLiteral("expires_at"), action.expiresAt}};
    QJsonObject input;
    for (auto it = action.toolInput.cbegin(); it != action.toolInput.cend(); ++it)
        input.insert(it.key(), it.value());
    object.insert(QStringLiteral("tool_input"), input);
    if (action.agentMachine)
        object.insert(QStringLiteral("agent_machine"), *action.agentMachine);
    if (action.toolInputSummary)
        object.insert(QStringLiteral("tool_input_summary"), *action.toolInputSummary);
    if (action.classification)
        object.insert(QStringLiteral("classification"), *action.classification);
    if (action.explanation)
        object.insert(QStringLiteral("explanation"), *action.explanation);
    return object;
}

} // namespace PanelTestActions
