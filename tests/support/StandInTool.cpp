#include "tests/support/StandInTool.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>

StandInTool::StandInTool()
{
    qputenv("QUORVANE_CLI_LOG", QFile::encodeName(m_dir.filePath(QStringLiteral("runs.log"))));
    qunsetenv("QUORVANE_CLI_SCENARIO");
}

StandInTool::~StandInTool()
{
    qunsetenv("QUORVANE_CLI_LOG");
    qunsetenv("QUORVANE_CLI_SCENARIO");
}

QString StandInTool::executablePath()
{
    return qEnvironmentVariable("QUORVANE_BUILD_DIR") + QStringLiteral("/libexec/quorvane/bin/quorvane");
}

bool StandInTool::writeScenario(const QJsonObject& scenario) const
{
    const QString path = m_dir.filePath(QStringLiteral("scenario.json"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    file.write(QJsonDocument(scenario).toJson());
    qputenv("QUORVANE_CLI_SCENARIO", QFile::encodeName(path));
    return true;
}

QList<StandInTool::Run> StandInTool::runs() const
{
    QList<Run> result;
    QFile file(m_dir.filePath(QStringLiteral("runs.log")));
    if (!file.open(QIODevice::ReadOnly))
        return result;
    for (const QByteArray& line : file.readAll().split('\n')) {
        if (line.isEmpty())
            continue;
        const QJsonObject run = QJsonDocument::fromJson(line).object();
        Run entry;
        for (const QJsonValue& value : run.value(QLatin1String("args")).toArray())
            entry.arguments.append(value.toString());
        entry.workingDirectory = run.value(QLatin1String("cwd")).toString();
        result.append(entry);
    }
    return result;
}
