#pragma once

#include "tests/support/BackendProcess.h"
#include "platform/FileCredentialStore.h"
#include "tests/support/TestHome.h"
#include "tests/support/TestMachine.h"

#include <optional>

// The common ground of the tests that talk to the reference back-end as this
// machine: a throw-away home, the back-end on a free loopback port (the API
// origin points at it while this object lives), a file credential store in the
// home, and, unless asked otherwise, a registered machine whose identity is
// stored there. Derive a fixture from it and build MachineAuthService after it.
struct BackendMachine
{
    TestHome home;
    BackendProcess backend;
    FileCredentialStore store;
    std::optional<TestMachine> machine;

    explicit BackendMachine(bool registered = true);
    ~BackendMachine() { qunsetenv("QUORVANE_API_BASE_URL"); }
    BackendMachine(const BackendMachine&) = delete;
    BackendMachine& operator=(const BackendMachine&) = delete;

    // How many recorded requests had this method and target.
    int requestCount(const QString& method, const QString& target);
    // The recorded requests to this target, oldest first.
    QList<QJsonObject> requestsTo(const QString& target);
};
