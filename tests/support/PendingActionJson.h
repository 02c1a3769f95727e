#pragma once

#include <QJsonObject>
#include <QString>

// A pending action in the back-end's wire shape, valid for a long time, for
// tests that add actions to the reference back-end or serve lists themselves.
inline QJsonObject pendingActionJson(const QString& id)
{
    return QJsonObject{{QStringLiteral("id"), id},
                       {QStringLiteral("agent_id"), QStringLiteral("agent-1")},
                       {QStringLiteral("agent_name"), QStringLiteral("claude-work")},
                       {QStringLiteral("tool_name"), QStringLiteral("Bash")},
                       {QStringLiteral("tool_input"), QJsonObject{{QStringLiteral("command"), QStringLiteral("rm -rf build")}}},
                       {QStringLiteral("created_at"), QStringLiteral("2026-01-01T00:00:00Z")},
                       {QStringLiteral("expires_at"), QStringLiteral("2099-01-01T00:00:00Z")}};
}
