#pragma once

#include "app/dashboard/HomeState.h"
#include "app/dashboard/McpInventory.h"
#include "app/tooling/ModelDownloadProgressSource.h"
#include "app/tooling/CLIService.h"
#include "app/tooling/DependencyService.h"
#include "core/CoreConstants.h"
#include "core/MachineAuthService.h"
#include "platform/FileCredentialStore.h"
#include "tests/support/BackendProcess.h"
#include "tests/support/ChildProcesses.h"
#include "tests/support/LogCapture.h"
#include "tests/support/StandInTool.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestHome.h"
#include "tests/support/TestMachine.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <qcorotask.h>

using namespace Qt::StringLiterals;

// The wizard's model download as the dashboard follows it, set by hand.
class StandInModelDownload final : public ModelDownloadProgressSource
{
public:
    bool llmDownloading() const override { return m_downloading; }
    bool llmDownloadComplete() const override { return m_complete; }
    double llmDownloadProgress() const override { return m_progress; }

    void setLlmDownloading(bool value) { change(m_downloading, value, &ModelDownloadProgressSource::llmDownloadingChanged); }
    void setLlmDownloadComplete(bool value)
    {
        change(m_complete, value, &ModelDownloadProgressSource::llmDownloadCompleteChanged);
    }
    void setLlmDownloadProgress(double value)
    {
        change(m_progress, value, &ModelDownloadProgressSource::llmDownloadProgressChanged);
    }

private:
    template <typename Value>
    void change(Value& field, Value value, void (ModelDownloadProgressSource::*changed)())
    {
        if (field == value)
            return;
        field = value;
        (this->*changed)();
    }

    bool m_downloading = false;
    bool m_complete = false;
    double m_progress = 0.0;
};

// The dashboard model against the stand-in tool (a real child process driven
// by a scenario file, logging every argument list) and the reference back-end:
// what the HomeState test programs share.

struct HomeStateFixture
{
    TestHome home;
    QTemporaryDir dir;
    StandInTool tool;
    BackendProcess backend;
    FileCredentialStore fileStore;
    CredentialStore& store;
    std::optional<TestMachine> machine;
    MachineAuthService auth { store };
    QNetworkAccessManager network;
    CLIService cli;
    DependencyService dependencies { &network, &cli };
    QSettings settings { QDir(dir.path()).filePath(u"settings.ini"_s), QSettings::IniFormat };
    // The wizard's model download, as the program hands it to the dashboard.
    StandInModelDownload wizard;
    std::unique_ptr<HomeState> state;

    // credentials: the store of the machine key; by default a file under the test home.
    explicit HomeStateFixture(bool registered = true, CredentialStore* credentials = nullptr)
        : store(credentials ? *credentials : fileStore)
    {
        qputenv("QUORVANE_API_BASE_URL", backend.url().toString().toUtf8());
        if (registered)
            machine = TestMachine::provision(backend, store);
        auth.reload();
        dependencies.setKnownPaths({ dir.filePath(u"bin"_s) });
        state = std::make_unique<HomeState>(cli, dependencies, auth, network, settings,
            &wizard);
    }
    ~HomeStateFixture()
    {
        state.reset();
        qunsetenv("QUORVANE_API_BASE_URL");
    }

    QString ollamaPath() const { return dir.filePath(u"bin/ollama"_s); }
    // A model runtime whose "list" runs body.
    bool installOllama(const QByteArray& body) const
    {
        return TestFiles::writeShellScript(ollamaPath(), body);
    }
    bool writeScenario(const QJsonObject& scenario) const { return tool.writeScenario(scenario); }
    bool writeScenario(const QString& command, const QJsonObject& behaviour) const
    {
        return tool.writeScenario(QJsonObject { { command, behaviour } });
    }
    bool writeInventory(const QByteArray& contents) const
    {
        return home.write(u".quorvane/mcp-servers.json"_s, contents);
    }

    // The argument lists of the stand-in tool's runs, oldest first; with a
    // command, only the runs of that command.
    QList<QStringList> invocations(const QString& command = {}) const
    {
        QList<QStringList> result;
        for (const StandInTool::Run& run : tool.runs()) {
            if (command.isEmpty() || run.arguments.value(0) == command)
                result.append(run.arguments);
        }
        return result;
    }

    // An agent's config.json as the product tool writes it.
    bool writeAgent(const QString& name, const QString& createdAt) const
    {
        const QJsonObject config { { u"name"_s, name }, { u"machine"_s, u"desk"_s },
            { u"machineId"_s, u"m-1"_s }, { u"publicKey"_s, u"pk"_s }, { u"createdAt"_s, createdAt },
            { u"apiUrl"_s, u"https://api.example"_s }, { u"scope"_s, u"global"_s } };
        return home.write(u".quorvane/agents/%1/config.json"_s.arg(name),
            QJsonDocument(config).toJson(QJsonDocument::Compact));
    }

    // The requests the back-end received with this method and target.
    QList<QJsonObject> requests(const QString& method, const QString& target)
    {
        QList<QJsonObject> result;
        for (const QJsonValue& value : backend.requests()) {
            const QJsonObject request = value.toObject();
            if (request.value(u"method"_s).toString() == method
                && request.value(u"target"_s).toString() == target)
                result.append(request);
        }
        return result;
    }
    QList<QJsonObject> syncRequests() { return requests(u"POST"_s, u"/mcp-servers/sync"_s); }
    QList<QJsonObject> preferenceRequests() { return requests(u"PUT"_s, u"/users/preferences"_s); }
};

inline QString bodyOf(const QJsonObject& request)
{
    return request.value(u"body"_s).toString();
}

// Our children that run the stand-in tool (the back-end is a child too).
inline int childCount()
{
    return childProcessCount("quorvane");
}

inline QByteArray inventoryText()
{
    return "{\n  \"servers\": [\n    {\"name\": \"filesystem\", \"command\": \"mcp-fs\"},\n"
           "    {\"name\": \"tracker\", \"url\": \"http://127.0.0.1:9/mcp\"}\n  ]\n}\n";
}
inline QString inventoryBody()
{
    return QStringLiteral("{\"servers\":[{\"command\":\"mcp-fs\",\"name\":\"filesystem\"},"
                          "{\"name\":\"tracker\",\"url\":\"http://127.0.0.1:9/mcp\"}]}");
}

// The base of the HomeState test programs: every case runs the stand-in tool
// from the build tree, and no tool a case started may outlive it.
class HomeStateTestCase : public QObject
{
    Q_OBJECT

protected:
    using Fixture = HomeStateFixture;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(QFileInfo(StandInTool::executablePath()).isExecutable(),
            qPrintable(StandInTool::executablePath()));
        qputenv("QUORVANE_CLI", QFile::encodeName(StandInTool::executablePath()));
    }
    void cleanup()
    {
        qputenv("QUORVANE_CLI", QFile::encodeName(StandInTool::executablePath())); // a case may have moved it
        QTRY_COMPARE(childCount(), 0);
    }
};
