#include "tools/backend/ControlAccess.h"

#include <QHostAddress>

bool ControlAccess::isAllowedPeer(const QHostAddress& peer)
{
    if (peer.isNull())
        return false;
    bool isV4 = false;
    const quint32 v4 = peer.toIPv4Address(&isV4); // also unwraps ::ffff:a.b.c.d
    if (isV4)
        return (v4 >> 24) == 127;
    return peer.protocol() == QAbstractSocket::IPv6Protocol && peer.isEqual(QHostAddress::LocalHostIPv6, QHostAddress::StrictConversion);
}
