#pragma once

#include <QColor>
#include <QObject>
#include <QPalette>
#include <QtQml/qqmlregistration.h>

// The shared colours, spacing and type sizes of every window, available to QML
// as the `Style` singleton of the Quorvane.Style module and to C++ as static
// functions.
class QuorvaneStyle : public QObject
{
    Q_OBJECT
    QML_NAMED_ELEMENT(Style)
    QML_SINGLETON

    Q_PROPERTY(QColor windowBackground READ windowBackground CONSTANT)
    Q_PROPERTY(QColor cardFill READ cardFill CONSTANT)
    Q_PROPERTY(QColor teal READ teal CONSTANT)
    Q_PROPERTY(QColor orange READ orange CONSTANT)
    Q_PROPERTY(QColor amber READ amber CONSTANT)
    Q_PROPERTY(QColor amberTint READ amberTint CONSTANT)
    Q_PROPERTY(QColor red READ red CONSTANT)
    Q_PROPERTY(QColor green READ green CONSTANT)
    Q_PROPERTY(QColor label READ label CONSTANT)
    Q_PROPERTY(QColor secondaryLabel READ secondaryLabel CONSTANT)
    Q_PROPERTY(QColor tertiaryLabel READ tertiaryLabel CONSTANT)
    Q_PROPERTY(QColor separator READ separator CONSTANT)
    Q_PROPERTY(QColor accent READ accent CONSTANT)
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
    Q_PROPERTY(QColor fieldFill READ fieldFill CONSTANT)
    Q_PROPERTY(QColor fieldBorder READ fieldBorder CONSTANT)
    Q_PROPERTY(QColor controlTrack READ controlTrack CONSTANT)
    Q_PROPERTY(QColor controlKnob READ controlKnob CONSTANT)
    Q_PROPERTY(QColor controlBorder READ controlBorder CONSTANT)
    Q_PROPERTY(QColor popupFill READ popupFill CONSTANT)
    Q_PROPERTY(QColor neutralFill READ neutralFill CONSTANT)
    Q_PROPERTY(QColor highlightFill READ highlightFill CONSTANT)
    Q_PROPERTY(double disabledOpacity READ disabledOpacity CONSTANT)
    Q_PROPERTY(int minimumTarget READ minimumTarget CONSTANT)
    Q_PROPERTY(int cornerRadius READ cornerRadius CONSTANT)
    Q_PROPERTY(int contentWidth READ contentWidth CONSTANT)

public:
    explicit QuorvaneStyle(QObject* parent = nullptr);

    static QColor windowBackground() { return QColor(30, 30, 30); }
    static QColor cardFill() { return QColor::fromRgbF(1.0f, 1.0f, 1.0f, 0.06f); }
    static QColor teal() { return QColor(6, 182, 212); }
    static QColor orange() { return QColor(224, 145, 69); }
    static QColor amber() { return QColor(212, 160, 74); }
    static QColor amberTint() { return QColor(212, 160, 74, 31); } // amber at 0.12
    static QColor red() { return QColor(255, 69, 58); }
    static QColor green() { return QColor(48, 209, 88); }
    static QColor label() { return QColor::fromRgbF(1.0f, 1.0f, 1.0f, 0.85f); }
    static QColor secondaryLabel() { return QColor::fromRgbF(1.0f, 1.0f, 1.0f, 0.55f); }
    static QColor tertiaryLabel() { return QColor::fromRgbF(1.0f, 1.0f, 1.0f, 0.42f); }
    static QColor separator() { return QColor::fromRgbF(1.0f, 1.0f, 1.0f, 0.10f); }
    static QColor accent() { return QColor(59, 130, 246); }

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
    static QColor fieldFill() { return QColor::fromRgbF(1.0f, 1.0f, 1.0f, 0.04f); }
    static QColor fieldBorder() { return QColor::fromRgbF(1.0f, 1.0f, 1.0f, 0.18f); }
    // Switches, check boxes and radio buttons: the track or box when off,
    // the switch's knob, and the ring of an empty box; a drop-down's list and
    // its hovered row; a neutral button. A disabled control is drawn at disabledOpacity; no
    // click target is smaller than minimumTarget.
    static QColor controlTrack() { return QColor::fromRgbF(1.0f, 1.0f, 1.0f, 0.16f); }
    static QColor controlKnob() { return QColor(235, 235, 235); }
    static QColor controlBorder() { return QColor::fromRgbF(1.0f, 1.0f, 1.0f, 0.45f); }
    static QColor popupFill() { return QColor(44, 44, 46); }
    // The opaque grey of a button that only takes back ("Cancel"), under white text.
    static QColor neutralFill() { return QColor(76, 76, 76); }
    static QColor highlightFill() { return QColor(6, 182, 212, 64); } // teal at 0.25
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

    // The dark palette that Qt Quick Controls draw with.
    static QPalette darkPalette();
    // Makes every window of the process dark: the application palette and the
    // "Basic" controls style (before the first QML engine is created).
    static void applyDarkAppearance();
};
