#pragma once

#include <QMetaType>
#include <QString>

#include <optional>

// One event of the per-user stream, decoded from a text frame holding a JSON
// object with a string member "type".
struct UserEvent
{
    enum class Kind { rulesChanged, actionPending, trustWindowChanged, unknown };

    Kind kind = Kind::unknown;
    QString version;  // rulesChanged
    QString actionId; // actionPending
    bool active = false; // trustWindowChanged
    QString raw;      // unknown: the whole frame text

    // Absent when the frame is not a JSON object with a string "type"; such
    // frames are dropped silently.
    static std::optional<UserEvent> fromFrame(const QString& frame);

    friend bool operator==(const UserEvent&, const UserEvent&) = default;
};

Q_DECLARE_METATYPE(UserEvent)
