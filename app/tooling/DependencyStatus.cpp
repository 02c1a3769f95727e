#include "app/tooling/DependencyStatus.h"

#include "core/ProgressPercent.h"

#include <algorithm>
#include <cmath>

DependencyStatus DependencyStatus::downloading(double fraction)
{
    DependencyStatus status(Kind::downloading);
    // A fraction outside 0..1 (or not a number) would draw a broken bar.
    status.m_fraction = std::isnan(fraction) ? 0.0 : std::clamp(fraction, 0.0, 1.0);
    return status;
}

DependencyStatus DependencyStatus::failed(const QString& message)
{
    DependencyStatus status(Kind::failed);
    status.m_message = message;
    return status;
}

QString DependencyStatus::percentText() const
{
    return ProgressPercent::text(m_fraction);
}
