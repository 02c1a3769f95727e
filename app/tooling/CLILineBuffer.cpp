#include "app/tooling/CLILineBuffer.h"

void CLILineBuffer::emitLine(QByteArray line, QList<QByteArray>& out)
{
    line = line.trimmed();
    if (!line.isEmpty())
        out.append(std::move(line));
}

QList<QByteArray> CLILineBuffer::append(QByteArrayView bytes)
{
    QList<QByteArray> lines;
    while (!bytes.isEmpty()) {
        const qsizetype newline = bytes.indexOf('\n');
        const QByteArrayView head = newline < 0 ? bytes : bytes.first(newline);
        if (!m_discarding) {
            if (m_pending.size() + head.size() > m_maxLineLength) {
                m_pending.clear();
                m_discarding = true;
                m_overflowed = true;
            } else {
                m_pending.append(head);
            }
        }
        if (newline < 0)
            break;
        if (!m_discarding)
            emitLine(std::exchange(m_pending, QByteArray()), lines);
        m_discarding = false;
        bytes = bytes.sliced(newline + 1);
    }
    return lines;
}

QList<QByteArray> CLILineBuffer::finish()
{
    QList<QByteArray> lines;
    if (!m_discarding)
        emitLine(std::exchange(m_pending, QByteArray()), lines);
    m_pending.clear();
    m_discarding = false;
    return lines;
}
