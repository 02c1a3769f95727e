#include "app/panel/ConnectionStatus.h"

#include "core/ApprovalSyncService.h"

#include <algorithm>

ConnectionStatus::ConnectionStatus(ApprovalSyncService& sync, QObject* parent)
    : QObject(parent)
    , m_sync(sync)
{
    m_countdown.setInterval(1000);
    m_backOnline.setSingleShot(true);
    m_backOnline.setInterval(backOnlineShownMs);
    connect(&m_countdown, &QTimer::timeout, this, &ConnectionStatus::changed);
    connect(&m_backOnline, &QTimer::timeout, this, &ConnectionStatus::changed);
    connect(&sync, &ApprovalSyncService::isOfflineChanged, this, &ConnectionStatus::onOfflineChanged);
    onOfflineChanged(sync.isOffline());
}

bool ConnectionStatus::isOffline() const
{
    return m_sync.isOffline();
}

QString ConnectionStatus::text() const
{
    if (m_sync.isOffline()) {
        const int seconds = (std::max(m_sync.nextFetchInMs(), 0) + 999) / 1000;
        return tr("Offline — retrying in %1 s").arg(seconds);
    }
    return m_backOnline.isActive() ? tr("Back online") : QString();
}

QString ConnectionStatus::detail() const
{
    const QString reason = m_sync.offlineReason();
    return reason.isEmpty()
        ? QString()
        : tr("Quorvane could not be reached (%1); the live connection is down too.").arg(reason);
}

void ConnectionStatus::onOfflineChanged(bool offline)
{
    if (offline) {
        m_backOnline.stop();
        m_countdown.start();
    } else if (m_countdown.isActive()) {
        m_countdown.stop();
        m_backOnline.start();
    }
    Q_EMIT changed();
}
