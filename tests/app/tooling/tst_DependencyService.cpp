#include "app/tooling/DependencyService.h"
#include "tests/app/tooling/CLIServiceFixture.h"
#include "tests/support/LoopbackHttpServer.h"
#include "tests/support/PackedTree.h"
#include "tests/support/TestFiles.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QTemporaryDir>
#include <QTest>
#include <chrono>
#include <qcorotask.h>

using namespace std::chrono_literals;

// The model runtime's download and install end to end: archives served over
// loopback HTTP, real tar, and a stand-in for pkexec that records its
// arguments and then runs the command line without privileges, into a prefix
// inside the test folder.
class TestDependencyService : public CLIServiceTestCase
{
    Q_OBJECT

    std::optional<LoopbackHttpServer> m_server;
    std::optional<QNetworkAccessManager> m_network;
    std::optional<PkexecPrivilegedRunner> m_runner;
    std::optional<CLIService> m_cli;
    QString m_prefix;
    const QString m_archivePath = u"/download/ollama-linux-amd64.tgz"_s;

    QByteArray makeArchive(bool withCommand, bool withLibraries)
    {
        const QString staging = m_dir->filePath(u"staging"_s);
        QDir(staging).removeRecursively();
        QDir().mkpath(staging + u"/share"_s);
        if (withCommand)
            writeScript(u"staging/bin/ollama"_s,
                "[ \"$1\" = list ] && printf 'NAME              ID      SIZE\\ngemma4:e4b  abc  9.6 "
                "GB\\n'\n");
        if (withLibraries)
            TestFiles::write(staging + u"/lib/ollama/cuda/libggml.so"_s, "not really a library");
        const QString archive = m_dir->filePath(u"archive.tgz"_s);
        QFile::remove(archive);
        packTree(staging, archive);
        return TestFiles::contentOf(archive);
    }
    // Points the service at the test server and prefix, with the digest of pinnedArchive pinned.
    void configure(DependencyService& service, const QByteArray& pinnedArchive) const
    {
        service.setOllamaArchiveSHA256(
            QString::fromLatin1(QCryptographicHash::hash(pinnedArchive, QCryptographicHash::Sha256).toHex()));
        service.setInstallPrefix(m_prefix);
        service.setKnownPaths({ m_prefix + u"/bin"_s });
        service.setOllamaArchiveURL(m_server->url(m_archivePath));
    }
    static QStringList filesIn(const QString& folder)
    {
        return QDir(folder).entryList(QDir::Files | QDir::Hidden);
    }

private Q_SLOTS:
    void init()
    {
        CLIServiceTestCase::init();
        m_server.emplace();
        QVERIFY(m_server->listen());
        m_network.emplace();
        m_prefix = m_dir->filePath(u"prefix"_s);
        // It does what the case wrote into "pkexec-does" first, if anything.
        const QByteArray does = QFile::encodeName(m_dir->filePath(u"pkexec-does"_s));
        m_runner.emplace(writeStandIn("[ -f '" + does + "' ] && . '" + does + "'\nexec \"$@\""));
        m_cli.emplace(&*m_runner);
    }
    void cleanup()
    {
        m_cli.reset();
        m_runner.reset();
        m_network.reset();
        m_server.reset();
        CLIServiceTestCase::cleanup();
    }

    void installEndToEnd()
    {
        const QByteArray archive = makeArchive(true, true);
        m_server->setResponse(m_archivePath, { "200 OK", archive, false, 3, false });
        DependencyService service(&*m_network, &*m_cli);
        configure(service, archive);
        QVERIFY(!service.isOllamaInstalled());
        QVERIFY(!QCoro::waitFor(service.isGemmaInstalled()));

        QList<DependencyStatus> statuses;
        const auto onStatus = [&statuses](const DependencyStatus& status) { statuses.append(status); };
        const CLIResult<DependencyStatus> final = QCoro::waitFor(service.installOllamaIfMissing(onStatus));
        QVERIFY(final.ok());
        QCOMPARE(final.value(), DependencyStatus::installed());
        // Without a length the download reports only its start.
        QCOMPARE(statuses,
            (QList<DependencyStatus> { DependencyStatus::downloading(0.0), DependencyStatus::installing(),
                DependencyStatus::installed() }));
        QVERIFY(service.isOllamaInstalled());
        QVERIFY(QFileInfo(m_prefix + u"/lib/ollama/cuda/libggml.so"_s).isFile());
        QVERIFY(QCoro::waitFor(service.isGemmaInstalled()));

        // One privileged command; the user's file is read once, by the copy
        // into the root-owned folder, and everything else comes from that copy.
        const QString downloaded = service.workDirectory() + u"/ollama-linux-amd64.tgz"_s;
        const PrivilegedRunner::Command command = service.privilegedInstallCommand(downloaded);
        const QStringList argv = recordedArguments();
        QCOMPARE(argv, QStringList { command.program } + command.arguments);
        QCOMPARE(argv.filter(service.workDirectory()), QStringList { downloaded });
        QCOMPARE(argv[2].count(u"$archive"_s), 1);
        QVERIFY(argv[2].contains(u"cp -- \"$archive\" \"$work/runtime\""_s));
        QCOMPARE(filesIn(service.workDirectory()), QStringList());

        // Once installed, nothing is downloaded again.
        statuses.clear();
        QCOMPARE(
            QCoro::waitFor(service.installOllamaIfMissing(onStatus)).value(), DependencyStatus::installed());
        QCOMPARE(statuses, QList<DependencyStatus> { DependencyStatus::installed() });
        QCOMPARE(m_server->requestCount(m_archivePath), 1);
    }

