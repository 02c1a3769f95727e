#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

// The back-end's answer to a machine registration: both members are required texts.
struct RegisterResponse
{
    QString machineId; // "machine_id"
    QString userId; // "user_id"

    static constexpr qsizetype maximumSize = 64 * 1024;
    // Nothing for a larger body, one that is not a JSON object, or a missing or non-text member.
    static std::optional<RegisterResponse> decode(const QByteArray& json);
};
