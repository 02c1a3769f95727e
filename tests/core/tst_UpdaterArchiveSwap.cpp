#include "core/CoreConstants.h"
#include "core/Ed25519Key.h"
#include "core/ReleaseSignature.h"
#include "tests/core/ReleaseTestSupport.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestHome.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>

using namespace ReleaseTestSupport;

// The updater checks the archive and unpacks it through one open file: an
// unsigned archive put at the path once the signature is verified (a process
// of the same person could do that) is never installed. The updater, a real
// process, pauses itself right after the check so that the test can swap the
// file, then goes on.
class TestUpdaterArchiveSwap : public QObject
{
    Q_OBJECT

    static char processState(qint64 pid)
    {
        const QByteArray stat = TestFiles::contentOf(QStringLiteral("/proc/%1/stat").arg(pid));
        const qsizetype close = stat.lastIndexOf(')');
        return close < 0 || close + 2 >= stat.size() ? '?' : stat.at(close + 2);
    }

private Q_SLOTS:
    void swappedArchiveIsNotInstalled()
    {
        QVERIFY2(QFileInfo(builtUpdater()).isExecutable(), qPrintable(builtUpdater()));
        const std::optional<Ed25519Key> publisher = Ed25519Key::generate();
        QVERIFY(publisher);
        TestHome home;
        QTemporaryDir parent;
        const QString prefix = parent.filePath(QStringLiteral("quorvane"));
        const QString marker = home.filePath(QStringLiteral("started"));
        QVERIFY(makeTree(prefix, QStringLiteral("1.0.0"), marker));

        QTemporaryDir signedTree;
        QVERIFY(makeTree(signedTree.path(), QStringLiteral("2.0.0"), marker));
        const QByteArray signedArchive = packTree(signedTree.path());
        QTemporaryDir otherTree;
        QVERIFY(makeTree(otherTree.path(), QStringLiteral("2.0.0"), marker));
        QVERIFY(TestFiles::write(
            otherTree.filePath(QStringLiteral("share/quorvane/unsigned.txt")), "not signed"));
        const QByteArray unsignedArchive = packTree(otherTree.path());
        QVERIFY(!signedArchive.isEmpty() && !unsignedArchive.isEmpty());

        QTemporaryDir work(parent.filePath(QStringLiteral("work-XXXXXX")));
        work.setAutoRemove(false);
        const QString archivePath = work.filePath(QStringLiteral("Quorvane.tar.gz"));
        QVERIFY(TestFiles::write(archivePath, signedArchive));
        QProcess updater;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QUORVANE_UPDATER_PAUSE_AT"), QStringLiteral("verified"));
        updater.setProcessEnvironment(environment);
        // A process id that no process has: the program is gone already.
        updater.start(prefix + QStringLiteral("/libexec/quorvane/quorvane-updater"),
            { QStringLiteral("--wait-pid"), QStringLiteral("999999999"), QStringLiteral("--archive"),
                archivePath, QStringLiteral("--signature"),
                ReleaseSignature::encodeBase64Url(publisher->sign(signedArchive)),
                QStringLiteral("--public-key"), ReleaseSignature::encodeBase64Url(publisher->publicKey()),
                QStringLiteral("--version"), QStringLiteral("2.0.0"), QStringLiteral("--installed-version"),
                QStringLiteral("1.0.0"), QStringLiteral("--prefix"), prefix, QStringLiteral("--work-dir"),
                work.path(), QStringLiteral("--log"), CoreConstants::updateCheckLogPath() });
        QVERIFY(updater.waitForStarted());
        QTRY_COMPARE_WITH_TIMEOUT(processState(updater.processId()), 'T', 30000);
        QVERIFY(logMessages().contains(QStringLiteral("updater: publisher signature verified")));

        // The path now names another archive, renamed into place.
        const QString swapped = work.filePath(QStringLiteral("swapped.tar.gz"));
        QVERIFY(TestFiles::write(swapped, unsignedArchive));
        QVERIFY(::rename(QFile::encodeName(swapped).constData(), QFile::encodeName(archivePath).constData())
            == 0);
        QCOMPARE(::kill(pid_t(updater.processId()), SIGCONT), 0);
        QTRY_COMPARE_WITH_TIMEOUT(updater.state(), QProcess::NotRunning, 60000);
        QCOMPARE(updater.exitCode(), 0);

        // What was verified is what was installed.
        QCOMPARE(readFile(prefix + versionFile).trimmed(), QByteArray("2.0.0"));
        QVERIFY(!QFile::exists(prefix + QStringLiteral("/share/quorvane/unsigned.txt")));
        QTRY_COMPARE_WITH_TIMEOUT(readFile(marker).trimmed(), QByteArray("2.0.0"), 10000);
    }
};

QTEST_GUILESS_MAIN(TestUpdaterArchiveSwap)
#include "tst_UpdaterArchiveSwap.moc"
