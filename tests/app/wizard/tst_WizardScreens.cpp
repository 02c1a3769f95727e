#include "tests/app/wizard/WizardWindowFixture.h"

#include <QSignalSpy>
#include <limits>

using namespace Qt::StringLiterals;
using Screen = WizardState::WizardScreen;

namespace {

QStringList summaryTexts(const WizardWindowFixture& f)
{
    QStringList texts;
    for (QQuickItem* row : f.all(u"summaryText"_s))
        texts << row->property("text").toString();
    return texts;
}

int stepState(const WizardWindowFixture& f, int step)
{
    QQuickItem* dot = f.find(u"stepDot%1"_s.arg(step));
    return dot ? dot->property("stepState").toInt() : -1;
}

} // namespace

// What each wizard screen shows for a state of the model, in the real wizard
// window, offscreen, and what its controls change. (`scripts/screenshot wizard`
// runs it for the screenshots.)
class TestWizardScreens : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QuorvaneStyle::applyDarkAppearance(); }
    void stepBarFollowsTheScreen()
    {
        WizardWindowFixture f;
        QVERIFY(f.show(Screen::welcome, u"welcomeScreen"_s));
        QVERIFY(!f.find(u"stepProgressBar"_s));
        f.screenshot(u"welcome"_s);

        // Configure is step 2: the two before are done, the rest pending.
        QVERIFY(f.show(Screen::configure, u"configureScreen"_s));
        QCOMPARE(f.text(u"stepLabel2"_s), u"CONFIGURE"_s);
        QCOMPARE(stepState(f, 1), 0);
        QCOMPARE(stepState(f, 2), 1);
        QCOMPARE(stepState(f, 3), 2);
        QVERIFY(f.show(Screen::done, u"doneScreen"_s));
        QCOMPARE(stepState(f, 3), 0);
        QCOMPARE(stepState(f, 4), 1);
    }

    void signInWaitingErrorAndRetry()
    {
        WizardWindowFixture f;
        QVERIFY(f.show(Screen::signIn, u"signInScreen"_s));

        // Waiting for the browser: the progress and a way to stop waiting, in the window.
        f.click(f.find(u"signInButton"_s));
        QCOMPARE(f.opened.size(), 1);
        QTRY_VERIFY(f.find(u"signInProgress"_s));
        QVERIFY(!f.find(u"signInButton"_s));
        QVERIFY(f.insideWindow(f.find(u"stopWaitingButton"_s)));
        f.screenshot(u"sign-in-waiting"_s);
        f.click(f.find(u"stopWaitingButton"_s));
        QTRY_VERIFY(!f.account.isWaiting());
        QTRY_VERIFY(f.find(u"signInButton"_s));

        // An error: its text and the one sign-in button, which starts over.
        WizardTestAccess::setError(f.account, u"Authentication failed. Please try again."_s);
        QTRY_COMPARE(f.text(u"signInError"_s), u"Authentication failed. Please try again."_s);
        QCOMPARE(f.all(u"signInButton"_s).size(), 1);
        QVERIFY(!f.find(u"retryButton"_s));
        QQuickItem* retry = f.find(u"signInButton"_s);
        QVERIFY(f.insideWindow(retry));
        f.screenshot(u"sign-in-error"_s);
        f.click(retry);
        QCOMPARE(f.opened.size(), 2);
        QVERIFY(f.account.isWaiting());
        QVERIFY(f.account.errorMessage().isEmpty());
        f.account.stopWaiting();
    }

    void installScreenOptionsAndRows()
    {
        WizardWindowFixture f;
        QVERIFY(f.show(Screen::install, u"installScreen"_s));
        // Model on: the engine's row, no warning, nothing installed yet.
        QVERIFY(f.find(u"ollamaStatusRow"_s));
        QVERIFY(!f.find(u"llmWarning"_s));
        QVERIFY(!f.find(u"installStatusRows"_s));
        QCOMPARE(f.text(u"installButton"_s), u"Install & Continue →"_s);

        // "Approval Device Only" reaches the model; the other switches follow it
        // and the warning shows instead of the engine's row.
        f.click(f.find(u"approverOnlySwitch"_s));
        QTRY_VERIFY(f.install.approverOnly());
        QTRY_VERIFY(!f.find(u"installModelSwitch"_s)->property("checked").toBool());
        QVERIFY(!f.find(u"discoverMcpSwitch"_s)->property("checked").toBool());
        QTRY_VERIFY(f.find(u"llmWarning"_s));
        QVERIFY(!f.find(u"ollamaStatusRow"_s));
        f.click(f.find(u"approverOnlySwitch"_s));
        QTRY_VERIFY(!f.install.approverOnly());

        // During an install: rows with their marks; the button waits.
        f.click(f.find(u"installModelSwitch"_s));
        QTRY_VERIFY(f.install.installLLM());
        WizardTestAccess::setRunning(f.install, true);
        WizardTestAccess::setOllamaStatus(f.install, DependencyStatus::downloading(0.375));
        WizardTestAccess::setCliStatus(f.install, DependencyStatus::installed());
        WizardTestAccess::setCredentialStoreStatus(f.install, DependencyStatus::installed());
        WizardTestAccess::setMachineStatus(f.install, DependencyStatus::installing());
        QTRY_VERIFY(!f.find(u"installButton"_s)->isEnabled());
        QVERIFY(f.find(u"installProgress"_s));
        QTRY_VERIFY(f.find(u"installStatusRows"_s));
        const auto runtimeDetail = [&f] {
            return f.find(u"ollamaStatusRow"_s)
                ->findChild<QQuickItem*>(u"statusDetail"_s)
                ->property("text")
                .toString();
        };
        QCOMPARE(runtimeDetail(), u"37%"_s);
        QList<int> kinds;
        for (QQuickItem* icon : f.all(u"statusIcon"_s))
            kinds << icon->property("kind").toInt();
        QCOMPARE(kinds, (QList<int> { 1, 4, 4, 2 })); // downloading, installed, installed, installing
        // An odd fraction reads as none (the percentages are the progress-percent tests').
        WizardTestAccess::setOllamaStatus(f.install, DependencyStatus::downloading(std::numeric_limits<double>::quiet_NaN()));
        QTRY_COMPARE(runtimeDetail(), u"0%"_s);

        // A failed install: its message under the screen; the button again, as Retry.
        WizardTestAccess::setRunning(f.install, false);
        WizardTestAccess::setOllamaStatus(f.install, DependencyStatus::failed(u"The download was refused"_s));
        WizardTestAccess::setError(f.install, u"The download was refused"_s);
        QTRY_COMPARE(f.text(u"installError"_s), u"The download was refused"_s);
        QCOMPARE(f.text(u"installButton"_s), u"Retry"_s);
        QVERIFY(f.find(u"installButton"_s)->isEnabled());
        QVERIFY(f.insideWindow(f.find(u"installButton"_s)));
        f.screenshot(u"install-failed"_s);

        // The guide opens at the install section.
        f.click(f.find(u"helpLink"_s));
        QCOMPARE(f.opened.size(), 1);
        QVERIFY(f.opened.first().toString().endsWith(u"/docs#setup-install"_s));
    }

    void configureScreenEditsTheTools()
    {
        WizardWindowFixture f;
        f.configuration.detectedTools()->setTools({ WizardWindowFixture::tool(u"Claude Code"_s, u"claude-code"_s,
                                                { u"~/code/site"_s, u"~/code/api"_s }, u"~/code"_s),
            WizardWindowFixture::tool(u"Cursor"_s, u"cursor"_s) });
        f.configuration.rename(u"vega"_s);
        QVERIFY(f.show(Screen::configure, u"configureScreen"_s));
        QCOMPARE(f.all(u"toolSection"_s).size(), 2);
        QCOMPARE(f.text(u"nameTitle"_s), u"Machine Name"_s);

        // Expanding the first tool shows the scopes and the allow-listed folder.
        QQuickItem* first = f.all(u"toolSection"_s).first();
        const auto in = [first](const char* name) { return QmlItems::visible(first, QLatin1String(name)); };
        f.click(in("toolExpand").first());
        QTRY_VERIFY(f.configuration.detectedTools()->tools().first().expanded);
        QTRY_VERIFY(!in("scopePerProject").isEmpty());
        QCOMPARE(in("projectsRootField").first()->property("text").toString(), u"~/code"_s);

        // Per project: the title becomes "Agent Name" at once, the projects show;
        // selecting one writes into the model. And back: "Machine Name" again.
        f.click(in("scopePerProject").first());
        QTRY_COMPARE(f.text(u"nameTitle"_s), u"Agent Name"_s);
        QCOMPARE(f.configuration.detectedTools()->tools().first().scope, ScopeChoice::perProject);
        QTRY_COMPARE(in("projectCheck").size(), 2);
        QVERIFY(in("projectsRootField").isEmpty());
        f.click(in("projectCheck").at(1));
        QTRY_VERIFY(f.configuration.detectedTools()->tools().first().projects.at(1).selected);
        QVERIFY(!f.configuration.detectedTools()->tools().first().projects.at(0).selected);
        f.screenshot(u"configure-per-project"_s);
        f.click(in("scopeAllProjects").first());
        QTRY_COMPARE(f.text(u"nameTitle"_s), u"Machine Name"_s);

        // A name typed with a space: the model's message under the field, its border red, "Continue" off.
        f.find(u"agentNameField"_s)->forceActiveFocus();
        f.type(u" x"_s);
        QTRY_COMPARE(f.configuration.agentName(), u"vega x"_s);
        QTRY_COMPARE(f.text(u"agentNameError"_s), f.configuration.agentNameError());
        QObject* field = f.find(u"agentNameField"_s);
        QObject* border = field->property("background").value<QObject*>()->property("border").value<QObject*>();
        QCOMPARE(border->property("color").value<QColor>(), QuorvaneStyle::red());
        QVERIFY(!f.find(u"continueButton"_s)->isEnabled());

        // Unchecking every tool also stops "Continue".
        f.configuration.rename(u"vega"_s);
        QTRY_VERIFY(f.find(u"continueButton"_s)->isEnabled());
        for (QQuickItem* check : f.all(u"toolEnabled"_s))
            f.press(check);
        QTRY_VERIFY(!f.find(u"continueButton"_s)->isEnabled());
        QVERIFY(!f.configuration.detectedTools()->tools().at(1).enabled);

        // The posture chooser, from the keyboard, writes the posture; the description follows.
        const QString before = f.text(u"postureDescription"_s);
        f.find(u"postureBox"_s)->forceActiveFocus();
        QTest::keyClick(f.view(), Qt::Key_Down);
        QTRY_COMPARE(f.configuration.securityPosture(), SecurityPosture::personal);
        QTRY_VERIFY(f.text(u"postureDescription"_s) != before);
        // Its list open: every row in the label colour, not only the hovered one.
        QMetaObject::invokeMethod(f.find(u"postureBox"_s)->property("popup").value<QObject*>(), "open");
        QTRY_VERIFY(f.find(u"postureBoxRow0"_s));
        for (QQuickItem* row : { f.find(u"postureBoxRow0"_s), f.find(u"postureBoxRow1"_s) })
            QCOMPARE(row->property("contentItem").value<QQuickItem*>()->property("color").value<QColor>().rgba(),
                QuorvaneStyle::label().rgba());
        f.screenshot(u"configure-posture-list"_s);
        QMetaObject::invokeMethod(f.find(u"postureBox"_s)->property("popup").value<QObject*>(), "close");
        f.click(f.find(u"helpLink"_s));
        QVERIFY(f.opened.last().toString().endsWith(u"/docs#setup-configure"_s));
    }

    void settingUpScreenShowsLogAndModel()
    {
        WizardWindowFixture f;
        f.setup.log()->addSection(u"AGENTS"_s);
        f.setup.log()->appendLog(u"Registered agent \"vega\" (global — all projects)"_s, LogStyle::done);
        f.setup.log()->appendLog(u"Linking vega to dev@example.com"_s, LogStyle::active);
        f.setup.log()->appendLog(u"Linking failed — link manually from dashboard"_s, LogStyle::pending);
        WizardTestAccess::setProgress(f.setup, 0.6);
        WizardTestAccess::setDownloading(f.download, true);
        WizardTestAccess::setProgress(f.download, 0.257);
        QVERIFY(f.show(Screen::settingUp, u"settingUpScreen"_s));
        QCOMPARE(f.text(u"phaseText"_s), f.setup.phaseText());
        // A header has no mark; the others show their style's.
        const QList<QQuickItem*> rows = f.all(u"logRow"_s);
        QCOMPARE(rows.size(), 4);
        QVERIFY(QmlItems::visible(rows.at(0), u"logMark"_s).isEmpty());
        QStringList marks;
        for (int i = 1; i < 4; ++i)
            marks << QmlItems::visible(rows.at(i), u"logMark"_s).first()->property("text").toString();
        QCOMPARE(marks, (QStringList { u"✓"_s, u"⟳"_s, u"○"_s }));
        QCOMPARE(f.text(u"llmDownloadingPill"_s), u"Gemma 4 downloading... 25%"_s);
        QVERIFY(!f.find(u"llmReadyPill"_s));
        QVERIFY(f.find(u"privacyBox"_s));
        f.screenshot(u"setting-up"_s);

        // Odd fractions are shown safely.
        for (const double odd : { std::numeric_limits<double>::quiet_NaN(), 1e300 }) {
            WizardTestAccess::setProgress(f.download, odd);
            WizardTestAccess::setProgress(f.setup, odd);
            QTRY_COMPARE(f.text(u"llmDownloadingPill"_s),
                u"Gemma 4 downloading... "_s + (odd > 1 ? u"100%"_s : u"0%"_s));
            const double bar = f.find(u"setupProgressBar"_s)->property("value").toDouble();
            QVERIFY2(bar >= 0.0 && bar <= 1.0, qPrintable(QString::number(bar)));
        }

        WizardTestAccess::setComplete(f.download, true);
        WizardTestAccess::setDownloading(f.download, false);
        QTRY_VERIFY(f.find(u"llmReadyPill"_s));
        QVERIFY(!f.find(u"llmDownloadingPill"_s));

        // Model off: neither pill nor privacy box.
        f.install.chooseInstallLLM(false);
        QTRY_VERIFY(!f.find(u"llmReadyPill"_s));
        QVERIFY(!f.find(u"privacyBox"_s));
        QVERIFY(!f.find(u"llmDownloadingPill"_s));
    }

    void doneScreenSummaries()
    {
        WizardWindowFixture f;
        WizardTestAccess::signIn(f.account, QString(), u"dev@example.com"_s);
        f.setup.registeredAgents()->append(
            AgentSummary { .name = u"vega"_s, .scope = u"global"_s, .toolName = u"Claude Code"_s });
        f.setup.registeredAgents()->append(
            AgentSummary { .name = u"vega"_s, .scope = u"per-project"_s, .toolName = u"Cursor"_s });
        WizardTestAccess::setTemplateRuleCount(f.setup, 12);
        WizardTestAccess::setDownloading(f.download, true);
        WizardTestAccess::setProgress(f.download, 0.5);
        WizardTestAccess::setWaitingForLLM(f.analysis, true);
        QVERIFY(f.show(Screen::done, u"doneScreen"_s));
        QCOMPARE(summaryTexts(f),
            (QStringList {
                u"Signed in as dev@example.com"_s,
                u"Claude Code — global agent \"vega\""_s,
                u"Cursor — per-project agent \"vega\""_s,
                u"Developer Workstation template (12 rules)"_s,
                u"Gemma 4 downloading... 50%"_s,
                f.analysis.statusLine(),
            }));
        QVERIFY(f.find(u"backgroundDownloadBox"_s));
        f.screenshot(u"done"_s);

        // The analysis finished with suggestions: the pointer to the web dashboard.
        WizardTestAccess::setDownloading(f.download, false);
        WizardTestAccess::setComplete(f.download, true);
        WizardTestAccess::setWaitingForLLM(f.analysis, false);
        WizardTestAccess::setComplete(f.analysis, true);
        WizardTestAccess::setSuggestionCount(f.analysis, 7);
        QTRY_VERIFY(summaryTexts(f).contains(f.analysis.statusLine()));
        QVERIFY(summaryTexts(f).contains(u"Gemma 4 installed"_s));
        QVERIFY(f.text(u"summaryNote"_s).contains(u"web dashboard"_s));
        QVERIFY(!f.find(u"backgroundDownloadBox"_s));

        // Model off (set-up skipped): no model row and no analysis line.
        f.install.chooseInstallLLM(false);
        WizardTestAccess::setComplete(f.analysis, false);
        WizardTestAccess::setError(f.analysis, QString());
        QTRY_COMPARE(summaryTexts(f).size(), 4);
        // The download that stopped without completing reads as failed while the model is chosen.
        f.install.chooseInstallLLM(true);
        WizardTestAccess::setComplete(f.download, false);
        QTRY_VERIFY(summaryTexts(f).contains(u"Gemma 4 download failed"_s));

        // An approval device: its own line and no agent rows.
        f.install.chooseInstallLLM(false);
        f.install.chooseApproverOnly(true);
        WizardTestAccess::setTemplateRuleCount(f.setup, 0);
        QTRY_COMPARE(summaryTexts(f),
            (QStringList { u"Signed in as dev@example.com"_s, u"Approval device — no local agents"_s }));
        QVERIFY(f.find(u"approveFromText"_s));
    }

    void closeAsksWhileTheAnalysisWaitsOrRuns()
    {
        WizardWindowFixture f;
        QSignalSpy closed(&f.state, &WizardState::closeRequested);
        WizardTestAccess::setWaitingForLLM(f.analysis, true);
        QVERIFY(f.show(Screen::done, u"doneScreen"_s));

        // "Close" opens the question that fits the state: the model's alert texts.
        const auto askToClose = [&f] {
            f.click(f.find(u"closeButton"_s));
            return QTest::qWaitFor([&f] { return f.find(u"keepRunningButton"_s) != nullptr; })
                && f.text(u"closeTitle"_s) == f.analysis.closeAlertTitle()
                && f.text(u"closeMessage"_s) == f.analysis.closeAlertMessage();
        };

        // Waiting for the model: "Keep Running" changes nothing.
        QVERIFY(askToClose());
        QVERIFY(f.insideWindow(f.find(u"stopAndCloseButton"_s)));
        f.click(f.find(u"keepRunningButton"_s));
        QTRY_VERIFY(!f.find(u"keepRunningButton"_s));
        QCOMPARE(closed.size(), 0);

        // Running: the analysis question; Escape is "Keep Running"; "Stop & Close" finishes the wizard.
        WizardTestAccess::setWaitingForLLM(f.analysis, false);
        WizardTestAccess::setInProgress(f.analysis, true);
        QVERIFY(askToClose());
        QTest::keyClick(f.view(), Qt::Key_Escape);
        QTRY_VERIFY(!f.find(u"keepRunningButton"_s));
        QCOMPARE(closed.size(), 0);
        f.click(f.find(u"closeButton"_s));
        QTRY_VERIFY(f.find(u"stopAndCloseButton"_s));
        f.click(f.find(u"stopAndCloseButton"_s));
        QTRY_COMPARE(closed.size(), 1);
        QTRY_VERIFY(f.windows.wizardWindow() == nullptr);
    }
};

QTEST_MAIN(TestWizardScreens)
#include "tst_WizardScreens.moc"
