#pragma once

#include "core/Ed25519Key.h"
#include "tests/support/TestHome.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QTemporaryDir>
#include <functional>
#include <optional>

class UpdateCheckService;

// What the self-update service tests share.
namespace UpdateScene {

inline const QString newVersion = QStringLiteral("2.0.0");
inline const QString archiveName = QStringLiteral("Quorvane-2.0.0.tar.gz");

// The private update folders (quorvane-update-*) in a temporary folder.
QStringList privateFolders(const QString& tempDir);

// Writes latest.json into a folder the reference back-end serves releases from.
void writeLatest(const QString& dir, const QJsonObject& latest);

// The update log's last message: equal, or starting so when `expected` ends in "...".
bool lastMessageMatches(const QString& expected);

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
    // The service set up for this installation, started, having seen the release.
    bool start(UpdateCheckService& service, const QString& publisherKey,
        const QString& host = QStringLiteral("127.0.0.1"));
    // Nothing installed, nothing left behind, the program keeps running.
    bool untouched(const QString& tempDir);
};

} // namespace UpdateScene
