#include "app/tooling/CLIService.h"
#include "tests/support/ChildProcesses.h"
#include "tests/support/ProcessMemory.h"
#include "tests/support/StandInTool.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestHome.h"

#include <QFileInfo>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>
#include <chrono>
#include <qcorotask.h>

using namespace std::chrono_literals;

// The limits of every run of the product tool, against the stand-in tool (a
// real child process) told by its scenario to hang, to ignore SIGTERM, to
// print huge lines or to flood.
class TestCLIRunBounds : public QObject
{
    Q_OBJECT

    std::optional<TestHome> m_home;
    std::optional<StandInTool> m_tool;
    std::optional<QTemporaryDir> m_dir;

    // Writes the scenario's text as given: a huge one is never held as a JSON object.
    void writeRawScenario(const QByteArray& text)
    {
        const QString path = m_dir->filePath(QStringLiteral("scenario.json"));
        QVERIFY(TestFiles::write(path, text));
        qputenv("QUORVANE_CLI_SCENARIO", QFile::encodeName(path));
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(QFileInfo(StandInTool::executablePath()).isExecutable(),
            qPrintable(StandInTool::executablePath()));
    }

    void init()
    {
        m_home.emplace();
        m_tool.emplace();
        m_dir.emplace();
    }

    void cleanup()
    {
        // No run may leave its child behind.
        QTRY_COMPARE(childProcessCount(), 0);
        m_dir.reset();
        m_tool.reset();
        m_home.reset();
    }

