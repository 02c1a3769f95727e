#include "app/tooling/AgentInfo.h"
#include "app/tooling/CLIEvent.h"
#include "app/tooling/CLILineBuffer.h"
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

// What the product tool writes for us to read: its event lines as they come
// in, an agent's config.json, and the agents folder whatever lies in it.
class TestToolOutput : public QObject
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
    void eventDecode_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<bool>("decodes");
        QTest::addColumn<QString>("type");
        QTest::addColumn<QVariant>("message"); // invalid = absent
        QTest::addColumn<QVariant>("progress"); // invalid = absent
        QTest::addColumn<QVariant>("error"); // invalid = absent
        QTest::addColumn<bool>("hasData");

        const QVariant none;
        const auto accepted
            = [](const char* name, const QByteArray& line, const char* type, const QVariant& message,
                  const QVariant& progress, const QVariant& error, bool hasData) {
                  QTest::newRow(name)
                      << line << true << QString::fromUtf8(type) << message << progress << error << hasData;
              };
        accepted("numeric progress only", R"({"type":"progress","progress":0.25})", "progress", none, 0.25,
            none, false);
        accepted(
            "integer progress", R"({"type":"progress","progress":1})", "progress", none, 1.0, none, false);
        accepted("all five members",
            R"({"type":"error","message":"m","progress":0,"error":"e","data":{"k":"v"}})", "error", u"m"_s,
            0.0, u"e"_s, true);
        accepted("null optional members are absent",
            R"({"type":"complete","message":null,"progress":null,"error":null,"data":null})", "complete",
            none, none, none, false);
        accepted("surrounding spaces", "  {\"type\":\"verified\"}\r", "verified", none, none, none, false);
        accepted("unicode message", R"({"type":"progress","message":"caf\u00e9 ✓"})", "progress", u"café ✓"_s,
            none, none, false);
        accepted("empty data object", R"({"type":"x","data":{}})", "x", none, none, none, true);

        const auto rejected = [](const char* name, const QByteArray& line) {
            QTest::newRow(name) << line << false << QString() << QVariant() << QVariant() << QVariant()
                                << false;
        };
        rejected("number inside data", R"({"type":"suggestion_count","data":{"count":3}})");
        rejected("null inside data", R"({"type":"x","data":{"a":null}})");
        rejected("data is an array", R"({"type":"x","data":["a"]})");
        rejected("string progress", R"({"type":"progress","progress":"0.5"})");
        rejected("numeric message", R"({"type":"progress","message":5})");
        rejected("object error", R"({"type":"error","error":{}})");
        rejected("no type", R"({"message":"hello"})");
        rejected("numeric type", R"({"type":1})");
        rejected("array", R"([{"type":"x"}])");
        rejected("plain text", "Downloading model...");
        rejected("trailing garbage", R"({"type":"complete"} x)");
        rejected("invalid utf-8", "{\"type\":\"\xff\xfe\"}");
    }

    void eventDecode()
    {
        QFETCH(QByteArray, line);
        QFETCH(bool, decodes);
        const std::optional<CLIEvent> event = CLIEvent::decode(line);
        QCOMPARE(event.has_value(), decodes);
        if (!decodes)
            return;
        QFETCH(QString, type);
        QFETCH(QVariant, message);
        QFETCH(QVariant, progress);
        QFETCH(QVariant, error);
        QFETCH(bool, hasData);
        QCOMPARE(event->type, type);
        QCOMPARE(event->message.has_value(), message.isValid());
        if (message.isValid())
            QCOMPARE(*event->message, message.toString());
        QCOMPARE(event->progress.has_value(), progress.isValid());
        if (progress.isValid())
            QCOMPARE(*event->progress, progress.toDouble());
        QCOMPARE(event->error.has_value(), error.isValid());
        if (error.isValid())
            QCOMPARE(*event->error, error.toString());
        QCOMPARE(event->data.has_value(), hasData);
    }

    void dataValues()
    {
        const auto verified
            = CLIEvent::decode(R"({"type":"verified","data":{"agentId":"ag_123","count":"7"}})");
        QVERIFY(verified);
        QCOMPARE(verified->dataValue(u"agentId"_s), u"ag_123"_s);
        QCOMPARE(verified->dataValue(u"count"_s), u"7"_s);
        QCOMPARE(verified->dataValue(u"missing"_s), QString());
    }

    void lineBuffer_data()
    {
        QTest::addColumn<QList<QByteArray>>("reads");
        QTest::addColumn<QList<QByteArray>>("lines");

        QTest::newRow("empty line then a complete one") << QList<QByteArray> { "\n{\"type\":\"complete\"}\n" }
                                                        << QList<QByteArray> { "{\"type\":\"complete\"}" };
        QTest::newRow("split in three, then another")
            << QList<QByteArray> { "ab", "c", "d\nef\n" } << QList<QByteArray> { "abcd", "ef" };
        QTest::newRow("last line without newline")
            << QList<QByteArray> { "a\nb" } << QList<QByteArray> { "a", "b" };
        QTest::newRow("crlf and blanks trimmed")
            << QList<QByteArray> { "  a \r\n\r\n \t\n", "b\r\n" } << QList<QByteArray> { "a", "b" };
        QTest::newRow("multi-byte character split")
            << QList<QByteArray> { "caf\xc3", "\xa9\n" } << QList<QByteArray> { "caf\xc3\xa9" };
    }

    void lineBuffer()
    {
        QFETCH(QList<QByteArray>, reads);
        QFETCH(QList<QByteArray>, lines);
        CLILineBuffer buffer;
        QList<QByteArray> seen;
        for (const QByteArray& read : reads)
            seen += buffer.append(read);
        seen += buffer.finish();
        QCOMPARE(seen, lines);
        QCOMPARE(buffer.finish(), QList<QByteArray>());
    }

    void lineBufferDropsOverlongLines()
    {
        CLILineBuffer buffer(8);
        QList<QByteArray> seen = buffer.append("short\n0123456");
        seen += buffer.append("789abcdef"); // over the limit: dropped ...
        seen += buffer.append("more\nok\nxyz"); // ... up to its newline
        seen += buffer.finish();
        QCOMPARE(seen, (QList<QByteArray> { "short", "ok", "xyz" }));

        // An overlong unfinished tail is not returned at the end either.
        CLILineBuffer tail(4);
        QCOMPARE(tail.append("123456"), QList<QByteArray>());
        QCOMPARE(tail.finish(), QList<QByteArray>());
        QCOMPARE(tail.append("ab\n"), QList<QByteArray> { "ab" });
        QCOMPARE(tail.append("wxyz\n"), QList<QByteArray> { "wxyz" }); // exactly the limit is kept
    }

    void configDecode_data()
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
    void configDecode()
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

QTEST_GUILESS_MAIN(TestToolOutput)
#include "tst_ToolOutput.moc"
