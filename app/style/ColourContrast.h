#pragma once

#include <QColor>
#include <algorithm>
#include <cmath>

// How far apart two opaque colours read, as the web's accessibility rules
// measure it: from 1:1 (the same) to 21:1 (black on white). Text wants 4.5:1,
// large text and the outlines of controls 3:1.
namespace ColourContrast {

// The relative luminance of the sRGB colour, 0 (black) to 1 (white).
inline double luminance(const QColor& colour)
{
    const QColor rgb = colour.toRgb();
    const auto linear = [](double channel) {
        return channel <= 0.04045 ? channel / 12.92 : std::pow((channel + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(rgb.redF()) + 0.7152 * linear(rgb.greenF()) + 0.0722 * linear(rgb.blueF());
}

inline double ratio(const QColor& a, const QColor& b)
{
    const double la = luminance(a);
    const double lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

} // namespace ColourContrast
