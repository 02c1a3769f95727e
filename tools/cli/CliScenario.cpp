#include "tools/cli/CliScenario.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>
#include <cmath>
#include <limits>

namespace {

constexpr qint64 maxLargeOutput = qint64(256) * 1024 * 1024;

QJsonObject builtInDefaults(const QString& command)
{
    QJsonObject defaults;
    if (command == QLatin1String("download-model")) {
        // Spread over about two seconds, like a real download seen from afar.
        defaults.insert(QStringLiteral("steps"), 10);
        defaults.insert(QStringLiteral("stepDelayMs"), 200);
    } else if (command == QLatin1String("version") || command == QLatin1String("scan")
        || command == QLatin1String("mark-linked")) {
        defaults.insert(QStringLiteral("stepDelayMs"), 0);
    }
    return defaults;
}

void overlay(QJsonObject& target, const QJsonObject& source)
{
    for (auto it = source.begin(); it != source.end(); ++it) {
        if (it.key() != QLatin1String("cases"))
            target.insert(it.key(), it.value());
    }
}

bool caseMatches(const QJsonObject& when, const QStringList& arguments, const QString& workingDirectory)
{
    const QJsonValue args = when.value(QStringLiteral("whenArgs"));
    if (args.isArray()) {
        for (const QJsonValue& wanted : args.toArray()) {
            if (!wanted.isString() || !arguments.contains(wanted.toString()))
                return false;
        }
    }
    const QJsonValue cwd = when.value(QStringLiteral("whenCwd"));
    if (cwd.isString()) {
        const QString suffix = cwd.toString();
        if (workingDirectory != suffix && !workingDirectory.endsWith(u'/' + suffix))
            return false;
    }
    return true;
}

// Reads an integer key into *out; false (with *error set) when present but not
// a whole number within [minimum, maximum].
bool readInteger(
    const QJsonObject& object, const char* key, qint64 minimum, qint64 maximum, qint64* out, QString* error)
{
    const QJsonValue value = object.value(QLatin1String(key));
    if (value.isUndefined())
        return true;
    const double number = value.toDouble(std::numeric_limits<double>::quiet_NaN());
    if (!value.isDouble() || std::isnan(number) || number != std::floor(number) || number < double(minimum)
        || number > double(maximum)) {
        *error = QStringLiteral("%1 must be a whole number from %2 to %3")
                     .arg(QLatin1String(key))
                     .arg(minimum)
                     .arg(maximum);
        return false;
    }
    *out = qint64(number);
    return true;
}

bool readInt(const QJsonObject& object, const char* key, int minimum, int maximum, int* out, QString* error)
{
    qint64 wide = *out;
    if (!readInteger(object, key, minimum, maximum, &wide, error))
        return false;
    *out = int(wide);
    return true;
}

bool readBool(const QJsonObject& object, const char* key, bool* out, QString* error)
{
    const QJsonValue value = object.value(QLatin1String(key));
    if (value.isUndefined())
        return true;
    if (!value.isBool()) {
        *error = QStringLiteral("%1 must be true or false").arg(QLatin1String(key));
        return false;
    }
    *out = value.toBool();
    return true;
}

bool readString(const QJsonObject& object, const char* key, QString* out, QString* error)
{
    const QJsonValue value = object.value(QLatin1String(key));
    if (value.isUndefined())
        return true;
    if (!value.isString()) {
        *error = QStringLiteral("%1 must be a string").arg(QLatin1String(key));
        return false;
    }
    *out = value.toString();
    return true;
}

// The lines a careless or broken tool might print: none of them is an event.
QStringList standardMalformedLines()
{
    return {
        QStringLiteral("this is not JSON"),
        QStringLiteral("{\"type\":\"progress\",\"progress\":0.5"),
        QStringLiteral("{\"message\":\"an event without a type\"}"),
        QStringLiteral("{\"type\":\"progress\",\"data\":{\"count\":3}}"),
        QStringLiteral("{\"type\":\"progress\",\"progress\":\"half\"}"),
        QStringLiteral("[\"type\",\"progress\"]"),
        QStringLiteral("\"progress\""),
    };
}

bool readMalformed(const QJsonObject& object, QStringList* out, QString* error)
{
    const QJsonValue value = object.value(QStringLiteral("malformed"));
    if (value.isUndefined() || (value.isBool() && !value.toBool()))
        return true;
    if (value.isBool()) {
        *out = standardMalformedLines();
        return true;
    }
    if (value.isArray()) {
        for (const QJsonValue& line : value.toArray()) {
            if (!line.isString()) {
                *error = QStringLiteral("malformed must be true, false or an array of strings");
                return false;
            }
            out->append(line.toString());
        }
        return true;
    }
    *error = QStringLiteral("malformed must be true, false or an array of strings");
    return false;
}

} // namespace

