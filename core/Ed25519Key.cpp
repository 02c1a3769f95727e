#include "core/Ed25519Key.h"

#include <openssl/evp.h>

namespace {

struct MdContextFree
{
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};
using MdContext = std::unique_ptr<EVP_MD_CTX, MdContextFree>;

struct PkeyFree
{
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
using Pkey = std::unique_ptr<EVP_PKEY, PkeyFree>;

struct PkeyContextFree
{
    void operator()(EVP_PKEY_CTX* context) const { EVP_PKEY_CTX_free(context); }
};
using PkeyContext = std::unique_ptr<EVP_PKEY_CTX, PkeyContextFree>;

const unsigned char* bytes(const QByteArray& data)
{
    return reinterpret_cast<const unsigned char*>(data.constData());
}

} // namespace

void Ed25519Key::Free::operator()(evp_pkey_st* key) const
{
    EVP_PKEY_free(key);
}

Ed25519Key::Ed25519Key(evp_pkey_st* key)
    : m_key(key, Free())
{
}

std::optional<Ed25519Key> Ed25519Key::fromSeed(const QByteArray& seed)
{
    if (seed.size() != seedSize)
        return std::nullopt;
    EVP_PKEY* key = EVP_PKEY_new_raw_private_key(EVP_PKEY_ED25519, nullptr, bytes(seed), size_t(seed.size()));
    if (!key)
        return std::nullopt;
    return Ed25519Key(key);
}

std::optional<Ed25519Key> Ed25519Key::generate()
{
    PkeyContext context(EVP_PKEY_CTX_new_id(EVP_PKEY_ED25519, nullptr));
    if (!context || EVP_PKEY_keygen_init(context.get()) != 1)
        return std::nullopt;
    EVP_PKEY* key = nullptr;
    if (EVP_PKEY_keygen(context.get(), &key) != 1 || !key)
        return std::nullopt;
    return Ed25519Key(key);
}

bool Ed25519Key::verify(const QByteArray& publicKey, const QByteArray& message, const QByteArray& signature)
{
    if (publicKey.size() != publicKeySize || signature.size() != signatureSize)
        return false;
    Pkey key(EVP_PKEY_new_raw_public_key(EVP_PKEY_ED25519, nullptr, bytes(publicKey), size_t(publicKey.size())));
    MdContext context(EVP_MD_CTX_new());
    if (!key || !context || EVP_DigestVerifyInit(context.get(), nullptr, nullptr, nullptr, key.get()) != 1)
        return false;
    return EVP_DigestVerify(context.get(), bytes(signature), size_t(signature.size()), bytes(message),
                            size_t(message.size()))
        == 1;
}

QByteArray Ed25519Key::seed() const
{
    QByteArray out(seedSize, Qt::Uninitialized);
    size_t length = size_t(out.size());
    if (EVP_PKEY_get_raw_private_key(m_key.get(), reinterpret_cast<unsigned char*>(out.data()), &length) != 1
        || length != size_t(seedSize))
        return {};
    return out;
}

QByteArray Ed25519Key::publicKey() const
{
    QByteArray out(publicKeySize, Qt::Uninitialized);
    size_t length = size_t(out.size());
    if (EVP_PKEY_get_raw_public_key(m_key.get(), reinterpret_cast<unsigned char*>(out.data()), &length) != 1
        || length != size_t(publicKeySize))
        return {};
    return out;
}

QByteArray Ed25519Key::sign(const QByteArray& message) const
{
    MdContext context(EVP_MD_CTX_new());
    if (!context || EVP_DigestSignInit(context.get(), nullptr, nullptr, nullptr, m_key.get()) != 1)
        return {};
    QByteArray signature(signatureSize, Qt::Uninitialized);
    size_t length = size_t(signature.size());
    if (EVP_DigestSign(context.get(), reinterpret_cast<unsigned char*>(signature.data()), &length, bytes(message),
                       size_t(message.size()))
            != 1
        || length != size_t(signatureSize))
        return {};
    return signature;
}
