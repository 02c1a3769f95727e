#include "platform/StandInPresenceConfirmer.h"

StandInPresenceConfirmer::StandInPresenceConfirmer(Outcome outcome, QObject* parent)
    : PresenceConfirmer(parent)
    , m_outcome(outcome)
{
}

std::optional<StandInPresenceConfirmer::Outcome> StandInPresenceConfirmer::outcomeFromName(const QString& name)
{
    if (name == QLatin1String("grant"))
        return Outcome::Grant;
    if (name == QLatin1String("deny"))
        return Outcome::Deny;
    if (name == QLatin1String("cancel"))
        return Outcome::Cancel;
    return std::nullopt;
}

QCoro::Task<std::optional<PresenceError>> StandInPresenceConfirmer::confirm(QString reason)
{
    ++m_calls;
    m_lastReason = reason;
    switch (m_outcome) {
    case Outcome::Grant:
        co_return std::nullopt;
    case Outcome::Cancel:
        co_return PresenceError::cancelled();
    case Outcome::Deny:
        break;
    }
    co_return PresenceError::failed(
        QCoreApplication::translate("PresenceConfirmer", "Authentication failed"));
}
