#include "app/translations/Translations.h"
#include "tests/app/shell/ProgramWindows.h"
#include "tests/app/wizard/WizardWindowFixture.h"
#include "tests/support/PseudoLocale.h"

using Screen = WizardState::WizardScreen;
using ProgramWindows::shown;

namespace {

// Every deferred delete (a closed window's view and its QML) has run.
void settleDeletes()
{
    QTest::qWait(50);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// Under the pseudo-locale, the texts the window shows that were never
// translated, one a line; the data the fixtures feed comes from outside.
QString untranslated(QWindow* window)
{
    // The pending actions' agent, machine, tool, command and the back-end's
    // classification.
    static const QStringList outside { u"claude-work"_s, u"workstation"_s, u"Bash"_s, u"rm -rf build"_s,
        u"Destructive"_s };
    auto* view = qobject_cast<QQuickWindow*>(window);
    if (!PseudoLocale::isActive() || !view)
        return {};
    return PseudoLocale::untranslatedTexts(view->contentItem(), outside).join(u'\n');
}

void click(QWindow* window, QQuickItem* item)
{
    QTest::mouseClick(
        window, Qt::LeftButton, {}, item->mapToScene(QPointF(item->width() / 2, item->height() / 2)).toPoint());
}

} // namespace

// The program's windows offscreen, one after the other as a person meets
// them, through the views library and the shell's own windows: the wizard's
// screens, the popover's list, detail page and Pause tab, the dashboard and
// its History, each closed as the program closes it. Any QML warning on the
// way, teardown included, fails; under the pseudo-locale (LANGUAGE=en_XA), so
// does any text of ours shown untranslated.
class TestScreensWalk : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QuorvaneStyle::applyDarkAppearance();
        Translations::install(*QCoreApplication::instance());
        qputenv("QUORVANE_CLI", QFile::encodeName(StandInTool::executablePath()));
    }

    void wizardScreensThenClose()
    {
        WizardWindowFixture f; // fails on a warning when it goes
        for (const auto& [screen, name] :
            { std::pair { Screen::welcome, "welcomeScreen" }, { Screen::signIn, "signInScreen" },
                { Screen::install, "installScreen" }, { Screen::configure, "configureScreen" },
                { Screen::settingUp, "settingUpScreen" }, { Screen::done, "doneScreen" } }) {
            QVERIFY2(f.show(screen, QString::fromLatin1(name)), name);
            QVERIFY2(untranslated(f.view()).isEmpty(), qPrintable(untranslated(f.view())));
        }
        f.view()->close();
        QTRY_VERIFY(!f.windows.wizardWindow());
        settleDeletes();
    }

    // At quit the panel and its parts go before the popover's deferred delete
    // has run: the view outlives its model for a moment.
    void popoverListDetailAndPauseThenClose()
    {
        QmlWarningGuard guard;
        auto f = std::make_unique<PanelFixture>();
        std::unique_ptr<PopoverWindow> popover;
        QWindow* window = ProgramWindows::showPopover(*f, popover);
        QVERIFY(window);
        QVERIFY2(untranslated(window).isEmpty(), qPrintable(untranslated(window)));

        f->panel->showDetail(u"first"_s);
        QTRY_VERIFY(shown(window, u"detail_approveButton"_s));
        f->panel->detail()->rule()->turn(true);
        QTRY_VERIFY(shown(window, u"scopePicker"_s));
        QVERIFY2(untranslated(window).isEmpty(), qPrintable(untranslated(window)));
        f->panel->back();
        f->panel->setSelectedTab(u"pause"_s);
        QTRY_VERIFY(shown(window, u"pauseTab"_s));
        QVERIFY2(untranslated(window).isEmpty(), qPrintable(untranslated(window)));
        f->panel->setSelectedTab(u"actions"_s);

        popover->close();
        popover.reset();
        f.reset();
        settleDeletes();
        QVERIFY2(guard.warnings().isEmpty(), qPrintable(guard.warnings().join(u'\n')));
    }

    void dashboardAndHistoryThenClose()
    {
        QmlWarningGuard guard;
        ProgramWindows::Dashboard dashboard;
        ShellWindows& windows = dashboard.windows;
        QWindow* window = dashboard.show();
        QVERIFY(window);

        QTRY_VERIFY(shown(window, u"historyButton"_s));
        QVERIFY2(untranslated(window).isEmpty(), qPrintable(untranslated(window)));
        click(window, shown(window, u"historyButton"_s));
        QTRY_VERIFY(shown(window, u"historyView"_s));
        QTRY_VERIFY(shown(window, u"historyBackButton"_s));
        QVERIFY2(untranslated(window).isEmpty(), qPrintable(untranslated(window)));
        click(window, shown(window, u"historyBackButton"_s));
        QTRY_VERIFY(!shown(window, u"historyView"_s));
        click(window, shown(window, u"historyButton"_s));
        QTRY_VERIFY(shown(window, u"historyView"_s));

        window->close();
        QTRY_VERIFY(!windows.dashboardWindow());
        settleDeletes();
        QVERIFY2(guard.warnings().isEmpty(), qPrintable(guard.warnings().join(u'\n')));
        QTRY_COMPARE(childCount(), 0);
    }
};

QTEST_MAIN(TestScreensWalk)
#include "tst_ScreensWalk.moc"
