#pragma once

#include "app/tooling/DetectedTool.h"

#include <QList>
#include <QString>

#include <qcorotask.h>

#include <chrono>

class CLIService;

// Asks the product tool which AI tools are installed ("scan --format json")
// without blocking the caller's thread. A tool that cannot be started, output
// that is unusable and a scan that outlasts the deadline (its process is
// terminated) all give an empty list. The service must outlive the task.
namespace ToolDetection {

constexpr std::chrono::milliseconds defaultDeadline{60'000};

QCoro::Task<QList<DetectedTool>> detectTools(CLIService& cli, QString home,
                                             std::chrono::milliseconds deadline = defaultDeadline);

} // namespace ToolDetection
