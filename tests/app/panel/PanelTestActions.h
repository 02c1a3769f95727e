#pragma once

#include "core/PendingAction.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>
#include <utility>

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
    QJsonObject input;
    for (auto it = action.toolInput.cbegin(); it != action.toolInput.cend(); ++it)
        input.insert(it.key(), it.value());
    QJsonObject object { { u"id"_qs, action.id }, { u"agent_id"_qs, action.agentId },
        { u"agent_name"_qs, action.agentName }, { u"tool_name"_qs, action.toolName },
        { u"machine_agent_count"_qs, action.machineAgentCount }, { u"created_at"_qs, action.createdAt },
        { u"expires_at"_qs, action.expiresAt }, { u"tool_input"_qs, input } };
    const std::pair<QString, std::optional<QString>> optionals[] {
        { u"agent_machine"_qs, action.agentMachine }, { u"tool_input_summary"_qs, action.toolInputSummary },
        { u"classification"_qs, action.classification }, { u"explanation"_qs, action.explanation }
    };
    for (const auto& [key, value] : optionals) {
        if (value)
            object.insert(key, *value);
    }
    return object;
}

// The command's pieces as "detail_segments" carries them: each piece with its
// risk, its first word as the base command.
inline QString segmentsJson(const QList<std::pair<QString, QString>>& piecesAndRisks)
{
    QJsonArray segments;
    for (const auto& [piece, risk] : piecesAndRisks)
        segments.append(QJsonObject {
            { u"segment"_qs, piece }, { u"base_cmd"_qs, piece.section(u' ', 0, 0) }, { u"risk"_qs, risk } });
    return QString::fromUtf8(QJsonDocument(segments).toJson(QJsonDocument::Compact));
}

} // namespace PanelTestActions
