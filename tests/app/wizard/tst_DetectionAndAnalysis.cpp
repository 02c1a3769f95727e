#include "app/tooling/AgentNameRules.h"
#include "app/tooling/ToolDetection.h"
#include "tests/app/wizard/InstallPhaseFixture.h"

#include <QTimer>

using namespace std::chrono_literals;

namespace {

const QString downloadMessage
    = u"Model download did not complete. Run analysis later from the Features panel."_s;

// Lines printed instead of the tool's normal output.
QString countEvents(const QStringList& counts)
{
    QString lines;
    for (const QString& count : counts)
        lines += u"{\"type\":\"suggestion_count\",\"data\":{\"count\":\""_s + count + u"\"}}\n"_s;
    return lines;
}

} // namespace

// The wizard's runs of the stand-in product tool (the install fixture's peers)
// that read its output: the scan that detects the tools, and the activity
// analysis, which first waits for the model download.
class TestDetectionAndAnalysis : public QObject, private InstallPhaseFixture
{
    Q_OBJECT
private Q_SLOTS:
    void init() { setUp(); }
    void cleanup() { tearDown(); }

    void detectionStaysResponsiveAndProposesAName()
    {
        // The stand-in reports one installed tool and one that is not found.
        writeScenario(u"scan"_s, { { u"stepDelayMs"_s, 400 } });
        m_state->configuration()->rename(u"Not A Name"_s);
        int ticks = 0;
        bool detectingSeen = false;
        QTimer ticker;
        connect(&ticker, &QTimer::timeout, this, [&] {
            ++ticks;
            detectingSeen = detectingSeen || m_state->configuration()->isDetectingTools();
        });
        ticker.start(20);
        QSignalSpy detecting(m_state->configuration(), &AgentConfiguration::isDetectingToolsChanged);
        QSignalSpy replaced(m_state->configuration(), &AgentConfiguration::detectedToolsChanged);
        QCoro::waitFor(m_state->configuration()->detectTools());
        // The event loop kept turning while the scan ran, and the wizard said so.
        QVERIFY2(ticks >= 5, qPrintable(QString::number(ticks)));
        QVERIFY(detectingSeen);
        QCOMPARE(detecting.size(), 2);
        QCOMPARE(replaced.size(), 1);
        const QList<DetectedTool> tools = m_state->configuration()->detectedTools()->tools();
        QCOMPARE(tools.size(), 1);
        QCOMPARE(tools.first().name, u"Code Assistant"_s);
        QCOMPARE(tools.first().subtitle, u"code-assistant"_s);
        // A fresh default name, which the configure screen accepts as it is.
        QVERIFY(defaultAgentNames().contains(m_state->configuration()->agentName()));
        QVERIFY(m_state->configuration()->canContinue());
    }

    void unusableScans_data()
    {
        // (What the scan's text may hold is read in the tool-scan tests.)
        QTest::addColumn<QJsonObject>("scan");
        QTest::newRow("not json") << QJsonObject { { u"rawOutput"_s, u"Scanning...\n"_s } };
        QTest::newRow("failing tool")
            << QJsonObject { { u"exitCode"_s, 1 }, { u"errorMessage"_s, u"scan failed"_s } };
        // Over the runner's capture limit: the tool is stopped while it writes.
        QTest::newRow("beyond the capture limit")
            << QJsonObject { { u"largeOutputBytes"_s, CLIRunLimits::capture().outputBytes + 1024 } };
    }

    void unusableScans()
    {
        QFETCH(QJsonObject, scan);
        writeScenario(u"scan"_s, scan);
        QCoro::waitFor(m_state->configuration()->detectTools());
        QCOMPARE(m_state->configuration()->detectedTools()->count(), 0);
        QCOMPARE(m_state->configuration()->canContinue(), false);
        QVERIFY(!m_state->configuration()->agentName().isEmpty());
    }

