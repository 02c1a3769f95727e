#include "tests/app/tooling/CLIServiceFixture.h"

// Finding the product tool, and its runs to the end: events in order, the
// working folder, failures, cancelling, captured output, a missing tool.
class TestCLIService : public QObject, private CLIServiceFixture
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { checkStandIn(); }
    void init() { setUp(); }
    void cleanup() { tearDown(); }
    void locating_data();
    void locating();
    void defaultLocation();
    void runStreamsEventsInOrder();
    void runWorkingDirectory();
    void runFailures_data();
    void runFailures();
    void runCancelled();
    void captureOutput();
    void missingTool();
};

void TestCLIService::locating_data()
{
    QTest::addColumn<QStringList>("present"); // "x:name" executable, "f:name" plain file, "d:name" folder
    QTest::addColumn<QStringList>("candidates");
    QTest::addColumn<QString>("expected"); // a candidate name, or empty for the fallback

    QTest::newRow("first executable wins")
        << QStringList { QStringLiteral("x:a"), QStringLiteral("x:b") }
        << QStringList { QStringLiteral("a"), QStringLiteral("b") } << QStringLiteral("a");
    QTest::newRow("plain file skipped")
        << QStringList { QStringLiteral("f:a"), QStringLiteral("x:b") }
        << QStringList { QStringLiteral("a"), QStringLiteral("b") } << QStringLiteral("b");
    QTest::newRow("folder skipped") << QStringList { QStringLiteral("d:a"), QStringLiteral("x:c") }
                                    << QStringList { QStringLiteral("a"), QStringLiteral("b"),
                                           QStringLiteral("c") }
                                    << QStringLiteral("c");
    QTest::newRow("nothing found") << QStringList { QStringLiteral("f:a") }
                                   << QStringList { QStringLiteral("a") } << QString();
}

void TestCLIService::locating()
{
    QFETCH(QStringList, present);
    QFETCH(QStringList, candidates);
    QFETCH(QString, expected);
    for (const QString& spec : present) {
        const QString path = m_dir->filePath(spec.mid(2));
        if (spec.startsWith(u'd')) {
            QVERIFY(QDir().mkpath(path));
            continue;
        }
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        if (spec.startsWith(u'x'))
            file.setPermissions(QFile::ReadOwner | QFile::ExeOwner);
    }
    QStringList paths;
    for (const QString& name : candidates)
        paths.append(m_dir->filePath(name));
    QCOMPARE(CLIService::locate(paths),
        expected.isEmpty() ? QStringLiteral("/usr/local/bin/quorvane") : m_dir->filePath(expected));
}

void TestCLIService::defaultLocation()
{
    // The bundled tool beside our own executable comes first, then the fixed folders.
    const QStringList paths = CLIService::searchPaths();
    QCOMPARE(paths.size(), 4);
    QCOMPARE(QFileInfo(paths[0]).canonicalFilePath(),
        QFileInfo(StandInTool::executablePath()).canonicalFilePath());
    QCOMPARE(paths.mid(1, 2),
        (QStringList { QStringLiteral("/usr/local/bin/quorvane"), QStringLiteral("/usr/bin/quorvane") }));
    QCOMPARE(paths[3], m_home->filePath(QStringLiteral(".local/bin/quorvane")));
    QCOMPARE(QFileInfo(CLIService::defaultExecutablePath()).canonicalFilePath(),
        QFileInfo(StandInTool::executablePath()).canonicalFilePath());
    QCOMPARE(QFileInfo(CLIService().executablePath()).canonicalFilePath(),
        QFileInfo(StandInTool::executablePath()).canonicalFilePath());

    // The dev override names the tool, whether or not it exists.
    qputenv("QUORVANE_CLI", "/nowhere/quorvane");
    QCOMPARE(CLIService::defaultExecutablePath(), QStringLiteral("/nowhere/quorvane"));
    QCOMPARE(CLIService().executableURL(), QUrl::fromLocalFile(QStringLiteral("/nowhere/quorvane")));
    // An injected locator replaces the search.
    CLIService injected(nullptr, [] { return QStringLiteral("/opt/x/quorvane"); });
    QCOMPARE(injected.executablePath(), QStringLiteral("/opt/x/quorvane"));
}

