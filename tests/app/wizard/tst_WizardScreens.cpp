#include "tests/app/wizard/WizardWindowFixture.h"

#include <QSignalSpy>
#include <limits>

using Screen = WizardState::WizardScreen;

// What each wizard screen shows for a state of the model, in the real wizard
// window, offscreen, and what its controls change. (scripts/screenshot-wizard
// runs it for the screenshots.)
class TestWizardScreens : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QuorvaneStyle::applyDarkAppearance(); }
    void stepBarFollowsTheScreen();
    void signInWaitingErrorAndRetry();
    void installScreenOptionsAndRows();
    void configureScreenEditsTheTools();
    void settingUpScreenShowsLogAndModel();
    void doneScreenSummaries();
    void closeAsksWhileTheAnalysisWaitsOrRuns();
};

namespace {

QStringList summaryTexts(const WizardWindowFixture& f)
{
    QStringList texts;
    for (QQuickItem* row : f.all(QStringLiteral("summaryText")))
        texts << row->property("text").toString();
    return texts;
}

int stepState(const WizardWindowFixture& f, int step)
{
    QQuickItem* dot = f.find(QStringLiteral("stepDot%1").arg(step));
    return dot ? dot->property("stepState").toInt() : -1;
}

} // namespace

void TestWizardScreens::stepBarFollowsTheScreen()
{
    WizardWindowFixture f;
    QVERIFY(f.show(Screen::welcome, QStringLiteral("welcomeScreen")));
    QVERIFY(!f.find(QStringLiteral("stepProgressBar")));
    f.screenshot(QStringLiteral("welcome"));

    // Configure is step 2: the two before are done, the rest pending.
    QVERIFY(f.show(Screen::configure, QStringLiteral("configureScreen")));
    QCOMPARE(f.text(QStringLiteral("stepLabel2")), QStringLiteral("CONFIGURE"));
    QCOMPARE(stepState(f, 1), 0);
    QCOMPARE(stepState(f, 2), 1);
    QCOMPARE(stepState(f, 3), 2);
    QVERIFY(f.show(Screen::done, QStringLiteral("doneScreen")));
    QCOMPARE(stepState(f, 3), 0);
    QCOMPARE(stepState(f, 4), 1);
}

void TestWizardScreens::signInWaitingErrorAndRetry()
{
    WizardWindowFixture f;
    QVERIFY(f.show(Screen::signIn, QStringLiteral("signInScreen")));
    QVERIFY(!f.find(QStringLiteral("retryButton")));

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

    // An error: its text and "Retry", which starts over.
    f.state.setErrorMessage(QStringLiteral("Authentication failed. Please try again."));
    QTRY_COMPARE(
        f.text(QStringLiteral("signInError")), QStringLiteral("Authentication failed. Please try again."));
    QQuickItem* retry = f.find(QStringLiteral("retryButton"));
    QVERIFY(f.insideWindow(retry));
    f.click(retry);
    QCOMPARE(f.opened.size(), 2);
    QVERIFY(f.state.isLoading());
    QVERIFY(f.state.errorMessage().isEmpty());
    f.state.stopWaitingForSignIn();
}

