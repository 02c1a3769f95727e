// Feeds arbitrary text to what windows show of outside text: the result holds
// no control, format or bidirectional character (a joiner between pictographs
// aside) and no lone surrogate, and reading its markers back gives the input,
// character for character.
#include "core/VisibleText.h"

#include <cstddef>
#include <cstdint>

namespace {

// Undoes the markers; an unreadable marker traps.
QString readBack(const QString& shown)
{
    QString text;
    for (qsizetype index = 0; index < shown.size(); ++index) {
        if (shown.at(index) != QChar(u'\u27E6')) {
            text.append(shown.at(index));
            continue;
        }
        const qsizetype close = shown.indexOf(QChar(u'\u27E7'), index);
        if (close < 0 || shown.mid(index + 1, 2) != QLatin1String("U+"))
            __builtin_trap();
        bool ok = false;
        const uint codePoint = shown.mid(index + 3, close - index - 3).toUInt(&ok, 16);
        if (!ok || codePoint > 0x10FFFF)
            __builtin_trap();
        if (QChar::requiresSurrogates(codePoint))
            text.append(QString::fromUcs4(reinterpret_cast<const char32_t*>(&codePoint), 1));
        else
            text.append(QChar(char16_t(codePoint)));
        index = close;
    }
    return text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Raw UTF-16 units, so that lone surrogates arrive too.
    const QString text(reinterpret_cast<const QChar*>(data), qsizetype(size / 2));
    const QString shown = visibleText(text);
    if (!shown.isValidUtf16() || readBack(shown) != text)
        __builtin_trap();
    for (const QChar unit : shown) {
        const char16_t value = unit.unicode();
        const bool bidi = (value >= 0x202A && value <= 0x202E) || (value >= 0x2066 && value <= 0x2069);
        const bool invisible = (value >= 0x200B && value <= 0x200F && value != 0x200D) || value == 0xFEFF;
        const bool control
            = (value < 0x20 && value != u'\t' && value != u'\n') || (value >= 0x7F && value <= 0x9F);
        if (bidi || invisible || control)
            __builtin_trap();
    }
    return 0;
}
