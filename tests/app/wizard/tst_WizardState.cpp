#include "tests/support/QmlTestSupport.h"
#include "app/wizard/WindowManager.h"
#include "app/wizard/WizardState.h"

#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QSignalSpy>
#include <QTest>

#include <limits>

class TestWizardState : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initialValues();
    void everyFieldNotifies();
    void steps();
    void rootViewShowsWelcomeThenSwitches();
    void phaseText_data();
    void phaseText();
    void analysisStatusLine();
    void screenHelpers();
};

void TestWizardState::initialValues()
{
    WizardState state;
    QCOMPARE(state.currentScreen(), WizardState::WizardScreen::welcome);
    QCOMPARE(state.isLoading(), false);
    QVERIFY(state.errorMessage().isNull());
    QVERIFY(state.sessionToken().isNull());
    QVERIFY(state.signedInEmail().isNull());
    QCOMPARE(state.approverOnly(), false);
    QCOMPARE(state.isApproverOnly(), false);
    QCOMPARE(state.installLLM(), true);
    QCOMPARE(state.discoverMcpServers(), true);
    QCOMPARE(state.llmDownloadProgress(), 0.0);
    QCOMPARE(state.llmDownloadComplete(), false);
    QCOMPARE(state.llmDownloading(), false);
    QCOMPARE(state.ollamaStatus(), DependencyStatus::missing());
    QCOMPARE(state.cliStatus(), DependencyStatus::missing());
    QCOMPARE(state.keychainStatus(), DependencyStatus::missing());
    QCOMPARE(state.machineStatus(), DependencyStatus::missing());
    QCOMPARE(state.detectedTools()->count(), 0);
    QCOMPARE(state.canContinue(), false);
    QCOMPARE(state.securityPosture(), QStringLiteral("developer"));
    QCOMPARE(state.agentName(), QString());
    QVERIFY(state.setupLog().isEmpty());
    QCOMPARE(state.setupProgress(), 0.0);
    QVERIFY(state.registeredAgents().isEmpty());
    QCOMPARE(state.templateRuleCount(), 0);
    QCOMPARE(state.suggestionCount(), 0);
    QCOMPARE(state.analysisWaitingForLLM(), false);
    QCOMPARE(state.analysisInProgress(), false);
    QCOMPARE(state.analysisComplete(), false);
    QCOMPARE(state.analysisProgress(), 0.0);
    QVERIFY(state.analysisError().isNull());
    // The raw values of the screens.
    QCOMPARE(int(WizardState::WizardScreen::done), 5);
    QCOMPARE(int(WizardState::WizardScreen::settingUp), 4);
}

void TestWizardState::everyFieldNotifies()
{
    // Every property has a notify signal, and an assignment of a new value fires it once.
    WizardState state;
    const QMetaObject* meta = state.metaObject();
    int checked = 0;
    for (int i = meta->propertyOffset(); i < meta->propertyCount(); ++i) {
        const QMetaProperty property = meta->property(i);
        QVERIFY2(property.hasNotifySignal(), property.name());
        if (!property.isWritable())
            continue;
        QVariant value = property.read(&state);
        QVariant changed;
        switch (value.metaType().id()) {
        case QMetaType::Bool:
            changed = !value.toBool();
            break;
        case QMetaType::Int:
            changed = value.toInt() + 1;
            break;
        case QMetaType::Double:
            changed = value.toDouble() + 0.5;
            break;
        case QMetaType::QString:
            changed = QStringLiteral("x");
            break;
        case QMetaType::QVariantList:
            changed = QVariantList{1};
            break;
        default:
            continue;
        }
        QSignalSpy spy(&state, property.notifySignal());
        QVERIFY(property.write(&state, changed));
        QVERIFY(property.write(&state, changed)); // same value again: no second signal
        QCOMPARE(spy.size(), 1);
        ++checked;
    }
    QVERIFY(checked >= 20);
}

void TestWizardState::steps()
{
    QCOMPARE(WizardState::stepForScreen(WizardState::WizardScreen::welcome), std::nullopt);
    QCOMPARE(WizardState::stepForScreen(WizardState::WizardScreen::settingUp), WizardState::SetupStep::setup);
    QCOMPARE(WizardState::stepForScreen(WizardState::WizardScreen::done), WizardState::SetupStep::done);
    QCOMPARE(WizardState::stepState(0, 2), WizardState::StepState::done);
    QCOMPARE(WizardState::stepState(2, 2), WizardState::StepState::active);
    QCOMPARE(WizardState::stepState(4, 2), WizardState::StepState::pending);
    QCOMPARE(WizardState::stepLabel(3), QStringLiteral("Setup"));
    QCOMPARE(WizardState::stepLabel(9), QString());

    WizardState state;
    state.getStarted();
    QCOMPARE(state.currentScreen(), WizardState::WizardScreen::signIn);
    state.setCurrentScreen(WizardState::WizardScreen::install);
    state.getStarted(); // only from the welcome screen
    QCOMPARE(state.currentScreen(), WizardState::WizardScreen::install);
}

