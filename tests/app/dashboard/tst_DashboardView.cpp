#include "app/style/QuorvaneStyle.h"
#include "core/UpdateCheckService.h"
#include "tests/app/dashboard/HomeStateFixture.h"
#include "tests/support/LoopbackHttpServer.h"
#include "tests/support/QmlTestSupport.h"
#include "tests/support/StandInRuntime.h"

#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>

// The dashboard window's views offscreen at the window's real size, over the
// real model (stand-in tool, reference back-end), driven through their
// controls; what the views can get wrong: what they show of the model, and
// that their controls reach it. Screenshots go to QUORVANE_SCREENSHOT_DIR,
// else <build>/screenshots.
class TestDashboardView : public HomeStateTestCase
{
    Q_OBJECT

    static constexpr int windowWidth = 540;
    static constexpr int windowHeight = 680;

    struct View
    {
        QmlWarningGuard guard;
        QQmlEngine engine;
        QQuickWindow window;
        std::unique_ptr<QObject> root;

        bool load(HomeState& home)
        {
            QmlWarningGuard::prepare(engine);
            window.setColor(QuorvaneStyle::windowBackground());
            window.resize(windowWidth, windowHeight);
            QQmlComponent component(
                &engine, QUrl(QStringLiteral("qrc:/qt/qml/Quorvane/Dashboard/DashboardView.qml")));
            root.reset(component.createWithInitialProperties(
                { { QStringLiteral("home"), QVariant::fromValue(&home) } }));
            auto* item = qobject_cast<QQuickItem*>(root.get());
            if (!item) {
                qWarning().noquote() << component.errorString();
                return false;
            }
            item->setSize(QSizeF(windowWidth, windowHeight));
            item->setParentItem(window.contentItem());
            window.show();
            return QTest::qWaitForWindowExposed(&window);
        }

        // Popups live in the window's overlay, so search from the content item.
        QQuickItem* find(const QString& name) const { return QmlItems::find(window.contentItem(), name); }
        QList<QQuickItem*> visible(const QString& name) const
        {
            return QmlItems::visible(window.contentItem(), name);
        }
        bool isShown(const QString& name) const { return !visible(name).isEmpty(); }
        // A property of the shown item of that name, else of any.
        QString text(const QString& name, const char* property = "text") const
        {
            QQuickItem* item = visible(name).value(0, find(name));
            return item ? item->property(property).toString() : QStringLiteral("<missing %1>").arg(name);
        }
        void click(QQuickItem* item)
        {
            QVERIFY(item);
            const QPointF centre = item->mapToScene(QPointF(item->width() / 2, item->height() / 2));
            QTest::mouseClick(&window, Qt::LeftButton, {}, centre.toPoint());
        }
        void click(const QString& name)
        {
            const QList<QQuickItem*> items = visible(name);
            QVERIFY2(!items.isEmpty(), qPrintable(name));
            click(items.first());
        }

        // Every shown button lies inside the window and has a name for
        // assistive tools; then a screenshot, and no QML warning so far.
        void check(const QString& screenshot)
        {
            QList<QQuickItem*> buttons;
            collectButtons(window.contentItem(), buttons);
            QVERIFY(!buttons.isEmpty());
            for (QQuickItem* button : std::as_const(buttons)) {
                const QRectF box = button->mapRectToScene(QRectF(0, 0, button->width(), button->height()));
                QVERIFY2(QRectF(0, 0, windowWidth, windowHeight).contains(box),
                    qPrintable(button->objectName() + QStringLiteral(" lies outside the window")));
                QVERIFY2(!button->property("text").toString().isEmpty() || !button->objectName().isEmpty(),
                    qPrintable(button->objectName()));
            }
            QString dir = qEnvironmentVariable("QUORVANE_SCREENSHOT_DIR");
            if (dir.isEmpty())
                dir = qEnvironmentVariable("QUORVANE_BUILD_DIR") + QStringLiteral("/screenshots");
            QDir().mkpath(dir);
            QVERIFY(window.grabWindow().save(
                dir + QStringLiteral("/dashboard-") + screenshot + QStringLiteral(".png")));
            QVERIFY2(guard.warnings().isEmpty(), qPrintable(guard.warnings().join(u'\n')));
        }
        static void collectButtons(QQuickItem* item, QList<QQuickItem*>& found)
        {
            if (!item || !item->isVisible())
                return;
            if (item->inherits("QQuickAbstractButton"))
                found.append(item);
            for (QQuickItem* child : item->childItems())
                collectButtons(child, found);
        }
    };

private Q_SLOTS:
    // Once, before the first engine (the base's initTestCase sets the case up).
    void init()
    {
        static const bool styled = (QuorvaneStyle::applyDarkAppearance(), true);
        Q_UNUSED(styled);
    }

