#include "core/PendingActionsResponse.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

std::optional<PendingActionsResponse> PendingActionsResponse::fromJson(const QByteArray& body, QString* error)
{
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(body, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        if (error)
            *error = QStringLiteral("not JSON: ") + parseError.errorString();
        return std::nullopt;
    }
    if (!document.isObject()) {
        if (error)
            *error = QStringLiteral("not an object");
        return std::nullopt;
    }
    return fromJson(document.object(), error);
}

std::optional<PendingActionsResponse> PendingActionsResponse::fromJson(const QJsonObject& object, QString* error)
{
    const QJsonValue actionsValue = object.value(QLatin1String("actions"));
    if (!actionsValue.isArray()) {
        if (error)
            *error = actionsValue.isUndefined() ? QStringLiteral("actions: missing")
                                                : QStringLiteral("actions: not a list");
        return std::nullopt;
    }
    const QJsonArray array = actionsValue.toArray();
    PendingActionsResponse response;
    response.actions.reserve(array.size());
    qsizetype index = 0;
    for (const QJsonValue element : array) {
        QString reason;
        std::optional<PendingAction> action = PendingAction::fromJson(element, error ? &reason : nullptr);
        if (!action) {
            if (error)
                *error = QStringLiteral("actions[") + QString::number(index) + QStringLiteral("]: ") + reason;
            return std::nullopt;
        }
        response.actions.append(std::move(*action));
        ++index;
    }
    return response;
}
