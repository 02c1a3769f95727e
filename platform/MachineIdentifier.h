#pragma once

#include "core/MachineAuthService.h"

#include <QByteArray>
#include <QString>

#include <optional>

// The local machine identifier: a per-machine id that stays the same across
// reboots and re-installs, and that other programs cannot correlate with the raw
// machine id. It is the application-specific id derived from /etc/machine-id
// (HMAC-SHA256 keyed by the 16-byte machine id over our fixed application id,
// the first 16 bytes marked as a version 4 UUID), written as an upper-case UUID
// with dashes. Without a usable machine id it is the host name.
class MachineIdentifier
{
public:
    static constexpr char defaultMachineIdPath[] = "/etc/machine-id";

    // An empty hostName means the computer's host name.
    static QString localMachineIdentifier(const QString& machineIdPath = QString::fromLatin1(defaultMachineIdPath),
                                          const QString& hostName = QString());

    // The application-specific UUID text for a 16-byte machine id.
    static QString appSpecificId(const QByteArray& machineId);

    // The 16 bytes of a machine-id file's content (32 hex digits, optionally
    // followed by a line break); nothing for anything else or an all-zero id.
    static std::optional<QByteArray> parseMachineId(const QByteArray& content);

    static QString hostName();

    // What registration records: this identifier and the host name.
    static MachineAuthService::LocalMachine localMachine();

    // Our fixed application id, the HMAC's message.
    static QByteArray applicationId();
};
