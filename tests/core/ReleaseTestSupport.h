#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// Installation trees and release archives for the self-update tests.
namespace ReleaseTestSupport {

inline const QString versionFile = QStringLiteral("/share/quorvane/release-version");

QByteArray readFile(const QString& path);

// The helper as built: <build>/libexec/quorvane/quorvane-updater.
QString builtUpdater();

// An installation tree: a program that writes its version into `marker` when
// started, the version file, a file only this version has, and the updater.
bool makeTree(const QString& root, const QString& version, const QString& marker, bool withProgram = true);

// The tree packed with GNU tar, entries relative to the prefix.
QByteArray packTree(const QString& root);

// One member of a hand-made archive.
struct Entry
{
    enum class Type { file, directory, symlink, hardlink, fifo, characterDevice };
    Type type = Type::file;
    QByteArray name;
    QByteArray content;   // file: the bytes; links: the target
    qint64 zeroBytes = 0; // file: this many zero bytes after content
    int mode = 0644;
};

// A gzip-compressed tar of exactly these members, in this order.
QByteArray writeArchive(const QList<Entry>& entries);

// The members of a tree as a release archive would list them, in name order
// (files, folders and links), for building a hand-made variant of it.
QList<Entry> entriesOf(const QString& root);

// The messages in ~/.quorvane/update-check.log (each line must carry the time
// prefix; others come back as "MALFORMED: <line>").
QStringList logMessages();

// Everything directly inside a folder, hidden names included.
QStringList folderEntries(const QString& path);

} // namespace ReleaseTestSupport
