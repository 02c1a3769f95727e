#include "platform/SecretServiceCredentialStore.h"

#include "core/LogCategories.h"

#include <libsecret/secret.h>

#include <memory>
#include <optional>
#include <vector>

namespace {

const SecretSchema* credentialSchema()
{
    // Created once and kept for the life of the process.
    static const SecretSchema* schema = secret_schema_new(
        SecretServiceCredentialStore::schemaName, SECRET_SCHEMA_NONE, "service", SECRET_SCHEMA_ATTRIBUTE_STRING,
        "account", SECRET_SCHEMA_ATTRIBUTE_STRING, "access-group", SECRET_SCHEMA_ATTRIBUTE_STRING, nullptr);
    return schema;
}

// The attribute table of a query; it points into the UTF-8 copies it keeps.
// With an account it names one item; without, every account of the service.
class Attributes
{
public:
    Attributes(const QString& service, const QString& accessGroup, const std::optional<QString>& account)
        : m_table(g_hash_table_new(g_str_hash, g_str_equal))
    {
        insert("service", service);
        if (account)
            insert("account", *account);
        insert("access-group", accessGroup);
    }
    ~Attributes() { g_hash_table_unref(m_table); }
    Attributes(const Attributes&) = delete;
    Attributes& operator=(const Attributes&) = delete;

    GHashTable* table() const { return m_table; }

private:
    void insert(const char* name, const QString& value)
    {
        m_values.push_back(value.toUtf8());
        g_hash_table_insert(m_table, const_cast<char*>(name), const_cast<char*>(m_values.back().constData()));
    }

    GHashTable* m_table;
    std::vector<QByteArray> m_values;
};

struct ErrorFree
{
    void operator()(GError* error) const { g_error_free(error); }
};
using Error = std::unique_ptr<GError, ErrorFree>;

struct ValueUnref
{
    void operator()(SecretValue* value) const { secret_value_unref(value); }
};
using Value = std::unique_ptr<SecretValue, ValueUnref>;

void logFailure(const char* operation, const QString& account, const GError* error)
{
    qCWarning(lcPlatform).noquote() << QStringLiteral("Quorvane: Secret Service %1 failed for account %2: %3")
                                           .arg(QLatin1String(operation), account,
                                                error ? QString::fromUtf8(error->message) : QStringLiteral("unknown error"));
}

int statusOf(const GError* error)
{
    return error && error->code != 0 ? error->code : CredentialStore::genericFailure;
}

} // namespace

QString SecretServiceCredentialStore::itemLabel(const QString& account)
{
    return QStringLiteral("Quorvane machine key (%1)").arg(account);
}

std::optional<QByteArray> SecretServiceCredentialStore::read(const QString& service, const QString& account,
                                                             const QString& accessGroup)
{
    const Attributes attributes(service, accessGroup, account);
    GError* rawError = nullptr;
    Value value(secret_password_lookupv_binary_sync(credentialSchema(), attributes.table(), nullptr, &rawError));
    Error error(rawError);
    if (error) {
        logFailure("read", account, error.get());
        return std::nullopt;
    }
    if (!value)
        return std::nullopt; // no such item
    gsize length = 0;
    const gchar* data = secret_value_get(value.get(), &length);
    return QByteArray(data, qsizetype(length));
}

int SecretServiceCredentialStore::add(const QString& service, const QString& account, const QString& accessGroup,
                                      const QByteArray& secret)
{
    remove(service, account, accessGroup);

    const Attributes attributes(service, accessGroup, account);
    Value value(secret_value_new(secret.constData(), gssize(secret.size()), "text/plain"));
    GError* rawError = nullptr;
    const gboolean stored
        = secret_password_storev_binary_sync(credentialSchema(), attributes.table(), SECRET_COLLECTION_DEFAULT,
                                             itemLabel(account).toUtf8().constData(), value.get(), nullptr, &rawError);
    Error error(rawError);
    if (stored && !error)
        return success;
    logFailure("add", account, error.get());
    return statusOf(error.get());
}

void SecretServiceCredentialStore::remove(const QString& service, const QString& account,
                                          const QString& accessGroup)
{
    const Attributes attributes(service, accessGroup, account);
    GError* rawError = nullptr;
    secret_password_clearv_sync(credentialSchema(), attributes.table(), nullptr, &rawError);
    Error error(rawError);
    if (error)
        logFailure("delete", account, error.get());
}

void SecretServiceCredentialStore::removeAll(const QString& service, const QString& accessGroup)
{
    // Without the account attribute the match covers every account of the service.
    const Attributes attributes(service, accessGroup, std::nullopt);
    GError* rawError = nullptr;
    secret_password_clearv_sync(credentialSchema(), attributes.table(), nullptr, &rawError);
    Error error(rawError);
    if (error)
        logFailure("delete", QStringLiteral("(all)"), error.get());
}
