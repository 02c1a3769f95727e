#include "app/tooling/AgentNameRules.h"
#include "app/tooling/DetectedToolsModel.h"
#include "app/tooling/SecurityPosture.h"
#include "app/tooling/ToolScan.h"

#include <QAbstractItemModelTester>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

QJsonObject project(const QString& path)
{
    return { { u"path"_s, path }, { u"isActive"_s, true }, { u"lastActive"_s, u"2025-03-01"_s } };
}

QString scanOf(const QJsonArray& agents)
{
    return QString::fromUtf8(QJsonDocument(QJsonObject { { u"agents"_s, agents } }).toJson());
}

DiscoveredProject projectAt(const QString& path)
{
    DiscoveredProject project;
    project.path = path;
    return project;
}

} // namespace

// The scan reader, the projects root, the name rules and the tools model.
// Project folders are real folders under a throw-away home folder.
class TestToolScan : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init()
    {
        m_home = std::make_unique<QTemporaryDir>();
        QVERIFY(m_home->isValid());
    }

    void toolEntries()
    {
        const auto status = [](const QJsonValue& value) {
            return QJsonObject { { u"displayName"_s, u"Tool"_s },
                { u"detection"_s, QJsonObject { { u"status"_s, value } } } };
        };
        // Only a status: a tool without projects or root.
        const std::optional<DetectedTool> bare = ToolScan::parseDetectedTool(status(u"installed"_s), home());
        QVERIFY(bare);
        QCOMPARE(bare->name, u"Tool"_s);
        QVERIFY(bare->projects.isEmpty() && !bare->projectsRootEnabled);

        // What drops an entry.
        QVERIFY(!ToolScan::parseDetectedTool(status(u"not_found"_s), home()));
        QVERIFY(!ToolScan::parseDetectedTool(status(7), home()));
        QJsonObject broken = status(u"installed"_s);
        for (const QJsonValue& detection :
            { QJsonValue(u"installed"_s), QJsonValue(QJsonObject()), QJsonValue(QJsonValue::Undefined),
                QJsonValue(QJsonObject { { u"details"_s, QJsonObject() } }) }) {
            broken[u"detection"_s] = detection;
            QVERIFY(!ToolScan::parseDetectedTool(broken, home()));
        }
        broken = status(u"installed"_s);
        broken[u"displayName"_s] = 3;
        QVERIFY(!ToolScan::parseDetectedTool(broken, home()));

        // A whole output keeps the order and drops the entries that give none.
        QJsonObject second = status(u"running"_s);
        second[u"displayName"_s] = u"Desk Assistant"_s;
        second[u"descriptorId"_s] = 12; // wrong type: no subtitle
        const QList<DetectedTool> tools
            = ToolScan::parseOutput(scanOf({ toolEntry({}), status(u"not_found"_s), second }), home());
        QCOMPARE(tools.size(), 2);
        QCOMPARE(tools[0].name, u"Code Assistant"_s);
        QCOMPARE(tools[0].subtitle, u"code-assistant"_s);
        QCOMPARE(tools[1].name, u"Desk Assistant"_s);
        QCOMPARE(tools[1].subtitle, QString());
    }

    void projects()
    {
        const QString app = makeFolder(u"code/app"_s);
        const QString outside = QDir::cleanPath(m_home->path() + u"/.."_s);
        QJsonObject odd = project(app);
        odd[u"isActive"_s] = u"yes"_s;
        odd[u"lastActive"_s] = 20250301;
        const std::optional<DetectedTool> tool = ToolScan::parseDetectedTool(
            toolEntry({ project(app), odd, u"not an object"_s, project(home() + u"/gone"_s),
                project(QString()), project(u"code/app"_s), QJsonObject { { u"path"_s, 5 } },
                project(u"~/code/app"_s), project(outside) }),
            home());
        QVERIFY(tool);
        QCOMPARE(tool->projects.size(), 4);
        // Inside the home folder a path is kept as "~/…"; every project starts unselected.
        QCOMPARE(tool->projects[0].path, u"~/code/app"_s);
        QCOMPARE(tool->projects[0].isActive, true);
        QCOMPARE(tool->projects[0].lastUsed, u"2025-03-01"_s);
        QCOMPARE(tool->projects[0].selected, false);
        // Members of the wrong type read as their defaults.
        QCOMPARE(tool->projects[1].isActive, false);
        QCOMPARE(tool->projects[1].lastUsed, QString());
        QCOMPARE(tool->projects[2].path, u"~/code/app"_s);
        QCOMPARE(tool->projects[3].path, outside);
        QVERIFY(tool->projects[0].id != tool->projects[1].id);

        // Only at a folder boundary is the home folder abbreviated.
        QCOMPARE(ToolScan::abbreviateHome(home() + u"2/x"_s, home()), home() + u"2/x"_s);
        QCOMPARE(ToolScan::abbreviateHome(home(), home()), u"~"_s);
        QCOMPARE(ToolScan::expandHome(u"~"_s, home()), home());
        QCOMPARE(ToolScan::expandHome(u"~other/x"_s, home()), u"~other/x"_s);

        // A missing folder neither stays nor moves the root.
        const QString b = makeFolder(u"code/b"_s);
        const std::optional<DetectedTool> withGone = ToolScan::parseDetectedTool(
            toolEntry({ project(b), project(u"/nonexistent-quorvane-folder/x"_s) }), home());
        QCOMPARE(withGone->projects.size(), 1);
        QCOMPARE(withGone->projectsRoot, b);
        QCOMPARE(withGone->projectsRootEnabled, true);
    }

    void roots_data()
    {
        QTest::addColumn<QStringList>("paths"); // "~" stands for the home folder
        QTest::addColumn<QString>("root"); // "" for none
        QTest::newRow("siblings under the home folder")
            << QStringList { u"~/code/a"_s, u"~/code/b"_s } << u"~/code"_s;
        QTest::newRow("home and /tmp") << QStringList { u"~/code/a"_s, u"/tmp"_s } << QString();
        QTest::newRow("one project") << QStringList { u"~/code/a"_s } << u"~/code/a"_s;
        QTest::newRow("none") << QStringList {} << QString();
        QTest::newRow("the home folder itself") << QStringList { u"~/a"_s, u"~/b"_s } << QString();
        QTest::newRow("an ancestor of the home folder")
            << QStringList { u"~/a"_s, u"~/../other"_s } << QString();
        QTest::newRow("outside the home folder")
            << QStringList { u"/srv/x/a"_s, u"/srv/x/b/c"_s } << u"/srv/x"_s;
        QTest::newRow("component, not text, prefix")
            << QStringList { u"/srv/app"_s, u"/srv/apple"_s } << u"/srv"_s;
        QTest::newRow("doubled and trailing slashes")
            << QStringList { u"/srv//x/a/"_s, u"/srv/x/b"_s } << u"/srv/x"_s;
    }

    void roots()
    {
        QFETCH(QStringList, paths);
        QFETCH(QString, root);
        // The rule looks only at the texts; the ancestor case needs the real parent folder.
        const QString parent = QDir::cleanPath(home() + u"/.."_s);
        QList<DiscoveredProject> projects;
        for (QString path : paths)
            projects.append(projectAt(path.replace(u"~/../"_s, parent + QLatin1Char('/'))));
        const std::optional<QString> expected
            = root.isEmpty() ? std::nullopt : std::optional<QString>(ToolScan::expandHome(root, home()));
        QCOMPARE(ToolScan::commonProjectsRoot(projects, home()), expected);
    }

    void hostileOutputs_data()
    {
        QTest::addColumn<QString>("output");
        QTest::addColumn<int>("tools");
        const QString good = scanOf({ toolEntry({}) });
        QTest::newRow("well formed") << good << 1;
        QTest::newRow("array") << u"[{\"agents\": []}]"_s << 0;
        QTest::newRow("not json") << u"scan failed"_s << 0;
        QTest::newRow("truncated") << good.left(good.size() / 2) << 0;
        QTest::newRow("no agents") << u"{\"tools\": []}"_s << 0;
        QTest::newRow("agents not an array") << u"{\"agents\": {\"a\": 1}}"_s << 0;
        QTest::newRow("agents of strings") << u"{\"agents\": [\"Code Assistant\"]}"_s << 0;
        QTest::newRow("one entry not an object")
            << scanOf({ toolEntry({}), QJsonValue(QJsonValue::Null) }) << 0;
        QTest::newRow("projects not an array")
            << u"{\"agents\": [{\"displayName\": \"T\", \"detection\": {\"status\": \"installed\", "
               "\"details\": {\"projects\": \"~/code\"}}}]}"_s
            << 1;
        QTest::newRow("details not an object")
            << u"{\"agents\": [{\"displayName\": \"T\", \"detection\": {\"status\": \"installed\", "
               "\"details\": 4}}]}"_s
            << 1;
        QTest::newRow("deeply nested")
            << u"{\"agents\": ["_s + QString(100000, QLatin1Char('[')) + u"]}"_s << 0;
        QJsonArray many;
        for (int i = 0; i < 1000; ++i)
            many.append(toolEntry({}));
        QTest::newRow("more tools than kept") << scanOf(many) << int(ToolScan::maxTools);
        QString huge = good;
        huge.insert(
            1, u"\"padding\": \""_s + QString(ToolScan::maxOutputBytes, QLatin1Char('x')) + u"\", "_s);
        QTest::newRow("larger than the limit") << huge << 0;
    }

    void hostileOutputs()
    {
        QFETCH(QString, output);
        QFETCH(int, tools);
        QCOMPARE(ToolScan::parseOutput(output, home()).size(), tools);
    }

    void agentNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("error"); // "" for none
        const QString spaces = u"Spaces are not allowed. Use hyphens instead."_s;
        const QString pattern = u"Use only lowercase letters, numbers, and hyphens (1–32 chars)."_s;
        QTest::newRow("empty") << QString() << QString();
        QTest::newRow("inner space") << u"my agent"_s << spaces;
        QTest::newRow("outer blanks trimmed") << u"  vega\n"_s << QString();
        QTest::newRow("leading hyphen") << u"-vega"_s << pattern;
        QTest::newRow("upper case") << u"Vega"_s << pattern;
        QTest::newRow("32 characters") << QString(32, QLatin1Char('a')) << QString();
        QTest::newRow("33 characters") << QString(33, QLatin1Char('a')) << pattern;
        QTest::newRow("underscore") << u"my_agent"_s << pattern;
        QTest::newRow("non-ASCII letter") << u"véga"_s << pattern;
    }

    void agentNames()
    {
        QFETCH(QString, name);
        QFETCH(QString, error);
        QCOMPARE(agentNameError(name).value_or(QString()), error);
    }

    void defaultNames()
    {
        const QStringList& names = defaultAgentNames();
        QCOMPARE(QSet<QString>(names.cbegin(), names.cend()).size(), 30);
        QSet<QString> drawn;
        for (int i = 0; i < 2000; ++i) {
            const QString name = randomDefaultAgentName();
            QVERIFY(names.contains(name));
            QVERIFY(!agentNameError(name));
            drawn.insert(name);
        }
        // 2000 uniform draws miss one of 30 names with a chance far below 1e-25.
        QCOMPARE(drawn.size(), 30);
    }

    void continuing()
    {
        DetectedTool tool;
        QVERIFY(!canContinue({}, u"vega"_s));
        QVERIFY(canContinue({ tool }, u"vega"_s));
        QVERIFY(canContinue({ tool }, QString()));
        QVERIFY(!canContinue({ tool }, u"Vega"_s));
        DetectedTool off;
        off.enabled = false;
        QVERIFY(!canContinue({ off }, u"vega"_s));
        QVERIFY(canContinue({ off, tool }, u"vega"_s));
    }

    void postures()
    {
        // The templates the product tool accepts, and the stored values read back.
        QStringList templates;
        for (const SecurityPosture posture : SecurityPostures::all()) {
            QCOMPARE(SecurityPostures::fromRawValue(SecurityPostures::rawValue(posture)), posture);
            templates.append(SecurityPostures::templateName(posture));
        }
        QCOMPARE(templates,
            (QStringList { u"developer-workstation"_s, u"personal-assistant"_s, u"restrictive"_s }));
        QCOMPARE(SecurityPostures::fromRawValue(u"restrictive"_s), std::nullopt);
        QCOMPARE(SecurityPostures::fromRawValue(u"Restrictive "_s), std::nullopt);
    }

    void modelEdits()
    {
        DetectedToolsModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QSignalSpy counts(&model, &DetectedToolsModel::countChanged);
        const QString app = makeFolder(u"code/app"_s);
        model.setTools(ToolScan::parseOutput(scanOf({ toolEntry({ project(app) }), toolEntry({}) }), home()));
        QCOMPARE(model.count(), 2);
        QCOMPARE(counts.size(), 1);

        const QModelIndex first = model.index(0);
        QCOMPARE(first.data(DetectedToolsModel::ProjectsRootRole).toString(), app);
        const QVariantList projects = first.data(DetectedToolsModel::ProjectsRole).toList();
        QCOMPARE(projects.size(), 1);
        QCOMPARE(projects.first().value<DiscoveredProject>().path, u"~/code/app"_s);

        QSignalSpy changes(&model, &QAbstractItemModel::dataChanged);
        QVERIFY(model.setData(first, false, DetectedToolsModel::EnabledRole));
        QVERIFY(model.setData(first, int(ScopeChoice::perProject), DetectedToolsModel::ScopeRole));
        QVERIFY(!model.setData(first, 7, DetectedToolsModel::ScopeRole));
        QVERIFY(!model.setData(first, u"x"_s, DetectedToolsModel::NameRole));
        QVERIFY(model.setData(first, false, DetectedToolsModel::ProjectsRootEnabledRole));
        QVERIFY(
            model.setData(first, false, DetectedToolsModel::ProjectsRootEnabledRole)); // unchanged: no signal
        QVERIFY(model.setProjectSelected(0, 0, true));
        QVERIFY(!model.setProjectSelected(0, 1, true));
        QVERIFY(!model.setProjectSelected(2, 0, true));
        QCOMPARE(changes.size(), 4);

        const DetectedTool& edited = model.tools().first();
        QCOMPARE(edited.enabled, false);
        QCOMPARE(edited.scope, ScopeChoice::perProject);
        QCOMPARE(edited.projectsRootEnabled, false);
        QCOMPARE(edited.projects.first().selected, true);
        QCOMPARE(model.tools().at(1).enabled, true);

        model.setTools({});
        QCOMPARE(model.count(), 0);
        QCOMPARE(counts.size(), 2);
    }

private:
    QString makeFolder(const QString& relative) const
    {
        const QString path = m_home->filePath(relative);
        QDir().mkpath(path);
        return path;
    }

    QJsonObject toolEntry(const QJsonArray& projects) const
    {
        return { { u"displayName"_s, u"Code Assistant"_s }, { u"descriptorId"_s, u"code-assistant"_s },
            { u"detection"_s,
                QJsonObject { { u"status"_s, u"installed"_s },
                    { u"details"_s, QJsonObject { { u"projects"_s, projects } } } } } };
    }

    QString home() const { return m_home->path(); }

    std::unique_ptr<QTemporaryDir> m_home;
};

QTEST_GUILESS_MAIN(TestToolScan)
#include "tst_ToolScan.moc"
