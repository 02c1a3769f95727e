#include "app/tooling/CLIService.h"
#include "app/wizard/WizardState.h"
#include "tests/support/ChildProcesses.h"
#include "tests/support/StandInTool.h"
#include "tests/support/TestHome.h"

#include <QJsonArray>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <memory>

using namespace std::chrono_literals;

namespace {

const QString downloadMessage
    = QStringLiteral("Model download did not complete. Run analysis later from the Features panel.");

QJsonObject analysis(const QJsonObject& settings)
{
    return { { QStringLiteral("analyze-history"), settings } };
}

// Lines printed instead of the tool's normal output.
QString eventLines(const QStringList& counts)
{
    QString lines;
    for (const QString& count : counts)
        lines += QStringLiteral("{\"type\":\"suggestion_count\",\"data\":{\"count\":\"") + count
            + QStringLiteral("\"}}\n");
    return lines;
}

} // namespace

// The wizard's activity analysis: the wait for the model download, then the
// stand-in product tool's "analyze-history" as a real child process.
class TestActivityAnalysis : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void startsWhenTheDownloadCompletes();
    void suggestionCounts_data();
    void suggestionCounts();
    void failures();
    void closingWhileWaiting();
    void closingWhileRunning();
    void downloadNeverArrives();

private:
    std::unique_ptr<TestHome> m_home;
    std::unique_ptr<StandInTool> m_tool;
    std::unique_ptr<CLIService> m_cli;
    std::unique_ptr<WizardState> m_state;
};

void TestActivityAnalysis::initTestCase()
{
    QVERIFY2(
        QFileInfo(StandInTool::executablePath()).isExecutable(), qPrintable(StandInTool::executablePath()));
}

void TestActivityAnalysis::init()
{
    m_home = std::make_unique<TestHome>();
    m_tool = std::make_unique<StandInTool>();
    m_cli = std::make_unique<CLIService>(nullptr, [] { return StandInTool::executablePath(); });
    m_state = std::make_unique<WizardState>();
    m_state->setCli(m_cli.get());
}

void TestActivityAnalysis::cleanup()
{
    m_state.reset();
    QTRY_COMPARE(childProcessCount("quorvane"), 0);
    m_cli.reset();
    m_tool.reset();
    m_home.reset();
}

