#pragma once

#include <QFile>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// The stand-in product tool of the build tree for one test case: it records
// every run (QUORVANE_CLI_LOG) and follows the scenario written here
// (QUORVANE_CLI_SCENARIO; none: every command succeeds). The variables are
// removed again when it goes away.
class StandInTool
{
public:
    struct Run
    {
        QStringList arguments; // without the program name
        QString workingDirectory;
    };

    StandInTool()
    {
        qputenv("QUORVANE_CLI_LOG", QFile::encodeName(m_dir.filePath(QStringLiteral("runs.log"))));
        qunsetenv("QUORVANE_CLI_SCENARIO");
    }
    ~StandInTool()
    {
        qunsetenv("QUORVANE_CLI_LOG");
        qunsetenv("QUORVANE_CLI_SCENARIO");
    }
    StandInTool(const StandInTool&) = delete;
    StandInTool& operator=(const StandInTool&) = delete;

    // $QUORVANE_BUILD_DIR/libexec/quorvane/bin/quorvane
    static QString executablePath()
    {
        return qEnvironmentVariable("QUORVANE_BUILD_DIR") + QStringLiteral("/libexec/quorvane/bin/quorvane");
    }

    bool writeScenario(const QJsonObject& scenario) const;
    // Every run so far, in order.
    QList<Run> runs() const;

private:
    QTemporaryDir m_dir;
};
