#pragma once

#include "core/CoreConstants.h"
#include "core/MachineAuthService.h"
#include "tests/core/MemoryCredentialStore.h"
#include "tests/support/TestHome.h"

#include <QByteArray>
#include <QUrl>
#include <chrono>
#include <memory>
#include <openssl/evp.h>

// A known identity for the machine-identity tests, an independent verifier and the
// home and store of a configured machine.

// RFC 8032 TEST 1: a key with a known public half.
inline const QByteArray testSeed
    = QByteArray::fromHex("9d61b19deffd5a60ba844af492ec2cc44449c5697b326919703bac031cae7f60");
inline const QByteArray testPublicKey
    = QByteArray::fromHex("d75a980182b10ab7d54bfed3c964073a0ee172f3daa62325af021a68f707511a");
inline const QByteArray validConfig(
    R"({"id":"m-1","user_id":"u-7","machine_id_local":"LOCAL-1","name":"desk"})");
inline const QUrl pendingUrl(QStringLiteral("https://api.example.com/actions/pending"));

// 1700000000987.6 ms after the epoch.
inline std::chrono::system_clock::time_point testTime()
{
    return std::chrono::system_clock::time_point(
        std::chrono::duration_cast<std::chrono::system_clock::duration>(
            std::chrono::nanoseconds(1700000000987600000LL)));
}

inline QByteArray urlSafe(const QByteArray& bytes)
{
    return bytes.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
}

// Verifies with OpenSSL directly, independently of Ed25519Key.
inline bool opensslVerifies(
    const QByteArray& publicKey, const QByteArray& message, const QByteArray& signature)
{
    const auto* raw = reinterpret_cast<const unsigned char*>(publicKey.constData());
    std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key(
        EVP_PKEY_new_raw_public_key(EVP_PKEY_ED25519, nullptr, raw, size_t(publicKey.size())),
        &EVP_PKEY_free);
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
    return key && context && EVP_DigestVerifyInit(context.get(), nullptr, nullptr, nullptr, key.get()) == 1
        && EVP_DigestVerify(context.get(), reinterpret_cast<const unsigned char*>(signature.constData()),
               size_t(signature.size()), reinterpret_cast<const unsigned char*>(message.constData()),
               size_t(message.size()))
        == 1;
}

inline void putKeyItem(MemoryCredentialStore& store, const QString& account, const QByteArray& value)
{
    store.add(CoreConstants::keychainService(), account, CoreConstants::keychainAccessGroup(), value);
}

inline std::optional<QByteArray> keyItem(CredentialStore& store, const QString& account)
{
    return store.read(CoreConstants::keychainService(), account, CoreConstants::keychainAccessGroup());
}

inline std::optional<SignedRequest> sign(
    const MachineAuthService& service, const QByteArray& method, const QUrl& url, const QByteArray& body)
{
    if (method == "GET")
        return service.signedGETRequest(url);
    if (method == "DELETE")
        return service.signedDELETERequest(url);
    return method == "POST" ? service.signedPOSTRequest(url, body) : service.signedPUTRequest(url, body);
}

// A home holding machine.json and a store holding the key item of LOCAL-1.
struct Configured
{
    TestHome home;
    MemoryCredentialStore store;
    explicit Configured(const QByteArray& item = urlSafe(testSeed + testPublicKey))
    {
        home.write(QStringLiteral(".quorvane/machine/machine.json"), validConfig);
        putKeyItem(store, QStringLiteral("LOCAL-1"), item);
    }
};
