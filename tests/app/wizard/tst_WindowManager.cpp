#include "app/dashboard/AgentListModel.h"
#include "tests/support/DashboardHome.h"
#include "tests/support/TestHome.h"
#include "app/wizard/WindowManager.h"
#include "app/wizard/WizardState.h"

#include <QAbstractItemModelTester>
#include <QCloseEvent>
#include <QQuickItem>
#include <QQuickView>
#include <QScreen>
#include <QTest>

class TestWindowManager : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void isSetupComplete_data();
    void isSetupComplete();
    void dashboardWhileWizardOpen();
    void closingAnUnfinishedWizardQuits();
    void closingTheDashboardOnASetUpMachine();
    void dashboardListsAgents();
};

namespace {

QByteArray agentConfig(const QString& name, const QString& createdAt)
{
    return QStringLiteral("{\"name\":\"%1\",\"machine\":\"m\",\"machineId\":\"id\",\"publicKey\":\"k\","
                          "\"createdAt\":\"%2\",\"apiUrl\":\"http://127.0.0.1\",\"scope\":\"global\"}")
        .arg(name, createdAt)
        .toUtf8();
}

void closeWindow(QWindow* window)
{
    window->close();
}

} // namespace

void TestWindowManager::isSetupComplete_data()
{
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QStringList>("folders");
    QTest::addColumn<bool>("complete");

    QTest::newRow("nothing") << QStringList{} << QStringList{} << false;
    QTest::newRow("approver-only marker") << QStringList{QStringLiteral("machine/approver-only")} << QStringList{}
                                          << true;
    QTest::newRow("one agent with config.json") << QStringList{QStringLiteral("agents/laptop/config.json")}
                                                << QStringList{} << true;
    QTest::newRow("empty agent folder") << QStringList{} << QStringList{QStringLiteral("agents/laptop")} << false;
    QTest::newRow("hidden agent folder is ignored")
        << QStringList{QStringLiteral("agents/.hidden/config.json")} << QStringList{} << false;
    QTest::newRow("agents folder without agents") << QStringList{} << QStringList{QStringLiteral("agents")} << false;
    QTest::newRow("config.json directly in agents") << QStringList{QStringLiteral("agents/config.json")}
                                                    << QStringList{} << false;
    QTest::newRow("other file names do not count")
        << QStringList{QStringLiteral("agents/laptop/config.json.bak")} << QStringList{} << false;
    QTest::newRow("one good among empty ones")
        << QStringList{QStringLiteral("agents/b/config.json")}
        << QStringList{QStringLiteral("agents/a"), QStringLiteral("agents/c")} << true;
}

void TestWindowManager::isSetupComplete()
{
    QFETCH(QStringList, files);
    QFETCH(QStringList, folders);
    QFETCH(bool, complete);
    TestHome home;
    for (const QString& folder : folders)
        QVERIFY(QDir().mkpath(home.filePath(QStringLiteral(".quorvane/") + folder)));
    for (const QString& file : files)
        QVERIFY(home.write(QStringLiteral(".quorvane/") + file, "{}"));
    WindowManager windows;
    QCOMPARE(windows.isSetupComplete(), complete);
    QCOMPARE(WindowManager::isSetupComplete(home.filePath(QStringLiteral(".quorvane"))), complete);
}

void TestWindowManager::dashboardWhileWizardOpen()
{
    TestHome home;
    WindowManager windows;
    windows.showWizard();
    QWindow* wizard = windows.wizardWindow();
    QVERIFY(wizard);
    // 540 x 780 to start with, between 540 x 680 and 720 x 1100, and never
    // taller than the screen's free area.
    const int room = wizard->screen()->availableGeometry().height();
    QCOMPARE(wizard->width(), 540);
    QCOMPARE(wizard->height(), std::min(780, room));
    QCOMPARE(wizard->minimumSize(), QSize(540, std::min(680, room)));
    QCOMPARE(wizard->maximumSize(), QSize(720, std::min(1100, room)));

    windows.showDashboard();
    QVERIFY(windows.dashboardWindow() == nullptr);
    QCOMPARE(windows.wizardWindow(), wizard);
    windows.showWizard(); // an open wizard is only brought to the front
    QCOMPARE(windows.wizardWindow(), wizard);
}

