#include "tests/app/tooling/DependencyServiceFixture.h"

// Installing the model runtime through the privileged runner, and finding it.
class TestDependencyService : public QObject, private DependencyServiceFixture
{
    Q_OBJECT
private Q_SLOTS:
    void init() { setUp(); }
    void cleanup() { tearDown(); }
    void installEndToEnd();
    void installFailures_data();
    void installFailures();
    void installQuotesPaths();
    void swappedRuntimeIsNeverInstalled();
    void presenceChecks_data();
    void presenceChecks();
};

<<<<<<< HEAD
=======
void TestDependencyService::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_server = std::make_unique<LoopbackHttpServer>();
    QVERIFY(m_server->listen());
    m_network = std::make_unique<QNetworkAccessManager>();
    m_prefix = m_dir->filePath(QStringLiteral("prefix"));
    const QString argv = m_dir->filePath(QStringLiteral("pkexec-argv"));
    const QString pkexec = writeScript(QStringLiteral("pkexec"),
                                       "for a in \"$@\"; do printf '%s\\0' \"$a\" >> '" + QFile::encodeName(argv)
                                           + "'; done\nexec \"$@\"\n");
    m_runner = std::make_unique<PkexecPrivilegedRunner>(pkexec);
    m_cli = std::make_unique<CLIService>(m_runner.get());
}

void TestDependencyService::cleanup()
{
    m_cli.reset();
    m_runner.reset();
    m_network.reset();
    m_server.reset();
    m_dir.reset();
}

QString TestDependencyService::writeScript(const QString& relative, const QByteArray& body)
{
    const QString path = m_dir->filePath(relative);
    return TestFiles::writeShellScript(path, body) ? path : QString();
}

QByteArray TestDependencyService::makeArchive(bool withCommand, bool withLibraries)
{
    const QString staging = m_dir->filePath(QStringLiteral("staging"));
    QDir(staging).removeRecursively();
    QDir().mkpath(staging);
    if (withCommand)
        writeScript(QStringLiteral("staging/bin/ollama"),
                    "[ \"$1\" = list ] && printf 'NAME              ID      SIZE\\ngemma4:e4b  abc  9.6 GB\\n'\n");
    if (withLibraries) {
        QDir().mkpath(staging + QStringLiteral("/lib/ollama/cuda"));
        QFile library(staging + QStringLiteral("/lib/ollama/cuda/libggml.so"));
        library.open(QIODevice::WriteOnly);
        library.write("not really a library");
    }
    QDir().mkpath(staging + QStringLiteral("/share"));
    const QString archive = m_dir->filePath(QStringLiteral("archive.tgz"));
    QFile::remove(archive);
    QProcess tar;
    tar.start(QStringLiteral("/usr/bin/tar"), {QStringLiteral("-czf"), archive, QStringLiteral("-C"), staging,
                                               QStringLiteral(".")});
    tar.waitForFinished(30000);
    QFile file(archive);
    file.open(QIODevice::ReadOnly);
    return file.readAll();
}

void TestDependencyService::configure(DependencyService& service, const QByteArray& pinnedArchive) const
{
    service.setOllamaArchiveSHA256(
        QString::fromLatin1(QCryptographicHash::hash(pinnedArchive, QCryptographicHash::Sha256).toHex()));
    service.setInstallPrefix(m_prefix);
    service.setKnownPaths({ m_prefix + QStringLiteral("/bin") });
    service.setOllamaArchiveURL(m_server->url(QStringLiteral("/download/ollama-linux-amd64.tgz")));
}

QStringList TestDependencyService::recordedArguments() const
{
    QFile file(m_dir->filePath(QStringLiteral("pkexec-argv")));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList arguments;
    const QList<QByteArray> parts = file.readAll().split('\0');
    for (qsizetype i = 0; i + 1 < parts.size(); ++i)
        arguments.append(QString::fromUtf8(parts[i]));
    return arguments;
}

void TestDependencyService::downloadProgress_data()
{
    QTest::addColumn<bool>("announceLength");
    QTest::newRow("with a length") << true;
    QTest::newRow("without a length") << false;
}

