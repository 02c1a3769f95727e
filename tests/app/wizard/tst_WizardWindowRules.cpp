#include "tests/app/wizard/WizardWindowFixture.h"

#include <QAccessible>
#include <QScreen>
#include <QSignalSpy>
#include <limits>

using Screen = WizardState::WizardScreen;

// The rules every wizard screen keeps in the real window, offscreen: the main
// button stays in reach, the step bar follows, odd progress values are shown
// safely, and the keyboard and screen-reader rules.
class TestWizardWindowRules : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QuorvaneStyle::applyDarkAppearance(); }
    void primaryButtonStaysInTheWindow_data();
    void primaryButtonStaysInTheWindow();
    void stepBarFollowsTheScreen();
    void hostileProgressValuesAreShownSafely();
    void everyControlIsNamedAndReachableByTab();
    void enterPressesTheDefaultButtonAndEscapeKeepsWork();
};

namespace {

struct ScreenCase
{
    Screen screen;
    QString screenName;
    QString primary;
};

const QList<ScreenCase>& screenCases()
{
    static const QList<ScreenCase> cases {
        { Screen::welcome, QStringLiteral("welcomeScreen"), QStringLiteral("getStartedButton") },
        { Screen::signIn, QStringLiteral("signInScreen"), QStringLiteral("signInButton") },
        { Screen::install, QStringLiteral("installScreen"), QStringLiteral("installButton") },
        { Screen::configure, QStringLiteral("configureScreen"), QStringLiteral("continueButton") },
        { Screen::settingUp, QStringLiteral("settingUpScreen"), QStringLiteral("skipButton") },
        { Screen::done, QStringLiteral("doneScreen"), QStringLiteral("closeButton") },
    };
    return cases;
}

// Fills the model so that every screen shows the most it can: many tools,
// expanded, with their projects; a long log; every summary row.
void fillEverything(WizardState& state, int toolCount)
{
    QList<DetectedTool> tools;
    for (int i = 0; i < toolCount; ++i) {
        DetectedTool tool
            = WizardWindowFixture::tool(QStringLiteral("Tool %1").arg(i), QStringLiteral("tool-%1").arg(i),
                { QStringLiteral("~/code/a"), QStringLiteral("~/code/b") }, QStringLiteral("~/code"));
        tool.expanded = true;
        tool.scope = i % 2 ? ScopeChoice::perProject : ScopeChoice::allProjects;
        tools.append(tool);
    }
    state.detectedTools()->setTools(tools);
    state.setAgentName(QStringLiteral("vega"));
    state.setErrorMessage(QStringLiteral("Installation failed"));
    state.setOllamaStatus(DependencyStatus::failed(QStringLiteral("Download failed")));
    state.setCliStatus(DependencyStatus::installing());
    state.setupLog()->addSection(QStringLiteral("AGENTS"));
    for (int i = 0; i < toolCount * 3; ++i) {
        state.setupLog()->appendLog(QStringLiteral("Registered agent for ~/code/%1").arg(i), LogStyle::done);
        state.registeredAgents()->append(WizardWindowFixture::agentSummary(
            QStringLiteral("vega"), QStringLiteral("per-project"), QStringLiteral("Tool %1").arg(i)));
    }
    state.setSignedInEmail(QStringLiteral("dev@example.com"));
    state.setTemplateRuleCount(12);
    state.setLlmDownloading(true);
    state.setLlmDownloadProgress(0.42);
    state.setAnalysisWaitingForLLM(true);
}

// Interactive items: what Tab stops at.
bool isInteractive(const QQuickItem* item)
{
    return item->activeFocusOnTab() && item->isVisible() && item->isEnabled();
}

void collectInteractive(QQuickItem* item, QList<QQuickItem*>& found)
{
    if (!item || !item->isVisible())
        return;
    if (isInteractive(item))
        found.append(item);
    const QList<QQuickItem*> children = item->childItems();
    for (QQuickItem* child : children)
        collectInteractive(child, found);
}

QString accessibleName(QQuickItem* item)
{
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(item);
    return accessible ? accessible->text(QAccessible::Name) : QString();
}

} // namespace

void TestWizardWindowRules::primaryButtonStaysInTheWindow_data()
{
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("tools");
    QTest::newRow("opening size, two tools") << 780 << 2;
    QTest::newRow("smallest height, two tools") << 680 << 2;
    QTest::newRow("opening size, twelve expanded tools") << 780 << 12;
    QTest::newRow("tallest window, twelve expanded tools") << 1100 << 12;
}

