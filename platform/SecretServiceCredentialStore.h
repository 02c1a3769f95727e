#pragma once

#include "core/CredentialStore.h"

// The credential store of the desktop session: items of the freedesktop Secret
// Service (gnome-keyring, KWallet's service, KeePassXC...) in the default
// collection, under the schema "org.quorvane.Credential" with the string
// attributes "service", "account" and "access-group". The secret is stored with
// the content type "text/plain". docs/credential-store.md describes the layout
// for other programs that read the same items.
class SecretServiceCredentialStore : public CredentialStore
{
public:
    static constexpr char schemaName[] = "org.quorvane.Credential";

    SecretServiceCredentialStore() = default;

    std::optional<QByteArray> read(const QString& service, const QString& account,
                                   const QString& accessGroup) override;
    int add(const QString& service, const QString& account, const QString& accessGroup,
            const QByteArray& secret) override;
    void remove(const QString& service, const QString& account, const QString& accessGroup) override;
    void removeAll(const QString& service, const QString& accessGroup) override;

    // The label an item is given: "Quorvane machine key (<account>)".
    static QString itemLabel(const QString& account);
};