void TestDependencyService::downloadProgress()
{
    QFETCH(bool, announceLength);
    QByteArray body;
    for (int i = 0; i < 200000; ++i)
        body.append(char('a' + i % 26));
    m_server->setResponse(QStringLiteral("/f/archive.tgz"), {"200 OK", body, announceLength, 5, false});

    DependencyService service(m_network.get(), m_cli.get());
    QList<double> fractions;
    const CLIResult<QString> result = QCoro::waitFor(service.download(
        m_server->url(QStringLiteral("/f/archive.tgz")), QStringLiteral("archive.tgz"),
        [&fractions](double fraction) { fractions.append(fraction); }));
    QVERIFY2(result.ok(), qPrintable(result.ok() ? QString() : result.error().description()));
    QCOMPARE(result.value(), service.workDirectory() + QStringLiteral("/archive.tgz"));
    QFile stored(result.value());
    QVERIFY(stored.open(QIODevice::ReadOnly));
    QCOMPARE(stored.readAll(), body);
    QVERIFY(!service.isDownloading());

    if (announceLength) {
        QVERIFY(!fractions.isEmpty());
        QCOMPARE(fractions.last(), 1.0);
        for (qsizetype i = 1; i < fractions.size(); ++i)
            QVERIFY(fractions[i] >= fractions[i - 1]);
    } else {
        QVERIFY(fractions.isEmpty());
    }

    // The private folder is the user's alone, and nothing else is left in it.
    struct stat info;
    QCOMPARE(::stat(QFile::encodeName(service.workDirectory()).constData(), &info), 0);
    QCOMPARE(info.st_mode & 0777, mode_t(0700));
    QCOMPARE(QDir(service.workDirectory()).entryList(QDir::Files), QStringList{QStringLiteral("archive.tgz")});
}

void TestDependencyService::downloadBadStatus_data()
{
    QTest::addColumn<QByteArray>("status");
    QTest::newRow("404") << QByteArray("404 Not Found");
    QTest::newRow("500") << QByteArray("500 Internal Server Error");
    QTest::newRow("204") << QByteArray("204 No Content");
    QTest::newRow("206") << QByteArray("206 Partial Content");
}

void TestDependencyService::downloadBadStatus()
{
    QFETCH(QByteArray, status);
    const bool noBody = status.startsWith("204");
    m_server->setResponse(QStringLiteral("/f/x.tgz"), {status, noBody ? QByteArray() : QByteArray("error page"),
                                                        true, 1, false});
    DependencyService service(m_network.get(), m_cli.get());
    // A file from an earlier attempt does not survive a failed one either.
    QFile old(service.workDirectory() + QStringLiteral("/x.tgz"));
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write("old");
    old.close();

    int progressCalls = 0;
    const CLIResult<QString> result = QCoro::waitFor(service.download(
        m_server->url(QStringLiteral("/f/x.tgz")), QStringLiteral("x.tgz"), [&](double) { ++progressCalls; }));
    QVERIFY(!result);
    QCOMPARE(result.error().description(), QStringLiteral("Download failed: bad status"));
    QCOMPARE(QDir(service.workDirectory()).entryList(QDir::Files | QDir::Hidden), QStringList());
    QCOMPARE(m_server->requestCount(QStringLiteral("/f/x.tgz")), 1);
}

