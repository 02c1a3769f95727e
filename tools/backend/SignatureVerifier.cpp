#include "tools/backend/SignatureVerifier.h"

#include <openssl/evp.h>

#include <memory>

namespace {

struct PkeyDeleter
{
    void operator()(EVP_PKEY* p) const { EVP_PKEY_free(p); }
};
struct MdCtxDeleter
{
    void operator()(EVP_MD_CTX* p) const { EVP_MD_CTX_free(p); }
};

bool allDigits(QByteArrayView s)
{
    if (s.isEmpty() || s.size() > 19)
        return false;
    for (char c : s) {
        if (c < '0' || c > '9')
            return false;
    }
    return true;
}

} // namespace

bool SignatureVerifier::verifyEd25519(const QByteArray& publicKey, const QByteArray& message, const QByteArray& signature)
{
    if (publicKey.size() != 32 || signature.size() != 64)
        return false;
    std::unique_ptr<EVP_PKEY, PkeyDeleter> key(EVP_PKEY_new_raw_public_key(
        EVP_PKEY_ED25519, nullptr, reinterpret_cast<const unsigned char*>(publicKey.constData()), 32));
    if (!key)
        return false;
    std::unique_ptr<EVP_MD_CTX, MdCtxDeleter> ctx(EVP_MD_CTX_new());
    if (!ctx || EVP_DigestVerifyInit(ctx.get(), nullptr, nullptr, nullptr, key.get()) != 1)
        return false;
    return EVP_DigestVerify(ctx.get(), reinterpret_cast<const unsigned char*>(signature.constData()), 64,
                            reinterpret_cast<const unsigned char*>(message.constData()), size_t(message.size()))
        == 1;
}

std::optional<QByteArray> SignatureVerifier::decodeBase64Url(const QByteArray& text)
{
    QByteArray trimmed = text;
    while (trimmed.endsWith('='))
        trimmed.chop(1);
    for (char c : std::as_const(trimmed)) {
        const bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-'
            || c == '_';
        if (!ok)
            return std::nullopt;
    }
    if (trimmed.size() % 4 == 1)
        return std::nullopt;
    auto decoded = QByteArray::fromBase64Encoding(
        trimmed, QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals
            | QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded)
        return std::nullopt;
    return *decoded;
}

SignatureVerifier::Check SignatureVerifier::check(const BackendRequest& request, const KeyLookup& keyOf, qint64 nowMs)
{
    Check result;
    const QByteArray machineHeader = request.header("X-Machine-Id");
    const QByteArray signatureHeader = request.header("X-Signature");
    const QByteArray message = request.header("X-Signed-Message");
    result.machineId = QString::fromUtf8(machineHeader);
    if (machineHeader.isEmpty() || !request.hasHeader("X-Signature") || !request.hasHeader("X-Signed-Message")) {
        result.reason = QStringLiteral("missing signature headers");
        return result;
    }

    // "<machine id>:<timestamp>:<rest>"
    const QByteArray prefix = machineHeader + ':';
    if (!message.startsWith(prefix)) {
        result.reason = QStringLiteral("signed message does not name the machine");
        return result;
    }
    const qsizetype tsEnd = message.indexOf(':', prefix.size());
    if (tsEnd < 0) {
        result.reason = QStringLiteral("malformed signed message");
        return result;
    }
    const QByteArrayView tsText = QByteArrayView(message).sliced(prefix.size(), tsEnd - prefix.size());
    if (!allDigits(tsText)) {
        result.reason = QStringLiteral("malformed timestamp");
        return result;
    }
    bool tsOk = false;
    const qint64 ts = tsText.toByteArray().toLongLong(&tsOk);
    if (!tsOk || ts < nowMs - maxClockSkewMs || ts > nowMs + maxClockSkewMs) {
        result.reason = QStringLiteral("timestamp out of range");
        return result;
    }
    const QByteArray rest = message.mid(tsEnd + 1);

    if (request.method == "GET" || request.method == "DELETE") {
        const QByteArray path = request.rawPath();
        QByteArray decodedPath = QByteArray::fromPercentEncoding(path);
        QList<QByteArray> targets;
        if (request.hasQuery()) {
            targets << decodedPath + '?' + request.rawQuery()
                    << decodedPath + '?' + QByteArray::fromPercentEncoding(request.rawQuery());
        } else {
            targets << decodedPath;
        }
        bool matched = false;
        for (const QByteArray& t : std::as_const(targets))
            matched = matched || rest == request.method + ' ' + t;
        if (!matched) {
            result.reason = QStringLiteral("signed message does not match the request");
            return result;
        }
    } else if (request.method == "POST" || request.method == "PUT") {
        if (rest != request.body) {
            result.reason = QStringLiteral("signed message does not match the body");
            return result;
        }
    } else {
        result.reason = QStringLiteral("method cannot be signed");
        return result;
    }

    const std::optional<QByteArray> signature = decodeBase64Url(signatureHeader);
    if (!signature || signature->size() != 64) {
        result.reason = QStringLiteral("malformed signature");
        return result;
    }
    const std::optional<QByteArray> key = keyOf(result.machineId);
    if (!key) {
        result.reason = QStringLiteral("unknown machine");
        return result;
    }
    if (!verifyEd25519(*key, message, *signature)) {
        result.reason = QStringLiteral("bad signature");
        return result;
    }
    result.ok = true;
    return result;
}
