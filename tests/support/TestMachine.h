#pragma once

#include "core/MachineConfig.h"

#include <QString>

#include <optional>

class BackendProcess;
class CredentialStore;

// A machine registered with the reference back-end by the program's own
// registration (a new session of the account `email`), its identity (key item,
// machine.json, public-key) stored under the current QUORVANE_HOME.
struct TestMachine
{
    MachineConfig config;

    static std::optional<TestMachine> provision(BackendProcess& backend, CredentialStore& store,
                                                const QString& email = QStringLiteral("person@example.com"));
};
