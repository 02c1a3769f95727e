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

// An agent's config.json as the product tool writes it, and the agents folder
// read whatever lies in it.
class TestAgentInfo : public QObject
{
    Q_OBJECT

    static QByteArray config(const QString& name, const QString& createdAt = {},
        const QJsonObject& extra = {}, const QString& without = {})
    {
        QJsonObject object { { QStringLiteral("name"), name },
            { QStringLiteral("machine"), QStringLiteral("desk") },
            { QStringLiteral("machineId"), QStringLiteral("m_1") },
            { QStringLiteral("publicKey"), QStringLiteral("pk") },
            { QStringLiteral("createdAt"),
                createdAt.isEmpty() ? QStringLiteral("2025-02-01T00:00:00Z") : createdAt },
            { QStringLiteral("apiUrl"), QStringLiteral("https://api.example") } };
        for (auto it = extra.constBegin(); it != extra.constEnd(); ++it)
            object.insert(it.key(), *it);
        object.remove(without);
        return QJsonDocument(object).toJson(QJsonDocument::Compact);
    }

private Q_SLOTS:
    void decode_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<bool>("decodes");
        const QString a = QStringLiteral("a");
        QTest::newRow("required only") << config(a) << true;
        QTest::newRow("all optional and extra keys") << config(a, {},
            { { QStringLiteral("agentId"), QStringLiteral("ag") },
                { QStringLiteral("status"), QStringLiteral("active") },
                { QStringLiteral("template"), QStringLiteral("restrictive") },
                { QStringLiteral("scope"), QStringLiteral("global") },
                { QStringLiteral("projectPath"), QStringLiteral("/p") },
                { QStringLiteral("hooks"), QJsonObject { { QStringLiteral("x"), 1 } } } })
                                                     << true;
        QTest::newRow("null optional")
            << config(a, {}, { { QStringLiteral("agentId"), QJsonValue() } }) << true;
        for (const char* key : { "name", "machine", "machineId", "publicKey", "createdAt", "apiUrl" }) {
            QTest::addRow("missing %s", key) << config(a, {}, {}, QLatin1String(key)) << false;
            QTest::addRow("numeric %s", key) << config(a, {}, { { QLatin1String(key), 42 } }) << false;
            QTest::addRow("null %s", key) << config(a, {}, { { QLatin1String(key), QJsonValue() } }) << false;
        }
        for (const char* key : { "agentId", "status", "template", "scope", "projectPath" }) {
            QTest::addRow("array %s", key)
                << config(a, {}, { { QLatin1String(key), QJsonArray() } }) << false;
            QTest::addRow("bool %s", key) << config(a, {}, { { QLatin1String(key), true } }) << false;
        }
        QTest::newRow("not json") << QByteArray("name=a") << false;
        QTest::newRow("array") << QByteArray("[]") << false;
        QTest::newRow("truncated") << config(a).chopped(3) << false;
        QTest::newRow("too large") << (config(a).chopped(1) + ",\"pad\":\""
            + QByteArray(AgentInfo::maxConfigSize, 'x') + "\"}")
                                   << false;
    }
    void decode()
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

    // Only the readable agent folders count, newest first; nothing in the
    // folder may block or flood the reading.
    void loadAll()
    {
        TestHome home;
        QVERIFY(AgentInfo::loadAll().isEmpty());
        const QString agentsDir = home.filePath(QStringLiteral(".quorvane/agents"));
        const auto write = [&home](const QString& folder, const QByteArray& content) {
            return home.write(QStringLiteral(".quorvane/agents/%1/config.json").arg(folder), content);
        };
        QVERIFY(write(
            QStringLiteral("a1"), config(QStringLiteral("january"), QStringLiteral("2025-01-15T10:00:00Z"))));
        QVERIFY(write(
            QStringLiteral("a2"), config(QStringLiteral("march"), QStringLiteral("2025-03-02T08:00:00Z"))));
        QVERIFY(write(QStringLiteral("a3"),
            config(QStringLiteral("february"), {}, { { QStringLiteral("future"), QStringLiteral("x") } })));
        // A plain file directly inside the agents folder, a hidden folder, a folder without config.json.
        QVERIFY(home.write(QStringLiteral(".quorvane/agents/config.json"), config(QStringLiteral("plain"))));
        QVERIFY(write(QStringLiteral(".hidden"), config(QStringLiteral("hidden"))));
        QVERIFY(QDir().mkpath(agentsDir + QStringLiteral("/empty")));
        // Damaged, incomplete and wrongly typed files, and a config.json that is a folder.
        QVERIFY(write(QStringLiteral("damaged"), "{\"name\": \"dam"));
        QVERIFY(write(
            QStringLiteral("nodate"), config(QStringLiteral("nodate"), {}, {}, QStringLiteral("createdAt"))));
        QVERIFY(write(QStringLiteral("typed"),
            config(QStringLiteral("typed"), {}, { { QStringLiteral("scope"), 7 } })));
        QVERIFY(QDir().mkpath(agentsDir + QStringLiteral("/dirconfig/config.json")));
        // A link to a folder elsewhere is not an agent folder; a config.json that
        // is a link, a FIFO (reading it would block) or a link to an endless device
        // is not read; neither is a huge one.
        QVERIFY(home.write(QStringLiteral("outside/config.json"), config(QStringLiteral("outside"))));
        QVERIFY(QFile::link(home.filePath(QStringLiteral("outside")), agentsDir + QStringLiteral("/linked")));
        QVERIFY(QDir().mkpath(agentsDir + QStringLiteral("/symconfig")));
        QVERIFY(QFile::link(home.filePath(QStringLiteral("outside/config.json")),
            agentsDir + QStringLiteral("/symconfig/config.json")));
        QVERIFY(QDir().mkpath(agentsDir + QStringLiteral("/fifo")));
        QCOMPARE(
            ::mkfifo(QFile::encodeName(agentsDir + QStringLiteral("/fifo/config.json")).constData(), 0600),
            0);
        QVERIFY(QDir().mkpath(agentsDir + QStringLiteral("/zero")));
        QVERIFY(QFile::link(QStringLiteral("/dev/zero"), agentsDir + QStringLiteral("/zero/config.json")));
        QVERIFY(write(QStringLiteral("huge"),
            config(QStringLiteral("huge")).chopped(1) + ",\"pad\":\""
                + QByteArray(2 * AgentInfo::maxConfigSize, 'x') + "\"}"));
        // A folder whose name is not valid UTF-8 is read like any other; the
        // name does not survive a trip through QString, so POSIX writes it.
        const QByteArray oddName = QFile::encodeName(agentsDir) + "/odd-\xff\xfe";
        QCOMPARE(::mkdir(oddName.constData(), 0700), 0);
        const QByteArray odd = config(QStringLiteral("odd"), QStringLiteral("2025-01-01T00:00:00Z"));
        FILE* raw = ::fopen(QByteArray(oddName + "/config.json").constData(), "wb");
        QVERIFY(raw);
        QCOMPARE(::fwrite(odd.constData(), 1, size_t(odd.size()), raw), size_t(odd.size()));
        ::fclose(raw);
        // An unreadable folder.
        QVERIFY(write(QStringLiteral("locked"),
            config(QStringLiteral("locked"), QStringLiteral("2024-01-01T00:00:00Z"))));
        QCOMPARE(::chmod(QFile::encodeName(agentsDir + QStringLiteral("/locked")).constData(), 0), 0);

        QStringList names;
        for (const AgentInfo& agent : AgentInfo::loadAll(CoreConstants::agentsDirectory()))
            names.append(agent.name);
        ::chmod(QFile::encodeName(agentsDir + QStringLiteral("/locked")).constData(), 0700);
        QStringList expected { QStringLiteral("march"), QStringLiteral("february"), QStringLiteral("january"),
            QStringLiteral("odd") };
        if (::geteuid() == 0) // root reads the locked folder anyway
            expected.append(QStringLiteral("locked"));
        QCOMPARE(names, expected);

        // The agents folder itself being a file.
        TestHome other;
        QVERIFY(other.write(QStringLiteral(".quorvane/agents"), "not a folder"));
        QVERIFY(AgentInfo::loadAll().isEmpty());
    }

    void scopeLabel_data()
    {
        QTest::addColumn<QString>("scope"); // null: absent
        QTest::addColumn<QString>("projectPath"); // null: absent
        QTest::addColumn<QString>("label");
        const QString none;
        const QString global = QStringLiteral("global");
        QTest::newRow("global with project")
            << global << QStringLiteral("/home/alice/p") << QStringLiteral("All projects");
        QTest::newRow("global") << global << none << QStringLiteral("All projects");
        QTest::newRow("project in home")
            << none << QStringLiteral("/home/alice/code/app") << QStringLiteral("~/code/app");
        QTest::newRow("project is home") << none << QStringLiteral("/home/alice") << QStringLiteral("~");
        QTest::newRow("home name is only a prefix")
            << none << QStringLiteral("/home/alicia/app") << QStringLiteral("/home/alicia/app");
        QTest::newRow("project wins over other scope")
            << QStringLiteral("project") << QStringLiteral("/home/alice/x") << QStringLiteral("~/x");
        QTest::newRow("scope text") << QStringLiteral("workspace") << none << QStringLiteral("workspace");
        QTest::newRow("neither") << none << none << QStringLiteral("Unknown");
    }
    void scopeLabel()
    {
        QFETCH(QString, scope);
        QFETCH(QString, projectPath);
        QFETCH(QString, label);
        AgentInfo agent;
        if (!scope.isNull())
            agent.scope = scope;
        if (!projectPath.isNull())
            agent.projectPath = projectPath;
        QCOMPARE(agent.scopeLabel(QStringLiteral("/home/alice")), label);
        QCOMPARE(agent.scopeLabel(QStringLiteral("/home/alice/")), label);
        // The default home folder is the program's one.
        TestHome home;
        AgentInfo local;
        local.projectPath = home.filePath(QStringLiteral("proj"));
        QCOMPARE(local.scopeLabel(), QStringLiteral("~/proj"));
    }
};

QTEST_GUILESS_MAIN(TestAgentInfo)
#include "tst_AgentInfo.moc"
