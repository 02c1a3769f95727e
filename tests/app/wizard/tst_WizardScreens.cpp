#include "tests/app/wizard/WizardWindowFixture.h"

#include <QAccessible>
#include <QScreen>
#include <QSignalSpy>

#include <limits>

using Screen = WizardState::WizardScreen;

// The six wizard screens in the real wizard window, offscreen: what each shows
// for a state of the model, that the main button is always in reach, and the
// keyboard and screen-reader rules.
class TestWizardScreens : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QuorvaneStyle::applyDarkAppearance(); }
    void primaryButtonStaysInTheWindow_data();
    void primaryButtonStaysInTheWindow();
    void stepBarFollowsTheScreen();
    void signInWaitingErrorAndRetry();
    void installScreenOptionsAndRows();
    void configureScreenEditsTheTools();
    void settingUpScreenShowsLogAndModel();
    void doneScreenSummaries();
    void closeAsksWhileTheAnalysisWaitsOrRuns();
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
    static const QList<ScreenCase> cases{
        {Screen::welcome, QStringLiteral("welcomeScreen"), QStringLiteral("getStartedButton")},
        {Screen::signIn, QStringLiteral("signInScreen"), QStringLiteral("signInButton")},
        {Screen::install, QStringLiteral("installScreen"), QStringLiteral("installButton")},
        {Screen::configure, QStringLiteral("configureScreen"), QStringLiteral("continueButton")},
        {Screen::settingUp, QStringLiteral("settingUpScreen"), QStringLiteral("skipButton")},
        {Screen::done, QStringLiteral("doneScreen"), QStringLiteral("closeButton")},
    };
    return cases;
}

AgentSummary agentSummary(const QString& name, const QString& scope, const QString& toolName)
{
    AgentSummary summary;
    summary.name = name;
    summary.scope = scope;
    summary.toolName = toolName;
    return summary;
}

// Fills the model so that every screen shows the most it can: many tools,
// expanded, with their projects; a long log; every summary row.
void fillEverything(WizardState& state, int toolCount)
{
    QList<DetectedTool> tools;
    for (int i = 0; i < toolCount; ++i) {
        DetectedTool tool = WizardWindowFixture::tool(QStringLiteral("Tool %1").arg(i), QStringLiteral("tool-%1").arg(i),
                                                      {QStringLiteral("~/code/a"), QStringLiteral("~/code/b")},
                                                      QStringLiteral("~/code"));
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
        state.registeredAgents()->append(agentSummary(QStringLiteral("vega"), QStringLiteral("per-project"),
                                                      QStringLiteral("Tool %1").arg(i)));
    }
    state.setSignedInEmail(QStringLiteral("dev@example.com"));
    state.setTemplateRuleCount(12);
    state.setLlmDownloading(true);
    state.setLlmDownloadProgress(0.42);
    state.setAnalysisWaitingForLLM(true);
}

