#include "core/JsonFields.h"

#include <QJsonDocument>
#include <QJsonParseError>

namespace JsonFields {

bool readOptionalText(const QJsonObject& object, QLatin1String key, std::optional<QString>& out)
{
    const auto it = object.constFind(key);
    if (it == object.constEnd() || it->isNull())
        return true;
    if (!it->isString())
        return false;
    out = it->toString();
    return true;
}

std::optional<QJsonObject> parseObject(const QByteArray& json, qsizetype limit)
{
    if (json.size() > limit)
        return std::nullopt;
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    return document.object();
}

} // namespace JsonFields
