#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

// The back-end's answer to linking an agent to this machine; every member is required.
struct LinkResult
{
    bool linked = false; // "linked"
    QString agentId; // "agent_id"
    bool seeded = false; // "seeded": rules were seeded for the agent by this link
    qint64 rulesCount = 0; // "rules_count"
    bool hasOtherMachines = false; // "has_other_machines"

    static constexpr qsizetype maximumSize = 64 * 1024;
    // Nothing for a larger body, one that is not a JSON object, or a missing or mistyped member
    // (rules_count must be a whole number).
    static std::optional<LinkResult> decode(const QByteArray& json);

    bool operator==(const LinkResult&) const = default;
};
