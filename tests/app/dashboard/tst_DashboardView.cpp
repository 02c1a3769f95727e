#include "app/style/QuorvaneStyle.h"
#include "platform/XdgAutostartLoginItem.h"
#include "platform/XdgDesktopRegistration.h"
#include "tests/app/dashboard/HomeStateFixture.h"
#include "tests/support/QmlTestSupport.h"
#include "tests/support/RecordingNotifier.h"

#include <QImage>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>

// The dashboard window's views offscreen at the window's real size, over the
// real model (stand-in tool, reference back-end), driven through their
// controls, with screenshots (QUORVANE_SCREENSHOT_DIR, else <build>/screenshots).
class TestDashboardView : public HomeStateTestCase
{
    Q_OBJECT

    static constexpr int windowWidth = 540;
    static constexpr int windowHeight = 680;

    struct View
    {
        Fixture& f;
        QmlWarningGuard guard;
        QQmlEngine engine;
        QQuickWindow window;
        std::unique_ptr<QObject> root;

        explicit View(Fixture& fixture) : f(fixture)
        {
            QmlWarningGuard::prepare(engine);
            window.setColor(QuorvaneStyle::windowBackground());
            window.resize(windowWidth, windowHeight);
        }

        bool load()
        {
            QQmlComponent component(&engine, QUrl(QStringLiteral("qrc:/qt/qml/Quorvane/Dashboard/DashboardView.qml")));
            root.reset(component.createWithInitialProperties({{QStringLiteral("home"), QVariant::fromValue(f.state.get())}}));
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
        QList<QQuickItem*> visible(const QString& name) const { return QmlItems::visible(window.contentItem(), name); }
        bool isShown(const QString& name) const { return !visible(name).isEmpty(); }
        // The text of the shown item of that name, else of any.
        QString text(const QString& name) const
        {
            QQuickItem* item = visible(name).value(0, find(name));
            return item ? item->property("text").toString() : QStringLiteral("<missing %1>").arg(name);
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

        // Every shown button lies inside the window and has a name for assistive tools.
        void checkControls() const
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

        void screenshot(const QString& name)
        {
            QString dir = qEnvironmentVariable("QUORVANE_SCREENSHOT_DIR");
            if (dir.isEmpty())
                dir = qEnvironmentVariable("QUORVANE_BUILD_DIR") + QStringLiteral("/screenshots");
            QDir().mkpath(dir);
            QVERIFY(window.grabWindow().save(dir + QStringLiteral("/dashboard-") + name + QStringLiteral(".png")));
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
        QVERIFY(f.writeScenario(QJsonObject{
            {QStringLiteral("version"), QJsonObject{{QStringLiteral("text"), QStringLiteral("2.4.1\n")}}},
            {QStringLiteral("analyze-history"), QJsonObject{{QStringLiteral("suggestionCount"), 1}}},
            {QStringLiteral("unregister"), QJsonObject{{QStringLiteral("stepDelayMs"), 1500}}}}));
        f.state->refresh();
        View v(f);
        QVERIFY(v.load());
        QTRY_COMPARE(v.text(QStringLiteral("cliVersion")), QStringLiteral("CLI v2.4.1"));
        QTRY_VERIFY(v.isShown(QStringLiteral("modelInstalled")));
        QCOMPARE(v.visible(QStringLiteral("removeButton")).size(), 3);
        QVERIFY(!v.isShown(QStringLiteral("dashboardUpdateBanner")));

        // The analysis: "Re-scan", then the singular count.
        v.click(QStringLiteral("rescanButton"));
        QTRY_COMPARE(v.find(QStringLiteral("analysisText"))->property("subtitle").toString(),
                     QStringLiteral("1 suggestion found"));
        QTRY_VERIFY(v.isShown(QStringLiteral("rescanButton")));
        QVERIFY(v.find(QStringLiteral("mcpSummarySwitch"))->isEnabled());

        // Removing the middle agent: its question, then its row waits while
        // the others keep "Remove".
        QList<QQuickItem*> removes = v.visible(QStringLiteral("removeButton"));
        v.click(removes.at(1));
        QTRY_VERIFY(v.isShown(QStringLiteral("confirmationTitle")));
        QCOMPARE(v.text(QStringLiteral("confirmationTitle")), QStringLiteral("Remove Agent?"));
        QVERIFY(v.text(QStringLiteral("confirmationMessage")).contains(QStringLiteral("\"rigel\"")));
        v.click(QStringLiteral("confirmation_Remove"));
        QTRY_COMPARE(f.state->removingAgentName(), QStringLiteral("rigel"));
        QTRY_COMPARE(v.visible(QStringLiteral("awaitingApproval")).size(), 1);
        QCOMPARE(v.visible(QStringLiteral("removeButton")).size(), 2);
        v.checkControls();
        v.screenshot(QStringLiteral("agents"));
        QTRY_VERIFY_WITH_TIMEOUT(!f.state->removingAgentName(), 20'000);
        QTRY_COMPARE(v.visible(QStringLiteral("removeButton")).size(), 2);
        v.screenshot(QStringLiteral("features"));
        QVERIFY2(v.guard.warnings().isEmpty(), qPrintable(v.guard.warnings().join(u'\n')));
    }

    void approverOnlyAndUninstall()
    {
        Fixture f;
        QVERIFY(f.home.write(QStringLiteral(".quorvane/machine/approver-only"), QByteArray()));
        f.state->refresh();
        XdgAutostartLoginItem loginItem(f.home.filePath(QStringLiteral(".config/autostart")),
                                        QStringLiteral("/opt/q/bin/quorvane-app"));
        XdgDesktopRegistration registration(f.home.filePath(QStringLiteral(".local/share")),
                                            f.home.filePath(QStringLiteral(".config")));
        RecordingNotifier notifier;
        int terminated = 0;
        HomeState::Platform platform{&loginItem, &registration, &notifier, nullptr, [&] { ++terminated; }};
        platform.cliBinaryPath = f.home.filePath(QStringLiteral("bin/quorvane"));
        f.state->setPlatform(platform);
        View v(f);
        QVERIFY(v.load());
        QVERIFY(!v.isShown(QStringLiteral("agentsCard")));
        QVERIFY(!v.isShown(QStringLiteral("featuresCard")));
        QVERIFY(v.isShown(QStringLiteral("systemCard")));
        v.checkControls();
        v.screenshot(QStringLiteral("approver-only"));

        v.click(QStringLiteral("uninstallButton"));
        QTRY_VERIFY(v.isShown(QStringLiteral("confirmationTitle")));
        QCOMPARE(v.text(QStringLiteral("confirmationTitle")), QStringLiteral("Uninstall Quorvane?"));
        v.click(QStringLiteral("confirmation_Uninstall"));
        QTRY_VERIFY_WITH_TIMEOUT(v.isShown(QStringLiteral("uninstalledTitle")), 30'000);
        QVERIFY(!v.isShown(QStringLiteral("systemCard")));
        QCOMPARE(v.find(QStringLiteral("uninstallReport"))->property("count").toInt(),
                 f.state->uninstallReport().size());
        v.checkControls();
        v.screenshot(QStringLiteral("uninstall-report"));
        v.click(QStringLiteral("quitButton"));
        QCOMPARE(terminated, 1);
        QVERIFY2(v.guard.warnings().isEmpty(), qPrintable(v.guard.warnings().join(u'\n')));
    }

    void addAgentSheet()
    {
        Fixture f;
        QVERIFY(f.writeScenario(QJsonObject{{QStringLiteral("init"), QJsonObject{{QStringLiteral("omitAgentId"), true}}}}));
        View v(f);
        QVERIFY(v.load());
        QVERIFY(v.isShown(QStringLiteral("noAgentsLabel")));
        v.click(QStringLiteral("addAgentButton"));
        QTRY_VERIFY(v.isShown(QStringLiteral("agentNameField")));
        QTRY_VERIFY(v.isShown(QStringLiteral("toolRow_Code Assistant")));
        QVERIFY(v.find(QStringLiteral("registerAgentButton"))->isEnabled());
        v.checkControls();
        v.screenshot(QStringLiteral("add-agent"));
        v.click(QStringLiteral("registerAgentButton"));
        QTRY_VERIFY_WITH_TIMEOUT(v.isShown(QStringLiteral("registerSuccessText")), 30'000);
        v.click(QStringLiteral("addAgentDone"));
        QTRY_VERIFY(!f.state->showAddAgent());
        QTRY_COMPARE(f.state->agents().size(), 1);
        QVERIFY2(v.guard.warnings().isEmpty(), qPrintable(v.guard.warnings().join(u'\n')));
    }
};

QTEST_MAIN(TestDashboardView)
#include "tst_DashboardView.moc"