void TestCLIService::runStreamsEventsInOrder()
{
    writeScenario({ { QStringLiteral("analyze-history"),
        QJsonObject { { QStringLiteral("steps"), 4 }, { QStringLiteral("stepDelayMs"), 0 },
            { QStringLiteral("malformed"), true }, { QStringLiteral("suggestionCount"), 7 } } } });
    CLIService service;
    QList<CLIEvent> events;
    const CLIResult<void> result = QCoro::waitFor(service.run(
        { QStringLiteral("analyze-history") }, {}, [&events](const CLIEvent& e) { events.append(e); }));
    QVERIFY2(result.ok(), qPrintable(result.ok() ? QString() : result.error().description()));

    const QList<StandInTool::Run> calls = m_tool->runs();
    QCOMPARE(calls.size(), 1);
    QCOMPARE(
        calls[0].arguments, (QStringList { QStringLiteral("analyze-history"), QStringLiteral("--wizard") }));

    // The malformed lines before the first event gave nothing; the rest in order.
    QStringList types;
    for (const CLIEvent& event : events)
        types.append(event.type);
    QCOMPARE(types,
        (QStringList { QStringLiteral("progress"), QStringLiteral("progress"), QStringLiteral("progress"),
            QStringLiteral("progress"), QStringLiteral("suggestion_count"), QStringLiteral("complete") }));
    QCOMPARE(events[0].progress, std::optional<double>(0.2));
    QVERIFY(events[0].progress < events[3].progress);
    QCOMPARE(events[4].dataValue(QStringLiteral("count")), QStringLiteral("7"));

    // Caller arguments come first, "--wizard" always last.
    QVERIFY(QCoro::waitFor(
        service.run({ QStringLiteral("analyze-history"), QStringLiteral("--scan-mcp") }, {}, {}))
                .ok());
    QCOMPARE(m_tool->runs().last().arguments,
        (QStringList {
            QStringLiteral("analyze-history"), QStringLiteral("--scan-mcp"), QStringLiteral("--wizard") }));
}

void TestCLIService::runWorkingDirectory()
{
    writeScenario({ { QStringLiteral("defaults"), QJsonObject { { QStringLiteral("stepDelayMs"), 0 } } } });
    QVERIFY(QDir().mkpath(m_home->filePath(QStringLiteral("code/my app"))));
    CLIService service;
    QVERIFY(QCoro::waitFor(
        service.run({ QStringLiteral("analyze-history") }, QStringLiteral("~/code/my app"), {}))
                .ok());
    QCOMPARE(QFileInfo(m_tool->runs().last().workingDirectory).canonicalFilePath(),
        QFileInfo(m_home->filePath(QStringLiteral("code/my app"))).canonicalFilePath());

    QVERIFY(QCoro::waitFor(service.run({ QStringLiteral("analyze-history") }, m_dir->path(), {})).ok());
    QCOMPARE(QFileInfo(m_tool->runs().last().workingDirectory).canonicalFilePath(),
        QFileInfo(m_dir->path()).canonicalFilePath());

    // A folder that does not exist is a launch failure, not a run elsewhere.
    const qsizetype before = m_tool->runs().size();
    const CLIResult<void> missing = QCoro::waitFor(
        service.run({ QStringLiteral("analyze-history") }, m_dir->filePath(QStringLiteral("gone")), {}));
    QVERIFY(!missing);
    QCOMPARE(missing.error().kind(), CLIError::Kind::launchFailed);
    QCOMPARE(m_tool->runs().size(), before);
}

void TestCLIService::runFailures_data()
{
    QTest::addColumn<QJsonObject>("behaviour");
    QTest::addColumn<QString>("description");
    QTest::addColumn<QStringList>("types");

    QTest::newRow("exit 3") << QJsonObject { { QStringLiteral("exitCode"), 3 },
        { QStringLiteral("stepDelayMs"), 0 } }
                            << QStringLiteral("CLI exited with code 3") << QStringList {};
    QTest::newRow("error event then exit 1")
        << QJsonObject { { QStringLiteral("exitCode"), 1 },
               { QStringLiteral("errorMessage"), QStringLiteral("no history") },
               { QStringLiteral("failAfterSteps"), 1 }, { QStringLiteral("stepDelayMs"), 0 } }
        << QStringLiteral("CLI exited with code 1")
        << QStringList { QStringLiteral("progress"), QStringLiteral("error") };
}

