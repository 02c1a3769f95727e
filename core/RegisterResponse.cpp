#include "core/RegisterResponse.h"

#include "core/JsonFields.h"

std::optional<RegisterResponse> RegisterResponse::decode(const QByteArray& json)
{
    const std::optional<QJsonObject> object = JsonFields::parseObject(json, maximumSize);
    if (!object)
        return std::nullopt;
    const QJsonValue machineId = object->value(QLatin1String("machine_id"));
    const QJsonValue userId = object->value(QLatin1String("user_id"));
    if (!machineId.isString() || !userId.isString())
        return std::nullopt;
    return RegisterResponse { machineId.toString(), userId.toString() };
}
