#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// The argument lists of the stand-in product tool's runs, oldest first, from
// the file QUORVANE_CLI_LOG names (one JSON line per run); empty when the file
// is missing.
QList<QStringList> cliInvocations(const QString& logPath);
