#pragma once

#include "tests/support/BackendProcess.h"
#include "app/tooling/CLIService.h"
#include "tests/support/ChildProcesses.h"
#include "core/CoreConstants.h"
#include "app/tooling/DependencyService.h"
#include "platform/FileCredentialStore.h"
#include "app/dashboard/HomeState.h"
#include "tests/support/LogCapture.h"
#include "tests/support/StandInTool.h"
#include "core/MachineAuthService.h"
#include "app/dashboard/McpInventory.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestHome.h"
#include "tests/support/TestMachine.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QScopeGuard>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <qcorotask.h>

#include <optional>
#include <unistd.h>

// The dashboard model against the stand-in tool (a real child process driven
// by a scenario file, logging every argument list) and the reference back-end:
// what the HomeState test programs share.

// A model download running in the wizard, as the dashboard sees it. Driven
// either by hand (the setters) or by the stand-in tool, the way the wizard
// runs "download-model".
class WizardDownload : public ModelDownloadProgressSource
{
public:
    bool llmDownloading() const override { return m_downloading; }
    bool llmDownloadComplete() const override { return m_complete; }
    double llmDownloadProgress() const override { return m_progress; }

    void setDownloading(bool value)
    {
        if (std::exchange(m_downloading, value) != value)
            Q_EMIT llmDownloadingChanged();
    }
    void setComplete(bool value)
    {
        if (std::exchange(m_complete, value) != value)
            Q_EMIT llmDownloadCompleteChanged();
    }
    void setProgress(double value)
    {
        if (std::exchange(m_progress, value) != value)
            Q_EMIT llmDownloadProgressChanged();
    }

    QCoro::Task<bool> start(CLIService& cli)
    {
        setDownloading(true);
        setProgress(0.0);
        setComplete(false);
        QStringList arguments;
        arguments << QStringLiteral("download-model") << QStringLiteral("--wizard");
        CLIService::EventHandler onEvent = [this](const CLIEvent& event) {
            if (event.progress)
                setProgress(*event.progress);
            if (event.type == QLatin1String("complete")) {
                setComplete(true);
                setDownloading(false);
            } else if (event.type == QLatin1String("error")) {
                setDownloading(false);
            }
        };
        CLIResult<std::shared_ptr<CLIProcess>> started = co_await cli.start(arguments, std::move(onEvent));
        if (!started)
            co_return false;
        m_process = started.value();
        co_return true;
    }

private:
    bool m_downloading = false;
    bool m_complete = false;
    double m_progress = 0.0;
    std::shared_ptr<CLIProcess> m_process;
};

inline QByteArray compact(const QJsonObject& object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

struct HomeStateFixture
{
    TestHome home;
    QTemporaryDir dir;
    StandInTool tool;
    BackendProcess backend;
    FileCredentialStore fileStore;
    CredentialStore& store;
    std::optional<TestMachine> machine;
    MachineAuthService auth{store};
    QNetworkAccessManager network;
    CLIService cli;
    DependencyService dependencies{&network, &cli};
    QSettings settings{QDir(dir.path()).filePath(QStringLiteral("settings.ini")), QSettings::IniFormat};
    WizardDownload wizard;
    std::unique_ptr<HomeState> state;

    // credentials: the store of the machine key; by default a file under the test home.
    explicit HomeStateFixture(bool registered = true, CredentialStore* credentials = nullptr)
        : store(credentials ? *credentials : fileStore)
    {
        qputenv("QUORVANE_API_BASE_URL", backend.url().toString().toUtf8());
        if (registered)
            machine = TestMachine::provision(backend, store);
        auth.reload();
        QDir(dir.path()).mkpath(QStringLiteral("bin"));
        dependencies.setKnownPaths({dir.filePath(QStringLiteral("bin"))});
        state = std::make_unique<HomeState>(cli, dependencies, auth, network, settings, &wizard);
    }
    ~HomeStateFixture()
    {
        state.reset();
        qunsetenv("QUORVANE_API_BASE_URL");
    }

    QString ollamaPath() const { return dir.filePath(QStringLiteral("bin/ollama")); }

    // A model runtime whose "list" runs body.
    bool installOllama(const QByteArray& body) const { return TestFiles::writeShellScript(ollamaPath(), body); }

    bool writeScenario(const QJsonObject& scenario) const { return tool.writeScenario(scenario); }

    bool writeInventory(const QByteArray& contents) const
    {
        return home.write(QStringLiteral(".quorvane/mcp-servers.json"), contents);
    }

    // Every run of the stand-in tool, oldest first.
    QList<StandInTool::Run> runs() const
    {
        return tool.runs();
    }
    QList<QStringList> invocations() const
    {
        QList<QStringList> result;
        for (const StandInTool::Run& run : tool.runs())
            result.append(run.arguments);
        return result;
    }
    // The runs whose first argument is command.
    QList<QStringList> invocationsOf(const QString& command) const
    {
        QList<QStringList> result = invocations();
        result.removeIf([&](const QStringList& arguments) { return arguments.value(0) != command; });
        return result;
    }

    // An agent's config.json as the product tool writes it.
    bool writeAgent(const QString& name, const QString& createdAt) const
    {
        return home.write(QStringLiteral(".quorvane/agents/%1/config.json").arg(name),
                          compact(QJsonObject{{QStringLiteral("name"), name},
                                              {QStringLiteral("machine"), QStringLiteral("desk")},
                                              {QStringLiteral("machineId"), QStringLiteral("m-1")},
                                              {QStringLiteral("publicKey"), QStringLiteral("pk")},
                                              {QStringLiteral("createdAt"), createdAt},
                                              {QStringLiteral("apiUrl"), QStringLiteral("https://api.example")},
                                              {QStringLiteral("scope"), QStringLiteral("global")}}));
    }

    QList<QJsonObject> requests(const QString& method, const QString& target)
    {
        QList<QJsonObject> result;
        for (const QJsonValue& value : backend.requests()) {
            const QJsonObject request = value.toObject();
            if (request.value(QLatin1String("method")).toString() == method
                && request.value(QLatin1String("target")).toString() == target)
                result.append(request);
        }
        return result;
    }
    QList<QJsonObject> syncRequests() { return requests(QStringLiteral("POST"), QStringLiteral("/mcp-servers/sync")); }
    QList<QJsonObject> preferenceRequests()
    {
        return requests(QStringLiteral("PUT"), QStringLiteral("/users/preferences"));
    }
};

// Our children that run the stand-in tool (the back-end is a child too).
inline int childCount() { return childProcessCount("quorvane"); }

inline QString inventoryText()
{
    return QStringLiteral("{\n  \"servers\": [\n    {\"name\": \"filesystem\", \"command\": \"mcp-fs\"},\n"
                          "    {\"name\": \"tracker\", \"url\": \"http://127.0.0.1:9/mcp\"}\n  ]\n}\n");
}
inline QByteArray inventoryBody()
{
    return QByteArray("{\"servers\":[{\"command\":\"mcp-fs\",\"name\":\"filesystem\"},"
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
        const QString standIn
            = qEnvironmentVariable("QUORVANE_BUILD_DIR") + QStringLiteral("/libexec/quorvane/bin/quorvane");
        QVERIFY2(QFileInfo(standIn).isExecutable(), qPrintable(standIn));
        qputenv("QUORVANE_CLI", QFile::encodeName(standIn));
    }

    void cleanup() { QTRY_COMPARE(childCount(), 0); }
};