void TestWizardWindowRules::primaryButtonStaysInTheWindow()
{
    QFETCH(int, height);
    QFETCH(int, tools);
    WizardWindowFixture f;
    QVERIFY(f.view());
    // The window opens at 540 x 780 unless the screen has less room.
    QCOMPARE(f.view()->size(), QSize(540, std::min(780, f.view()->screen()->availableGeometry().height())));
    f.view()->resize(540, height);
    fillEverything(f.state, tools);

    for (const ScreenCase& screen : screenCases()) {
        QVERIFY2(f.show(screen.screen, screen.screenName), qPrintable(screen.screenName));
        QQuickItem* button = f.find(screen.primary);
        QVERIFY2(button, qPrintable(screen.primary));
        QTRY_VERIFY2(f.insideWindow(button), qPrintable(screen.primary));
        // Content taller than the window scrolls instead of pushing the button out.
        QQuickItem* scroll = f.find(QStringLiteral("pageScroll"));
        QVERIFY(scroll);
        if (scroll->property("contentHeight").toReal() > scroll->height())
            QVERIFY(f.insideWindow(scroll));
        if (screen.screen == Screen::configure && tools > 2 && height == 780)
            f.screenshot(QStringLiteral("configure-scrolled"));
    }
    // Enabled as the model says: "Continue" only while the configuration can go on.
    QVERIFY(f.show(Screen::configure, QStringLiteral("configureScreen")));
    QVERIFY(f.find(QStringLiteral("continueButton"))->isEnabled());
    f.state.setAgentName(QStringLiteral("Bad Name"));
    QTRY_VERIFY(!f.find(QStringLiteral("continueButton"))->isEnabled());
    VERIFY_NO_WARNINGS(f);
}

void TestWizardWindowRules::stepBarFollowsTheScreen()
{
    WizardWindowFixture f;
    QVERIFY(f.show(Screen::welcome, QStringLiteral("welcomeScreen")));
    QVERIFY(!f.find(QStringLiteral("stepProgressBar")));
    f.screenshot(QStringLiteral("welcome"));

    QVERIFY(f.show(Screen::configure, QStringLiteral("configureScreen")));
    QVERIFY(f.find(QStringLiteral("stepProgressBar")));
    const QStringList labels { QStringLiteral("SIGN IN"), QStringLiteral("INSTALL"),
        QStringLiteral("CONFIGURE"), QStringLiteral("SETUP"), QStringLiteral("DONE") };
    for (int i = 0; i < 5; ++i) {
        QCOMPARE(f.text(QStringLiteral("stepLabel%1").arg(i)), labels.at(i));
        QCOMPARE(f.find(QStringLiteral("stepDot%1").arg(i))->property("number").toInt(), i + 1);
    }
    // Configure is step 2: the two before are done, the rest pending.
    QCOMPARE(f.find(QStringLiteral("stepDot1"))->property("stepState").toInt(), 0);
    QCOMPARE(f.find(QStringLiteral("stepDot2"))->property("stepState").toInt(), 1);
    QCOMPARE(f.find(QStringLiteral("stepDot3"))->property("stepState").toInt(), 2);
    // Setting up highlights "Setup".
    QVERIFY(f.show(Screen::settingUp, QStringLiteral("settingUpScreen")));
    QCOMPARE(f.find(QStringLiteral("stepDot3"))->property("stepState").toInt(), 1);
    VERIFY_NO_WARNINGS(f);
}

void TestWizardWindowRules::hostileProgressValuesAreShownSafely()
{
    WizardWindowFixture f;
    f.state.setLlmDownloading(true);
    f.state.setAnalysisInProgress(true);
    QVERIFY(f.show(Screen::settingUp, QStringLiteral("settingUpScreen")));
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    for (const double value : { nan, inf, -inf, 1e300, -5.0, 0.5 }) {
        const QString expected = value == 0.5 ? QStringLiteral("50%")
                                              : (value > 1.0 ? QStringLiteral("100%") : QStringLiteral("0%"));
        f.state.setLlmDownloadProgress(value);
        f.state.setSetupProgress(value);
        f.state.setAnalysisProgress(value);
        QTRY_COMPARE(f.text(QStringLiteral("llmDownloadingPill")),
            QStringLiteral("Gemma 4 downloading... ") + expected);
        const double bar = f.find(QStringLiteral("setupProgressBar"))->property("value").toDouble();
        QVERIFY2(bar >= 0.0 && bar <= 1.0, qPrintable(QString::number(bar)));
        QCOMPARE(f.state.analysisStatusLine(), QStringLiteral("Analyzing activity... ") + expected);
    }
    f.state.setOllamaStatus(DependencyStatus::downloading(nan));
    QVERIFY(f.show(Screen::install, QStringLiteral("installScreen")));
    QCOMPARE(f.find(QStringLiteral("ollamaStatusRow"))
                 ->findChild<QQuickItem*>(QStringLiteral("statusDetail"))
                 ->property("text")
                 .toString(),
        QStringLiteral("0%"));
    VERIFY_NO_WARNINGS(f);
}

