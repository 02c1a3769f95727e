#pragma once

#include <QByteArray>

// How many child processes of this test (running, or exited but not yet
// reaped) exist; with a command name, only those running that program.
int childProcessCount(const QByteArray& commandName = {});
