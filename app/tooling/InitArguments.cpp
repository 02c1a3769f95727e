#include "app/tooling/InitArguments.h"

namespace InitArguments {

namespace {

void appendOptional(QStringList& arguments, const QString& flag, const QString& value)
{
    if (!value.isEmpty())
        arguments << flag << value;
}

QStringList build(bool global, const QString& name, const QString& templateName, const QString& agentType)
{
    QStringList arguments{QStringLiteral("init")};
    if (global)
        arguments << QStringLiteral("--global");
    appendOptional(arguments, QStringLiteral("--name"), name);
    arguments << QStringLiteral("--template") << templateName;
    appendOptional(arguments, QStringLiteral("--agent-type"), agentType);
    return arguments;
}

} // namespace

QStringList allProjects(const QString& name, const QString& templateName, const QString& agentType,
                        const QString& projectsRoot)
{
    QStringList arguments = build(true, name, templateName, agentType);
    appendOptional(arguments, QStringLiteral("--projects-root"), projectsRoot);
    return arguments;
}

QStringList perProject(const QString& name, const QString& templateName, const QString& agentType)
{
    return build(false, name, templateName, agentType);
}

} // namespace InitArguments
