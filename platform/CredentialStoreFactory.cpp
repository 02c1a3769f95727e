#include "CredentialStoreFactory.h"

#include "FileCredentialStore.h"
#include "SecretServiceCredentialStore.h"
#include "SystemLog.h"

std::unique_ptr<CredentialStore> CredentialStoreFactory::create()
{
#ifdef QUORVANE_DEV_OVERRIDES
    if (qEnvironmentVariable("QUORVANE_CREDENTIAL_STORE") == QLatin1String("file")) {
        auto store = std::make_unique<FileCredentialStore>();
        SystemLog::write(QStringLiteral("Quorvane: using the file credential store at %1").arg(store->path()));
        return store;
    }
#endif
    return std::make_unique<SecretServiceCredentialStore>();
}
