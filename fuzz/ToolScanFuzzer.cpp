#include "app/tooling/ToolScan.h"

#include <QDir>

#include <cstddef>
#include <cstdint>

// The product tool's scan output. Whatever it holds, every kept tool has a
// name, kept projects exist, and a root is an absolute folder other than "/"
// and the home folder.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString output = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    const QString home = QDir::tempPath();
    const QList<DetectedTool> tools = ToolScan::parseOutput(output, home);
    if (tools.size() > ToolScan::maxTools)
        __builtin_trap();
    for (const DetectedTool& tool : tools) {
        if (tool.projects.size() > ToolScan::maxProjectsPerTool)
            __builtin_trap();
        if (tool.projectsRootEnabled != !tool.projectsRoot.isEmpty())
            __builtin_trap();
        const QString root = ToolScan::expandHome(tool.projectsRoot, home);
        if (!tool.projectsRoot.isEmpty()
            && (!root.startsWith(QLatin1Char('/')) || root == QLatin1String("/") || root == home))
            __builtin_trap();
        for (const DiscoveredProject& project : tool.projects) {
            if (!QDir::isAbsolutePath(ToolScan::expandHome(project.path, home)))
                __builtin_trap();
        }
    }
    return 0;
}
