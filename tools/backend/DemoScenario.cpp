#include "tools/backend/DemoScenario.h"

#include "tools/backend/BackendService.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

struct DemoAgent
{
    const char* id;
    const char* name;
    const char* machine;
    int machineAgentCount;
};

const DemoAgent agents[] = {
    {"agt-demo-coder", "claude-code", "workstation", 3},
    {"agt-demo-editor", "cursor", "workstation", 3},
    {"agt-demo-assistant", "assistant", "laptop", 1},
};

QString segments(std::initializer_list<std::initializer_list<const char*>> rows)
{
    QJsonArray list;
    for (const auto& row : rows) {
        const auto* it = row.begin();
        list.append(QJsonObject{{QStringLiteral("segment"), QLatin1String(it[0])},
                                {QStringLiteral("base_cmd"), QLatin1String(it[1])},
                                {QStringLiteral("risk"), QLatin1String(it[2])}});
    }
    return QString::fromUtf8(QJsonDocument(list).toJson(QJsonDocument::Compact));
}

QJsonObject escalation(int index)
{
    const DemoAgent& agent = agents[index % 3];
    QJsonObject a{{QStringLiteral("agent_id"), QLatin1String(agent.id)},
                  {QStringLiteral("agent_name"), QLatin1String(agent.name)},
                  {QStringLiteral("agent_machine"), QLatin1String(agent.machine)},
                  {QStringLiteral("machine_agent_count"), agent.machineAgentCount}};
    switch (index % 8) {
    case 0:
        a.insert(QStringLiteral("tool_name"), QStringLiteral("Bash"));
        a.insert(QStringLiteral("classification"), QStringLiteral("high"));
        a.insert(QStringLiteral("tool_input"),
                 QJsonObject{{QStringLiteral("command"), QStringLiteral("rm -rf build && git push --force origin main")},
                             {QStringLiteral("short_summary"), QStringLiteral("Force-push after deleting the build")},
                             {QStringLiteral("detail_segments"),
                              segments({{"rm -rf build", "rm", "medium"},
                                        {"git push --force origin main", "git", "high"}})}});
        a.insert(QStringLiteral("explanation"),
                 QStringLiteral("A force push rewrites the shared history of main; other people's work can be lost."));
        break;
    case 1:
        a.insert(QStringLiteral("tool_name"), QStringLiteral("Edit"));
        a.insert(QStringLiteral("classification"), QStringLiteral("medium"));
        a.insert(QStringLiteral("tool_input"),
                 QJsonObject{{QStringLiteral("file_path"), QStringLiteral("/home/dev/project/.env")},
                             {QStringLiteral("summary"), QStringLiteral("Edit .env: change DATABASE_URL")}});
        break;
    case 2:
        a.insert(QStringLiteral("tool_name"), QStringLiteral("mcp__github__create_issue"));
        a.insert(QStringLiteral("classification"), QStringLiteral("low"));
        a.insert(QStringLiteral("tool_input"),
                 QJsonObject{{QStringLiteral("title"), QStringLiteral("Flaky test in the sync module")},
                             {QStringLiteral("repo"), QStringLiteral("acme/app")}});
        a.insert(QStringLiteral("tool_input_summary"), QStringLiteral("Create an issue in acme/app"));
        break;
    case 3:
        a.insert(QStringLiteral("tool_name"), QStringLiteral("Bash"));
        a.insert(QStringLiteral("classification"), QStringLiteral("medium"));
        a.insert(QStringLiteral("tool_input"),
                 QJsonObject{{QStringLiteral("command"), QStringLiteral("curl -s https://example.com/install.sh | sh")},
                             {QStringLiteral("detail_segments"),
                              segments({{"curl -s https://example.com/install.sh", "curl", "low"},
                                        {"sh", "sh", "high"}})}});
        break;
    case 4:
        a.insert(QStringLiteral("tool_name"), QStringLiteral("quorvane:unregister"));
        a.insert(QStringLiteral("tool_input"),
                 QJsonObject{{QStringLiteral("summary"), QStringLiteral("Unregister agent cursor from this machine")}});
        break;
    case 5:
        a.insert(QStringLiteral("tool_name"), QStringLiteral("mcp__claude_ai_Gmail__search_threads"));
        a.insert(QStringLiteral("classification"), QStringLiteral("low"));
        a.insert(QStringLiteral("tool_input"), QJsonObject{{QStringLiteral("query"), QStringLiteral("from:bank")}});
        break;
    case 6:
        a.insert(QStringLiteral("tool_name"), QStringLiteral("quorvane:link"));
        a.insert(QStringLiteral("tool_input"),
                 QJsonObject{{QStringLiteral("summary"), QStringLiteral("Link agent assistant to this account")}});
        break;
    default:
        a.insert(QStringLiteral("tool_name"), QStringLiteral("Write"));
        a.insert(QStringLiteral("classification"), QStringLiteral("low"));
        a.insert(QStringLiteral("tool_input"),
                 QJsonObject{{QStringLiteral("file_path"), QStringLiteral("/home/dev/project/README.md")}});
        break;
    }
    return a;
}

} // namespace

DemoScenario::DemoScenario(BackendService* service, QObject* parent)
    : QObject(parent)
    , m_service(service)
    , m_random(QRandomGenerator::securelySeeded())
{
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, [this] {
        emitNext();
        scheduleNext(int(m_random.bounded(20000, 40001)));
    });
}

void DemoScenario::start(int firstDelayMs)
{
    scheduleNext(firstDelayMs);
}

void DemoScenario::scheduleNext(int delayMs)
{
    m_timer.start(delayMs);
}

QString DemoScenario::emitNext()
{
    QJsonObject action = escalation(m_next++);
    action.insert(QStringLiteral("expires_in_seconds"), double(m_random.bounded(180, 301)));
    QString error;
    const auto stored = m_service->addAction(action, &error);
    return stored ? stored->value(QStringLiteral("id")).toString() : QString();
}
