#include "app/views/ViewsLibrary.h"
#include "tests/app/shell/ProgramWindows.h"
#include "tests/app/shell/ScreenContrast.h"
#include "tests/app/wizard/WizardWindowFixture.h"

using Screen = WizardState::WizardScreen;
using ProgramWindows::shown;

namespace {

// Every failure of the window in the dark and then in the light palette,
// switched while it is shown as the desktop's preference switches it; the
// frames go to $QUORVANE_SCREENSHOT_DIR/<name>-dark.png and -light.png.
QStringList unreadable(QWindow* window, const QString& name)
{
    auto* quick = qobject_cast<QQuickWindow*>(window);
    if (!quick)
        return { name + u": no window"_s };
    QStringList failures;
    int darkLightness = 0;
    for (const bool dark : { true, false }) {
        ViewsLibrary::setDarkAppearance(dark);
        QTest::qWait(250); // the switches' colour animation
        ScreenContrast contrast(*quick);
        // The shown window has redrawn in the other palette.
        const int lightness = contrast.frame()
                                  .scaled(1, 1, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                                  .pixelColor(0, 0)
                                  .lightness();
        if (dark)
            darkLightness = lightness;
        else if (lightness < darkLightness + 60)
            failures << name
                    + u": not redrawn light (lightness %1, dark %2)"_s.arg(lightness).arg(darkLightness);
        const QString shade = dark ? u"dark"_s : u"light"_s;
        if (const QString dir = qEnvironmentVariable("QUORVANE_SCREENSHOT_DIR"); !dir.isEmpty()) {
            QDir().mkpath(dir);
            if (!contrast.frame().save(QDir(dir).filePath(name + u'-' + shade + u".png"_s)))
                failures << name + u": screenshot not written"_s;
        }
        for (const QString& failure : contrast.failures())
            failures << name + u' ' + shade + u": "_s + failure;
    }
    ViewsLibrary::setDarkAppearance(true);
    return failures;
}

} // namespace

// Every screen of the program offscreen, in the dark and the light palette:
// each shown text reads against what is drawn behind it (4.5:1, large text
// 3:1) and each switch, box, ring and field stands out from its surroundings
// (3:1), measured on the rendered frame (ScreenContrast).
class TestScreensContrast : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QuorvaneStyle::applyDarkAppearance();
        qputenv("QUORVANE_CLI", QFile::encodeName(StandInTool::executablePath()));
    }

    // The six screens, and the posture drop-down with its list open.
    void wizard()
    {
        WizardWindowFixture f;
        QStringList failures;
        for (const auto& [screen, name, file] : { std::tuple { Screen::welcome, "welcomeScreen", "welcome" },
                 { Screen::signIn, "signInScreen", "sign-in" },
                 { Screen::install, "installScreen", "install" },
                 { Screen::configure, "configureScreen", "configure" },
                 { Screen::settingUp, "settingUpScreen", "setting-up" },
                 { Screen::done, "doneScreen", "done" } }) {
            QVERIFY2(f.show(screen, QString::fromLatin1(name)), name);
            // Named setup-*: `scripts/screenshot wizard` clears wizard-*.png.
            failures += unreadable(f.view(), u"setup-"_s + QString::fromLatin1(file));
            if (screen != Screen::configure)
                continue;
            QQuickItem* dropDown = f.find(u"postureBox"_s);
            QVERIFY(dropDown);
            QMetaObject::invokeMethod(qvariant_cast<QObject*>(dropDown->property("popup")), "open");
            QTRY_VERIFY(f.find(u"postureBoxRow0"_s));
            failures += unreadable(f.view(), u"setup-posture-list"_s);
            QMetaObject::invokeMethod(qvariant_cast<QObject*>(dropDown->property("popup")), "close");
        }
        QVERIFY2(failures.isEmpty(), qPrintable(failures.join(u'\n')));
    }

    // The popover's list, a detail page, the Pause tab and the freeze question.
    void popover()
    {
        QmlWarningGuard guard;
        auto f = std::make_unique<PanelFixture>();
        std::unique_ptr<PopoverWindow> popover;
        QWindow* window = ProgramWindows::showPopover(*f, popover);
        QVERIFY(window);
        QStringList failures = unreadable(window, u"popover-list"_s);

        f->panel->showDetail(u"first"_s);
        QTRY_VERIFY(shown(window, u"detail_approveButton"_s));
        f->panel->detail()->rule()->turn(true);
        QTRY_VERIFY(shown(window, u"scopePicker"_s));
        failures += unreadable(window, u"popover-detail"_s);
        f->panel->back();

        f->panel->setSelectedTab(u"pause"_s);
        QTRY_VERIFY(shown(window, u"pauseTab"_s));
        failures += unreadable(window, u"popover-pause"_s);
        f->panel->setSelectedTab(u"actions"_s);

        f->panel->freeze()->requestConfirmation();
        QTRY_VERIFY(shown(window, u"freezeConfirmButton"_s));
        failures += unreadable(window, u"popover-freeze-question"_s);
        f->panel->freeze()->cancel();

        popover->close();
        popover.reset();
        f.reset();
        QVERIFY2(failures.isEmpty(), qPrintable(failures.join(u'\n')));
        QVERIFY2(guard.warnings().isEmpty(), qPrintable(guard.warnings().join(u'\n')));
    }

    // The dashboard, its History, the add-agent sheet and a confirmation.
    void dashboard()
    {
        QmlWarningGuard guard;
        ProgramWindows::Dashboard dashboard;
        HomeState& home = dashboard.home;
        QWindow* window = dashboard.show();
        QVERIFY(window);
        QTRY_VERIFY(shown(window, u"historyButton"_s));
        QStringList failures = unreadable(window, u"dashboard"_s);

        QMetaObject::invokeMethod(shown(window, u"uninstallButton"_s), "clicked");
        QTRY_VERIFY(shown(window, u"confirmationTitle"_s));
        failures += unreadable(window, u"dashboard-confirmation"_s);
        QTest::keyClick(window, Qt::Key_Escape);
        QTRY_VERIFY(!shown(window, u"confirmationTitle"_s));

        home.setShowAddAgent(true);
        QTRY_VERIFY(shown(window, u"agentNameField"_s));
        failures += unreadable(window, u"dashboard-add-agent"_s);
        home.setShowAddAgent(false);
        QTRY_VERIFY(!shown(window, u"agentNameField"_s));

        QMetaObject::invokeMethod(shown(window, u"historyButton"_s), "clicked");
        QTRY_VERIFY(shown(window, u"historyView"_s));
        failures += unreadable(window, u"dashboard-history"_s);

        window->close();
        QTRY_VERIFY(!dashboard.windows.dashboardWindow());
        QVERIFY2(failures.isEmpty(), qPrintable(failures.join(u'\n')));
        QVERIFY2(guard.warnings().isEmpty(), qPrintable(guard.warnings().join(u'\n')));
    }
};

QTEST_MAIN(TestScreensContrast)
#include "tst_ScreensContrast.moc"
