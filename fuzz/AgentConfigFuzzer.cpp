#include "app/tooling/AgentInfo.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <cstddef>
#include <cstdint>

namespace {

void put(QJsonObject& object, const char* key, const std::optional<QString>& value)
{
    if (value)
        object.insert(QLatin1String(key), *value);
}

} // namespace

// config.json of an agent folder: whatever decodes must survive a round trip.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArrayView bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const std::optional<AgentInfo> agent = AgentInfo::decode(bytes);
    if (!agent)
        return 0;
    (void)agent->scopeLabel(QStringLiteral("/home/someone"));

    QJsonObject object{{QStringLiteral("name"), agent->name},       {QStringLiteral("machine"), agent->machine},
                       {QStringLiteral("machineId"), agent->machineId}, {QStringLiteral("publicKey"), agent->publicKey},
                       {QStringLiteral("createdAt"), agent->createdAt}, {QStringLiteral("apiUrl"), agent->apiUrl}};
    put(object, "agentId", agent->agentId);
    put(object, "status", agent->status);
    put(object, "template", agent->templateName);
    put(object, "scope", agent->scope);
    put(object, "projectPath", agent->projectPath);
    const std::optional<AgentInfo> again = AgentInfo::decode(QJsonDocument(object).toJson(QJsonDocument::Compact));
    if (!again || !(*again == *agent))
        __builtin_trap();
    return 0;
}