    void agentsAndFeatures()
    {
        Fixture f;
        QVERIFY(f.writeAgent(QStringLiteral("vega"), QStringLiteral("2025-03-01")));
        QVERIFY(f.writeAgent(QStringLiteral("rigel"), QStringLiteral("2025-02-01")));
        QVERIFY(f.writeAgent(QStringLiteral("deneb"), QStringLiteral("2025-01-01")));
        QVERIFY(f.installOllama("echo 'NAME ID SIZE'; echo 'gemma4:latest abc 9.6 GB'"));
        QVERIFY(f.writeScenario(QJsonObject {
            { QStringLiteral("version"),
                QJsonObject { { QStringLiteral("text"), QStringLiteral("2.4.1\n") } } },
            { QStringLiteral("analyze-history"), QJsonObject { { QStringLiteral("suggestionCount"), 1 } } },
            { QStringLiteral("unregister"), QJsonObject { { QStringLiteral("stepDelayMs"), 1500 } } } }));
        f.state->refresh();
        View v;
        QVERIFY(v.load(*f.state));
        QTRY_COMPARE(v.text(QStringLiteral("cliVersion")), QStringLiteral("CLI v2.4.1"));
        QTRY_VERIFY(v.isShown(QStringLiteral("modelInstalled")));
        QCOMPARE(v.visible(QStringLiteral("removeButton")).size(), 3);
        QVERIFY(!v.isShown(QStringLiteral("dashboardUpdateBanner")));

        // The analysis: "Re-scan", then the singular count.
        v.click(QStringLiteral("rescanButton"));
        QTRY_COMPARE(
            v.text(QStringLiteral("analysisText"), "subtitle"), QStringLiteral("1 suggestion found"));
        QTRY_VERIFY(v.isShown(QStringLiteral("rescanButton")));
        QVERIFY(v.find(QStringLiteral("mcpSummarySwitch"))->isEnabled());

        // Removing the middle agent: its question, then its row waits while
        // the others keep "Remove".
        v.click(v.visible(QStringLiteral("removeButton")).at(1));
        QTRY_VERIFY(v.isShown(QStringLiteral("confirmationTitle")));
        QCOMPARE(v.text(QStringLiteral("confirmationTitle")), QStringLiteral("Remove Agent?"));
        QVERIFY(v.text(QStringLiteral("confirmationMessage")).contains(QStringLiteral("\"rigel\"")));
        v.click(QStringLiteral("confirmation_Remove"));
        QTRY_COMPARE(f.state->removingAgentName(), QStringLiteral("rigel"));
        QTRY_COMPARE(v.visible(QStringLiteral("awaitingApproval")).size(), 1);
        QCOMPARE(v.visible(QStringLiteral("removeButton")).size(), 2);
        v.check(QStringLiteral("agents"));
        QTRY_VERIFY_WITH_TIMEOUT(!f.state->removingAgentName(), 20'000);
        QTRY_COMPARE(v.visible(QStringLiteral("removeButton")).size(), 2);
        v.check(QStringLiteral("features"));
    }

    void approverOnlyAndUninstall()
    {
        Fixture f(false);
        QVERIFY(f.home.write(QStringLiteral(".quorvane/machine/approver-only"), QByteArray()));
        f.state->refresh();
        int terminated = 0;
        HomeState::Platform platform;
        platform.cliBinaryPath = f.home.filePath(QStringLiteral("bin/quorvane"));
        platform.terminate = [&terminated] { ++terminated; };
        f.state->setPlatform(platform);
        View v;
        QVERIFY(v.load(*f.state));
        QVERIFY(!v.isShown(QStringLiteral("agentsCard")));
        QVERIFY(!v.isShown(QStringLiteral("featuresCard")));
        QVERIFY(v.isShown(QStringLiteral("systemCard")));
        v.check(QStringLiteral("approver-only"));

        v.click(QStringLiteral("uninstallButton"));
        QTRY_VERIFY(v.isShown(QStringLiteral("confirmationTitle")));
        QCOMPARE(v.text(QStringLiteral("confirmationTitle")), QStringLiteral("Uninstall Quorvane?"));
        v.click(QStringLiteral("confirmation_Uninstall"));
        QTRY_VERIFY_WITH_TIMEOUT(v.isShown(QStringLiteral("uninstalledTitle")), 30'000);
        QVERIFY(!v.isShown(QStringLiteral("systemCard")));
        QCOMPARE(v.find(QStringLiteral("uninstallReport"))->property("count").toInt(),
            f.state->uninstallReport().size());
        v.check(QStringLiteral("uninstall-report"));
        v.click(QStringLiteral("quitButton"));
        QCOMPARE(terminated, 1);
    }

    void addAgentSheet()
    {
        Fixture f;
        QVERIFY(f.writeScenario(QStringLiteral("init"), { { QStringLiteral("omitAgentId"), true } }));
        View v;
        QVERIFY(v.load(*f.state));
        QVERIFY(v.isShown(QStringLiteral("noAgentsLabel")));
        v.click(QStringLiteral("addAgentButton"));
        QTRY_VERIFY(v.isShown(QStringLiteral("agentNameField")));
        QTRY_VERIFY(v.isShown(QStringLiteral("toolRow_Code Assistant")));
        QVERIFY(v.find(QStringLiteral("registerAgentButton"))->isEnabled());
        v.check(QStringLiteral("add-agent"));
        v.click(QStringLiteral("registerAgentButton"));
        QTRY_VERIFY_WITH_TIMEOUT(v.isShown(QStringLiteral("registerSuccessText")), 30'000);
        v.click(QStringLiteral("addAgentDone"));
        QTRY_VERIFY(!f.state->showAddAgent());
        QTRY_COMPARE(f.state->agents().size(), 1);
    }

    // The header names the companion's own version; installed by the package
    // manager, the banner says so and offers no "Update".
    void packageInstallationGetsNoUpdateButton()
    {
        Fixture f(false);
        LoopbackHttpServer releases;
        QVERIFY(releases.listen());
        releases.setResponse(QStringLiteral("/releases/latest"),
            { "200 OK", "{\"version\":\"999.0.0\",\"url\":\"https://releases.quorvane.com/Q.tar.gz\"}" });
        qputenv("QUORVANE_API_BASE_URL", releases.origin().toUtf8());
        UpdateCheckService updates(&f.network);
        updates.setInstallPrefix(f.dir.path());
        f.state->setUpdates(&updates);
        View v;
        QVERIFY(v.load(*f.state));
        QCOMPARE(v.text(QStringLiteral("appVersion")), QStringLiteral("v") + updates.ownVersion());
        updates.start(QStringLiteral("1.0.0"), {});
        QTRY_VERIFY(v.isShown(QStringLiteral("updateButton")));
        updates.setInstallPrefix(QStringLiteral("/usr"));
        QTRY_VERIFY(!v.isShown(QStringLiteral("updateButton")));
        QVERIFY(v.isShown(QStringLiteral("dashboardUpdateBanner")));
        QVERIFY(v.text(QStringLiteral("updateBannerText")).contains(QLatin1String("package manager")));
        f.state->setUpdates(nullptr);
    }

    // The runtime the wizard left out is offered later, with the reason it
    // failed; a build that pins no digest says why instead of offering it.
    void runtimeLeftOutIsOfferedLater()
    {
        Fixture f(false);
        f.dependencies.setMachineArchitecture(QStringLiteral("x86_64"));
        f.dependencies.setInstallPrefix(f.dir.filePath(QStringLiteral("prefix")));
        f.dependencies.setOllamaArchiveURL(
            QUrl(QStringLiteral("http://127.0.0.1:%1/ollama.tgz").arg(StandInRuntime::freePort())));
        f.dependencies.setOllamaArchiveSHA256(QString(64, u'a'));
        View v;
        QVERIFY(v.load(*f.state));
        QTRY_VERIFY(v.isShown(QStringLiteral("installRuntimeButton")));
        QVERIFY(!v.isShown(QStringLiteral("modelNotInstalled")));
        ModelRuntimeState& runtime = f.state->modelRuntime();
        QCoro::waitFor(runtime.runRuntimeInstall());
        QVERIFY(!runtime.runtimeError().isEmpty());
        QTRY_COMPARE(v.text(QStringLiteral("modelText"), "subtitle"), runtime.runtimeError());
        QVERIFY(v.isShown(QStringLiteral("installRuntimeButton")));

        f.dependencies.setOllamaArchiveSHA256(QString());
        HomeState other(f.cli, f.dependencies, f.auth, f.network, f.settings);
        View plain;
        QVERIFY(plain.load(other));
        QTRY_VERIFY(plain.isShown(QStringLiteral("modelNotInstalled")));
        QVERIFY(!plain.isShown(QStringLiteral("installRuntimeButton")));
        QVERIFY(
            plain.text(QStringLiteral("modelText"), "subtitle").contains(QLatin1String("pins no digest")));
    }
};

QTEST_MAIN(TestDashboardView)
#include "tst_DashboardView.moc"
