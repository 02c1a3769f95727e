#include "tools/backend/ReplayGuard.h"

#include "tools/backend/SignatureVerifier.h"

#include <QDateTime>

bool ReplayGuard::accept(const QString& machineId, const QByteArray& signature)
{
    // A timestamp passes the clock check for at most twice the allowed skew,
    // so older entries can no longer be replayed and are forgotten.
    const qint64 nowMs = QDateTime::currentMSecsSinceEpoch();
    for (auto it = m_accepted.begin(); it != m_accepted.end();) {
        if (it.value() < nowMs - 2 * SignatureVerifier::maxClockSkewMs)
            it = m_accepted.erase(it);
        else
            ++it;
    }
    const QByteArray key = machineId.toUtf8() + ':' + signature;
    if (m_accepted.contains(key))
        return false;
    m_accepted.insert(key, nowMs);
    return true;
}
