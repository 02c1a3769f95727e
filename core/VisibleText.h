#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

// Text from outside (the back-end, agents, CLI output, files) as a window
// shows it. Every character that would not show, or that would move, join or
// hide the characters around it, is written out as its code point between
// white square brackets, e.g. "⟦U+202E⟧", so that what a person reads holds
// every character of what is approved, in order. Written out are:
//   - control characters (C0, DEL, C1) other than tab and line feed; a tab
//     shows as a gap and a line feed as a line break, both visible;
//   - format characters (zero-width spaces and joiners, bidirectional
//     embeddings, overrides and isolates, the byte order mark, tag
//     characters); a zero-width joiner between two pictographs is kept, as it
//     only draws an emoji sequence as one picture;
//   - line and paragraph separators and every space other than U+0020;
//   - lone surrogates, noncharacters and letters that draw nothing (Hangul
//     fillers, the blank braille pattern, the combining grapheme joiner);
//   - the opening bracket "⟦" itself, so that a marker can never be forged.
// Everything else, including every script and emoji, is left as it is.
QString visibleText(QStringView text);
// visibleText() of each line.
QStringList visibleText(const QStringList& lines);
