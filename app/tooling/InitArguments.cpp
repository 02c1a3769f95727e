#include "app/tooling/InitArguments.h"

namespace InitArguments {

namespace {

void addOption(QStringList& arguments, const QString& flag, const QString& value)
{
    if (!value.isEmpty())
        arguments << flag << value;
}

QStringList agentOptions(QStringList arguments, const QString& name, const QString& templateName,
                         const QString& agentType)
{
    addOption(arguments, QStringLiteral("--name"), name);
    arguments << QStringLiteral("--template") << templateName;
    addOption(arguments, QStringLiteral("--agent-type"), agentType);
    return arguments;
}

} // namespace

QStringList allProjects(const QString& name, const QString& templateName, const QString& agentType,
                        const QString& projectsRoot)
{
    QStringList arguments
        = agentOptions({QStringLiteral("init"), QStringLiteral("--global")}, name, templateName, agentType);
    addOption(arguments, QStringLiteral("--projects-root"), projectsRoot);
    return arguments;
}

QStringList perProject(const QString& name, const QString& templateName, const QString& agentType)
{
    return agentOptions({QStringLiteral("init")}, name, templateName, agentType);
}

} // namespace InitArguments
