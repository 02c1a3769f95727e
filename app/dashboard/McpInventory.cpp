#include "app/dashboard/McpInventory.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

std::optional<QByteArray> McpInventory::readFile(const QString& path)
{
    const QFileInfo info(path);
    if (!info.isFile() || info.size() > maximumFileSize)
        return std::nullopt;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    // The file may have grown since it was looked at: read at most one byte
    // more than allowed to tell.
    QByteArray contents = file.read(maximumFileSize + 1);
    if (contents.size() > maximumFileSize || file.error() != QFileDevice::NoError)
        return std::nullopt;
    return contents;
}

std::optional<QByteArray> McpInventory::syncBody(QByteArrayView fileContents)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(fileContents.toByteArray(), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    const QJsonValue servers = document.object().value(QLatin1String("servers"));
    if (!servers.isArray())
        return std::nullopt;
    const QJsonArray list = servers.toArray();
    for (const QJsonValue& server : list) {
        if (!server.isObject())
            return std::nullopt;
    }
    return QJsonDocument(QJsonObject{{QStringLiteral("servers"), list}}).toJson(QJsonDocument::Compact);
}
