#include "app/dashboard/AgentListModel.h"
#include "tests/app/wizard/WizardWindowFixture.h"
#include "tests/support/DashboardHome.h"

#include <QAccessible>
#include <QScreen>
#include <QSignalSpy>

using namespace Qt::StringLiterals;
using Screen = WizardState::WizardScreen;

namespace {

struct ScreenCase
{
    Screen screen;
    QString screenName;
    QString primary;
};

const QList<ScreenCase> screenCases {
    { Screen::welcome, u"welcomeScreen"_s, u"getStartedButton"_s },
    { Screen::signIn, u"signInScreen"_s, u"signInButton"_s },
    { Screen::install, u"installScreen"_s, u"installButton"_s },
    { Screen::configure, u"configureScreen"_s, u"continueButton"_s },
    { Screen::settingUp, u"settingUpScreen"_s, u"skipButton"_s },
    { Screen::done, u"doneScreen"_s, u"closeButton"_s },
};

// Fills the model so that every screen shows the most it can: many tools,
// expanded, with their projects; a long log; every summary row.
void fillEverything(WizardState& state, int toolCount)
{
    QList<DetectedTool> tools;
    for (int i = 0; i < toolCount; ++i) {
        DetectedTool tool = WizardWindowFixture::tool(
            u"Tool %1"_s.arg(i), u"tool-%1"_s.arg(i), { u"~/code/a"_s, u"~/code/b"_s }, u"~/code"_s);
        tool.expanded = true;
        tool.scope = i % 2 ? ScopeChoice::perProject : ScopeChoice::allProjects;
        tools.append(tool);
    }
    state.configuration()->detectedTools()->setTools(tools);
    state.configuration()->rename(u"vega"_s);
    WizardTestAccess::setError(*state.install(), u"Installation failed"_s);
    WizardTestAccess::setOllamaStatus(*state.install(), DependencyStatus::failed(u"Download failed"_s));
    WizardTestAccess::setCliStatus(*state.install(), DependencyStatus::installing());
    state.setup()->log()->addSection(u"AGENTS"_s);
    for (int i = 0; i < toolCount * 3; ++i) {
        state.setup()->log()->appendLog(u"Registered agent for ~/code/%1"_s.arg(i), LogStyle::done);
        state.setup()->registeredAgents()->append(
            AgentSummary { .name = u"vega"_s, .scope = u"per-project"_s, .toolName = u"Tool %1"_s.arg(i) });
    }
    WizardTestAccess::signIn(*state.account(), QString(), u"dev@example.com"_s);
    WizardTestAccess::setTemplateRuleCount(*state.setup(), 12);
    WizardTestAccess::setDownloading(*state.install()->modelDownload(), true);
    WizardTestAccess::setProgress(*state.install()->modelDownload(), 0.42);
    WizardTestAccess::setWaitingForLLM(*state.analysis(), true);
}

// What Tab stops at.
void collectInteractive(QQuickItem* item, QList<QQuickItem*>& found)
{
    if (!item || !item->isVisible())
        return;
    if (item->activeFocusOnTab() && item->isEnabled())
        found.append(item);
    for (QQuickItem* child : item->childItems())
        collectInteractive(child, found);
}

QString accessibleName(QQuickItem* item)
{
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(item);
    return accessible ? accessible->text(QAccessible::Name) : QString();
}

} // namespace

