#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

// Runs the built stand-in tool as a child process, the way the companion does
// (standard error to the null device), and keeps what it printed.
struct CliRun
{
    bool started = false;
    bool finished = false; // false: it was killed after the time limit
    int exitCode = -1;
    QProcess::ExitStatus exitStatus = QProcess::NormalExit;
    QByteArray output;
    QList<QByteArray> chunks; // standard output as the reads delivered it

    QList<QByteArray> lines() const;
    // The lines that decode as events by the companion's rules.
    QList<QJsonObject> events() const;
    QStringList eventTypes() const;
};

class CliRunner
{
public:
    static QString executablePath();
    // A line is an event when it is a JSON object with a text "type", an
    // optional text "message" and "error", a numeric "progress" and a "data"
    // object whose values are all texts.
    static bool isEvent(const QByteArray& line, QJsonObject* event = nullptr);

    QProcessEnvironment environment;

    CliRun run(
        const QStringList& arguments, const QString& workingDirectory = {}, int timeoutMs = 30000) const;
};
