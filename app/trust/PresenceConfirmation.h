#pragma once

#include "platform/PresenceError.h"

#include <QCoroTask>
#include <QPointer>
#include <QString>

#include <optional>

class PresenceConfirmer;

// Asks the person at the machine to prove presence before a sensitive change.
// Stateless apart from the confirmer it asks; each call is independent.
class PresenceConfirmation
{
public:
    explicit PresenceConfirmation(PresenceConfirmer& confirmer);

    // Nothing on success; `cancelled` when the person dismissed the prompt,
    // `failed` with a text to show otherwise.
    QCoro::Task<std::optional<PresenceError>> authenticate(QString reason);

private:
    QPointer<PresenceConfirmer> m_confirmer;
};
