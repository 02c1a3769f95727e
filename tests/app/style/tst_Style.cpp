#include "app/style/ColorMix.h"
#include "app/style/QuorvaneStyle.h"
#include "tests/support/QmlTestSupport.h"

#include <QImage>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTest>
#include <QtQml/qqmlextensionplugin.h>
#include <memory>

using namespace Qt::StringLiterals;

Q_IMPORT_QML_PLUGIN(Quorvane_StylePlugin)

namespace {

bool near(const QColor& a, const QColor& b, int tolerance)
{
    return qAbs(a.red() - b.red()) <= tolerance && qAbs(a.green() - b.green()) <= tolerance
        && qAbs(a.blue() - b.blue()) <= tolerance;
}

QString describe(const QColor& c)
{
    return u"(%1, %2, %3, %4)"_s.arg(c.red()).arg(c.green()).arg(c.blue()).arg(c.alpha());
}

// One QML snippet shown in a window of its own, warnings collected.
struct Scene
{
    QmlWarningGuard guard;
    QQmlEngine engine;
    QQuickWindow window;
    std::unique_ptr<QObject> root;

    QQuickItem* show(const QByteArray& qml, const QSize& size)
    {
        QmlWarningGuard::prepare(engine);
        QQmlComponent component(&engine);
        component.setData("import QtQuick\nimport Quorvane.Style\n" + qml, QUrl(u"qrc:/test/Scene.qml"_s));
        root.reset(component.create());
        auto* item = qobject_cast<QQuickItem*>(root.get());
        if (!item)
            return nullptr;
        window.resize(size);
        item->setParentItem(window.contentItem());
        window.show();
        return QTest::qWaitForWindowExposed(&window) ? item : nullptr;
    }
    QString warnings() const { return guard.warnings().join(QLatin1Char('\n')); }
};

} // namespace

