#include "BiometricService.h"

#include "PresenceConfirmer.h"

BiometricService::BiometricService(PresenceConfirmer& confirmer)
    : m_confirmer(&confirmer)
{
}

QCoro::Task<std::optional<BiometricError>> BiometricService::authenticate(QString reason)
{
    if (!m_confirmer)
        co_return BiometricError::failed(
            QCoreApplication::translate("PresenceConfirmer", "Presence confirmation is not available"));
    co_return co_await m_confirmer->confirm(std::move(reason));
}
