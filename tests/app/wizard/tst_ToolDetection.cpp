#include "app/tooling/AgentNameRules.h"
#include "app/tooling/CLIService.h"
#include "app/tooling/ToolDetection.h"
#include "app/tooling/ToolScan.h"
#include "app/wizard/WizardState.h"
#include "tests/support/ChildProcesses.h"
#include "tests/support/StandInTool.h"
#include "tests/support/TestHome.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <qcorotask.h>

using namespace std::chrono_literals;

// Detection through the stand-in product tool, a real child process driven by
// a scenario file, with a throw-away home folder holding the project folders.
class TestToolDetection : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void defaultScan();
    void projectsAndRoot();
    void staysResponsive();
    void unusableScans_data();
    void unusableScans();
    void deadline();
    void missingTool();

private:
    void writeScenario(const QJsonObject& scan)
    {
        QVERIFY(m_tool->writeScenario(QJsonObject { { QStringLiteral("scan"), scan } }));
    }
    QList<DetectedTool> detect(WizardState& state);

    std::unique_ptr<TestHome> m_home;
    std::unique_ptr<StandInTool> m_tool;
    std::unique_ptr<CLIService> m_cli;
};

void TestToolDetection::initTestCase()
{
    QVERIFY2(
        QFileInfo(StandInTool::executablePath()).isExecutable(), qPrintable(StandInTool::executablePath()));
}

void TestToolDetection::init()
{
    m_home = std::make_unique<TestHome>();
    m_tool = std::make_unique<StandInTool>();
    m_cli = std::make_unique<CLIService>(nullptr, [] { return StandInTool::executablePath(); });
}

void TestToolDetection::cleanup()
{
    // No scan may outlive its detection.
    QTRY_COMPARE(childProcessCount(), 0);
    m_cli.reset();
    m_tool.reset();
    m_home.reset();
}

QList<DetectedTool> TestToolDetection::detect(WizardState& state)
{
    state.setCli(m_cli.get());
    QCoro::waitFor(state.detectTools());
    return state.detectedTools()->tools();
}

void TestToolDetection::defaultScan()
{
    // The stand-in reports one installed tool and one that is not found.
    WizardState state;
    state.setAgentName(QStringLiteral("Not A Name"));
    QSignalSpy replaced(&state, &WizardState::detectedToolsChanged);
    const QList<DetectedTool> tools = detect(state);
    QCOMPARE(tools.size(), 1);
    QCOMPARE(tools.first().name, QStringLiteral("Code Assistant"));
    QCOMPARE(tools.first().subtitle, QStringLiteral("code-assistant"));
    QCOMPARE(tools.first().enabled, true);
    QCOMPARE(replaced.size(), 1);
    // A fresh default name, which the configure screen accepts as it is.
    QVERIFY(defaultAgentNames().contains(state.agentName()));
    QCOMPARE(state.agentNameError(), std::nullopt);
    QCOMPARE(state.agentNameErrorText(), QString());
    QCOMPARE(state.canContinue(), true);
    QCOMPARE(state.isDetectingTools(), false);

    // The screen's edits reach canContinue.
    QSignalSpy continuing(&state, &WizardState::canContinueChanged);
    state.setAgentName(QStringLiteral("my agent"));
    QCOMPARE(state.agentNameErrorText(), QStringLiteral("Spaces are not allowed. Use hyphens instead."));
    QCOMPARE(state.canContinue(), false);
    state.setAgentName(QStringLiteral("agent-1"));
    QCOMPARE(state.canContinue(), true);
    state.detectedTools()->setData(state.detectedTools()->index(0), false, DetectedToolsModel::EnabledRole);
    QCOMPARE(state.canContinue(), false);
    QCOMPARE(continuing.size(), 3);
}

