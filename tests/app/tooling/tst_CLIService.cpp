#include "tests/app/tooling/CLIServiceFixture.h"

#include <QTimer>

// Finding the product tool, and its runs to the end: events in order, the
// working folder, failures, cancelling, captured output, a missing tool.
class TestCLIService : public CLIServiceTestCase
{
    Q_OBJECT
private Q_SLOTS:
    void locating_data()
    {
        // Per candidate a, b, c: x executable, f plain file, d folder, - none.
        QTest::addColumn<QString>("present");
        QTest::addColumn<QString>("expected"); // a candidate name, or empty for the fallback
        QTest::newRow("first executable wins") << QStringLiteral("xx-") << QStringLiteral("a");
        QTest::newRow("plain file skipped") << QStringLiteral("fx-") << QStringLiteral("b");
        QTest::newRow("folder skipped") << QStringLiteral("d-x") << QStringLiteral("c");
        QTest::newRow("nothing found") << QStringLiteral("f--") << QString();
    }

    void locating()
    {
        QFETCH(QString, present);
        QFETCH(QString, expected);
        QStringList paths;
        for (qsizetype i = 0; i < present.size(); ++i) {
            const QString path = m_dir->filePath(QString(QChar(char16_t(u'a' + i))));
            paths.append(path);
            if (present[i] == u'd')
                QVERIFY(QDir().mkpath(path));
            else if (present[i] != u'-')
                QVERIFY(TestFiles::write(path, {}, present[i] == u'x' ? 0700 : 0600));
        }
        QCOMPARE(CLIService::locate(paths),
            expected.isEmpty() ? QStringLiteral("/usr/local/bin/quorvane") : m_dir->filePath(expected));
    }

    void defaultLocation()
    {
        // The bundled tool beside our own executable comes first, then the fixed folders.
        const QString bundled = QFileInfo(StandInTool::executablePath()).canonicalFilePath();
        const QStringList paths = CLIService::searchPaths();
        QCOMPARE(paths.size(), 4);
        QCOMPARE(QFileInfo(paths[0]).canonicalFilePath(), bundled);
        QCOMPARE(paths.mid(1),
            (QStringList { QStringLiteral("/usr/local/bin/quorvane"), QStringLiteral("/usr/bin/quorvane"),
                m_home->filePath(QStringLiteral(".local/bin/quorvane")) }));
        QCOMPARE(QFileInfo(CLIService().executablePath()).canonicalFilePath(), bundled);

        // The dev override names the tool, whether or not it exists.
        qputenv("QUORVANE_CLI", "/nowhere/quorvane");
        QCOMPARE(CLIService().executableURL(), QUrl::fromLocalFile(QStringLiteral("/nowhere/quorvane")));
        // An injected locator replaces the search.
        CLIService injected(nullptr, [] { return QStringLiteral("/opt/x/quorvane"); });
        QCOMPARE(injected.executablePath(), QStringLiteral("/opt/x/quorvane"));
    }

    void runStreamsEventsInOrder()
    {
        writeScenario(QStringLiteral("analyze-history"),
            { { QStringLiteral("steps"), 4 }, { QStringLiteral("stepDelayMs"), 0 },
                { QStringLiteral("malformed"), true }, { QStringLiteral("suggestionCount"), 7 } });
        CLIService service;
        QList<CLIEvent> events;
        const CLIResult<void> result = QCoro::waitFor(service.run(
            { QStringLiteral("analyze-history") }, {}, [&events](const CLIEvent& e) { events.append(e); }));
        QVERIFY2(result.ok(), qPrintable(result.ok() ? QString() : result.error().description()));
        QCOMPARE(m_tool->runs().size(), 1);
        QCOMPARE(m_tool->runs()[0].arguments,
            (QStringList { QStringLiteral("analyze-history"), QStringLiteral("--wizard") }));

        // The malformed lines before the first event gave nothing; the rest in order.
        QCOMPARE(typesOf(events),
            (QStringList { QStringLiteral("progress"), QStringLiteral("progress"), QStringLiteral("progress"),
                QStringLiteral("progress"), QStringLiteral("suggestion_count"),
                QStringLiteral("complete") }));
        QCOMPARE(events[0].progress, std::optional<double>(0.2));
        QVERIFY(events[0].progress < events[3].progress);
        QCOMPARE(events[4].dataValue(QStringLiteral("count")), QStringLiteral("7"));

        // Caller arguments come first, "--wizard" always last.
        QVERIFY(QCoro::waitFor(
            service.run({ QStringLiteral("analyze-history"), QStringLiteral("--scan-mcp") }, {}, {}))
                    .ok());
        QCOMPARE(m_tool->runs().last().arguments,
            (QStringList { QStringLiteral("analyze-history"), QStringLiteral("--scan-mcp"),
                QStringLiteral("--wizard") }));
    }

