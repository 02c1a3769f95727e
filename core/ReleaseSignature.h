#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <optional>

// Checks that a release archive comes from the publisher: an Ed25519
// signature (RFC 8032, over the archive bytes) against the publisher key that
// is pinned into the build, plus the archive's SHA-256 digest as announced.
namespace ReleaseSignature {

inline constexpr int publicKeySize = 32;
inline constexpr int signatureSize = 64;

// Unpadded base64url text of exactly `size` bytes, in its canonical form;
// nothing for anything else (padding, stray characters, other lengths).
std::optional<QByteArray> decodeBase64Url(QStringView text, qsizetype size);
QString encodeBase64Url(const QByteArray& bytes);

// Whether `signature` (64 raw bytes) is the publisher's signature of
// `message` under `publicKey` (32 raw bytes).
bool verify(const QByteArray& publicKey, QByteArrayView message, const QByteArray& signature);

// Same, with the key and the signature in their base64url text forms.
bool verifyText(QStringView publicKey, QByteArrayView message, QStringView signature);

// SHA-256 as 64 lower-case hexadecimal digits.
QString sha256Hex(QByteArrayView bytes);

} // namespace ReleaseSignature
