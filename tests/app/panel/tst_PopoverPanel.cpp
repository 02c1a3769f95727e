#include "app/shell/PopoverWindow.h"
#include "tests/app/panel/PanelFixture.h"
#include "tests/support/QmlTestSupport.h"

#include <QGuiApplication>
#include <QQuickItem>
#include <QQuickView>
#include <QScreen>

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

// The real popover window hosting the real approvals panel against the
// reference back-end: the window follows the panel's content and never leaves
// the screen, and the decision buttons stay reachable.
class TestPopoverPanel : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void detailPageKeepsItsButtonsOnScreen()
    {
        PanelFixture f;
        QVERIFY2(f.ready(), qPrintable(f.backend.lastError()));
        PanelPopover popover(f);

        // "More details": the page is taller than the row, and the window
        // follows so that Approve and Deny are inside it; the rule section
        // makes it taller again.
        QVERIFY(f.add(f.action(u"one"_qs)));
        QVERIFY(f.fetch(1));
        QWindow* window = popover.open();
        QVERIFY(window);
        const int listHeight = window->height();
        f.panel->showDetail(u"one"_qs);
        QTRY_VERIFY(window->height() > listHeight);
        QTRY_VERIFY(popover.reachable(u"detail_approveButton"_qs));
        const int detailHeight = window->height();
        f.panel->detail()->setCreateRule(true);
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
        QVERIFY(f.add(tall));
        QVERIFY(f.fetch(2));
        f.panel->showDetail(u"long"_qs);
        window = popover.open();
        QVERIFY(window);
        QTRY_VERIFY(window->geometry().bottom() >= screenArea().bottom() - 16);
        QVERIFY(screenArea().contains(window->geometry()));
        QTRY_VERIFY(popover.reachable(u"detail_approveButton"_qs));
        QVERIFY(popover.reachable(u"detail_denyButton"_qs));
    }

    void pauseTabAndTrustBannerResizeTheWindow()
    {
        PanelFixture f;
        QVERIFY2(f.ready(), qPrintable(f.backend.lastError()));
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
    }
};

QTEST_MAIN(TestPopoverPanel)
#include "tst_PopoverPanel.moc"
