#include "app/style/QuorvaneStyle.h"
#include "core/UpdateCheckService.h"
#include "tests/app/dashboard/HomeStateFixture.h"
#include "tests/support/LoopbackHttpServer.h"
#include "tests/support/QmlTestSupport.h"
#include "tests/support/StandInRuntime.h"

#include <QSignalSpy>
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
            QQmlComponent component(&engine, QUrl(u"qrc:/qt/qml/Quorvane/Dashboard/DashboardView.qml"_s));
            root.reset(component.createWithInitialProperties({ { u"home"_s, QVariant::fromValue(&home) } }));
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
            return item ? item->property(property).toString() : u"<missing %1>"_s.arg(name);
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
                    qPrintable(button->objectName() + u" lies outside the window"_s));
                QVERIFY2(!button->property("text").toString().isEmpty() || !button->objectName().isEmpty(),
                    qPrintable(button->objectName()));
            }
            QString dir = qEnvironmentVariable("QUORVANE_SCREENSHOT_DIR");
            if (dir.isEmpty())
                dir = qEnvironmentVariable("QUORVANE_BUILD_DIR") + u"/screenshots"_s;
            QDir().mkpath(dir);
            QVERIFY(window.grabWindow().save(dir + u"/dashboard-"_s + screenshot + u".png"_s));
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
        QVERIFY(f.writeAgent(u"vega"_s, u"2025-03-01"_s));
        QVERIFY(f.writeAgent(u"rigel"_s, u"2025-02-01"_s));
        QVERIFY(f.writeAgent(u"deneb"_s, u"2025-01-01"_s));
        QVERIFY(f.installOllama("echo 'NAME ID SIZE'; echo 'gemma4:latest abc 9.6 GB'"));
        QVERIFY(f.writeScenario(QJsonObject { { u"version"_s, QJsonObject { { u"text"_s, u"2.4.1\n"_s } } },
            { u"analyze-history"_s, QJsonObject { { u"suggestionCount"_s, 1 } } },
            { u"unregister"_s, QJsonObject { { u"stepDelayMs"_s, 1500 } } } }));
        f.state->refresh();
        View v;
        QVERIFY(v.load(*f.state));
        QTRY_COMPARE(v.text(u"cliVersion"_s), u"CLI v2.4.1"_s);
        QTRY_VERIFY(v.isShown(u"modelInstalled"_s));
        QCOMPARE(v.visible(u"removeButton"_s).size(), 3);
        QVERIFY(!v.isShown(u"dashboardUpdateBanner"_s));

        // The analysis: "Re-scan", then the singular count.
        v.click(u"rescanButton"_s);
        QTRY_COMPARE(v.text(u"analysisText"_s, "subtitle"), u"1 suggestion found"_s);
        QTRY_VERIFY(v.isShown(u"rescanButton"_s));
        QVERIFY(v.find(u"mcpSummarySwitch"_s)->isEnabled());
        QVERIFY(!v.isShown(u"mcpSummaryUnavailable"_s));

        // Removing the middle agent: its question, then its row waits while
        // the others keep "Remove".
        v.click(v.visible(u"removeButton"_s).at(1));
        QTRY_VERIFY(v.isShown(u"confirmationTitle"_s));
        QCOMPARE(v.text(u"confirmationTitle"_s), u"Remove Agent?"_s);
        QVERIFY(v.text(u"confirmationMessage"_s).contains(u"\"rigel\""_s));
        v.click(u"confirmation_Remove"_s);
        QTRY_COMPARE(f.state->removingAgentName(), u"rigel"_s);
        QTRY_COMPARE(v.visible(u"awaitingApproval"_s).size(), 1);
        QCOMPARE(v.visible(u"removeButton"_s).size(), 2);
        v.check(u"agents"_s);
        QTRY_VERIFY_WITH_TIMEOUT(!f.state->removingAgentName(), 20'000);
        QTRY_COMPARE(v.visible(u"removeButton"_s).size(), 2);
        v.check(u"features"_s);
    }

    void approverOnlyAndUninstall()
    {
        Fixture f(false);
        QVERIFY(f.home.write(u".quorvane/machine/approver-only"_s, QByteArray()));
        f.state->refresh();
        int terminated = 0;
        HomeState::Platform platform;
        platform.cliBinaryPath = f.home.filePath(u"bin/quorvane"_s);
        platform.terminate = [&terminated] { ++terminated; };
        f.state->setPlatform(platform);
        View v;
        QVERIFY(v.load(*f.state));
        QVERIFY(!v.isShown(u"agentsCard"_s));
        QVERIFY(!v.isShown(u"featuresCard"_s));
        QVERIFY(v.isShown(u"systemCard"_s));
        v.check(u"approver-only"_s);
        // "Quit Quorvane" only where no tray menu offers it.
        QVERIFY(!v.isShown(u"quitWithoutTrayButton"_s));
        f.state->quitOffer()->setOffered(true);
        QSignalSpy quit(f.state->quitOffer(), &QuitOffer::quitRequested);
        QTRY_VERIFY(v.isShown(u"quitWithoutTrayButton"_s));
        v.click(u"quitWithoutTrayButton"_s);
        QCOMPARE(quit.count(), 1);

        v.click(u"uninstallButton"_s);
        QTRY_VERIFY(v.isShown(u"confirmationTitle"_s));
        QCOMPARE(v.text(u"confirmationTitle"_s), u"Uninstall Quorvane?"_s);
        v.click(u"confirmation_Uninstall"_s);
        QTRY_VERIFY_WITH_TIMEOUT(v.isShown(u"uninstalledTitle"_s), 30'000);
        QVERIFY(!v.isShown(u"systemCard"_s));
        QCOMPARE(v.find(u"uninstallReport"_s)->property("count").toInt(), f.state->uninstallReport().size());
        v.check(u"uninstall-report"_s);
        v.click(u"quitButton"_s);
        QCOMPARE(terminated, 1);
    }

    void addAgentSheet()
    {
        Fixture f;
        QVERIFY(f.writeScenario(u"init"_s, { { u"omitAgentId"_s, true } }));
        View v;
        QVERIFY(v.load(*f.state));
        QVERIFY(v.isShown(u"noAgentsLabel"_s));
        v.click(u"addAgentButton"_s);
        QTRY_VERIFY(v.isShown(u"agentNameField"_s));
        QTRY_VERIFY(v.isShown(u"toolRow_Code Assistant"_s));
        QVERIFY(v.find(u"registerAgentButton"_s)->isEnabled());
        v.check(u"add-agent"_s);
        v.click(u"registerAgentButton"_s);
        QTRY_VERIFY_WITH_TIMEOUT(v.isShown(u"registerSuccessText"_s), 30'000);
        // The message stays under the title, not in the middle of the window.
        QVERIFY(v.find(u"registerSuccessText"_s)->mapToScene(QPointF()).y() < windowHeight / 4);
        v.check(u"add-agent-done"_s);
        v.click(u"addAgentDone"_s);
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
        releases.setResponse(u"/releases/latest"_s,
            { "200 OK", "{\"version\":\"999.0.0\",\"url\":\"https://releases.quorvane.com/Q.tar.gz\"}" });
        qputenv("QUORVANE_API_BASE_URL", releases.origin().toUtf8());
        UpdateCheckService updates(&f.network);
        updates.setInstallPrefix(f.dir.path());
        f.state->setUpdates(&updates);
        View v;
        QVERIFY(v.load(*f.state));
        QCOMPARE(v.text(u"appVersion"_s), u"v"_s + updates.ownVersion());
        updates.start(u"1.0.0"_s, {});
        QTRY_VERIFY(v.isShown(u"updateButton"_s));
        updates.setInstallPrefix(u"/usr"_s);
        QTRY_VERIFY(!v.isShown(u"updateButton"_s));
        QVERIFY(v.isShown(u"dashboardUpdateBanner"_s));
        QVERIFY(v.text(u"updateBannerText"_s).contains(QLatin1String("package manager")));
        f.state->setUpdates(nullptr);
    }

    // The runtime the wizard left out is offered later, with the reason it
    // failed; a build that pins no digest says why instead of offering it.
    void runtimeLeftOutIsOfferedLater()
    {
        Fixture f(false);
        f.dependencies.setMachineArchitecture(u"x86_64"_s);
        f.dependencies.setInstallPrefix(f.dir.filePath(u"prefix"_s));
        f.dependencies.setOllamaArchiveURL(
            QUrl(u"http://127.0.0.1:%1/ollama.tgz"_s.arg(StandInRuntime::freePort())));
        f.dependencies.setOllamaArchiveSHA256(QString(64, u'a'));
        View v;
        QVERIFY(v.load(*f.state));
        QTRY_VERIFY(v.isShown(u"installRuntimeButton"_s));
        QVERIFY(!v.isShown(u"modelNotInstalled"_s));
        // Without the model the summaries' switch is off limits, and says why beside it.
        QVERIFY(!v.find(u"mcpSummarySwitch"_s)->isEnabled());
        QCOMPARE(v.text(u"mcpSummaryUnavailable"_s), u"Needs the local AI model"_s);
        v.check(u"features-without-model"_s);
        ModelRuntimeState& runtime = f.state->modelRuntime();
        QCoro::waitFor(runtime.runRuntimeInstall());
        QVERIFY(!runtime.runtimeError().isEmpty());
        QTRY_COMPARE(v.text(u"modelText"_s, "subtitle"), runtime.runtimeError());
        QVERIFY(v.isShown(u"installRuntimeButton"_s));

        f.dependencies.setOllamaArchiveSHA256(QString());
        HomeState other(f.cli, f.dependencies, f.auth, f.network, f.settings);
        View plain;
        QVERIFY(plain.load(other));
        QTRY_VERIFY(plain.isShown(u"modelNotInstalled"_s));
        QVERIFY(!plain.isShown(u"installRuntimeButton"_s));
        QVERIFY(plain.text(u"modelText"_s, "subtitle").contains(QLatin1String("pins no digest")));
    }
};

QTEST_MAIN(TestDashboardView)
#include "tst_DashboardView.moc"
