#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <qcoro/qcorotask.h>

// Writes the tool's standard output straight to file descriptor 1, one write
// per line (or two, with a pause between, when lines are split), so a reader
// sees exactly the chunks the scenario asks for.
class EventWriter
{
public:
    EventWriter(bool splitLines, int splitDelayMs);

    // One JSON event line: {"type": type, ...fields}.
    QCoro::Task<> event(const QString& type, const QJsonObject& fields = {});
    // Any text followed by a newline, honouring the split setting.
    QCoro::Task<> line(const QByteArray& text);
    // Bytes exactly as given, in one piece.
    void raw(const QByteArray& bytes);
    // About size bytes of filler lines that no reader takes for events.
    void filler(qint64 size);

    // The compact JSON text of one event, without the newline.
    static QByteArray encode(const QString& type, const QJsonObject& fields = {});

    static QJsonObject progress(double fraction, const QString& message = {});
    static QJsonObject message(const QString& text);
    static QJsonObject failure(const QString& text);

private:
    bool m_splitLines;
    int m_splitDelayMs;
};