    void installFailures_data()
    {
        QTest::addColumn<QByteArray>("archive"); // "good", "empty", "garbage"
        QTest::addColumn<QByteArray>("pkexecBehaviour"); // before it runs the command
        QTest::addColumn<bool>("pinServed");
        QTest::addColumn<QString>("message");
        QTest::newRow("archive without the runtime") << QByteArray(
            "empty") << QByteArray() << true << u"Admin setup failed: ollama not found in archive\n"_s;
        QTest::newRow("not an archive") << QByteArray("garbage") << QByteArray() << true
                                        << u"Admin setup failed: Failed to unpack Ollama\n"_s;
        QTest::newRow("download other than the pinned one")
            << QByteArray("good") << QByteArray("touch ran; exit 0") << false
            << u"Ollama install blocked: the download does not match its pinned digest"_s;
        QTest::newRow("command missing afterwards")
            << QByteArray("good") << QByteArray("exit 0") << true << u"Ollama not found after install"_s;
    }
    void installFailures()
    {
        QFETCH(QByteArray, archive);
        QFETCH(QByteArray, pkexecBehaviour);
        QFETCH(bool, pinServed);
        QFETCH(QString, message);
        const QByteArray body = archive == "good" ? makeArchive(true, false)
            : archive == "empty"                  ? makeArchive(false, true)
                                                  : QByteArray("this is not a tar archive at all");
        m_server->setResponse(m_archivePath, { "200 OK", body, true, 2, false });
        QVERIFY(TestFiles::write(m_dir->filePath(u"pkexec-does"_s), pkexecBehaviour));
        DependencyService service(&*m_network, &*m_cli);
        configure(service, pinServed ? body : QByteArray("other bytes"));

        QList<DependencyStatus> statuses;
        const CLIResult<DependencyStatus> final = QCoro::waitFor(
            service.installOllamaIfMissing([&statuses](const DependencyStatus& s) { statuses.append(s); }));
        QCOMPARE(statuses.first(), DependencyStatus::downloading(0.0));
        QCOMPARE(statuses.last(), DependencyStatus::failed(message));
        // Only a runtime missing after a successful install lets the install go on.
        if (message == QLatin1String("Ollama not found after install"))
            QCOMPARE(final.value(), statuses.last());
        else
            QCOMPARE(final.error().description(), message);
        QVERIFY(!service.isOllamaInstalled());
        // Whatever failed, no archive is left behind.
        QCOMPARE(filesIn(service.workDirectory()), QStringList());
        // A download that is not the pinned one never reaches the password prompt.
        QVERIFY(!QFile::exists(QDir::current().filePath(u"ran"_s)));
    }

    void installQuotesPaths()
    {
        // An archive whose path holds a single quote and shell syntax reaches
        // the command as one argument that no shell reads.
        const QByteArray archive = makeArchive(true, false);
        const QString archivePath = m_dir->filePath(u"it's $(touch pwned) runtime/runtime.tgz"_s);
        QVERIFY(TestFiles::write(archivePath, archive));
        DependencyService service(&*m_network, &*m_cli);
        configure(service, archive);
        const CLIResult<DependencyStatus> result = QCoro::waitFor(service.installOllama(archivePath));
        QVERIFY2(result.ok(), qPrintable(result.ok() ? QString() : result.error().description()));
        QVERIFY(QFileInfo(m_prefix + u"/bin/ollama"_s).isExecutable());
        QVERIFY(!QFile::exists(u"pwned"_s));
        QVERIFY(!QFile::exists(m_dir->filePath(u"pwned"_s)));
        QCOMPARE(recordedArguments().value(4), archivePath);
        // An archive outside the service's private folder is never deleted.
        QVERIFY(QFileInfo(archivePath).isFile());
    }

