#include "app/shell/StatusItemIcon.h"
#include "app/shell/TrayIconRenderer.h"
#include "app/shell/TrayLabelShade.h"
#include "app/style/QuorvaneStyle.h"

#include <QGuiApplication>
#include <QTest>

class TestStatusItemIcon : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void table_data();
    void table();
    void badgeText_data();
    void badgeText();
    void rendering();
    void labelFollowsTheDesktopNotOurWindows_data();
    void labelFollowsTheDesktopNotOurWindows();
};

void TestStatusItemIcon::table_data()
{
    QTest::addColumn<bool>("muted");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("symbol");
    QTest::addColumn<QString>("accessibility");
    QTest::addColumn<bool>("greyed");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("toolTip");

    QTest::newRow("idle") << false << 0 << "lock.shield"
                          << "Quorvane" << false << ""
                          << "Quorvane";
    QTest::newRow("one pending") << false << 1 << "lock.shield.fill"
                                 << "Quorvane" << false << " 1"
                                 << "Quorvane — 1 pending";
    QTest::newRow("many pending") << false << 12 << "lock.shield.fill"
                                  << "Quorvane" << false << " 12"
                                  << "Quorvane — 12 pending";
    QTest::newRow("muted idle") << true << 0 << "lock.shield.muted"
                                << "Quorvane (muted)" << true << ""
                                << "Quorvane (muted)";
    QTest::newRow("muted pending") << true << 3 << "lock.shield.muted"
                                   << "Quorvane (muted)" << true << " 3"
                                   << "Quorvane (muted) — 3 pending";
    QTest::newRow("negative count is none") << false << -4 << "lock.shield"
                                            << "Quorvane" << false << ""
                                            << "Quorvane";
}

void TestStatusItemIcon::table()
{
    QFETCH(bool, muted);
    QFETCH(int, count);
    QFETCH(QString, symbol);
    QFETCH(QString, accessibility);
    QFETCH(bool, greyed);
    QFETCH(QString, title);
    QFETCH(QString, toolTip);
    const StatusItemIcon icon = StatusItemIcon::forState(muted, count);
    QCOMPARE(icon.symbol, symbol);
    QCOMPARE(icon.accessibility, accessibility);
    QCOMPARE(icon.greyed, greyed);
    QCOMPARE(icon.title, title);
    QCOMPARE(icon.toolTip(), toolTip);
    // Every symbol is one of our shipped icons.
    QVERIFY2(QFile::exists(icon.resourcePath()), qPrintable(icon.resourcePath()));
}

void TestStatusItemIcon::badgeText_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("text");
    QTest::newRow("none") << 0 << "";
    QTest::newRow("two digits") << 99 << "99";
    QTest::newRow("capped") << 100 << "99+";
}

void TestStatusItemIcon::badgeText()
{
    QFETCH(int, count);
    QFETCH(QString, text);
    QCOMPARE(TrayIconRenderer::badgeText(count), text);
}

namespace {

struct Coverage
{
    int opaque = 0; // pixels with any ink
    int alphaSum = 0; // total alpha of the symbol's ink
    int red = 0; // badge pixels
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
        }
    }
    return coverage;
}

} // namespace

void TestStatusItemIcon::rendering()
{
    const QColor label(0xf2, 0xf2, 0xf7);
    const Coverage outline = measure(TrayIconRenderer::render(StatusItemIcon::forState(false, 0), 64, label));
    const Coverage filledNoBadge = measure(TrayIconRenderer::render(
        StatusItemIcon { QStringLiteral("lock.shield.fill"), {}, false, {}, 0, {} }, 64, label));
    const Coverage filled = measure(TrayIconRenderer::render(StatusItemIcon::forState(false, 3), 64, label));
    const Coverage muted = measure(TrayIconRenderer::render(StatusItemIcon::forState(true, 0), 64, label));

    QVERIFY2(outline.opaque > 200, "the outline shield was not drawn");
    QVERIFY(filledNoBadge.opaque > outline.opaque * 3 / 2); // the filled shield covers more
    QCOMPARE(outline.red, 0);
    QVERIFY2(filled.red > 50, "no badge drawn for a pending count");
    // Greyed: the muted shield is fainter per pixel than the normal one.
    QVERIFY(muted.opaque > 0);
    QVERIFY(muted.alphaSum / muted.opaque < outline.alphaSum / outline.opaque);
    QCOMPARE(muted.red, 0);
    // A size of 0 gives an empty image rather than a crash.
    QVERIFY(TrayIconRenderer::render(StatusItemIcon::forState(false, 1), 0, label).isNull()
        || TrayIconRenderer::render(StatusItemIcon::forState(false, 1), 0, label).size().isEmpty());
    QVERIFY(!TrayIconRenderer::icon(StatusItemIcon::forState(false, 1), label).isNull());
}

// The label follows the desktop's panel from the first frame, whatever palette
// our own windows give the application meanwhile.
void TestStatusItemIcon::labelFollowsTheDesktopNotOurWindows_data()
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

void TestStatusItemIcon::labelFollowsTheDesktopNotOurWindows()
{
    QFETCH(QColor, desktopWindow);
    QFETCH(int, scheme);
    QFETCH(bool, darkLabel);
    QPalette desktop = QGuiApplication::palette();
    desktop.setColor(QPalette::Window, desktopWindow);
    QGuiApplication::setPalette(desktop);
    const TrayLabelShade shade;
    QuorvaneStyle::applyDarkAppearance(); // the wizard opens with its dark look
    const QColor label = shade.colour(ColorSchemePreference::Scheme(scheme));
    QCOMPARE(label.lightness() < 60, darkLabel);
    QCOMPARE(label.lightness() > 200, !darkLabel);

    // The symbol is drawn in that colour.
    const QImage image = TrayIconRenderer::render(StatusItemIcon::forState(false, 0), 32, label);
    int inked = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.alpha() < 128)
                continue;
            ++inked;
            QCOMPARE(c.lightness() < 60, darkLabel);
        }
    }
    QVERIFY(inked > 20);
}

QTEST_MAIN(TestStatusItemIcon)
#include "tst_StatusItemIcon.moc"
