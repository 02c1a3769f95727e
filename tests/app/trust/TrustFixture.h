#pragma once

#include "app/trust/PresenceConfirmation.h"
#include "app/trust/TrustWindowState.h"
#include "core/ApprovalSyncService.h"
#include "core/MachineAuthService.h"
#include "platform/StandInPresenceConfirmer.h"
#include "tests/support/BackendMachine.h"

#include <QJsonObject>
#include <QNetworkAccessManager>
#include <memory>

// The trust window model of a machine (registered unless asked otherwise)
// against the reference back-end, with a presence check that grants and a
// clock of whole seconds that stands still unless the test moves it.
struct TrustFixture : BackendMachine
{
    MachineAuthService auth { store };
    QNetworkAccessManager network;
    StandInPresenceConfirmer confirmer { StandInPresenceConfirmer::Outcome::Grant };
    PresenceConfirmation biometric { confirmer };
    QDateTime clock = wholeSeconds(QDateTime::currentDateTimeUtc());
    std::unique_ptr<ApprovalSyncService> sync;
    std::unique_ptr<TrustWindowState> state;

    explicit TrustFixture(bool registered = true)
        : BackendMachine(registered)
    {
        auth.reload();
        sync = std::make_unique<ApprovalSyncService>(auth, network);
        sync->setPollInterval(60 * 60 * 1000);
        state = std::make_unique<TrustWindowState>(
            auth, network, biometric, sync.get(), [this] { return clock; });
        backend.clearRequests();
    }

    static QDateTime wholeSeconds(const QDateTime& time) { return time.addMSecs(-time.time().msec()); }
    QList<QJsonObject> trustRequests() { return requestsTo(u"/trust-window"_qs); }
};