void TestDependencyService::downloadOneAtATime()
{
    m_server->setResponse(QStringLiteral("/f/slow.tgz"), {"200 OK", QByteArray(100000, 'x'), true, 10, true});
    m_server->setResponse(QStringLiteral("/f/other.tgz"), {"200 OK", QByteArray("y"), true, 1, false});
    DependencyService service(m_network.get(), m_cli.get());

    std::optional<CLIResult<QString>> first;
    QCoro::connect(service.download(m_server->url(QStringLiteral("/f/slow.tgz")), QStringLiteral("slow.tgz"), {}),
                   this, [&first](CLIResult<QString> result) { first = std::move(result); });
    QTRY_COMPARE(m_server->requestCount(QStringLiteral("/f/slow.tgz")), 1);
    QVERIFY(service.isDownloading());

    // A second download fails at once and does not disturb the first.
    const CLIResult<QString> second = QCoro::waitFor(
        service.download(m_server->url(QStringLiteral("/f/other.tgz")), QStringLiteral("other.tgz"), {}));
    QVERIFY(!second);
    QCOMPARE(second.error().description(), QStringLiteral("Download failed: another download is in progress"));
    QCOMPARE(m_server->requestCount(QStringLiteral("/f/other.tgz")), 0);
    QVERIFY(!first.has_value());

    // The first one ends when cancelled, leaving nothing behind.
    service.cancelDownload();
    QTRY_VERIFY(first.has_value());
    QVERIFY(!first->ok());
    QCOMPARE(first->error().kind(), CLIError::Kind::cancelled);
    QVERIFY(!service.isDownloading());
    QCOMPARE(QDir(service.workDirectory()).entryList(QDir::Files | QDir::Hidden), QStringList());

    // Afterwards downloads work again.
    const CLIResult<QString> third = QCoro::waitFor(
        service.download(m_server->url(QStringLiteral("/f/other.tgz")), QStringLiteral("other.tgz"), {}));
    QVERIFY(third.ok());
}

void TestDependencyService::downloadLimits()
{
    using namespace std::chrono_literals;
    m_server->setResponse(QStringLiteral("/f/big.tgz"), {"200 OK", QByteArray(5000, 'x'), false, 5, false});
    m_server->setResponse(QStringLiteral("/f/stalled.tgz"), {"200 OK", QByteArray(800, 'x'), true, 4, true});
    DependencyService service(m_network.get(), m_cli.get());
    QCOMPARE(DependencyService::defaultMaximumArchiveSize, qint64(4) * 1024 * 1024 * 1024);
    service.setDownloadLimits(1000, 1s);

    // Larger than the limit (and no size announced): stopped, nothing left.
    const CLIResult<QString> big =
        QCoro::waitFor(service.download(m_server->url(QStringLiteral("/f/big.tgz")), QStringLiteral("big.tgz"), {}));
    QVERIFY(!big);
    QCOMPARE(big.error().description(), QStringLiteral("Download failed: the download is larger than announced"));
    // A server that stops sending: the deadline ends it.
    const CLIResult<QString> stalled = QCoro::waitFor(
        service.download(m_server->url(QStringLiteral("/f/stalled.tgz")), QStringLiteral("stalled.tgz"), {}));
    QVERIFY(!stalled);
    QCOMPARE(stalled.error().description(), QStringLiteral("Download failed: timed out after 1 s"));
    QCOMPARE(QDir(service.workDirectory()).entryList(QDir::Files | QDir::Hidden), QStringList());
    QVERIFY(!service.isDownloading());
}

void TestDependencyService::downloadRejectsBadNames()
{
    DependencyService service(m_network.get(), m_cli.get());
    for (const QString& name : {QString(), QStringLiteral("../escape"), QStringLiteral(".."), QStringLiteral("a/b"),
                                QStringLiteral(".")}) {
        const CLIResult<QString> result =
            QCoro::waitFor(service.download(m_server->url(QStringLiteral("/f")), name, {}));
        QVERIFY2(!result, qPrintable(name));
        QCOMPARE(result.error().description(), QStringLiteral("Download failed: invalid file name"));
    }
    service.setOllamaArchiveURL(QUrl(QStringLiteral("not a url"), QUrl::StrictMode));
    const CLIResult<QString> invalid = QCoro::waitFor(service.downloadOllama({}));
    QVERIFY(!invalid);
    QCOMPARE(invalid.error().description(), QStringLiteral("Invalid Ollama download URL"));
    // Nothing was requested at all.
    QCOMPARE(m_server->requestCount(QStringLiteral("/f")), 0);
}

