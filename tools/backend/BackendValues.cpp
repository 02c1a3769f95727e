#include "tools/backend/BackendValues.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QUuid>

QString BackendValues::newId(const char* prefix)
{
    const QString hex = QUuid::createUuid().toString(QUuid::Id128);
    return QLatin1String(prefix) + hex.left(16);
}

QString BackendValues::newToken()
{
    return QUuid::createUuid().toString(QUuid::Id128) + QUuid::createUuid().toString(QUuid::Id128);
}

QString BackendValues::iso(const QDateTime& t)
{
    return t.toUTC().toString(Qt::ISODateWithMs);
}

QByteArray BackendValues::jsonString(const QString& s)
{
    QByteArray a = QJsonDocument(QJsonArray{s}).toJson(QJsonDocument::Compact);
    return a.mid(1, a.size() - 2);
}

std::optional<QDateTime> BackendValues::parseZonedTime(const QString& text)
{
    static const QRegularExpression zoned(
        QStringLiteral("^\\d{4}-\\d{2}-\\d{2}T\\d{2}:\\d{2}:\\d{2}(\\.\\d{1,9})?(Z|[+-]\\d{2}:?\\d{2})$"));
    if (!zoned.match(text).hasMatch())
        return std::nullopt;
    QDateTime t = QDateTime::fromString(text, Qt::ISODateWithMs);
    if (!t.isValid())
        t = QDateTime::fromString(text, Qt::ISODate);
    if (!t.isValid())
        return std::nullopt;
    return t.toUTC();
}

std::optional<QJsonObject> BackendValues::parseObject(const QByteArray& body)
{
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return std::nullopt;
    return doc.object();
}
