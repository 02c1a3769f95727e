#include "app/style/QuorvaneStyle.h"

#include "app/style/ColorMix.h"
#include "app/style/ColourContrast.h"

#include <QGuiApplication>
#include <QQuickStyle>
#include <QSet>

namespace {

const StyleColours* s_colours = &StyleColours::dark();
// Every engine has its Style singleton; each hears of a switch.
QSet<QuorvaneStyle*> s_instances;

} // namespace

QuorvaneStyle::QuorvaneStyle(QObject* parent)
    : QObject(parent)
{
    s_instances.insert(this);
}

QuorvaneStyle::~QuorvaneStyle()
{
    s_instances.remove(this);
}

const StyleColours& QuorvaneStyle::colours()
{
    return *s_colours;
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

QColor QuorvaneStyle::textOn(const QColor& fill) const
{
    const QColor white(255, 255, 255);
    const QColor ink(18, 18, 18);
    return ColourContrast::ratio(white, fill) >= 4.5 ? white : ink;
}

QPalette QuorvaneStyle::controlsPalette()
{
    const bool dark = isDark();
    // Opaque versions of the label colours over the window, for the controls' text.
    const QColor window = windowBackground();
    const auto opaque = [&](const QColor& colour) { return colorMix(window, colour.toRgb(), colour.alphaF()); };
    const QColor text = opaque(label());
    const QColor disabledText = colorMix(window, text, 0.45);
    const QColor base = dark ? QColor(40, 40, 40) : QColor(255, 255, 255);
    const QColor button = dark ? QColor(58, 58, 58) : QColor(228, 228, 228);
    const auto shade = [&](int darkGrey, int lightGrey) {
        const int grey = dark ? darkGrey : lightGrey;
        return QColor(grey, grey, grey);
    };
    QPalette palette;
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        palette.setColor(group, QPalette::Window, window);
        palette.setColor(group, QPalette::WindowText, text);
        palette.setColor(group, QPalette::Base, base);
        palette.setColor(group, QPalette::AlternateBase, shade(46, 240));
        palette.setColor(group, QPalette::Text, text);
        palette.setColor(group, QPalette::Button, button);
        palette.setColor(group, QPalette::ButtonText, text);
        palette.setColor(group, QPalette::BrightText, Qt::white);
        palette.setColor(group, QPalette::Highlight, teal());
        palette.setColor(group, QPalette::HighlightedText, Qt::white);
        palette.setColor(group, QPalette::ToolTipBase, base);
        palette.setColor(group, QPalette::ToolTipText, text);
        palette.setColor(group, QPalette::PlaceholderText, opaque(tertiaryLabel()));
        palette.setColor(group, QPalette::Light, shade(80, 255));
        palette.setColor(group, QPalette::Midlight, shade(70, 235));
        palette.setColor(group, QPalette::Mid, shade(50, 180));
        palette.setColor(group, QPalette::Dark, shade(20, 140));
        palette.setColor(group, QPalette::Shadow, Qt::black);
        palette.setColor(group, QPalette::Link, teal());
    }
    palette.setColor(QPalette::Disabled, QPalette::Window, window);
    palette.setColor(QPalette::Disabled, QPalette::Base, base);
    palette.setColor(QPalette::Disabled, QPalette::Button, colorMix(window, button, 0.5));
    palette.setColor(QPalette::Disabled, QPalette::WindowText, disabledText);
    palette.setColor(QPalette::Disabled, QPalette::Text, disabledText);
    palette.setColor(QPalette::Disabled, QPalette::ButtonText, disabledText);
    palette.setColor(QPalette::Disabled, QPalette::Highlight, shade(60, 200));
    return palette;
}

void QuorvaneStyle::applyDarkAppearance()
{
    QQuickStyle::setStyle(QStringLiteral("Basic"));
    setDark(true);
    QGuiApplication::setPalette(controlsPalette());
}

void QuorvaneStyle::setDark(bool dark)
{
    const StyleColours* wanted = dark ? &StyleColours::dark() : &StyleColours::light();
    if (wanted == s_colours)
        return;
    s_colours = wanted;
    QGuiApplication::setPalette(controlsPalette());
    for (QuorvaneStyle* style : std::as_const(s_instances))
        Q_EMIT style->paletteChanged();
}