void TestToolDetection::projectsAndRoot()
{
    QVERIFY(QDir().mkpath(m_home->filePath(QStringLiteral("code/a"))));
    QVERIFY(QDir().mkpath(m_home->filePath(QStringLiteral("code/b"))));
    const auto project = [](const char* path, bool active) {
        return QJsonObject { { QStringLiteral("path"), QLatin1String(path) },
            { QStringLiteral("isActive"), active },
            { QStringLiteral("lastActive"), QStringLiteral("2025-03-01T10:00:00Z") } };
    };
    const QJsonObject tool { { QStringLiteral("displayName"), QStringLiteral("Code Assistant") },
        { QStringLiteral("descriptorId"), QStringLiteral("code-assistant") },
        { QStringLiteral("detection"),
            QJsonObject { { QStringLiteral("status"), QStringLiteral("installed") },
                { QStringLiteral("details"),
                    QJsonObject { { QStringLiteral("projects"),
                        QJsonArray { project("~/code/a", true), project("~/code/gone", false),
                            project("~/code/b", false) } } } } } } };
    writeScenario({ { QStringLiteral("agents"), QJsonArray { tool } } });

    WizardState state;
    const QList<DetectedTool> tools = detect(state);
    QCOMPARE(tools.size(), 1);
    // The stand-in reports absolute paths; the wizard shows them from "~".
    QCOMPARE(tools.first().projects.size(), 2);
    QCOMPARE(tools.first().projects.at(0).path, QStringLiteral("~/code/a"));
    QCOMPARE(tools.first().projects.at(0).isActive, true);
    QCOMPARE(tools.first().projects.at(0).lastUsed, QStringLiteral("2025-03-01T10:00:00Z"));
    QCOMPARE(tools.first().projects.at(1).path, QStringLiteral("~/code/b"));
    QCOMPARE(tools.first().projectsRoot, m_home->filePath(QStringLiteral("code")));
    QCOMPARE(tools.first().projectsRootEnabled, true);
}

void TestToolDetection::staysResponsive()
{
    writeScenario({ { QStringLiteral("stepDelayMs"), 400 } });
    WizardState state;
    state.setCli(m_cli.get());
    int ticks = 0;
    bool detectingSeen = false;
    QTimer ticker;
    connect(&ticker, &QTimer::timeout, this, [&] {
        ++ticks;
        detectingSeen = detectingSeen || state.isDetectingTools();
    });
    ticker.start(20);
    QSignalSpy detecting(&state, &WizardState::isDetectingToolsChanged);
    QCoro::waitFor(state.detectTools());
    // The event loop kept turning while the scan ran, and the wizard said so.
    QVERIFY2(ticks >= 5, qPrintable(QString::number(ticks)));
    QVERIFY(detectingSeen);
    QCOMPARE(detecting.size(), 2);
    QCOMPARE(state.isDetectingTools(), false);
    QCOMPARE(state.detectedTools()->count(), 1);
}

void TestToolDetection::unusableScans_data()
{
    QTest::addColumn<QJsonObject>("scan");
    QTest::newRow("array") << QJsonObject { { QStringLiteral("rawOutput"),
        QStringLiteral("[{\"agents\": []}]") } };
    QTest::newRow("not json") << QJsonObject { { QStringLiteral("rawOutput"),
        QStringLiteral("Scanning...\n") } };
    QTest::newRow("agents missing") << QJsonObject { { QStringLiteral("rawOutput"),
        QStringLiteral("{\"tools\": []}") } };
    QTest::newRow("agents of the wrong type") << QJsonObject { { QStringLiteral("rawOutput"),
        QStringLiteral("{\"agents\": \"Code Assistant\"}") } };
    QTest::newRow("failing tool") << QJsonObject { { QStringLiteral("exitCode"), 1 },
        { QStringLiteral("errorMessage"), QStringLiteral("scan failed") } };
    // Over the reader's limit, though still one valid object.
    QTest::newRow("huge") << QJsonObject { { QStringLiteral("largeOutputBytes"),
        ToolScan::maxOutputBytes + 1 } };
    // Over the runner's capture limit: the tool is stopped while it writes.
    QTest::newRow("beyond the capture limit")
        << QJsonObject { { QStringLiteral("largeOutputBytes"), CLIRunLimits::capture().outputBytes + 1024 } };
}

void TestToolDetection::unusableScans()
{
    QFETCH(QJsonObject, scan);
    writeScenario(scan);
    WizardState state;
    QCOMPARE(detect(state).size(), 0);
    QCOMPARE(state.canContinue(), false);
    QVERIFY(!state.agentName().isEmpty());
}

void TestToolDetection::deadline()
{
    // A scan that never ends is stopped at the deadline and detects nothing.
    writeScenario({ { QStringLiteral("hang"), true } });
    const QList<DetectedTool> tools
        = QCoro::waitFor(ToolDetection::detectTools(*m_cli, m_home->path(), 300ms));
    QCOMPARE(tools.size(), 0);
}

void TestToolDetection::missingTool()
{
    // Without any product tool, detection still proposes a name and finds nothing.
    WizardState unwired;
    QCoro::waitFor(unwired.detectTools());
    QVERIFY(defaultAgentNames().contains(unwired.agentName()));
    QCOMPARE(unwired.detectedTools()->count(), 0);
    QCOMPARE(unwired.isDetectingTools(), false);
}

QTEST_GUILESS_MAIN(TestToolDetection)
#include "tst_ToolDetection.moc"
