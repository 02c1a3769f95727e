#pragma once

#include <QString>

// Progress values (0 to 1) as windows show them. Values come from child
// processes and downloads, so anything may arrive: below 0, above 1, huge or
// not a number. They are clamped into 0..1 first, never cast as they are.
namespace ProgressPercent {

// The value within 0..1; NaN counts as 0, +infinity as 1.
double clamped(double progress);
// The whole part of the clamped value x 100: 0 to 100.
int whole(double progress);
// whole() followed by "%".
QString text(double progress);

} // namespace ProgressPercent
