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
    Q_PROPERTY(int captionSize READ captionSize CONSTANT)
    Q_PROPERTY(int bodySize READ bodySize CONSTANT)
    Q_PROPERTY(int titleSize READ titleSize CONSTANT)
    Q_PROPERTY(int footnoteSize READ footnoteSize CONSTANT)
    Q_PROPERTY(int stepLabelSize READ stepLabelSize CONSTANT)
    Q_PROPERTY(int headlineSize READ headlineSize CONSTANT)
    Q_PROPERTY(QString monospaceFamily READ monospaceFamily CONSTANT)
    Q_PROPERTY(QColor fieldFill READ fieldFill CONSTANT)
    Q_PROPERTY(QColor fieldBorder READ fieldBorder CONSTANT)
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
    static QColor tertiaryLabel() { return QColor::fromRgbF(1.0f, 1.0f, 1.0f, 0.25f); }
    static QColor separator() { return QColor::fromRgbF(1.0f, 1.0f, 1.0f, 0.10f); }
    static QColor accent() { return QColor(59, 130, 246); }

    // Spacing between and around items, in pixels.
    static int spacingTight() { return 4; }
    static int spacingSmall() { return 8; }
    static int spacing() { return 16; }
    static int spacingLarge() { return 24; }
    // Type sizes, in pixels: secondary lines, running text, window titles.
    static int captionSize() { return 12; }
    static int bodySize() { return 14; }
    static int titleSize() { return 24; }
    // Smaller type: notes and monospaced log headers; the step bar's labels;
    // section titles inside a window.
    static int footnoteSize() { return 11; }
    static int stepLabelSize() { return 9; }
    static int headlineSize() { return 16; }
    static QString monospaceFamily() { return QStringLiteral("monospace"); }
    // Text fields: fill and resting border (an invalid entry borders in red).
    static QColor fieldFill() { return QColor::fromRgbF(1.0f, 1.0f, 1.0f, 0.04f); }
    static QColor fieldBorder() { return QColor::fromRgbF(1.0f, 1.0f, 1.0f, 0.18f); }
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