    void scanDeadlineAndMissingTool()
    {
        // A scan that never ends is stopped at the deadline and detects nothing.
        writeScenario(u"scan"_s, { { u"hang"_s, true } });
        QCOMPARE(QCoro::waitFor(ToolDetection::detectTools(*m_cli, m_machine->home.path(), 300ms)).size(), 0);

        // Without any product tool, detection still proposes a name and finds nothing.
        WizardState unwired;
        AgentConfiguration& configuration = *unwired.configuration();
        QCoro::waitFor(configuration.detectTools());
        QVERIFY(defaultAgentNames().contains(configuration.agentName()));
        QCOMPARE(configuration.detectedTools()->count(), 0);
        QCOMPARE(configuration.isDetectingTools(), false);
    }

    void analysisStartsWhenTheDownloadCompletes()
    {
        WizardTestAccess::setDownloading(download(), true);
        m_state->analysis()->start();
        QCOMPARE(m_state->analysis()->waitingForLLM(), true);
        QCOMPARE(m_state->analysis()->statusLine(), u"Activity scan will start when the model is ready..."_s);
        QCOMPARE(m_state->analysis()->closeAlertTitle(), u"Model download in progress"_s);

        QStringList lines;
        connect(m_state->analysis(), &ActivityAnalysis::statusChanged, this, [&lines, this] {
            if (lines.isEmpty() || lines.last() != m_state->analysis()->statusLine())
                lines.append(m_state->analysis()->statusLine());
        });
        QTimer::singleShot(3s, m_state.get(), [this] {
            WizardTestAccess::setComplete(download(), true);
            WizardTestAccess::setDownloading(download(), false);
        });
        QTRY_VERIFY_WITH_TIMEOUT(m_state->analysis()->complete(), 30000);

        QCOMPARE(m_tool->runs().size(), 1);
        QCOMPARE(m_tool->runs().first().arguments,
            QStringList({ u"analyze-history"_s, u"--scan-mcp"_s, u"--wizard"_s }));
        QCOMPARE(m_state->analysis()->suggestionCount(), 3);
        QCOMPARE(m_state->analysis()->error(), QString());
        QCOMPARE(m_state->analysis()->progress(), 1.0);
        QCOMPARE(m_state->analysis()->inProgress(), false);
        QCOMPARE(m_state->analysis()->waitingForLLM(), false);
        QCOMPARE(m_state->analysis()->closeAlertTitle(), QString());
        // The screen saw the running percentages on the way.
        QVERIFY2(lines.size() >= 3, qPrintable(lines.join(u'|')));
        QVERIFY2(
            lines.at(lines.size() - 2).startsWith(u"Analyzing activity... "_s), qPrintable(lines.join(u'|')));
    }

    void suggestionCounts_data()
    {
        QTest::addColumn<QStringList>("counts");
        QTest::addColumn<int>("expected");
        QTest::newRow("seven") << QStringList { u"7"_s } << 7;
        QTest::newRow("too large") << QStringList { u"4294967296"_s } << 0;
        QTest::newRow("later zero") << QStringList { u"5"_s, u"x"_s } << 0;
    }

    void suggestionCounts()
    {
        QFETCH(QStringList, counts);
        QFETCH(int, expected);
        writeScenario(u"analyze-history"_s, { { u"rawOutput"_s, countEvents(counts) } });
        WizardTestAccess::setComplete(download(), true);
        m_state->install()->chooseDiscoverMcpServers(false);
        m_state->analysis()->start();
        QTRY_VERIFY_WITH_TIMEOUT(m_state->analysis()->complete(), 30000);
        QCOMPARE(m_state->analysis()->suggestionCount(), expected);
        QCOMPARE(m_tool->runs().first().arguments, QStringList({ u"analyze-history"_s, u"--wizard"_s }));
        QCOMPARE(m_state->analysis()->statusLine(),
            expected > 0 ? u"Activity analysis complete — %1 rule suggestions"_s.arg(expected)
                         : u"Activity analysis complete — no suggestions"_s);
        QCOMPARE(m_state->analysis()->showsReviewNote(), expected > 0);
    }

