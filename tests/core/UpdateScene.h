#pragma once

#include "core/Ed25519Key.h"
#include "tests/support/TestHome.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>
#include <optional>

class LoopbackHttpServer;
class UpdateCheckService;

// Installation trees, release archives and the update log, for the self-update tests.
namespace UpdateScene {

inline const QString newVersion = QStringLiteral("2.0.0");
inline const QString archiveName = QStringLiteral("Quorvane-2.0.0.tar.gz");
inline const QString versionFile = QStringLiteral("/share/quorvane/release-version");

// The helper as built: <build>/libexec/quorvane/quorvane-updater.
QString builtUpdater();

// An installation tree: a program that writes its version into `marker` when started, the
// version file, a file only this version has, and the updater.
bool makeTree(const QString& root, const QString& version, const QString& marker);

// The tree packed with GNU tar, entries relative to the prefix; empty when tar fails.
QByteArray packTree(const QString& root);

// The messages in ~/.quorvane/update-check.log; a line without the time prefix comes back as
// "MALFORMED: <line>".
QStringList logMessages();

// The last message: equal, or starting so when `expected` ends in "...".
bool lastMessageMatches(const QString& expected);

// A loopback port on which nothing listens.
quint16 closedPort();

// Everything directly inside a folder, hidden names included.
QStringList folderEntries(const QString& path);

// The private update folders (quorvane-update-*) in a temporary folder.
QStringList privateFolders(const QString& tempDir);

// Answers the release query with `latest`, and makes the server the program's API origin.
void announce(LoopbackHttpServer& server, const QJsonObject& latest);

// A temporary folder as TMPDIR of the service under test, no proxy, and the publisher's key.
struct Environment
{
    QTemporaryDir tempDir;
    std::optional<Ed25519Key> publisher = Ed25519Key::generate();
    bool setUp();
    QString publisherKey() const;
};

// An installation of 1.0.0 in a fresh home, and a 2.0.0 release archive packed from a real tree.
struct Release
{
    TestHome home;
    QTemporaryDir installParent, newTree;
    QString prefix = installParent.filePath(QStringLiteral("quorvane"));
    QString marker = home.filePath(QStringLiteral("started"));
    QByteArray archive;
    int terminated = 0;
    std::function<void()> onTerminate;

    // `inside` is the version packed into the archive; empty: none.
    bool make(const QString& inside = newVersion);
    // The announcement of this archive at `url`, with its digest and the signer's signature.
    QJsonObject latest(const QString& url, const Ed25519Key& signer) const;
    // The service set up for this installation, started, having seen the release.
    bool start(UpdateCheckService& service, const QString& publisherKey,
        const QString& host = QStringLiteral("127.0.0.1"));
    // Nothing installed, nothing left behind, the program keeps running.
    bool untouched(const QString& tempDir);
};

} // namespace UpdateScene
