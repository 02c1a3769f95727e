#include "tools/cli/Invocation.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

namespace {

const QStringList templates = {
    QStringLiteral("developer-workstation"),
    QStringLiteral("personal-assistant"),
    QStringLiteral("restrictive"),
};

// Walks the options after the command word. Flags may come in any order but
// only once each; value flags take the next argument.
class OptionReader
{
public:
    OptionReader(const QStringList& arguments, qsizetype first, QString* error)
        : m_arguments(arguments)
        , m_position(first)
        , m_error(error)
    {
    }

    bool atEnd() const { return m_position >= m_arguments.size(); }
    QString next() { return m_arguments.at(m_position++); }

    bool value(const QString& flag, QString* out)
    {
        if (!once(flag))
            return false;
        if (atEnd() || m_arguments.at(m_position).startsWith(QLatin1String("--"))) {
            *m_error = QStringLiteral("%1 needs a value").arg(flag);
            return false;
        }
        *out = next();
        return true;
    }

    bool flag(const QString& flag, bool* out)
    {
        if (!once(flag))
            return false;
        *out = true;
        return true;
    }

    bool unknown(const QString& argument)
    {
        *m_error = QStringLiteral("unknown option %1").arg(argument);
        return false;
    }

private:
    bool once(const QString& flag)
    {
        if (m_seen.contains(flag)) {
            *m_error = QStringLiteral("%1 given more than once").arg(flag);
            return false;
        }
        m_seen.append(flag);
        return true;
    }

    const QStringList& m_arguments;
    qsizetype m_position;
    QString* m_error;
    QStringList m_seen;
};

bool isValidAgentType(const QString& type)
{
    static const QRegularExpression pattern(
        QRegularExpression::anchoredPattern(QStringLiteral("[A-Za-z0-9][A-Za-z0-9._-]{0,63}")));
    return pattern.match(type).hasMatch();
}

bool parseOptions(Invocation& invocation, OptionReader& reader, QString* error)
{
    using Command = Invocation::Command;
    while (!reader.atEnd()) {
        const QString argument = reader.next();
        bool ok = false;
        if (argument == QLatin1String("--wizard")) {
            ok = reader.flag(argument, &invocation.wizard);
        } else if (invocation.command == Command::Scan && argument == QLatin1String("--format")) {
            QString format;
            ok = reader.value(argument, &format);
            if (ok && format != QLatin1String("json")) {
                *error = QStringLiteral("unsupported format %1").arg(format);
                return false;
            }
        } else if (invocation.command == Command::Init && argument == QLatin1String("--global")) {
            ok = reader.flag(argument, &invocation.global);
        } else if (invocation.command == Command::Init && argument == QLatin1String("--name")) {
            ok = reader.value(argument, &invocation.name);
        } else if (invocation.command == Command::Init && argument == QLatin1String("--template")) {
            ok = reader.value(argument, &invocation.templateName);
        } else if (invocation.command == Command::Init && argument == QLatin1String("--agent-type")) {
            ok = reader.value(argument, &invocation.agentType);
        } else if (invocation.command == Command::Init && argument == QLatin1String("--projects-root")) {
            ok = reader.value(argument, &invocation.projectsRoot);
        } else if ((invocation.command == Command::MarkLinked || invocation.command == Command::Unregister)
            && argument == QLatin1String("--agent")) {
            ok = reader.value(argument, &invocation.agent);
        } else if (invocation.command == Command::Unregister && argument == QLatin1String("--force")) {
            bool force = false;
            ok = reader.flag(argument, &force);
        } else if (invocation.command == Command::Unregister
            && argument == QLatin1String("--remove-global-rules")) {
            ok = reader.flag(argument, &invocation.removeGlobalRules);
        } else if (invocation.command == Command::AnalyzeHistory && argument == QLatin1String("--scan-mcp")) {
            ok = reader.flag(argument, &invocation.scanMcp);
        } else {
            ok = reader.unknown(argument);
        }
        if (!ok)
            return false;
    }
    return true;
}

bool checkRequired(const Invocation& invocation, QString* error)
{
    using Command = Invocation::Command;
    const QStringList& args = invocation.arguments;
    switch (invocation.command) {
    case Command::Version:
    case Command::DownloadModel:
    case Command::AnalyzeHistory:
    case Command::Preflight:
        return true;
    case Command::Scan:
        if (!args.contains(QStringLiteral("--format"))) {
            *error = QStringLiteral("scan needs --format json");
            return false;
        }
        return true;
    case Command::Init:
        if (!templates.contains(invocation.templateName)) {
            *error = invocation.templateName.isEmpty()
                ? QStringLiteral("init needs --template")
                : QStringLiteral("unknown template %1").arg(invocation.templateName);
            return false;
        }
        if (args.contains(QStringLiteral("--name")) && !Invocation::isValidAgentName(invocation.name)) {
            *error = QStringLiteral("invalid agent name %1").arg(invocation.name);
            return false;
        }
        if (args.contains(QStringLiteral("--agent-type")) && !isValidAgentType(invocation.agentType)) {
            *error = QStringLiteral("invalid agent type %1").arg(invocation.agentType);
            return false;
        }
        if (args.contains(QStringLiteral("--projects-root"))) {
            const QFileInfo root(invocation.projectsRoot);
            if (!QDir::isAbsolutePath(invocation.projectsRoot) || !root.isDir()) {
                *error = QStringLiteral("projects root %1 is not an existing absolute folder")
                             .arg(invocation.projectsRoot);
                return false;
            }
        }
        return true;
    case Command::MarkLinked:
    case Command::Unregister:
        if (!Invocation::isValidAgentName(invocation.agent)) {
            *error = invocation.agent.isEmpty()
                ? QStringLiteral("--agent is required")
                : QStringLiteral("invalid agent name %1").arg(invocation.agent);
            return false;
        }
        if (invocation.command == Command::Unregister && !args.contains(QStringLiteral("--force"))) {
            *error = QStringLiteral("unregister needs --force when not run interactively");
            return false;
        }
        return true;
    }
    return true;
}

} // namespace