void TestCLIService::runFailures()
{
    QFETCH(QJsonObject, behaviour);
    QFETCH(QString, description);
    QFETCH(QStringList, types);
    writeScenario({ { QStringLiteral("analyze-history"), behaviour } });
    CLIService service;
    QStringList seen;
    const CLIResult<void> result = QCoro::waitFor(service.run(
        { QStringLiteral("analyze-history") }, {}, [&seen](const CLIEvent& e) { seen.append(e.type); }));
    QVERIFY(!result);
    QCOMPARE(result.error().kind(), CLIError::Kind::nonZeroExit);
    QCOMPARE(result.error().description(), description);
    if (!types.isEmpty())
        QCOMPARE(seen, types);

    // A tool killed by a signal is a failure too, never a success.
    const QString killed
        = writeScript(QStringLiteral("killed"), "echo '{\"type\":\"progress\"}'\nkill -9 $$\n");
    CLIService dying(nullptr, [killed] { return killed; });
    seen.clear();
    const CLIResult<void> crash
        = QCoro::waitFor(dying.run({}, {}, [&seen](const CLIEvent& e) { seen.append(e.type); }));
    QVERIFY(!crash);
    QCOMPARE(crash.error().description(), QStringLiteral("CLI exited with code -1"));
    QCOMPARE(seen, QStringList { QStringLiteral("progress") });
}

void TestCLIService::runCancelled()
{
    writeScenario({ { QStringLiteral("analyze-history"),
        QJsonObject { { QStringLiteral("hang"), true }, { QStringLiteral("stepDelayMs"), 0 } } } });
    CLIService service;
    CLICancelToken token;
    QStringList seen;
    std::optional<CLIResult<void>> result;
    QCoro::connect(service.run(
                       { QStringLiteral("analyze-history") }, {},
                       [&seen](const CLIEvent& e) { seen.append(e.type); }, token),
        this, [&result](CLIResult<void> r) { result = std::move(r); });
    // The tool prints its first line and then waits.
    QTRY_COMPARE(seen.size(), 1);
    QCOMPARE(childProcessCount(), 1);
    QVERIFY(!result);

    token.cancel();
    QTRY_VERIFY(result.has_value());
    QVERIFY(!result->ok());
    QCOMPARE(result->error().kind(), CLIError::Kind::cancelled);
    QCOMPARE(seen.size(), 1);
    QTRY_COMPARE(childProcessCount(), 0);

    // A token cancelled beforehand starts nothing.
    const qsizetype before = m_tool->runs().size();
    const CLIResult<void> early
        = QCoro::waitFor(service.run({ QStringLiteral("analyze-history") }, {}, {}, token));
    QVERIFY(!early);
    QCOMPARE(early.error().kind(), CLIError::Kind::cancelled);
    QCOMPARE(m_tool->runs().size(), before);

    // A tool that ignores the terminate request is killed.
    const QString stubborn = writeScript(QStringLiteral("stubborn"),
        "trap '' TERM\necho '{\"type\":\"progress\"}'\nwhile :; do sleep 1; done\n");
    CLIService stubbornService(nullptr, [stubborn] { return stubborn; });
    CLICancelToken second;
    result.reset();
    seen.clear();
    QCoro::connect(stubbornService.run(
                       {}, {},
                       [&seen, second](const CLIEvent& e) {
                           seen.append(e.type);
                           second.cancel(); // cancelling from inside the event callback
                       },
                       second),
        this, [&result](CLIResult<void> r) { result = std::move(r); });
    QTRY_VERIFY_WITH_TIMEOUT(result.has_value(), 15000);
    QCOMPARE(result->error().kind(), CLIError::Kind::cancelled);
    QCOMPARE(seen, QStringList { QStringLiteral("progress") });
}

