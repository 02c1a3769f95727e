#include "app/tooling/CLIService.h"
#include "app/wizard/InstallPhase.h"
#include "app/wizard/WizardState.h"
#include "tests/support/ChildProcesses.h"
#include "tests/support/StandInTool.h"
#include "tests/support/TestHome.h"

#include <QFileInfo>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QTest>

// The wizard's screens that wait for the product tool (install, setting up)
// can always be left: their run is stopped and its child does not outlive it.
// Against the stand-in tool told to hang and to ignore SIGTERM.
class TestWizardToolRuns : public QObject
{
    Q_OBJECT

    std::optional<TestHome> m_home;
    std::optional<StandInTool> m_tool;
    std::optional<CLIService> m_cli;
    std::optional<QNetworkAccessManager> m_network;
    std::unique_ptr<WizardState> m_state;

    // The command hangs after its first line and ignores SIGTERM.
    void hang(const QString& command)
    {
        QVERIFY(m_tool->writeScenario({ { command,
            QJsonObject {
                { QStringLiteral("hang"), true }, { QStringLiteral("ignoreTerminate"), true } } } }));
    }

    void startInstall()
    {
        hang(QStringLiteral("preflight"));
        m_state->setCurrentScreen(WizardState::WizardScreen::install);
        m_state->runInstall();
        QVERIFY(m_state->isLoading());
        QTRY_COMPARE(childProcessCount("quorvane"), 1);
    }

    void startSetup()
    {
        hang(QStringLiteral("init"));
        DetectedTool tool;
        tool.name = QStringLiteral("Code Assistant");
        tool.subtitle = QStringLiteral("code-assistant");
        m_state->detectedTools()->setTools({ tool });
        m_state->startSetup();
        QTRY_COMPARE(childProcessCount("quorvane"), 1);
        // Started is not yet running: the tool has written down its run.
        QTRY_COMPARE(m_tool->runs().size(), 1);
        QCOMPARE(m_state->currentScreen(), WizardState::WizardScreen::settingUp);
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
        m_cli.emplace(nullptr, [] { return StandInTool::executablePath(); });
        m_network.emplace();
        m_state = std::make_unique<WizardState>();
        m_state->setCli(&*m_cli);
        m_state->setNetwork(&*m_network);
        m_state->setInstallLLM(false);
        m_state->installPhase().setServices({ &*m_cli, nullptr, nullptr, nullptr });
    }

    void cleanup()
    {
        m_state.reset();
        QTRY_COMPARE(childProcessCount(), 0);
        m_network.reset();
        m_cli.reset();
        m_tool.reset();
        m_home.reset();
    }

    // "Cancel" on the install screen stops the preparation; the button starts it over.
    void cancellingTheInstall()
    {
        startInstall();
        m_state->cancelInstall();
        QTRY_VERIFY(!m_state->isLoading());
        QCOMPARE(childProcessCount("quorvane"), 0);
        QCOMPARE(m_state->errorMessage(), QStringLiteral("Cancelled"));
        QCOMPARE(m_state->currentScreen(), WizardState::WizardScreen::install);
        QVERIFY(!m_state->installPhase().isRunning());
    }

    // "Skip & Finish Setup" stops the registration under way, and the set-up
    // run goes no further.
    void skippingTheSetup()
    {
        startSetup();
        m_state->skipSetup();
        QCOMPARE(m_state->currentScreen(), WizardState::WizardScreen::done);
        QTRY_COMPARE(childProcessCount("quorvane"), 0);
        // The run ended where it was: no further step for the tool.
        for (const SetupLogEntry& entry : m_state->setupLog()->entries())
            QVERIFY2(!entry.text.startsWith(QLatin1String("Hook installed")), qPrintable(entry.text));
        QCOMPARE(m_tool->runs().size(), 1);
    }

    void closingTheWizard_data()
    {
        QTest::addColumn<bool>("duringSetup");
        QTest::newRow("install screen") << false;
        QTest::newRow("setting-up screen") << true;
    }

    // Closing the wizard (its model goes) while a run waits ends the run's child.
    void closingTheWizard()
    {
        QFETCH(bool, duringSetup);
        if (duringSetup)
            startSetup();
        else
            startInstall();
        m_state.reset();
        QTRY_COMPARE(childProcessCount("quorvane"), 0);
    }
};

QTEST_MAIN(TestWizardToolRuns)
#include "tst_WizardToolRuns.moc"
