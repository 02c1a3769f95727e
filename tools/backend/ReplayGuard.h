#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>

// Remembers the signatures the back-end accepted while they could still pass
// its clock check, so that a captured request cannot be sent a second time.
class ReplayGuard
{
public:
    // True the first time a machine's signature is seen, false for a replay.
    bool accept(const QString& machineId, const QByteArray& signature);

private:
    QHash<QByteArray, qint64> m_accepted; // machine:signature -> when accepted (ms)
};
