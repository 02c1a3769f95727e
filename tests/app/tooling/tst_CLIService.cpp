#include "app/tooling/CLIService.h"
#include "tests/support/TestFiles.h"
#include "tests/support/ChildProcesses.h"
#include "tests/support/TestHome.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <qcorotask.h>

#include <unistd.h>

// The runner against the stand-in tool, a real child process driven by a
// scenario file (QUORVANE_CLI_SCENARIO) that logs every argument list it gets
// (QUORVANE_CLI_LOG).
class TestCLIService : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void locating_data();
    void locating();
    void defaultLocation();
    void runStreamsEventsInOrder();
    void runWorkingDirectory();
    void runFailures_data();
    void runFailures();
    void runCancelled();
    void captureOutput();
    void startChunkMode();
    void startStops_data();
    void startStops();
    void startDestroyedFromCallback();
    void detached_data();
    void detached();
    void missingTool();

private:
    void writeScenario(const QJsonObject& scenario);
    QList<QJsonObject> invocations() const;
    QString writeScript(const QString& name, const QByteArray& body);
    static int childCount();

    QString m_standIn;
    std::unique_ptr<TestHome> m_home;
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestCLIService::initTestCase()
{
    m_standIn = qEnvironmentVariable("QUORVANE_BUILD_DIR") + QStringLiteral("/libexec/quorvane/bin/quorvane");
    QVERIFY2(QFileInfo(m_standIn).isExecutable(), qPrintable(m_standIn));
    qunsetenv("QUORVANE_CLI");
}

void TestCLIService::init()
{
    m_home = std::make_unique<TestHome>();
    m_dir = std::make_unique<QTemporaryDir>();
    qputenv("QUORVANE_CLI_LOG", QFile::encodeName(m_dir->filePath(QStringLiteral("invocations.log"))));
    qunsetenv("QUORVANE_CLI_SCENARIO");
}

void TestCLIService::cleanup()
{
    qunsetenv("QUORVANE_CLI_LOG");
    qunsetenv("QUORVANE_CLI_SCENARIO");
    qunsetenv("QUORVANE_CLI");
    // Whatever a case did, no child of ours may outlive it.
    QTRY_COMPARE(childCount(), 0);
    m_dir.reset();
    m_home.reset();
}

int TestCLIService::childCount()
{
    return childProcessCount();
}

