#include "app/style/ColorMix.h"

namespace {

QColor asRgb(const QColor& color)
{
    if (!color.isValid())
        return color;
    const QColor converted = color.toRgb();
    return converted.isValid() ? converted : color;
}

double channel(double from, double to, double f)
{
    const double value = from + f * (to - from);
    return value < 0.0 ? 0.0 : (value > 1.0 ? 1.0 : value);
}

} // namespace

QColor colorMix(QColor base, QColor target, double f)
{
    const QColor b = asRgb(base);
    const QColor t = asRgb(target);
    if (!b.isValid() || !t.isValid())
        return b.isValid() ? QColor(b.red(), b.green(), b.blue()) : b;
    return QColor::fromRgbF(float(channel(b.redF(), t.redF(), f)), float(channel(b.greenF(), t.greenF(), f)),
                            float(channel(b.blueF(), t.blueF(), f)), 1.0f);
}