QStringList summaryTexts(const WizardWindowFixture& f)
{
    QStringList texts;
    for (QQuickItem* row : f.all(QStringLiteral("summaryText")))
        texts << row->property("text").toString();
    return texts;
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

void TestWizardScreens::primaryButtonStaysInTheWindow_data()
{
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("tools");
    QTest::newRow("opening size, two tools") << 780 << 2;
    QTest::newRow("smallest height, two tools") << 680 << 2;
    QTest::newRow("opening size, twelve expanded tools") << 780 << 12;
    QTest::newRow("tallest window, twelve expanded tools") << 1100 << 12;
}

void TestWizardScreens::primaryButtonStaysInTheWindow()
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

void TestWizardScreens::stepBarFollowsTheScreen()
{
    WizardWindowFixture f;
    QVERIFY(f.show(Screen::welcome, QStringLiteral("welcomeScreen")));
    QVERIFY(!f.find(QStringLiteral("stepProgressBar")));
    f.screenshot(QStringLiteral("welcome"));

    QVERIFY(f.show(Screen::configure, QStringLiteral("configureScreen")));
    QVERIFY(f.find(QStringLiteral("stepProgressBar")));
    const QStringList labels{QStringLiteral("SIGN IN"), QStringLiteral("INSTALL"), QStringLiteral("CONFIGURE"),
                             QStringLiteral("SETUP"), QStringLiteral("DONE")};
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

void TestWizardScreens::signInWaitingErrorAndRetry()
{
    WizardWindowFixture f;
    QVERIFY(f.show(Screen::signIn, QStringLiteral("signInScreen")));
    QCOMPARE(f.text(QStringLiteral("pageTitle")), QStringLiteral("Sign in to your account"));
    QCOMPARE(f.text(QStringLiteral("pageSubtitle")), QStringLiteral("Connect your Google account to link your agents."));
    QCOMPARE(f.text(QStringLiteral("signInNote")),
             QStringLiteral("Opens a secure sign-in sheet · returns to app automatically"));
    QCOMPARE(f.text(QStringLiteral("signInButton")), QStringLiteral("Sign in with Google"));
    QVERIFY(!f.find(QStringLiteral("retryButton")));
    f.screenshot(QStringLiteral("sign-in"));

    // Waiting for the browser: the progress and a way to stop waiting, in the window.
    f.click(f.find(QStringLiteral("signInButton")));
    QCOMPARE(f.opened.size(), 1);
    QTRY_VERIFY(f.find(QStringLiteral("signInProgress")));
    QVERIFY(!f.find(QStringLiteral("signInButton")));
    QVERIFY(f.insideWindow(f.find(QStringLiteral("stopWaitingButton"))));
    f.screenshot(QStringLiteral("sign-in-waiting"));
    f.click(f.find(QStringLiteral("stopWaitingButton")));
    QTRY_VERIFY(!f.state.isLoading());
    QTRY_VERIFY(f.find(QStringLiteral("signInButton")));
    QVERIFY(f.state.errorMessage().isEmpty());

    // An error: its text and "Retry", which starts over.
    f.state.setErrorMessage(QStringLiteral("Authentication failed. Please try again."));
    QTRY_COMPARE(f.text(QStringLiteral("signInError")), QStringLiteral("Authentication failed. Please try again."));
    QQuickItem* retry = f.find(QStringLiteral("retryButton"));
    QVERIFY(retry);
    QCOMPARE(retry->property("text").toString(), QStringLiteral("Retry"));
    QVERIFY(f.insideWindow(retry));
    f.screenshot(QStringLiteral("sign-in-error"));
    f.click(retry);
    QCOMPARE(f.opened.size(), 2);
    QVERIFY(f.state.isLoading());
    QVERIFY(f.state.errorMessage().isEmpty());
    f.state.stopWaitingForSignIn();
    VERIFY_NO_WARNINGS(f);
}

void TestWizardScreens::installScreenOptionsAndRows()
{
    WizardWindowFixture f;
    QVERIFY(f.show(Screen::install, QStringLiteral("installScreen")));
    QCOMPARE(f.text(QStringLiteral("pageTitle")), QStringLiteral("Install Quorvane"));
    QCOMPARE(f.text(QStringLiteral("pageSubtitle")),
             QStringLiteral("We'll set up everything needed to protect your AI tools."));
    QCOMPARE(f.text(QStringLiteral("installButton")), QStringLiteral("Install & Continue →"));
    // Model on: the engine's row, no warning.
    QVERIFY(f.find(QStringLiteral("ollamaStatusRow")));
    QVERIFY(!f.find(QStringLiteral("llmWarning")));
    QVERIFY(!f.find(QStringLiteral("installStatusRows"))); // nothing installed yet
    QCOMPARE(f.find(QStringLiteral("statusIcon"))->property("kind").toInt(), 0);
    f.screenshot(QStringLiteral("install"));

    // "Approval Device Only" turns the model and the scan off, and their
    // switches follow; the warning shows instead of the engine's row.
    f.click(f.find(QStringLiteral("approverOnlySwitch")));
    QTRY_VERIFY(f.state.approverOnly());
    QVERIFY(!f.state.installLLM());
    QVERIFY(!f.state.discoverMcpServers());
    QTRY_VERIFY(!f.find(QStringLiteral("installModelSwitch"))->property("checked").toBool());
    QVERIFY(!f.find(QStringLiteral("discoverMcpSwitch"))->property("checked").toBool());
    QTRY_VERIFY(f.find(QStringLiteral("llmWarning")));
    QVERIFY(!f.find(QStringLiteral("ollamaStatusRow")));
    f.screenshot(QStringLiteral("install-model-off"));
    // Switched back off, the options stay off.
    f.click(f.find(QStringLiteral("approverOnlySwitch")));
    QTRY_VERIFY(!f.state.approverOnly());
    QVERIFY(!f.find(QStringLiteral("installModelSwitch"))->property("checked").toBool());

    // During an install: rows with their marks; the button waits.
    f.click(f.find(QStringLiteral("installModelSwitch")));
    QTRY_VERIFY(f.state.installLLM());
    f.state.setIsLoading(true);
    f.state.setOllamaStatus(DependencyStatus::downloading(0.375));
    f.state.setCliStatus(DependencyStatus::installed());
    f.state.setKeychainStatus(DependencyStatus::installed());
    f.state.setMachineStatus(DependencyStatus::installing());
    QTRY_VERIFY(!f.find(QStringLiteral("installButton"))->isEnabled());
    QVERIFY(f.find(QStringLiteral("installProgress")));
    QTRY_VERIFY(f.find(QStringLiteral("installStatusRows")));
    QCOMPARE(f.find(QStringLiteral("ollamaStatusRow"))->findChild<QQuickItem*>(QStringLiteral("statusDetail"))
                 ->property("text").toString(),
             QStringLiteral("37%"));
    QList<int> kinds;
    for (QQuickItem* icon : f.all(QStringLiteral("statusIcon")))
        kinds << icon->property("kind").toInt();
    QCOMPARE(kinds, (QList<int>{1, 4, 4, 2})); // downloading, installed, installed, installing
    QVERIFY(f.find(QStringLiteral("installingSpinner")));
    f.screenshot(QStringLiteral("install-running"));

    // A failed install: its message on the row and under the screen; the button again.
    f.state.setIsLoading(false);
    f.state.setOllamaStatus(DependencyStatus::failed(QStringLiteral("The download was refused")));
    f.state.setErrorMessage(QStringLiteral("The download was refused"));
    QTRY_COMPARE(f.text(QStringLiteral("installError")), QStringLiteral("The download was refused"));
    QVERIFY(f.find(QStringLiteral("installButton"))->isEnabled());
    QVERIFY(f.insideWindow(f.find(QStringLiteral("installButton"))));
    f.screenshot(QStringLiteral("install-failed"));

    // The guide opens at the install section.
    f.click(f.find(QStringLiteral("helpLink")));
    QCOMPARE(f.opened.size(), 1);
    QVERIFY(f.opened.first().toString().endsWith(QStringLiteral("/docs#setup-install")));
    VERIFY_NO_WARNINGS(f);
}

void TestWizardScreens::configureScreenEditsTheTools()
{
    WizardWindowFixture f;
    f.state.detectedTools()->setTools(
        {WizardWindowFixture::tool(QStringLiteral("Claude Code"), QStringLiteral("claude-code"),
                                   {QStringLiteral("~/code/site"), QStringLiteral("~/code/api")},
                                   QStringLiteral("~/code")),
         WizardWindowFixture::tool(QStringLiteral("Cursor"), QStringLiteral("cursor"))});
    f.state.setAgentName(QStringLiteral("vega"));
    QVERIFY(f.show(Screen::configure, QStringLiteral("configureScreen")));
    QCOMPARE(f.all(QStringLiteral("toolSection")).size(), 2);
    QCOMPARE(f.text(QStringLiteral("nameTitle")), QStringLiteral("Machine Name"));
    QCOMPARE(f.text(QStringLiteral("nameCaption")), QStringLiteral("A name for this machine."));
    QCOMPARE(f.find(QStringLiteral("agentNameField"))->property("placeholderText").toString(),
             QStringLiteral("agent name"));
    QCOMPARE(f.text(QStringLiteral("postureDescription")),
             QStringLiteral("Permissive on dev tools. Strict on deploy, publish, and install."));
    f.screenshot(QStringLiteral("configure"));

    // Expanding the first tool shows the scopes and the allow-listed folder.
    QQuickItem* first = f.all(QStringLiteral("toolSection")).first();
    f.click(QmlItems::visible(first, QStringLiteral("toolExpand")).first());
    QTRY_VERIFY(f.state.detectedTools()->tools().first().expanded);
    QTRY_VERIFY(!QmlItems::visible(first, QStringLiteral("scopePerProject")).isEmpty());
    QCOMPARE(QmlItems::visible(first, QStringLiteral("scopeAllProjects")).first()->property("text").toString(),
             QStringLiteral("All projects (single global policy)"));
    QVERIFY(!QmlItems::visible(first, QStringLiteral("projectsRootField")).isEmpty());
    QCOMPARE(QmlItems::visible(first, QStringLiteral("projectsRootField")).first()->property("text").toString(),
             QStringLiteral("~/code"));

    // Per project: the title becomes "Agent Name" at once, the projects show;
    // selecting one writes into the model.
    f.click(QmlItems::visible(first, QStringLiteral("scopePerProject")).first());
    QTRY_COMPARE(f.text(QStringLiteral("nameTitle")), QStringLiteral("Agent Name"));
    QCOMPARE(f.text(QStringLiteral("nameCaption")), QStringLiteral("A name for this project's agent."));
    QCOMPARE(f.state.detectedTools()->tools().first().scope, ScopeChoice::perProject);
    QTRY_COMPARE(QmlItems::visible(first, QStringLiteral("projectCheck")).size(), 2);
    QVERIFY(QmlItems::visible(first, QStringLiteral("projectsRootField")).isEmpty());
    f.click(QmlItems::visible(first, QStringLiteral("projectCheck")).at(1));
    QTRY_VERIFY(f.state.detectedTools()->tools().first().projects.at(1).selected);
    QVERIFY(!f.state.detectedTools()->tools().first().projects.at(0).selected);
    f.screenshot(QStringLiteral("configure-per-project"));

    // And back: "Machine Name" again.
    f.click(QmlItems::visible(first, QStringLiteral("scopeAllProjects")).first());
    QTRY_COMPARE(f.text(QStringLiteral("nameTitle")), QStringLiteral("Machine Name"));

    // A bad name: the message under the field, its border red, "Continue" off.
    QQuickItem* field = f.find(QStringLiteral("agentNameField"));
    field->forceActiveFocus();
    QTest::keyClick(f.view(), Qt::Key_Space);
    f.type(QStringLiteral("x"));
    QTRY_COMPARE(f.state.agentName(), QStringLiteral("vega x"));
    QTRY_COMPARE(f.text(QStringLiteral("agentNameError")), QStringLiteral("Spaces are not allowed. Use hyphens instead."));
    QObject* border = f.find(QStringLiteral("agentNameBorder"))->property("border").value<QObject*>();
    QVERIFY(border);
    QCOMPARE(border->property("color").value<QColor>(), QuorvaneStyle::red());
    QVERIFY(!f.find(QStringLiteral("continueButton"))->isEnabled());
    f.screenshot(QStringLiteral("configure-name-error"));

    // Unchecking every tool also stops "Continue".
    f.state.setAgentName(QStringLiteral("vega"));
    QTRY_VERIFY(f.find(QStringLiteral("continueButton"))->isEnabled());
    for (QQuickItem* check : f.all(QStringLiteral("toolEnabled")))
        f.press(check);
    QTRY_VERIFY(!f.find(QStringLiteral("continueButton"))->isEnabled());
    QVERIFY(!f.state.detectedTools()->tools().at(1).enabled);

    // The posture chooser writes the posture.
    f.state.setSecurityPosture(SecurityPosture::restrictive);
    QTRY_COMPARE(f.text(QStringLiteral("postureDescription")),
                 QStringLiteral("Everything except reading files requires your approval."));
    f.click(f.find(QStringLiteral("helpLink")));
    QVERIFY(f.opened.last().toString().endsWith(QStringLiteral("/docs#setup-configure")));
    VERIFY_NO_WARNINGS(f);
}

void TestWizardScreens::settingUpScreenShowsLogAndModel()
{
    WizardWindowFixture f;
    f.state.setupLog()->addSection(QStringLiteral("AGENTS"));
    f.state.setupLog()->appendLog(QStringLiteral("Registered agent \"vega\" (global — all projects)"), LogStyle::done);
    f.state.setupLog()->appendLog(QStringLiteral("Linking vega to dev@example.com"), LogStyle::active);
    f.state.setupLog()->appendLog(QStringLiteral("Linking failed — link manually from dashboard"), LogStyle::pending);
    f.state.setSetupProgress(0.6);
    f.state.setLlmDownloading(true);
    f.state.setLlmDownloadProgress(0.257);
    QVERIFY(f.show(Screen::settingUp, QStringLiteral("settingUpScreen")));
    QCOMPARE(f.text(QStringLiteral("pageTitle")), QStringLiteral("Setting up your agents"));
    QCOMPARE(f.text(QStringLiteral("pageSubtitle")), QStringLiteral("Registering, linking, and configuring. No browser needed."));
    QCOMPARE(f.text(QStringLiteral("phaseText")), QStringLiteral("Configuring agents..."));
    const QList<QQuickItem*> rows = f.all(QStringLiteral("logRow"));
    QCOMPARE(rows.size(), 4);
    QVERIFY(QmlItems::visible(rows.at(0), QStringLiteral("logMark")).isEmpty()); // a header has no mark
    QStringList marks;
    for (int i = 1; i < 4; ++i)
        marks << QmlItems::visible(rows.at(i), QStringLiteral("logMark")).first()->property("text").toString();
    QCOMPARE(marks, (QStringList{QStringLiteral("✓"), QStringLiteral("⟳"), QStringLiteral("○")}));
    QCOMPARE(f.text(QStringLiteral("llmDownloadingPill")), QStringLiteral("Gemma 4 downloading... 25%"));
    QVERIFY(!f.find(QStringLiteral("llmReadyPill")));
    QVERIFY(f.find(QStringLiteral("privacyBox")));
    f.screenshot(QStringLiteral("setting-up"));

    f.state.setLlmDownloadComplete(true);
    f.state.setLlmDownloading(false);
    f.state.setSetupProgress(1.0);
    QTRY_VERIFY(f.find(QStringLiteral("llmReadyPill")));
    QCOMPARE(f.text(QStringLiteral("llmReadyPill")), QStringLiteral("Gemma 4 ready"));
    QVERIFY(!f.find(QStringLiteral("llmDownloadingPill")));
    QCOMPARE(f.text(QStringLiteral("phaseText")), QStringLiteral("Complete!"));

    // Model off: neither pill nor privacy box.
    f.state.setInstallLLM(false);
    QTRY_VERIFY(!f.find(QStringLiteral("llmReadyPill")));
    QVERIFY(!f.find(QStringLiteral("privacyBox")));
    QVERIFY(!f.find(QStringLiteral("llmDownloadingPill")));
    QCOMPARE(f.text(QStringLiteral("skipButton")), QStringLiteral("Skip & Finish Setup"));
    f.screenshot(QStringLiteral("setting-up-model-off"));
    VERIFY_NO_WARNINGS(f);
}

void TestWizardScreens::doneScreenSummaries()
{
    WizardWindowFixture f;
    f.state.setSignedInEmail(QStringLiteral("dev@example.com"));
    f.state.registeredAgents()->append(
        agentSummary(QStringLiteral("vega"), QStringLiteral("global"), QStringLiteral("Claude Code")));
    f.state.registeredAgents()->append(
        agentSummary(QStringLiteral("vega"), QStringLiteral("per-project"), QStringLiteral("Cursor")));
    f.state.setTemplateRuleCount(12);
    f.state.setLlmDownloading(true);
    f.state.setLlmDownloadProgress(0.5);
    f.state.setAnalysisWaitingForLLM(true);
    QVERIFY(f.show(Screen::done, QStringLiteral("doneScreen")));
    QCOMPARE(f.text(QStringLiteral("pageTitle")), QStringLiteral("You're all set!"));
    QCOMPARE(f.text(QStringLiteral("pageSubtitle")), QStringLiteral("Quorvane is protecting your AI tools."));
    QCOMPARE(summaryTexts(f), (QStringList{
        QStringLiteral("Signed in as dev@example.com"),
        QStringLiteral("Claude Code — global agent \"vega\""),
        QStringLiteral("Cursor — per-project agent \"vega\""),
        QStringLiteral("Developer Workstation template (12 rules)"),
        QStringLiteral("Gemma 4 downloading... 50%"),
        QStringLiteral("Activity scan will start when the model is ready..."),
    }));
    QVERIFY(f.find(QStringLiteral("backgroundDownloadBox")));
    f.screenshot(QStringLiteral("done"));

    // The analysis finished with suggestions: the line and the pointer to the web dashboard.
    f.state.setLlmDownloading(false);
    f.state.setLlmDownloadComplete(true);
    f.state.setAnalysisWaitingForLLM(false);
    f.state.setAnalysisComplete(true);
    f.state.setSuggestionCount(7);
    QTRY_VERIFY(summaryTexts(f).contains(QStringLiteral("Activity analysis complete — 7 rule suggestions")));
    QVERIFY(summaryTexts(f).contains(QStringLiteral("Gemma 4 installed")));
    QVERIFY(f.text(QStringLiteral("summaryNote")).startsWith(QStringLiteral("Review suggestions in the ")));
    QVERIFY(f.text(QStringLiteral("summaryNote")).contains(QStringLiteral("web dashboard")));
    QVERIFY(!f.find(QStringLiteral("backgroundDownloadBox")));
    f.screenshot(QStringLiteral("done-analysis-complete"));
    f.state.setAnalysisError(QStringLiteral("the scan failed"));
    QTRY_VERIFY(summaryTexts(f).contains(QStringLiteral("Activity analysis failed")));
    QVERIFY(!f.find(QStringLiteral("summaryNote")));

    // Model off (set-up skipped): no model row and no analysis line.
    f.state.setInstallLLM(false);
    f.state.setAnalysisComplete(false);
    f.state.setAnalysisError(QString());
    QTRY_COMPARE(summaryTexts(f).size(), 4);
    QVERIFY(!f.find(QStringLiteral("modelRow")));
    QVERIFY(!f.find(QStringLiteral("analysisRow")));
    // The download that stopped without completing reads as failed while the model is chosen.
    f.state.setInstallLLM(true);
    f.state.setLlmDownloadComplete(false);
    QTRY_VERIFY(summaryTexts(f).contains(QStringLiteral("Gemma 4 download failed")));

    // An approval device: its own line and no agent rows.
    f.state.setInstallLLM(false);
    f.state.setIsApproverOnly(true);
    f.state.setTemplateRuleCount(0);
    QTRY_COMPARE(summaryTexts(f), (QStringList{QStringLiteral("Signed in as dev@example.com"),
                                               QStringLiteral("Approval device — no local agents")}));
    QCOMPARE(f.text(QStringLiteral("pageSubtitle")), QStringLiteral("Ready to approve requests from your other machines."));
    QVERIFY(f.find(QStringLiteral("approveFromText")));
    f.screenshot(QStringLiteral("done-approval-device"));
    VERIFY_NO_WARNINGS(f);
}

void TestWizardScreens::closeAsksWhileTheAnalysisWaitsOrRuns()
{
    WizardWindowFixture f;
    QSignalSpy closed(&f.state, &WizardState::closeRequested);
    f.state.setAnalysisWaitingForLLM(true);
    QVERIFY(f.show(Screen::done, QStringLiteral("doneScreen")));

    // "Close" opens the question that fits the state: the model's alert texts.
    const auto askToClose = [&f] {
        f.click(f.find(QStringLiteral("closeButton")));
        return QTest::qWaitFor([&f] { return f.find(QStringLiteral("keepRunningButton")) != nullptr; })
               && f.text(QStringLiteral("closeTitle")) == f.state.closeAlertTitle()
               && f.text(QStringLiteral("closeMessage")) == f.state.closeAlertMessage();
    };

    // Waiting for the model: the model-download question; "Keep Running" changes nothing.
    QVERIFY(askToClose());
    QCOMPARE(f.text(QStringLiteral("closeTitle")), QStringLiteral("Model download in progress"));
    QVERIFY(f.insideWindow(f.find(QStringLiteral("stopAndCloseButton"))));
    f.screenshot(QStringLiteral("done-close-confirmation"));
    f.click(f.find(QStringLiteral("keepRunningButton")));
    QTRY_VERIFY(!f.find(QStringLiteral("keepRunningButton")));
    QCOMPARE(closed.size(), 0);
    QVERIFY(f.windows.wizardWindow());

    // Running: the analysis question; Escape is "Keep Running"; "Stop & Close" finishes the wizard.
    f.state.setAnalysisWaitingForLLM(false);
    f.state.setAnalysisInProgress(true);
    QVERIFY(askToClose());
    QCOMPARE(f.text(QStringLiteral("closeTitle")), QStringLiteral("Activity analysis in progress"));
    QTest::keyClick(f.view(), Qt::Key_Escape);
    QTRY_VERIFY(!f.find(QStringLiteral("keepRunningButton")));
    QCOMPARE(closed.size(), 0);
    f.click(f.find(QStringLiteral("closeButton")));
    QTRY_VERIFY(f.find(QStringLiteral("stopAndCloseButton")));
    f.click(f.find(QStringLiteral("stopAndCloseButton")));
    QTRY_COMPARE(closed.size(), 1);
    QTRY_VERIFY(f.windows.wizardWindow() == nullptr);
}

void TestWizardScreens::hostileProgressValuesAreShownSafely()
{
    WizardWindowFixture f;
    f.state.setLlmDownloading(true);
    f.state.setAnalysisInProgress(true);
    QVERIFY(f.show(Screen::settingUp, QStringLiteral("settingUpScreen")));
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    for (const double value : {nan, inf, -inf, 1e300, -5.0, 0.5}) {
        const QString expected = value == 0.5 ? QStringLiteral("50%")
                                              : (value > 1.0 ? QStringLiteral("100%") : QStringLiteral("0%"));
        f.state.setLlmDownloadProgress(value);
        f.state.setSetupProgress(value);
        f.state.setAnalysisProgress(value);
        QTRY_COMPARE(f.text(QStringLiteral("llmDownloadingPill")), QStringLiteral("Gemma 4 downloading... ") + expected);
        const double bar = f.find(QStringLiteral("setupProgressBar"))->property("value").toDouble();
        QVERIFY2(bar >= 0.0 && bar <= 1.0, qPrintable(QString::number(bar)));
        QCOMPARE(f.state.analysisStatusLine(), QStringLiteral("Analyzing activity... ") + expected);
    }
    f.state.setOllamaStatus(DependencyStatus::downloading(nan));
    QVERIFY(f.show(Screen::install, QStringLiteral("installScreen")));
    QCOMPARE(f.find(QStringLiteral("ollamaStatusRow"))->findChild<QQuickItem*>(QStringLiteral("statusDetail"))
                 ->property("text").toString(),
             QStringLiteral("0%"));
    VERIFY_NO_WARNINGS(f);
}

void TestWizardScreens::everyControlIsNamedAndReachableByTab()
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
                     qPrintable(screen.screenName + QStringLiteral(": ") + control->objectName() + QStringLiteral(" (")
                                + QString::fromUtf8(control->metaObject()->className()) + QStringLiteral(")")));
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
                     qPrintable(screen.screenName + QStringLiteral(": not reached by Tab: ") + control->objectName()
                                + QStringLiteral(" ") + accessibleName(control)));
        }
    }
    VERIFY_NO_WARNINGS(f);
}

void TestWizardScreens::enterPressesTheDefaultButtonAndEscapeKeepsWork()
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
    f.state.detectedTools()->setTools({WizardWindowFixture::tool(QStringLiteral("Cursor"), QStringLiteral("cursor"))});
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
    DetectedTool perProject = WizardWindowFixture::tool(QStringLiteral("Code"), QStringLiteral("code"),
                                                        {QStringLiteral("~/code/a")});
    perProject.scope = ScopeChoice::perProject;
    perProject.expanded = true;
    f.state.detectedTools()->setTools({perProject});
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

QTEST_MAIN(TestWizardScreens)
#include "tst_WizardScreens.moc"