void TestWizardScreens::installScreenOptionsAndRows()
{
    WizardWindowFixture f;
    QVERIFY(f.show(Screen::install, QStringLiteral("installScreen")));
    // Model on: the engine's row, no warning, nothing installed yet.
    QVERIFY(f.find(QStringLiteral("ollamaStatusRow")));
    QVERIFY(!f.find(QStringLiteral("llmWarning")));
    QVERIFY(!f.find(QStringLiteral("installStatusRows")));

    // "Approval Device Only" reaches the model; the other switches follow it
    // and the warning shows instead of the engine's row.
    f.click(f.find(QStringLiteral("approverOnlySwitch")));
    QTRY_VERIFY(f.state.approverOnly());
    QTRY_VERIFY(!f.find(QStringLiteral("installModelSwitch"))->property("checked").toBool());
    QVERIFY(!f.find(QStringLiteral("discoverMcpSwitch"))->property("checked").toBool());
    QTRY_VERIFY(f.find(QStringLiteral("llmWarning")));
    QVERIFY(!f.find(QStringLiteral("ollamaStatusRow")));
    f.click(f.find(QStringLiteral("approverOnlySwitch")));
    QTRY_VERIFY(!f.state.approverOnly());

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
    QCOMPARE(f.find(QStringLiteral("ollamaStatusRow"))
                 ->findChild<QQuickItem*>(QStringLiteral("statusDetail"))
                 ->property("text")
                 .toString(),
        QStringLiteral("37%"));
    QList<int> kinds;
    for (QQuickItem* icon : f.all(QStringLiteral("statusIcon")))
        kinds << icon->property("kind").toInt();
    QCOMPARE(kinds, (QList<int> { 1, 4, 4, 2 })); // downloading, installed, installed, installing
    // An odd fraction reads as none (the percentages are the progress-percent tests').
    f.state.setOllamaStatus(DependencyStatus::downloading(std::numeric_limits<double>::quiet_NaN()));
    QTRY_COMPARE(f.find(QStringLiteral("ollamaStatusRow"))
                     ->findChild<QQuickItem*>(QStringLiteral("statusDetail"))
                     ->property("text")
                     .toString(),
        QStringLiteral("0%"));

    // A failed install: its message under the screen; the button again.
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
}

void TestWizardScreens::configureScreenEditsTheTools()
{
    WizardWindowFixture f;
    f.state.detectedTools()->setTools(
        { WizardWindowFixture::tool(QStringLiteral("Claude Code"), QStringLiteral("claude-code"),
              { QStringLiteral("~/code/site"), QStringLiteral("~/code/api") }, QStringLiteral("~/code")),
            WizardWindowFixture::tool(QStringLiteral("Cursor"), QStringLiteral("cursor")) });
    f.state.setAgentName(QStringLiteral("vega"));
    QVERIFY(f.show(Screen::configure, QStringLiteral("configureScreen")));
    QCOMPARE(f.all(QStringLiteral("toolSection")).size(), 2);
    QCOMPARE(f.text(QStringLiteral("nameTitle")), QStringLiteral("Machine Name"));

    // Expanding the first tool shows the scopes and the allow-listed folder.
    QQuickItem* first = f.all(QStringLiteral("toolSection")).first();
    const auto in = [first](const char* name) { return QmlItems::visible(first, QLatin1String(name)); };
    f.click(in("toolExpand").first());
    QTRY_VERIFY(f.state.detectedTools()->tools().first().expanded);
    QTRY_VERIFY(!in("scopePerProject").isEmpty());
    QCOMPARE(in("projectsRootField").first()->property("text").toString(), QStringLiteral("~/code"));

    // Per project: the title becomes "Agent Name" at once, the projects show;
    // selecting one writes into the model. And back: "Machine Name" again.
    f.click(in("scopePerProject").first());
    QTRY_COMPARE(f.text(QStringLiteral("nameTitle")), QStringLiteral("Agent Name"));
    QCOMPARE(f.state.detectedTools()->tools().first().scope, ScopeChoice::perProject);
    QTRY_COMPARE(in("projectCheck").size(), 2);
    QVERIFY(in("projectsRootField").isEmpty());
    f.click(in("projectCheck").at(1));
    QTRY_VERIFY(f.state.detectedTools()->tools().first().projects.at(1).selected);
    QVERIFY(!f.state.detectedTools()->tools().first().projects.at(0).selected);
    f.screenshot(QStringLiteral("configure-per-project"));
    f.click(in("scopeAllProjects").first());
    QTRY_COMPARE(f.text(QStringLiteral("nameTitle")), QStringLiteral("Machine Name"));

    // A name typed with a space: the model's message under the field, its border red, "Continue" off.
    f.find(QStringLiteral("agentNameField"))->forceActiveFocus();
    f.type(QStringLiteral(" x"));
    QTRY_COMPARE(f.state.agentName(), QStringLiteral("vega x"));
    QTRY_COMPARE(f.text(QStringLiteral("agentNameError")), f.state.agentNameErrorText());
    QObject* border = f.find(QStringLiteral("agentNameBorder"))->property("border").value<QObject*>();
    QCOMPARE(border->property("color").value<QColor>(), QuorvaneStyle::red());
    QVERIFY(!f.find(QStringLiteral("continueButton"))->isEnabled());

    // Unchecking every tool also stops "Continue".
    f.state.setAgentName(QStringLiteral("vega"));
    QTRY_VERIFY(f.find(QStringLiteral("continueButton"))->isEnabled());
    for (QQuickItem* check : f.all(QStringLiteral("toolEnabled")))
        f.press(check);
    QTRY_VERIFY(!f.find(QStringLiteral("continueButton"))->isEnabled());
    QVERIFY(!f.state.detectedTools()->tools().at(1).enabled);

    // The posture chooser, from the keyboard, writes the posture; the description follows.
    const QString before = f.text(QStringLiteral("postureDescription"));
    f.find(QStringLiteral("postureBox"))->forceActiveFocus();
    QTest::keyClick(f.view(), Qt::Key_Down);
    QTRY_COMPARE(f.state.securityPosture(), SecurityPosture::personal);
    QTRY_VERIFY(f.text(QStringLiteral("postureDescription")) != before);
    f.click(f.find(QStringLiteral("helpLink")));
    QVERIFY(f.opened.last().toString().endsWith(QStringLiteral("/docs#setup-configure")));
}

