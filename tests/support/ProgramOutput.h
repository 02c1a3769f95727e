#pragma once

#include <QString>
#include <QStringList>

// Runs a helper program (xdotool and the like) to its end and returns its
// standard output, trimmed; empty when it did not end within the deadline.
QString programOutput(const QString& program, const QStringList& arguments, int deadlineMs = 10000);
