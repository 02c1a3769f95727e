#include "app/shell/PopoverWindow.h"
#include "tests/app/panel/PanelFixture.h"
#include "tests/app/panel/PanelView.h"

#include <QAccessible>
#include <QGuiApplication>
#include <QQuickView>
#include <QScreen>
#include <QSet>
#include <QSignalSpy>

namespace {

// The tray icon in the middle of a top panel.
const QRect trayAtTop(400, 0, 24, 24);

QRect screenArea()
{
    return QGuiApplication::primaryScreen()->availableGeometry();
}

// The panel in the popover as the program hosts it, with a tray to open at.
struct PanelPopover : PopoverWindow
{
    explicit PanelPopover(PanelFixture& f)
        : PopoverWindow(ApprovalsPanel::viewUrl(), { { u"panel"_qs, QVariant::fromValue(f.panel.get()) } })
    {
        setTrayAvailable([] { return true; });
        QObject::connect(this, &PopoverHost::shownChanged, f.panel.get(), &ApprovalsPanel::setShown);
    }
    ~PanelPopover() override
    {
        // The window goes before the panel it shows.
        close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    QWindow* open()
    {
        show(trayAtTop);
        return window();
    }

    // The item lies wholly inside the window (at its real size) and inside
    // the screen's available area.
    bool reachable(const QString& name)
    {
        auto* view = qobject_cast<QQuickView*>(window());
        const QList<QQuickItem*> found
            = view && view->rootObject() ? QmlItems::visible(view->rootObject(), name) : QList<QQuickItem*>();
        if (found.isEmpty() || found.first()->width() <= 0 || found.first()->height() <= 0)
            return false;
        const QRectF scene = found.first()->mapRectToScene(found.first()->boundingRect());
        const QRect rect(view->mapToGlobal(scene.topLeft().toPoint()), scene.size().toSize());
        return view->geometry().contains(rect) && screenArea().contains(rect);
    }
};

} // namespace

// The popover: its QML used from the keyboard alone (no pointer event is
// sent) and read by a screen reader, and the real popover window, which
// follows the panel's content and never leaves the screen, with the decision
// buttons reachable; against the reference back-end.
class TestPopover : public QObject
{
    Q_OBJECT

    struct Fixture : PanelFixture
    {
        PanelView view { *panel };

        bool open(int actions)
        {
            QList<PendingAction> pending;
            for (int index = 1; index <= actions; ++index) {
                pending << action(u"key-%1"_qs.arg(index));
                pending.last().toolInput.insert(u"detail_segments"_qs,
                    PanelTestActions::segmentsJson({ { u"cd ~/projects/site"_qs, u"read"_qs },
                        { u"rm -rf build"_qs, u"destructive"_qs }, { u"git push"_qs, u"network"_qs } }));
            }
            if (!addAll(pending) || !view.ok())
                return false;
            panel->setShown(true);
            view.window.requestActivate();
            view.item->forceActiveFocus();
            return QTest::qWaitForWindowActive(&view.window)
                && QTest::qWaitFor([this] { return view.window.activeFocusItem() != nullptr; }, 5000);
        }
        void press(Qt::Key key) { QTest::keyClick(&view.window, key); }
        QString idAt(int row) const { return panel->actions()->idAt(row); }
    };

    // The interactive controls among the visible items under `root`.
    static QList<QQuickItem*> controls(QQuickItem* root)
    {
        static const QSet<QAccessible::Role> interactive { QAccessible::Button, QAccessible::CheckBox,
            QAccessible::RadioButton, QAccessible::PageTab, QAccessible::ComboBox, QAccessible::SpinBox,
            QAccessible::Slider, QAccessible::EditableText, QAccessible::ButtonMenu, QAccessible::Link };
        QList<QQuickItem*> found;
        QList<QQuickItem*> pending { root };
        while (!pending.isEmpty()) {
            QQuickItem* item = pending.takeFirst();
            if (!item->isVisible())
                continue;
            pending.append(item->childItems());
            QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(item);
            if (accessible && interactive.contains(accessible->role()))
                found << item;
        }
        return found;
    }

    static QString describe(QQuickItem* item)
    {
        return u"%1 (%2)"_qs.arg(item->objectName(), QString::fromLatin1(item->metaObject()->className()));
    }

    // Every interactive control has a name and a role a screen reader can say.
    static void checkNames(QQuickItem* root, const QString& where)
    {
        const QList<QQuickItem*> found = controls(root);
        QVERIFY2(!found.isEmpty(), qPrintable(where));
        for (QQuickItem* item : found) {
            QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(item);
            QVERIFY2(!accessible->text(QAccessible::Name).trimmed().isEmpty(),
                qPrintable(where + u": no accessible name: "_qs + describe(item)));
        }
    }

private Q_SLOTS:
    void initTestCase()
    {
        PanelView::prepareApplication();
        QAccessible::setActive(true);
    }

