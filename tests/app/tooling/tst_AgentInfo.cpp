#include "app/tooling/AgentInfo.h"
#include "core/CoreConstants.h"
#include "tests/support/TestHome.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

class TestAgentInfo : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void decode_data();
    void decode();
    void loadAllEdgeCases();
    void loadAllHostileEntries();
    void loadAllOrder();
    void scopeLabel_data();
    void scopeLabel();

private:
    static QByteArray config(const QString& name, const QString& createdAt, QJsonObject extra = {},
                             const QStringList& without = {});
};

QByteArray TestAgentInfo::config(const QString& name, const QString& createdAt, QJsonObject extra,
                                 const QStringList& without)
{
    QJsonObject object{{QStringLiteral("name"), name},
                       {QStringLiteral("machine"), QStringLiteral("desk")},
                       {QStringLiteral("machineId"), QStringLiteral("m_1")},
                       {QStringLiteral("publicKey"), QStringLiteral("pk")},
                       {QStringLiteral("createdAt"), createdAt},
                       {QStringLiteral("apiUrl"), QStringLiteral("https://api.example")}};
    for (auto it = extra.constBegin(); it != extra.constEnd(); ++it)
        object.insert(it.key(), *it);
    for (const QString& key : without)
        object.remove(key);
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

void TestAgentInfo::decode_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<bool>("decodes");

    const QString t = QStringLiteral("2025-01-01T00:00:00Z");
    QTest::newRow("required only") << config(QStringLiteral("a"), t) << true;
    QTest::newRow("all optional")
        << config(QStringLiteral("a"), t,
                  {{QStringLiteral("agentId"), QStringLiteral("ag")},
                   {QStringLiteral("status"), QStringLiteral("active")},
                   {QStringLiteral("template"), QStringLiteral("restrictive")},
                   {QStringLiteral("scope"), QStringLiteral("global")},
                   {QStringLiteral("projectPath"), QStringLiteral("/p")}})
        << true;
    QTest::newRow("extra keys") << config(QStringLiteral("a"), t,
                                          {{QStringLiteral("hooks"), QJsonObject{{QStringLiteral("x"), 1}}},
                                           {QStringLiteral("version"), 3}})
                                << true;
    QTest::newRow("null optional") << config(QStringLiteral("a"), t, {{QStringLiteral("agentId"), QJsonValue()}})
                                   << true;
    for (const char* key : {"name", "machine", "machineId", "publicKey", "createdAt", "apiUrl"}) {
        QTest::addRow("missing %s", key) << config(QStringLiteral("a"), t, {}, {QLatin1String(key)})
                                         << false;
        QTest::addRow("numeric %s", key) << config(QStringLiteral("a"), t, {{QLatin1String(key), 42}}) << false;
        QTest::addRow("null %s", key) << config(QStringLiteral("a"), t, {{QLatin1String(key), QJsonValue()}})
                                      << false;
    }
    for (const char* key : {"agentId", "status", "template", "scope", "projectPath"}) {
        QTest::addRow("array %s", key) << config(QStringLiteral("a"), t, {{QLatin1String(key), QJsonArray()}})
                                       << false;
        QTest::addRow("bool %s", key) << config(QStringLiteral("a"), t, {{QLatin1String(key), true}}) << false;
    }
    QTest::newRow("not json") << QByteArray("name=a") << false;
    QTest::newRow("array") << QByteArray("[]") << false;
    QTest::newRow("truncated") << config(QStringLiteral("a"), t).chopped(3) << false;
    QTest::newRow("empty") << QByteArray() << false;
    QTest::newRow("too large") << (config(QStringLiteral("a"), t).chopped(1) + ",\"pad\":\""
                                   + QByteArray(AgentInfo::maxConfigSize, 'x') + "\"}")
                               << false;
}

void TestAgentInfo::decode()
{
    QFETCH(QByteArray, json);
    QFETCH(bool, decodes);
    const std::optional<AgentInfo> agent = AgentInfo::decode(json);
    QCOMPARE(agent.has_value(), decodes);
    if (agent) {
        QCOMPARE(agent->name, QStringLiteral("a"));
        QCOMPARE(agent->machineId, QStringLiteral("m_1"));
        QCOMPARE(agent->apiUrl, QStringLiteral("https://api.example"));
    }
}

