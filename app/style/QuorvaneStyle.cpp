#include "app/style/QuorvaneStyle.h"

#include "app/style/ColorMix.h"

#include <QGuiApplication>
#include <QQuickStyle>

QuorvaneStyle::QuorvaneStyle(QObject* parent)
    : QObject(parent)
{
}

QColor QuorvaneStyle::mix(const QColor& base, const QColor& target, double fraction) const
{
    return colorMix(base, target, fraction);
}

QColor QuorvaneStyle::withAlpha(const QColor& color, double alpha) const
{
    QColor result = color.toRgb();
    result.setAlphaF(float(alpha < 0.0 ? 0.0 : (alpha > 1.0 ? 1.0 : alpha)));
    return result;
}

QPalette QuorvaneStyle::darkPalette()
{
    const QColor text(235, 235, 235);
    const QColor base(40, 40, 40);
    const QColor button(58, 58, 58);
    QPalette palette;
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        palette.setColor(group, QPalette::Window, windowBackground());
        palette.setColor(group, QPalette::WindowText, text);
        palette.setColor(group, QPalette::Base, base);
        palette.setColor(group, QPalette::AlternateBase, QColor(46, 46, 46));
        palette.setColor(group, QPalette::Text, text);
        palette.setColor(group, QPalette::Button, button);
        palette.setColor(group, QPalette::ButtonText, text);
        palette.setColor(group, QPalette::BrightText, Qt::white);
        palette.setColor(group, QPalette::Highlight, teal());
        palette.setColor(group, QPalette::HighlightedText, Qt::white);
        palette.setColor(group, QPalette::ToolTipBase, base);
        palette.setColor(group, QPalette::ToolTipText, text);
        palette.setColor(group, QPalette::PlaceholderText, QColor(140, 140, 140));
        palette.setColor(group, QPalette::Light, QColor(80, 80, 80));
        palette.setColor(group, QPalette::Midlight, QColor(70, 70, 70));
        palette.setColor(group, QPalette::Mid, QColor(50, 50, 50));
        palette.setColor(group, QPalette::Dark, QColor(20, 20, 20));
        palette.setColor(group, QPalette::Shadow, Qt::black);
        palette.setColor(group, QPalette::Link, teal());
    }
    const QColor disabledText(120, 120, 120);
    palette.setColor(QPalette::Disabled, QPalette::Window, windowBackground());
    palette.setColor(QPalette::Disabled, QPalette::Base, base);
    palette.setColor(QPalette::Disabled, QPalette::Button, QColor(48, 48, 48));
    palette.setColor(QPalette::Disabled, QPalette::WindowText, disabledText);
    palette.setColor(QPalette::Disabled, QPalette::Text, disabledText);
    palette.setColor(QPalette::Disabled, QPalette::ButtonText, disabledText);
    palette.setColor(QPalette::Disabled, QPalette::Highlight, QColor(60, 60, 60));
    return palette;
}

void QuorvaneStyle::applyDarkAppearance()
{
    QQuickStyle::setStyle(QStringLiteral("Basic"));
    QGuiApplication::setPalette(darkPalette());
}