    void decidesFromTheKeyboardAlone()
    {
        Fixture f;
        QVERIFY(f.open(3));
        const QString first = f.idAt(0);
        const QString second = f.idAt(1);
        const QString third = f.idAt(2);
        QCOMPARE(f.panel->highlightedActionId(), first);

        f.press(Qt::Key_Down);
        QCOMPARE(f.panel->highlightedActionId(), second);
        QTRY_COMPARE(f.view.find(u"pendingList"_qs)->property("currentIndex").toInt(), 1);
        // Below the last row the place stays.
        f.press(Qt::Key_Down);
        f.press(Qt::Key_Down);
        QCOMPARE(f.panel->highlightedActionId(), third);

        // Enter opens the details, Escape goes back.
        f.press(Qt::Key_Return);
        QCOMPARE(f.panel->selectedActionId(), third);
        QTRY_VERIFY(f.view.find(u"actionDetailView"_qs));
        f.press(Qt::Key_Escape);
        QCOMPARE(f.panel->content(), u"list"_qs);

        // D denies the third at once, in the same "responding" state as a
        // click; the place moves to the action that took its row.
        f.press(Qt::Key_D);
        QVERIFY(f.panel->isResponding(third));
        QTRY_COMPARE(f.sync->pendingActions().size(), 2);
        QCOMPARE(f.decisionBodies(third), QStringList { u"{\"decision\":\"denied\"}"_qs });
        QCOMPARE(f.panel->highlightedActionId(), second);

        f.press(Qt::Key_Up);
        f.press(Qt::Key_A);
        QVERIFY(f.panel->isResponding(first));
        QTRY_COMPARE(f.sync->pendingActions().size(), 1);
        QCOMPARE(f.decisionBodies(first), QStringList { u"{\"decision\":\"approved\"}"_qs });
        // Ctrl+D is not a denial.
        QTest::keyClick(&f.view.window, Qt::Key_D, Qt::ControlModifier);
        QCOMPARE(f.sync->pendingActions().size(), 1);

        // A from the details approves that action.
        f.press(Qt::Key_Return);
        QTRY_VERIFY(f.view.find(u"detail_approveButton"_qs));
        f.press(Qt::Key_A);
        QTRY_COMPARE(f.sync->pendingActions().size(), 0);
        QCOMPARE(f.decisionBodies(second), QStringList { u"{\"decision\":\"approved\"}"_qs });

        // Escape takes back the freeze's question, then asks the popover to close.
        QSignalSpy close(f.panel.get(), &ApprovalsPanel::closeRequested);
        f.panel->freeze()->requestConfirmation();
        f.press(Qt::Key_Escape);
        QVERIFY(!f.panel->freeze()->isConfirming());
        QCOMPARE(close.size(), 0);
        f.press(Qt::Key_Escape);
        QCOMPARE(close.size(), 1);
        VERIFY_NO_WARNINGS(f.view);
    }

