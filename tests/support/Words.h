#pragma once

#include <QStringList>

// An argument list written as one line: "init --name vega" -> {"init", "--name", "vega"}.
inline QStringList words(const char* line)
{
    return QString::fromUtf8(line).split(u' ', Qt::SkipEmptyParts);
}