    void runWorkingDirectory()
    {
        writeScenario(
            { { QStringLiteral("defaults"), QJsonObject { { QStringLiteral("stepDelayMs"), 0 } } } });
        QVERIFY(QDir().mkpath(m_home->filePath(QStringLiteral("code/my app"))));
        CLIService service;
        const QStringList args { QStringLiteral("analyze-history") };
        QVERIFY(QCoro::waitFor(service.run(args, QStringLiteral("~/code/my app"), {})).ok());
        QCOMPARE(QFileInfo(m_tool->runs().last().workingDirectory).canonicalFilePath(),
            QFileInfo(m_home->filePath(QStringLiteral("code/my app"))).canonicalFilePath());

        // A folder that does not exist is a launch failure, not a run elsewhere.
        const CLIResult<void> missing
            = QCoro::waitFor(service.run(args, m_dir->filePath(QStringLiteral("gone")), {}));
        QVERIFY(!missing);
        QCOMPARE(missing.error().kind(), CLIError::Kind::launchFailed);
        QCOMPARE(m_tool->runs().size(), 1);
    }

    void runFailures_data()
    {
        QTest::addColumn<QJsonObject>("behaviour");
        QTest::addColumn<QByteArray>("script"); // instead of the stand-in, when set
        QTest::addColumn<QString>("description");
        QTest::addColumn<QStringList>("types");
        const QString progress = QStringLiteral("progress");
        QTest::newRow("exit 3") << QJsonObject { { QStringLiteral("exitCode"), 3 } } << QByteArray()
                                << QStringLiteral("CLI exited with code 3") << QStringList {};
        QTest::newRow("error event then exit 1") << QJsonObject { { QStringLiteral("exitCode"), 1 },
            { QStringLiteral("errorMessage"), QStringLiteral("no history") },
            { QStringLiteral("failAfterSteps"), 1 } }
                                                 << QByteArray() << QStringLiteral("CLI exited with code 1")
                                                 << QStringList { progress, QStringLiteral("error") };
        // A tool killed by a signal is a failure too, never a success.
        QTest::newRow("killed by a signal")
            << QJsonObject() << QByteArray("echo '{\"type\":\"progress\"}'\nkill -9 $$\n")
            << QStringLiteral("CLI exited with code -1") << QStringList { progress };
    }

    void runFailures()
    {
        QFETCH(QJsonObject, behaviour);
        QFETCH(QByteArray, script);
        QFETCH(QString, description);
        QFETCH(QStringList, types);
        behaviour.insert(QStringLiteral("stepDelayMs"), 0);
        writeScenario(QStringLiteral("analyze-history"), behaviour);
        const QString tool = script.isEmpty() ? StandInTool::executablePath()
                                              : writeScript(QStringLiteral("failing"), script);
        CLIService service(nullptr, [tool] { return tool; });
        QList<CLIEvent> seen;
        const CLIResult<void> result = QCoro::waitFor(service.run(
            { QStringLiteral("analyze-history") }, {}, [&seen](const CLIEvent& e) { seen.append(e); }));
        QVERIFY(!result);
        QCOMPARE(result.error().kind(), CLIError::Kind::nonZeroExit);
        QCOMPARE(result.error().description(), description);
        if (!types.isEmpty())
            QCOMPARE(typesOf(seen), types);
    }

    void runCancelled_data()
    {
        QTest::addColumn<bool>("stubborn");
        QTest::newRow("tool that ends when asked") << false;
        // Cancelled from inside the event callback; the tool is killed in the end.
        QTest::newRow("tool that ignores SIGTERM") << true;
    }

    void runCancelled()
    {
        QFETCH(bool, stubborn);
        writeScenario(QStringLiteral("analyze-history"),
            { { QStringLiteral("hang"), true }, { QStringLiteral("ignoreTerminate"), stubborn },
                { QStringLiteral("stepDelayMs"), 0 } });
        CLIService service;
        CLICancelToken token;
        QStringList seen;
        std::optional<CLIResult<void>> result;
        const CLIService::EventHandler onEvent = [&seen, stubborn, token](const CLIEvent& e) {
            seen.append(e.type);
            if (stubborn)
                token.cancel();
        };
        QCoro::connect(service.run({ QStringLiteral("analyze-history") }, {}, onEvent, token), this,
            [&result](CLIResult<void> r) { result = std::move(r); });
        // The tool prints its first line and then waits.
        QTRY_COMPARE(seen.size(), 1);
        if (!stubborn) {
            QCOMPARE(childProcessCount(), 1);
            QVERIFY(!result);
            token.cancel();
        }
        QTRY_VERIFY_WITH_TIMEOUT(result.has_value(), 15000);
        QCOMPARE(result->error().kind(), CLIError::Kind::cancelled);
        QCOMPARE(seen.size(), 1);
        QTRY_COMPARE(childProcessCount(), 0);

        // A token cancelled beforehand starts nothing.
        const CLIResult<void> early
            = QCoro::waitFor(service.run({ QStringLiteral("analyze-history") }, {}, {}, token));
        QVERIFY(!early);
        QCOMPARE(early.error().kind(), CLIError::Kind::cancelled);
        QCOMPARE(m_tool->runs().size(), 1);
    }