void TestAgentInfo::loadAllEdgeCases()
{
    TestHome home;
    // No agents folder at all.
    QVERIFY(AgentInfo::loadAll().isEmpty());
    QVERIFY(AgentInfo::loadAll(home.filePath(QStringLiteral("nowhere"))).isEmpty());

    const QString t = QStringLiteral("2025-02-01T00:00:00Z");
    QVERIFY(home.write(QStringLiteral(".quorvane/agents/good/config.json"), config(QStringLiteral("good"), t)));
    QVERIFY(home.write(QStringLiteral(".quorvane/agents/extra/config.json"),
                       config(QStringLiteral("extra"), t, {{QStringLiteral("future"), QStringLiteral("x")}})));
    // A plain file directly inside the agents folder.
    QVERIFY(home.write(QStringLiteral(".quorvane/agents/config.json"), config(QStringLiteral("plain"), t)));
    // A hidden folder.
    QVERIFY(home.write(QStringLiteral(".quorvane/agents/.hidden/config.json"), config(QStringLiteral("hidden"), t)));
    // A folder without config.json.
    QVERIFY(QDir().mkpath(home.filePath(QStringLiteral(".quorvane/agents/empty"))));
    // A config.json without createdAt.
    QVERIFY(home.write(QStringLiteral(".quorvane/agents/nodate/config.json"),
                       config(QStringLiteral("nodate"), t, {}, {QStringLiteral("createdAt")})));
    // Damaged and wrongly typed files.
    QVERIFY(home.write(QStringLiteral(".quorvane/agents/damaged/config.json"), "{\"name\": \"dam"));
    QVERIFY(home.write(QStringLiteral(".quorvane/agents/typed/config.json"),
                       config(QStringLiteral("typed"), t, {{QStringLiteral("scope"), 7}})));
    // config.json that is a folder.
    QVERIFY(QDir().mkpath(home.filePath(QStringLiteral(".quorvane/agents/dirconfig/config.json"))));

    const QList<AgentInfo> agents = AgentInfo::loadAll();
    QStringList names;
    for (const AgentInfo& agent : agents)
        names.append(agent.name);
    names.sort();
    QCOMPARE(names, (QStringList{QStringLiteral("extra"), QStringLiteral("good")}));
    QCOMPARE(AgentInfo::loadAll(CoreConstants::agentsDirectory()).size(), 2);
}

void TestAgentInfo::loadAllHostileEntries()
{
    TestHome home;
    const QString agentsDir = home.filePath(QStringLiteral(".quorvane/agents"));
    const QString t = QStringLiteral("2025-02-01T00:00:00Z");
    QVERIFY(home.write(QStringLiteral("outside/config.json"), config(QStringLiteral("outside"), t)));
    QVERIFY(home.write(QStringLiteral(".quorvane/agents/real/config.json"), config(QStringLiteral("real"), t)));

    // A symbolic link to a folder elsewhere is not an agent folder.
    QVERIFY(QFile::link(home.filePath(QStringLiteral("outside")), agentsDir + QStringLiteral("/linked")));
    // A config.json that is a symbolic link, one that is a FIFO (reading it
    // would block) and one that is a link to an endless device.
    QVERIFY(QDir().mkpath(agentsDir + QStringLiteral("/symconfig")));
    QVERIFY(QFile::link(home.filePath(QStringLiteral("outside/config.json")),
                        agentsDir + QStringLiteral("/symconfig/config.json")));
    QVERIFY(QDir().mkpath(agentsDir + QStringLiteral("/fifo")));
    QCOMPARE(::mkfifo(QFile::encodeName(agentsDir + QStringLiteral("/fifo/config.json")).constData(), 0600), 0);
    QVERIFY(QDir().mkpath(agentsDir + QStringLiteral("/zero")));
    QVERIFY(QFile::link(QStringLiteral("/dev/zero"), agentsDir + QStringLiteral("/zero/config.json")));
    // A huge file.
    QVERIFY(home.write(QStringLiteral(".quorvane/agents/huge/config.json"),
                       config(QStringLiteral("huge"), t).chopped(1) + ",\"pad\":\""
                           + QByteArray(2 * AgentInfo::maxConfigSize, 'x') + "\"}"));
    // A folder whose name is not valid UTF-8 is read like any other.
    const QByteArray oddName = QFile::encodeName(agentsDir) + "/odd-\xff\xfe";
    QCOMPARE(::mkdir(oddName.constData(), 0700), 0);
    {
        // Written through POSIX: the name does not survive a trip through QString.
        const QByteArray content = config(QStringLiteral("odd"), t);
        const QByteArray oddConfig = oddName + "/config.json";
        FILE* raw = ::fopen(oddConfig.constData(), "wb");
        QVERIFY(raw);
        QCOMPARE(::fwrite(content.constData(), 1, size_t(content.size()), raw), size_t(content.size()));
        ::fclose(raw);
    }
    // An unreadable folder.
    QVERIFY(home.write(QStringLiteral(".quorvane/agents/locked/config.json"), config(QStringLiteral("locked"), t)));
    QCOMPARE(::chmod(QFile::encodeName(agentsDir + QStringLiteral("/locked")).constData(), 0), 0);

    QStringList names;
    for (const AgentInfo& agent : AgentInfo::loadAll())
        names.append(agent.name);
    names.sort();
    ::chmod(QFile::encodeName(agentsDir + QStringLiteral("/locked")).constData(), 0700);
    QStringList expected{QStringLiteral("odd"), QStringLiteral("real")};
    if (::geteuid() == 0) // root reads the locked folder anyway
        expected.prepend(QStringLiteral("locked"));
    QCOMPARE(names, expected);

    // The agents folder itself being a file.
    TestHome other;
    QVERIFY(other.write(QStringLiteral(".quorvane/agents"), "not a folder"));
    QVERIFY(AgentInfo::loadAll().isEmpty());
}

