#include "tests/app/wizard/WizardWindowFixture.h"

#include <QSignalSpy>

using Screen = WizardState::WizardScreen;

// What each wizard screen shows for a state of the model, in the real wizard
// window, offscreen, and what its controls change.
class TestWizardScreens : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QuorvaneStyle::applyDarkAppearance(); }
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

} // namespace

void TestWizardScreens::signInWaitingErrorAndRetry()
{
    WizardWindowFixture f;
    QVERIFY(f.show(Screen::signIn, QStringLiteral("signInScreen")));
    QCOMPARE(f.text(QStringLiteral("pageTitle")), QStringLiteral("Sign in to your account"));
    QCOMPARE(f.text(QStringLiteral("pageSubtitle")),
        QStringLiteral("Connect your Google account to link your agents."));
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
    QTRY_COMPARE(
        f.text(QStringLiteral("signInError")), QStringLiteral("Authentication failed. Please try again."));
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
    QCOMPARE(f.find(QStringLiteral("ollamaStatusRow"))
                 ->findChild<QQuickItem*>(QStringLiteral("statusDetail"))
                 ->property("text")
                 .toString(),
        QStringLiteral("37%"));
    QList<int> kinds;
    for (QQuickItem* icon : f.all(QStringLiteral("statusIcon")))
        kinds << icon->property("kind").toInt();
    QCOMPARE(kinds, (QList<int> { 1, 4, 4, 2 })); // downloading, installed, installed, installing
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
        { WizardWindowFixture::tool(QStringLiteral("Claude Code"), QStringLiteral("claude-code"),
              { QStringLiteral("~/code/site"), QStringLiteral("~/code/api") }, QStringLiteral("~/code")),
            WizardWindowFixture::tool(QStringLiteral("Cursor"), QStringLiteral("cursor")) });
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
    QCOMPARE(
        QmlItems::visible(first, QStringLiteral("scopeAllProjects")).first()->property("text").toString(),
        QStringLiteral("All projects (single global policy)"));
    QVERIFY(!QmlItems::visible(first, QStringLiteral("projectsRootField")).isEmpty());
    QCOMPARE(
        QmlItems::visible(first, QStringLiteral("projectsRootField")).first()->property("text").toString(),
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
    QTRY_COMPARE(f.text(QStringLiteral("agentNameError")),
        QStringLiteral("Spaces are not allowed. Use hyphens instead."));
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
    f.state.setupLog()->appendLog(
        QStringLiteral("Registered agent \"vega\" (global — all projects)"), LogStyle::done);
    f.state.setupLog()->appendLog(QStringLiteral("Linking vega to dev@example.com"), LogStyle::active);
    f.state.setupLog()->appendLog(
        QStringLiteral("Linking failed — link manually from dashboard"), LogStyle::pending);
    f.state.setSetupProgress(0.6);
    f.state.setLlmDownloading(true);
    f.state.setLlmDownloadProgress(0.257);
    QVERIFY(f.show(Screen::settingUp, QStringLiteral("settingUpScreen")));
    QCOMPARE(f.text(QStringLiteral("pageTitle")), QStringLiteral("Setting up your agents"));
    QCOMPARE(f.text(QStringLiteral("pageSubtitle")),
        QStringLiteral("Registering, linking, and configuring. No browser needed."));
    QCOMPARE(f.text(QStringLiteral("phaseText")), QStringLiteral("Configuring agents..."));
    const QList<QQuickItem*> rows = f.all(QStringLiteral("logRow"));
    QCOMPARE(rows.size(), 4);
    QVERIFY(QmlItems::visible(rows.at(0), QStringLiteral("logMark")).isEmpty()); // a header has no mark
    QStringList marks;
    for (int i = 1; i < 4; ++i)
        marks
            << QmlItems::visible(rows.at(i), QStringLiteral("logMark")).first()->property("text").toString();
    QCOMPARE(marks, (QStringList { QStringLiteral("✓"), QStringLiteral("⟳"), QStringLiteral("○") }));
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
    f.state.registeredAgents()->append(WizardWindowFixture::agentSummary(
        QStringLiteral("vega"), QStringLiteral("global"), QStringLiteral("Claude Code")));
    f.state.registeredAgents()->append(WizardWindowFixture::agentSummary(
        QStringLiteral("vega"), QStringLiteral("per-project"), QStringLiteral("Cursor")));
    f.state.setTemplateRuleCount(12);
    f.state.setLlmDownloading(true);
    f.state.setLlmDownloadProgress(0.5);
    f.state.setAnalysisWaitingForLLM(true);
    QVERIFY(f.show(Screen::done, QStringLiteral("doneScreen")));
    QCOMPARE(f.text(QStringLiteral("pageTitle")), QStringLiteral("You're all set!"));
    QCOMPARE(f.text(QStringLiteral("pageSubtitle")), QStringLiteral("Quorvane is protecting your AI tools."));
    QCOMPARE(summaryTexts(f),
        (QStringList {
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
    QTRY_COMPARE(summaryTexts(f),
        (QStringList { QStringLiteral("Signed in as dev@example.com"),
            QStringLiteral("Approval device — no local agents") }));
    QCOMPARE(f.text(QStringLiteral("pageSubtitle")),
        QStringLiteral("Ready to approve requests from your other machines."));
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

QTEST_MAIN(TestWizardScreens)
#include "tst_WizardScreens.moc"
