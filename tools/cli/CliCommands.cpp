#include "tools/cli/CliCommands.h"

#include "tools/cli/ControlClient.h"
#include "core/CoreConstants.h"

#include <QDateTime>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRandomGenerator>
#include <QUuid>
#include <chrono>
#include <cmath>
#include <qcoro/qcorotimer.h>

namespace {

constexpr int scenarioErrorStatus = 78;

QJsonArray defaultScanAgents()
{
    const auto tool = [](const char* name, const char* id, const char* status) {
        return QJsonObject {
            { QStringLiteral("displayName"), QLatin1String(name) },
            { QStringLiteral("descriptorId"), QLatin1String(id) },
            { QStringLiteral("detection"),
                QJsonObject { { QStringLiteral("status"), QLatin1String(status) },
                    { QStringLiteral("details"),
                        QJsonObject { { QStringLiteral("projects"), QJsonArray() } } } } },
        };
    };
    return { tool("Code Assistant", "code-assistant", "installed"),
        tool("Desk Assistant", "desk-assistant", "not_found") };
}

QJsonArray defaultMcpServers()
{
    return {
        QJsonObject { { QStringLiteral("name"), QStringLiteral("filesystem") },
            { QStringLiteral("command"), QStringLiteral("mcp-filesystem") },
            { QStringLiteral("tool"), QStringLiteral("code-assistant") } },
        QJsonObject { { QStringLiteral("name"), QStringLiteral("issue-tracker") },
            { QStringLiteral("url"), QStringLiteral("http://127.0.0.1:9/mcp") },
            { QStringLiteral("tool"), QStringLiteral("code-assistant") } },
    };
}

// Scenario files may write project paths as "~/..." so that one file serves
// any home folder; the tool itself reports absolute paths.
QJsonArray expandProjectPaths(QJsonArray agents)
{
    const QString home = CoreConstants::homeDirectory();
    for (qsizetype i = 0; i < agents.size(); ++i) {
        QJsonObject agent = agents.at(i).toObject();
        QJsonObject detection = agent.value(QStringLiteral("detection")).toObject();
        QJsonObject details = detection.value(QStringLiteral("details")).toObject();
        const QJsonValue projectsValue = details.value(QStringLiteral("projects"));
        if (!agents.at(i).isObject() || !projectsValue.isArray())
            continue;
        QJsonArray projects = projectsValue.toArray();
        for (qsizetype p = 0; p < projects.size(); ++p) {
            QJsonObject project = projects.at(p).toObject();
            const QString path = project.value(QStringLiteral("path")).toString();
            if (!projects.at(p).isObject()
                || !(path == QLatin1String("~") || path.startsWith(QLatin1String("~/"))))
                continue;
            project.insert(QStringLiteral("path"), QString(home + path.mid(1)));
            projects.replace(p, project);
        }
        details.insert(QStringLiteral("projects"), projects);
        detection.insert(QStringLiteral("details"), details);
        agent.insert(QStringLiteral("detection"), detection);
        agents.replace(i, agent);
    }
    return agents;
}

QString randomKey()
{
    QByteArray bytes(32, Qt::Uninitialized);
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32*>(bytes.data()), bytes.size() / 4);
    return QString::fromLatin1(
        bytes.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals));
}

// The agent's config.json: the registry fields plus the tool's own extras
// (agentType, projectsRoot).
QJsonObject agentConfig(const Invocation& invocation, const QString& name, const QString& agentType,
    const AgentStore::Machine& machine, const QString& agentId)
{
    QJsonObject config {
        { QStringLiteral("name"), name },
        { QStringLiteral("machine"), machine.name },
        { QStringLiteral("machineId"), machine.id },
        { QStringLiteral("publicKey"), randomKey() },
        { QStringLiteral("agentId"), agentId },
        { QStringLiteral("status"), QStringLiteral("active") },
        { QStringLiteral("createdAt"), QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs) },
        { QStringLiteral("apiUrl"), CoreConstants::apiBaseURL() },
        { QStringLiteral("template"), invocation.templateName },
        { QStringLiteral("scope"), invocation.global ? QStringLiteral("global") : QStringLiteral("project") },
        { QStringLiteral("agentType"), agentType },
    };
    if (!invocation.global)
        config.insert(QStringLiteral("projectPath"), QDir::currentPath());
    if (!invocation.projectsRoot.isEmpty())
        config.insert(QStringLiteral("projectsRoot"), invocation.projectsRoot);
    return config;
}

// GCC 12 mishandles temporaries made by conditional expressions inside
// coroutines (a double destruction), so the coroutines below take such values
// from these plain functions.
QString orDefault(const QString& value, const QString& fallback)
{
    return value.isEmpty() ? fallback : value;
}