QString Invocation::scenarioKey() const
{
    switch (command) {
    case Command::Version:
        return QStringLiteral("version");
    case Command::Scan:
        return QStringLiteral("scan");
    case Command::Preflight:
        return QStringLiteral("preflight");
    case Command::Init:
        return QStringLiteral("init");
    case Command::MarkLinked:
        return QStringLiteral("mark-linked");
    case Command::DownloadModel:
        return QStringLiteral("download-model");
    case Command::AnalyzeHistory:
        return QStringLiteral("analyze-history");
    case Command::Unregister:
        return QStringLiteral("unregister");
    }
    return {};
}

std::optional<Invocation> Invocation::parse(const QStringList& arguments, QString* error)
{
    Invocation invocation;
    invocation.arguments = arguments;
    if (arguments.isEmpty()) {
        *error = QStringLiteral("no command given");
        return std::nullopt;
    }

    const QString word = arguments.first();
    qsizetype first = 1;
    if (word == QLatin1String("--version")) {
        invocation.command = Command::Version;
    } else if (word == QLatin1String("scan")) {
        invocation.command = Command::Scan;
    } else if (word == QLatin1String("init")) {
        // "init --preflight" prepares the tool; every other init registers an agent.
        if (arguments.size() > 1 && arguments.at(1) == QLatin1String("--preflight")) {
            invocation.command = Command::Preflight;
            first = 2;
        } else {
            invocation.command = Command::Init;
        }
    } else if (word == QLatin1String("mark-linked")) {
        invocation.command = Command::MarkLinked;
    } else if (word == QLatin1String("download-model")) {
        invocation.command = Command::DownloadModel;
    } else if (word == QLatin1String("analyze-history")) {
        invocation.command = Command::AnalyzeHistory;
    } else if (word == QLatin1String("unregister")) {
        invocation.command = Command::Unregister;
    } else {
        *error = QStringLiteral("unknown command %1").arg(word);
        return std::nullopt;
    }

    OptionReader reader(arguments, first, error);
    if (!parseOptions(invocation, reader, error) || !checkRequired(invocation, error))
        return std::nullopt;
    return invocation;
}

bool Invocation::isValidAgentName(const QString& name)
{
    static const QRegularExpression pattern(
        QRegularExpression::anchoredPattern(QStringLiteral("[a-z0-9][a-z0-9-]{0,31}")));
    return pattern.match(name).hasMatch();
}
