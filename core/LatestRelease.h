#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// The back-end's answer to the release query: the newest version, where to
// download its archive, and what to check the archive against.
struct LatestRelease
{
    QString version;
    QString url;
    std::optional<QString> sha256;    // 64 lower-case hex digits of the archive
    std::optional<QString> signature; // publisher Ed25519 signature, unpadded base64url
    std::optional<qint64> size;       // the archive's length in bytes

    // Decodes the JSON object; "version" and "url" are required texts, "sha256"
    // and "signature" optional texts, "size" an optional positive whole number
    // (null counts as absent). Any other shape fails with a description in `error`.
    static std::optional<LatestRelease> fromJson(const QByteArray& json, QString* error = nullptr);

    // The host of a URL text exactly as written (no case folding, user info and
    // port left out), or nothing when the text has no authority.
    static std::optional<QString> hostAsWritten(const QString& url);
};
