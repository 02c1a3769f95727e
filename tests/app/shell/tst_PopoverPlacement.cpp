#include "app/shell/PopoverPlacement.h"

#include <QTest>

using PopoverPlacement::Screen;

Q_DECLARE_METATYPE(QList<PopoverPlacement::Screen>)

class TestPopoverPlacement : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void place_data();
    void place();
    void maximumHeight_data();
    void maximumHeight();
    void centred();
};

namespace {
// 1920x1080 with a 32-pixel top panel; a second 1280x1024 screen to the right
// with a 40-pixel bottom panel.
const Screen primary { QRect(0, 0, 1920, 1080), QRect(0, 32, 1920, 1048) };
const Screen secondary { QRect(1920, 0, 1280, 1024), QRect(1920, 0, 1280, 984) };
const QSize popover(360, 500);
} // namespace

void TestPopoverPlacement::place_data()
{
    QTest::addColumn<QRect>("tray");
    QTest::addColumn<QPoint>("cursor");
    QTest::addColumn<QList<Screen>>("screens");
    QTest::addColumn<QRect>("expected");

    const QList<Screen> both { primary, secondary };
    QTest::newRow("tray in top panel: below the icon, centred")
        << QRect(1000, 4, 24, 24) << QPoint(5, 5) << both << QRect(831, 32, 360, 500);
    QTest::newRow("tray in the very corner of a top panel: still below the icon")
        << QRect(1257, 1, 22, 26) << QPoint(5, 5)
        << QList<Screen> { { QRect(0, 0, 1280, 800), QRect(0, 0, 1280, 800) } } << QRect(920, 31, 360, 500);
    QTest::newRow("tray in bottom panel of second screen: above the icon")
        << QRect(3000, 990, 24, 24) << QPoint(5, 5) << both << QRect(2831, 484, 360, 500);
    QTest::newRow("tray in a left panel: to the right of the icon")
        << QRect(2, 500, 24, 24) << QPoint(5, 5)
        << QList<Screen> { { QRect(0, 0, 1920, 1080), QRect(30, 0, 1890, 1080) } }
        << QRect(30, 261, 360, 500);
    QTest::newRow("invalid tray, pointer at the top: top edge of its screen")
        << QRect() << QPoint(1700, 10) << both << QRect(1520, 36, 360, 500);
    QTest::newRow("tray geometry off every screen counts as invalid")
        << QRect(-500, -500, 24, 24) << QPoint(960, 1075) << both << QRect(780, 576, 360, 500);
    QTest::newRow("pointer off every screen: first screen's middle, nearest edge")
        << QRect() << QPoint(-100, -100) << both << QRect(779, 36, 360, 500);
    QTest::newRow("popover taller than the screen is shrunk to the available area")
        << QRect(100, 4, 24, 24) << QPoint(0, 0)
        << QList<Screen> { { QRect(0, 0, 800, 400), QRect(0, 30, 800, 370) } } << QRect(0, 30, 360, 370);
    QTest::newRow("no screens") << QRect(1, 1, 5, 5) << QPoint() << QList<Screen> {} << QRect(0, 0, 360, 500);
}

void TestPopoverPlacement::place()
{
    QFETCH(QRect, tray);
    QFETCH(QPoint, cursor);
    QFETCH(QList<Screen>, screens);
    QFETCH(QRect, expected);
    const QRect placed = PopoverPlacement::place(popover, tray, cursor, screens);
    QCOMPARE(placed, expected);
    // Whatever the input, the popover stays inside an available area.
    bool inside = screens.isEmpty();
    for (const Screen& screen : screens)
        inside = inside || screen.available.contains(placed);
    QVERIFY2(inside, "outside every available area");
}

void TestPopoverPlacement::maximumHeight_data()
{
    QTest::addColumn<QRect>("tray");
    QTest::addColumn<QPoint>("cursor");
    QTest::addColumn<QList<Screen>>("screens");
    QTest::addColumn<int>("expected");

    const QList<Screen> both { primary, secondary };
    QTest::newRow("top panel: from below the panel to the bottom, less the margin")
        << QRect(1000, 4, 24, 24) << QPoint(5, 5) << both << 1048 - 8;
    QTest::newRow("bottom panel: from the top to above the icon")
        << QRect(3000, 990, 24, 24) << QPoint(5, 5) << both << 984 - 8;
    QTest::newRow("left panel: the full available height, less a margin at each end")
        << QRect(2, 500, 24, 24) << QPoint(5, 5)
        << QList<Screen> { { QRect(0, 0, 1920, 1080), QRect(30, 0, 1890, 1080) } } << 1080 - 16;
    QTest::newRow("no screens") << QRect(1, 1, 5, 5) << QPoint() << QList<Screen> {} << 0;
}

void TestPopoverPlacement::maximumHeight()
{
    QFETCH(QRect, tray);
    QFETCH(QPoint, cursor);
    QFETCH(QList<Screen>, screens);
    QFETCH(int, expected);
    const int tallest = PopoverPlacement::maximumHeight(tray, cursor, screens);
    QCOMPARE(tallest, expected);
    if (screens.isEmpty())
        return;
    // A popover of that height is placed whole, and never over the icon.
    const QRect placed = PopoverPlacement::place(QSize(360, tallest), tray, cursor, screens);
    QCOMPARE(placed.height(), tallest);
    QVERIFY(!placed.intersects(tray));
}

void TestPopoverPlacement::centred()
{
    const QList<Screen> both { primary, secondary };
    const QRect middle = PopoverPlacement::centred(popover, QPoint(5, 5), both);
    QCOMPARE(middle.size(), popover);
    QVERIFY(qAbs(middle.center().x() - primary.available.center().x()) <= 1);
    QVERIFY(qAbs(middle.center().y() - primary.available.center().y()) <= 1);

    // On the screen under the pointer; taller than it: shrunk to fit with margins.
    const QRect tall = PopoverPlacement::centred(QSize(360, 3000), QPoint(2500, 500), both);
    QCOMPARE(tall.height(), secondary.available.height() - 16);
    QVERIFY(secondary.available.contains(tall));
    QCOMPARE(PopoverPlacement::centred(popover, QPoint(), {}), QRect(QPoint(0, 0), popover));
}

QTEST_APPLESS_MAIN(TestPopoverPlacement)
#include "tst_PopoverPlacement.moc"
