#include "tests/support/StandInTool.h"

#include <QJsonArray>
#include <QJsonDocument>

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
