#include "core/ReleaseSignature.h"

#include <QCryptographicHash>

#include <openssl/evp.h>

#include <memory>

namespace {

struct PkeyFree
{
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct MdCtxFree
{
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};

} // namespace

namespace ReleaseSignature {

std::optional<QByteArray> decodeBase64Url(QStringView text, qsizetype size)
{
    for (const QChar c : text) {
        const bool allowed = (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9')
                             || c == u'-' || c == u'_';
        if (!allowed)
            return std::nullopt;
    }
    const QByteArray ascii = text.toLatin1();
    const auto decoded = QByteArray::fromBase64Encoding(
        ascii, QByteArray::Base64UrlEncoding | QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded || decoded.decoded.size() != size)
        return std::nullopt;
    // Only the canonical spelling: no set bits beyond the last byte.
    if (encodeBase64Url(decoded.decoded).toLatin1() != ascii)
        return std::nullopt;
    return decoded.decoded;
}

QString encodeBase64Url(const QByteArray& bytes)
{
    return QString::fromLatin1(bytes.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals));
}

bool verify(const QByteArray& publicKey, QByteArrayView message, const QByteArray& signature)
{
    if (publicKey.size() != publicKeySize || signature.size() != signatureSize)
        return false;
    const std::unique_ptr<EVP_PKEY, PkeyFree> key(EVP_PKEY_new_raw_public_key(
        EVP_PKEY_ED25519, nullptr, reinterpret_cast<const unsigned char*>(publicKey.constData()),
        size_t(publicKey.size())));
    if (!key)
        return false;
    const std::unique_ptr<EVP_MD_CTX, MdCtxFree> context(EVP_MD_CTX_new());
    if (!context || EVP_DigestVerifyInit(context.get(), nullptr, nullptr, nullptr, key.get()) != 1)
        return false;
    // An empty message still needs a valid pointer.
    static const unsigned char empty = 0;
    const auto* data = message.isEmpty() ? &empty : reinterpret_cast<const unsigned char*>(message.data());
    return EVP_DigestVerify(context.get(), reinterpret_cast<const unsigned char*>(signature.constData()),
                            size_t(signature.size()), data, size_t(message.size()))
           == 1;
}

bool verifyText(QStringView publicKey, QByteArrayView message, QStringView signature)
{
    const std::optional<QByteArray> key = decodeBase64Url(publicKey, publicKeySize);
    const std::optional<QByteArray> raw = decodeBase64Url(signature, signatureSize);
    return key && raw && verify(*key, message, *raw);
}

QString sha256Hex(QByteArrayView bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}

} // namespace ReleaseSignature
