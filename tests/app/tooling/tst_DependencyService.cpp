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
    QTest::addColumn<QString>("pinned"); // "served" or "other"
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
    QTest::newRow("runtime only in the system folder") << lower << QStringLiteral("usr") << true << true;
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
    service.setModelQueryTimeout(300);
    QCOMPARE(service.isOllamaInstalled(), runtime);
    QCOMPARE(QCoro::waitFor(service.isGemmaInstalled()), gemma);

}

QTEST_GUILESS_MAIN(TestDependencyService)
#include "tst_DependencyService.moc"
