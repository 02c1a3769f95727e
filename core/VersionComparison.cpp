#include "core/VersionComparison.h"

#include <limits>

namespace {

// A decimal integer with an optional sign and nothing else; nothing when the
// text is not one or does not fit in 64 bits.
std::optional<qint64> decimalInteger(QStringView text)
{
    bool negative = false;
    if (!text.isEmpty() && (text.front() == u'+' || text.front() == u'-')) {
        negative = text.front() == u'-';
        text = text.mid(1);
    }
    if (text.isEmpty())
        return std::nullopt;
    // Accumulate as a negative number so that the most negative value fits too.
    qint64 value = 0;
    constexpr qint64 lowest = std::numeric_limits<qint64>::min();
    for (const QChar c : text) {
        if (c < u'0' || c > u'9')
            return std::nullopt;
        const int digit = c.unicode() - u'0';
        if (value < (lowest + digit) / 10)
            return std::nullopt;
        value = value * 10 - digit;
    }
    if (!negative) {
        if (value == lowest)
            return std::nullopt;
        value = -value;
    }
    return value;
}

} // namespace

namespace VersionComparison {

QList<qint64> numbers(const QString& version)
{
    QList<qint64> result;
    for (const QStringView piece : QStringView(version).split(u'.', Qt::SkipEmptyParts)) {
        if (const std::optional<qint64> number = decimalInteger(piece))
            result.append(*number);
    }
    return result;
}

bool isNewer(const QString& remote, const std::optional<QString>& local)
{
    if (!local)
        return false;
    const QList<qint64> remoteNumbers = numbers(remote);
    const QList<qint64> localNumbers = numbers(*local);
    const qsizetype length = std::max(remoteNumbers.size(), localNumbers.size());
    for (qsizetype i = 0; i < length; ++i) {
        const qint64 r = remoteNumbers.value(i, 0);
        const qint64 l = localNumbers.value(i, 0);
        if (r > l)
            return true;
        if (r < l)
            return false;
    }
    return false;
}

} // namespace VersionComparison