void TestDependencyService::archiveOfTheMachinesArchitecture()
{
    QCOMPARE(DependencyService::runtimeArchitecture(QStringLiteral("x86_64")), QStringLiteral("amd64"));
    QCOMPARE(DependencyService::runtimeArchitecture(QStringLiteral("arm64")), QStringLiteral("arm64"));
    QCOMPARE(DependencyService::runtimeArchitecture(QStringLiteral("aarch64")), QStringLiteral("arm64"));
    for (const char* other : {"i386", "riscv64", "power64", "arm", ""})
        QCOMPARE(DependencyService::runtimeArchitecture(QLatin1String(other)), std::nullopt);

    DependencyService service(m_network.get(), m_cli.get());
    service.setMachineArchitecture(QStringLiteral("aarch64"));
    QCOMPARE(service.ollamaArchiveURL().fileName(), QStringLiteral("ollama-linux-arm64.tgz"));
    service.setMachineArchitecture(QStringLiteral("x86_64"));
    QCOMPARE(service.ollamaArchiveURL().fileName(), QStringLiteral("ollama-linux-amd64.tgz"));
    QVERIFY(!service.ollamaArchiveURL().toString().contains(QLatin1String("arch")));

    // On a machine the runtime is not made for, the row fails before anything is fetched.
    service.setMachineArchitecture(QStringLiteral("riscv64"));
    QVERIFY(service.ollamaArchiveURL().isEmpty());
    service.setKnownPaths({m_dir->filePath(QStringLiteral("none"))});
    QList<DependencyStatus> statuses;
    const CLIResult<DependencyStatus> result = QCoro::waitFor(
        service.installOllamaIfMissing([&statuses](const DependencyStatus& status) { statuses.append(status); }));
    const QString message = QStringLiteral("Ollama is not available for this machine's architecture (riscv64)");
    QVERIFY(!result.ok());
    QCOMPARE(result.error().description(), message);
    QCOMPARE(statuses, QList<DependencyStatus> { DependencyStatus::failed(message) });
}