void TestWizardState::rootViewShowsWelcomeThenSwitches()
{
    QQmlEngine engine;
    engine.addImportPath(QStringLiteral("qrc:/qt/qml"));
    WizardState state;
    QQmlComponent component(&engine, QUrl(QStringLiteral("qrc:/qt/qml/Quorvane/Wizard/WizardRootView.qml")));
    QVERIFY2(component.isReady(), qPrintable(component.errorString()));
    std::unique_ptr<QObject> object(
        component.createWithInitialProperties({{QStringLiteral("wizardState"), QVariant::fromValue(&state)}}));
    QVERIFY2(object, qPrintable(component.errorString()));
    QCOMPARE(object->property("transitionDuration").toInt(), 250);
    auto* root = qobject_cast<QQuickItem*>(object.get());
    QVERIFY(root);

    QObject* title = nullptr;
    QTRY_VERIFY((title = QmlItems::find(root, QStringLiteral("welcomeTitle"))) != nullptr);
    QCOMPARE(title->property("text").toString(), QStringLiteral("Welcome to Quorvane"));
    QCOMPARE(QmlItems::find(root, QStringLiteral("welcomeText"))->property("text").toString(),
             QStringLiteral("Quorvane puts you in control of your AI tools. When an agent wants to do something "
                            "risky, you approve it first."));
    QObject* button = QmlItems::find(root, QStringLiteral("getStartedButton"));
    QCOMPARE(button->property("text").toString(), QStringLiteral("Get Started →"));
    QVERIFY(QmlItems::find(root, QStringLiteral("tagline"))->property("text").toString().contains(
        QStringLiteral("Verify")));

    QVERIFY(QMetaObject::invokeMethod(button, "clicked"));
    QCOMPARE(state.currentScreen(), WizardState::WizardScreen::signIn);
    QObject* signIn = nullptr;
    QTRY_VERIFY((signIn = QmlItems::find(root, QStringLiteral("signInButton"))) != nullptr);
    QTRY_VERIFY(QmlItems::find(root, QStringLiteral("welcomeTitle")) == nullptr);
    QCOMPARE(signIn->property("text").toString(), QStringLiteral("Sign in with Google"));

    // While the browser is waited for: the progress and the way to stop waiting.
    QList<QUrl> opened;
    state.setBrowserOpener([&opened](const QUrl& url) {
        opened << url;
        return true;
    });
    QVERIFY(QMetaObject::invokeMethod(signIn, "clicked"));
    QCOMPARE(opened.size(), 1);
    QTRY_VERIFY(!signIn->property("visible").toBool());
    QObject* stop = QmlItems::find(root, QStringLiteral("stopWaitingButton"));
    QVERIFY(stop && stop->property("visible").toBool());
    QVERIFY(QMetaObject::invokeMethod(stop, "clicked"));
    QVERIFY(!state.isLoading());
    QTRY_VERIFY(signIn->property("visible").toBool());
}

void TestWizardState::phaseText_data()
{
    QTest::addColumn<double>("progress");
    QTest::addColumn<QString>("phase");
    QTest::newRow("start") << 0.0 << QStringLiteral("Registering...");
    QTest::newRow("half") << 0.5 << QStringLiteral("Registering...");
    QTest::newRow("above half") << 0.51 << QStringLiteral("Configuring agents...");
    QTest::newRow("0.8") << 0.8 << QStringLiteral("Configuring agents...");
    QTest::newRow("above 0.8") << 0.81 << QStringLiteral("Almost there...");
    QTest::newRow("done") << 1.0 << QStringLiteral("Complete!");
    QTest::newRow("beyond") << 1e300 << QStringLiteral("Complete!");
    QTest::newRow("NaN") << std::numeric_limits<double>::quiet_NaN() << QStringLiteral("Registering...");
}

void TestWizardState::phaseText()
{
    QFETCH(double, progress);
    QFETCH(QString, phase);
    WizardState state;
    state.setSetupProgress(progress);
    QCOMPARE(state.phaseText(), phase);
}