// The rules every wizard screen keeps in the real window, offscreen: the main
// button stays in reach, the keyboard and screen-reader rules; and what the
// shell's windows do with the wizard and the dashboard.
class TestWizardWindowRules : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QuorvaneStyle::applyDarkAppearance(); }
    void everyScreenKeepsItsButtonInReachAndItsControlsNamed_data()
    {
        QTest::addColumn<int>("height");
        QTest::addColumn<int>("tools");
        QTest::newRow("opening size, two tools") << 780 << 2;
        QTest::newRow("smallest height, two tools") << 680 << 2;
        QTest::newRow("opening size, twelve expanded tools") << 780 << 12;
        QTest::newRow("tallest window, twelve expanded tools") << 1100 << 12;
    }

    void everyScreenKeepsItsButtonInReachAndItsControlsNamed()
    {
        QFETCH(int, height);
        QFETCH(int, tools);
        WizardWindowFixture f;
        f.view()->resize(540, height);
        fillEverything(f.state, tools);

        for (const ScreenCase& screen : screenCases) {
            QVERIFY2(f.show(screen.screen, screen.screenName), qPrintable(screen.screenName));
            QTRY_VERIFY2(f.insideWindow(f.find(screen.primary)), qPrintable(screen.primary));
            // Content taller than the window scrolls instead of pushing the button out.
            QQuickItem* scroll = f.find(u"pageScroll"_s);
            QVERIFY(scroll);
            if (scroll->property("contentHeight").toReal() > scroll->height())
                QVERIFY(f.insideWindow(scroll));
            if (tools > 2)
                continue;
            // Every control has a name for the screen reader, and Tab visits each and comes round again.
            QList<QQuickItem*> controls;
            collectInteractive(f.root(), controls);
            QVERIFY2(controls.size() >= 1, qPrintable(screen.screenName));
            for (QQuickItem* control : controls) {
                QVERIFY2(!accessibleName(control).trimmed().isEmpty(),
                    qPrintable(screen.screenName + u": "_s + control->objectName()));
            }
            QSet<QQuickItem*> reached;
            for (int i = 0; i < 2 * controls.size() + 2; ++i) {
                QTest::keyClick(f.view(), Qt::Key_Tab);
                if (QQuickItem* focused = f.view()->activeFocusItem())
                    reached.insert(focused);
            }
            for (QQuickItem* control : controls) {
                QVERIFY2(reached.contains(control),
                    qPrintable(screen.screenName + u": not reached by Tab: "_s + control->objectName()
                        + u" "_s + accessibleName(control)));
            }
        }
    }

    void enterPressesTheDefaultButtonAndEscapeKeepsWork()
    {
        WizardWindowFixture f;
        QVERIFY(f.show(Screen::welcome, u"welcomeScreen"_s));
        QTest::keyClick(f.view(), Qt::Key_Escape);
        QCOMPARE(f.state.currentScreen(), Screen::welcome);
        QTest::keyClick(f.view(), Qt::Key_Return);
        QTRY_COMPARE(f.state.currentScreen(), Screen::signIn);
        QVERIFY(f.settle(u"signInScreen"_s));

        // Configure: a name typed, Escape keeps it and the screen; Enter in the
        // field goes on only when "Continue" is enabled.
        f.configuration.detectedTools()->setTools({ WizardWindowFixture::tool(u"Cursor"_s, u"cursor"_s) });
        f.configuration.rename(QString());
        QVERIFY(f.show(Screen::configure, u"configureScreen"_s));
        f.find(u"agentNameField"_s)->forceActiveFocus();
        f.type(u"Bad"_s);
        QTRY_COMPARE(f.configuration.agentName(), u"Bad"_s);
        QTest::keyClick(f.view(), Qt::Key_Escape);
        QCOMPARE(f.configuration.agentName(), u"Bad"_s);
        QCOMPARE(f.state.currentScreen(), Screen::configure);
        QSignalSpy screens(&f.state, &WizardState::currentScreenChanged);
        QTest::keyClick(f.view(), Qt::Key_Return); // "Continue" is disabled: nothing happens
        QCOMPARE(screens.size(), 0);

        // With a good name Enter in the field is "Continue": the set-up run starts
        // (without a product tool it ends at once on the done screen). Enter on a
        // project's check box is driven in the real program (tst_WizardOnDesktop).
        f.configuration.rename(u"vega"_s);
        QTRY_VERIFY(f.find(u"continueButton"_s)->isEnabled());
        QTest::keyClick(f.view(), Qt::Key_Return);
        QTRY_COMPARE(f.state.currentScreen(), Screen::done);

        // Done: Enter is "Close".
        QSignalSpy closed(&f.state, &WizardState::closeRequested);
        QVERIFY(f.show(Screen::done, u"doneScreen"_s));
        QTest::keyClick(f.view(), Qt::Key_Escape);
        QCOMPARE(closed.size(), 0);
        QTest::keyClick(f.view(), Qt::Key_Return);
        QTRY_COMPARE(closed.size(), 1);
    }

    void isSetupComplete_data()
    {
        QTest::addColumn<QStringList>("paths"); // under ~/.quorvane; a trailing "/" makes a folder
        QTest::addColumn<bool>("complete");
        QTest::newRow("nothing") << QStringList {} << false;
        QTest::newRow("approver-only marker") << QStringList { u"machine/approver-only"_s } << true;
        QTest::newRow("one agent with config.json") << QStringList { u"agents/a/config.json"_s } << true;
        QTest::newRow("empty agent folder") << QStringList { u"agents/a/"_s } << false;
        QTest::newRow("hidden agent folder") << QStringList { u"agents/.a/config.json"_s } << false;
        QTest::newRow("agents folder without agents") << QStringList { u"agents/"_s } << false;
        QTest::newRow("config.json directly in agents") << QStringList { u"agents/config.json"_s } << false;
        QTest::newRow("other file names") << QStringList { u"agents/a/config.json.bak"_s } << false;
        QTest::newRow("one good among empty ones")
            << QStringList { u"agents/a/"_s, u"agents/b/config.json"_s, u"agents/c/"_s } << true;
    }

    void isSetupComplete()
    {
        QFETCH(QStringList, paths);
        QFETCH(bool, complete);
        TestHome home;
        for (const QString& path : paths) {
            const QString whole = home.filePath(u".quorvane/"_s + path);
            QVERIFY(path.endsWith(u'/') ? QDir().mkpath(whole) : home.write(u".quorvane/"_s + path, "{}"));
        }
        WizardState state;
        ShellWindows windows { state };
        QCOMPARE(windows.isSetupComplete(), complete);
        QCOMPARE(ShellWindows::isSetupComplete(home.filePath(u".quorvane"_s)), complete);
    }

    void wizardSizeAndTheDashboardWhileItIsOpen()
    {
        TestHome home;
        WizardState state;
        ShellWindows windows { state };
        windows.showWizard();
        QWindow* wizard = windows.wizardWindow();
        QVERIFY(wizard);
        // 540 x 780 to start with, between 540 x 680 and 720 x 1100, and never
        // taller than the screen's free area.
        const int room = wizard->screen()->availableGeometry().height();
        QCOMPARE(wizard->size(), QSize(540, std::min(780, room)));
        QCOMPARE(wizard->minimumSize(), QSize(540, std::min(680, room)));
        QCOMPARE(wizard->maximumSize(), QSize(720, std::min(1100, room)));

        windows.showDashboard();
        QVERIFY(windows.dashboardWindow() == nullptr);
        windows.showWizard(); // an open wizard is only brought to the front
        QCOMPARE(windows.wizardWindow(), wizard);
    }

    void closingAnUnfinishedWizardQuits()
    {
        TestHome home;
        WizardState state;
        ShellWindows windows { state };
        int allowed = 0;
        int terminated = 0;
        int statusItems = 0;
        int serviceStarts = 0;
        windows.setShell(
            { [&] { ++statusItems; }, [&] { ++serviceStarts; }, [&] { ++allowed; }, [&] { ++terminated; } });
        windows.showWizard();
        WizardTestAccess::show(windows.wizardState(), Screen::signIn);
        WizardTestAccess::signIn(*windows.wizardState().account(), u"session-secret"_s, QString());
        windows.wizardWindow()->close();
        QTRY_COMPARE(terminated, 1);
        QVERIFY(windows.wizardState().account()->sessionToken().isEmpty()); // set-up is over: the session goes
        QCOMPARE(allowed, 1);
        QVERIFY(windows.wizardWindow() == nullptr);
        QCOMPARE(statusItems + serviceStarts, 0);

        // Reopened, the wizard shows the state it was left in.
        windows.showWizard();
        QCOMPARE(windows.wizardState().currentScreen(), Screen::signIn);

        // On a set-up machine closing the wizard does not quit: the program goes
        // on in the tray with its status item and services.
        QVERIFY(home.write(u".quorvane/machine/approver-only"_s, {}));
        windows.wizardWindow()->close();
        QTRY_VERIFY(windows.wizardWindow() == nullptr);
        QCOMPARE(terminated, 1);
        QCOMPARE(statusItems, 1);
        QCOMPARE(serviceStarts, 1);
        QVERIFY(!windows.hasVisibleWindow());

        // "Close" on the done screen finishes set-up the same way and drops the session.
        windows.showWizard();
        WizardTestAccess::signIn(*windows.wizardState().account(), u"session-secret"_s, QString());
        windows.wizardState().closeWizard();
        QVERIFY(windows.wizardWindow() == nullptr);
        QVERIFY(windows.wizardState().account()->sessionToken().isEmpty());
        QCOMPARE(statusItems, 2);
    }

    void dashboardOnASetUpMachine()
    {
        TestHome home;
        const QByteArray agent
            = "{\"name\":\"vega\",\"machine\":\"m\",\"machineId\":\"id\",\"publicKey\":\"k\","
              "\"createdAt\":\"2025-01-01T00:00:00Z\",\"apiUrl\":\"http://127.0.0.1\"}";
        QVERIFY(home.write(u".quorvane/agents/vega/config.json"_s, agent));
        WizardState state;
        ShellWindows withoutHome { state };
        withoutHome.showDashboard(); // no dashboard model handed over: nothing opens
        QVERIFY(withoutHome.dashboardWindow() == nullptr);
        DashboardHome dashboard;
        ShellWindows windows { state, &dashboard.state };
        int terminated = 0;
        windows.setShell({ {}, {}, {}, [&] { ++terminated; } });
        windows.showDashboard(); // reads the registry as it opens
        QWindow* window = windows.dashboardWindow();
        QVERIFY(window);
        QCOMPARE(window->size(), QSize(540, 680));
        QCOMPARE(dashboard.state.agentList()->count(), 1);
        windows.showDashboard();
        QCOMPARE(windows.dashboardWindow(), window);

        window->close();
        QTRY_VERIFY(windows.dashboardWindow() == nullptr);
        QVERIFY(!windows.hasVisibleWindow());
        QCOMPARE(terminated, 0);
        // A window that is not ours is not acted on.
        QWindow stranger;
        windows.windowWillClose(&stranger);
        windows.windowWillClose(nullptr);
        QCOMPARE(terminated, 0);
    }
};

QTEST_MAIN(TestWizardWindowRules)
#include "tst_WizardWindowRules.moc"
