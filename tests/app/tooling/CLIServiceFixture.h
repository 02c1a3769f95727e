#pragma once

#include "app/tooling/CLIService.h"
#include "tests/support/ChildProcesses.h"
#include "tests/support/StandInTool.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestHome.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <qcorotask.h>

// The runner against the stand-in tool, a real child process driven by a
// scenario file that records every run, in a test home of its own; scripts
// written into the test folder stand for tools that misbehave.
struct CLIServiceFixture
{
    static void checkStandIn()
    {
        QVERIFY2(QFileInfo(StandInTool::executablePath()).isExecutable(),
            qPrintable(StandInTool::executablePath()));
        qunsetenv("QUORVANE_CLI");
    }
    void setUp()
    {
        m_home = std::make_unique<TestHome>();
        m_dir = std::make_unique<QTemporaryDir>();
        m_tool = std::make_unique<StandInTool>();
    }
    void tearDown()
    {
        m_tool.reset();
        qunsetenv("QUORVANE_CLI");
        // Whatever a case did, no child of ours may outlive it.
        QTRY_COMPARE(childProcessCount(), 0);
        m_dir.reset();
        m_home.reset();
    }
    void writeScenario(const QJsonObject& scenario) { QVERIFY(m_tool->writeScenario(scenario)); }
    QString writeScript(const QString& name, const QByteArray& body)
    {
        const QString path = m_dir->filePath(name);
        return TestFiles::writeShellScript(path, body) ? path : QString();
    }

    std::unique_ptr<TestHome> m_home;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<StandInTool> m_tool;
};
