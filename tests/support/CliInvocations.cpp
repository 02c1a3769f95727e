#include "tests/support/CliInvocations.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

QList<QStringList> cliInvocations(const QString& logPath)
{
    QList<QStringList> result;
    QFile file(logPath);
    if (!file.open(QIODevice::ReadOnly))
        return result;
    for (const QByteArray& line : file.readAll().split('\n')) {
        if (line.isEmpty())
            continue;
        QStringList arguments;
        for (const QJsonValue& value :
            QJsonDocument::fromJson(line).object().value(QLatin1String("args")).toArray())
            arguments.append(value.toString());
        result.append(arguments);
    }
    return result;
}
