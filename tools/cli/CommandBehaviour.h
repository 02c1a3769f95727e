#pragma once

#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <optional>

// How one command behaves in this run: the common knobs every command honours,
// plus the command's own settings (version text, scan entries, agent id...).
struct CommandBehaviour
{
    int exitCode = 0; // the status the command exits with
    QString errorMessage; // non-empty: an "error" event with this message
    int failAfterSteps = 1; // progress events written before a failure
    int steps = 3; // progress events of download-model / analyze-history
    int stepDelayMs = 20; // pause before each event line
    bool splitLines = false; // every stdout line in two writes
    int splitDelayMs = 30; // pause between the two halves
    QStringList malformedLines; // written before the first event
    qint64 largeOutputBytes = 0; // extra bytes of output (capture-mode tests)
    bool hang = false; // after the first line, wait until terminated
    bool ignoreTerminate = false; // SIGTERM is ignored: only a kill ends the run
    std::optional<QString> rawOutput; // printed instead of the command's normal output
    QJsonObject settings; // the command's own keys, as read from the scenario

    // A failing run: an error event, a non-zero status, or both. A failing run
    // leaves no file behind (unregister keeps its own status rules).
    bool fails() const { return exitCode != 0 || !errorMessage.isEmpty(); }
};
