#pragma once

#include "tools/backend/BackendRequest.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <optional>

// Checks the machine signature of a request: X-Machine-Id, X-Signature
// (unpadded base64url of an Ed25519 signature) and X-Signed-Message, which must
// be "<machine id>:<ms timestamp>:GET <target>" (DELETE likewise) or
// "<machine id>:<ms timestamp>:<body>" for POST and PUT. Own code on OpenSSL,
// independent of the companion's signer.
class SignatureVerifier
{
public:
    struct Check
    {
        bool ok = false;
        QString machineId; // the claimed machine id, also on failure when present
        QString reason;    // why it was refused; empty when ok
    };

    // Looks up a machine's 32-byte public key; nullopt for an unknown machine.
    using KeyLookup = std::function<std::optional<QByteArray>(const QString& machineId)>;

    static constexpr qint64 maxClockSkewMs = 5 * 60 * 1000;

    static Check check(const BackendRequest& request, const KeyLookup& keyOf, qint64 nowMs);

    // Ed25519 (RFC 8032) verification of a 64-byte signature with a 32-byte key.
    static bool verifyEd25519(const QByteArray& publicKey, const QByteArray& message, const QByteArray& signature);

    // Strict base64url (RFC 4648 section 5); trailing "=" tolerated. nullopt on any
    // character outside the alphabet.
    static std::optional<QByteArray> decodeBase64Url(const QByteArray& text);
};
