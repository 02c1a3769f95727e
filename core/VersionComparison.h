#pragma once

#include <QList>
#include <QString>

#include <optional>

// Release versions are dotted numbers compared position by position. Pieces
// that are not decimal integers are dropped, so "1.4.0-beta" reads as 1.4 and
// "2..3" as 2.3; a missing position counts as 0.
namespace VersionComparison {

// The numbers of a version text, in order.
QList<qint64> numbers(const QString& version);

// Whether the remote version is newer than the local one. Without a local
// version nothing is newer.
bool isNewer(const QString& remote, const std::optional<QString>& local);

} // namespace VersionComparison
