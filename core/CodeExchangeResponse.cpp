#include "core/CodeExchangeResponse.h"

#include "core/JsonFields.h"

std::optional<CodeExchangeResponse> CodeExchangeResponse::decode(int status, const QByteArray& body)
{
    if (status != 200)
        return std::nullopt;
    const std::optional<QJsonObject> object = JsonFields::parseObject(body, maximumSize);
    if (!object)
        return std::nullopt;
    const QJsonValue session = object->value(QLatin1String("session"));
    if (!session.isString() || session.toString().isEmpty())
        return std::nullopt;
    CodeExchangeResponse response { session.toString(), std::nullopt };
    if (const QJsonValue email = object->value(QLatin1String("email")); email.isString())
        response.email = email.toString();
    return response;
}