void TestWizardScreens::settingUpScreenShowsLogAndModel()
{
    WizardWindowFixture f;
    f.state.setupLog()->addSection(QStringLiteral("AGENTS"));
    f.state.setupLog()->appendLog(
        QStringLiteral("Registered agent \"vega\" (global — all projects)"), LogStyle::done);
    f.state.setupLog()->appendLog(QStringLiteral("Linking vega to dev@example.com"), LogStyle::active);
    f.state.setupLog()->appendLog(
        QStringLiteral("Linking failed — link manually from dashboard"), LogStyle::pending);
    f.state.setSetupProgress(0.6);
    f.state.setLlmDownloading(true);
    f.state.setLlmDownloadProgress(0.257);
    QVERIFY(f.show(Screen::settingUp, QStringLiteral("settingUpScreen")));
    QCOMPARE(f.text(QStringLiteral("phaseText")), f.state.phaseText());
    // A header has no mark; the others show their style's.
    const QList<QQuickItem*> rows = f.all(QStringLiteral("logRow"));
    QCOMPARE(rows.size(), 4);
    QVERIFY(QmlItems::visible(rows.at(0), QStringLiteral("logMark")).isEmpty());
    QStringList marks;
    for (int i = 1; i < 4; ++i)
        marks
            << QmlItems::visible(rows.at(i), QStringLiteral("logMark")).first()->property("text").toString();
    QCOMPARE(marks, (QStringList { QStringLiteral("✓"), QStringLiteral("⟳"), QStringLiteral("○") }));
    QCOMPARE(f.text(QStringLiteral("llmDownloadingPill")), QStringLiteral("Gemma 4 downloading... 25%"));
    QVERIFY(!f.find(QStringLiteral("llmReadyPill")));
    QVERIFY(f.find(QStringLiteral("privacyBox")));
    f.screenshot(QStringLiteral("setting-up"));

    // Odd fractions are shown safely.
    for (const double odd : { std::numeric_limits<double>::quiet_NaN(), 1e300 }) {
        f.state.setLlmDownloadProgress(odd);
        f.state.setSetupProgress(odd);
        QTRY_COMPARE(f.text(QStringLiteral("llmDownloadingPill")),
            QStringLiteral("Gemma 4 downloading... ")
                + (odd > 1 ? QStringLiteral("100%") : QStringLiteral("0%")));
        const double bar = f.find(QStringLiteral("setupProgressBar"))->property("value").toDouble();
        QVERIFY2(bar >= 0.0 && bar <= 1.0, qPrintable(QString::number(bar)));
    }

    f.state.setLlmDownloadComplete(true);
    f.state.setLlmDownloading(false);
    QTRY_VERIFY(f.find(QStringLiteral("llmReadyPill")));
    QVERIFY(!f.find(QStringLiteral("llmDownloadingPill")));

    // Model off: neither pill nor privacy box.
    f.state.setInstallLLM(false);
    QTRY_VERIFY(!f.find(QStringLiteral("llmReadyPill")));
    QVERIFY(!f.find(QStringLiteral("privacyBox")));
    QVERIFY(!f.find(QStringLiteral("llmDownloadingPill")));
}

