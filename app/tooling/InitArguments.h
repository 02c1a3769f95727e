#pragma once

#include <QString>
#include <QStringList>

// The argument lists of the product tool's "init", which registers one agent.
// Optional values are left out, flag and all, when they are empty.
namespace InitArguments {

// One agent for every project: "init" "--global" ["--name" name] "--template"
// template ["--agent-type" type] ["--projects-root" root]. Runs without a
// working directory.
QStringList allProjects(const QString& name, const QString& templateName, const QString& agentType,
                        const QString& projectsRoot);

// One agent for the project the run is started in: "init" ["--name" name]
// "--template" template ["--agent-type" type].
QStringList perProject(const QString& name, const QString& templateName, const QString& agentType);

} // namespace InitArguments
