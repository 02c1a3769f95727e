#include "app/tooling/ToolScan.h"

#include "core/JsonFields.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>

namespace ToolScan {

namespace {

QString withoutTrailingSlash(const QString& home)
{
    return home.size() > 1 && home.endsWith(QLatin1Char('/')) ? home.chopped(1) : home;
}

QStringList pathComponents(const QString& path)
{
    QStringList components = path.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    if (path.startsWith(QLatin1Char('/')))
        components.prepend(QStringLiteral("/"));
    return components;
}

QString joinComponents(const QStringList& components)
{
    if (components.first() != QLatin1String("/"))
        return components.join(QLatin1Char('/'));
    return QLatin1Char('/') + components.mid(1).join(QLatin1Char('/'));
}

DiscoveredProject readProject(const QJsonObject& object, const QString& home)
{
    DiscoveredProject project;
    project.path = abbreviateHome(object.value(QLatin1String("path")).toString(), home);
    project.isActive = object.value(QLatin1String("isActive")).toBool();
    project.lastUsed = object.value(QLatin1String("lastActive")).toString();
    return project;
}

bool folderExists(const DiscoveredProject& project, const QString& home)
{
    const QString path = expandHome(project.path, home);
    return QDir::isAbsolutePath(path) && QFileInfo::exists(path);
}

QList<DiscoveredProject> existingProjects(const QJsonObject& detection, const QString& home)
{
    const QJsonArray entries = detection.value(QLatin1String("details"))
                                   .toObject()
                                   .value(QLatin1String("projects"))
                                   .toArray();
    QList<DiscoveredProject> projects;
    for (qsizetype i = 0; i < entries.size() && i < maxProjectsPerTool; ++i) {
        if (!entries.at(i).isObject())
            continue;
        DiscoveredProject project = readProject(entries.at(i).toObject(), home);
        if (folderExists(project, home))
            projects.append(std::move(project));
    }
    return projects;
}

} // namespace

QString expandHome(const QString& path, const QString& home)
{
    if (path == QLatin1String("~"))
        return withoutTrailingSlash(home);
    if (path.startsWith(QLatin1String("~/")))
        return withoutTrailingSlash(home) + path.mid(1);
    return path;
}

QString abbreviateHome(const QString& path, const QString& home)
{
    const QString base = withoutTrailingSlash(home);
    if (base.isEmpty() || base == QLatin1String("/"))
        return path;
    // Only at a folder boundary: "/home/ann2" is not inside "/home/ann".
    if (path == base)
        return QStringLiteral("~");
    if (path.startsWith(base + QLatin1Char('/')))
        return QLatin1Char('~') + path.mid(base.size());
    return path;
}

std::optional<QString> commonProjectsRoot(const QList<DiscoveredProject>& projects, const QString& home)
{
    if (projects.isEmpty())
        return std::nullopt;
    QStringList common = pathComponents(expandHome(projects.first().path, home));
    for (const DiscoveredProject& project : projects) {
        const QStringList components = pathComponents(expandHome(project.path, home));
        qsizetype shared = 0;
        while (shared < common.size() && shared < components.size() && common.at(shared) == components.at(shared))
            ++shared;
        common.resize(shared);
    }
    if (common.isEmpty())
        return std::nullopt;

    const QString root = joinComponents(common);
    const QString homeFolder = withoutTrailingSlash(home);
    if (root == QLatin1String("/") || root == homeFolder)
        return std::nullopt;
    if (homeFolder.startsWith(root + QLatin1Char('/')))
        return std::nullopt;
    return root;
}

std::optional<DetectedTool> parseDetectedTool(const QJsonObject& entry, const QString& home)
{
    const QJsonObject detection = entry.value(QLatin1String("detection")).toObject();
    const QJsonValue status = detection.value(QLatin1String("status"));
    const QJsonValue displayName = entry.value(QLatin1String("displayName"));
    if (detection.isEmpty() || !status.isString() || status.toString() == QLatin1String("not_found")
        || !displayName.isString())
        return std::nullopt;

    DetectedTool tool;
    tool.name = displayName.toString();
    tool.subtitle = entry.value(QLatin1String("descriptorId")).toString();
    tool.projects = existingProjects(detection, home);
    tool.projectsRoot = commonProjectsRoot(tool.projects, home).value_or(QString());
    tool.projectsRootEnabled = !tool.projectsRoot.isEmpty();
    return tool;
}

QList<DetectedTool> parseOutput(const QString& output, const QString& home)
{
    const std::optional<QJsonObject> document = JsonFields::parseObject(output.toUtf8(), maxOutputBytes);
    const QJsonValue agents = document ? document->value(QLatin1String("agents")) : QJsonValue();
    if (!agents.isArray())
        return {};
    const QJsonArray entries = agents.toArray();
    for (const QJsonValue& entry : entries) {
        if (!entry.isObject())
            return {};
    }

    QList<DetectedTool> tools;
    for (qsizetype i = 0; i < entries.size() && tools.size() < maxTools; ++i) {
        if (auto tool = parseDetectedTool(entries.at(i).toObject(), home))
            tools.append(std::move(*tool));
    }
    return tools;
}

} // namespace ToolScan