void TestWindowManager::closingAnUnfinishedWizardQuits()
{
    TestHome home;
    WindowManager windows;
    int allowed = 0;
    int terminated = 0;
    int statusItems = 0;
    int serviceStarts = 0;
    windows.setShell({[&] { ++statusItems; }, [&] { ++serviceStarts; }, [&] { ++allowed; }, [&] { ++terminated; }});
    windows.showWizard();
    windows.wizardState().setCurrentScreen(WizardState::WizardScreen::signIn);
    windows.wizardState().setSessionToken(QStringLiteral("session-secret"));
    closeWindow(windows.wizardWindow());
    QTRY_COMPARE(terminated, 1);
    QVERIFY(windows.wizardState().sessionToken().isEmpty()); // set-up is over: the session goes
    QCOMPARE(allowed, 1);
    QVERIFY(windows.wizardWindow() == nullptr);

    // Reopened, the wizard shows the state it was left in.
    windows.showWizard();
    QCOMPARE(windows.wizardState().currentScreen(), WizardState::WizardScreen::signIn);

    QCOMPARE(statusItems, 0);
    QCOMPARE(serviceStarts, 0);

    // On a set-up machine closing the wizard does not quit: the program goes
    // on in the tray with its status item and services.
    QVERIFY(home.write(QStringLiteral(".quorvane/machine/approver-only"), {}));
    closeWindow(windows.wizardWindow());
    QTRY_VERIFY(windows.wizardWindow() == nullptr);
    QCOMPARE(terminated, 1);
    QCOMPARE(statusItems, 1);
    QCOMPARE(serviceStarts, 1);
    QVERIFY(!windows.hasVisibleWindow());

    // Finishing set-up drops the session token too.
    windows.showWizard();
    windows.wizardState().setSessionToken(QStringLiteral("session-secret"));
    windows.finishWizard();
    QVERIFY(windows.wizardState().sessionToken().isEmpty());
}

void TestWindowManager::closingTheDashboardOnASetUpMachine()
{
    TestHome home;
    QVERIFY(home.write(QStringLiteral(".quorvane/machine/approver-only"), {}));
    WindowManager windows;
    windows.showDashboard(); // no dashboard model handed over: nothing opens
    QVERIFY(windows.dashboardWindow() == nullptr);
    DashboardHome dashboard;
    windows.setHome(&dashboard.state);
    int terminated = 0;
    windows.setShell({{}, {}, {}, [&] { ++terminated; }});
    windows.showDashboard();
    QWindow* window = windows.dashboardWindow();
    QVERIFY(window);
    QCOMPARE(window->size(), QSize(540, 680));
    windows.showDashboard();
    QCOMPARE(windows.dashboardWindow(), window);

    closeWindow(window);
    QTRY_VERIFY(windows.dashboardWindow() == nullptr);
    QVERIFY(!windows.hasVisibleWindow());
    QCOMPARE(terminated, 0);
    // A window that is not ours is not acted on.
    QWindow stranger;
    windows.windowWillClose(&stranger);
    windows.windowWillClose(nullptr);
    QCOMPARE(terminated, 0);
}

void TestWindowManager::dashboardListsAgents()
{
    TestHome home;
    QVERIFY(home.write(QStringLiteral(".quorvane/agents/older/config.json"),
                       agentConfig(QStringLiteral("older"), QStringLiteral("2024-01-01T00:00:00Z"))));
    QVERIFY(home.write(QStringLiteral(".quorvane/agents/newer/config.json"),
                       agentConfig(QStringLiteral("newer"), QStringLiteral("2025-01-01T00:00:00Z"))));
    QVERIFY(home.write(QStringLiteral(".quorvane/agents/broken/config.json"), "{not json"));
    DashboardHome dashboard;
    WindowManager windows;
    windows.setHome(&dashboard.state);
    AgentListModel& agents = *dashboard.state.agentList();
    QAbstractItemModelTester tester(&agents, QAbstractItemModelTester::FailureReportingMode::QtTest);
    windows.showDashboard(); // re-reads the registry as it opens
    QCOMPARE(agents.count(), 2);
    QCOMPARE(agents.data(agents.index(0), AgentListModel::nameRole).toString(), QStringLiteral("newer"));
    QCOMPARE(agents.data(agents.index(0), AgentListModel::scopeLabelRole).toString(), QStringLiteral("All projects"));
    QQuickItem* root = qobject_cast<QQuickView*>(windows.dashboardWindow())->rootObject();
    QVERIFY(root);
    auto* list = root->findChild<QQuickItem*>(QStringLiteral("agentList"));
    QVERIFY(list);
    QTRY_COMPARE(list->property("count").toInt(), 2);
    // With agents, the card's "add an agent" hint is not shown.
    auto* hint = root->findChild<QQuickItem*>(QStringLiteral("noAgentsLabel"));
    QVERIFY(hint);
    QVERIFY(!hint->isVisible());
}

QTEST_MAIN(TestWindowManager)
#include "tst_WindowManager.moc"
