#include "app/wizard/WindowManager.h"
#include "app/wizard/WizardState.h"
#include "tests/support/QmlTestSupport.h"

#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QSignalSpy>
#include <QTest>

class TestWizardState : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void steps();
    void rootViewShowsWelcomeThenSwitches();
    void setupLogRules();
    void logAndAgentsInQml();
    void screenHelpers();
    void approverOnlyTurnsOffModelAndScan();
    void securityPostureInQml();
};

void TestWizardState::approverOnlyTurnsOffModelAndScan()
{
    WizardState state;
    state.setApproverOnly(true);
    QCOMPARE(state.installLLM(), false);
    QCOMPARE(state.discoverMcpServers(), false);
    // Turning it off does not bring them back.
    state.setApproverOnly(false);
    QCOMPARE(state.installLLM(), false);
    QCOMPARE(state.discoverMcpServers(), false);
    // They can be chosen again, and the rule applies after every change.
    state.setInstallLLM(true);
    state.setDiscoverMcpServers(true);
    state.setApproverOnly(true);
    QCOMPARE(state.installLLM(), false);
    QCOMPARE(state.discoverMcpServers(), false);
}

void TestWizardState::securityPostureInQml()
{
    QQmlEngine engine;
    engine.addImportPath(QStringLiteral("qrc:/qt/qml"));
    // QML sees the posture as its raw number, in the chooser's order (the
    // enumeration's lower-case keys are not visible to QML).
    QQmlComponent component(&engine);
    component.setData("import QtQml\nQtObject {\n"
                      "  property var wizardState\n"
                      "  property bool isDeveloper: wizardState.securityPosture === 0\n"
                      "  function choose() { wizardState.securityPosture = 2 }\n"
                      "}\n",
        QUrl());
    QVERIFY2(component.isReady(), qPrintable(component.errorString()));
    WizardState state;
    std::unique_ptr<QObject> object(component.createWithInitialProperties(
        { { QStringLiteral("wizardState"), QVariant::fromValue(&state) } }));
    QVERIFY2(object, qPrintable(component.errorString()));
    QCOMPARE(object->property("isDeveloper").toBool(), true);
    QVERIFY(QMetaObject::invokeMethod(object.get(), "choose"));
    QCOMPARE(state.securityPosture(), SecurityPosture::restrictive);
    QCOMPARE(object->property("isDeveloper").toBool(), false);
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
    std::unique_ptr<QObject> object(component.createWithInitialProperties(
        { { QStringLiteral("wizardState"), QVariant::fromValue(&state) } }));
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
    QVERIFY(QmlItems::find(root, QStringLiteral("tagline"))
                ->property("text")
                .toString()
                .contains(QStringLiteral("Verify")));

    QVERIFY(QMetaObject::invokeMethod(button, "clicked"));
    QCOMPARE(state.currentScreen(), WizardState::WizardScreen::signIn);
    QObject* signIn = nullptr;
    QTRY_VERIFY((signIn = QmlItems::find(root, QStringLiteral("signInButton"))) != nullptr);
    QTRY_VERIFY(QmlItems::find(root, QStringLiteral("welcomeTitle")) == nullptr);
    QCOMPARE(signIn->property("text").toString(), QStringLiteral("Sign in with Google"));
}

void TestWizardState::setupLogRules()
{
    WizardState state;
    SetupLogModel& log = *state.setupLog();
    QSignalSpy counted(&log, &SetupLogModel::countChanged);

    // Nothing to replace in an empty log.
    log.updateLastLog(QStringLiteral("lost"), LogStyle::done);
    QCOMPARE(log.count(), 0);

    log.addSection(QStringLiteral("AGENTS"));
    // A header is never replaced.
    log.updateLastLog(QStringLiteral("lost"), LogStyle::done);
    QCOMPARE(log.count(), 1);
    QCOMPARE(log.entries().first().text, QStringLiteral("AGENTS"));
    QCOMPARE(log.entries().first().style, LogStyle::sectionHeader);
    QCOMPARE(log.entries().first().section, QStringLiteral("AGENTS"));

    log.appendLog(QStringLiteral("Registering"), LogStyle::active);
    const QUuid runningId = log.entries().last().id;
    QCOMPARE(log.entries().last().section, std::nullopt);
    QSignalSpy changed(&log, &QAbstractItemModel::dataChanged);
    log.updateLastLog(QStringLiteral("Registered"), LogStyle::done);
    QCOMPARE(log.count(), 2);
    QCOMPARE(log.entries().last().text, QStringLiteral("Registered"));
    QCOMPARE(log.entries().last().style, LogStyle::done);
    QVERIFY(log.entries().last().id != runningId);
    QCOMPARE(changed.size(), 1);
    QCOMPARE(changed.first().at(0).toModelIndex().row(), 1);
    QCOMPARE(counted.size(), 2);

    log.clear();
    QCOMPARE(log.count(), 0);

    AgentSummaryModel& agents = *state.registeredAgents();
    agents.append({ QUuid::createUuid(), QStringLiteral("vega"), QStringLiteral("global"),
        QStringLiteral("Code Assistant") });
    QCOMPARE(agents.count(), 1);
    agents.clear();
    QCOMPARE(agents.count(), 0);
}

