#include "tests/core/UpdateScene.h"

#include "core/ReleaseSignature.h"
#include "core/UpdateCheckService.h"
#include "tests/core/ReleaseTestSupport.h"
#include "tests/support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QNetworkProxy>
#include <QTest>

using namespace Qt::StringLiterals;

using namespace ReleaseTestSupport;

namespace UpdateScene {

QStringList privateFolders(const QString& tempDir)
{
    return QDir(tempDir).entryList({ u"quorvane-update-*"_s }, QDir::Dirs | QDir::Hidden);
}

void writeLatest(const QString& dir, const QJsonObject& latest)
{
    TestFiles::write(dir + u"/latest.json"_s, QJsonDocument(latest).toJson());
}

bool lastMessageMatches(const QString& expected)
{
    const QStringList messages = logMessages();
    const QString last = messages.isEmpty() ? QString() : messages.constLast();
    if (!expected.endsWith("..."_L1))
        return last == expected;
    return last.startsWith(expected.chopped(3)) && last.size() > expected.size() - 3;
}

bool Environment::setUp()
{
    QNetworkProxy::setApplicationProxy(QNetworkProxy::NoProxy);
    qputenv("TMPDIR", QFile::encodeName(tempDir.path()));
    return tempDir.isValid() && QDir::tempPath() == tempDir.path() && publisher
        && QFileInfo(builtUpdater()).isExecutable();
}

QString Environment::publisherKey() const
{
    return ReleaseSignature::encodeBase64Url(publisher->publicKey());
}

bool Release::make(const QString& inside)
{
    if (!makeTree(prefix, u"1.0.0"_s, marker)
        || !makeTree(newTree.path(), inside.isEmpty() ? newVersion : inside, marker))
        return false;
    if (inside.isEmpty() && !QFile::remove(newTree.path() + versionFile))
        return false;
    archive = packTree(newTree.path());
    return !archive.isEmpty();
}

bool Release::start(UpdateCheckService& service, const QString& publisherKey, const QString& host)
{
    service.setReleaseHost(host);
    service.setReleasePublicKey(publisherKey);
    service.setInstallPrefix(prefix);
    service.start(u"1.0.0"_s, [this] {
        ++terminated;
        if (onTerminate)
            onTerminate();
    });
    return QTest::qWaitFor([&] { return service.availableVersion() == newVersion; }, 20000);
}

bool Release::untouched(const QString& tempDir)
{
    // Long enough for a termination the service should not have asked for.
    QTest::qWait(int(UpdateCheckService::terminateDelay.count()) * 2);
    return readFile(prefix + versionFile) == "1.0.0\n" && !QFile::exists(marker)
        && privateFolders(tempDir).isEmpty()
        && folderEntries(installParent.path()) == QStringList { u"quorvane"_s } && terminated == 0;
}

} // namespace UpdateScene
