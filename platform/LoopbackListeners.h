#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <sys/types.h>

// Who listens on a TCP port that a connection to 127.0.0.1 reaches, read from
// the kernel's socket tables. A server on the loopback port of another user
// must not be taken for our own.
class LoopbackListeners
{
public:
    static constexpr char defaultTableDirectory[] = "/proc/net";

    // The owners of the listening sockets on port bound to a loopback or the
    // any-address, over IPv4 and IPv6; empty when none is found.
    static QList<uid_t> ownersOf(quint16 port,
                                 const QString& tableDirectory = QString::fromLatin1(defaultTableDirectory));

    // The same, from the text of one table ("tcp" or "tcp6" format).
    static QList<uid_t> ownersIn(const QByteArray& table, quint16 port);
};
