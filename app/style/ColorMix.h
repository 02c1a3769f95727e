#pragma once

#include <QColor>

// The colour between `base` and `target`: each of red, green and blue moves the
// fraction `f` of the way from base to target, in sRGB. Colours given in another
// model are converted to sRGB first; one that cannot be converted is used as it
// is. The result is always opaque.
QColor colorMix(QColor base, QColor target, double f);
