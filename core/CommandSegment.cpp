#include "core/CommandSegment.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

std::optional<CommandSegment> CommandSegment::fromJson(const QJsonValue& value)
{
    if (!value.isObject())
        return std::nullopt;
    const QJsonObject object = value.toObject();
    const QJsonValue segment = object.value(QLatin1String("segment"));
    const QJsonValue baseCmd = object.value(QLatin1String("base_cmd"));
    const QJsonValue risk = object.value(QLatin1String("risk"));
    if (!segment.isString() || !baseCmd.isString() || !risk.isString())
        return std::nullopt;
    return CommandSegment { segment.toString(), baseCmd.toString(), risk.toString() };
}

std::optional<QList<CommandSegment>> CommandSegment::listFromJson(const QByteArray& utf8)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(utf8, &error);
    if (error.error != QJsonParseError::NoError || !document.isArray())
        return std::nullopt;
    const QJsonArray array = document.array();
    QList<CommandSegment> segments;
    segments.reserve(array.size());
    for (const QJsonValue element : array) {
        std::optional<CommandSegment> segment = fromJson(element);
        if (!segment)
            return std::nullopt;
        segments.append(std::move(*segment));
    }
    return segments;
}