void TestWizardWindowRules::everyControlIsNamedAndReachableByTab()
{
    WizardWindowFixture f;
    fillEverything(f.state, 2);
    f.state.setIsLoading(false);
    f.state.setAnalysisWaitingForLLM(false);
    for (const ScreenCase& screen : screenCases()) {
        QVERIFY(f.show(screen.screen, screen.screenName));
        QList<QQuickItem*> controls;
        collectInteractive(f.root(), controls);
        QVERIFY2(controls.size() >= 1, qPrintable(screen.screenName));
        for (QQuickItem* control : controls) {
            QVERIFY2(!accessibleName(control).trimmed().isEmpty(),
                qPrintable(screen.screenName + QStringLiteral(": ") + control->objectName()
                    + QStringLiteral(" (") + QString::fromUtf8(control->metaObject()->className())
                    + QStringLiteral(")")));
        }
        // Tab visits every control and comes round again.
        QSet<QQuickItem*> reached;
        for (int i = 0; i < 2 * controls.size() + 2; ++i) {
            QTest::keyClick(f.view(), Qt::Key_Tab);
            if (QQuickItem* focused = f.view()->activeFocusItem())
                reached.insert(focused);
        }
        for (QQuickItem* control : controls) {
            QVERIFY2(reached.contains(control),
                qPrintable(screen.screenName + QStringLiteral(": not reached by Tab: ")
                    + control->objectName() + QStringLiteral(" ") + accessibleName(control)));
        }
    }
    VERIFY_NO_WARNINGS(f);
}

void TestWizardWindowRules::enterPressesTheDefaultButtonAndEscapeKeepsWork()
{
    WizardWindowFixture f;
    QVERIFY(f.show(Screen::welcome, QStringLiteral("welcomeScreen")));
    QTest::keyClick(f.view(), Qt::Key_Escape);
    QCOMPARE(f.state.currentScreen(), Screen::welcome);
    QTest::keyClick(f.view(), Qt::Key_Return);
    QTRY_COMPARE(f.state.currentScreen(), Screen::signIn);
    QVERIFY(f.settle(QStringLiteral("signInScreen")));

    // Configure: a name typed, Escape keeps it and the screen; Enter in the
    // field goes on only when "Continue" is enabled.
    f.state.detectedTools()->setTools(
        { WizardWindowFixture::tool(QStringLiteral("Cursor"), QStringLiteral("cursor")) });
    f.state.setAgentName(QString());
    QVERIFY(f.show(Screen::configure, QStringLiteral("configureScreen")));
    QQuickItem* field = f.find(QStringLiteral("agentNameField"));
    field->forceActiveFocus();
    f.type(QStringLiteral("Bad"));
    QTRY_COMPARE(f.state.agentName(), QStringLiteral("Bad"));
    QTest::keyClick(f.view(), Qt::Key_Escape);
    QCOMPARE(f.state.agentName(), QStringLiteral("Bad"));
    QCOMPARE(f.state.currentScreen(), Screen::configure);
    QSignalSpy screens(&f.state, &WizardState::currentScreenChanged);
    QTest::keyClick(f.view(), Qt::Key_Return); // "Continue" is disabled: nothing happens
    QCOMPARE(screens.size(), 0);
    QVERIFY(f.windows.wizardWindow());

    // Enter on a project's check box (a per-project tool, opened) is "Continue" too.
    DetectedTool perProject = WizardWindowFixture::tool(
        QStringLiteral("Code"), QStringLiteral("code"), { QStringLiteral("~/code/a") });
    perProject.scope = ScopeChoice::perProject;
    perProject.expanded = true;
    f.state.detectedTools()->setTools({ perProject });
    f.state.setAgentName(QStringLiteral("vega"));
    QTRY_VERIFY(f.find(QStringLiteral("projectCheck")));
    f.press(f.find(QStringLiteral("projectCheck")));
    QTRY_VERIFY(f.state.detectedTools()->tools().first().projects.first().selected);
    QTRY_VERIFY(f.find(QStringLiteral("continueButton"))->isEnabled());
    QTest::keyClick(f.view(), Qt::Key_Return);
    // The set-up run started (without a product tool it ends at once on the done screen).
    QTRY_COMPARE(f.state.currentScreen(), Screen::done);
    QVERIFY(f.state.setupLog()->count() >= 1);

    // Done: Enter is "Close".
    QSignalSpy closed(&f.state, &WizardState::closeRequested);
    QVERIFY(f.show(Screen::done, QStringLiteral("doneScreen")));
    QTest::keyClick(f.view(), Qt::Key_Escape);
    QCOMPARE(closed.size(), 0);
    QTest::keyClick(f.view(), Qt::Key_Return);
    QTRY_COMPARE(closed.size(), 1);
}

QTEST_MAIN(TestWizardWindowRules)
#include "tst_WizardWindowRules.moc"
