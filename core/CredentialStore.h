#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// Where the machine's private key lives: one secret per (service, account)
// pair, the access group kept with it as an attribute. The product CLI reads the
// same items, so the layout of each back end is fixed (docs/credential-store.md).
//
// The operations are synchronous; they are short and run on the main thread.
class CredentialStore
{
public:
    static constexpr int success = 0;
    // The status an implementation returns when it failed without a more precise code.
    static constexpr int genericFailure = -1;

    virtual ~CredentialStore() = default;

    // The secret of one item, or nothing when there is no such item or the
    // store cannot be read.
    virtual std::optional<QByteArray> read(const QString& service, const QString& account,
                                           const QString& accessGroup) = 0;

    // Deletes any item of (service, account, accessGroup), then adds the new
    // one. Returns `success` (0) or a non-zero status of the back end.
    virtual int add(const QString& service, const QString& account, const QString& accessGroup,
                    const QByteArray& secret) = 0;

    // Deletes the item of one account.
    virtual void remove(const QString& service, const QString& account, const QString& accessGroup) = 0;

    // Deletes the items of every account of the service in the access group.
    virtual void removeAll(const QString& service, const QString& accessGroup) = 0;

protected:
    CredentialStore() = default;
    CredentialStore(const CredentialStore&) = default;
    CredentialStore& operator=(const CredentialStore&) = default;
};
