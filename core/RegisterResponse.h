#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>
#include <optional>

// The back-end's answer to a machine registration: both members are required texts.
struct RegisterResponse
{
    QString machineId; // "machine_id"
    QString userId; // "user_id"

    static constexpr qsizetype maximumSize = 64 * 1024;
    // Longest machine or user id taken (the id travels in every signed
    // request's headers and is stored in machine.json).
    static constexpr qsizetype maximumIdLength = 128;
    // Nothing for a larger body, one that is not a JSON object, or a missing
    // or non-text member, or a member that is not a usable id.
    static std::optional<RegisterResponse> decode(const QByteArray& json);
    // A usable id: 1 to maximumIdLength characters, none of them a control
    // character, a line or paragraph separator, or a lone surrogate.
    static bool isUsableId(QStringView id);
};
