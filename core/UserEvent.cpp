#include "core/UserEvent.h"

#include <QJsonDocument>
#include <QJsonObject>

std::optional<UserEvent> UserEvent::fromFrame(const QString& frame)
{
    const QJsonDocument document = QJsonDocument::fromJson(frame.toUtf8());
    if (!document.isObject())
        return std::nullopt;
    const QJsonObject object = document.object();
    const QJsonValue type = object.value(QLatin1String("type"));
    if (!type.isString())
        return std::nullopt;

    UserEvent event;
    const QString name = type.toString();
    if (name == QLatin1String("rules_changed")) {
        event.kind = Kind::rulesChanged;
        event.version = object.value(QLatin1String("version")).toString();
    } else if (name == QLatin1String("action_pending")) {
        event.kind = Kind::actionPending;
        event.actionId = object.value(QLatin1String("actionId")).toString();
    } else if (name == QLatin1String("trust_window_changed")) {
        event.kind = Kind::trustWindowChanged;
        event.active = object.value(QLatin1String("active")).toBool(false);
    } else {
        event.kind = Kind::unknown;
        event.raw = frame;
    }
    return event;
}
