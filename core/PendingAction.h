#pragma once

#include "core/CommandSegment.h"

#include <QDateTime>
#include <QLatin1String>
#include <QList>
#include <QMap>
#include <QString>

#include <optional>

class QJsonValue;

// One tool action that an agent escalated to the back-end and that waits for
// the person's decision, as GET /actions/pending lists it. A plain value: two
// actions are equal when all twelve fields are equal. The derived values the
// approvals panel reads are pure functions of the fields (and of the clock for
// the time values).
struct PendingAction
{
    QString id;        // used in /approvals/<id>/respond
    QString agentId;   // "agent_id"
    QString agentName; // "agent_name"
    std::optional<QString> agentMachine;
    QString toolName;
    std::optional<QString> toolInputSummary; // a one-line summary made by the back-end
    // The tool's input flattened to text, plus display hints ("summary",
    // "short_summary", "detail_segments"). Iterates in key order, as the
    // decoded JSON object does. Never absent after decoding: empty instead.
    QMap<QString, QString> toolInput;
    std::optional<QString> classification; // risk class, passed through
    qint64 machineAgentCount = 1;          // agents of the user on the action's machine
    QString createdAt;                     // ISO 8601, kept as text
    QString expiresAt;                     // ISO 8601, see expiresDate()
    std::optional<QString> explanation;

    friend bool operator==(const PendingAction&, const PendingAction&) = default;

    // The tolerant decoder, key by key:
    // - "id", "agent_id", "agent_name", "tool_name", "created_at", "expires_at":
    //   required text; missing or any other type fails the record;
    // - "agent_machine", "tool_input_summary", "classification", "explanation":
    //   missing or null is absent, text is kept, any other type fails the record;
    // - "tool_input": an object of text values, else (missing, null, another
    //   type, any value that is not text) the empty map;
    // - "machine_agent_count": a whole number that fits 64 bits (3.0 counts as
    //   3), else 1.
    // A value that is not an object fails. On failure `error` (when given)
    // receives a short reason naming the key.
    static std::optional<PendingAction> fromJson(const QJsonValue& value, QString* error = nullptr);

    // Special tool names: an agent asking to be unregistered, an agent asking to be linked.
    static constexpr QLatin1String unregisterToolName { "quorvane:unregister" };
    static constexpr QLatin1String linkToolName { "quorvane:link" };

    // The first of tool_input's "summary", "command", "file_path", "target";
    // else the first value of a non-empty tool_input; else tool_input_summary,
    // else tool_name.
    QString toolSummary() const;
    // tool_input's "short_summary" when present, else toolSummary().
    QString shortSummary() const;
    QString displaySummary() const;

    // The command segments carried as JSON text in tool_input's
    // "detail_segments"; absent when the key is missing or the text does not
    // decode as a list of complete segments.
    std::optional<QList<CommandSegment>> detailSegments() const;

    // expires_at as an ISO 8601 internet date-time (RFC 3339), with or without
    // fractional seconds, "Z" or a numeric offset "+hh:mm"; absent for anything
    // else. Millisecond precision, in UTC.
    std::optional<QDateTime> expiresDate() const;
    // Seconds from `now` until expiresDate(), negative once expired; absent
    // when expiresDate() (or `now`) is not valid.
    std::optional<double> timeRemaining(const QDateTime& now) const;
    std::optional<double> timeRemaining() const;
    // True when there is no expiry date or no time remains.
    bool isExpired(const QDateTime& now) const;
    bool isExpired() const;

    bool isUnregister() const;
    bool canCreateRule() const;
    // The tool belongs to an MCP server: its name begins with "mcp__".
    bool isMcpTool() const;
    // For "mcp__<server>__<tool>": the server part title-cased, without a
    // "claude_ai_" prefix and without "plugin_<plugin>_"; absent for other
    // tools and names that do not split.
    std::optional<QString> mcpServiceName() const;
    // "<Service>: <Tool>", title-cased; absent as above.
    std::optional<QString> mcpDisplayName() const;
    // mcpDisplayName() when present, else shortSummary().
    QString displayName() const;
};
