#include "tests/core/UpdateScene.h"

#include "core/CoreConstants.h"
#include "core/ReleaseSignature.h"
#include "core/UpdateCheckService.h"
#include "tests/support/LoopbackHttpServer.h"
#include "tests/support/PackedTree.h"
#include "tests/support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QNetworkProxy>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTest>

using namespace Qt::StringLiterals;

namespace UpdateScene {

QString builtUpdater()
{
    return qEnvironmentVariable("QUORVANE_BUILD_DIR") + u"/libexec/quorvane/quorvane-updater"_s;
}

bool makeTree(const QString& root, const QString& version, const QString& marker)
{
    const QByteArray program = "echo \"" + version.toUtf8() + "\" > '" + QFile::encodeName(marker) + "'\n";
    const QString updater = root + u"/libexec/quorvane/quorvane-updater"_s;
    return TestFiles::writeShellScript(root + u"/bin/quorvane-app"_s, program)
        && TestFiles::write(root + versionFile, version.toUtf8() + '\n', 0644)
        && TestFiles::write(root + u"/share/quorvane/only-"_s + version + u".txt"_s, "x", 0644)
        && QDir().mkpath(QFileInfo(updater).absolutePath()) && QFile::copy(builtUpdater(), updater);
}

QByteArray packTree(const QString& root)
{
    QTemporaryDir out;
    const QString path = out.filePath(u"a.tar.gz"_s);
    return ::packTree(root, path) ? TestFiles::contentOf(path) : QByteArray();
}

QStringList logMessages()
{
    static const QRegularExpression format(u"^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\dZ (.*)$"_s);
    QStringList messages;
    const QString text = QString::fromUtf8(TestFiles::contentOf(CoreConstants::updateCheckLogPath()));
    for (const QString& line : text.split(u'\n', Qt::SkipEmptyParts)) {
        const QRegularExpressionMatch match = format.match(line);
        messages.append(match.hasMatch() ? match.captured(1) : u"MALFORMED: "_s + line);
    }
    return messages;
}

bool lastMessageMatches(const QString& expected)
{
    const QStringList messages = logMessages();
    const QString last = messages.isEmpty() ? QString() : messages.constLast();
    if (!expected.endsWith("..."_L1))
        return last == expected;
    return last.startsWith(expected.chopped(3)) && last.size() > expected.size() - 3;
}

quint16 closedPort()
{
    QTcpServer closed;
    return closed.listen(QHostAddress::LocalHost) ? closed.serverPort() : 0;
}

QStringList folderEntries(const QString& path)
{
    return QDir(path).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
}

QStringList privateFolders(const QString& tempDir)
{
    return QDir(tempDir).entryList({ u"quorvane-update-*"_s }, QDir::Dirs | QDir::Hidden);
}

void announce(LoopbackHttpServer& server, const QJsonObject& latest)
{
    server.setResponse(u"/releases/latest"_s, { "200 OK", QJsonDocument(latest).toJson() });
    qputenv("QUORVANE_API_BASE_URL", server.origin().toUtf8());
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

QJsonObject Release::latest(const QString& url, const Ed25519Key& signer) const
{
    return { { u"version"_s, newVersion }, { u"url"_s, url },
        { u"sha256"_s, ReleaseSignature::sha256Hex(archive) },
        { u"signature"_s, ReleaseSignature::encodeBase64Url(signer.sign(archive)) } };
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
    return TestFiles::contentOf(prefix + versionFile) == "1.0.0\n" && !QFile::exists(marker)
        && privateFolders(tempDir).isEmpty()
        && folderEntries(installParent.path()) == QStringList { u"quorvane"_s } && terminated == 0;
}

} // namespace UpdateScene