    void swappedRuntimeIsNeverInstalled()
    {
        // A same-user process replaces the downloaded archive while the password
        // prompt is open: here the stand-in for pkexec does it before it runs the
        // command, after the service has checked the download.
        const QByteArray genuine = makeArchive(true, false);
        const QString evilMarker = m_dir->filePath(u"evil-ran"_s);
        const QString evilTree = m_dir->filePath(u"evil"_s);
        QVERIFY(TestFiles::writeShellScript(
            evilTree + u"/bin/ollama"_s, "touch '" + QFile::encodeName(evilMarker) + "'\n"));
        const QString evilArchive = m_dir->filePath(u"evil.tgz"_s);
        QVERIFY(packTree(evilTree, evilArchive));
        m_server->setResponse(m_archivePath, { "200 OK", genuine, true, 2, false });
        const auto rootCopies
            = [] { return QDir(u"/tmp"_s).entryList({ u"quorvane-runtime.*"_s }, QDir::Dirs); };
        const QStringList copiesBefore = rootCopies();
        DependencyService attacked(&*m_network, &*m_cli);
        configure(attacked, genuine);
        const QString downloaded = attacked.workDirectory() + u"/ollama-linux-amd64.tgz"_s;
        QVERIFY(TestFiles::write(m_dir->filePath(u"pkexec-does"_s),
            "cp '" + QFile::encodeName(evilArchive) + "' '" + QFile::encodeName(downloaded) + "'\n"));

        const CLIResult<DependencyStatus> final = QCoro::waitFor(attacked.installOllamaIfMissing({}));
        QCOMPARE(final.error().description(),
            u"Admin setup failed: the runtime archive does not match its pinned digest\n"_s);
        QVERIFY(!QFile::exists(m_prefix + u"/bin/ollama"_s));
        QVERIFY(!QFile::exists(evilMarker));
        // The root-owned copy is gone too.
        QCOMPARE(rootCopies(), copiesBefore);
    }

    // With a length the progress climbs to 1; without one (installEndToEnd)
    // only the start is reported.
    void downloadProgress()
    {
        const QByteArray body = QByteArray("abcdefghijklmnopqrstuvwxyz").repeated(8000);
        m_server->setResponse(u"/f/archive.tgz"_s, { "200 OK", body, true, 5, false });
        DependencyService service(&*m_network, &*m_cli);
        QList<double> fractions;
        const CLIResult<QString> result = QCoro::waitFor(service.download(m_server->url(u"/f/archive.tgz"_s),
            u"archive.tgz"_s, [&fractions](double fraction) { fractions.append(fraction); }));
        QVERIFY2(result.ok(), qPrintable(result.ok() ? QString() : result.error().description()));
        QCOMPARE(result.value(), service.workDirectory() + u"/archive.tgz"_s);
        QCOMPARE(TestFiles::contentOf(result.value()), body);
        QVERIFY(!service.isDownloading());
        QVERIFY(std::is_sorted(fractions.cbegin(), fractions.cend()));
        QCOMPARE(fractions.value(fractions.size() - 1), 1.0);
        // The private folder is the user's alone, and nothing else is left in it.
        QCOMPARE(TestFiles::modeOf(service.workDirectory()) & 0777, 0700);
        QCOMPARE(filesIn(service.workDirectory()), QStringList { u"archive.tgz"_s });
    }

    // Each failure leaves the private folder empty, also of an earlier attempt's file.
    void downloadFailures_data()
    {
        QTest::addColumn<QByteArray>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("announceLength");
        QTest::addColumn<bool>("stall");
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QString>("message");
        const QString bad = u"Download failed: bad status"_s;
        const QString x = u"x.tgz"_s;
        for (const char* status : { "404 Not Found", "500 Internal Server Error", "206 Partial Content" })
            QTest::newRow(status) << QByteArray(status) << QByteArray("error page") << true << false << x
                                  << bad;
        QTest::newRow("204") << QByteArray("204 No Content") << QByteArray() << true << false << x << bad;
        QTest::newRow("larger than the limit, no size announced")
            << QByteArray("200 OK") << QByteArray(5000, 'x') << false << false << x
            << u"Download failed: the download is larger than announced"_s;
        QTest::newRow("server stops sending") << QByteArray("200 OK") << QByteArray(800, 'x') << true << true
                                              << x << u"Download failed: timed out after 1 s"_s;
        for (const char* name : { "", "../escape", "..", "a/b", "." })
            QTest::addRow("file name '%s'", name)
                << QByteArray("200 OK") << QByteArray("y") << true << false << QString::fromLatin1(name)
                << u"Download failed: invalid file name"_s;
    }
    void downloadFailures()
    {
        QFETCH(QByteArray, status);
        QFETCH(QByteArray, body);
        QFETCH(bool, announceLength);
        QFETCH(bool, stall);
        QFETCH(QString, fileName);
        QFETCH(QString, message);
        m_server->setResponse(u"/f/x.tgz"_s, { status, body, announceLength, 4, stall });
        DependencyService service(&*m_network, &*m_cli);
        service.setDownloadLimits(1000, 1s);
        QVERIFY(TestFiles::write(service.workDirectory() + u"/x.tgz"_s, "old"));
        const CLIResult<QString> result
            = QCoro::waitFor(service.download(m_server->url(u"/f/x.tgz"_s), fileName, {}));
        QCOMPARE(result.error().description(), message);
        QVERIFY(!service.isDownloading());
        const bool named = fileName == QLatin1String("x.tgz");
        QCOMPARE(m_server->requestCount(u"/f/x.tgz"_s), named ? 1 : 0);
        if (named)
            QCOMPARE(filesIn(service.workDirectory()), QStringList());
    }

