#include "tests/app/panel/PanelFixture.h"
#include "app/shell/PopoverWindow.h"
#include "tests/support/QmlTestSupport.h"

#include <QGuiApplication>
#include <QQuickItem>
#include <QQuickView>
#include <QScreen>
#include <QTest>

// The real popover window hosting the real approvals panel against the
// reference back-end: the window follows the panel's content and never leaves
// the screen, and the decision buttons stay reachable.
class TestPopoverPanel : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void windowGrowsWithEachEscalation();
    void detailPageKeepsItsButtonsOnScreen();
    void pauseTabAndTrustBannerResizeTheWindow();
};

namespace {

// The tray icon in the middle of a top panel.
const QRect trayAtTop(400, 0, 24, 24);

QRect screenArea()
{
    return QGuiApplication::primaryScreen()->availableGeometry();
}

QQuickItem* visibleItem(QWindow* window, const QString& name)
{
    auto* view = qobject_cast<QQuickView*>(window);
    if (!view || !view->rootObject())
        return nullptr;
    const QList<QQuickItem*> found = QmlItems::visible(view->rootObject(), name);
    return found.isEmpty() ? nullptr : found.first();
}

// The item's rectangle in screen coordinates.
QRect onScreen(QWindow* window, QQuickItem* item)
{
    const QRectF scene = item->mapRectToScene(item->boundingRect());
    return QRect(window->mapToGlobal(scene.topLeft().toPoint()), scene.size().toSize());
}

// The item lies wholly inside its window (at the window's real size) and
// inside the screen's available area.
bool reachable(QWindow* window, const QString& name)
{
    QQuickItem* item = visibleItem(window, name);
    if (!item || item->width() <= 0 || item->height() <= 0)
        return false;
    const QRect rect = onScreen(window, item);
    return window->geometry().contains(rect) && screenArea().contains(rect);
}

// The panel in the popover as the program hosts it, with a tray to open at.
struct PanelPopover : PopoverWindow
{
    explicit PanelPopover(PanelFixture& f)
        : PopoverWindow(ApprovalsPanel::viewUrl(), {{QStringLiteral("panel"), QVariant::fromValue(f.panel.get())}})
    {
        setTrayAvailable([] { return true; });
        QObject::connect(this, &PopoverHost::shownChanged, f.panel.get(), &ApprovalsPanel::setShown);
    }
};

// Closes it and lets the window go before the panel it shows.
void closeAndDestroy(PopoverWindow& popover)
{
    popover.close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

PendingAction longCommand(PanelFixture& f, const QString& id, int pieces)
{
    PendingAction action = f.action(id);
    QStringList parts;
    for (int i = 0; i < pieces; ++i)
        parts << QStringLiteral("rm -rf /tmp/build-%1").arg(i);
    action.toolInput = {{QStringLiteral("command"), parts.join(QStringLiteral(" && "))}};
    return action;
}

} // namespace

void TestPopoverPanel::windowGrowsWithEachEscalation()
{
    PanelFixture f;
    QVERIFY(f.ready());
    PanelPopover popover(f);

    QVERIFY(f.add(f.action(QStringLiteral("a1"))));
    QVERIFY(f.add(f.action(QStringLiteral("a2"))));
    QVERIFY(f.fetch(2));
    popover.show(trayAtTop);
    QWindow* window = popover.window();
    QVERIFY(window);
    QTRY_COMPARE(QmlItems::visible(qobject_cast<QQuickView*>(window)->rootObject(), QStringLiteral("pendingRow")).size(), 2);
    int height = window->height();
    QVERIFY(reachable(window, QStringLiteral("openDashboardButton")));

    // Escalations arriving one by one while it is open: the window grows each
    // time, stays below the icon, and the footer stays in it.
    for (const QString& id : {QStringLiteral("a3"), QStringLiteral("a4")}) {
        QVERIFY(f.add(f.action(id)));
        QVERIFY(f.fetch(id == QStringLiteral("a3") ? 3 : 4));
        QTRY_VERIFY2(window->height() > height, qPrintable(QStringLiteral("%1 rows: %2").arg(id).arg(window->height())));
        height = window->height();
        QVERIFY(window->geometry().top() > trayAtTop.bottom());
        QVERIFY(screenArea().contains(window->geometry()));
        QVERIFY(reachable(window, QStringLiteral("openDashboardButton")));
    }

    // A row decided and gone: the window shrinks again.
    f.panel->approve(QStringLiteral("a4"));
    QTRY_COMPARE(int(f.sync->pendingActions().size()), 3);
    QTRY_VERIFY(window->height() < height);
    closeAndDestroy(popover);
}

void TestPopoverPanel::detailPageKeepsItsButtonsOnScreen()
{
    PanelFixture f;
    QVERIFY(f.ready());
    PanelPopover popover(f);

    // One row, then "More details": the page is taller than the row, and the
    // window follows so that Approve and Deny are inside it.
    QVERIFY(f.add(f.action(QStringLiteral("one"))));
    QVERIFY(f.fetch(1));
    popover.show(trayAtTop);
    QWindow* window = popover.window();
    QVERIFY(window);
    const int listHeight = window->height();
    f.panel->showDetail(QStringLiteral("one"));
    QTRY_VERIFY(window->height() > listHeight);
    QTRY_VERIFY(reachable(window, QStringLiteral("detail_approveButton")));
    QVERIFY(reachable(window, QStringLiteral("detail_denyButton")));

    // "Bypass escalations" opens the rule section: taller again, buttons still in.
    const int detailHeight = window->height();
    f.panel->detail()->setCreateRule(true);
    QTRY_VERIFY(window->height() > detailHeight);
    QTRY_VERIFY(reachable(window, QStringLiteral("detail_approveButton")));
    QVERIFY(reachable(window, QStringLiteral("detail_denyButton")));
    popover.close();

    // A command far taller than the screen: the window stops at the screen's
    // room below the icon, the page scrolls, and the buttons stay in view.
    QVERIFY(f.add(longCommand(f, QStringLiteral("long"), 60)));
    QVERIFY(f.fetch(2));
    popover.show(trayAtTop);
    window = popover.window();
    QVERIFY(window);
    f.panel->showDetail(QStringLiteral("long"));
    QTRY_VERIFY(window->geometry().bottom() >= screenArea().bottom() - 16);
    QVERIFY(screenArea().contains(window->geometry()));
    QVERIFY(window->geometry().top() > trayAtTop.bottom());
    QTRY_VERIFY(reachable(window, QStringLiteral("detail_approveButton")));
    QVERIFY(reachable(window, QStringLiteral("detail_denyButton")));
    popover.close();

    // The same from a tray at the bottom of the screen: the popover opens
    // above the icon and fits between the icon and the top.
    const QRect trayAtBottom(400, screenArea().bottom() - 23, 24, 24);
    popover.show(trayAtBottom);
    window = popover.window();
    QVERIFY(window);
    QTRY_VERIFY(reachable(window, QStringLiteral("detail_approveButton")));
    QVERIFY(window->geometry().bottom() < trayAtBottom.top());
    QVERIFY(screenArea().contains(window->geometry()));
    closeAndDestroy(popover);
}

void TestPopoverPanel::pauseTabAndTrustBannerResizeTheWindow()
{
    PanelFixture f;
    QVERIFY(f.ready());
    PanelPopover popover(f);

    // Empty list: the small "No pending actions" page.
    popover.show(trayAtTop);
    QWindow* window = popover.window();
    QVERIFY(window);
    const int emptyHeight = window->height();
    QVERIFY(reachable(window, QStringLiteral("emptyText")));

    f.panel->setSelectedTab(QStringLiteral("pause"));
    QTRY_VERIFY(window->height() > emptyHeight);
    QTRY_VERIFY(reachable(window, QStringLiteral("modePicker")));
    QVERIFY(reachable(window, QStringLiteral("openDashboardButton")));

    f.panel->setSelectedTab(QStringLiteral("actions"));
    QTRY_COMPARE(window->height(), emptyHeight);

    // A trust window opened: its banner makes the window taller, and it
    // shrinks again when the window is cancelled.
    QCoro::waitFor(f.trust->activate());
    QVERIFY(f.trust->showsBanner());
    QTRY_VERIFY(window->height() > emptyHeight);
    QTRY_VERIFY(reachable(window, QStringLiteral("trustWindowBanner")));
    QVERIFY(reachable(window, QStringLiteral("openDashboardButton")));
    QCoro::waitFor(f.trust->deactivate());
    QTRY_COMPARE(window->height(), emptyHeight);
    closeAndDestroy(popover);
}

QTEST_MAIN(TestPopoverPanel)
#include "tst_PopoverPanel.moc"
