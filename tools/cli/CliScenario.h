#pragma once

#include "tools/cli/CommandBehaviour.h"

#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <optional>

// The behaviour file named by QUORVANE_CLI_SCENARIO (format in README.md).
// Without a file every command succeeds with short default delays.
class CliScenario
{
public:
    // Reads the file at path; an empty path gives the defaults. A file that
    // cannot be read or is not a JSON object leaves error() set.
    static CliScenario load(const QString& path);

    const QString& error() const { return m_error; }

    // The behaviour of command (its scenario key) for this argument list and
    // working directory: built-in defaults, then "defaults", then the
    // command's object, then its first matching case. A wrong type in any of
    // them sets *error and returns nothing.
    std::optional<CommandBehaviour> behaviourFor(const QString& command, const QStringList& arguments,
        const QString& workingDirectory, QString* error) const;

private:
    QJsonObject m_root;
    QString m_error;
};
