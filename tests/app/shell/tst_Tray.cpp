#include "app/shell/PopoverPlacement.h"
#include "app/shell/PopoverWindow.h"
#include "app/shell/StatusItemIcon.h"
#include "app/shell/StatusItemNotifierItem.h"
#include "app/shell/TrayIconRenderer.h"
#include "app/shell/TrayLabelShade.h"
#include "tests/support/StandInStatusNotifierWatcher.h"
#include "tests/support/TestFiles.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QGuiApplication>
#include <QQuickItem>
#include <QQuickView>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using PopoverPlacement::Screen;

Q_DECLARE_METATYPE(QList<PopoverPlacement::Screen>)

namespace {

struct Coverage
{
    int opaque = 0; // pixels with any ink
    int alphaSum = 0; // total alpha of the symbol's ink
    int red = 0; // badge pixels
    int dark = 0; // solid pixels, by lightness
    int light = 0;
};

Coverage measure(const QImage& image)
{
    Coverage coverage;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.alpha() == 0)
                continue;
            ++coverage.opaque;
            coverage.alphaSum += c.alpha();
            if (c.red() > 180 && c.green() < 110 && c.blue() < 110)
                ++coverage.red;
            if (c.alpha() >= 128)
                ++(c.lightness() < 60 ? coverage.dark : coverage.light);
        }
    }
    return coverage;
}

// 1920x1080 with a 32-pixel top panel; a second 1280x1024 screen to the right
// with a 40-pixel bottom panel.
const Screen primary { QRect(0, 0, 1920, 1080), QRect(0, 32, 1920, 1048) };
const Screen secondary { QRect(1920, 0, 1280, 1024), QRect(1920, 0, 1280, 984) };
const QSize popover(360, 500);
} // namespace

// The tray's parts: its icon in every state, drawn in the panel's shade, where
// the popover opens beside it, and the popover's window.
class TestTray : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QUrl m_root;