    void downloadOneAtATime()
    {
        m_server->setResponse(u"/f/slow.tgz"_s, { "200 OK", QByteArray(100000, 'x'), true, 10, true });
        m_server->setResponse(u"/f/other.tgz"_s, { "200 OK", QByteArray("y"), true, 1, false });
        DependencyService service(&*m_network, &*m_cli);
        const QUrl other = m_server->url(u"/f/other.tgz"_s);
        std::optional<CLIResult<QString>> first;
        QCoro::connect(service.download(m_server->url(u"/f/slow.tgz"_s), u"slow.tgz"_s, {}), this,
            [&first](CLIResult<QString> result) { first = std::move(result); });
        QTRY_COMPARE(m_server->requestCount(u"/f/slow.tgz"_s), 1);
        QVERIFY(service.isDownloading());

        // A second download fails at once and does not disturb the first.
        const CLIResult<QString> second = QCoro::waitFor(service.download(other, u"other.tgz"_s, {}));
        QVERIFY(!second);
        QCOMPARE(second.error().description(), u"Download failed: another download is in progress"_s);
        QCOMPARE(m_server->requestCount(u"/f/other.tgz"_s), 0);
        QVERIFY(!first.has_value());

        // The first one ends when cancelled, leaving nothing behind.
        service.cancelDownload();
        QTRY_VERIFY(first.has_value());
        QCOMPARE(first->error().kind(), CLIError::Kind::cancelled);
        QVERIFY(!service.isDownloading());
        QCOMPARE(filesIn(service.workDirectory()), QStringList());
        // Afterwards downloads work again.
        QVERIFY(QCoro::waitFor(service.download(other, u"other.tgz"_s, {})).ok());
    }

    void archiveOfTheMachinesArchitecture()
    {
        QCOMPARE(DependencyService::runtimeArchitecture(u"arm64"_s), u"arm64"_s);
        for (const char* other : { "i386", "arm", "" })
            QCOMPARE(DependencyService::runtimeArchitecture(QLatin1String(other)), std::nullopt);
        DependencyService service(&*m_network, &*m_cli);
        service.setMachineArchitecture(u"aarch64"_s);
        QCOMPARE(service.ollamaArchiveURL().fileName(), u"ollama-linux-arm64.tgz"_s);
        service.setMachineArchitecture(u"x86_64"_s);
        QCOMPARE(service.ollamaArchiveURL().fileName(), u"ollama-linux-amd64.tgz"_s);

        // On a machine the runtime is not made for, the row fails before anything is fetched.
        service.setMachineArchitecture(u"riscv64"_s);
        QVERIFY(service.ollamaArchiveURL().isEmpty());
        service.setKnownPaths({ m_dir->filePath(u"none"_s) });
        QList<DependencyStatus> statuses;
        const CLIResult<DependencyStatus> result = QCoro::waitFor(service.installOllamaIfMissing(
            [&statuses](const DependencyStatus& status) { statuses.append(status); }));
        const QString message = u"Ollama is not available for this machine's architecture (riscv64)"_s;
        QCOMPARE(result.error().description(), message);
        QCOMPARE(statuses, QList<DependencyStatus> { DependencyStatus::failed(message) });

        service.setOllamaArchiveURL(QUrl(u"not a url"_s, QUrl::StrictMode));
        const CLIResult<QString> invalid = QCoro::waitFor(service.downloadOllama({}));
        QCOMPARE(invalid.error().description(), u"Invalid Ollama download URL"_s);
    }
};

QTEST_GUILESS_MAIN(TestDependencyService)
#include "tst_DependencyService.moc"
