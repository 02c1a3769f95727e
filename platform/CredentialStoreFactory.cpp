#include "platform/CredentialStoreFactory.h"

#include "platform/FileCredentialStore.h"
#include "platform/SecretServiceCredentialStore.h"
#include "core/LogCategories.h"

std::unique_ptr<CredentialStore> CredentialStoreFactory::create()
{
#ifdef QUORVANE_DEV_OVERRIDES
    if (qEnvironmentVariable("QUORVANE_CREDENTIAL_STORE") == QLatin1String("file")) {
        auto store = std::make_unique<FileCredentialStore>();
        qCInfo(lcPlatform).noquote()
            << QStringLiteral("Quorvane: using the file credential store at %1").arg(store->path());
        return store;
    }
#endif
    return std::make_unique<SecretServiceCredentialStore>();
}