void TestWizardState::logAndAgentsInQml()
{
    // The screens read the rows through their roles and compare the style with
    // the LogStyle values the wizard module exports.
    QmlWarningGuard warnings;
    QQmlEngine engine;
    QmlWarningGuard::prepare(engine);
    WizardState state;
    state.setupLog()->addSection(QStringLiteral("AGENTS"));
    state.setupLog()->appendLog(QStringLiteral("Linking vega to account"), LogStyle::active);
    state.registeredAgents()->append({ QUuid::createUuid(), QStringLiteral("vega"),
        QStringLiteral("per-project"), QStringLiteral("Code Assistant") });
    QQmlComponent component(&engine);
    component.setData(R"(
        import QtQuick
        import Quorvane.Wizard
        Item {
            required property WizardState wizardState
            property var lines: []
            property string agents: ""
            Repeater {
                model: wizardState.setupLog
                Item {
                    required property string text
                    required property int style
                    required property string section
                    Component.onCompleted: lines = lines.concat([text + "|" + (style === LogStyles.LogStyle.sectionHeader) + "|"
                                                                 + (style === LogStyles.LogStyle.active) + "|" + section])
                }
            }
            Repeater {
                model: wizardState.registeredAgents
                Item {
                    required property string name
                    required property string scope
                    required property string toolName
                    Component.onCompleted: agents = name + "|" + scope + "|" + toolName
                }
            }
        })",
        QUrl());
    std::unique_ptr<QObject> object(component.createWithInitialProperties(
        { { QStringLiteral("wizardState"), QVariant::fromValue(&state) } }));
    QVERIFY2(object, qPrintable(component.errorString()));
    QTRY_COMPARE(object->property("lines").toStringList(),
        QStringList({ QStringLiteral("AGENTS|true|false|AGENTS"),
            QStringLiteral("Linking vega to account|false|true|") }));
    QCOMPARE(object->property("agents").toString(), QStringLiteral("vega|per-project|Code Assistant"));
    QCOMPARE(warnings.warnings(), QStringList());
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
    QCOMPARE(postures.at(0).toMap().value(QStringLiteral("label")).toString(),
        QStringLiteral("Developer Workstation"));
    QVERIFY(postures.at(0).toMap().value(QStringLiteral("recommended")).toBool());
    QVERIFY(!postures.at(2).toMap().value(QStringLiteral("recommended")).toBool());
    const QVariantList scopes = WizardState::scopeChoices();
    QCOMPARE(scopes.at(1).toMap().value(QStringLiteral("label")).toString(), QStringLiteral("Per-project"));
    QCOMPARE(scopes.at(1).toMap().value(QStringLiteral("sublabel")).toString(),
        QStringLiteral("(separate agent per folder)"));

    WizardState state;

    // The name's title follows the first per-project tool, both ways.
    QSignalSpy perProject(&state, &WizardState::hasPerProjectToolChanged);
    DetectedTool tool;
    tool.name = QStringLiteral("Cursor");
    state.detectedTools()->setTools({ tool, tool });
    QVERIFY(!state.hasPerProjectTool());
    QVERIFY(state.detectedTools()->setData(
        state.detectedTools()->index(1), int(ScopeChoice::perProject), DetectedToolsModel::ScopeRole));
    QVERIFY(state.hasPerProjectTool());
    QVERIFY(state.detectedTools()->setData(
        state.detectedTools()->index(1), int(ScopeChoice::allProjects), DetectedToolsModel::ScopeRole));
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
    windows.setShell({ [&] { ++started; }, {}, {}, {} });
    windows.showWizard();
    QVERIFY(windows.wizardWindow());
    windows.wizardState().closeWizard();
    QVERIFY(windows.wizardWindow() == nullptr);
    QCOMPARE(started, 1);
}

QTEST_MAIN(TestWizardState)
#include "tst_WizardState.moc"
