#include "app/tooling/SuggestionCount.h"

#include <limits>

qint64 SuggestionCount::parse(QStringView text)
{
    bool negative = false;
    if (!text.isEmpty() && (text.front() == u'+' || text.front() == u'-')) {
        negative = text.front() == u'-';
        text = text.sliced(1);
    }
    if (text.isEmpty())
        return 0;

    // Accumulated as a negative number, whose range reaches one further than
    // the positive one, so that the smallest value parses too.
    constexpr qint64 lowest = std::numeric_limits<qint64>::min();
    qint64 value = 0;
    for (const QChar character : text) {
        const char16_t unit = character.unicode();
        if (unit < u'0' || unit > u'9')
            return 0;
        const int digit = int(unit - u'0');
        if (value < (lowest + digit) / 10)
            return 0;
        value = value * 10 - digit;
    }
    if (negative)
        return value;
    if (value == lowest)
        return 0;
    return -value;
}
