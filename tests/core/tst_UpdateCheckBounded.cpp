#include "core/BuildConfig.h"
#include "core/CoreConstants.h"
#include "core/UpdateCheckService.h"
#include "tests/support/LoopbackHttpServer.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestHome.h"

#include <QCoroTask>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

namespace {

QByteArray latest(const QString& version, qsizetype padding = 0)
{
    return "{\"version\":\"" + version.toUtf8() + "\",\"url\":\"https://releases.quorvane.com/Q.tar.gz\""
        + QByteArray(padding, ' ') + "}";
}

} // namespace

// The release query as the rest of the program's requests are: its own access
// manager, a cap on the answer, and measured against the companion's own
// version (the one its installation carries).
class TestUpdateCheckBounded : public QObject
{
    Q_OBJECT

    TestHome m_home;
    QTemporaryDir m_prefix;
    LoopbackHttpServer m_server;

    static QString lastLogLine()
    {
        const QList<QByteArray> lines
            = TestFiles::contentOf(CoreConstants::updateCheckLogPath()).trimmed().split('\n');
        return QString::fromUtf8(lines.constLast()).section(u' ', 1);
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_server.listen());
        qputenv("QUORVANE_API_BASE_URL", m_server.origin().toUtf8());
    }

    void cleanupTestCase() { qunsetenv("QUORVANE_API_BASE_URL"); }

    void answerOverTheCapIsRefused()
    {
        // The shared access manager goes through a proxy nobody runs: the
        // release query never uses it.
        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost));
        const quint16 port = closed.serverPort();
        closed.close();
        QNetworkAccessManager shared;
        shared.setProxy(QNetworkProxy(QNetworkProxy::HttpProxy, QStringLiteral("127.0.0.1"), port));
        UpdateCheckService updates(&shared);
        updates.setInstallPrefix(m_prefix.path());

        // A well-formed answer, padded past the cap.
        const QString path = QStringLiteral("/releases/latest");
        m_server.setResponse(
            path, { "200 OK", latest(QStringLiteral("9.0.0"), 2 * UpdateCheckService::maximumAnswerSize) });
        QCoro::waitFor(updates.check());
        QCOMPARE(lastLogLine(), QStringLiteral("check failed: the answer is larger than 65536 bytes"));
        QCOMPARE(updates.availableVersion(), QString());

        // Within the cap, through the query's own connection.
        m_server.setResponse(path, { "200 OK", latest(QStringLiteral("9.0.0"), 1000) });
        updates.start(QStringLiteral("1.0.0"), {});
        QTRY_COMPARE(lastLogLine(), QStringLiteral("check: remote=9.0.0 local=1.0.0 newer=true"));
        QCOMPARE(updates.availableVersion(), QStringLiteral("9.0.0"));
    }

    void measuredAgainstItsOwnVersion()
    {
        // A build tree carries no version file: the version it was built as.
        QCOMPARE(UpdateCheckService::ownVersion(m_prefix.path()), QString::fromLatin1(BuildConfig::version));
        const QString versionFile = m_prefix.filePath(QStringLiteral("share/quorvane/release-version"));
        QVERIFY(TestFiles::write(versionFile, "not a version\n"));
        QCOMPARE(UpdateCheckService::ownVersion(m_prefix.path()), QString::fromLatin1(BuildConfig::version));
        // An installation from a release archive: the version the archive carried.
        QVERIFY(TestFiles::write(versionFile, "1.1.0\n"));
        QCOMPARE(UpdateCheckService::ownVersion(m_prefix.path()), QStringLiteral("1.1.0"));

        // Right after updating to 1.1.0, the announcement of 1.1.0 is not offered
        // again; 1.2.0 is.
        QNetworkAccessManager shared;
        UpdateCheckService updates(&shared);
        updates.setInstallPrefix(m_prefix.path());
        const QString path = QStringLiteral("/releases/latest");
        m_server.setResponse(path, { "200 OK", latest(QStringLiteral("1.1.0")) });
        updates.start(updates.ownVersion(), {});
        QTRY_COMPARE(lastLogLine(), QStringLiteral("check: remote=1.1.0 local=1.1.0 newer=false"));
        QCOMPARE(updates.availableVersion(), QString());
        m_server.setResponse(path, { "200 OK", latest(QStringLiteral("1.2.0")) });
        QCoro::waitFor(updates.check());
        QCOMPARE(updates.availableVersion(), QStringLiteral("1.2.0"));
        QFile::remove(versionFile);
    }

    void packageInstallationIsKnownToTheViews()
    {
        QNetworkAccessManager shared;
        UpdateCheckService updates(&shared);
        updates.setInstallPrefix(m_prefix.path());
        QVERIFY(!updates.property("packageManaged").toBool());
        QSignalSpy changed(&updates, &UpdateCheckService::installPrefixChanged);
        updates.setInstallPrefix(QStringLiteral("/usr"));
        QCOMPARE(changed.size(), 1);
        QVERIFY(updates.property("packageManaged").toBool());
    }
};

QTEST_GUILESS_MAIN(TestUpdateCheckBounded)
#include "tst_UpdateCheckBounded.moc"