>>>>>>> first-run
void TestDependencyService::installEndToEnd()
{
    const QByteArray archive = makeArchive(true, true);
    m_server->setResponse(
        QStringLiteral("/download/ollama-linux-amd64.tgz"), { "200 OK", archive, false, 3, false });
    DependencyService service(m_network.get(), m_cli.get());
    configure(service, archive);
    QVERIFY(!service.isOllamaInstalled());
    QVERIFY(!QCoro::waitFor(service.isGemmaInstalled()));

    QList<DependencyStatus> statuses;
    const CLIResult<DependencyStatus> final = QCoro::waitFor(service.installOllamaIfMissing(
        [&statuses](const DependencyStatus& status) { statuses.append(status); }));
    QVERIFY(final.ok());
    QCOMPARE(final.value(), DependencyStatus::installed());
    // Without a length the download reports only its start.
    QCOMPARE(statuses,
        (QList<DependencyStatus> { DependencyStatus::downloading(0.0), DependencyStatus::installing(),
            DependencyStatus::installed() }));

    QVERIFY(service.isOllamaInstalled());
    QVERIFY(QFileInfo(m_prefix + QStringLiteral("/lib/ollama/cuda/libggml.so")).isFile());
    QVERIFY(QCoro::waitFor(service.isGemmaInstalled()));

    // One privileged command line; the user's file is read once, by the copy
    // into the root-owned folder, and everything else comes from that copy.
    const QStringList argv = recordedArguments();
    QCOMPARE(argv.size(), 3);
    QCOMPARE(argv[0], QStringLiteral("/bin/sh"));
    QCOMPARE(argv[1], QStringLiteral("-c"));
    const QString downloaded = service.workDirectory() + QStringLiteral("/ollama-linux-amd64.tgz");
    QCOMPARE(argv[2], service.privilegedInstallCommand(downloaded));
    QCOMPARE(argv[2].count(service.workDirectory()), 1);
    QVERIFY(argv[2].contains(QStringLiteral("cp -- '") + downloaded + QStringLiteral("' \"$work/runtime\"")));

    // The archive is gone.
    QCOMPARE(QDir(service.workDirectory()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
        QStringList());

    // Once installed, nothing is downloaded again.
    statuses.clear();
    QCOMPARE(QCoro::waitFor(service.installOllamaIfMissing([&statuses](const DependencyStatus& status) {
        statuses.append(status);
    })).value(),
        DependencyStatus::installed());
    QCOMPARE(statuses, QList<DependencyStatus> { DependencyStatus::installed() });
    QCOMPARE(m_server->requestCount(QStringLiteral("/download/ollama-linux-amd64.tgz")), 1);
}

void TestDependencyService::installFailures_data()
{
    QTest::addColumn<QByteArray>("status");
    QTest::addColumn<QByteArray>("archive"); // "good", "empty", "garbage"
    QTest::addColumn<QByteArray>("pkexecBehaviour");
    QTest::addColumn<bool>("placeCommand"); // the "copy" installs nothing
<<<<<<< HEAD
    QTest::addColumn<QString>("pinned"); // "served", "other", "none"
=======
    QTest::addColumn<QString>("pinned"); // "served" or "other"
>>>>>>> first-run
    QTest::addColumn<QString>("message");
    const QString served = QStringLiteral("served");

    QTest::newRow("bad status") << QByteArray("404 Not Found") << QByteArray("good") << QByteArray() << true
                                << served << QStringLiteral("Download failed: bad status");
    QTest::newRow("archive without the runtime")
        << QByteArray("200 OK") << QByteArray("empty") << QByteArray() << true << served
        << QStringLiteral("Admin setup failed: ollama not found in archive\n");
    QTest::newRow("not an archive") << QByteArray("200 OK") << QByteArray("garbage") << QByteArray() << true
                                    << served
                                    << QStringLiteral("Admin setup failed: Failed to unpack Ollama\n");
    QTest::newRow("download other than the pinned one")
        << QByteArray("200 OK") << QByteArray("good") << QByteArray("touch ran; exit 0") << true
        << QStringLiteral("other")
        << QStringLiteral("Ollama install blocked: the download does not match its pinned digest");
<<<<<<< HEAD
    QTest::newRow("no digest pinned in the build")
        << QByteArray("200 OK") << QByteArray("good") << QByteArray("touch ran; exit 0") << true
        << QStringLiteral("none")
        << QStringLiteral("Ollama install blocked: this build pins no digest for it");
=======
>>>>>>> first-run
    QTest::newRow("prompt dismissed")
        << QByteArray("200 OK") << QByteArray("good")
        << QByteArray("echo 'Error executing command as another user: Request dismissed' >&2; exit 126")
        << true << served
        << QStringLiteral("Admin setup failed: Error executing command as another user: Request dismissed\n");
    QTest::newRow("command missing afterwards")
        << QByteArray("200 OK") << QByteArray("good") << QByteArray("exit 0") << false << served
        << QStringLiteral("Ollama not found after install");
}

void TestDependencyService::installFailures()
{
    QFETCH(QByteArray, status);
    QFETCH(QByteArray, archive);
    QFETCH(QByteArray, pkexecBehaviour);
    QFETCH(QString, pinned);
    QFETCH(QString, message);

    const QByteArray body = archive == "good" ? makeArchive(true, false)
        : archive == "empty"                  ? makeArchive(false, true)
                                              : QByteArray("this is not a tar archive at all");
    m_server->setResponse(
        QStringLiteral("/download/ollama-linux-amd64.tgz"), { status, body, true, 2, false });
    std::unique_ptr<PkexecPrivilegedRunner> runner;
    std::unique_ptr<CLIService> cli;
    if (!pkexecBehaviour.isEmpty()) {
        runner = std::make_unique<PkexecPrivilegedRunner>(
            writeScript(QStringLiteral("refusing-pkexec"), pkexecBehaviour + "\n"));
        cli = std::make_unique<CLIService>(runner.get());
    }
    DependencyService service(m_network.get(), cli ? cli.get() : m_cli.get());
    configure(service, pinned == QLatin1String("served") ? body : QByteArray("other bytes"));

    QList<DependencyStatus> statuses;
    const CLIResult<DependencyStatus> final = QCoro::waitFor(
        service.installOllamaIfMissing([&statuses](const DependencyStatus& s) { statuses.append(s); }));
    QCOMPARE(statuses.last(), DependencyStatus::failed(message));
    // Only a runtime missing after a successful install lets the install go on.
    if (message == QLatin1String("Ollama not found after install")) {
        QVERIFY(final.ok());
        QCOMPARE(final.value(), statuses.last());
    } else {
        QVERIFY(!final.ok());
        QCOMPARE(final.error().description(), message);
    }
    QCOMPARE(statuses.first(), DependencyStatus::downloading(0.0));
    QVERIFY(!service.isOllamaInstalled());
    // Whatever failed, no archive is left behind.
    QCOMPARE(QDir(service.workDirectory()).entryList(QDir::Files | QDir::Hidden), QStringList());
    // A download that is not the pinned one never reaches the password prompt.
    if (pinned != QLatin1String("served"))
        QVERIFY(!QFile::exists(QDir::current().filePath(QStringLiteral("ran"))));
}

void TestDependencyService::installQuotesPaths()
{
    // An archive whose path holds a single quote and shell syntax still
    // reaches the command as a single word.
    const QByteArray archive = makeArchive(true, false);
    const QString folder = m_dir->filePath(QStringLiteral("it's $(touch pwned) runtime"));
    const QString archivePath = folder + QStringLiteral("/runtime.tgz");
    QVERIFY(TestFiles::write(archivePath, archive));
    DependencyService service(m_network.get(), m_cli.get());
    configure(service, archive);
    const CLIResult<DependencyStatus> result = QCoro::waitFor(service.installOllama(archivePath));
    QVERIFY2(result.ok(), qPrintable(result.ok() ? QString() : result.error().description()));
    QCOMPARE(result.value(), DependencyStatus::installed());
    QVERIFY(QFileInfo(m_prefix + QStringLiteral("/bin/ollama")).isExecutable());
    QVERIFY(!QFile::exists(QStringLiteral("pwned")));
    QVERIFY(!QFile::exists(m_dir->filePath(QStringLiteral("pwned"))));
    QVERIFY(recordedArguments().value(2).contains(QStringLiteral("'") + m_dir->path()
        + QStringLiteral("/it'\\''s $(touch pwned) runtime/runtime.tgz'")));
    // An archive outside the service's private folder is never deleted.
    QVERIFY(QFileInfo(archivePath).isFile());
}

void TestDependencyService::swappedRuntimeIsNeverInstalled()
{
    // A same-user process replaces the downloaded archive while the password
    // prompt is open: here the stand-in for pkexec does it before it runs the
    // command, after the service has checked the download.
    const QByteArray genuine = makeArchive(true, false);
    const QString evilMarker = m_dir->filePath(QStringLiteral("evil-ran"));
    const QString evilTree = m_dir->filePath(QStringLiteral("evil"));
    QVERIFY(TestFiles::writeShellScript(
        evilTree + QStringLiteral("/bin/ollama"), "touch '" + QFile::encodeName(evilMarker) + "'\n"));
    const QString evilArchive = m_dir->filePath(QStringLiteral("evil.tgz"));
    QVERIFY(packTree(evilTree, evilArchive));

    m_server->setResponse(
        QStringLiteral("/download/ollama-linux-amd64.tgz"), { "200 OK", genuine, true, 2, false });
    const QString tmpBefore = QDir(QStringLiteral("/tmp"))
                                  .entryList({ QStringLiteral("quorvane-runtime.*") }, QDir::Dirs)
                                  .join(u',');
    const QString swapper = m_dir->filePath(QStringLiteral("swapping-pkexec"));
    PkexecPrivilegedRunner runner(swapper);
    CLIService cli(&runner);
    DependencyService attacked(m_network.get(), &cli);
    configure(attacked, genuine);
    const QString downloaded = attacked.workDirectory() + QStringLiteral("/ollama-linux-amd64.tgz");
    QVERIFY(TestFiles::writeShellScript(swapper,
        "cp '" + QFile::encodeName(evilArchive) + "' '" + QFile::encodeName(downloaded)
            + "'\nexec \"$@\"\n"));

    const CLIResult<DependencyStatus> final = QCoro::waitFor(attacked.installOllamaIfMissing({}));
    QVERIFY(!final.ok());
    QCOMPARE(final.error().description(),
        QStringLiteral("Admin setup failed: the runtime archive does not match its pinned digest\n"));
    QVERIFY(!QFile::exists(m_prefix + QStringLiteral("/bin/ollama")));
    QVERIFY(!attacked.isOllamaInstalled());
    QVERIFY(!QFile::exists(evilMarker));
    // The root-owned copy is gone too.
    QCOMPARE(QDir(QStringLiteral("/tmp"))
                 .entryList({ QStringLiteral("quorvane-runtime.*") }, QDir::Dirs)
                 .join(u','),
        tmpBefore);
}

void TestDependencyService::presenceChecks_data()
{
    QTest::addColumn<QByteArray>("listOutput");
    QTest::addColumn<QString>("where"); // "local", "usr" or "none"
    QTest::addColumn<bool>("runtime");
    QTest::addColumn<bool>("gemma");

    const QByteArray lower
        = "NAME            ID              SIZE      MODIFIED\ngemma4:e4b  1234  9.6 GB  2 days ago\n";
    const QByteArray capital = "NAME            ID              SIZE\nGemma4:e4b  1234  9.6 GB\n";
    QTest::newRow("lower-case gemma") << lower << QStringLiteral("local") << true << true;
    QTest::newRow("capital only") << capital << QStringLiteral("local") << true << false;
    QTest::newRow("other models") << QByteArray("NAME\nllama3:8b\n") << QStringLiteral("local") << true
                                  << false;
    QTest::newRow("undecodable output")
        << QByteArray("gemma \xff\xfe\n") << QStringLiteral("local") << true << false;
<<<<<<< HEAD
    QTest::newRow("runtime only in the system folder") << lower << QStringLiteral("usr") << true << false;
=======
    QTest::newRow("runtime only in the system folder") << lower << QStringLiteral("usr") << true << true;
>>>>>>> first-run
    QTest::newRow("no runtime") << lower << QStringLiteral("none") << false << false;
    QTest::newRow("runtime that hangs") << QByteArray("HANG") << QStringLiteral("local") << true << false;
}

void TestDependencyService::presenceChecks()
{
    QFETCH(QByteArray, listOutput);
    QFETCH(QString, where);
    QFETCH(bool, runtime);
    QFETCH(bool, gemma);

    const QString local = m_dir->filePath(QStringLiteral("local/bin"));
    const QString system = m_dir->filePath(QStringLiteral("usr/bin"));
    QDir().mkpath(local);
    QDir().mkpath(system);
    const QByteArray body = listOutput == "HANG" ? QByteArray("exec sleep 60\n")
                                                 : "[ \"$1\" = list ] || exit 2\nprintf '%s' '" + listOutput
            + "'\nexit 1\n"; // the status is not examined
    if (where != QLatin1String("none"))
        writeScript(where + QStringLiteral("/bin/ollama"), body);
    // A file that is not executable does not count.
    QFile plain(local + QStringLiteral("/ollama-plain"));
    QVERIFY(plain.open(QIODevice::WriteOnly));

    DependencyService service(m_network.get(), m_cli.get());
    service.setKnownPaths({ local, system });
<<<<<<< HEAD
    service.setModelQueryCommands({ local + QStringLiteral("/ollama") });
    service.setModelQueryTimeout(300);
    QCOMPARE(service.isOllamaInstalled(), runtime);
    QCOMPARE(QCoro::waitFor(service.isGemmaInstalled()), gemma);
=======
    service.setModelQueryTimeout(300);
    QCOMPARE(service.isOllamaInstalled(), runtime);
    QCOMPARE(QCoro::waitFor(service.isGemmaInstalled()), gemma);

    // The defaults.
    DependencyService defaults(m_network.get(), m_cli.get());
    QCOMPARE(defaults.knownPaths().mid(0, 2),
        (QStringList { QStringLiteral("/usr/local/bin"), QStringLiteral("/usr/bin") }));
    QCOMPARE(defaults.installPrefix(), QStringLiteral("/usr/local"));
    QVERIFY(defaults.ollamaArchiveURL().isValid());
>>>>>>> first-run
}

QTEST_GUILESS_MAIN(TestDependencyService)
#include "tst_DependencyService.moc"
