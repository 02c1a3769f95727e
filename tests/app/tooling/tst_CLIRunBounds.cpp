#include "tests/app/tooling/CLIServiceFixture.h"
#include "tests/support/ProcessMemory.h"

#include <chrono>

using namespace std::chrono_literals;

// The tool started and left running (its handle stops it), run detached, and
// the limits of every run: the stand-in tool (a real child process) told by
// its scenario to hang, to ignore SIGTERM, to print huge lines or to flood.
class TestCLIRunBounds : public CLIServiceTestCase
{
    Q_OBJECT

    // Writes the scenario's text as given: a huge one is never held as a JSON object.
    void writeRawScenario(const QByteArray& text)
    {
        const QString path = m_dir->filePath(u"scenario.json"_s);
        QVERIFY(TestFiles::write(path, text));
        qputenv("QUORVANE_CLI_SCENARIO", QFile::encodeName(path));
    }
    void hang(const QString& command)
    {
        writeScenario(command, { { u"hang"_s, true }, { u"ignoreTerminate"_s, true } });
    }

private Q_SLOTS:
    void startSplitLines()
    {
        // Every line reaches us in two writes with a pause between them.
        writeScenario(u"download-model"_s,
            { { u"steps"_s, 3 }, { u"stepDelayMs"_s, 0 }, { u"splitLines"_s, true },
                { u"splitDelayMs"_s, 60 }, { u"malformed"_s, QJsonArray { u""_s, u"   "_s } } });
        CLIService service;
        QList<CLIEvent> events;
        const QStringList args { u"download-model"_s, u"--wizard"_s };
        const CLIResult<std::shared_ptr<CLIProcess>> started
            = QCoro::waitFor(service.start(args, [&events](const CLIEvent& e) { events.append(e); }));
        QVERIFY(started.ok());
        QVERIFY(started.value()->processId() > 0);
        QTRY_VERIFY(started.value()->isFinished());
        QCOMPARE(
            typesOf(events), (QStringList { u"progress"_s, u"progress"_s, u"progress"_s, u"complete"_s }));
        QCOMPARE(events.last().message, std::optional<QString>(u"Model ready"_s));
        QCOMPARE(events[2].progress, std::optional<double>(1.0));
        // Nothing appended in this mode.
        QCOMPARE(m_tool->runs().last().arguments, args);
    }

