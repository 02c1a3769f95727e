#include "PresenceConfirmer.h"

#include "PolkitPresenceConfirmer.h"
#include "StandInPresenceConfirmer.h"
#include "SystemLog.h"

std::unique_ptr<PresenceConfirmer> PresenceConfirmer::createDefault(QObject* parent)
{
#ifdef QUORVANE_DEV_OVERRIDES
    const QString name = qEnvironmentVariable("QUORVANE_PRESENCE");
    if (!name.isEmpty()) {
        if (const auto outcome = StandInPresenceConfirmer::outcomeFromName(name))
            return std::make_unique<StandInPresenceConfirmer>(*outcome, parent);
        SystemLog::write(QStringLiteral("Quorvane: ignoring QUORVANE_PRESENCE=%1 (grant, deny or cancel)").arg(name));
    }
#endif
    return std::make_unique<PolkitPresenceConfirmer>(parent);
}
