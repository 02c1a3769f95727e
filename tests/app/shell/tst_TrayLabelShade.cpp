#include "app/shell/TrayLabelShade.h"
#include "app/style/QuorvaneStyle.h"

#include <QGuiApplication>
#include <QTest>

// The tray icon's label follows the desktop's panel from the first frame,
// whatever palette our own windows give the application meanwhile.
class TestTrayLabelShade : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void followsTheDesktopNotOurWindows_data()
    {
        QTest::addColumn<QColor>("desktopWindow");
        QTest::addColumn<int>("scheme");
        QTest::addColumn<QColor>("label");
        const QColor onLight(0x1c, 0x1c, 0x1e);
        const QColor onDark(0xf2, 0xf2, 0xf7);
        using Scheme = ColorSchemePreference::Scheme;
        QTest::newRow("light desktop") << QColor(Qt::white) << int(Scheme::noPreference) << onLight;
        QTest::newRow("dark desktop") << QColor(0x20, 0x20, 0x20) << int(Scheme::noPreference) << onDark;
        QTest::newRow("light desktop, dark preference")
            << QColor(Qt::white) << int(Scheme::preferDark) << onDark;
        QTest::newRow("dark desktop, light preference")
            << QColor(0x20, 0x20, 0x20) << int(Scheme::preferLight) << onLight;
    }

    void followsTheDesktopNotOurWindows()
    {
        QFETCH(QColor, desktopWindow);
        QFETCH(int, scheme);
        QFETCH(QColor, label);
        QPalette desktop = QGuiApplication::palette();
        desktop.setColor(QPalette::Window, desktopWindow);
        QGuiApplication::setPalette(desktop);

        const TrayLabelShade shade;
        // The wizard opens: our windows bring their dark look.
        QuorvaneStyle::applyDarkAppearance();
        QCOMPARE(shade.colour(ColorSchemePreference::Scheme(scheme)), label);
    }
};

QTEST_MAIN(TestTrayLabelShade)
#include "tst_TrayLabelShade.moc"