    void everyControlHasAnAccessibleNameAndTheFocus()
    {
        Fixture f;
        QVERIFY(f.open(2));
        QTRY_COMPARE(f.view.all(u"pendingRow"_qs).size(), 2);
        checkNames(f.view.item, u"list"_qs);

        // Tab reaches every control of the list, each with a visible focus ring.
        const QList<QQuickItem*> wanted = controls(f.view.item);
        QSet<QQuickItem*> reached;
        for (int step = 0; step < 3 * wanted.size(); ++step) {
            f.press(Qt::Key_Tab);
            QQuickItem* focused = f.view.window.activeFocusItem();
            QVERIFY(focused);
            reached.insert(focused);
            if (wanted.contains(focused))
                QVERIFY2(PanelView::inside(focused, u"focusRing"_qs),
                    qPrintable(u"no visible focus ring: "_qs + describe(focused)));
        }
        for (QQuickItem* control : wanted)
            QVERIFY2(reached.contains(control), qPrintable(u"not reached by Tab: "_qs + describe(control)));

        // The decision buttons say what they decide (the panel's clock stands
        // still: the action has its whole five minutes).
        QCOMPARE(
            QAccessible::queryAccessibleInterface(f.view.find(u"approveButton"_qs))->text(QAccessible::Name),
            u"Approve: rm -rf build, high risk, 5 minutes left"_qs);

        f.panel->showDetail(f.idAt(0));
        QTRY_VERIFY(f.view.find(u"detail_approveButton"_qs));
        checkNames(f.view.item, u"detail"_qs);
        // The riskiest piece of the command is marked, and each scope says
        // what a rule would cover before the rule is turned on.
        QCOMPARE(f.view.all(u"highestRiskMark"_qs).size(), 1);
        QCOMPARE(
            f.view.text(u"highestRiskText"_qs), u"Asked because this part is destructive: rm -rf build"_qs);
        QCOMPARE(f.view.all(u"scopeCoverage"_qs).size(), 3);
        QCOMPARE(f.view.text(u"scopeCoverage"_qs), u"This Agent: every Bash action from claude-work"_qs);
        f.view.screenshot(u"detail-risk-mark"_qs);

        f.panel->back();
        f.panel->freeze()->requestConfirmation();
        QTRY_VERIFY(f.view.find(u"freezeConfirmButton"_qs));
        checkNames(f.view.item, u"freeze confirmation"_qs);
        f.view.screenshot(u"freeze-confirmation"_qs);
        f.panel->freeze()->cancel();

        // The pause tab, with a trust window's banner.
        QCoro::waitFor(f.trust->activate());
        f.panel->setSelectedTab(u"pause"_qs);
        QTRY_VERIFY(f.view.find(u"pauseTab"_qs) && f.view.find(u"trustWindowBanner"_qs));
        checkNames(f.view.item, u"pause"_qs);

        // The freeze's report, read out as well.
        f.panel->setSelectedTab(u"actions"_qs);
        QCoro::waitFor(f.panel->freeze()->run());
        QTRY_VERIFY(f.view.find(u"freezeReportText"_qs));
        QCOMPARE(f.view.text(u"freezeReportText"_qs), u"Denied 2 actions, ended the trust window"_qs);
        checkNames(f.view.item, u"freeze report"_qs);
        f.view.screenshot(u"freeze-report"_qs);
        VERIFY_NO_WARNINGS(f.view);
    }

    // The window follows the panel's content and keeps the footer and the
    // decision buttons on the screen.
    void windowFollowsTheContent()
    {
        PanelFixture f;
        PanelPopover popover(f);
        QWindow* window = popover.open();
        QVERIFY(window);
        const int emptyHeight = window->height();
        QVERIFY(popover.reachable(u"emptyText"_qs));

        f.panel->setSelectedTab(u"pause"_qs);
        QTRY_VERIFY(window->height() > emptyHeight);
        QTRY_VERIFY(popover.reachable(u"modePicker"_qs));
        QVERIFY(popover.reachable(u"openDashboardButton"_qs));
        f.panel->setSelectedTab(u"actions"_qs);
        QTRY_COMPARE(window->height(), emptyHeight);

        // A trust window's banner makes the window taller until it ends.
        QCoro::waitFor(f.trust->activate());
        QTRY_VERIFY(window->height() > emptyHeight);
        QTRY_VERIFY(popover.reachable(u"trustWindowBanner"_qs));
        QVERIFY(popover.reachable(u"openDashboardButton"_qs));
        QCoro::waitFor(f.trust->deactivate());
        QTRY_COMPARE(window->height(), emptyHeight);

        // "More details": the page is taller than the row, and the window
        // follows so that Approve and Deny are inside it; the rule section
        // makes it taller again.
        QVERIFY(f.addIds({ u"one"_qs }));
        QTRY_VERIFY(window->height() > emptyHeight);
        const int listHeight = window->height();
        f.panel->showDetail(u"one"_qs);
        QTRY_VERIFY(window->height() > listHeight);
        QTRY_VERIFY(popover.reachable(u"detail_approveButton"_qs));
        const int detailHeight = window->height();
        f.panel->detail()->rule()->turn(true);
        QTRY_VERIFY(window->height() > detailHeight);
        QTRY_VERIFY(popover.reachable(u"detail_approveButton"_qs));
        QVERIFY(popover.reachable(u"detail_denyButton"_qs));
        popover.close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

        // Opened again on a command far taller than the screen (the page
        // outlives the window): the window stops at the screen's room below
        // the icon, the page scrolls, and the buttons stay in view.
        PendingAction tall = f.action(u"long"_qs);
        QStringList parts;
        for (int i = 0; i < 60; ++i)
            parts << u"rm -rf /tmp/build-%1"_qs.arg(i);
        tall.toolInput = { { u"command"_qs, parts.join(u" && "_qs) } };
        QVERIFY(f.addAll({ tall }));
        f.panel->showDetail(u"long"_qs);
        window = popover.open();
        QVERIFY(window);
        QTRY_VERIFY(window->geometry().bottom() >= screenArea().bottom() - 16);
        QVERIFY(screenArea().contains(window->geometry()));
        QTRY_VERIFY(popover.reachable(u"detail_approveButton"_qs));
        QVERIFY(popover.reachable(u"detail_denyButton"_qs));
    }
};

QTEST_MAIN(TestPopover)
#include "tst_Popover.moc"
