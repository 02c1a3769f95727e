#pragma once

#include "core/Ed25519Key.h"

#include <QByteArray>
#include <QString>

#include <optional>

// Cuts a release: packs an installation prefix, plus the version file
// share/quorvane/release-version, into "Quorvane-<version>.tar.gz", signs the
// archive bytes with the publisher's Ed25519 key and writes the release
// metadata latest.json (with the archive's size) next to it.
namespace ReleaseTool {

struct PackOptions
{
    QString inputDirectory;  // an installation prefix holding bin/quorvane-app
    QString version;         // e.g. "1.4.0"
    QString keyPath;         // the publisher's private key file
    QString outputDirectory; // receives the archive and latest.json
    QString baseUrl;         // the archive's URL is baseUrl + "/" + archive name
};

struct PackResult
{
    QString archivePath;
    QString metadataPath;
    QByteArray metadata; // the latest.json text
};

// The private key in a key file: the 32-byte seed as unpadded base64url text
// (what `keygen` writes), or a PKCS#8 PEM Ed25519 key.
std::optional<Ed25519Key> readPrivateKey(const QString& path, QString* error);

// Writes a new seed to `path` (created, mode 0600; an existing file is never
// overwritten) and returns the key.
std::optional<Ed25519Key> writeNewPrivateKey(const QString& path, QString* error);

// Whether a version may name a release archive: letters, digits, '.', '-',
// '+', '_', starting with a letter or digit.
bool isValidVersion(const QString& version);

std::optional<PackResult> pack(const PackOptions& options, QString* error);

} // namespace ReleaseTool