void TestCLIService::captureOutput()
{
    const qint64 size = 3 * 1024 * 1024 + 17;
    writeScenario({ { QStringLiteral("version"),
        QJsonObject { { QStringLiteral("largeOutputBytes"), double(size) },
            { QStringLiteral("text"), QStringLiteral("4.2.0") } } } });
    CLIService service;
    const CLIResult<std::optional<QString>> result
        = QCoro::waitFor(service.runCapturingOutput({ QStringLiteral("--version") }));
    QVERIFY(result.ok());
    QVERIFY(result.value().has_value());
    const QString output = *result.value();
    QCOMPARE(output.size(), size + QStringLiteral("4.2.0\n").size());
    QVERIFY(output.endsWith(QStringLiteral("4.2.0\n")));
    QCOMPARE(m_tool->runs().last().arguments, QStringList { QStringLiteral("--version") });

    // The exit status is not examined.
    writeScenario({ { QStringLiteral("version"),
        QJsonObject { { QStringLiteral("exitCode"), 5 },
            { QStringLiteral("errorMessage"), QStringLiteral("broken") } } } });
    const CLIResult<std::optional<QString>> failing
        = QCoro::waitFor(service.runCapturingOutput({ QStringLiteral("--version") }));
    QVERIFY(failing.ok());
    QVERIFY(failing.value()->contains(QStringLiteral("broken")));

    // Output that is not UTF-8 gives no text; standard error is never read.
    const QString binary = writeScript(QStringLiteral("binary"), "printf 'ok\\377\\376'\necho 'noise' >&2\n");
    CLIService binaryService(nullptr, [binary] { return binary; });
    const CLIResult<std::optional<QString>> undecodable
        = QCoro::waitFor(binaryService.runCapturingOutput({}));
    QVERIFY(undecodable.ok());
    QVERIFY(!undecodable.value().has_value());
    const QString stderrOnly = writeScript(QStringLiteral("stderr"), "echo out\necho err >&2\n");
    CLIService stderrService(nullptr, [stderrOnly] { return stderrOnly; });
    QCOMPARE(QCoro::waitFor(stderrService.runCapturingOutput({})).value(),
        std::optional<QString>(QStringLiteral("out\n")));
}

void TestCLIService::missingTool()
{
    // With no tool anywhere every mode fails at launch; runDetached says -1.
    CLIService service(nullptr, [this] { return m_dir->filePath(QStringLiteral("no-such-tool")); });
    QCOMPARE(QCoro::waitFor(service.runDetached({ QStringLiteral("unregister") })), -1);

    const auto captured = QCoro::waitFor(service.runCapturingOutput({ QStringLiteral("--version") }));
    QVERIFY(!captured);
    QCOMPARE(captured.error().kind(), CLIError::Kind::launchFailed);
    QVERIFY(!captured.error().description().isEmpty());

    // Whatever makes the start fail, capturing ends with the launch error, also
    // when a deadline's token is armed (it has no process to terminate).
    QVERIFY(TestFiles::write(m_dir->filePath(QStringLiteral("plain")), "not executable"));
    for (const QString& unstartable :
        { m_dir->filePath(QStringLiteral("gone/tool")), QStringLiteral("no-such-tool"), QString(),
            m_dir->path(), m_dir->filePath(QStringLiteral("plain")) }) {
        CLIService broken(nullptr, [unstartable] { return unstartable; });
        const CLICancelToken deadline;
        QTimer::singleShot(5000, this, [deadline] { deadline.cancel(); });
        const auto result
            = QCoro::waitFor(broken.runCapturingOutput({ QStringLiteral("--version") }, deadline));
        QVERIFY2(!result, qPrintable(unstartable));
        QCOMPARE(result.error().kind(), CLIError::Kind::launchFailed);
        QVERIFY(!deadline.isCancelled());
    }

    const CLIResult<void> run = QCoro::waitFor(service.run({ QStringLiteral("init") }, {}, {}));
    QVERIFY(!run);
    QCOMPARE(run.error().kind(), CLIError::Kind::launchFailed);

    const auto started = QCoro::waitFor(service.start({ QStringLiteral("download-model") }, {}));
    QVERIFY(!started);
    QCOMPARE(started.error().kind(), CLIError::Kind::launchFailed);

    // Through the dev override, the same.
    qputenv("QUORVANE_CLI", QFile::encodeName(m_dir->filePath(QStringLiteral("no-such-tool"))));
    CLIService overridden;
    QCOMPARE(QCoro::waitFor(overridden.runDetached({})), -1);
}

QTEST_GUILESS_MAIN(TestCLIService)
#include "tst_CLIService.moc"
