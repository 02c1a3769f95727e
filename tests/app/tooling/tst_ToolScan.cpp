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

namespace {

QJsonObject project(const QString& path)
{
    return { { QStringLiteral("path"), path }, { QStringLiteral("isActive"), true },
        { QStringLiteral("lastActive"), QStringLiteral("2025-03-01") } };
}

QString scanOf(const QJsonArray& agents)
{
    return QString::fromUtf8(QJsonDocument(QJsonObject { { QStringLiteral("agents"), agents } }).toJson());
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
            return QJsonObject { { QStringLiteral("displayName"), QStringLiteral("Tool") },
                { QStringLiteral("detection"), QJsonObject { { QStringLiteral("status"), value } } } };
        };
        // Only a status: a tool without projects, root or root switch; all defaults.
        const std::optional<DetectedTool> bare
            = ToolScan::parseDetectedTool(status(QStringLiteral("installed")), home());
        QVERIFY(bare);
        QCOMPARE(bare->name, QStringLiteral("Tool"));
        QCOMPARE(bare->subtitle, QString());
        QVERIFY(bare->projects.isEmpty());
        QCOMPARE(bare->projectsRoot, QString());
        QCOMPARE(bare->projectsRootEnabled, false);
        QCOMPARE(bare->enabled, true);
        QCOMPARE(bare->scope, ScopeChoice::allProjects);
        QVERIFY(ToolScan::parseDetectedTool(status(QStringLiteral("installed")), home())->id != bare->id);

        // What drops an entry.
        QVERIFY(!ToolScan::parseDetectedTool(status(QStringLiteral("not_found")), home()));
        QVERIFY(!ToolScan::parseDetectedTool(status(7), home()));
        QJsonObject broken = status(QStringLiteral("installed"));
        for (const QJsonValue& detection : { QJsonValue(QStringLiteral("installed")),
                 QJsonValue(QJsonObject()), QJsonValue(QJsonValue::Undefined),
                 QJsonValue(QJsonObject { { QStringLiteral("details"), QJsonObject() } }) }) {
            broken[QStringLiteral("detection")] = detection;
            QVERIFY(!ToolScan::parseDetectedTool(broken, home()));
        }
        broken = status(QStringLiteral("installed"));
        broken[QStringLiteral("displayName")] = 3;
        QVERIFY(!ToolScan::parseDetectedTool(broken, home()));

