#pragma once

#include <QString>

// The shell script that finishes a self-update after the program has quit.
// In this order it waits for the old process to exit, checks the publisher
// signature of the archive again with the verifier of the installed (trusted)
// version, replaces the installation prefix by unpacking the archive into a
// staging folder beside it and swapping the two by rename, removes its private
// work folder (archive and script included), and starts the new program.
// It changes nothing when any step before the swap fails, and puts the old
// installation back when the swap itself fails.
namespace UpdaterScript {

struct Parameters
{
    qint64 appPid = 0;        // the process to wait for
    QString archivePath;      // the verified .tar.gz in the private work folder
    QString signature;        // unpadded base64url, 64 bytes
    QString publicKey;        // unpadded base64url, 32 bytes (the pinned key)
    QString verifierPath;     // <prefix>/libexec/quorvane/quorvane-verify-release
    QString installPath;      // the installation prefix to replace
    QString workDirectory;    // the private 0700 folder holding archive and script
    QString uniqueName;       // fresh per attempt: names the staging and backup folders
};

// The script text (bash). Every value is quoted for the shell, so paths with
// spaces, quotes or dollar signs are taken literally.
QString text(const Parameters& parameters);

// A value in single quotes for a POSIX shell.
QString shellQuoted(const QString& value);

// Relative to an installation prefix: the program the script relaunches and
// the verifier it runs.
inline constexpr char appExecutable[] = "bin/quorvane-app";
inline constexpr char verifierExecutable[] = "libexec/quorvane/quorvane-verify-release";

} // namespace UpdaterScript
