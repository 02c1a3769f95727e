#pragma once

#include <QString>
#include <QStringList>

// Appends one JSON line per run to the file named by QUORVANE_CLI_LOG:
// {"args": [...arguments without the program name], "cwd": "<working folder>"}.
namespace InvocationLog {

// Does nothing when path is empty; a file that cannot be opened is reported
// on standard error and otherwise ignored.
void append(const QString& path, const QStringList& arguments, const QString& workingDirectory);

} // namespace InvocationLog
