#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// Replaces an installation prefix in one step. The new tree is unpacked into
// ".<name>.update" beside the prefix (same file system), exchanged with the
// prefix by a single renameat2(RENAME_EXCHANGE), so the prefix is at every
// moment either the whole old or the whole new installation; the old tree
// then moves to ".<name>.previous" and is removed.
//
// A process killed half-way leaves one of those folders behind; repair(),
// run on every start, removes them, or puts the old tree back when the
// prefix itself is missing.
namespace InstallationSwap {

QString stagingPath(const QString& prefix);
QString previousPath(const QString& prefix);

// A tree the program can start from: bin/ is a real folder and
// bin/quorvane-app a regular executable file (not a link).
bool isWorkingInstallation(const QString& prefix);

// Exchanges the staging folder with the prefix (the staging folder then holds
// the old tree). An error text on failure; nothing has changed then.
std::optional<QString> exchange(const QString& prefix);

// Moves the old tree from the staging folder to the previous folder.
std::optional<QString> retire(const QString& prefix);

// Removes a folder tree without following links; errors are ignored.
void removeTree(const QString& path);

// Brings a half-done swap to a working state; returns what it did, one log
// line per action (empty when there was nothing to repair).
QStringList repair(const QString& prefix);

} // namespace InstallationSwap
