#pragma once

#include "core/Ed25519Key.h"
#include "core/LinkError.h"
#include "core/LinkResult.h"
#include "core/MachineConfig.h"
#include "core/MachineRegistrationError.h"
#include "core/SignedRequest.h"

#include <QObject>
#include <QString>
#include <QUrl>

#include <QCoroTask>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <variant>

class CredentialStore;
class QNetworkAccessManager;

// The machine's identity (machine.json) and its Ed25519 signing key (an item of
// the credential store), loaded by reload(), and the builder of signed requests
// for every service that talks to the back-end on behalf of this machine.
//
// The composition root owns the single instance of the process; tests build
// their own with a store and a clock of their choice.
class MachineAuthService : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool isConfigured READ isConfigured NOTIFY configurationChanged)

public:
    using Clock = std::function<std::chrono::system_clock::time_point()>;
    using LinkError = ::LinkError;

    // What registration records about this computer: the local machine
    // identifier (the key item's account) and the host name.
    struct LocalMachine
    {
        QString identifier;
        QString name;
    };
    using LocalMachineLookup = std::function<LocalMachine()>;

    // Largest machine.json that is read; a larger file counts as unreadable.
    static constexpr qint64 maximumConfigSize = 1024 * 1024;
    static constexpr int requestTimeoutMilliseconds = 60 * 1000;
    // Longest part of a refusing answer's body that a registration error repeats.
    static constexpr qsizetype maximumErrorTextLength = 500;

    // Starts with no config and no key, then runs reload(). An empty clock means
    // the system clock.
    explicit MachineAuthService(CredentialStore& store, Clock clock = {}, QObject* parent = nullptr);
    // Registration and linking go through `network` (the process's one access
    // manager); `localMachine` names this computer. Without them (the constructor
    // above) the service uses an access manager of its own and the host name.
    MachineAuthService(CredentialStore& store, QNetworkAccessManager& network, LocalMachineLookup localMachine,
                       Clock clock = {}, QObject* parent = nullptr);
    ~MachineAuthService() override;

    // Reloads the config from machine.json and the key from the credential store.
    void reload();

    bool isConfigured() const { return m_config.has_value() && m_signingKey.has_value(); }
    std::optional<QString> machineId() const;
    std::optional<QString> userId() const;
    const std::optional<MachineConfig>& config() const { return m_config; }

    std::optional<SignedRequest> signedGETRequest(const QUrl& url) const;
    std::optional<SignedRequest> signedDELETERequest(const QUrl& url) const;
    std::optional<SignedRequest> signedPOSTRequest(const QUrl& url, const QByteArray& body) const;
    std::optional<SignedRequest> signedPUTRequest(const QUrl& url, const QByteArray& body) const;

    // The stored key item as text (86 characters of base64url), read afresh for
    // the account of the loaded config.
    std::optional<QString> privateKeyBase64url() const;

    // Deletes the key items of every account of the machine-key service.
    void clearKeychain();

    static QString base64urlEncode(const QByteArray& bytes);
    static std::optional<QByteArray> base64urlDecode(const QString& text);

    // The bytes a key item's value stands for: UTF-8 text of base64url. Nothing
    // when the value is not UTF-8 or not base64url.
    static std::optional<QByteArray> decodeKeyItem(const QByteArray& value);
    // The signing key from decoded key bytes: the first 32 bytes are the seed,
    // anything after them (the stored public key) is not examined.
    static std::optional<Ed25519Key> signingKeyFromKeyBytes(const QByteArray& keyBytes);

    // Stores a fresh identity: first the key item (seed followed by public key,
    // replacing any old item of that account), then the machine directory (0700),
    // machine.json and public-key (0600 from creation, written atomically).
    struct StoreResult
    {
        int keychainStatus = 0; // non-zero: the store refused the key; nothing was written to disk
        QString fileError;      // the first failure writing the machine files; the key item stays
        bool ok() const { return keychainStatus == 0 && fileError.isEmpty(); }
    };
    static StoreResult storeIdentity(CredentialStore& store, const MachineConfig& config, const Ed25519Key& key);
    // The registration error a store result stands for; nothing when it is ok.
    static std::optional<MachineRegistrationError> failureOf(const StoreResult& stored);

    // Gives this computer a new identity registered under the signed-in user's
    // web session. Returns at once when an identity of the user `email` is
    // loaded. Another user's identity (its key item, machine.json and
    // public-key) is replaced only once the new one is stored, together with
    // the key items of earlier identities; any failure leaves it loaded and
    // working. Nothing on success.
    // The session token is only sent, never stored or logged.
    QCoro::Task<std::optional<MachineRegistrationError>> registerMachine(QString sessionToken, QString email);

    // Attaches an agent, made through the product CLI, to this machine.
    QCoro::Task<std::variant<LinkResult, LinkError>> linkAgent(QString agentId);

Q_SIGNALS:
    // After every reload(), whether or not anything changed.
    void configurationChanged();

private:
    std::optional<SignedRequest> buildSignedRequest(const QUrl& url, const QByteArray& method,
                                                    const QByteArray* body) const;
    std::optional<QByteArray> readKeyBytes(const QString& account) const;
    QNetworkAccessManager& network();
    // Stores `config` and `key` in place of the loaded identity, which is put
    // back whole when storing fails.
    std::optional<MachineRegistrationError> replaceIdentity(const MachineConfig& config, const Ed25519Key& key);

    CredentialStore& m_store;
    Clock m_clock;
    QNetworkAccessManager* m_network = nullptr;
    std::unique_ptr<QNetworkAccessManager> m_ownNetwork;
    LocalMachineLookup m_localMachine;
    std::optional<MachineConfig> m_config;
    std::optional<Ed25519Key> m_signingKey;
};
