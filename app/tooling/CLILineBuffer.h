#pragma once

#include <QByteArray>
#include <QList>

// Cuts a child's output into lines as the bytes arrive. A line split across two
// reads is kept until its end arrives, so no event line is lost at a read
// boundary. Pieces are trimmed of spaces and line ends; empty ones are skipped.
// A line longer than the limit is dropped whole (the rest of it up to the next
// newline too), so a runaway child cannot make the buffer grow without bound.
class CLILineBuffer
{
public:
    static constexpr qsizetype defaultMaxLineLength = 16 * 1024 * 1024;

    explicit CLILineBuffer(qsizetype maxLineLength = defaultMaxLineLength) : m_maxLineLength(maxLineLength) {}

    // Adds bytes and returns the lines they complete, in order.
    QList<QByteArray> append(QByteArrayView bytes);
    // End of output: returns the unfinished last line, if any, and resets.
    QList<QByteArray> finish();
    // True once a line has been dropped for its length.
    bool overflowed() const { return m_overflowed; }

private:
    void emitLine(QByteArray line, QList<QByteArray>& out);

    QByteArray m_pending;
    qsizetype m_maxLineLength;
    bool m_discarding = false;
    bool m_overflowed = false;
};