void TestActivityAnalysis::startsWhenTheDownloadCompletes()
{
    m_state->setLlmDownloading(true);
    m_state->startAnalysis();
    QCOMPARE(m_state->analysisWaitingForLLM(), true);
    QCOMPARE(
        m_state->analysisStatusLine(), QStringLiteral("Activity scan will start when the model is ready..."));
    QCOMPARE(m_state->closeAlertTitle(), QStringLiteral("Model download in progress"));
    QCOMPARE(m_state->closeAlertMessage(),
        QStringLiteral("The model download will continue in the background. You can run the activity scan "
                       "later from the Features panel, or via:\nquorvane analyze-history"));
    QCOMPARE(m_state->keepRunningLabel(), QStringLiteral("Keep Running"));
    QCOMPARE(m_state->stopAndCloseLabel(), QStringLiteral("Stop & Close"));

    QStringList lines;
    connect(m_state.get(), &WizardState::analysisStatusChanged, this, [&lines, this] {
        if (lines.isEmpty() || lines.last() != m_state->analysisStatusLine())
            lines.append(m_state->analysisStatusLine());
    });
    QTimer::singleShot(3s, m_state.get(), [this] {
        m_state->setLlmDownloadComplete(true);
        m_state->setLlmDownloading(false);
    });
    QTRY_VERIFY_WITH_TIMEOUT(m_state->analysisInProgress() || m_state->analysisComplete(), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(m_state->analysisComplete(), 30000);

    QCOMPARE(m_tool->runs().size(), 1);
    QCOMPARE(m_tool->runs().first().arguments,
        QStringList(
            { QStringLiteral("analyze-history"), QStringLiteral("--scan-mcp"), QStringLiteral("--wizard") }));
    QCOMPARE(m_state->suggestionCount(), 3);
    QCOMPARE(m_state->analysisError(), QString());
    QCOMPARE(m_state->analysisProgress(), 1.0);
    QCOMPARE(m_state->analysisInProgress(), false);
    QCOMPARE(m_state->analysisWaitingForLLM(), false);
    QCOMPARE(
        m_state->analysisStatusLine(), QStringLiteral("Activity analysis complete — 3 rule suggestions"));
    QCOMPARE(m_state->analysisShowsReviewNote(), true);
    QCOMPARE(m_state->closeAlertTitle(), QString());
    // The screen saw the running percentages on the way.
    QVERIFY2(lines.size() >= 3, qPrintable(lines.join(QLatin1Char('|'))));
    QVERIFY2(lines.at(lines.size() - 2).startsWith(QLatin1String("Analyzing activity... ")),
        qPrintable(lines.join(QLatin1Char('|'))));
}

void TestActivityAnalysis::suggestionCounts_data()
{
    QTest::addColumn<QStringList>("counts");
    QTest::addColumn<int>("expected");
    QTest::newRow("seven") << QStringList { QStringLiteral("7") } << 7;
    QTest::newRow("too large") << QStringList { QStringLiteral("4294967296") } << 0;
    QTest::newRow("later replaces earlier")
        << QStringList { QStringLiteral("5"), QStringLiteral("12") } << 12;
    QTest::newRow("later zero") << QStringList { QStringLiteral("5"), QStringLiteral("x") } << 0;
}

void TestActivityAnalysis::suggestionCounts()
{
    QFETCH(QStringList, counts);
    QFETCH(int, expected);
    QVERIFY(m_tool->writeScenario(analysis({ { QStringLiteral("rawOutput"), eventLines(counts) } })));
    m_state->setLlmDownloadComplete(true);
    m_state->setDiscoverMcpServers(false);
    m_state->startAnalysis();
    QTRY_VERIFY_WITH_TIMEOUT(m_state->analysisComplete(), 30000);
    QCOMPARE(m_state->suggestionCount(), expected);
    QCOMPARE(m_tool->runs().first().arguments,
        QStringList({ QStringLiteral("analyze-history"), QStringLiteral("--wizard") }));
    QCOMPARE(m_state->analysisStatusLine(),
        expected > 0 ? QStringLiteral("Activity analysis complete — %1 rule suggestions").arg(expected)
                     : QStringLiteral("Activity analysis complete — no suggestions"));
    QCOMPARE(m_state->analysisShowsReviewNote(), expected > 0);
}

void TestActivityAnalysis::failures()
{
    m_state->setLlmDownloadComplete(true);
    // An error event: its message, even though the tool exits 0.
    QVERIFY(m_tool->writeScenario(
        analysis({ { QStringLiteral("errorMessage"), QStringLiteral("Model not loaded") } })));
    m_state->startAnalysis();
    QTRY_VERIFY_WITH_TIMEOUT(m_state->analysisComplete(), 30000);
    QCOMPARE(m_state->analysisError(), QStringLiteral("Model not loaded"));
    QCOMPARE(m_state->analysisStatusLine(), QStringLiteral("Activity analysis failed"));
    QCOMPARE(m_state->analysisShowsReviewNote(), false);

    // A failing run without a message: the failure's description.
    m_state->setAnalysisComplete(false);
    QVERIFY(m_tool->writeScenario(analysis({ { QStringLiteral("exitCode"), 2 } })));
    m_state->startAnalysis();
    QCOMPARE(m_state->analysisError(), QString());
    QTRY_VERIFY_WITH_TIMEOUT(m_state->analysisComplete(), 30000);
    QCOMPARE(m_state->analysisError(), QStringLiteral("CLI exited with code 2"));
    QCOMPARE(m_state->analysisProgress(), 1.0);
    QCOMPARE(m_state->analysisInProgress(), false);

    // No product tool at all.
    m_state->setAnalysisComplete(false);
    m_state->setCli(nullptr);
    m_state->startAnalysis();
    QTRY_VERIFY(m_state->analysisComplete());
    QCOMPARE(m_state->analysisError(), QStringLiteral("The product tool is not available"));
}

void TestActivityAnalysis::closingWhileWaiting()
{
    m_state->setLlmDownloading(true);
    QSignalSpy completed(m_state.get(), &WizardState::analysisCompleteChanged);
    m_state->startAnalysis();
    QTest::qWait(300);
    m_state->cancelAnalysis();
    QCOMPARE(m_state->analysisWaitingForLLM(), false);
    QCOMPARE(m_state->closeAlertTitle(), QString());
    // The download still finishing later starts nothing.
    m_state->setLlmDownloadComplete(true);
    QTest::qWait(1500);
    QCOMPARE(completed.size(), 0);
    QCOMPARE(m_state->analysisComplete(), false);
    QCOMPARE(m_state->analysisInProgress(), false);
    QCOMPARE(m_tool->runs().size(), 0);
    QCOMPARE(m_state->analysisStatusLine(), QString());
}

void TestActivityAnalysis::closingWhileRunning()
{
    QVERIFY(m_tool->writeScenario(analysis({ { QStringLiteral("hang"), true } })));
    m_state->setLlmDownloadComplete(true);
    QSignalSpy completed(m_state.get(), &WizardState::analysisCompleteChanged);
    m_state->startAnalysis();
    QTRY_COMPARE(childProcessCount("quorvane"), 1);
    QCOMPARE(m_state->analysisInProgress(), true);
    QCOMPARE(m_state->closeAlertTitle(), QStringLiteral("Activity analysis in progress"));
    QCOMPARE(m_state->closeAlertMessage(),
        QStringLiteral("The activity scan is still running. If you close now it will stop.\n\nYou can re-run "
                       "it later from the Features panel, or via:\nquorvane analyze-history"));
    QVERIFY(m_state->analysisStatusLine().startsWith(QLatin1String("Analyzing activity... ")));

    m_state->cancelAnalysis();
    QCOMPARE(m_state->analysisInProgress(), false);
    // The tool's run is terminated, silently.
    QTRY_COMPARE(childProcessCount("quorvane"), 0);
    QTest::qWait(100);
    QCOMPARE(completed.size(), 0);
    QCOMPARE(m_state->analysisError(), QString());

    // The wizard's model going away ends a running analysis too.
    m_state->startAnalysis();
    QTRY_COMPARE(childProcessCount("quorvane"), 1);
    m_state.reset();
    QTRY_COMPARE(childProcessCount("quorvane"), 0);
}

void TestActivityAnalysis::downloadNeverArrives()
{
    m_state->setAnalysisWaitLimit(1500ms);
    m_state->setLlmDownloading(true);
    m_state->startAnalysis();
    QTRY_VERIFY_WITH_TIMEOUT(m_state->analysisComplete(), 10000);
    QCOMPARE(m_state->analysisError(), downloadMessage);
    QCOMPARE(m_state->analysisWaitingForLLM(), false);
    QCOMPARE(m_state->analysisStatusLine(), QStringLiteral("Activity analysis failed"));
    QCOMPARE(m_tool->runs().size(), 0);

    // A download that is not running at all fails at once.
    m_state->setAnalysisComplete(false);
    m_state->setLlmDownloading(false);
    m_state->startAnalysis();
    QTRY_VERIFY(m_state->analysisComplete());
    QCOMPARE(m_state->analysisError(), downloadMessage);
    QCOMPARE(m_tool->runs().size(), 0);
}

QTEST_MAIN(TestActivityAnalysis)
#include "tst_ActivityAnalysis.moc"
