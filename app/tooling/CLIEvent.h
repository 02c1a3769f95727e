#pragma once

#include <QByteArrayView>
#include <QMap>
#include <QString>

#include <optional>

// One line of the product tool's JSON output: {"type": ..., "message": ...,
// "progress": ..., "error": ..., "data": {...}}. Only "type" is required; a
// member given as null counts as absent. Other members are ignored.
struct CLIEvent
{
    QString type;
    std::optional<QString> message;
    std::optional<double> progress;
    std::optional<QString> error;
    std::optional<QMap<QString, QString>> data;

    // The longest text an event carries on to the screens: "message", "error"
    // and the values of "data" beyond it are cut, ending in "…".
    static constexpr qsizetype maximumTextLength = 2000;

    // Decodes one output line. A line that is not a JSON object, lacks "type",
    // or carries a member of the wrong type (a number inside "data", a string
    // in "progress") is not an event: the answer is empty. Texts are cut to
    // maximumTextLength.
    static std::optional<CLIEvent> decode(QByteArrayView line);

    // A value of "data", or an empty string when it is absent.
    QString dataValue(const QString& key) const;

    bool operator==(const CLIEvent& other) const = default;
};