    void runsEndAtTheirDeadline_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("command");
        QTest::newRow("streaming run") << QStringLiteral("run") << QStringLiteral("preflight");
        QTest::newRow("captured output") << QStringLiteral("capture") << QStringLiteral("version");
        QTest::newRow("output discarded") << QStringLiteral("detached") << QStringLiteral("version");
    }

    // A tool that never ends, and ignores SIGTERM too, is killed at the deadline.
    void runsEndAtTheirDeadline()
    {
        QFETCH(QString, mode);
        QFETCH(QString, command);
        QVERIFY(m_tool->writeScenario({ { command,
            QJsonObject {
                { QStringLiteral("hang"), true }, { QStringLiteral("ignoreTerminate"), true } } } }));
        CLIService cli(nullptr, [] { return StandInTool::executablePath(); });
        const CLIRunLimits limits { 300ms, 1024 * 1024 };
        const CLICancelToken cancel;

        std::optional<CLIError> error;
        if (mode == QLatin1String("run")) {
            const CLIResult<void> result = QCoro::waitFor(cli.run(
                { QStringLiteral("init"), QStringLiteral("--preflight") }, QString(), [](const CLIEvent&) {},
                cancel, limits));
            QVERIFY(!result);
            error = result.error();
        } else if (mode == QLatin1String("capture")) {
            const CLIResult<std::optional<QString>> result
                = QCoro::waitFor(cli.runCapturingOutput({ QStringLiteral("--version") }, cancel, limits));
            QVERIFY(!result);
            error = result.error();
        } else {
            QCOMPARE(QCoro::waitFor(cli.runDetached({ QStringLiteral("--version") }, cancel, limits)), -1);
        }
        if (error) {
            QCOMPARE(error->kind(), CLIError::Kind::timedOut);
            QCOMPARE(error->description(), QStringLiteral("CLI did not finish within 1 seconds"));
        }
        // The run has ended only once its child is gone.
        QCOMPARE(childProcessCount("quorvane"), 0);
        QCOMPARE(m_tool->runs().size(), 1);
    }

    // Cancelling a detached run (the uninstall's "unregister") ends its child.
    void cancelledDetachedRunLeavesNoChild()
    {
        QVERIFY(m_tool->writeScenario({ { QStringLiteral("version"),
            QJsonObject {
                { QStringLiteral("hang"), true }, { QStringLiteral("ignoreTerminate"), true } } } }));
        CLIService cli(nullptr, [] { return StandInTool::executablePath(); });
        const CLICancelToken cancel;
        std::optional<int> status;
        QCoro::connect(cli.runDetached({ QStringLiteral("--version") }, cancel), this,
            [&status](int value) { status = value; });
        QTRY_COMPARE(childProcessCount("quorvane"), 1);
        cancel.cancel();
        QTRY_VERIFY(status.has_value());
        QCOMPARE(*status, -1);
        QCOMPARE(childProcessCount("quorvane"), 0);
        // A cancelled token starts nothing more.
        QCOMPARE(QCoro::waitFor(cli.runDetached({ QStringLiteral("--version") }, cancel)), -1);
        QCOMPARE(m_tool->runs().size(), 1);
    }

    void oversizedOutputFailsTheRun_data()
    {
        QTest::addColumn<int>("lineLength");
        QTest::addColumn<int>("lineCount");
        QTest::addColumn<bool>("asErrorMessage");
        QTest::newRow("10 MB error message") << 10 * 1024 * 1024 << 1 << true;
        QTest::newRow("twenty 1 MB progress messages") << 1024 * 1024 << 20 << false;
        QTest::newRow("10 MB of short lines") << 8000 << 1300 << false;
    }

    // Too much output stops the run with a clear error, and what reached the
    // handler was short; the memory used stays small.
    void oversizedOutputFailsTheRun()
    {
        QFETCH(int, lineLength);
        QFETCH(int, lineCount);
        QFETCH(bool, asErrorMessage);
        {
            // Escaped as a JSON text: each line becomes one event line of the tool.
            const QByteArray text(lineLength, 'x');
            QByteArray scenario;
            if (asErrorMessage) {
                scenario = "{\"preflight\": {\"exitCode\": 1, \"failAfterSteps\": 0, \"errorMessage\": \"";
                scenario += text;
                scenario += "\"}}";
            } else {
                scenario = "{\"preflight\": {\"rawOutput\": \"";
                for (int i = 0; i < lineCount; ++i) {
                    scenario += "{\\\"type\\\":\\\"progress\\\",\\\"message\\\":\\\"";
                    scenario += text;
                    scenario += "\\\"}\\n";
                }
                scenario += "\"}}";
            }
            writeRawScenario(scenario);
        }
        CLIService cli(nullptr, [] { return StandInTool::executablePath(); });
        qsizetype longestText = 0;
        int events = 0;
        const CLIService::EventHandler onEvent = [&](const CLIEvent& event) {
            ++events;
            longestText = std::max({ longestText, event.message.value_or(QString()).size(),
                event.error.value_or(QString()).size() });
        };
        const CLIResult<void> result
            = QCoro::waitFor(cli.run({ QStringLiteral("init"), QStringLiteral("--preflight") }, QString(),
                onEvent, {}, CLIRunLimits::init()));
        QVERIFY(!result);
        QCOMPARE(result.error().kind(), CLIError::Kind::outputTooLarge);
        QCOMPARE(result.error().description(), QStringLiteral("CLI output exceeded the size limit"));
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
        const QString message(30000, u'm');
        QVERIFY(m_tool->writeScenario({ { QStringLiteral("preflight"),
            QJsonObject { { QStringLiteral("exitCode"), 1 }, { QStringLiteral("failAfterSteps"), 0 },
                { QStringLiteral("errorMessage"), message } } } }));
        CLIService cli(nullptr, [] { return StandInTool::executablePath(); });
        QList<CLIEvent> events;
        const CLIResult<void> result
            = QCoro::waitFor(cli.run({ QStringLiteral("init"), QStringLiteral("--preflight") }, QString(),
                [&events](const CLIEvent& event) { events.append(event); }));
        QCOMPARE(result.error().kind(), CLIError::Kind::nonZeroExit);
        QCOMPARE(events.size(), 1);
        QCOMPARE(events.first().type, QStringLiteral("error"));
        const QString expected = QString(CLIEvent::maximumTextLength - 1, u'm') + QChar(0x2026);
        QCOMPARE(events.first().message, expected);
        QCOMPARE(events.first().error, expected);
    }
};

QTEST_GUILESS_MAIN(TestCLIRunBounds)
#include "tst_CLIRunBounds.moc"