void TestCLIService::writeScenario(const QJsonObject& scenario)
{
    const QString path = m_dir->filePath(QStringLiteral("scenario.json"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(QJsonDocument(scenario).toJson());
    qputenv("QUORVANE_CLI_SCENARIO", QFile::encodeName(path));
}

QList<QJsonObject> TestCLIService::invocations() const
{
    QList<QJsonObject> entries;
    QFile file(m_dir->filePath(QStringLiteral("invocations.log")));
    if (!file.open(QIODevice::ReadOnly))
        return entries;
    for (const QByteArray& line : file.readAll().split('\n')) {
        if (!line.isEmpty())
            entries.append(QJsonDocument::fromJson(line).object());
    }
    return entries;
}

QString TestCLIService::writeScript(const QString& name, const QByteArray& body)
{
    const QString path = m_dir->filePath(name);
    return TestFiles::writeShellScript(path, body) ? path : QString();
}

static QStringList arguments(const QJsonObject& invocation)
{
    QStringList list;
    for (const QJsonValue& value : invocation.value(QLatin1String("args")).toArray())
        list.append(value.toString());
    return list;
}

void TestCLIService::locating_data()
{
    QTest::addColumn<QStringList>("present");    // "x:name" executable, "f:name" plain file, "d:name" folder
    QTest::addColumn<QStringList>("candidates");
    QTest::addColumn<QString>("expected");       // a candidate name, or empty for the fallback

    QTest::newRow("first executable wins") << QStringList{QStringLiteral("x:a"), QStringLiteral("x:b")}
                                           << QStringList{QStringLiteral("a"), QStringLiteral("b")} << QStringLiteral("a");
    QTest::newRow("plain file skipped") << QStringList{QStringLiteral("f:a"), QStringLiteral("x:b")}
                                        << QStringList{QStringLiteral("a"), QStringLiteral("b")} << QStringLiteral("b");
    QTest::newRow("folder skipped") << QStringList{QStringLiteral("d:a"), QStringLiteral("x:c")}
                                    << QStringList{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")}
                                    << QStringLiteral("c");
    QTest::newRow("nothing found") << QStringList{QStringLiteral("f:a")} << QStringList{QStringLiteral("a")}
                                   << QString();
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
    QCOMPARE(QFileInfo(paths[0]).canonicalFilePath(), QFileInfo(m_standIn).canonicalFilePath());
    QCOMPARE(paths.mid(1, 2), (QStringList{QStringLiteral("/usr/local/bin/quorvane"), QStringLiteral("/usr/bin/quorvane")}));
    QCOMPARE(paths[3], m_home->filePath(QStringLiteral(".local/bin/quorvane")));
    QCOMPARE(QFileInfo(CLIService::defaultExecutablePath()).canonicalFilePath(), QFileInfo(m_standIn).canonicalFilePath());
    QCOMPARE(QFileInfo(CLIService().executablePath()).canonicalFilePath(), QFileInfo(m_standIn).canonicalFilePath());

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
    writeScenario({{QStringLiteral("analyze-history"),
                    QJsonObject{{QStringLiteral("steps"), 4}, {QStringLiteral("stepDelayMs"), 0},
                                {QStringLiteral("malformed"), true}, {QStringLiteral("suggestionCount"), 7}}}});
    CLIService service;
    QList<CLIEvent> events;
    const CLIResult<void> result = QCoro::waitFor(service.run({QStringLiteral("analyze-history")}, {},
                                                              [&events](const CLIEvent& e) { events.append(e); }));
    QVERIFY2(result.ok(), qPrintable(result.ok() ? QString() : result.error().description()));

    const QList<QJsonObject> calls = invocations();
    QCOMPARE(calls.size(), 1);
    QCOMPARE(arguments(calls[0]), (QStringList{QStringLiteral("analyze-history"), QStringLiteral("--wizard")}));

    // The malformed lines before the first event gave nothing; the rest in order.
    QStringList types;
    for (const CLIEvent& event : events)
        types.append(event.type);
    QCOMPARE(types, (QStringList{QStringLiteral("progress"), QStringLiteral("progress"), QStringLiteral("progress"),
                                 QStringLiteral("progress"), QStringLiteral("suggestion_count"),
                                 QStringLiteral("complete")}));
    QCOMPARE(events[0].progress, std::optional<double>(0.2));
    QVERIFY(events[0].progress < events[3].progress);
    QCOMPARE(events[4].dataValue(QStringLiteral("count")), QStringLiteral("7"));

    // Caller arguments come first, "--wizard" always last.
    QVERIFY(QCoro::waitFor(service.run({QStringLiteral("analyze-history"), QStringLiteral("--scan-mcp")}, {}, {})).ok());
    QCOMPARE(arguments(invocations().last()), (QStringList{QStringLiteral("analyze-history"), QStringLiteral("--scan-mcp"),
                                                           QStringLiteral("--wizard")}));
}

void TestCLIService::runWorkingDirectory()
{
    writeScenario({{QStringLiteral("defaults"), QJsonObject{{QStringLiteral("stepDelayMs"), 0}}}});
    QVERIFY(QDir().mkpath(m_home->filePath(QStringLiteral("code/my app"))));
    CLIService service;
    QVERIFY(QCoro::waitFor(service.run({QStringLiteral("analyze-history")}, QStringLiteral("~/code/my app"), {})).ok());
    QCOMPARE(QFileInfo(invocations().last().value(QLatin1String("cwd")).toString()).canonicalFilePath(),
             QFileInfo(m_home->filePath(QStringLiteral("code/my app"))).canonicalFilePath());

    QVERIFY(QCoro::waitFor(service.run({QStringLiteral("analyze-history")}, m_dir->path(), {})).ok());
    QCOMPARE(QFileInfo(invocations().last().value(QLatin1String("cwd")).toString()).canonicalFilePath(),
             QFileInfo(m_dir->path()).canonicalFilePath());

    // A folder that does not exist is a launch failure, not a run elsewhere.
    const qsizetype before = invocations().size();
    const CLIResult<void> missing =
        QCoro::waitFor(service.run({QStringLiteral("analyze-history")}, m_dir->filePath(QStringLiteral("gone")), {}));
    QVERIFY(!missing);
    QCOMPARE(missing.error().kind(), CLIError::Kind::launchFailed);
    QCOMPARE(invocations().size(), before);
}

void TestCLIService::runFailures_data()
{
    QTest::addColumn<QJsonObject>("behaviour");
    QTest::addColumn<QString>("description");
    QTest::addColumn<QStringList>("types");

    QTest::newRow("exit 3") << QJsonObject{{QStringLiteral("exitCode"), 3}, {QStringLiteral("stepDelayMs"), 0}}
                            << QStringLiteral("CLI exited with code 3") << QStringList{};
    QTest::newRow("error event then exit 1")
        << QJsonObject{{QStringLiteral("exitCode"), 1}, {QStringLiteral("errorMessage"), QStringLiteral("no history")},
                       {QStringLiteral("failAfterSteps"), 1}, {QStringLiteral("stepDelayMs"), 0}}
        << QStringLiteral("CLI exited with code 1") << QStringList{QStringLiteral("progress"), QStringLiteral("error")};
    QTest::newRow("exit 255") << QJsonObject{{QStringLiteral("exitCode"), 255}, {QStringLiteral("stepDelayMs"), 0}}
                              << QStringLiteral("CLI exited with code 255") << QStringList{};
}

void TestCLIService::runFailures()
{
    QFETCH(QJsonObject, behaviour);
    QFETCH(QString, description);
    QFETCH(QStringList, types);
    writeScenario({{QStringLiteral("analyze-history"), behaviour}});
    CLIService service;
    QStringList seen;
    const CLIResult<void> result = QCoro::waitFor(
        service.run({QStringLiteral("analyze-history")}, {}, [&seen](const CLIEvent& e) { seen.append(e.type); }));
    QVERIFY(!result);
    QCOMPARE(result.error().kind(), CLIError::Kind::nonZeroExit);
    QCOMPARE(result.error().description(), description);
    if (!types.isEmpty())
        QCOMPARE(seen, types);

    // A tool killed by a signal is a failure too, never a success.
    const QString killed = writeScript(QStringLiteral("killed"), "echo '{\"type\":\"progress\"}'\nkill -9 $$\n");
    CLIService dying(nullptr, [killed] { return killed; });
    seen.clear();
    const CLIResult<void> crash = QCoro::waitFor(dying.run({}, {}, [&seen](const CLIEvent& e) { seen.append(e.type); }));
    QVERIFY(!crash);
    QCOMPARE(crash.error().description(), QStringLiteral("CLI exited with code -1"));
    QCOMPARE(seen, QStringList{QStringLiteral("progress")});
}

void TestCLIService::runCancelled()
{
    writeScenario({{QStringLiteral("analyze-history"),
                    QJsonObject{{QStringLiteral("hang"), true}, {QStringLiteral("stepDelayMs"), 0}}}});
    CLIService service;
    CLICancelToken token;
    QStringList seen;
    std::optional<CLIResult<void>> result;
    QCoro::connect(service.run({QStringLiteral("analyze-history")}, {},
                               [&seen](const CLIEvent& e) { seen.append(e.type); }, token),
                   this, [&result](CLIResult<void> r) { result = std::move(r); });
    // The tool prints its first line and then waits.
    QTRY_COMPARE(seen.size(), 1);
    QCOMPARE(childCount(), 1);
    QVERIFY(!result);

    token.cancel();
    QTRY_VERIFY(result.has_value());
    QVERIFY(!result->ok());
    QCOMPARE(result->error().kind(), CLIError::Kind::cancelled);
    QCOMPARE(seen.size(), 1);
    QTRY_COMPARE(childCount(), 0);

    // A token cancelled beforehand starts nothing.
    const qsizetype before = invocations().size();
    const CLIResult<void> early = QCoro::waitFor(service.run({QStringLiteral("analyze-history")}, {}, {}, token));
    QVERIFY(!early);
    QCOMPARE(early.error().kind(), CLIError::Kind::cancelled);
    QCOMPARE(invocations().size(), before);

    // A tool that ignores the terminate request is killed.
    const QString stubborn =
        writeScript(QStringLiteral("stubborn"), "trap '' TERM\necho '{\"type\":\"progress\"}'\nwhile :; do sleep 1; done\n");
    CLIService stubbornService(nullptr, [stubborn] { return stubborn; });
    CLICancelToken second;
    result.reset();
    seen.clear();
    QCoro::connect(stubbornService.run({}, {}, [&seen, second](const CLIEvent& e) {
                       seen.append(e.type);
                       second.cancel(); // cancelling from inside the event callback
                   }, second),
                   this, [&result](CLIResult<void> r) { result = std::move(r); });
    QTRY_VERIFY_WITH_TIMEOUT(result.has_value(), 15000);
    QCOMPARE(result->error().kind(), CLIError::Kind::cancelled);
    QCOMPARE(seen, QStringList{QStringLiteral("progress")});
}

void TestCLIService::captureOutput()
{
    const qint64 size = 3 * 1024 * 1024 + 17;
    writeScenario({{QStringLiteral("version"), QJsonObject{{QStringLiteral("largeOutputBytes"), double(size)},
                                                             {QStringLiteral("text"), QStringLiteral("4.2.0")}}}});
    CLIService service;
    const CLIResult<std::optional<QString>> result = QCoro::waitFor(service.runCapturingOutput({QStringLiteral("--version")}));
    QVERIFY(result.ok());
    QVERIFY(result.value().has_value());
    const QString output = *result.value();
    QCOMPARE(output.size(), size + QStringLiteral("4.2.0\n").size());
    QVERIFY(output.endsWith(QStringLiteral("4.2.0\n")));
    QCOMPARE(arguments(invocations().last()), QStringList{QStringLiteral("--version")});

    // The exit status is not examined.
    writeScenario({{QStringLiteral("version"), QJsonObject{{QStringLiteral("exitCode"), 5},
                                                             {QStringLiteral("errorMessage"), QStringLiteral("broken")}}}});
    const CLIResult<std::optional<QString>> failing = QCoro::waitFor(service.runCapturingOutput({QStringLiteral("--version")}));
    QVERIFY(failing.ok());
    QVERIFY(failing.value()->contains(QStringLiteral("broken")));

    // Output that is not UTF-8 gives no text; standard error is never read.
    const QString binary = writeScript(QStringLiteral("binary"), "printf 'ok\\377\\376'\necho 'noise' >&2\n");
    CLIService binaryService(nullptr, [binary] { return binary; });
    const CLIResult<std::optional<QString>> undecodable = QCoro::waitFor(binaryService.runCapturingOutput({}));
    QVERIFY(undecodable.ok());
    QVERIFY(!undecodable.value().has_value());
    const QString stderrOnly = writeScript(QStringLiteral("stderr"), "echo out\necho err >&2\n");
    CLIService stderrService(nullptr, [stderrOnly] { return stderrOnly; });
    QCOMPARE(QCoro::waitFor(stderrService.runCapturingOutput({})).value(), std::optional<QString>(QStringLiteral("out\n")));
}

void TestCLIService::startChunkMode()
{
    // Every line reaches us in two writes with a pause between them.
    writeScenario({{QStringLiteral("download-model"),
                    QJsonObject{{QStringLiteral("steps"), 3}, {QStringLiteral("stepDelayMs"), 0},
                                {QStringLiteral("splitLines"), true}, {QStringLiteral("splitDelayMs"), 60},
                                {QStringLiteral("malformed"), QJsonArray{QStringLiteral(""), QStringLiteral("   ")}}}}});
    CLIService service;
    QList<CLIEvent> events;
    const CLIResult<std::shared_ptr<CLIProcess>> started = QCoro::waitFor(service.start(
        {QStringLiteral("download-model"), QStringLiteral("--wizard")}, [&events](const CLIEvent& e) { events.append(e); }));
    QVERIFY(started.ok());
    const std::shared_ptr<CLIProcess> handle = started.value();
    QVERIFY(handle->processId() > 0);
    QTRY_VERIFY(handle->isFinished());

    QStringList types;
    for (const CLIEvent& event : events)
        types.append(event.type);
    QCOMPARE(types, (QStringList{QStringLiteral("progress"), QStringLiteral("progress"), QStringLiteral("progress"),
                                 QStringLiteral("complete")}));
    QCOMPARE(events.last().message, std::optional<QString>(QStringLiteral("Model ready")));
    QCOMPARE(events[2].progress, std::optional<double>(1.0));
    // Nothing appended in this mode.
    QCOMPARE(arguments(invocations().last()), (QStringList{QStringLiteral("download-model"), QStringLiteral("--wizard")}));

    // A chunk holding an empty line and then one event line gives exactly one event.
    const QString script = writeScript(QStringLiteral("chunk"), "printf '\\n{\"type\":\"complete\"}\\n'\n");
    CLIService scripted(nullptr, [script] { return script; });
    QList<CLIEvent> single;
    const auto second = QCoro::waitFor(scripted.start({}, [&single](const CLIEvent& e) { single.append(e); }));
    QVERIFY(second.ok());
    QTRY_VERIFY(second.value()->isFinished());
    QCOMPARE(single.size(), 1);
    QCOMPARE(single[0].type, QStringLiteral("complete"));
}

void TestCLIService::startStops_data()
{
    QTest::addColumn<bool>("byDestruction");
    QTest::newRow("terminate()") << false;
    QTest::newRow("handle destroyed") << true;
}

void TestCLIService::startDestroyedFromCallback()
{
    // The caller drops the handle from inside its own event callback.
    writeScenario({{QStringLiteral("download-model"),
                    QJsonObject{{QStringLiteral("hang"), true}, {QStringLiteral("stepDelayMs"), 300}}}});
    CLIService service;
    std::shared_ptr<CLIProcess> holder;
    int events = 0;
    auto started = QCoro::waitFor(service.start({QStringLiteral("download-model"), QStringLiteral("--wizard")},
                                                [&holder, &events](const CLIEvent&) {
                                                    ++events;
                                                    holder.reset();
                                                }));
    QVERIFY(started.ok());
    holder = started.value();
    started = CLIResult<std::shared_ptr<CLIProcess>>(std::shared_ptr<CLIProcess>());
    QTRY_COMPARE(events, 1);
    QVERIFY(!holder);
    QTRY_COMPARE(childCount(), 0);
    QCOMPARE(events, 1);
}

void TestCLIService::startStops()
{
    QFETCH(bool, byDestruction);
    writeScenario({{QStringLiteral("download-model"),
                    QJsonObject{{QStringLiteral("hang"), true}, {QStringLiteral("stepDelayMs"), 0}}}});
    CLIService service;
    int events = 0;
    auto started = QCoro::waitFor(
        service.start({QStringLiteral("download-model"), QStringLiteral("--wizard")}, [&events](const CLIEvent&) { ++events; }));
    QVERIFY(started.ok());
    std::shared_ptr<CLIProcess> handle = started.value();
    QTRY_COMPARE(events, 1);
    QVERIFY(handle->isRunning());
    QCOMPARE(childCount(), 1);

    if (byDestruction) {
        handle.reset();
        started = CLIResult<std::shared_ptr<CLIProcess>>(std::shared_ptr<CLIProcess>());
    } else {
        handle->terminate();
        QTRY_VERIFY(handle->isFinished());
        QCOMPARE(handle->exitStatus(), -1);
    }
    QTRY_COMPARE(childCount(), 0);
    QCOMPARE(events, 1);
}

void TestCLIService::detached_data()
{
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<bool>("folderRemains");
    QTest::newRow("removed") << 0 << false;
    QTest::newRow("denied") << 2 << true;
    QTest::newRow("timed out") << 3 << true;
    QTest::newRow("removed locally") << 4 << false;
    QTest::newRow("failed") << 1 << true;
}

void TestCLIService::detached()
{
    QFETCH(int, exitCode);
    QFETCH(bool, folderRemains);
    const QJsonObject agent{{QStringLiteral("name"), QStringLiteral("claude-work")},
                            {QStringLiteral("machine"), QStringLiteral("desk")},
                            {QStringLiteral("machineId"), QStringLiteral("m_1")},
                            {QStringLiteral("publicKey"), QStringLiteral("pk")},
                            {QStringLiteral("createdAt"), QStringLiteral("2025-01-01T00:00:00Z")},
                            {QStringLiteral("apiUrl"), QStringLiteral("https://api.example")}};
    QVERIFY(m_home->write(QStringLiteral(".quorvane/agents/claude-work/config.json"), QJsonDocument(agent).toJson()));
    writeScenario({{QStringLiteral("unregister"),
                    QJsonObject{{QStringLiteral("exitCode"), exitCode}, {QStringLiteral("stepDelayMs"), 0}}}});
    CLIService service;
    const QStringList args{QStringLiteral("unregister"), QStringLiteral("--agent"), QStringLiteral("claude-work"),
                           QStringLiteral("--force")};
    QCOMPARE(QCoro::waitFor(service.runDetached(args)), exitCode);
    QCOMPARE(arguments(invocations().last()), args);
    QCOMPARE(QFileInfo::exists(m_home->filePath(QStringLiteral(".quorvane/agents/claude-work"))), folderRemains);

    // A tool killed by a signal is reported as a failure (-1), not as its signal number.
    const QString killed = writeScript(QStringLiteral("killed"), "kill -2 $$\nsleep 5\n");
    CLIService dying(nullptr, [killed] { return killed; });
    QCOMPARE(QCoro::waitFor(dying.runDetached({})), -1);
}

void TestCLIService::missingTool()
{
    // With no tool anywhere every mode fails at launch; runDetached says -1.
    CLIService service(nullptr, [this] { return m_dir->filePath(QStringLiteral("no-such-tool")); });
    QCOMPARE(QCoro::waitFor(service.runDetached({QStringLiteral("unregister")})), -1);

    const auto captured = QCoro::waitFor(service.runCapturingOutput({QStringLiteral("--version")}));
    QVERIFY(!captured);
    QCOMPARE(captured.error().kind(), CLIError::Kind::launchFailed);
    QVERIFY(!captured.error().description().isEmpty());

    // Whatever makes the start fail, capturing ends with the launch error, also
    // when a deadline's token is armed (it has no process to terminate).
    QVERIFY(TestFiles::write(m_dir->filePath(QStringLiteral("plain")), "not executable"));
    for (const QString& unstartable : {m_dir->filePath(QStringLiteral("gone/tool")), QStringLiteral("no-such-tool"),
                                       QString(), m_dir->path(), m_dir->filePath(QStringLiteral("plain"))}) {
        CLIService broken(nullptr, [unstartable] { return unstartable; });
        const CLICancelToken deadline;
        QTimer::singleShot(5000, this, [deadline] { deadline.cancel(); });
        const auto result = QCoro::waitFor(broken.runCapturingOutput({QStringLiteral("--version")}, deadline));
        QVERIFY2(!result, qPrintable(unstartable));
        QCOMPARE(result.error().kind(), CLIError::Kind::launchFailed);
        QVERIFY(!deadline.isCancelled());
    }

    const CLIResult<void> run = QCoro::waitFor(service.run({QStringLiteral("init")}, {}, {}));
    QVERIFY(!run);
    QCOMPARE(run.error().kind(), CLIError::Kind::launchFailed);

    const auto started = QCoro::waitFor(service.start({QStringLiteral("download-model")}, {}));
    QVERIFY(!started);
    QCOMPARE(started.error().kind(), CLIError::Kind::launchFailed);

    // Through the dev override, the same.
    qputenv("QUORVANE_CLI", QFile::encodeName(m_dir->filePath(QStringLiteral("no-such-tool"))));
    CLIService overridden;
    QCOMPARE(QCoro::waitFor(overridden.runDetached({})), -1);
}

QTEST_GUILESS_MAIN(TestCLIService)
#include "tst_CLIService.moc"
