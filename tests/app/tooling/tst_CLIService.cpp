#include "tests/app/tooling/CLIServiceFixture.h"

#include <QProcess>
#include <QTimer>

// Finding the product tool, and its runs to the end: events in order, the
// working folder, failures, cancelling, captured output, a missing tool; and
// the commands run with privileges through pkexec.
class TestCLIService : public CLIServiceTestCase
{
    Q_OBJECT
private Q_SLOTS:
    void locating_data()
    {
        // Per candidate a, b, c: x executable, f plain file, d folder, - none.
        QTest::addColumn<QString>("present");
        QTest::addColumn<QString>("expected"); // a candidate name, or empty for the fallback
        QTest::newRow("first executable wins") << u"xx-"_s << u"a"_s;
        QTest::newRow("plain file skipped") << u"fx-"_s << u"b"_s;
        QTest::newRow("folder skipped") << u"d-x"_s << u"c"_s;
        QTest::newRow("nothing found") << u"f--"_s << QString();
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
            expected.isEmpty() ? u"/usr/local/bin/quorvane"_s : m_dir->filePath(expected));
    }

    void defaultLocation()
    {
        // The bundled tool beside our own executable comes first, then the fixed folders.
        const QString bundled = QFileInfo(StandInTool::executablePath()).canonicalFilePath();
        const QStringList paths = CLIService::searchPaths();
        QCOMPARE(paths.size(), 4);
        QCOMPARE(QFileInfo(paths[0]).canonicalFilePath(), bundled);
        QCOMPARE(paths.mid(1),
            (QStringList { u"/usr/local/bin/quorvane"_s, u"/usr/bin/quorvane"_s,
                m_home->filePath(u".local/bin/quorvane"_s) }));
        QCOMPARE(QFileInfo(CLIService().executablePath()).canonicalFilePath(), bundled);

        // The dev override names the tool, whether or not it exists.
        qputenv("QUORVANE_CLI", "/nowhere/quorvane");
        QCOMPARE(CLIService().executableURL(), QUrl::fromLocalFile(u"/nowhere/quorvane"_s));
        // An injected locator replaces the search.
        CLIService injected(nullptr, [] { return u"/opt/x/quorvane"_s; });
        QCOMPARE(injected.executablePath(), u"/opt/x/quorvane"_s);
    }

    void runStreamsEventsInOrder()
    {
        writeScenario(u"analyze-history"_s,
            { { u"steps"_s, 4 }, { u"stepDelayMs"_s, 0 }, { u"malformed"_s, true },
                { u"suggestionCount"_s, 7 } });
        CLIService service;
        QList<CLIEvent> events;
        const CLIResult<void> result = QCoro::waitFor(
            service.run({ u"analyze-history"_s }, {}, [&events](const CLIEvent& e) { events.append(e); }));
        QVERIFY2(result.ok(), qPrintable(result.ok() ? QString() : result.error().description()));
        QCOMPARE(m_tool->runs().size(), 1);
        QCOMPARE(m_tool->runs()[0].arguments, (QStringList { u"analyze-history"_s, u"--wizard"_s }));

        // The malformed lines before the first event gave nothing; the rest in order.
        QCOMPARE(typesOf(events),
            (QStringList { u"progress"_s, u"progress"_s, u"progress"_s, u"progress"_s, u"suggestion_count"_s,
                u"complete"_s }));
        QCOMPARE(events[0].progress, std::optional<double>(0.2));
        QVERIFY(events[0].progress < events[3].progress);
        QCOMPARE(events[4].dataValue(u"count"_s), u"7"_s);

        // Caller arguments come first, "--wizard" always last.
        QVERIFY(QCoro::waitFor(service.run({ u"analyze-history"_s, u"--scan-mcp"_s }, {}, {})).ok());
        QCOMPARE(m_tool->runs().last().arguments,
            (QStringList { u"analyze-history"_s, u"--scan-mcp"_s, u"--wizard"_s }));
    }

    void runWorkingDirectory()
    {
        writeScenario({ { u"defaults"_s, QJsonObject { { u"stepDelayMs"_s, 0 } } } });
        QVERIFY(QDir().mkpath(m_home->filePath(u"code/my app"_s)));
        CLIService service;
        const QStringList args { u"analyze-history"_s };
        QVERIFY(QCoro::waitFor(service.run(args, u"~/code/my app"_s, {})).ok());
        QCOMPARE(QFileInfo(m_tool->runs().last().workingDirectory).canonicalFilePath(),
            QFileInfo(m_home->filePath(u"code/my app"_s)).canonicalFilePath());

        // A folder that does not exist is a launch failure, not a run elsewhere.
        const CLIResult<void> missing = QCoro::waitFor(service.run(args, m_dir->filePath(u"gone"_s), {}));
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
        const QString progress = u"progress"_s;
        QTest::newRow("exit 3") << QJsonObject { { u"exitCode"_s, 3 } } << QByteArray()
                                << u"CLI exited with code 3"_s << QStringList {};
        QTest::newRow("error event then exit 1")
            << QJsonObject { { u"exitCode"_s, 1 }, { u"errorMessage"_s, u"no history"_s },
                   { u"failAfterSteps"_s, 1 } }
            << QByteArray() << u"CLI exited with code 1"_s << QStringList { progress, u"error"_s };
        // A tool killed by a signal is a failure too (-1 in every mode), never a success.
        QTest::newRow("killed by a signal")
            << QJsonObject() << QByteArray("echo '{\"type\":\"progress\"}'\nkill -9 $$\n")
            << u"CLI exited with code -1"_s << QStringList { progress };
    }

    void runFailures()
    {
        QFETCH(QJsonObject, behaviour);
        QFETCH(QByteArray, script);
        QFETCH(QString, description);
        QFETCH(QStringList, types);
        behaviour.insert(u"stepDelayMs"_s, 0);
        writeScenario(u"analyze-history"_s, behaviour);
        const QString tool
            = script.isEmpty() ? StandInTool::executablePath() : writeScript(u"failing"_s, script);
        CLIService service(nullptr, [tool] { return tool; });
        QList<CLIEvent> seen;
        const CLIResult<void> result = QCoro::waitFor(
            service.run({ u"analyze-history"_s }, {}, [&seen](const CLIEvent& e) { seen.append(e); }));
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
        writeScenario(u"analyze-history"_s,
            { { u"hang"_s, true }, { u"ignoreTerminate"_s, stubborn }, { u"stepDelayMs"_s, 0 } });
        CLIService service;
        CLICancelToken token;
        QStringList seen;
        std::optional<CLIResult<void>> result;
        const CLIService::EventHandler onEvent = [&seen, stubborn, token](const CLIEvent& e) {
            seen.append(e.type);
            if (stubborn)
                token.cancel();
        };
        QCoro::connect(service.run({ u"analyze-history"_s }, {}, onEvent, token), this,
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
        const CLIResult<void> early = QCoro::waitFor(service.run({ u"analyze-history"_s }, {}, {}, token));
        QVERIFY(!early);
        QCOMPARE(early.error().kind(), CLIError::Kind::cancelled);
        QCOMPARE(m_tool->runs().size(), 1);
    }

    void captureOutput()
    {
        const qint64 size = 3 * 1024 * 1024 + 17;
        writeScenario(u"version"_s, { { u"largeOutputBytes"_s, double(size) }, { u"text"_s, u"4.2.0"_s } });
        CLIService service;
        const QStringList version { u"--version"_s };
        const CLIResult<std::optional<QString>> result = QCoro::waitFor(service.runCapturingOutput(version));
        QVERIFY(result.ok() && result.value().has_value());
        QCOMPARE(result.value()->size(), size + u"4.2.0\n"_s.size());
        QVERIFY(result.value()->endsWith(u"4.2.0\n"_s));
        QCOMPARE(m_tool->runs().last().arguments, version);

        // The exit status is not examined.
        writeScenario(u"version"_s, { { u"exitCode"_s, 5 }, { u"errorMessage"_s, u"broken"_s } });
        const CLIResult<std::optional<QString>> failing = QCoro::waitFor(service.runCapturingOutput(version));
        QVERIFY(failing.ok());
        QVERIFY(failing.value()->contains(u"broken"_s));

        // Output that is not UTF-8 gives no text; standard error is never read.
        const QString binary = writeScript(u"binary"_s, "printf 'ok\\377\\376'\n");
        const CLIResult<std::optional<QString>> undecodable
            = QCoro::waitFor(CLIService(nullptr, [binary] { return binary; }).runCapturingOutput({}));
        QVERIFY(undecodable.ok());
        QVERIFY(!undecodable.value().has_value());
        const QString stderrToo = writeScript(u"stderr"_s, "echo out\necho err >&2\n");
        QCOMPARE(QCoro::waitFor(CLIService(nullptr, [stderrToo] { return stderrToo; }).runCapturingOutput({}))
                     .value(),
            std::optional<QString>(u"out\n"_s));
    }

    void missingTool()
    {
        // Whatever makes the start fail, every mode fails at launch (runDetached
        // says -1), also when a deadline's token is armed (it has no process to
        // terminate).
        QVERIFY(TestFiles::write(m_dir->filePath(u"plain"_s), "not executable"));
        for (const QString& unstartable : { m_dir->filePath(u"gone/tool"_s), u"no-such-tool"_s, QString(),
                 m_dir->path(), m_dir->filePath(u"plain"_s) }) {
            CLIService broken(nullptr, [unstartable] { return unstartable; });
            const CLICancelToken deadline;
            QTimer::singleShot(5000, this, [deadline] { deadline.cancel(); });
            const auto captured = QCoro::waitFor(broken.runCapturingOutput({ u"--version"_s }, deadline));
            QVERIFY2(!captured, qPrintable(unstartable));
            QCOMPARE(captured.error().kind(), CLIError::Kind::launchFailed);
            QVERIFY(!captured.error().description().isEmpty());
            QVERIFY(!deadline.isCancelled());
            QCOMPARE(QCoro::waitFor(broken.runDetached({ u"unregister"_s })), -1);
            const CLIResult<void> run = QCoro::waitFor(broken.run({ u"init"_s }, {}, {}));
            QVERIFY(!run);
            QCOMPARE(run.error().kind(), CLIError::Kind::launchFailed);
            QCOMPARE(QCoro::waitFor(broken.start({ u"download-model"_s }, {})).error().kind(),
                CLIError::Kind::launchFailed);
        }

        // Through the dev override, the same.
        qputenv("QUORVANE_CLI", QFile::encodeName(m_dir->filePath(u"no-such-tool"_s)));
        QCOMPARE(QCoro::waitFor(CLIService().runDetached({})), -1);
    }

    void pkexecOutcome_data()
    {
        QTest::addColumn<QByteArray>("behaviour");
        QTest::addColumn<int>("exitStatus");
        QTest::addColumn<QByteArray>("standardError");
        QTest::newRow("authorised") << QByteArray("exec \"$@\"") << 0 << QByteArray();
        QTest::newRow("dismissed") << QByteArray(
            "echo 'Error executing command as another user: Request dismissed' >&2\nexit 126")
                                   << 126
                                   << QByteArray(
                                          "Error executing command as another user: Request dismissed\n");
        QTest::newRow("not authorised") << QByteArray("exit 127") << 127 << QByteArray();
        QTest::newRow("killed") << QByteArray("kill -9 $$") << -1 << QByteArray();
    }
    void pkexecOutcome()
    {
        QFETCH(QByteArray, behaviour);
        QFETCH(int, exitStatus);
        QFETCH(QByteArray, standardError);
        PkexecPrivilegedRunner runner(writeStandIn(behaviour));
        // No shell reads the argument: quotes and $( ) stay part of the name.
        const QString marker = m_dir->filePath(u"it's $(touch pwned) ran"_s);
        const PrivilegedRunner::Command command{u"/usr/bin/touch"_s, {marker}};
        const PrivilegedRunner::Outcome outcome = QCoro::waitFor(runner.run(command));
        QVERIFY(outcome.launched);
        QCOMPARE(outcome.succeeded(), exitStatus == 0);
        QCOMPARE(outcome.exitStatus, exitStatus);
        QCOMPARE(outcome.standardError, standardError);
        QCOMPARE(recordedArguments(), (QStringList{command.program} + command.arguments));
        QCOMPARE(QFile::exists(marker), exitStatus == 0);
        QVERIFY(!QFile::exists(u"pwned"_s));
    }

    void missingHelper()
    {
        PkexecPrivilegedRunner runner(m_dir->filePath(u"no-pkexec"_s));
        const PrivilegedRunner::Command command{u"/bin/true"_s, {}};
        const PrivilegedRunner::Outcome outcome = QCoro::waitFor(runner.run(command));
        QVERIFY(!outcome.launched);
        QVERIFY(!outcome.succeeded());
        QVERIFY(!outcome.launchError.isEmpty());
        CLIService service(&runner);
        const CLIResult<void> result = QCoro::waitFor(service.runPrivileged(command));
        QVERIFY(!result);
        QCOMPARE(result.error().kind(), CLIError::Kind::launchFailed);

        // Without a runner there is nobody to ask.
        const CLIResult<void> refused = QCoro::waitFor(CLIService().runPrivileged(command));
        QVERIFY(!refused);
        QVERIFY(refused.error().description().startsWith(QLatin1String("Admin setup failed: ")));
    }

    void runPrivileged_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QByteArray>("behaviour"); // the stand-in's, before it runs the program
        QTest::addColumn<QString>("output");
        QTest::addColumn<QString>("failure"); // empty: success
        const QByteArray runs;
        const QString unknown = u"Admin setup failed: Unknown error"_s;
        const QString printf = u"/usr/bin/printf"_s;
        QTest::newRow("arguments reach the program unchanged")
            << printf << QStringList { u"%s|%s\n"_s, u"say \"hi\" && echo never"_s, u"a\\b $(id) 'q'"_s } << runs
            << u"say \"hi\" && echo never|a\\b $(id) 'q'\n"_s << QString();
        QTest::newRow("a failing program") << u"/bin/false"_s << QStringList() << runs << QString() << unknown;
        const QString t = u"/bin/true"_s;
        QTest::newRow("prompt dismissed")
            << t << QStringList() << QByteArray("printf 'Request dismissed\\n' >&2; exit 126") << QString()
            << u"Admin setup failed: Request dismissed\n"_s;
        QTest::newRow("failing command") << t << QStringList()
                                         << QByteArray("printf 'cp: cannot stat x' >&2; exit 1") << QString()
                                         << u"Admin setup failed: cp: cannot stat x"_s;
        QTest::newRow("undecodable text")
            << t << QStringList() << QByteArray("printf '\\377\\376' >&2; exit 1") << QString() << unknown;
    }
    void runPrivileged()
    {
        QFETCH(QString, program);
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, behaviour);
        QFETCH(QString, output);
        QFETCH(QString, failure);
        // The stand-in runs the program for real, with its output collected in a file.
        const QString outFile = m_dir->filePath(u"out"_s);
        PkexecPrivilegedRunner runner(
            writeStandIn(behaviour + "\nexec \"$@\" > '" + QFile::encodeName(outFile) + "'"));
        const CLIResult<void> result = QCoro::waitFor(CLIService(&runner).runPrivileged({ program, arguments }));
        QCOMPARE(recordedArguments(), QStringList { program } + arguments);
        QCOMPARE(QString::fromUtf8(TestFiles::contentOf(outFile)), output);
        QCOMPARE(result.ok(), failure.isEmpty());
        if (!result.ok()) {
            QCOMPARE(result.error().kind(), CLIError::Kind::installFailed);
            QCOMPARE(result.error().description(), failure);
        }
    }
};

QTEST_GUILESS_MAIN(TestCLIService)
#include "tst_CLIService.moc"
