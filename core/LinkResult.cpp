#include "core/LinkResult.h"

#include "core/JsonFields.h"

#include <cmath>

std::optional<LinkResult> LinkResult::decode(const QByteArray& json)
{
    const std::optional<QJsonObject> object = JsonFields::parseObject(json, maximumSize);
    if (!object)
        return std::nullopt;
    const QJsonValue linked = object->value(QLatin1String("linked"));
    const QJsonValue agentId = object->value(QLatin1String("agent_id"));
    const QJsonValue seeded = object->value(QLatin1String("seeded"));
    const QJsonValue rulesCount = object->value(QLatin1String("rules_count"));
    const QJsonValue others = object->value(QLatin1String("has_other_machines"));
    if (!linked.isBool() || !agentId.isString() || !seeded.isBool() || !rulesCount.isDouble()
        || !others.isBool())
        return std::nullopt;
    const double count = rulesCount.toDouble();
    // Whole numbers a 64-bit integer holds exactly.
    if (count != std::trunc(count) || std::fabs(count) > 9007199254740992.0)
        return std::nullopt;
    return LinkResult { linked.toBool(), agentId.toString(), seeded.toBool(), qint64(count),
        others.toBool() };
}