        // A whole output keeps the order and drops the entries that give none.
        QJsonObject second = status(QStringLiteral("running"));
        second[QStringLiteral("displayName")] = QStringLiteral("Desk Assistant");
        second[QStringLiteral("descriptorId")] = 12; // wrong type: no subtitle
        const QList<DetectedTool> tools = ToolScan::parseOutput(
            scanOf({ toolEntry({}), status(QStringLiteral("not_found")), second }), home());
        QCOMPARE(tools.size(), 2);
        QCOMPARE(tools[0].name, QStringLiteral("Code Assistant"));
        QCOMPARE(tools[0].subtitle, QStringLiteral("code-assistant"));
        QCOMPARE(tools[1].name, QStringLiteral("Desk Assistant"));
        QCOMPARE(tools[1].subtitle, QString());
    }

    void projects()
    {
        const QString app = makeFolder(QStringLiteral("code/app"));
        const QString outside = QDir::cleanPath(m_home->path() + QStringLiteral("/.."));
        QJsonObject odd = project(app);
        odd[QStringLiteral("isActive")] = QStringLiteral("yes");
        odd[QStringLiteral("lastActive")] = 20250301;
        const std::optional<DetectedTool> tool = ToolScan::parseDetectedTool(
            toolEntry({ project(app), odd, QStringLiteral("not an object"),
                project(home() + QStringLiteral("/gone")), project(QString()),
                project(QStringLiteral("code/app")), QJsonObject { { QStringLiteral("path"), 5 } },
                project(QStringLiteral("~/code/app")), project(outside) }),
            home());
        QVERIFY(tool);
        QCOMPARE(tool->projects.size(), 4);
        // Inside the home folder a path is kept as "~/…"; every project starts unselected.
        QCOMPARE(tool->projects[0].path, QStringLiteral("~/code/app"));
        QCOMPARE(tool->projects[0].isActive, true);
        QCOMPARE(tool->projects[0].lastUsed, QStringLiteral("2025-03-01"));
        QCOMPARE(tool->projects[0].selected, false);
        // Members of the wrong type read as their defaults.
        QCOMPARE(tool->projects[1].isActive, false);
        QCOMPARE(tool->projects[1].lastUsed, QString());
        QCOMPARE(tool->projects[2].path, QStringLiteral("~/code/app"));
        QCOMPARE(tool->projects[3].path, outside);
        QVERIFY(tool->projects[0].id != tool->projects[1].id);

        // Only at a folder boundary is the home folder abbreviated.
        QCOMPARE(
            ToolScan::abbreviateHome(home() + QStringLiteral("2/x"), home()), home() + QStringLiteral("2/x"));
        QCOMPARE(ToolScan::abbreviateHome(home(), home()), QStringLiteral("~"));
        QCOMPARE(ToolScan::expandHome(QStringLiteral("~"), home()), home());
        QCOMPARE(ToolScan::expandHome(QStringLiteral("~other/x"), home()), QStringLiteral("~other/x"));

        // A missing folder neither stays nor moves the root.
        const QString b = makeFolder(QStringLiteral("code/b"));
        const std::optional<DetectedTool> withGone = ToolScan::parseDetectedTool(
            toolEntry({ project(b), project(QStringLiteral("/nonexistent-quorvane-folder/x")) }), home());
        QCOMPARE(withGone->projects.size(), 1);
        QCOMPARE(withGone->projectsRoot, b);
        QCOMPARE(withGone->projectsRootEnabled, true);
    }

    void roots_data()
    {
        QTest::addColumn<QStringList>("paths"); // "~" stands for the home folder
        QTest::addColumn<QString>("root"); // "" for none
        QTest::newRow("siblings under the home folder") << QStringList { QStringLiteral("~/code/a"),
            QStringLiteral("~/code/b") } << QStringLiteral("~/code");
        QTest::newRow("home and /tmp")
            << QStringList { QStringLiteral("~/code/a"), QStringLiteral("/tmp") } << QString();
        QTest::newRow("one project") << QStringList { QStringLiteral("~/code/a") }
                                     << QStringLiteral("~/code/a");
        QTest::newRow("none") << QStringList {} << QString();
        QTest::newRow("the home folder itself")
            << QStringList { QStringLiteral("~/a"), QStringLiteral("~/b") } << QString();
        QTest::newRow("an ancestor of the home folder")
            << QStringList { QStringLiteral("~/a"), QStringLiteral("~/../other") } << QString();
        QTest::newRow("outside the home folder") << QStringList { QStringLiteral("/srv/x/a"),
            QStringLiteral("/srv/x/b/c") } << QStringLiteral("/srv/x");
        QTest::newRow("component, not text, prefix") << QStringList { QStringLiteral("/srv/app"),
            QStringLiteral("/srv/apple") } << QStringLiteral("/srv");
        QTest::newRow("doubled and trailing slashes") << QStringList { QStringLiteral("/srv//x/a/"),
            QStringLiteral("/srv/x/b") } << QStringLiteral("/srv/x");
    }

    void roots()
    {
        QFETCH(QStringList, paths);
        QFETCH(QString, root);
        // The rule looks only at the texts; the ancestor case needs the real parent folder.
        const QString parent = QDir::cleanPath(home() + QStringLiteral("/.."));
        QList<DiscoveredProject> projects;
        for (QString path : paths)
            projects.append(projectAt(path.replace(QStringLiteral("~/../"), parent + QLatin1Char('/'))));
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
        QTest::newRow("array") << QStringLiteral("[{\"agents\": []}]") << 0;
        QTest::newRow("empty") << QString() << 0;
        QTest::newRow("not json") << QStringLiteral("scan failed") << 0;
        QTest::newRow("truncated") << good.left(good.size() / 2) << 0;
        QTest::newRow("no agents") << QStringLiteral("{\"tools\": []}") << 0;
        QTest::newRow("agents not an array") << QStringLiteral("{\"agents\": {\"a\": 1}}") << 0;
        QTest::newRow("agents of strings") << QStringLiteral("{\"agents\": [\"Code Assistant\"]}") << 0;
        QTest::newRow("one entry not an object")
            << scanOf({ toolEntry({}), QJsonValue(QJsonValue::Null) }) << 0;
        QTest::newRow("projects not an array") << QStringLiteral(
            "{\"agents\": [{\"displayName\": \"T\", \"detection\": {\"status\": \"installed\", "
            "\"details\": {\"projects\": \"~/code\"}}}]}")
                                               << 1;
        QTest::newRow("details not an object") << QStringLiteral(
            "{\"agents\": [{\"displayName\": \"T\", \"detection\": {\"status\": \"installed\", "
            "\"details\": 4}}]}") << 1;
        QTest::newRow("deeply nested") << QStringLiteral("{\"agents\": [") + QString(100000, QLatin1Char('['))
                + QStringLiteral("]}") << 0;
        QJsonArray many;
        for (int i = 0; i < 1000; ++i)
            many.append(toolEntry({}));
        QTest::newRow("more tools than kept") << scanOf(many) << int(ToolScan::maxTools);
        QString huge = good;
        huge.insert(1,
            QStringLiteral("\"padding\": \"") + QString(ToolScan::maxOutputBytes, QLatin1Char('x'))
                + QStringLiteral("\", "));
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
        const QString spaces = QStringLiteral("Spaces are not allowed. Use hyphens instead.");
        const QString pattern
            = QStringLiteral("Use only lowercase letters, numbers, and hyphens (1–32 chars).");
        QTest::newRow("empty") << QString() << QString();
        QTest::newRow("inner space") << QStringLiteral("my agent") << spaces;
        QTest::newRow("outer blanks trimmed") << QStringLiteral("  vega\n") << QString();
        QTest::newRow("leading hyphen") << QStringLiteral("-vega") << pattern;
        QTest::newRow("upper case") << QStringLiteral("Vega") << pattern;
        QTest::newRow("32 characters") << QString(32, QLatin1Char('a')) << QString();
        QTest::newRow("33 characters") << QString(33, QLatin1Char('a')) << pattern;
        QTest::newRow("underscore") << QStringLiteral("my_agent") << pattern;
        QTest::newRow("non-ASCII letter") << QStringLiteral("véga") << pattern;
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
        QVERIFY(!canContinue({}, QStringLiteral("vega")));
        QVERIFY(canContinue({ tool }, QStringLiteral("vega")));
        QVERIFY(canContinue({ tool }, QString()));
        QVERIFY(!canContinue({ tool }, QStringLiteral("Vega")));
        DetectedTool off;
        off.enabled = false;
        QVERIFY(!canContinue({ off }, QStringLiteral("vega")));
        QVERIFY(canContinue({ off, tool }, QStringLiteral("vega")));
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
            (QStringList { QStringLiteral("developer-workstation"), QStringLiteral("personal-assistant"),
                QStringLiteral("restrictive") }));
        QCOMPARE(SecurityPostures::fromRawValue(QStringLiteral("restrictive")), std::nullopt);
        QCOMPARE(SecurityPostures::fromRawValue(QStringLiteral("Restrictive ")), std::nullopt);
    }

    void modelEdits()
    {
        DetectedToolsModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QSignalSpy counts(&model, &DetectedToolsModel::countChanged);
        const QString app = makeFolder(QStringLiteral("code/app"));
        model.setTools(ToolScan::parseOutput(scanOf({ toolEntry({ project(app) }), toolEntry({}) }), home()));
        QCOMPARE(model.count(), 2);
        QCOMPARE(counts.size(), 1);

        const QModelIndex first = model.index(0);
        QCOMPARE(first.data(DetectedToolsModel::ProjectsRootRole).toString(), app);
        const QVariantList projects = first.data(DetectedToolsModel::ProjectsRole).toList();
        QCOMPARE(projects.size(), 1);
        QCOMPARE(projects.first().value<DiscoveredProject>().path, QStringLiteral("~/code/app"));

        QSignalSpy changes(&model, &QAbstractItemModel::dataChanged);
        QVERIFY(model.setData(first, false, DetectedToolsModel::EnabledRole));
        QVERIFY(model.setData(first, int(ScopeChoice::perProject), DetectedToolsModel::ScopeRole));
        QVERIFY(!model.setData(first, 7, DetectedToolsModel::ScopeRole));
        QVERIFY(!model.setData(first, QStringLiteral("x"), DetectedToolsModel::NameRole));
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
        return { { QStringLiteral("displayName"), QStringLiteral("Code Assistant") },
            { QStringLiteral("descriptorId"), QStringLiteral("code-assistant") },
            { QStringLiteral("detection"),
                QJsonObject { { QStringLiteral("status"), QStringLiteral("installed") },
                    { QStringLiteral("details"),
                        QJsonObject { { QStringLiteral("projects"), projects } } } } } };
    }

    QString home() const { return m_home->path(); }

    std::unique_ptr<QTemporaryDir> m_home;
};

QTEST_GUILESS_MAIN(TestToolScan)
#include "tst_ToolScan.moc"
