#pragma once

#include "core/CredentialStore.h"

#include <memory>

// Chooses the credential store of the process: the Secret Service, or, only in
// builds with the dev overrides and when QUORVANE_CREDENTIAL_STORE=file, the
// private JSON file under the (test) home.
class CredentialStoreFactory
{
public:
    static std::unique_ptr<CredentialStore> create();
};
