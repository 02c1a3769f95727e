#include "tests/app/tooling/DependencyServiceFixture.h"

// The runtime archive's download: progress, limits, failures, one at a time,
// and the archive that fits the machine.
class TestRuntimeDownload : public QObject, private DependencyServiceFixture
{
    Q_OBJECT
private Q_SLOTS:
    void init() { setUp(); }
    void cleanup() { tearDown(); }
    void downloadProgress_data();
    void downloadProgress();
    void downloadFailures_data();
    void downloadFailures();
    void downloadOneAtATime();
    void archiveOfTheMachinesArchitecture();
};

void TestRuntimeDownload::downloadProgress_data()
{
    QTest::addColumn<bool>("announceLength");
    QTest::newRow("with a length") << true;
    QTest::newRow("without a length") << false;
}

void TestRuntimeDownload::downloadProgress()
{
    QFETCH(bool, announceLength);
    QByteArray body;
    for (int i = 0; i < 200000; ++i)
        body.append(char('a' + i % 26));
    m_server->setResponse(QStringLiteral("/f/archive.tgz"), { "200 OK", body, announceLength, 5, false });

    DependencyService service(m_network.get(), m_cli.get());
    QList<double> fractions;
    const CLIResult<QString> result
        = QCoro::waitFor(service.download(m_server->url(QStringLiteral("/f/archive.tgz")),
            QStringLiteral("archive.tgz"), [&fractions](double fraction) { fractions.append(fraction); }));
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
    QCOMPARE(
        QDir(service.workDirectory()).entryList(QDir::Files), QStringList { QStringLiteral("archive.tgz") });
}

// Each failure leaves the private folder empty, also of an earlier attempt's file.
void TestRuntimeDownload::downloadFailures_data()
{
    QTest::addColumn<QByteArray>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<bool>("announceLength");
    QTest::addColumn<bool>("stall");
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QString>("message");
    const QString bad = QStringLiteral("Download failed: bad status");
    const QString x = QStringLiteral("x.tgz");
    for (const char* status : { "404 Not Found", "500 Internal Server Error", "206 Partial Content" })
        QTest::newRow(status) << QByteArray(status) << QByteArray("error page") << true << false << x << bad;
    QTest::newRow("204") << QByteArray("204 No Content") << QByteArray() << true << false << x << bad;
    QTest::newRow("larger than the limit, no size announced")
        << QByteArray("200 OK") << QByteArray(5000, 'x') << false << false << x
        << QStringLiteral("Download failed: the download is larger than announced");
    QTest::newRow("server stops sending") << QByteArray("200 OK") << QByteArray(800, 'x') << true << true << x
                                          << QStringLiteral("Download failed: timed out after 1 s");
    for (const char* name : { "", "../escape", "..", "a/b", "." })
        QTest::newRow(qPrintable(QStringLiteral("file name '%1'").arg(QLatin1String(name))))
            << QByteArray("200 OK") << QByteArray("y") << true << false << QString::fromLatin1(name)
            << QStringLiteral("Download failed: invalid file name");
}

void TestRuntimeDownload::downloadFailures()
{
    using namespace std::chrono_literals;
    QFETCH(QByteArray, status);
    QFETCH(QByteArray, body);
    QFETCH(bool, announceLength);
    QFETCH(bool, stall);
    QFETCH(QString, fileName);
    QFETCH(QString, message);
    m_server->setResponse(QStringLiteral("/f/x.tgz"), { status, body, announceLength, 4, stall });
    DependencyService service(m_network.get(), m_cli.get());
    service.setDownloadLimits(1000, 1s);
    QVERIFY(TestFiles::write(service.workDirectory() + QStringLiteral("/x.tgz"), "old"));

    int progressCalls = 0;
    const CLIResult<QString> result = QCoro::waitFor(service.download(
        m_server->url(QStringLiteral("/f/x.tgz")), fileName, [&](double) { ++progressCalls; }));
    QVERIFY(!result);
    QCOMPARE(result.error().description(), message);
    QVERIFY(!service.isDownloading());
    const bool named = fileName == QLatin1String("x.tgz");
    QCOMPARE(m_server->requestCount(QStringLiteral("/f/x.tgz")), named ? 1 : 0);
    if (named)
        QCOMPARE(QDir(service.workDirectory()).entryList(QDir::Files | QDir::Hidden), QStringList());
}

void TestRuntimeDownload::downloadOneAtATime()
{
    m_server->setResponse(
        QStringLiteral("/f/slow.tgz"), { "200 OK", QByteArray(100000, 'x'), true, 10, true });
    m_server->setResponse(QStringLiteral("/f/other.tgz"), { "200 OK", QByteArray("y"), true, 1, false });
    DependencyService service(m_network.get(), m_cli.get());

    std::optional<CLIResult<QString>> first;
    QCoro::connect(
        service.download(m_server->url(QStringLiteral("/f/slow.tgz")), QStringLiteral("slow.tgz"), {}), this,
        [&first](CLIResult<QString> result) { first = std::move(result); });
    QTRY_COMPARE(m_server->requestCount(QStringLiteral("/f/slow.tgz")), 1);
    QVERIFY(service.isDownloading());

    // A second download fails at once and does not disturb the first.
    const CLIResult<QString> second = QCoro::waitFor(
        service.download(m_server->url(QStringLiteral("/f/other.tgz")), QStringLiteral("other.tgz"), {}));
    QVERIFY(!second);
    QCOMPARE(
        second.error().description(), QStringLiteral("Download failed: another download is in progress"));
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

void TestRuntimeDownload::archiveOfTheMachinesArchitecture()
{
    QCOMPARE(DependencyService::runtimeArchitecture(QStringLiteral("x86_64")), QStringLiteral("amd64"));
    QCOMPARE(DependencyService::runtimeArchitecture(QStringLiteral("arm64")), QStringLiteral("arm64"));
    QCOMPARE(DependencyService::runtimeArchitecture(QStringLiteral("aarch64")), QStringLiteral("arm64"));
    for (const char* other : { "i386", "riscv64", "power64", "arm", "" })
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
    service.setKnownPaths({ m_dir->filePath(QStringLiteral("none")) });
    QList<DependencyStatus> statuses;
    const CLIResult<DependencyStatus> result = QCoro::waitFor(service.installOllamaIfMissing(
        [&statuses](const DependencyStatus& status) { statuses.append(status); }));
    const QString message
        = QStringLiteral("Ollama is not available for this machine's architecture (riscv64)");
    QVERIFY(!result.ok());
    QCOMPARE(result.error().description(), message);
    QCOMPARE(statuses, QList<DependencyStatus> { DependencyStatus::failed(message) });

    service.setOllamaArchiveURL(QUrl(QStringLiteral("not a url"), QUrl::StrictMode));
    const CLIResult<QString> invalid = QCoro::waitFor(service.downloadOllama({}));
    QVERIFY(!invalid);
    QCOMPARE(invalid.error().description(), QStringLiteral("Invalid Ollama download URL"));
}

QTEST_GUILESS_MAIN(TestRuntimeDownload)
#include "tst_RuntimeDownload.moc"