void TestWizardState::analysisStatusLine()
{
    WizardState state;
    QSignalSpy changes(&state, &WizardState::analysisStatusChanged);
    QCOMPARE(state.analysisStatusText(), QString()); // not started: no line
    state.setAnalysisWaitingForLLM(true);
    state.setAnalysisInProgress(true); // waiting is told first
    QCOMPARE(state.analysisStatusText(), QStringLiteral("Activity scan will start when the model is ready..."));
    state.setAnalysisWaitingForLLM(false);
    state.setAnalysisProgress(0.429);
    QCOMPARE(state.analysisStatusText(), QStringLiteral("Analyzing activity... 42%"));
    state.setAnalysisInProgress(false);
    state.setAnalysisComplete(true);
    QCOMPARE(state.analysisStatusText(), QStringLiteral("Activity analysis complete — no suggestions"));
    QVERIFY(!state.hasSuggestionsToReview());
    state.setSuggestionCount(7);
    QCOMPARE(state.analysisStatusText(), QStringLiteral("Activity analysis complete — 7 rule suggestions"));
    QVERIFY(state.hasSuggestionsToReview());
    state.setAnalysisError(QStringLiteral("scan failed"));
    QCOMPARE(state.analysisStatusText(), QStringLiteral("Activity analysis failed"));
    QVERIFY(!state.hasSuggestionsToReview());
    QVERIFY(changes.size() >= 7);
}

void TestWizardState::screenHelpers()
{
    QCOMPARE(WizardState::activeStepOf(int(WizardState::WizardScreen::welcome)), -1);
    QCOMPARE(WizardState::activeStepOf(int(WizardState::WizardScreen::signIn)), 0);
    QCOMPARE(WizardState::activeStepOf(int(WizardState::WizardScreen::settingUp)), 3);
    QCOMPARE(WizardState::activeStepOf(int(WizardState::WizardScreen::done)), 4);
    QCOMPARE(WizardState::activeStepOf(99), -1);
    QCOMPARE(WizardState::activeStepOf(-3), -1);

    const QVariantList postures = WizardState::securityPostureChoices();
    QCOMPARE(postures.size(), 3);
    QCOMPARE(postures.at(0).toMap().value(QStringLiteral("label")).toString(), QStringLiteral("Developer Workstation"));
    QVERIFY(postures.at(0).toMap().value(QStringLiteral("recommended")).toBool());
    QVERIFY(!postures.at(2).toMap().value(QStringLiteral("recommended")).toBool());
    const QVariantList scopes = WizardState::scopeChoices();
    QCOMPARE(scopes.at(1).toMap().value(QStringLiteral("label")).toString(), QStringLiteral("Per-project"));
    QCOMPARE(scopes.at(1).toMap().value(QStringLiteral("sublabel")).toString(),
             QStringLiteral("(separate agent per folder)"));

    WizardState state;
    QCOMPARE(state.securityPostureIndex(), 0);
    state.setSecurityPostureIndex(2);
    QCOMPARE(state.securityPosture(), QStringLiteral("restrictive"));
    state.setSecurityPostureIndex(7); // out of range: kept
    QCOMPARE(state.securityPostureIndex(), 2);

    // The name's title follows the first per-project tool, both ways.
    QSignalSpy perProject(&state, &WizardState::hasPerProjectToolChanged);
    DetectedTool tool;
    tool.name = QStringLiteral("Cursor");
    state.detectedTools()->setTools({tool, tool});
    QVERIFY(!state.hasPerProjectTool());
    QVERIFY(state.detectedTools()->setData(state.detectedTools()->index(1), int(ScopeChoice::perProject),
                                           DetectedToolsModel::ScopeRole));
    QVERIFY(state.hasPerProjectTool());
    QVERIFY(state.detectedTools()->setData(state.detectedTools()->index(1), int(ScopeChoice::allProjects),
                                           DetectedToolsModel::ScopeRole));
    QVERIFY(!state.hasPerProjectTool());
    QCOMPARE(perProject.size(), 2);

    // The set-up guide opens in the browser at the web origin.
    QList<QUrl> opened;
    state.setBrowserOpener([&opened](const QUrl& url) {
        opened << url;
        return true;
    });
    state.openSetupGuide(QStringLiteral("setup-install"));
    QCOMPARE(opened.size(), 1);
    QCOMPARE(opened.first().fragment(), QStringLiteral("setup-install"));
    QCOMPARE(opened.first().path(), QStringLiteral("/docs"));

    // "Close" on the done screen finishes the wizard through the window manager.
    WindowManager windows;
    int started = 0;
    windows.setShell({[&] { ++started; }, {}, {}, {}});
    windows.showWizard();
    QVERIFY(windows.wizardWindow());
    windows.wizardState().closeWizard();
    QVERIFY(windows.wizardWindow() == nullptr);
    QCOMPARE(started, 1);
}

QTEST_MAIN(TestWizardState)
#include "tst_WizardState.moc"
