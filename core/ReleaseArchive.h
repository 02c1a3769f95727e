#pragma once

#include "core/FileDescriptor.h"

#include <QString>
#include <optional>

// A release archive (gzip-compressed tar of an installation prefix) read with
// the rules an update must obey. Only directories, regular files and symbolic
// links that stay inside the tree are accepted: hard links, devices, FIFOs,
// sockets, absolute names, ".." components and links leading out of the tree
// are refused, and so is anything reached through a link. The unpacked size is
// counted while unpacking and capped, so a small archive cannot fill the disk.
namespace ReleaseArchive {

// The file inside the signed archive that names its version.
inline constexpr char versionEntry[] = "share/quorvane/release-version";

inline constexpr qint64 maximumUnpackedBytes = qint64(1) << 30; // 1 GiB
inline constexpr qint64 unpackedBytesPerArchiveByte = 20;
inline constexpr int maximumEntries = 100000;

// The most an archive of archiveBytes may unpack to: 20 times its size, 1 GiB at most.
qint64 unpackedSizeLimit(qint64 archiveBytes);

struct Result
{
    std::optional<QString> value; // the version read, or the folder unpacked into
    QString error;                // why the archive was refused, when value is absent
};

// The version text the archive carries in versionEntry (trimmed; at most 64 bytes).
Result readVersion(const QString& archivePath);
// The same from an open archive file, read from its start: whoever checked
// the file through this descriptor reads the very same file here.
Result readVersion(int archiveFd);

// Unpacks into `destination`, an empty folder that must already exist. On a
// refusal the folder may hold part of the tree; the caller removes it.
Result unpack(const QString& archivePath, const QString& destination);
// The same from an open archive file, read from its start.
Result unpack(int archiveFd, const QString& destination);

// Opens an archive file for reading: a regular file, not through a link at
// the path; the error text otherwise (fd invalid).
FileDescriptor openArchive(const QString& archivePath, QString& error);

} // namespace ReleaseArchive
