#pragma once

#include "app/tooling/CLIService.h"
#include "platform/PkexecPrivilegedRunner.h"
#include "tests/support/ChildProcesses.h"
#include "tests/support/StandInTool.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestHome.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>
#include <qcorotask.h>

using namespace Qt::StringLiterals;

// The runner against the stand-in tool, a real child process driven by a
// scenario file that records every run, in a test home of its own; scripts
// written into the test folder stand for tools that misbehave, and for pkexec.
class CLIServiceTestCase : public QObject
{
    Q_OBJECT

protected:
    std::optional<TestHome> m_home;
    std::optional<QTemporaryDir> m_dir;
    std::optional<StandInTool> m_tool;

    void writeScenario(const QJsonObject& scenario) { QVERIFY(m_tool->writeScenario(scenario)); }
    void writeScenario(const QString& command, const QJsonObject& behaviour)
    {
        writeScenario(QJsonObject { { command, behaviour } });
    }
    QString writeScript(const QString& name, const QByteArray& body)
    {
        const QString path = m_dir->filePath(name);
        return TestFiles::writeShellScript(path, body) ? path : QString();
    }
    // pkexec itself only talks to the system bus: a stand-in records its
    // arguments, then behaves as the case asks (runs the command without
    // privileges, exits 126 for a dismissed prompt, 127 when not authorised, or
    // fails with text on standard error).
    QString writeStandIn(const QByteArray& behaviour)
    {
        const QByteArray argv = QFile::encodeName(m_dir->filePath(u"argv"_s));
        return writeScript(u"pkexec"_s,
            "for a in \"$@\"; do printf '%s\\0' \"$a\" >> '" + argv + "'; done\n" + behaviour + "\n");
    }
    QStringList recordedArguments() const
    {
        QStringList arguments;
        const QList<QByteArray> parts = TestFiles::contentOf(m_dir->filePath(u"argv"_s)).split('\0');
        for (qsizetype i = 0; i + 1 < parts.size(); ++i)
            arguments.append(QString::fromUtf8(parts[i]));
        return arguments;
    }
    static QStringList typesOf(const QList<CLIEvent>& events)
    {
        QStringList types;
        for (const CLIEvent& event : events)
            types.append(event.type);
        return types;
    }

protected Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(QFileInfo(StandInTool::executablePath()).isExecutable(),
            qPrintable(StandInTool::executablePath()));
        qunsetenv("QUORVANE_CLI");
    }
    void init()
    {
        m_home.emplace();
        m_dir.emplace();
        m_tool.emplace();
    }
    void cleanup()
    {
        m_tool.reset();
        qunsetenv("QUORVANE_CLI");
        // Whatever a case did, no child of ours may outlive it.
        QTRY_COMPARE(childProcessCount(), 0);
        m_dir.reset();
        m_home.reset();
    }
};