void TestAgentInfo::loadAllOrder()
{
    TestHome home;
    QVERIFY(home.write(QStringLiteral(".quorvane/agents/a1/config.json"),
                       config(QStringLiteral("january"), QStringLiteral("2025-01-15T10:00:00Z"))));
    QVERIFY(home.write(QStringLiteral(".quorvane/agents/a2/config.json"),
                       config(QStringLiteral("march"), QStringLiteral("2025-03-02T08:00:00Z"))));
    QVERIFY(home.write(QStringLiteral(".quorvane/agents/a3/config.json"),
                       config(QStringLiteral("february"), QStringLiteral("2025-02-20T23:59:59Z"))));
    const QList<AgentInfo> agents = AgentInfo::loadAll();
    QCOMPARE(agents.size(), 3);
    QCOMPARE(agents[0].name, QStringLiteral("march"));
    QCOMPARE(agents[1].name, QStringLiteral("february"));
    QCOMPARE(agents[2].name, QStringLiteral("january"));
}

void TestAgentInfo::scopeLabel_data()
{
    QTest::addColumn<QVariant>("scope");
    QTest::addColumn<QVariant>("projectPath");
    QTest::addColumn<QString>("label");

    const QVariant none;
    QTest::newRow("global with project") << QVariant(QStringLiteral("global"))
                                         << QVariant(QStringLiteral("/home/alice/p")) << QStringLiteral("All projects");
    QTest::newRow("global") << QVariant(QStringLiteral("global")) << none << QStringLiteral("All projects");
    QTest::newRow("project in home") << none << QVariant(QStringLiteral("/home/alice/code/app"))
                                     << QStringLiteral("~/code/app");
    QTest::newRow("project is home") << none << QVariant(QStringLiteral("/home/alice")) << QStringLiteral("~");
    QTest::newRow("project elsewhere") << none << QVariant(QStringLiteral("/srv/app")) << QStringLiteral("/srv/app");
    QTest::newRow("home name is only a prefix")
        << none << QVariant(QStringLiteral("/home/alicia/app")) << QStringLiteral("/home/alicia/app");
    QTest::newRow("project wins over other scope")
        << QVariant(QStringLiteral("project")) << QVariant(QStringLiteral("/home/alice/x")) << QStringLiteral("~/x");
    QTest::newRow("scope text") << QVariant(QStringLiteral("workspace")) << none << QStringLiteral("workspace");
    QTest::newRow("neither") << none << none << QStringLiteral("Unknown");
}

void TestAgentInfo::scopeLabel()
{
    QFETCH(QVariant, scope);
    QFETCH(QVariant, projectPath);
    QFETCH(QString, label);
    AgentInfo agent;
    if (scope.isValid())
        agent.scope = scope.toString();
    if (projectPath.isValid())
        agent.projectPath = projectPath.toString();
    QCOMPARE(agent.scopeLabel(QStringLiteral("/home/alice")), label);
    QCOMPARE(agent.scopeLabel(QStringLiteral("/home/alice/")), label);

    // The default home folder is the program's one.
    TestHome home;
    AgentInfo local;
    local.projectPath = home.filePath(QStringLiteral("proj"));
    QCOMPARE(local.scopeLabel(), QStringLiteral("~/proj"));
}

QTEST_GUILESS_MAIN(TestAgentInfo)
#include "tst_AgentInfo.moc"
