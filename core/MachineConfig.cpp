#include "core/MachineConfig.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

namespace {

bool takeString(const QJsonObject& object, QLatin1String key, QString& out)
{
    const QJsonValue value = object.value(key);
    if (!value.isString())
        return false;
    out = value.toString();
    return true;
}

} // namespace

std::optional<MachineConfig> MachineConfig::decode(const QByteArray& json)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    const QJsonObject object = document.object();
    MachineConfig config;
    if (!takeString(object, QLatin1String("id"), config.id)
        || !takeString(object, QLatin1String("user_id"), config.userId)
        || !takeString(object, QLatin1String("machine_id_local"), config.machineIdLocal)
        || !takeString(object, QLatin1String("name"), config.name))
        return std::nullopt;
    return config;
}

QByteArray MachineConfig::encode() const
{
    QJsonObject object;
    object.insert(QLatin1String("id"), id);
    object.insert(QLatin1String("user_id"), userId);
    object.insert(QLatin1String("machine_id_local"), machineIdLocal);
    object.insert(QLatin1String("name"), name);
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}
