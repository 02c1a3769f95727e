#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

class QJsonValue;

// One piece of a compound shell command as the back-end classified it: the
// piece itself, the program it runs and the risk level of that piece.
struct CommandSegment
{
    QString segment;
    QString baseCmd; // JSON "base_cmd"
    QString risk;    // passed through as the back-end sent it

    friend bool operator==(const CommandSegment&, const CommandSegment&) = default;

    // One JSON object with the three text members "segment", "base_cmd" and
    // "risk"; absent when the value is not an object or any member is missing
    // or not text. Other members are ignored.
    static std::optional<CommandSegment> fromJson(const QJsonValue& value);

    // A JSON text (UTF-8) holding a list of such objects. Absent when the text
    // is not JSON, is not a list, or any element does not decode; an empty
    // list gives an empty list.
    static std::optional<QList<CommandSegment>> listFromJson(const QByteArray& utf8);
};
