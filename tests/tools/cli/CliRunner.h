#pragma once

#include "tests/support/TestHome.h"

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>

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

// What the stand-in tool's tests share: a fresh home and, outside it, the
// scenario and the invocation log, and a runner whose environment points there.
class CliCase
{
protected:
    bool setUp();
    void tearDown();

    QString scenarioPath() const;
    QString logPath() const;
    void setScenario(const QByteArray& json) const;
    // `line` is split at spaces into the argument list.
    CliRun run(const char* line, const QString& workingDirectory = {}) const;
    // The files in the home, relative to it, sorted.
    QStringList homeFiles() const;
    QJsonObject readJson(const QString& relative) const;
    // A registered agent folder as the tool itself would leave it.
    void addAgent(const QString& folder, const QString& name) const;

    std::unique_ptr<TestHome> home;
    std::unique_ptr<QTemporaryDir> side;
    CliRunner cli;
};
