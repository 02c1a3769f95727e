#pragma once

#include "core/SystemLog.h"

#include <QStringList>

// Collects the program's diagnostic lines while it is alive.
class LogCapture
{
public:
    LogCapture()
    {
        m_previous = SystemLog::setSink([this](QtMsgType, const QString& line) { m_lines.append(line); });
    }
    ~LogCapture() { SystemLog::setSink(std::move(m_previous)); }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    const QStringList& lines() const { return m_lines; }
    bool contains(const QString& line) const { return m_lines.contains(line); }
    void clear() { m_lines.clear(); }

private:
    QStringList m_lines;
    SystemLog::Sink m_previous;
};
