#pragma once

#include "app/style/StyleColours.h"

#include <QColor>
#include <QObject>
#include <QPalette>
#include <QtQml/qqmlregistration.h>

// The shared colours, spacing and type sizes of every window, available to QML
// as the `Style` singleton of the Quorvane.Style module and to C++ as static
// functions. The colours are those of the dark or the light palette, the same
// for every window of the process; switching it redraws every window at once.
class QuorvaneStyle : public QObject
{
    Q_OBJECT
    QML_NAMED_ELEMENT(Style)
    QML_SINGLETON

    Q_PROPERTY(bool dark READ isDark NOTIFY paletteChanged)
    Q_PROPERTY(QColor windowBackground READ windowBackground NOTIFY paletteChanged)
    Q_PROPERTY(QColor cardFill READ cardFill NOTIFY paletteChanged)
    Q_PROPERTY(QColor teal READ teal NOTIFY paletteChanged)
    Q_PROPERTY(QColor orange READ orange NOTIFY paletteChanged)
    Q_PROPERTY(QColor amber READ amber NOTIFY paletteChanged)
    Q_PROPERTY(QColor amberTint READ amberTint NOTIFY paletteChanged)
    Q_PROPERTY(QColor red READ red NOTIFY paletteChanged)
    Q_PROPERTY(QColor green READ green NOTIFY paletteChanged)
    Q_PROPERTY(QColor label READ label NOTIFY paletteChanged)
    Q_PROPERTY(QColor secondaryLabel READ secondaryLabel NOTIFY paletteChanged)
    Q_PROPERTY(QColor tertiaryLabel READ tertiaryLabel NOTIFY paletteChanged)
    Q_PROPERTY(QColor separator READ separator NOTIFY paletteChanged)
    Q_PROPERTY(QColor accent READ accent NOTIFY paletteChanged)
    Q_PROPERTY(int spacingTight READ spacingTight CONSTANT)
    Q_PROPERTY(int spacingSmall READ spacingSmall CONSTANT)
    Q_PROPERTY(int spacing READ spacing CONSTANT)
    Q_PROPERTY(int spacingLarge READ spacingLarge CONSTANT)
    Q_PROPERTY(int overlineSize READ overlineSize CONSTANT)
    Q_PROPERTY(int footnoteSize READ footnoteSize CONSTANT)
    Q_PROPERTY(int captionSize READ captionSize CONSTANT)
    Q_PROPERTY(int calloutSize READ calloutSize CONSTANT)
    Q_PROPERTY(int bodySize READ bodySize CONSTANT)
    Q_PROPERTY(int headlineSize READ headlineSize CONSTANT)
    Q_PROPERTY(int pageTitleSize READ pageTitleSize CONSTANT)
    Q_PROPERTY(int titleSize READ titleSize CONSTANT)
    Q_PROPERTY(QString monospaceFamily READ monospaceFamily CONSTANT)
    Q_PROPERTY(QColor fieldFill READ fieldFill NOTIFY paletteChanged)
    Q_PROPERTY(QColor fieldBorder READ fieldBorder NOTIFY paletteChanged)
    Q_PROPERTY(QColor controlTrack READ controlTrack NOTIFY paletteChanged)
    Q_PROPERTY(QColor controlKnob READ controlKnob NOTIFY paletteChanged)
    Q_PROPERTY(QColor controlBorder READ controlBorder NOTIFY paletteChanged)
    Q_PROPERTY(QColor popupFill READ popupFill NOTIFY paletteChanged)
    Q_PROPERTY(QColor neutralFill READ neutralFill NOTIFY paletteChanged)
    Q_PROPERTY(QColor highlightFill READ highlightFill NOTIFY paletteChanged)
    Q_PROPERTY(double disabledOpacity READ disabledOpacity CONSTANT)
    Q_PROPERTY(int minimumTarget READ minimumTarget CONSTANT)
    Q_PROPERTY(int cornerRadius READ cornerRadius CONSTANT)
    Q_PROPERTY(int contentWidth READ contentWidth CONSTANT)

public:
    explicit QuorvaneStyle(QObject* parent = nullptr);
    ~QuorvaneStyle() override;

