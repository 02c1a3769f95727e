#pragma once

#include <QString>
#include <QStringList>
#include <optional>

// One command line of the tool, checked against the argument lists the
// companion uses. Anything else is a usage error, so a caller that passes a
// wrong list learns it at once.
struct Invocation
{
    enum class Command {
        Version,
        Scan,
        Preflight,
        Init,
        MarkLinked,
        DownloadModel,
        AnalyzeHistory,
        Unregister
    };

    Command command = Command::Version;
    QStringList arguments; // as given, without the program name
    bool wizard = false;
    bool global = false;
    QString name;
    QString templateName;
    QString agentType;
    QString projectsRoot;
    QString agent;
    bool removeGlobalRules = false;
    bool scanMcp = false;

    // The key of this command in the scenario file.
    QString scenarioKey() const;

    static std::optional<Invocation> parse(const QStringList& arguments, QString* error);

    // Agent names: a lower-case letter or digit, then up to 31 lower-case
    // letters, digits or hyphens. This also keeps names usable as folder names.
    static bool isValidAgentName(const QString& name);
};
