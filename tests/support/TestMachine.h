#pragma once

#include "MachineConfig.h"

#include <QString>

#include <optional>

class BackendProcess;
class CredentialStore;

// A machine registered with the reference back-end whose identity (key item,
// machine.json, public-key) is stored under the current QUORVANE_HOME, as the
// registration flow would leave it.
struct TestMachine
{
    MachineConfig config;

    static std::optional<TestMachine> provision(BackendProcess& backend, CredentialStore& store,
                                                const QString& email = QStringLiteral("person@example.com"));
};