CliScenario CliScenario::load(const QString& path)
{
    CliScenario scenario;
    if (path.isEmpty())
        return scenario;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        scenario.m_error = QStringLiteral("cannot read scenario %1: %2").arg(path, file.errorString());
        return scenario;
    }
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        scenario.m_error = QStringLiteral("scenario %1 is not valid JSON: %2 at offset %3")
                               .arg(path, parseError.errorString())
                               .arg(parseError.offset);
        return scenario;
    }
    if (!document.isObject()) {
        scenario.m_error = QStringLiteral("scenario %1 must hold a JSON object").arg(path);
        return scenario;
    }
    scenario.m_root = document.object();
    return scenario;
}

std::optional<CommandBehaviour> CliScenario::behaviourFor(const QString& command,
    const QStringList& arguments, const QString& workingDirectory, QString* error) const
{
    QJsonObject merged = builtInDefaults(command);
    for (const QString& key : { QStringLiteral("defaults"), command }) {
        const QJsonValue section = m_root.value(key);
        if (section.isUndefined())
            continue;
        if (!section.isObject()) {
            *error = QStringLiteral("scenario key \"%1\" must hold an object").arg(key);
            return std::nullopt;
        }
        overlay(merged, section.toObject());
    }

    const QJsonValue cases = m_root.value(command).toObject().value(QStringLiteral("cases"));
    if (!cases.isUndefined() && !cases.isArray()) {
        *error = QStringLiteral("%1.cases must be an array of objects").arg(command);
        return std::nullopt;
    }
    for (const QJsonValue& entry : cases.toArray()) {
        if (!entry.isObject()) {
            *error = QStringLiteral("%1.cases must be an array of objects").arg(command);
            return std::nullopt;
        }
        if (caseMatches(entry.toObject(), arguments, workingDirectory)) {
            overlay(merged, entry.toObject());
            break;
        }
    }
    merged.remove(QStringLiteral("whenArgs"));
    merged.remove(QStringLiteral("whenCwd"));

    CommandBehaviour behaviour;
    QString problem;
    QString rawOutput;
    const bool ok = readInt(merged, "exitCode", 0, 255, &behaviour.exitCode, &problem)
        && readString(merged, "errorMessage", &behaviour.errorMessage, &problem)
        && readInt(merged, "failAfterSteps", 0, 1000, &behaviour.failAfterSteps, &problem)
        && readInt(merged, "steps", 1, 10000, &behaviour.steps, &problem)
        && readInt(merged, "stepDelayMs", 0, 600000, &behaviour.stepDelayMs, &problem)
        && readBool(merged, "splitLines", &behaviour.splitLines, &problem)
        && readInt(merged, "splitDelayMs", 0, 600000, &behaviour.splitDelayMs, &problem)
        && readMalformed(merged, &behaviour.malformedLines, &problem)
        && readInteger(merged, "largeOutputBytes", 0, maxLargeOutput, &behaviour.largeOutputBytes, &problem)
        && readBool(merged, "hang", &behaviour.hang, &problem)
        && readBool(merged, "ignoreTerminate", &behaviour.ignoreTerminate, &problem)
        && readString(merged, "rawOutput", &rawOutput, &problem);
    if (!ok) {
        *error = QStringLiteral("scenario %1: %2").arg(command, problem);
        return std::nullopt;
    }
    if (merged.contains(QStringLiteral("rawOutput")))
        behaviour.rawOutput = rawOutput;

    for (const char* common :
        { "exitCode", "errorMessage", "failAfterSteps", "steps", "stepDelayMs", "splitLines", "splitDelayMs",
            "malformed", "largeOutputBytes", "hang", "ignoreTerminate", "rawOutput" })
        merged.remove(QLatin1String(common));
    behaviour.settings = merged;
    return behaviour;
}
