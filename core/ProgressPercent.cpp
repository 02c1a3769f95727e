#include "core/ProgressPercent.h"

#include <algorithm>
#include <cmath>

namespace ProgressPercent {

double clamped(double progress)
{
    if (!(progress > 0.0)) // also NaN
        return 0.0;
    return std::min(progress, 1.0);
}

int whole(double progress)
{
    return int(std::floor(clamped(progress) * 100.0));
}

QString text(double progress)
{
    return QString::number(whole(progress)) + QLatin1Char('%');
}

} // namespace ProgressPercent
