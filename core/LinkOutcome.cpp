#include "core/LinkOutcome.h"

#include "core/JsonFields.h"

#include <QJsonValue>

#include <cmath>

namespace {

qint64 wholeNumber(const QJsonValue& value)
{
    if (!value.isDouble())
        return 0;
    const double number = value.toDouble();
    // Whole numbers a 64-bit integer holds exactly.
    if (number != std::trunc(number) || std::fabs(number) > 9007199254740992.0)
        return 0;
    return qint64(number);
}

} // namespace

LinkOutcome LinkOutcome::fromResponse(int status, const QByteArray& body)
{
    const std::optional<QJsonObject> object = JsonFields::parseObject(body, maximumSize);
    LinkOutcome outcome;
    if (status == 200 && object) {
        outcome.linked = true;
        outcome.seeded = object->value(QLatin1String("seeded")).toBool(false);
        outcome.rulesCount = wholeNumber(object->value(QLatin1String("rules_count")));
        return outcome;
    }
    if (object && object->value(QLatin1String("error")).isString())
        outcome.refusal = object->value(QLatin1String("error")).toString();
    return outcome;
}
