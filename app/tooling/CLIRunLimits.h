#pragma once

#include <QtGlobal>
#include <chrono>

// How long one run of the product tool may take and how much it may print.
// A run past its deadline is terminated (then killed) and fails with
// CLIError::timedOut; a run printing more than outputBytes in all, or one
// event line longer than lineBytes, is stopped the same way and fails with
// CLIError::outputTooLarge (a capturing run answers "unusable output" instead).
struct CLIRunLimits
{
    std::chrono::milliseconds deadline; // zero: none (a long-lived service, never the product tool)
    qint64 outputBytes;

    // The longest event line read; event texts are far shorter (CLIEvent
    // cuts them further).
    static constexpr qint64 lineBytes = 64 * 1024;

    // "init" and "init --preflight": registration talks to the back-end and
    // may install hooks, so it gets minutes.
    static constexpr CLIRunLimits init() { return { std::chrono::minutes(10), 8 * 1024 * 1024 }; }
    // Other streaming runs (the activity analysis reads the whole history).
    static constexpr CLIRunLimits stream() { return { std::chrono::minutes(30), 8 * 1024 * 1024 }; }
    // Runs whose whole output is read ("scan", "mark-linked").
    static constexpr CLIRunLimits capture() { return { std::chrono::minutes(1), 16 * 1024 * 1024 }; }
    // "--version": a line of text, answered at once.
    static constexpr CLIRunLimits version() { return { std::chrono::seconds(10), 4 * 1024 }; }
    // Runs with output discarded: "unregister" waits for an approval on the
    // person's phone.
    static constexpr CLIRunLimits detached() { return { std::chrono::minutes(10), 0 }; }
    // The model download: gigabytes over a slow line.
    static constexpr CLIRunLimits download() { return { std::chrono::hours(12), 8 * 1024 * 1024 }; }
    // A server that runs until it is stopped, its output discarded.
    static constexpr CLIRunLimits service() { return { std::chrono::milliseconds(0), 0 }; }
};