QString orDefault(const QString& value, const char* fallback)
{
    return orDefault(value, QString::fromLatin1(fallback));
}

QJsonArray mcpInventory(const QJsonValue& servers)
{
    return servers.isArray() ? servers.toArray() : defaultMcpServers();
}

// A text count is passed on verbatim (tests use odd ones); a number in decimal.
QString suggestionCountText(const QJsonValue& count)
{
    return count.isString() ? count.toString() : QString::number(qint64(count.toDouble(3)));
}

QByteArray scanOutput(const QJsonValue& agents, qint64 paddingBytes)
{
    QJsonObject output;
    output.insert(QStringLiteral("agents"),
        agents.isArray() ? expandProjectPaths(agents.toArray()) : defaultScanAgents());
    // Padding keeps a very large output one valid JSON object.
    if (paddingBytes > 0)
        output.insert(QStringLiteral("padding"), QString(qsizetype(paddingBytes), u'x'));
    return QJsonDocument(output).toJson(QJsonDocument::Compact);
}

QString unregisterText(int status, const QString& agent)
{
    switch (status) {
    case 0:
        return QStringLiteral("Agent %1 removed").arg(agent);
    case 4:
        return QStringLiteral("Agent %1 removed locally; the server was unreachable").arg(agent);
    case 2:
        return QStringLiteral("Removal denied");
    case 3:
        return QStringLiteral("Timed out waiting for approval");
    default:
        return QStringLiteral("Removal failed");
    }
}

// An event's fields holding one named value in "data".
QJsonObject dataFields(const QString& key, const QString& value)
{
    QJsonObject data;
    data.insert(key, value);
    QJsonObject fields;
    fields.insert(QStringLiteral("data"), data);
    return fields;
}

// The event confirming the agent: "agentId" in data unless left out.
QJsonObject verifiedFields(const QString& name, const QString& agentId, bool omitAgentId)
{
    QJsonObject data { { QStringLiteral("name"), name } };
    if (!omitAgentId)
        data.insert(QStringLiteral("agentId"), agentId);
    return { { QStringLiteral("message"),
                 QString(QStringLiteral("Agent ") + name + QStringLiteral(" verified")) },
        { QStringLiteral("data"), data } };
}

} // namespace

CliCommands::CliCommands(Invocation invocation, CommandBehaviour behaviour, QNetworkAccessManager* network)
    : m_invocation(std::move(invocation))
    , m_behaviour(std::move(behaviour))
    , m_network(network)
    , m_writer(m_behaviour.splitLines, m_behaviour.splitDelayMs)
{
}

QCoro::Task<int> CliCommands::run()
{
    using Command = Invocation::Command;
    // Filler for capture tests; scan keeps its output one JSON object instead.
    if (m_behaviour.largeOutputBytes > 0 && m_invocation.command != Command::Scan)
        m_writer.filler(m_behaviour.largeOutputBytes);
    for (const QString& line : std::as_const(m_behaviour.malformedLines))
        co_await m_writer.line(line.toUtf8());
    if (m_behaviour.rawOutput) {
        m_writer.raw(m_behaviour.rawOutput->toUtf8());
        co_await afterLine();
        co_return m_behaviour.exitCode;
    }

    switch (m_invocation.command) {
    case Command::Version:
        co_return co_await version();
    case Command::Scan:
        co_return co_await scan();
    case Command::Preflight:
        co_return co_await preflight();
    case Command::Init:
        co_return co_await init();
    case Command::MarkLinked:
        co_return co_await markLinked();
    case Command::DownloadModel:
        co_return co_await downloadModel();
    case Command::AnalyzeHistory:
        co_return co_await analyzeHistory();
    case Command::Unregister:
        co_return co_await unregister();
    }
    co_return 1;
}

QCoro::Task<int> CliCommands::version()
{
    const QJsonValue text = m_behaviour.settings.value(QStringLiteral("text"));
    if (!text.isUndefined() && !text.isString())
        co_return co_await refuse(
            QStringLiteral("scenario version.text must be a string"), scenarioErrorStatus);
    if (m_behaviour.fails())
        co_return co_await fail();
    co_await emitLine(text.toString(QStringLiteral("1.0.0")).toUtf8());
    co_return 0;
}

QCoro::Task<int> CliCommands::scan()
{
    const QJsonValue agents = m_behaviour.settings.value(QStringLiteral("agents"));
    if (!agents.isUndefined() && !agents.isArray())
        co_return co_await refuse(
            QStringLiteral("scenario scan.agents must be an array"), scenarioErrorStatus);
    if (m_behaviour.fails())
        co_return co_await fail();
    const QByteArray output = scanOutput(agents, m_behaviour.largeOutputBytes);
    co_await emitLine(output);
    co_return 0;
}

