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

inline PendingAction make(const QString& id, const QString& toolName = u"Bash"_qs)
{
    PendingAction action;
    action.id = id;
    action.agentId = u"agent-1"_qs;
    action.agentName = u"claude-work"_qs;
    action.agentMachine = u"workstation"_qs;
    action.toolName = toolName;
    action.toolInput = { { u"command"_qs, u"rm -rf build"_qs } };
    action.classification = u"destructive"_qs;
    action.machineAgentCount = 2;
    action.createdAt = u"2025-01-31T11:55:00Z"_qs;
    action.expiresAt = expiresIn(300);
    return action;
}

inline QJsonObject toJson(const PendingAction& action)
{
    QJsonObject object { { u"id"_qs, action.id }, { u"agent_id"_qs, action.agentId },
        { u"agent_name"_qs, action.agentName }, { u"tool_name"_qs, action.toolName },
        { u"machine_agent_count"_qs, action.machineAgentCount }, { u"created_at"_qs, action.createdAt },
        { u"expires_at"_qs, action.expiresAt } };
    QJsonObject input;
    for (auto it = action.toolInput.cbegin(); it != action.toolInput.cend(); ++it)
        input.insert(it.key(), it.value());
    object.insert(u"tool_input"_qs, input);
    if (action.agentMachine)
        object.insert(u"agent_machine"_qs, *action.agentMachine);
    if (action.toolInputSummary)
        object.insert(u"tool_input_summary"_qs, *action.toolInputSummary);
    if (action.classification)
        object.insert(u"classification"_qs, *action.classification);
    if (action.explanation)
        object.insert(u"explanation"_qs, *action.explanation);
    return object;
}

} // namespace PanelTestActions
