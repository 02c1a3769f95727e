#include "platform/PresenceConfirmer.h"

#include "platform/PolkitPresenceConfirmer.h"
#include "platform/StandInPresenceConfirmer.h"
#include "core/LogCategories.h"

std::unique_ptr<PresenceConfirmer> PresenceConfirmer::createDefault(QObject* parent)
{
#ifdef QUORVANE_DEV_OVERRIDES
    const QString name = qEnvironmentVariable("QUORVANE_PRESENCE");
    if (!name.isEmpty()) {
        if (const auto outcome = StandInPresenceConfirmer::outcomeFromName(name))
            return std::make_unique<StandInPresenceConfirmer>(*outcome, parent);
        qCWarning(lcTrust).noquote()
            << QStringLiteral("Quorvane: ignoring QUORVANE_PRESENCE=%1 (grant, deny or cancel)").arg(name);
    }
#endif
    return std::make_unique<PolkitPresenceConfirmer>(parent);
}
