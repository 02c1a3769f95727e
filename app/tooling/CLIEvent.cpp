#include "app/tooling/CLIEvent.h"

#include "core/JsonFields.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

namespace {

QString cut(QString text)
{
    if (text.size() <= CLIEvent::maximumTextLength)
        return text;
    text.truncate(CLIEvent::maximumTextLength - 1);
    // Never end on half of a surrogate pair.
    if (text.back().isHighSurrogate())
        text.chop(1);
    return text + QChar(0x2026);
}

void cut(std::optional<QString>& text)
{
    if (text)
        text = cut(std::move(*text));
}

} // namespace

std::optional<CLIEvent> CLIEvent::decode(QByteArrayView line)
{
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(line.toByteArray(), &parseError);
    if (parseError.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    const QJsonObject object = document.object();

    CLIEvent event;
    const QJsonValue type = object.value(QLatin1String("type"));
    if (!type.isString())
        return std::nullopt;
    event.type = type.toString();

    if (!JsonFields::readOptionalText(object, QLatin1String("message"), event.message)
        || !JsonFields::readOptionalText(object, QLatin1String("error"), event.error))
        return std::nullopt;
    cut(event.message);
    cut(event.error);

    const auto progress = object.constFind(QLatin1String("progress"));
    if (progress != object.constEnd() && !progress->isNull()) {
        if (!progress->isDouble())
            return std::nullopt;
        event.progress = progress->toDouble();
    }

    const auto data = object.constFind(QLatin1String("data"));
    if (data != object.constEnd() && !data->isNull()) {
        if (!data->isObject())
            return std::nullopt;
        const QJsonObject values = data->toObject();
        QMap<QString, QString> map;
        for (auto it = values.constBegin(); it != values.constEnd(); ++it) {
            if (!it->isString())
                return std::nullopt;
            map.insert(it.key(), cut(it->toString()));
        }
        event.data = std::move(map);
    }
    return event;
}

QString CLIEvent::dataValue(const QString& key) const
{
    return data ? data->value(key) : QString();
}
