#pragma once

#include "core/PendingAction.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

class QJsonObject;

// The body of GET /actions/pending: {"actions": [ ... ]}, in the back-end's order.
struct PendingActionsResponse
{
    QList<PendingAction> actions;

    friend bool operator==(const PendingActionsResponse&, const PendingActionsResponse&) = default;

    // Absent when the body is not a JSON object, "actions" is missing or not a
    // list, or any element fails to decode (one bad record fails the whole
    // response, so a caller keeps what it had). `error` (when given) receives
    // a short reason, e.g. "actions[3]: expires_at: missing".
    static std::optional<PendingActionsResponse> fromJson(const QByteArray& body, QString* error = nullptr);
    static std::optional<PendingActionsResponse> fromJson(const QJsonObject& object, QString* error = nullptr);
};
