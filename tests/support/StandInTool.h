#pragma once

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

    StandInTool();
    ~StandInTool();
    StandInTool(const StandInTool&) = delete;
    StandInTool& operator=(const StandInTool&) = delete;

    // $QUORVANE_BUILD_DIR/libexec/quorvane/bin/quorvane
    static QString executablePath();

    bool writeScenario(const QJsonObject& scenario) const;
    // Every run so far, in order.
    QList<Run> runs() const;

private:
    QTemporaryDir m_dir;
};