void TestWizardScreens::doneScreenSummaries()
{
    WizardWindowFixture f;
    f.state.setSignedInEmail(QStringLiteral("dev@example.com"));
    f.state.registeredAgents()->append(WizardWindowFixture::agentSummary(
        QStringLiteral("vega"), QStringLiteral("global"), QStringLiteral("Claude Code")));
    f.state.registeredAgents()->append(WizardWindowFixture::agentSummary(
        QStringLiteral("vega"), QStringLiteral("per-project"), QStringLiteral("Cursor")));
    f.state.setTemplateRuleCount(12);
    f.state.setLlmDownloading(true);
    f.state.setLlmDownloadProgress(0.5);
    f.state.setAnalysisWaitingForLLM(true);
    QVERIFY(f.show(Screen::done, QStringLiteral("doneScreen")));
    QCOMPARE(summaryTexts(f),
        (QStringList {
            QStringLiteral("Signed in as dev@example.com"),
            QStringLiteral("Claude Code — global agent \"vega\""),
            QStringLiteral("Cursor — per-project agent \"vega\""),
            QStringLiteral("Developer Workstation template (12 rules)"),
            QStringLiteral("Gemma 4 downloading... 50%"),
            f.state.analysisStatusLine(),
        }));
    QVERIFY(f.find(QStringLiteral("backgroundDownloadBox")));
    f.screenshot(QStringLiteral("done"));

    // The analysis finished with suggestions: the pointer to the web dashboard.
    f.state.setLlmDownloading(false);
    f.state.setLlmDownloadComplete(true);
    f.state.setAnalysisWaitingForLLM(false);
    f.state.setAnalysisComplete(true);
    f.state.setSuggestionCount(7);
    QTRY_VERIFY(summaryTexts(f).contains(f.state.analysisStatusLine()));
    QVERIFY(summaryTexts(f).contains(QStringLiteral("Gemma 4 installed")));
    QVERIFY(f.text(QStringLiteral("summaryNote")).contains(QStringLiteral("web dashboard")));
    QVERIFY(!f.find(QStringLiteral("backgroundDownloadBox")));

    // Model off (set-up skipped): no model row and no analysis line.
    f.state.setInstallLLM(false);
    f.state.setAnalysisComplete(false);
    f.state.setAnalysisError(QString());
    QTRY_COMPARE(summaryTexts(f).size(), 4);
    // The download that stopped without completing reads as failed while the model is chosen.
    f.state.setInstallLLM(true);
    f.state.setLlmDownloadComplete(false);
    QTRY_VERIFY(summaryTexts(f).contains(QStringLiteral("Gemma 4 download failed")));

    // An approval device: its own line and no agent rows.
    f.state.setInstallLLM(false);
    f.state.setIsApproverOnly(true);
    f.state.setTemplateRuleCount(0);
    QTRY_COMPARE(summaryTexts(f),
        (QStringList { QStringLiteral("Signed in as dev@example.com"),
            QStringLiteral("Approval device — no local agents") }));
    QVERIFY(f.find(QStringLiteral("approveFromText")));
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

    // Waiting for the model: "Keep Running" changes nothing.
    QVERIFY(askToClose());
    QCOMPARE(f.text(QStringLiteral("closeTitle")), QStringLiteral("Model download in progress"));
    QVERIFY(f.insideWindow(f.find(QStringLiteral("stopAndCloseButton"))));
    f.click(f.find(QStringLiteral("keepRunningButton")));
    QTRY_VERIFY(!f.find(QStringLiteral("keepRunningButton")));
    QCOMPARE(closed.size(), 0);

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

QTEST_MAIN(TestWizardScreens)
#include "tst_WizardScreens.moc"