QCoro::Task<int> CliCommands::preflight()
{
    const QStringList steps
        = { QStringLiteral("Checking the tool installation"), QStringLiteral("Checking the key store") };
    for (int step = 0; step < steps.size(); ++step) {
        if (failsAt(step))
            co_return co_await fail();
        co_await emitEvent(QStringLiteral("progress"),
            EventWriter::progress(double(step + 1) / (steps.size() + 1), steps.at(step)));
    }
    if (m_behaviour.fails())
        co_return co_await fail();
    co_await emitEvent(QStringLiteral("complete"), EventWriter::message(QStringLiteral("Ready")));
    co_return 0;
}

QCoro::Task<int> CliCommands::init()
{
    const QJsonValue fixedId = m_behaviour.settings.value(QStringLiteral("agentId"));
    const QJsonValue omitId = m_behaviour.settings.value(QStringLiteral("omitAgentId"));
    const QJsonValue useServer = m_behaviour.settings.value(QStringLiteral("registerWithServer"));
    if ((!fixedId.isUndefined() && !fixedId.isString()) || (!omitId.isUndefined() && !omitId.isBool())
        || (!useServer.isUndefined() && !useServer.isBool()))
        co_return co_await refuse(
            QStringLiteral("scenario init.agentId must be a string, init.omitAgentId and "
                           "init.registerWithServer true or false"),
            scenarioErrorStatus);

    const QString name = m_store.unusedName(orDefault(m_invocation.name, "agent"));
    const QString agentType = orDefault(m_invocation.agentType, "generic");

    if (failsAt(0))
        co_return co_await fail();
    co_await emitEvent(QStringLiteral("progress"),
        EventWriter::progress(0.25, QStringLiteral("Creating keys for agent %1").arg(name)));

    if (failsAt(1))
        co_return co_await fail();
    co_await emitEvent(QStringLiteral("progress"),
        EventWriter::progress(0.5, QStringLiteral("Registering agent %1 with the server").arg(name)));
    const AgentStore::Machine machine = m_store.machine();
    QString agentId = fixedId.toString();
    if (useServer.toBool(true)) {
        ControlClient client(m_network, CoreConstants::apiBaseURL());
        const ControlClient::Result created
            = co_await client.createAgent(name, agentType, m_invocation.templateName, machine.id, agentId);
        if (created.agentId.isEmpty())
            co_return co_await refuse(created.error);
        agentId = created.agentId;
    } else if (agentId.isEmpty()) {
        agentId = QString(QStringLiteral("agent-") + QUuid::createUuid().toString(QUuid::WithoutBraces));
    }

    if (failsAt(2))
        co_return co_await fail();
    co_await emitEvent(QStringLiteral("progress"),
        EventWriter::progress(
            0.75, QStringLiteral("Applying the %1 template").arg(m_invocation.templateName)));

    const QJsonObject config = agentConfig(m_invocation, name, agentType, machine, agentId);
    if (m_behaviour.fails())
        co_return co_await fail();
    QString error;
    if (!m_store.createAgent(name, config, &error))
        co_return co_await refuse(error);

    const QJsonObject verified = verifiedFields(name, agentId, omitId.toBool());
    co_await emitEvent(QStringLiteral("verified"), verified);
    co_return 0;
}

QCoro::Task<int> CliCommands::markLinked()
{
    if (m_behaviour.fails())
        co_return co_await fail();
    const auto folder = m_store.findAgent(m_invocation.agent);
    if (!folder)
        co_return co_await refuse(QStringLiteral("no agent named %1").arg(m_invocation.agent));
    QString error;
    if (!m_store.setStatus(*folder, QStringLiteral("linked"), &error))
        co_return co_await refuse(error);
    co_await emitEvent(QStringLiteral("complete"),
        EventWriter::message(QStringLiteral("Agent %1 marked as linked").arg(m_invocation.agent)));
    co_return 0;
}

QCoro::Task<int> CliCommands::downloadModel()
{
    const int steps = m_behaviour.steps;
    for (int step = 0; step < steps; ++step) {
        if (failsAt(step))
            co_return co_await fail();
        co_await emitEvent(QStringLiteral("progress"),
            EventWriter::progress(double(step + 1) / steps, QStringLiteral("Downloading model")));
    }
    if (m_behaviour.fails())
        co_return co_await fail();
    co_await emitEvent(QStringLiteral("complete"), EventWriter::message(QStringLiteral("Model ready")));
    co_return 0;
}