    void startStops_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("terminate()") << u"terminate"_s;
        QTest::newRow("handle destroyed") << u"destroy"_s;
        QTest::newRow("handle dropped inside its own event callback") << u"callback"_s;
    }
    void startStops()
    {
        QFETCH(QString, how);
        const bool fromCallback = how == QLatin1String("callback");
        writeScenario(
            u"download-model"_s, { { u"hang"_s, true }, { u"stepDelayMs"_s, fromCallback ? 300 : 0 } });
        CLIService service;
        std::shared_ptr<CLIProcess> handle;
        int events = 0;
        auto started = QCoro::waitFor(
            service.start({ u"download-model"_s }, [&handle, &events, fromCallback](const CLIEvent&) {
                ++events;
                if (fromCallback)
                    handle.reset();
            }));
        QVERIFY(started.ok());
        handle = started.value();
        started = CLIResult<std::shared_ptr<CLIProcess>>(std::shared_ptr<CLIProcess>());
        QTRY_COMPARE(events, 1);
        if (how == QLatin1String("terminate")) {
            QVERIFY(handle->isRunning());
            QCOMPARE(childProcessCount(), 1);
            handle->terminate();
            QTRY_VERIFY(handle->isFinished());
            QCOMPARE(handle->exitStatus(), -1);
        } else if (how == QLatin1String("destroy")) {
            QCOMPARE(childProcessCount(), 1);
            handle.reset();
        }
        QVERIFY(!fromCallback || !handle);
        QTRY_COMPARE(childProcessCount(), 0);
        QCOMPARE(events, 1);
    }

    void detachedExitStatus()
    {
        writeScenario(u"analyze-history"_s, { { u"exitCode"_s, 3 } });
        CLIService service;
        const QStringList args { u"analyze-history"_s, u"--scan-mcp"_s };
        QCOMPARE(QCoro::waitFor(service.runDetached(args)), 3);
        QCOMPARE(m_tool->runs().last().arguments, args);
    }

    void runsEndAtTheirDeadline_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::newRow("streaming run") << u"run"_s;
        QTest::newRow("captured output") << u"capture"_s;
        QTest::newRow("output discarded") << u"detached"_s;
    }
    // A tool that never ends, and ignores SIGTERM too, is killed at the deadline.
    void runsEndAtTheirDeadline()
    {
        QFETCH(QString, mode);
        hang(mode == QLatin1String("run") ? u"preflight"_s : u"version"_s);
        CLIService cli;
        const CLIRunLimits limits { 300ms, 1024 * 1024 };
        std::optional<CLIError> error;
        if (mode == QLatin1String("run")) {
            const CLIResult<void> result
                = QCoro::waitFor(cli.run({ u"init"_s, u"--preflight"_s }, QString(), {}, {}, limits));
            QVERIFY(!result);
            error = result.error();
        } else if (mode == QLatin1String("capture")) {
            const CLIResult<std::optional<QString>> result
                = QCoro::waitFor(cli.runCapturingOutput({ u"--version"_s }, {}, limits));
            QVERIFY(!result);
            error = result.error();
        } else {
            QCOMPARE(QCoro::waitFor(cli.runDetached({ u"--version"_s }, {}, limits)), -1);
        }
        if (error) {
            QCOMPARE(error->kind(), CLIError::Kind::timedOut);
            QCOMPARE(error->description(), u"CLI did not finish within 1 seconds"_s);
        }
        // The run has ended only once its child is gone.
        QCOMPARE(childProcessCount("quorvane"), 0);
        QCOMPARE(m_tool->runs().size(), 1);
    }

    void oversizedOutputFailsTheRun_data()
    {
        QTest::addColumn<int>("lineLength");
        QTest::addColumn<int>("lineCount"); // 0: one error message
        QTest::newRow("10 MB error message") << 10 * 1024 * 1024 << 0;
        QTest::newRow("twenty 1 MB progress messages") << 1024 * 1024 << 20;
        QTest::newRow("10 MB of short lines") << 8000 << 1300;
    }
    // Too much output stops the run with a clear error, and what reached the
    // handler was short; the memory used stays small.
    void oversizedOutputFailsTheRun()
    {
        QFETCH(int, lineLength);
        QFETCH(int, lineCount);
        {
            // Escaped as a JSON text: each line becomes one event line of the tool.
            const QByteArray text(lineLength, 'x');
            QByteArray scenario;
            if (lineCount == 0) {
                scenario = "{\"preflight\": {\"exitCode\": 1, \"failAfterSteps\": 0, \"errorMessage\": \""
                    + text + "\"}}";
            } else {
                scenario = "{\"preflight\": {\"rawOutput\": \"";
                for (int i = 0; i < lineCount; ++i)
                    scenario += "{\\\"type\\\":\\\"progress\\\",\\\"message\\\":\\\"" + text + "\\\"}\\n";
                scenario += "\"}}";
            }
            writeRawScenario(scenario);
        }
        CLIService cli;
        qsizetype longestText = 0;
        int events = 0;
        const CLIService::EventHandler onEvent = [&](const CLIEvent& event) {
            ++events;
            longestText = std::max({ longestText, event.message.value_or(QString()).size(),
                event.error.value_or(QString()).size() });
        };
        const CLIResult<void> result = QCoro::waitFor(
            cli.run({ u"init"_s, u"--preflight"_s }, QString(), onEvent, {}, CLIRunLimits::init()));
        QVERIFY(!result);
        QCOMPARE(result.error().kind(), CLIError::Kind::outputTooLarge);
        QCOMPARE(result.error().description(), u"CLI output exceeded the size limit"_s);
        QVERIFY(longestText <= CLIEvent::maximumTextLength);
        QVERIFY(events < 1100);
#ifndef __SANITIZE_ADDRESS__ // the address sanitizer's shadow memory is not the program's
        const qint64 peak = ProcessMemory::peakResidentKiB();
        QVERIFY2(peak > 0 && peak < 100 * 1024, qPrintable(QString::number(peak)));
#endif
    }

    // Texts within the line limit (an error event carries its text twice)
    // reach the handler cut to a length a screen can show.
    void longTextsAreCut()
    {
        writeScenario(u"preflight"_s,
            { { u"exitCode"_s, 1 }, { u"failAfterSteps"_s, 0 },
                { u"errorMessage"_s, QString(30000, u'm') } });
        CLIService cli;
        QList<CLIEvent> events;
        const CLIResult<void> result = QCoro::waitFor(cli.run({ u"init"_s, u"--preflight"_s }, QString(),
            [&events](const CLIEvent& event) { events.append(event); }));
        QCOMPARE(result.error().kind(), CLIError::Kind::nonZeroExit);
        QCOMPARE(typesOf(events), QStringList { u"error"_s });
        const QString expected = QString(CLIEvent::maximumTextLength - 1, u'm') + QChar(0x2026);
        QCOMPARE(events.first().message, expected);
        QCOMPARE(events.first().error, expected);
    }
};

QTEST_GUILESS_MAIN(TestCLIRunBounds)
#include "tst_CLIRunBounds.moc"
