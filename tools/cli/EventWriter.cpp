#include "tools/cli/EventWriter.h"

#include <QJsonDocument>
#include <cerrno>
#include <chrono>
#include <qcoro/qcorotimer.h>
#include <unistd.h>

EventWriter::EventWriter(bool splitLines, int splitDelayMs)
    : m_splitLines(splitLines)
    , m_splitDelayMs(splitDelayMs)
{
}

QCoro::Task<> EventWriter::event(const QString& type, const QJsonObject& fields)
{
    co_await line(encode(type, fields));
}

QByteArray EventWriter::encode(const QString& type, const QJsonObject& fields)
{
    QJsonObject object = fields;
    object.insert(QStringLiteral("type"), type);
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QCoro::Task<> EventWriter::line(const QByteArray& text)
{
    const QByteArray whole = text + '\n';
    if (!m_splitLines) {
        raw(whole);
        co_return;
    }
    const qsizetype half = whole.size() / 2;
    raw(whole.left(half));
    co_await QCoro::sleepFor(std::chrono::milliseconds(m_splitDelayMs));
    raw(whole.mid(half));
}

void EventWriter::raw(const QByteArray& bytes)
{
    const char* data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(STDOUT_FILENO, data, size_t(left));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return; // the reader went away; nothing more can be said
        }
        data += written;
        left -= written;
    }
}

void EventWriter::filler(qint64 size)
{
    QByteArray chunk(1023, '.');
    chunk.append('\n');
    // Whole chunks of 1024 bytes, then one shorter line for the remainder.
    for (qint64 done = 0; done + chunk.size() <= size; done += chunk.size())
        raw(chunk);
    const qint64 rest = size % chunk.size();
    if (rest > 0) {
        QByteArray tail(rest, '.');
        tail[rest - 1] = '\n';
        raw(tail);
    }
}

QJsonObject EventWriter::progress(double fraction, const QString& message)
{
    QJsonObject fields { { QStringLiteral("progress"), fraction } };
    if (!message.isEmpty())
        fields.insert(QStringLiteral("message"), message);
    return fields;
}

QJsonObject EventWriter::message(const QString& text)
{
    return { { QStringLiteral("message"), text } };
}

QJsonObject EventWriter::failure(const QString& text)
{
    return { { QStringLiteral("message"), text }, { QStringLiteral("error"), text } };
}
