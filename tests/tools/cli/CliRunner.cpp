#include "tests/tools/cli/CliRunner.h"

#include "tests/support/TestFiles.h"
#include "tests/support/Words.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QJsonDocument>
#include <QJsonParseError>

using namespace Qt::StringLiterals;

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
        types.append(event.value(u"type"_s).toString());
    return types;
}

QString CliRunner::executablePath()
{
    return qEnvironmentVariable("QUORVANE_BUILD_DIR") + u"/libexec/quorvane/bin/quorvane"_s;
}

bool CliRunner::isEvent(const QByteArray& line, QJsonObject* event)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(line, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return false;
    const QJsonObject object = document.object();
    if (!object.value(u"type"_s).isString())
        return false;
    for (const char* key : { "message", "error" }) {
        const QJsonValue value = object.value(QLatin1String(key));
        if (!value.isUndefined() && !value.isString())
            return false;
    }
    const QJsonValue progress = object.value(u"progress"_s);
    if (!progress.isUndefined() && !progress.isDouble())
        return false;
    const QJsonValue data = object.value(u"data"_s);
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

bool CliCase::setUp()
{
    home = std::make_unique<TestHome>();
    side = std::make_unique<QTemporaryDir>();
    cli.environment = QProcessEnvironment::systemEnvironment();
    cli.environment.insert(u"QUORVANE_HOME"_s, home->path());
    cli.environment.insert(u"QUORVANE_CLI_SCENARIO"_s, scenarioPath());
    cli.environment.insert(u"QUORVANE_CLI_LOG"_s, logPath());
    cli.environment.remove(u"QUORVANE_API_BASE_URL"_s);
    setScenario("{}");
    return side->isValid() && QFile::exists(CliRunner::executablePath());
}

void CliCase::tearDown()
{
    home.reset();
    side.reset();
}

QString CliCase::scenarioPath() const
{
    return side->filePath(u"scenario.json"_s);
}

QString CliCase::logPath() const
{
    return side->filePath(u"invocations.jsonl"_s);
}

void CliCase::setScenario(const QByteArray& json) const
{
    TestFiles::write(scenarioPath(), json);
}

CliRun CliCase::run(const char* line, const QString& workingDirectory) const
{
    return cli.run(words(line), workingDirectory);
}

QStringList CliCase::homeFiles() const
{
    QStringList files;
    QDirIterator it(home->path(), QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext())
        files.append(QDir(home->path()).relativeFilePath(it.next()));
    files.sort();
    return files;
}

QJsonObject CliCase::readJson(const QString& relative) const
{
    return QJsonDocument::fromJson(TestFiles::contentOf(home->filePath(relative))).object();
}

void CliCase::addAgent(const QString& folder, const QString& name) const
{
    const QJsonObject config { { u"name"_s, name }, { u"machine"_s, u"desk"_s }, { u"machineId"_s, u"m-1"_s },
        { u"publicKey"_s, u"key"_s }, { u"createdAt"_s, u"2025-01-01T00:00:00Z"_s },
        { u"apiUrl"_s, u"http://127.0.0.1:1"_s } };
    home->write(u".quorvane/agents/"_s + folder + u"/config.json"_s, QJsonDocument(config).toJson());
}