    void analysisFailures()
    {
        WizardTestAccess::setComplete(download(), true);
        // An error event: its message, even though the tool exits 0.
        writeScenario(u"analyze-history"_s, { { u"errorMessage"_s, u"Model not loaded"_s } });
        m_state->analysis()->start();
        QTRY_VERIFY_WITH_TIMEOUT(m_state->analysis()->complete(), 30000);
        QCOMPARE(m_state->analysis()->error(), u"Model not loaded"_s);
        QCOMPARE(m_state->analysis()->statusLine(), u"Activity analysis failed"_s);
        QCOMPARE(m_state->analysis()->showsReviewNote(), false);

        // A failing run without a message: the failure's description.
        WizardTestAccess::setComplete(*m_state->analysis(), false);
        writeScenario(u"analyze-history"_s, { { u"exitCode"_s, 2 } });
        m_state->analysis()->start();
        QCOMPARE(m_state->analysis()->error(), QString());
        QTRY_VERIFY_WITH_TIMEOUT(m_state->analysis()->complete(), 30000);
        QCOMPARE(m_state->analysis()->error(), u"CLI exited with code 2"_s);
        QCOMPARE(m_state->analysis()->inProgress(), false);

        // No product tool at all.
        WizardTestAccess::setComplete(*m_state->analysis(), false);
        m_state->analysis()->setCli(nullptr);
        m_state->analysis()->start();
        QTRY_VERIFY(m_state->analysis()->complete());
        QCOMPARE(m_state->analysis()->error(), u"The product tool is not available"_s);

        // A model download that never arrives, or is not running at all.
        m_state->analysis()->setCli(m_cli.get());
        m_state->analysis()->setWaitLimit(1500ms);
        for (const bool downloading : { true, false }) {
            WizardTestAccess::setComplete(*m_state->analysis(), false);
            WizardTestAccess::setComplete(download(), false);
            WizardTestAccess::setDownloading(download(), downloading);
            m_state->analysis()->start();
            QTRY_VERIFY_WITH_TIMEOUT(m_state->analysis()->complete(), 10000);
            QCOMPARE(m_state->analysis()->error(), downloadMessage);
            QCOMPARE(m_state->analysis()->waitingForLLM(), false);
        }
        QCOMPARE(m_tool->runs().size(), 2);
    }

    // Closing the wizard stops the analysis silently, waiting or running.
    void closingStopsTheAnalysis()
    {
        writeScenario(u"analyze-history"_s, { { u"hang"_s, true } });
        WizardTestAccess::setDownloading(download(), true);
        m_state->analysis()->start();
        m_state->cancelAnalysis();
        QCOMPARE(m_state->analysis()->waitingForLLM(), false);
        QCOMPARE(m_state->analysis()->closeAlertTitle(), QString());
        // The download finishing later starts nothing.
        WizardTestAccess::setComplete(download(), true);
        QTest::qWait(1500);
        QCOMPARE(m_tool->runs().size(), 0);
        QCOMPARE(m_state->analysis()->statusLine(), QString());

        m_state->analysis()->start();
        QTRY_COMPARE(childProcessCount("quorvane"), 1);
        QCOMPARE(m_state->analysis()->inProgress(), true);
        QCOMPARE(m_state->analysis()->closeAlertTitle(), u"Activity analysis in progress"_s);
        m_state->cancelAnalysis();
        QCOMPARE(m_state->analysis()->inProgress(), false);
        QTRY_COMPARE(childProcessCount("quorvane"), 0);
        QTest::qWait(100);
        QVERIFY(!m_state->analysis()->complete());
        QCOMPARE(m_state->analysis()->error(), QString());

        // The wizard's model going away ends a running analysis too.
        m_state->analysis()->start();
        QTRY_COMPARE(childProcessCount("quorvane"), 1);
        m_state.reset();
        QTRY_COMPARE(childProcessCount("quorvane"), 0);
    }
};

QTEST_MAIN(TestDetectionAndAnalysis)
#include "tst_DetectionAndAnalysis.moc"