// The shared colours, the colour mix and the two button styles drawn offscreen.
class TestStyle : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QuorvaneStyle::applyDarkAppearance(); }

    void colorMix_data()
    {
        QTest::addColumn<QColor>("base");
        QTest::addColumn<QColor>("target");
        QTest::addColumn<double>("fraction");
        QTest::addColumn<QColor>("expected");

        const QColor teal(6, 182, 212);
        QTest::newRow("teal 12% toward white") << teal << QColor(Qt::white) << 0.12 << QColor(36, 191, 217);
        QTest::newRow("fraction 1 gives the target") << teal << QColor(Qt::white) << 1.0 << QColor(Qt::white);
        QTest::newRow("translucent base becomes opaque")
            << QColor(6, 182, 212, 40) << QColor(Qt::white) << 0.0 << QColor(6, 182, 212);
        QTest::newRow("HSV base is converted")
            << QColor::fromHsv(0, 255, 255) << QColor(Qt::black) << 0.5 << QColor(128, 0, 0);
        QTest::newRow("CMYK target is converted")
            << QColor(Qt::black) << QColor::fromCmyk(0, 0, 0, 0) << 0.5 << QColor(128, 128, 128);
        QTest::newRow("fraction above 1 is clamped to the channel range")
            << QColor(200, 200, 200) << QColor(Qt::white) << 3.0 << QColor(Qt::white);
    }

    void colorMix()
    {
        QFETCH(QColor, base);
        QFETCH(QColor, target);
        QFETCH(double, fraction);
        QFETCH(QColor, expected);

        const QColor mixed = ::colorMix(base, target, fraction);
        QVERIFY2(near(mixed, expected, 1), qPrintable(describe(mixed) + u" vs "_s + describe(expected)));
        QCOMPARE(mixed.alpha(), 255);
        QCOMPARE(mixed.spec(), QColor::Rgb);
    }

    void invalidColourIsKept()
    {
        QVERIFY(!::colorMix(QColor(), QColor(Qt::white), 0.5).isValid());
        QCOMPARE(::colorMix(QColor(10, 20, 30, 100), QColor(), 0.5), QColor(10, 20, 30));
    }

    // Both styles load without a warning, draw their gradient, dim when
    // disabled and shrink only while pressed and enabled.
    void buttons_data()
    {
        QTest::addColumn<QString>("type");
        QTest::newRow("filled") << u"FilledButton"_s;
        QTest::newRow("outlined") << u"OutlinedButton"_s;
    }

    void buttons()
    {
        QFETCH(QString, type);
        Scene scene;
        QQuickWindow& window = scene.window;
        QQuickItem* root = scene.show("Rectangle { width: 200; height: 80; color: Style.windowBackground\n  "
                + type.toUtf8()
                + " { objectName: \"button\"; x: 20; y: 20; width: 160; height: 40;"
                  " text: \"Start\"; color: Style.teal; cornerRadius: 8 } }\n",
            QSize(200, 80));
        auto* button = root ? root->findChild<QQuickItem*>(u"button"_s) : nullptr;
        QVERIFY(button);
        const QImage idle = window.grabWindow();
        const QColor top = idle.pixelColor(100, 23);
        const QColor bottom = idle.pixelColor(100, 56);
        if (type == QLatin1String("FilledButton")) {
            // The gradient runs from the colour mixed toward white down to it mixed toward black
            // (through the QML singleton's mix).
            QVERIFY2(near(top, QColor(36, 191, 217), 12), qPrintable(describe(top)));
            QVERIFY2(near(bottom, QColor(6, 167, 195), 12), qPrintable(describe(bottom)));
            // The coloured shadow just below the button, with every renderer.
            const QColor shadow = idle.pixelColor(100, 61);
            QVERIFY2(
                shadow.blue() > QuorvaneStyle::windowBackground().blue() + 10, qPrintable(describe(shadow)));
        } else {
            // A faint teal tint over the dark window, brighter at the top.
            QVERIFY2(top.blue() > QuorvaneStyle::windowBackground().blue() && top.red() < top.blue(),
                qPrintable(describe(top)));
            QVERIFY(top.blue() >= bottom.blue());
        }

        // Pressing shrinks the button, releasing restores it.
        const QPoint centre = button->mapToScene(QPointF(80, 20)).toPoint();
        QTest::mousePress(&window, Qt::LeftButton, {}, centre);
        QTRY_VERIFY(qAbs(button->scale() - 0.97) < 0.003);
        const QColor pressedTop = window.grabWindow().pixelColor(100, 30);
        if (type == QLatin1String("FilledButton"))
            QVERIFY2(pressedTop.lightness() < top.lightness(), qPrintable(describe(pressedTop)));
        QTest::mouseRelease(&window, Qt::LeftButton, {}, centre);
        QTRY_COMPARE(button->scale(), 1.0); // the spring settles exactly at rest

        // Disabled: half opacity, gradient kept.
        button->setProperty("enabled", false);
        QCOMPARE(button->opacity(), 0.5);
        const QColor dimTop = window.grabWindow().pixelColor(100, 23);
        QVERIFY2(dimTop != QuorvaneStyle::windowBackground(), qPrintable(describe(dimTop)));
        QVERIFY2(scene.warnings().isEmpty(), qPrintable(scene.warnings()));
    }

    // The switch reads at a glance: the accent track when on, a muted one
    // when off; every control is at least a minimum target high and drawn
    // faded when disabled; the drop-down's rows are in the label colour.
    void controls()
    {
        Scene scene;
        scene.window.setColor(QuorvaneStyle::windowBackground());
        QQuickItem* root = scene.show("Column { spacing: 4\n"
                                      "  ToggleSwitch { objectName: \"on\"; checked: true }\n"
                                      "  ToggleSwitch { objectName: \"off\"; text: \"Summaries\" }\n"
                                      "  TickBox { objectName: \"tick\"; text: \"Folder\" }\n"
                                      "  RadioChoice { objectName: \"radio\"; text: \"All projects\" }\n"
                                      "  TextEntry { objectName: \"entry\"; width: 200 }\n"
                                      "  DropDown { objectName: \"drop\"; width: 200; model: [\"One\", \"Two\"] }\n"
                                      "  StepperArrow { objectName: \"arrow\"; glyph: \"\u203a\" } }\n",
            QSize(300, 400));
        QVERIFY(root);
        const auto item = [root](const char* name) { return QmlItems::find(root, QLatin1String(name)); };
        for (const char* name : { "on", "off", "tick", "radio", "entry", "drop", "arrow" })
            QVERIFY2(item(name)->height() >= QuorvaneStyle::minimumTarget(), name);

        const auto trackColour = [&](QQuickItem* control) {
            auto* track = qvariant_cast<QQuickItem*>(control->property("indicator"));
            // Between the knob's two places.
            const QPoint inside = track->mapToScene(QPointF(track->width() / 2, track->height() / 2)).toPoint();
            return scene.window.grabWindow().pixelColor(inside);
        };
        QVERIFY2(near(trackColour(item("on")), QuorvaneStyle::teal(), 8), qPrintable(describe(trackColour(item("on")))));
        const QColor off = trackColour(item("off"));
        QVERIFY2(off.saturation() < 40 && off.lightness() < 110, qPrintable(describe(off)));
        QTest::mouseClick(&scene.window, Qt::LeftButton, {},
            item("off")->mapToScene(QPointF(item("off")->width() - 10, item("off")->height() / 2)).toPoint());
        QTRY_VERIFY(item("off")->property("checked").toBool());
        item("off")->setEnabled(false);
        QCOMPARE(item("off")->opacity(), QuorvaneStyle::disabledOpacity());

        item("drop")->forceActiveFocus();
        QMetaObject::invokeMethod(qvariant_cast<QObject*>(item("drop")->property("popup")), "open");
        QTRY_VERIFY(QmlItems::find(scene.window.contentItem(), u"dropRow1"_s));
        QQuickItem* row = QmlItems::find(scene.window.contentItem(), u"dropRow1"_s);
        auto* label = qvariant_cast<QQuickItem*>(row->property("contentItem"));
        QCOMPARE(label->property("color").value<QColor>().rgba(), QuorvaneStyle::label().rgba());
        QVERIFY2(scene.warnings().isEmpty(), qPrintable(scene.warnings()));
    }

    // Segments share 160 points equally; one whose label needs more grows by
    // just that (the panel's tabs show that such a label then fits, its scope
    // picker that a click reports the segment).
    void segmentedControl()
    {
        Scene scene;
        QQuickItem* control
            = scene.show("SegmentedControl { model: [\"Actions\", \"Pause\"] }\n", QSize(400, 40));
        QVERIFY(control);
        QCOMPARE(control->implicitWidth(), 160.0);
        control->setProperty("model", QStringList { u"Actions (1000)"_s, u"Pause"_s });
        control->setSize(QSizeF(control->implicitWidth(), control->implicitHeight()));
        QVERIFY(control->implicitWidth() > 160.0);
        QTRY_COMPARE(QmlItems::find(control, u"segment1"_s)->width(), 78.0); // "Pause" keeps its share
        QVERIFY2(scene.warnings().isEmpty(), qPrintable(scene.warnings()));
    }
};

QTEST_MAIN(TestStyle)
#include "tst_Style.moc"
