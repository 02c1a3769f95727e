#include "JsonFields.h"

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

} // namespace JsonFields