    void captureOutput()
    {
        const qint64 size = 3 * 1024 * 1024 + 17;
        writeScenario(QStringLiteral("version"),
            { { QStringLiteral("largeOutputBytes"), double(size) },
                { QStringLiteral("text"), QStringLiteral("4.2.0") } });
        CLIService service;
        const QStringList version { QStringLiteral("--version") };
        const CLIResult<std::optional<QString>> result = QCoro::waitFor(service.runCapturingOutput(version));
        QVERIFY(result.ok() && result.value().has_value());
        QCOMPARE(result.value()->size(), size + QStringLiteral("4.2.0\n").size());
        QVERIFY(result.value()->endsWith(QStringLiteral("4.2.0\n")));
        QCOMPARE(m_tool->runs().last().arguments, version);

        // The exit status is not examined.
        writeScenario(QStringLiteral("version"),
            { { QStringLiteral("exitCode"), 5 },
                { QStringLiteral("errorMessage"), QStringLiteral("broken") } });
        const CLIResult<std::optional<QString>> failing = QCoro::waitFor(service.runCapturingOutput(version));
        QVERIFY(failing.ok());
        QVERIFY(failing.value()->contains(QStringLiteral("broken")));

        // Output that is not UTF-8 gives no text; standard error is never read.
        const QString binary = writeScript(QStringLiteral("binary"), "printf 'ok\\377\\376'\n");
        const CLIResult<std::optional<QString>> undecodable
            = QCoro::waitFor(CLIService(nullptr, [binary] { return binary; }).runCapturingOutput({}));
        QVERIFY(undecodable.ok());
        QVERIFY(!undecodable.value().has_value());
        const QString stderrToo = writeScript(QStringLiteral("stderr"), "echo out\necho err >&2\n");
        QCOMPARE(QCoro::waitFor(CLIService(nullptr, [stderrToo] { return stderrToo; }).runCapturingOutput({}))
                     .value(),
            std::optional<QString>(QStringLiteral("out\n")));
    }

    void missingTool()
    {
        // Whatever makes the start fail, every mode fails at launch (runDetached
        // says -1), also when a deadline's token is armed (it has no process to
        // terminate).
        QVERIFY(TestFiles::write(m_dir->filePath(QStringLiteral("plain")), "not executable"));
        for (const QString& unstartable :
            { m_dir->filePath(QStringLiteral("gone/tool")), QStringLiteral("no-such-tool"), QString(),
                m_dir->path(), m_dir->filePath(QStringLiteral("plain")) }) {
            CLIService broken(nullptr, [unstartable] { return unstartable; });
            const CLICancelToken deadline;
            QTimer::singleShot(5000, this, [deadline] { deadline.cancel(); });
            const auto captured
                = QCoro::waitFor(broken.runCapturingOutput({ QStringLiteral("--version") }, deadline));
            QVERIFY2(!captured, qPrintable(unstartable));
            QCOMPARE(captured.error().kind(), CLIError::Kind::launchFailed);
            QVERIFY(!captured.error().description().isEmpty());
            QVERIFY(!deadline.isCancelled());
            QCOMPARE(QCoro::waitFor(broken.runDetached({ QStringLiteral("unregister") })), -1);
            const CLIResult<void> run = QCoro::waitFor(broken.run({ QStringLiteral("init") }, {}, {}));
            QVERIFY(!run);
            QCOMPARE(run.error().kind(), CLIError::Kind::launchFailed);
            QCOMPARE(QCoro::waitFor(broken.start({ QStringLiteral("download-model") }, {})).error().kind(),
                CLIError::Kind::launchFailed);
        }

        // Through the dev override, the same.
        qputenv("QUORVANE_CLI", QFile::encodeName(m_dir->filePath(QStringLiteral("no-such-tool"))));
        QCOMPARE(QCoro::waitFor(CLIService().runDetached({})), -1);
    }
};

QTEST_GUILESS_MAIN(TestCLIService)
#include "tst_CLIService.moc"
