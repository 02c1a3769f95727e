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

using namespace Qt::StringLiterals;

// An agent's config.json as the product tool writes it, and the agents folder
// read whatever lies in it.
class TestAgentInfo : public QObject
{
    Q_OBJECT

    static QByteArray config(const QString& name, const QString& createdAt = {},
        const QJsonObject& extra = {}, const QString& without = {})
    {
        QJsonObject object { { u"name"_s, name }, { u"machine"_s, u"desk"_s }, { u"machineId"_s, u"m_1"_s },
            { u"publicKey"_s, u"pk"_s },
            { u"createdAt"_s, createdAt.isEmpty() ? u"2025-02-01T00:00:00Z"_s : createdAt },
            { u"apiUrl"_s, u"https://api.example"_s } };
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
        const QString a = u"a"_s;
        QTest::newRow("required only") << config(a) << true;
        QTest::newRow("all optional and extra keys") << config(a, {},
            { { u"agentId"_s, u"ag"_s }, { u"status"_s, u"active"_s }, { u"template"_s, u"restrictive"_s },
                { u"scope"_s, u"global"_s }, { u"projectPath"_s, u"/p"_s },
                { u"hooks"_s, QJsonObject { { u"x"_s, 1 } } } })
                                                     << true;
        QTest::newRow("null optional") << config(a, {}, { { u"agentId"_s, QJsonValue() } }) << true;
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
            QCOMPARE(agent->name, u"a"_s);
            QCOMPARE(agent->machineId, u"m_1"_s);
            QCOMPARE(agent->apiUrl, u"https://api.example"_s);
        }
    }

    // Only the readable agent folders count, newest first; nothing in the
    // folder may block or flood the reading.
    void loadAll()
    {
        TestHome home;
        QVERIFY(AgentInfo::loadAll().isEmpty());
        const QString agentsDir = home.filePath(u".quorvane/agents"_s);
        const auto write = [&home](const QString& folder, const QByteArray& content) {
            return home.write(u".quorvane/agents/%1/config.json"_s.arg(folder), content);
        };
        QVERIFY(write(u"a1"_s, config(u"january"_s, u"2025-01-15T10:00:00Z"_s)));
        QVERIFY(write(u"a2"_s, config(u"march"_s, u"2025-03-02T08:00:00Z"_s)));
        QVERIFY(write(u"a3"_s, config(u"february"_s, {}, { { u"future"_s, u"x"_s } })));
        // A plain file directly inside the agents folder, a hidden folder, a folder without config.json.
        QVERIFY(home.write(u".quorvane/agents/config.json"_s, config(u"plain"_s)));
        QVERIFY(write(u".hidden"_s, config(u"hidden"_s)));
        QVERIFY(QDir().mkpath(agentsDir + u"/empty"_s));
        // A damaged file (what else decode refuses is decode's table) and a config.json that is a folder.
        QVERIFY(write(u"damaged"_s, "{\"name\": \"dam"));
        QVERIFY(QDir().mkpath(agentsDir + u"/dirconfig/config.json"_s));
        // A link to a folder elsewhere is not an agent folder; a config.json that
        // is a link, a FIFO (reading it would block) or a link to an endless device
        // is not read; neither is a huge one.
        QVERIFY(home.write(u"outside/config.json"_s, config(u"outside"_s)));
        QVERIFY(QFile::link(home.filePath(u"outside"_s), agentsDir + u"/linked"_s));
        QVERIFY(QDir().mkpath(agentsDir + u"/symconfig"_s));
        QVERIFY(
            QFile::link(home.filePath(u"outside/config.json"_s), agentsDir + u"/symconfig/config.json"_s));
        QVERIFY(QDir().mkpath(agentsDir + u"/fifo"_s));
        QCOMPARE(::mkfifo(QFile::encodeName(agentsDir + u"/fifo/config.json"_s).constData(), 0600), 0);
        QVERIFY(QDir().mkpath(agentsDir + u"/zero"_s));
        QVERIFY(QFile::link(u"/dev/zero"_s, agentsDir + u"/zero/config.json"_s));
        QVERIFY(write(u"huge"_s,
            config(u"huge"_s).chopped(1) + ",\"pad\":\"" + QByteArray(2 * AgentInfo::maxConfigSize, 'x')
                + "\"}"));
        // A folder whose name is not valid UTF-8 is read like any other; the
        // name does not survive a trip through QString, so POSIX writes it.
        const QByteArray oddName = QFile::encodeName(agentsDir) + "/odd-\xff\xfe";
        QCOMPARE(::mkdir(oddName.constData(), 0700), 0);
        const QByteArray odd = config(u"odd"_s, u"2025-01-01T00:00:00Z"_s);
        FILE* raw = ::fopen(QByteArray(oddName + "/config.json").constData(), "wb");
        QVERIFY(raw);
        QCOMPARE(::fwrite(odd.constData(), 1, size_t(odd.size()), raw), size_t(odd.size()));
        ::fclose(raw);
        // An unreadable folder.
        QVERIFY(write(u"locked"_s, config(u"locked"_s, u"2024-01-01T00:00:00Z"_s)));
        QCOMPARE(::chmod(QFile::encodeName(agentsDir + u"/locked"_s).constData(), 0), 0);

        QStringList names;
        for (const AgentInfo& agent : AgentInfo::loadAll(CoreConstants::agentsDirectory()))
            names.append(agent.name);
        ::chmod(QFile::encodeName(agentsDir + u"/locked"_s).constData(), 0700);
        QStringList expected { u"march"_s, u"february"_s, u"january"_s, u"odd"_s };
        if (::geteuid() == 0) // root reads the locked folder anyway
            expected.append(u"locked"_s);
        QCOMPARE(names, expected);

        // The agents folder itself being a file.
        TestHome other;
        QVERIFY(other.write(u".quorvane/agents"_s, "not a folder"));
        QVERIFY(AgentInfo::loadAll().isEmpty());
    }

    void scopeLabel_data()
    {
        QTest::addColumn<QString>("scope"); // null: absent
        QTest::addColumn<QString>("projectPath"); // null: absent
        QTest::addColumn<QString>("label");
        const QString none;
        const QString global = u"global"_s;
        QTest::newRow("global with project") << global << u"/home/alice/p"_s << u"All projects"_s;
        QTest::newRow("global") << global << none << u"All projects"_s;
        QTest::newRow("project in home") << none << u"/home/alice/code/app"_s << u"~/code/app"_s;
        QTest::newRow("project is home") << none << u"/home/alice"_s << u"~"_s;
        QTest::newRow("home name is only a prefix") << none << u"/home/alicia/app"_s << u"/home/alicia/app"_s;
        QTest::newRow("project wins over other scope") << u"project"_s << u"/home/alice/x"_s << u"~/x"_s;
        QTest::newRow("scope text") << u"workspace"_s << none << u"workspace"_s;
        QTest::newRow("neither") << none << none << u"Unknown"_s;
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
        QCOMPARE(agent.scopeLabel(u"/home/alice"_s), label);
        QCOMPARE(agent.scopeLabel(u"/home/alice/"_s), label);
        // The default home folder is the program's one.
        TestHome home;
        AgentInfo local;
        local.projectPath = home.filePath(u"proj"_s);
        QCOMPARE(local.scopeLabel(), u"~/proj"_s);
    }
};

QTEST_GUILESS_MAIN(TestAgentInfo)
#include "tst_AgentInfo.moc"
