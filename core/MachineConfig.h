#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// The machine's identity as registered with the back-end, stored as one JSON
// object in ~/.quorvane/machine/machine.json with the keys "id", "user_id",
// "machine_id_local" and "name".
struct MachineConfig
{
    QString id;             // assigned by the back-end; sent as X-Machine-Id
    QString userId;         // the account that registered the machine
    QString machineIdLocal; // the local machine identifier; the key item's account
    QString name;           // the host name at registration

    // All four keys are required and must be strings; other keys are ignored.
    static std::optional<MachineConfig> decode(const QByteArray& json);
    // Compact JSON of the four keys.
    QByteArray encode() const;

    friend bool operator==(const MachineConfig&, const MachineConfig&) = default;
};
