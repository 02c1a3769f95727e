#pragma once

#include <QString>

#include <optional>

// Finishes a self-update once the program has quit. In this order it repairs
// a swap an earlier run left half-done, waits for the old process to exit,
// verifies the archive's publisher signature, reads the version the archive
// carries and refuses it unless it is the announced one and newer than the
// installed one, unpacks it beside the installation under the archive rules,
// checks the unpacked tree, swaps it in with one atomic exchange, removes the
// old tree and the private work folder, and starts the program.
//
// Whatever happens after the wait, the program is started again (the new one
// or the old one), and every step and refusal goes to the update log.
class Updater
{
public:
    struct Options
    {
        qint64 waitPid = 0;       // the program's process, which must exit first
        QString archivePath;      // the downloaded archive in the private work folder
        QString signature;        // unpadded base64url, 64 bytes
        QString publicKey;        // unpadded base64url, 32 bytes (the pinned key)
        QString version;          // the announced version
        QString installedVersion; // the version being replaced
        QString prefix;           // the installation prefix to replace
        QString workDirectory;    // the private 0700 folder holding the archive
        QString logPath;          // the update log
    };

    static constexpr int waitSeconds = 60;

    explicit Updater(Options options);

    // The whole update; 0 when the new version was installed.
    int run();

private:
    std::optional<QString> install(); // a refusal, or nothing when installed
    // Checks the publisher signature over the open archive file.
    std::optional<QString> verifySignature(int archiveFd) const;
    bool waitForExit() const;
    void launchProgram();
    void log(const QString& message) const;
    // Test builds stop dead at a named step (QUORVANE_UPDATER_STOP_AT) to show
    // that a kill there leaves a working installation, or pause there
    // (QUORVANE_UPDATER_PAUSE_AT, SIGSTOP) so that a test can act in between.
    void stopPoint(const char* step) const;

    Options m_options;
};