    static QColor windowBackground() { return colours().windowBackground; }
    static QColor cardFill() { return colours().cardFill; }
    static QColor teal() { return colours().teal; }
    static QColor orange() { return colours().orange; }
    static QColor amber() { return colours().amber; }
    static QColor amberTint() { return colours().amberTint; }
    static QColor red() { return colours().red; }
    static QColor green() { return colours().green; }
    static QColor label() { return colours().label; }
    static QColor secondaryLabel() { return colours().secondaryLabel; }
    static QColor tertiaryLabel() { return colours().tertiaryLabel; }
    static QColor separator() { return colours().separator; }
    static QColor accent() { return colours().accent; }

    // Spacing between and around items, in pixels.
    static int spacingTight() { return 4; }
    static int spacingSmall() { return 8; }
    static int spacing() { return 16; }
    static int spacingLarge() { return 24; }
    // Type sizes, in pixels, smallest first: capitalised headings (the step
    // bar's labels); notes and fine print; secondary lines; the popover's
    // main lines; running text; section titles; a page's title; the wizard's
    // window titles.
    static int overlineSize() { return 9; }
    static int footnoteSize() { return 11; }
    static int captionSize() { return 12; }
    static int calloutSize() { return 13; }
    static int bodySize() { return 14; }
    static int headlineSize() { return 16; }
    static int pageTitleSize() { return 18; }
    static int titleSize() { return 24; }
    static QString monospaceFamily() { return QStringLiteral("monospace"); }
    // Text fields: fill and resting border (an invalid entry borders in red).
    static QColor fieldFill() { return colours().fieldFill; }
    static QColor fieldBorder() { return colours().fieldBorder; }
    // Switches, check boxes and radio buttons: the track or box when off,
    // the switch's knob, and the ring of an empty box; a drop-down's list and
    // its hovered row; a neutral button. A disabled control is drawn at disabledOpacity; no
    // click target is smaller than minimumTarget.
    static QColor controlTrack() { return colours().controlTrack; }
    static QColor controlKnob() { return colours().controlKnob; }
    static QColor controlBorder() { return colours().controlBorder; }
    static QColor popupFill() { return colours().popupFill; }
    // The opaque grey of a button that only takes back ("Cancel"), under white text.
    static QColor neutralFill() { return colours().neutralFill; }
    static QColor highlightFill() { return colours().highlightFill; }
    static double disabledOpacity() { return 0.4; }
    static int minimumTarget() { return 24; }
    // Corners of fields, boxes and small buttons; the widest a column of
    // running text grows in a wide window.
    static int cornerRadius() { return 8; }
    static int contentWidth() { return 460; }

    // colorMix(): the rule the filled button's gradient is built with.
    Q_INVOKABLE QColor mix(const QColor& base, const QColor& target, double fraction) const;
    // The colour at another opacity (0..1), for tints and shadows.
    Q_INVOKABLE QColor withAlpha(const QColor& color, double alpha) const;
    // The label of a filled button: white where it reads on the fill, else a
    // dark ink (the bright fills of the dark palette).
    Q_INVOKABLE QColor textOn(const QColor& fill) const;

    // The palette that Qt Quick Controls draw with, from the current colours.
    static QPalette controlsPalette();
    // The "Basic" controls style (before the first QML engine is created) and
    // the dark palette.
    static void applyDarkAppearance();
    // Dark (the default) or light, for every window of the process from now on.
    static void setDark(bool dark);
    static bool isDark() { return &colours() == &StyleColours::dark(); }

Q_SIGNALS:
    void paletteChanged();

private:
    static const StyleColours& colours();
};
