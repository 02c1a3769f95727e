#include "core/RegisterResponse.h"

#include "core/JsonFields.h"

bool RegisterResponse::isUsableId(QStringView id)
{
    if (id.isEmpty() || id.size() > maximumIdLength || !id.isValidUtf16())
        return false;
    for (const QChar c : id) {
        switch (c.category()) {
        case QChar::Other_Control:
        case QChar::Separator_Line:
        case QChar::Separator_Paragraph:
            return false;
        default:
            break;
        }
    }
    return true;
}

std::optional<RegisterResponse> RegisterResponse::decode(const QByteArray& json)
{
    const std::optional<QJsonObject> object = JsonFields::parseObject(json, maximumSize);
    if (!object)
        return std::nullopt;
    const QJsonValue machineId = object->value(QLatin1String("machine_id"));
    const QJsonValue userId = object->value(QLatin1String("user_id"));
    if (!machineId.isString() || !userId.isString())
        return std::nullopt;
    RegisterResponse response { machineId.toString(), userId.toString() };
    if (!isUsableId(response.machineId) || !isUsableId(response.userId))
        return std::nullopt;
    return response;
}
