#pragma once

#include <QStringView>
#include <QtGlobal>

// The number of rule suggestions an activity analysis reports: the "count"
// value of the tool's "suggestion_count" event, written as a decimal integer.
struct SuggestionCount
{
    // An optional leading "+" or "-", then one or more ASCII digits and nothing
    // else. Any other text, and a value outside the 64-bit signed range, is 0.
    static qint64 parse(QStringView text);
};
