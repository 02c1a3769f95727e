#include "core/VisibleText.h"

namespace {

constexpr char16_t markerOpen = 0x27E6;
constexpr char16_t markerClose = 0x27E7;
constexpr char16_t zeroWidthJoiner = 0x200D;
constexpr char16_t emojiPresentation = 0xFE0F;

bool isPictograph(char32_t codePoint)
{
    return (codePoint >= 0x2600 && codePoint <= 0x27BF) || (codePoint >= 0x1F000 && codePoint <= 0x1FAFF);
}

bool drawsNothing(char32_t codePoint)
{
    switch (codePoint) {
    case 0x034F: // combining grapheme joiner
    case 0x115F: // Hangul choseong filler
    case 0x1160: // Hangul jungseong filler
    case 0x17B4: // Khmer inherent vowels
    case 0x17B5:
    case 0x2800: // blank braille pattern
    case 0x3164: // Hangul filler
    case 0xFFA0: // halfwidth Hangul filler
        return true;
    default:
        return false;
    }
}

bool isHidden(char32_t codePoint)
{
    if (codePoint == u'\t' || codePoint == u'\n' || codePoint == u' ')
        return false;
    if (codePoint == markerOpen || drawsNothing(codePoint) || QChar::isNonCharacter(codePoint))
        return true;
    switch (QChar::category(codePoint)) {
    case QChar::Other_Control:
    case QChar::Other_Format:
    case QChar::Other_Surrogate:
    case QChar::Separator_Line:
    case QChar::Separator_Paragraph:
    case QChar::Separator_Space:
        return true;
    default:
        return false;
    }
}

struct CodePoint
{
    char32_t value;
    qsizetype length; // in UTF-16 units: 1 or 2
};

CodePoint codePointAt(QStringView text, qsizetype index)
{
    const QChar unit = text.at(index);
    if (unit.isHighSurrogate() && index + 1 < text.size() && text.at(index + 1).isLowSurrogate())
        return { QChar::surrogateToUcs4(unit, text.at(index + 1)), 2 };
    return { unit.unicode(), 1 };
}

// The code point before index, an emoji presentation selector skipped.
char32_t pictographBefore(QStringView text, qsizetype index)
{
    if (index > 0 && text.at(index - 1) == QChar(emojiPresentation))
        --index;
    if (index >= 2 && text.at(index - 1).isLowSurrogate() && text.at(index - 2).isHighSurrogate())
        return QChar::surrogateToUcs4(text.at(index - 2), text.at(index - 1));
    return index >= 1 ? text.at(index - 1).unicode() : 0;
}

bool joinsPictographs(QStringView text, qsizetype index)
{
    return index + 1 < text.size() && isPictograph(pictographBefore(text, index))
        && isPictograph(codePointAt(text, index + 1).value);
}

} // namespace

QString visibleText(QStringView text)
{
    QString shown;
    qsizetype copiedUpTo = 0;
    for (qsizetype index = 0; index < text.size();) {
        const CodePoint codePoint = codePointAt(text, index);
        if (isHidden(codePoint.value)
            && !(codePoint.value == zeroWidthJoiner && joinsPictographs(text, index))) {
            if (shown.isNull())
                shown.reserve(text.size() + 16);
            shown.append(text.mid(copiedUpTo, index - copiedUpTo));
            shown.append(QChar(markerOpen));
            shown.append(
                QStringLiteral("U+%1").arg(uint(codePoint.value), 4, 16, QLatin1Char('0')).toUpper());
            shown.append(QChar(markerClose));
            copiedUpTo = index + codePoint.length;
        }
        index += codePoint.length;
    }
    if (shown.isNull())
        return text.toString();
    shown.append(text.mid(copiedUpTo));
    return shown;
}

QStringList visibleText(const QStringList& lines)
{
    QStringList shown;
    shown.reserve(lines.size());
    for (const QString& line : lines)
        shown.append(visibleText(line));
    return shown;
}
