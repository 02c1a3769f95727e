#pragma once

#include <QByteArray>

#include <memory>
#include <optional>

struct evp_pkey_st;

// An Ed25519 private key (RFC 8032) held by OpenSSL. Copies share the same
// underlying key; the handle is freed with the last copy.
class Ed25519Key
{
public:
    static constexpr int seedSize = 32;
    static constexpr int publicKeySize = 32;
    static constexpr int signatureSize = 64;

    // The key whose raw private representation is the 32-byte seed; nothing for
    // any other length or when the library refuses the bytes.
    static std::optional<Ed25519Key> fromSeed(const QByteArray& seed);
    // A new random key.
    static std::optional<Ed25519Key> generate();

    // Checks a signature against a raw 32-byte public key.
    static bool verify(const QByteArray& publicKey, const QByteArray& message, const QByteArray& signature);

    QByteArray seed() const;
    QByteArray publicKey() const;
    // The 64-byte signature of the message; empty only if the library fails.
    QByteArray sign(const QByteArray& message) const;

private:
    struct Free
    {
        void operator()(evp_pkey_st* key) const;
    };
    explicit Ed25519Key(evp_pkey_st* key);

    std::shared_ptr<evp_pkey_st> m_key;
};