QCoro::Task<int> CliCommands::analyzeHistory()
{
    const QJsonValue count = m_behaviour.settings.value(QStringLiteral("suggestionCount"));
    const QJsonValue servers = m_behaviour.settings.value(QStringLiteral("mcpServers"));
    const double number = count.toDouble(3);
    if ((!count.isUndefined() && !count.isString()
            && (!count.isDouble() || number != std::floor(number) || std::fabs(number) > 1e15))
        || (!servers.isUndefined() && !servers.isArray()))
        co_return co_await refuse(
            QStringLiteral("scenario analyze-history.suggestionCount must be a whole number or "
                           "a string and analyze-history.mcpServers an array"),
            scenarioErrorStatus);

    const int steps = m_behaviour.steps;
    for (int step = 0; step < steps; ++step) {
        if (failsAt(step))
            co_return co_await fail();
        co_await emitEvent(QStringLiteral("progress"),
            EventWriter::progress(double(step + 1) / (steps + 1), QStringLiteral("Analyzing activity")));
    }
    if (m_behaviour.fails())
        co_return co_await fail();
    if (m_invocation.scanMcp) {
        co_await emitEvent(QStringLiteral("progress"),
            EventWriter::progress(
                double(steps) / (steps + 1) + 0.5 / (steps + 1), QStringLiteral("Discovering MCP servers")));
        QString error;
        const QJsonArray inventory = mcpInventory(servers);
        if (!m_store.writeMcpServers(inventory, &error))
            co_return co_await refuse(error);
    }
    const QString countText = suggestionCountText(count);
    co_await emitEvent(QStringLiteral("suggestion_count"), dataFields(QStringLiteral("count"), countText));
    co_await emitEvent(
        QStringLiteral("complete"), EventWriter::progress(1.0, QStringLiteral("Activity analysis complete")));
    co_return 0;
}

QCoro::Task<int> CliCommands::unregister()
{
    const auto folder = m_store.findAgent(m_invocation.agent);
    if (!folder)
        co_return co_await refuse(QStringLiteral("no agent named %1").arg(m_invocation.agent));
    co_await emitEvent(QStringLiteral("progress"),
        EventWriter::progress(0.5, QStringLiteral("Waiting for approval on your phone")));

    // 0: removed everywhere; 4: removed here, server unreachable; 2: denied;
    // 3: approval timed out; anything else: failed. Only 0 and 4 remove the folder.
    const int status = m_behaviour.exitCode;
    if (status == 0 || status == 4) {
        QString error;
        if (!m_store.removeAgent(*folder, &error))
            co_return co_await refuse(error);
        const QJsonObject removed = EventWriter::message(unregisterText(status, m_invocation.agent));
        co_await emitEvent(QStringLiteral("complete"), removed);
        co_return status;
    }
    const QString message = orDefault(m_behaviour.errorMessage, unregisterText(status, m_invocation.agent));
    co_await emitEvent(QStringLiteral("error"), EventWriter::failure(message));
    co_return status;
}

QCoro::Task<> CliCommands::emitEvent(const QString& type, const QJsonObject& fields)
{
    if (m_behaviour.stepDelayMs > 0)
        co_await QCoro::sleepFor(std::chrono::milliseconds(m_behaviour.stepDelayMs));
    co_await m_writer.event(type, fields);
    co_await afterLine();
}

QCoro::Task<> CliCommands::emitLine(const QByteArray& text)
{
    if (m_behaviour.stepDelayMs > 0)
        co_await QCoro::sleepFor(std::chrono::milliseconds(m_behaviour.stepDelayMs));
    co_await m_writer.line(text);
    co_await afterLine();
}

QCoro::Task<> CliCommands::afterLine()
{
    if (++m_linesWritten > 1 || !m_behaviour.hang)
        co_return;
    // Stay until terminated, as a tool waiting on a download or an approval would.
    for (;;)
        co_await QCoro::sleepFor(std::chrono::hours(1));
}

bool CliCommands::failsAt(int step) const
{
    return m_behaviour.fails() && step >= m_behaviour.failAfterSteps;
}

QCoro::Task<int> CliCommands::fail()
{
    if (!m_behaviour.errorMessage.isEmpty())
        co_await emitEvent(QStringLiteral("error"), EventWriter::failure(m_behaviour.errorMessage));
    co_return m_behaviour.exitCode;
}

QCoro::Task<int> CliCommands::refuse(const QString& message, int status)
{
    co_await emitEvent(QStringLiteral("error"), EventWriter::failure(message));
    co_return status;
}
