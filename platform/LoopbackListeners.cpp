#include "platform/LoopbackListeners.h"

#include <QFile>
#include <QHostAddress>

#include <cstring>
#include <optional>

namespace {

// The tables list every socket of the machine; a few thousand lines at most.
constexpr qint64 maximumTableSize = 16 * 1024 * 1024;
constexpr char listenState[] = "0A";

// The kernel writes each 32-bit word of an address as the number it reads in
// host byte order, so the bytes come back by copying the number into memory.
std::optional<QHostAddress> addressFromHex(const QByteArray& hex)
{
    if (hex.size() != 8 && hex.size() != 32)
        return std::nullopt;
    quint8 bytes[16] = {};
    for (qsizetype word = 0; word < hex.size() / 8; ++word) {
        bool ok = false;
        const quint32 value = hex.mid(word * 8, 8).toUInt(&ok, 16);
        if (!ok)
            return std::nullopt;
        std::memcpy(bytes + word * 4, &value, sizeof value);
    }
    if (hex.size() == 8)
        return QHostAddress(quint32(bytes[0]) << 24 | quint32(bytes[1]) << 16 | quint32(bytes[2]) << 8 | bytes[3]);
    return QHostAddress(bytes);
}

bool reachesLoopback(const QHostAddress& address)
{
    bool mapped = false;
    const quint32 v4 = address.toIPv4Address(&mapped);
    if (mapped && (v4 == 0 || (v4 >> 24) == 127))
        return true;
    return address.isLoopback() || address == QHostAddress::AnyIPv6 || address == QHostAddress::AnyIPv4;
}

} // namespace

QList<uid_t> LoopbackListeners::ownersIn(const QByteArray& table, quint16 port)
{
    QList<uid_t> owners;
    const QList<QByteArray> lines = table.split('\n');
    for (qsizetype i = 1; i < lines.size(); ++i) { // the first line names the columns
        const QList<QByteArray> fields = lines[i].simplified().split(' ');
        if (fields.size() < 8 || fields[3] != listenState)
            continue;
        const qsizetype colon = fields[1].indexOf(':');
        if (colon < 0)
            continue;
        bool portOk = false;
        bool uidOk = false;
        const uint localPort = fields[1].mid(colon + 1).toUInt(&portOk, 16);
        const uint owner = fields[7].toUInt(&uidOk);
        const std::optional<QHostAddress> address = addressFromHex(fields[1].left(colon));
        if (portOk && uidOk && localPort == port && address && reachesLoopback(*address))
            owners.append(uid_t(owner));
    }
    return owners;
}

QList<uid_t> LoopbackListeners::ownersOf(quint16 port, const QString& tableDirectory)
{
    QList<uid_t> owners;
    for (const char* name : { "tcp", "tcp6" }) {
        QFile file(tableDirectory + u'/' + QLatin1String(name));
        if (file.open(QIODevice::ReadOnly)) // a file of /proc reports no size: read to the cap
            owners += ownersIn(file.read(maximumTableSize), port);
    }
    return owners;
}
