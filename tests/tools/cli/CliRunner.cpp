#include "tests/tools/cli/CliRunner.h"

#include <QDeadlineTimer>
#include <QJsonDocument>
#include <QJsonParseError>

QList<QByteArray> CliRun::lines() const
{
    QList<QByteArray> result = output.split('\n');
    if (!result.isEmpty() && result.last().isEmpty())
        result.removeLast();
    return result;
}

QList<QJsonObject> CliRun::events() const
{
    QList<QJsonObject> result;
    for (const QByteArray& line : lines()) {
        QJsonObject event;
        if (CliRunner::isEvent(line, &event))
            result.append(event);
    }
    return result;
}

QStringList CliRun::eventTypes() const
{
    QStringList types;
    for (const QJsonObject& event : events())
        types.append(event.value(QStringLiteral("type")).toString());
    return types;
}

QString CliRunner::executablePath()
{
    return qEnvironmentVariable("QUORVANE_BUILD_DIR") + QStringLiteral("/libexec/quorvane/bin/quorvane");
}

bool CliRunner::isEvent(const QByteArray& line, QJsonObject* event)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(line, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return false;
    const QJsonObject object = document.object();
    if (!object.value(QStringLiteral("type")).isString())
        return false;
    for (const char* key : { "message", "error" }) {
        const QJsonValue value = object.value(QLatin1String(key));
        if (!value.isUndefined() && !value.isString())
            return false;
    }
    const QJsonValue progress = object.value(QStringLiteral("progress"));
    if (!progress.isUndefined() && !progress.isDouble())
        return false;
    const QJsonValue data = object.value(QStringLiteral("data"));
    if (!data.isUndefined()) {
        if (!data.isObject())
            return false;
        for (const QJsonValue& value : data.toObject()) {
            if (!value.isString())
                return false;
        }
    }
    if (event)
        *event = object;
    return true;
}

CliRun CliRunner::run(const QStringList& arguments, const QString& workingDirectory, int timeoutMs) const
{
    CliRun result;
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setProgram(executablePath());
    process.setArguments(arguments);
    process.setStandardErrorFile(QProcess::nullDevice());
    if (!workingDirectory.isEmpty())
        process.setWorkingDirectory(workingDirectory);
    process.start();
    result.started = process.waitForStarted(10000);
    if (!result.started)
        return result;

    const QDeadlineTimer deadline(timeoutMs);
    while (process.state() != QProcess::NotRunning && !deadline.hasExpired()) {
        if (process.waitForReadyRead(100)) {
            const QByteArray chunk = process.readAllStandardOutput();
            result.chunks.append(chunk);
            result.output += chunk;
        }
    }
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished(5000);
    } else {
        result.finished = true;
    }
    const QByteArray rest = process.readAllStandardOutput();
    if (!rest.isEmpty()) {
        result.chunks.append(rest);
        result.output += rest;
    }
    result.exitCode = process.exitCode();
    result.exitStatus = process.exitStatus();
    return result;
}
