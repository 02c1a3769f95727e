#include "app/trust/PresenceConfirmation.h"

#include "platform/PresenceConfirmer.h"

PresenceConfirmation::PresenceConfirmation(PresenceConfirmer& confirmer)
    : m_confirmer(&confirmer)
{
}

QCoro::Task<std::optional<PresenceError>> PresenceConfirmation::authenticate(QString reason)
{
    if (!m_confirmer)
        co_return PresenceError::failed(
            QCoreApplication::translate("PresenceConfirmer", "Presence confirmation is not available"));
    co_return co_await m_confirmer->confirm(std::move(reason));
}
