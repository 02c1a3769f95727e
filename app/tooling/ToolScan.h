#pragma once

#include "app/tooling/DetectedTool.h"

#include <QJsonObject>
#include <QList>
#include <QString>

#include <optional>

// Reads the product tool's "scan --format json" output into DetectedTools.
// Every argument named home is the person's home folder, used to write paths
// as "~/…" and to read them back.
namespace ToolScan {

// Larger output is not read at all.
constexpr qsizetype maxOutputBytes = 8 * 1024 * 1024;
// Entries beyond these counts are ignored: each project costs a file-system
// check, and no real machine has more.
constexpr qsizetype maxTools = 256;
constexpr qsizetype maxProjectsPerTool = 1024;

// The tools of a whole scan output, in order. Output that is too large, not a
// JSON object, or without an "agents" array of objects gives an empty list.
QList<DetectedTool> parseOutput(const QString& output, const QString& home);

// One entry of "agents"; none when it has no usable "detection", its status is
// "not_found", or it has no text "displayName". Project folders that do not
// exist (or are not absolute paths) are left out.
std::optional<DetectedTool> parseDetectedTool(const QJsonObject& entry, const QString& home);

// The deepest folder containing every project, or none when there are no
// projects, they share nothing below "/", or that folder is the home folder
// or one of its ancestors.
std::optional<QString> commonProjectsRoot(const QList<DiscoveredProject>& projects, const QString& home);

// "~" and "~/…" expanded to the home folder; any other path unchanged.
QString expandHome(const QString& path, const QString& home);
// A path inside the home folder as "~/…" (the home folder itself as "~").
QString abbreviateHome(const QString& path, const QString& home);

} // namespace ToolScan