private Q_SLOTS:
    void table_data()
    {
        QTest::addColumn<bool>("muted");
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("symbol");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("toolTip");
        QTest::newRow("idle") << false << 0 << u"shield-outline"_s << QString() << u"Quorvane"_s;
        QTest::newRow("one pending") << false << 1 << u"shield-filled"_s << u" 1"_s
                                     << u"Quorvane — 1 pending"_s;
        QTest::newRow("many pending")
            << false << 12 << u"shield-filled"_s << u" 12"_s << u"Quorvane — 12 pending"_s;
        QTest::newRow("muted idle") << true << 0 << u"shield-muted"_s << QString()
                                    << u"Quorvane (muted)"_s;
        QTest::newRow("muted pending")
            << true << 3 << u"shield-muted"_s << u" 3"_s << u"Quorvane (muted) — 3 pending"_s;
        QTest::newRow("negative count is none")
            << false << -4 << u"shield-outline"_s << QString() << u"Quorvane"_s;
    }

    void table()
    {
        QFETCH(bool, muted);
        QFETCH(int, count);
        QFETCH(QString, symbol);
        QFETCH(QString, title);
        QFETCH(QString, toolTip);
        const StatusItemIcon icon = StatusItemIcon::forState(muted, count);
        QCOMPARE(icon.symbol, symbol);
        QCOMPARE(icon.accessibility, muted ? u"Quorvane (muted)"_s : u"Quorvane"_s);
        QCOMPARE(icon.greyed, muted);
        QCOMPARE(icon.title, title);
        QCOMPARE(icon.toolTip(), toolTip);
        QVERIFY2(QFile::exists(icon.resourcePath()), qPrintable(icon.resourcePath()));
    }

    void rendering()
    {
        const QColor label(0xf2, 0xf2, 0xf7);
        const Coverage outline
            = measure(TrayIconRenderer::render(StatusItemIcon::forState(false, 0), 64, label));
        const Coverage filledNoBadge = measure(TrayIconRenderer::render(
            StatusItemIcon { u"shield-filled"_s, {}, false, {}, 0, {} }, 64, label));
        const Coverage filled
            = measure(TrayIconRenderer::render(StatusItemIcon::forState(false, 3), 64, label));
        const Coverage muted
            = measure(TrayIconRenderer::render(StatusItemIcon::forState(true, 0), 64, label));

        QVERIFY2(outline.opaque > 200, "the outline shield was not drawn");
        QVERIFY(filledNoBadge.opaque > outline.opaque * 3 / 2); // the filled shield covers more
        QCOMPARE(outline.red, 0);
        QVERIFY2(filled.red > 50, "no badge drawn for a pending count");
        // Greyed: the muted shield is fainter per pixel than the normal one.
        QVERIFY(muted.opaque > 0);
        QVERIFY(muted.alphaSum / muted.opaque < outline.alphaSum / outline.opaque);
        QCOMPARE(muted.red, 0);
        // A size of 0 gives an empty image rather than a crash.
        QVERIFY(TrayIconRenderer::render(StatusItemIcon::forState(false, 1), 0, label).size().isEmpty());
        QVERIFY(!TrayIconRenderer::icon(StatusItemIcon::forState(false, 1), label).isNull());
        // The badge's text stops at two digits.
        QCOMPARE(TrayIconRenderer::badgeText(0), QString());
        QCOMPARE(TrayIconRenderer::badgeText(99), u"99"_s);
        QCOMPARE(TrayIconRenderer::badgeText(100), u"99+"_s);
    }

    void labelFollowsTheDesktopNotOurWindows_data()
    {
        QTest::addColumn<QColor>("desktopWindow");
        QTest::addColumn<int>("scheme");
        QTest::addColumn<bool>("darkLabel");
        using Scheme = ColorSchemePreference::Scheme;
        const QColor light(Qt::white);
        const QColor dark(0x20, 0x20, 0x20);
        QTest::newRow("light desktop") << light << int(Scheme::noPreference) << true;
        QTest::newRow("dark desktop") << dark << int(Scheme::noPreference) << false;
        QTest::newRow("light desktop, dark preference") << light << int(Scheme::preferDark) << false;
        QTest::newRow("dark desktop, light preference") << dark << int(Scheme::preferLight) << true;
    }

    void labelFollowsTheDesktopNotOurWindows()
    {
        QFETCH(QColor, desktopWindow);
        QFETCH(int, scheme);
        QFETCH(bool, darkLabel);
        QPalette desktop = QGuiApplication::palette();
        desktop.setColor(QPalette::Window, desktopWindow);
        QGuiApplication::setPalette(desktop);
        const TrayLabelShade shade;
        // Our windows set their own look afterwards (the wizard's is dark): the label keeps the desktop's.
        QPalette ours = desktop;
        ours.setColor(QPalette::Window, QColor(0x10, 0x10, 0x10));
        QGuiApplication::setPalette(ours);
        const QColor label = shade.colour(ColorSchemePreference::Scheme(scheme));
        QCOMPARE(label.lightness() < 60, darkLabel);
        QCOMPARE(label.lightness() > 200, !darkLabel);

        // The symbol is drawn in that colour.
        const Coverage ink = measure(TrayIconRenderer::render(StatusItemIcon::forState(false, 0), 32, label));
        QVERIFY((darkLabel ? ink.dark : ink.light) > 20);
        QCOMPARE(darkLabel ? ink.light : ink.dark, 0);
    }

    // Where the popover opens, and (where given) the tallest it may be there.
    void place_data()
    {
        QTest::addColumn<QRect>("tray");
        QTest::addColumn<QPoint>("cursor");
        QTest::addColumn<QList<Screen>>("screens");
        QTest::addColumn<QRect>("expected");
        QTest::addColumn<int>("tallest"); // -1: not checked

        const QList<Screen> both { primary, secondary };
        QTest::newRow("tray in top panel: below the icon, centred, down to the bottom less the margin")
            << QRect(1000, 4, 24, 24) << QPoint(5, 5) << both << QRect(831, 32, 360, 500) << 1048 - 8;
        QTest::newRow("tray in the very corner of a top panel: still below the icon")
            << QRect(1257, 1, 22, 26) << QPoint(5, 5)
            << QList<Screen> { { QRect(0, 0, 1280, 800), QRect(0, 0, 1280, 800) } }
            << QRect(920, 31, 360, 500) << -1;
        QTest::newRow("tray in bottom panel of second screen: above the icon, from the top")
            << QRect(3000, 990, 24, 24) << QPoint(5, 5) << both << QRect(2831, 484, 360, 500) << 984 - 8;
        QTest::newRow("tray in a left panel: to the right of the icon, the full height less two margins")
            << QRect(2, 500, 24, 24) << QPoint(5, 5)
            << QList<Screen> { { QRect(0, 0, 1920, 1080), QRect(30, 0, 1890, 1080) } }
            << QRect(30, 261, 360, 500) << 1080 - 16;
        QTest::newRow("invalid tray, pointer at the top: top edge of its screen")
            << QRect() << QPoint(1700, 10) << both << QRect(1520, 36, 360, 500) << -1;
        QTest::newRow("tray geometry off every screen counts as invalid")
            << QRect(-500, -500, 24, 24) << QPoint(960, 1075) << both << QRect(780, 576, 360, 500) << -1;
        QTest::newRow("pointer off every screen: first screen's middle, nearest edge")
            << QRect() << QPoint(-100, -100) << both << QRect(779, 36, 360, 500) << -1;
        QTest::newRow("popover taller than the screen is shrunk to the available area")
            << QRect(100, 4, 24, 24) << QPoint(0, 0)
            << QList<Screen> { { QRect(0, 0, 800, 400), QRect(0, 30, 800, 370) } } << QRect(0, 30, 360, 370)
            << -1;
        QTest::newRow("no screens") << QRect(1, 1, 5, 5) << QPoint() << QList<Screen> {}
                                    << QRect(0, 0, 360, 500) << 0;
    }

    void place()
    {
        QFETCH(QRect, tray);
        QFETCH(QPoint, cursor);
        QFETCH(QList<Screen>, screens);
        QFETCH(QRect, expected);
        QFETCH(int, tallest);
        const QRect placed = PopoverPlacement::place(popover, tray, cursor, screens);
        QCOMPARE(placed, expected);
        // Whatever the input, the popover stays inside an available area.
        bool inside = screens.isEmpty();
        for (const Screen& screen : screens)
            inside = inside || screen.available.contains(placed);
        QVERIFY2(inside, "outside every available area");
        if (tallest < 0)
            return;
        QCOMPARE(PopoverPlacement::maximumHeight(tray, cursor, screens), tallest);
        // A popover of that height is placed whole, and never over the icon.
        const QRect whole = PopoverPlacement::place(QSize(360, tallest), tray, cursor, screens);
        QVERIFY(screens.isEmpty() || (whole.height() == tallest && !whole.intersects(tray)));
    }

    void centred()
    {
        const QRect tall
            = PopoverPlacement::centred(QSize(360, 3000), QPoint(2500, 500), { primary, secondary });
        QCOMPARE(tall.height(), secondary.available.height() - 16);
        QVERIFY(secondary.available.contains(tall));
        QCOMPARE(tall.center().x(), secondary.available.center().x());
        QCOMPARE(PopoverPlacement::centred(popover, QPoint(), {}), QRect(QPoint(0, 0), popover));
    }

    void initTestCase()
    {
        const QString path = m_dir.filePath(u"Root.qml"_s);
        QVERIFY(TestFiles::write(path,
            "import QtQuick\nRectangle { objectName: \"root\"; required property string greeting;"
            " implicitHeight: 420; color: \"black\" }\n"));
        m_root = QUrl::fromLocalFile(path);
    }

    void lazyCreationAndDestructionOnHide()
    {
        PopoverWindow popover(m_root, { { u"greeting"_s, u"hello"_s } });
        popover.setTrayAvailable([] { return true; });
        QSignalSpy shown(&popover, &PopoverHost::shownChanged);
        // Nothing of Qt Quick exists before the first show.
        QVERIFY(popover.window() == nullptr);

        popover.show(QRect(10, 0, 20, 20));
        QVERIFY(popover.isShown());
        QPointer<QQuickView> view = qobject_cast<QQuickView*>(popover.window());
        QVERIFY(view);
        QCOMPARE(view->size(), QSize(PopoverWindow::width, 420));
        QCOMPARE(view->rootObject()->property("greeting").toString(), u"hello"_s);
        popover.show(QRect()); // already shown: nothing new
        QCOMPARE(shown.size(), 1);

        popover.close();
        QVERIFY(!popover.isShown() && popover.window() == nullptr);
        QTRY_VERIFY(view.isNull()); // the window itself is gone, not just hidden
        QCOMPARE(shown.size(), 2);

        // Shown again: a fresh window with the same initial properties.
        popover.show(QRect());
        QCOMPARE(qobject_cast<QQuickView*>(popover.window())->rootObject()->property("greeting").toString(),
            u"hello"_s);
    }

    void frameOnlyWithoutATray_data()
    {
        QTest::addColumn<bool>("tray");
        QTest::newRow("tray") << true;
        QTest::newRow("no tray at all") << false;
    }

    void frameOnlyWithoutATray()
    {
        QFETCH(bool, tray);
        PopoverWindow popover(m_root, { { u"greeting"_s, QString() } });
        popover.setTrayAvailable([tray] { return tray; });
        popover.show(QRect(200, 0, 24, 24));
        QWindow* view = popover.window();
        QVERIFY(view);
        QCOMPARE(bool(view->flags() & Qt::FramelessWindowHint), tray);
        popover.close();
    }

    void focusLossCloses()
    {
        PopoverWindow popover(m_root, { { u"greeting"_s, QString() } });
        popover.setTrayAvailable([] { return true; });
        popover.show(QRect());
        QWindow* view = popover.window();
        QVERIFY(view);
        QTRY_VERIFY(view->isActive());

        QWindow other;
        other.resize(50, 50);
        other.show();
        other.requestActivate();
        QTRY_VERIFY(!popover.isShown());
        QVERIFY(popover.closedByFocusLossRecently());
        QTRY_VERIFY_WITH_TIMEOUT(!popover.closedByFocusLossRecently(), 2000); // only just after

        // An ordinary window (no tray) stays when the focus goes elsewhere.
        PopoverWindow window(m_root, { { u"greeting"_s, QString() } });
        window.setTrayAvailable([] { return false; });
        window.show(QRect());
        QTRY_VERIFY(window.window()->isActive());
        other.requestActivate();
        QTRY_VERIFY(other.isActive());
        QVERIFY(window.isShown());
        window.close();
    }

    // Our StatusNotifierItem as a bar's host sees it over the session bus:
    // registered with the watcher, drawn light for a dark bar, asking for
    // attention with the count in its tooltip, the menu over dbusmenu, the
    // click point kept for the popover, and registered again when the bar's
    // watcher comes back.
    void statusNotifierItemOnTheBus()
    {
        StandInStatusNotifierWatcher watcher;
        QVERIFY(watcher.start());
        StatusItemNotifierItem item(QDBusConnection::sessionBus());
        const QString service = item.item().serviceName();
        QTRY_COMPARE(watcher.registered, QStringList { service });
        QTRY_VERIFY(item.isInTray());

        item.setColorScheme(ColorSchemePreference::Scheme::noPreference);
        item.setIcon(StatusItemIcon::forState(false, 3));
        QCOMPARE(watcher.itemProperty(service, u"Status"_s).toString(), u"NeedsAttention"_s);
        const auto toolTip = qdbus_cast<StatusNotifierTypes::ToolTip>(watcher.itemProperty(service, u"ToolTip"_s));
        QCOMPARE(toolTip.title, u"Quorvane — 3 pending"_s);
        const auto pixmaps
            = qdbus_cast<StatusNotifierTypes::PixmapList>(watcher.itemProperty(service, u"IconPixmap"_s));
        QCOMPARE(pixmaps.size(), qsizetype(TrayIconRenderer::sizes.size()));
        const auto icon22 = std::find_if(pixmaps.begin(), pixmaps.end(), [](const auto& p) { return p.width == 22; });
        QVERIFY(icon22 != pixmaps.end());
        QCOMPARE(icon22->argb.size(), 22 * 22 * 4);
        // Network byte order: alpha, red, green, blue. Most of the symbol's
        // ink is light on the dark bar; the rest is the red badge.
        int light = 0, dark = 0;
        for (qsizetype i = 0; i + 3 < icon22->argb.size(); i += 4) {
            const auto byte = [&](int k) { return uchar(icon22->argb.at(i + k)); };
            if (byte(0) < 200)
                continue;
            (std::min({ byte(1), byte(2), byte(3) }) > 200 ? light : dark) += 1;
        }
        QVERIFY2(light > 20 && light > dark / 2, qPrintable(u"light %1, dark %2"_s.arg(light).arg(dark)));
        item.setIcon(StatusItemIcon::forState(true, 3));
        QCOMPARE(watcher.itemProperty(service, u"Status"_s).toString(), u"Active"_s);

        // The host's menu: GetLayout lists the entries, a click on one reaches us.
        QSignalSpy triggered(&item, &StatusItem::menuTriggered);
        item.setMenu({ { u"Pause Notifications"_s, StatusItem::MenuAction::toggleMute },
            { u"Quit Quorvane"_s, StatusItem::MenuAction::quit } });
        const QString menu = u"com.canonical.dbusmenu"_s;
        const QDBusMessage layout = watcher.callItem(
            service, u"/MenuBar"_s, menu, u"GetLayout"_s, { 0, -1, QStringList() });
        QVERIFY2(layout.type() == QDBusMessage::ReplyMessage, qPrintable(layout.errorMessage()));
        const auto root = qdbus_cast<StatusNotifierTypes::MenuItem>(layout.arguments().at(1));
        QCOMPARE(root.children.size(), 2);
        QCOMPARE(root.children.at(1).properties.value(u"label"_s).toString(), u"Quit Quorvane"_s);
        watcher.callItem(service, u"/MenuBar"_s, menu, u"Event"_s,
            { root.children.at(1).id, u"clicked"_s, QVariant::fromValue(QDBusVariant(0)), 0u });
        QTRY_COMPARE(triggered.size(), 1);
        QCOMPARE(triggered.first().first().value<StatusItem::MenuAction>(), StatusItem::MenuAction::quit);
        // An id the menu never had is ignored.
        watcher.callItem(service, u"/MenuBar"_s, menu, u"Event"_s,
            { 99, u"clicked"_s, QVariant::fromValue(QDBusVariant(0)), 0u });

        // Activate at the icon's point: a click, and the point is where the popover goes.
        QSignalSpy clicked(&item, &StatusItem::clicked);
        QVERIFY(!item.geometry().isValid());
        watcher.callItem(service, u"/StatusNotifierItem"_s, u"org.kde.StatusNotifierItem"_s, u"Activate"_s, { 1210, 14 });
        QTRY_COMPARE(clicked.size(), 1);
        QVERIFY(item.geometry().contains(QPoint(1210, 14)));
        QCOMPARE(item.geometry().size(), QSize(24, 24));
        QVERIFY(item.geometry().bottom() >= 24); // below a bar of the usual height
        QCOMPARE(triggered.size(), 1);

        // The bar restarts: the item registers again with the new watcher.
        watcher.stop();
        QTRY_VERIFY(!item.isInTray());
        watcher.registered.clear();
        QVERIFY(watcher.start());
        QTRY_COMPARE(watcher.registered, QStringList { service });
        QTRY_VERIFY(item.isInTray());
    }

    void brokenRootDoesNotCrash()
    {
        PopoverWindow popover(QUrl::fromLocalFile(m_dir.filePath(u"Missing.qml"_s)), {});
        popover.setTrayAvailable([] { return true; });
        popover.show(QRect());
        QVERIFY(!popover.errorString().isEmpty());
        QVERIFY(popover.isShown());
        popover.close();
        QVERIFY(!popover.isShown());

        // Without the views library the tray keeps working: nothing is shown.
        PopoverWindow withoutViews(m_root, { { u"greeting"_s, QString() } });
        withoutViews.setViews([] { return nullptr; });
        QSignalSpy shown(&withoutViews, &PopoverHost::shownChanged);
        withoutViews.show(QRect());
        QVERIFY(!withoutViews.isShown() && withoutViews.window() == nullptr);
        QCOMPARE(shown.size(), 0);
    }
};

QTEST_MAIN(TestTray)
#include "tst_Tray.moc"
