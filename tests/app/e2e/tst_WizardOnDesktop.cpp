#include "tests/support/BackendProcess.h"
#include "tests/support/ProgramOutput.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestHome.h"
#include "tests/support/VirtualDesktop.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

namespace {

constexpr int processDeadlineMs = 10000;
constexpr int stepDeadlineMs = 20000;

} // namespace

// The real program on a virtual X server, not set up yet, against the
// reference back-end and the stand-in product tool, taken through the wizard
// only with the keyboard, as a person would: the default buttons on Enter,
// Tab to a switch and the space bar. The "browser" the sign-in opens follows
// the sign-in page's redirect and hands the callback to the program the way
// the desktop's scheme handler does.
class TestWizardOnDesktop : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        for (const char* tool : {"Xvfb", "xdotool", "xdg-open", "curl"}) {
            if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
                QSKIP(qPrintable(QStringLiteral("%1 is not installed").arg(QString::fromLatin1(tool))));
        }
        QVERIFY2(m_desktop.start(), qPrintable(m_desktop.lastError()));
        connect(&m_app, &QProcess::readyReadStandardOutput, this, [this] { m_output += m_app.readAllStandardOutput(); });
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        m_closedPort = probe.serverPort();
    }

    void cleanupTestCase()
    {
        stopApp();
        QCOMPARE(m_desktop.heldKeys(), QList<int>());
    }

    void approvalDeviceFromWelcomeToDone()
    {
        BackendProcess backend;
        QVERIFY2(backend.isRunning(), qPrintable(backend.lastError()));
        TestHome home;
        QVERIFY(startApp(home, backend, QString()));

        QVERIFY2(signInWithTheKeyboard(), m_output.constData());

        // Install: Tab through the model and scan switches to "Approval Device
        // Only", space turns it on, Enter is "Install & Continue →".
        QTest::qWait(400);
        QVERIFY(keys({QStringLiteral("Tab"), QStringLiteral("Tab"), QStringLiteral("Tab"), QStringLiteral("space"),
                      QStringLiteral("Return")}));
        QVERIFY2(reachedScreen(5), m_output.constData());

        // An approval device: registered with the account, the marker written, no agents.
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(home.filePath(QStringLiteral(".quorvane/machine/approver-only"))), 5000);
        QVERIFY(QFile::exists(home.filePath(QStringLiteral(".quorvane/machine/machine.json"))));
        QVERIFY(!QFile::exists(home.filePath(QStringLiteral(".quorvane/agents"))));
        bool registered = false;
        for (const QJsonValue& value : backend.requests()) {
            const QJsonObject request = value.toObject();
            registered = registered
                         || (request.value(QLatin1String("target")).toString() == QLatin1String("/machines/register")
                             && request.value(QLatin1String("status")).toInt() == 201);
        }
        QVERIFY(registered);

        // Done: Enter is "Close"; the wizard window goes and the program stays.
        QTest::qWait(400);
        QVERIFY(keys({QStringLiteral("Return")}));
        QTRY_VERIFY_WITH_TIMEOUT(programOutput(QStringLiteral("xdotool"), {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                                                  QStringLiteral("--name"), QStringLiteral("^Quorvane$")})
                                     .isEmpty(),
                                 stepDeadlineMs);
        QCOMPARE(m_app.state(), QProcess::Running);
        stopApp();
    }

    void developerWithTwoTools()
    {
        BackendProcess backend;
        QVERIFY2(backend.isRunning(), qPrintable(backend.lastError()));
        TestHome home;
        for (const QString& folder : {QStringLiteral("code/a"), QStringLiteral("code/b")})
            QVERIFY(QDir(home.path()).mkpath(folder));
        // Two tools, the first used in two project folders.
        const QString scenario = m_tools.filePath(QStringLiteral("scenario.json"));
        QFile file(scenario);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(R"({"defaults": {"stepDelayMs": 5}, "scan": {"agents": [
            {"displayName": "Code Assistant", "descriptorId": "code-assistant", "detection": {"status": "installed",
             "details": {"projects": [{"path": "~/code/a", "isActive": true, "lastActive": "today"},
                                      {"path": "~/code/b", "isActive": false, "lastActive": "last week"}]}}},
            {"displayName": "Desk Assistant", "descriptorId": "desk-assistant", "detection": {"status": "installed"}}]}})");
        file.close();
        QVERIFY(startApp(home, backend, scenario));
        QVERIFY2(signInWithTheKeyboard(), m_output.constData());

        // Install: Tab to the model switch, space turns it off, Enter installs.
        QTest::qWait(400);
        QVERIFY(keys({QStringLiteral("Tab"), QStringLiteral("space"), QStringLiteral("Return")}));
        QVERIFY2(reachedScreen(3), m_output.constData());

        // Configure: past the name, the first tool's check box, its expand
        // button (space opens it), "All projects", "Per-project" (space), the
        // first folder (space); Enter is "Continue".
        QTest::qWait(400);
        QVERIFY(keys({QStringLiteral("Tab"), QStringLiteral("Tab"), QStringLiteral("Tab"), QStringLiteral("space"),
                      QStringLiteral("Tab"), QStringLiteral("Tab"), QStringLiteral("space"), QStringLiteral("Tab"),
                      QStringLiteral("space"), QStringLiteral("Return")}));
        QVERIFY2(reachedScreen(4), m_output.constData());
        QVERIFY2(reachedScreen(5), m_output.constData());

        // One agent for the first folder of the first tool, one global agent for the second.
        QStringList scopes;
        const QDir agents(home.filePath(QStringLiteral(".quorvane/agents")));
        for (const QString& agent : agents.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
            QFile config(agents.filePath(agent + QStringLiteral("/config.json")));
            QVERIFY(config.open(QIODevice::ReadOnly));
            const QJsonObject object = QJsonDocument::fromJson(config.readAll()).object();
            scopes << object.value(QLatin1String("scope")).toString() + QLatin1Char(' ')
                          + object.value(QLatin1String("projectPath")).toString().section(QLatin1Char('/'), -2);
        }
        scopes.sort();
        QCOMPARE(scopes, (QStringList{QStringLiteral("global "), QStringLiteral("project code/a")}));
        stopApp();
    }

    // No network: a fresh home reaches the done screen with the model switch left on as it came, the
    // runtime's row failed, and no extra key.
    void offlineFirstRunReachesDone()
    {
        BackendProcess backend;
        QVERIFY2(backend.isRunning(), qPrintable(backend.lastError()));
        TestHome home;
        const QString scenario = m_tools.filePath(QStringLiteral("scenario.json"));
        QVERIFY(TestFiles::write(scenario,
            "{\"defaults\": {\"stepDelayMs\": 5}, \"scan\": {\"agents\": [{\"displayName\": \"Desk Assistant\", "
            "\"descriptorId\": \"desk-assistant\", \"detection\": {\"status\": \"installed\"}}]}}"));
        QVERIFY(startApp(home, backend, scenario));
        QVERIFY2(signInWithTheKeyboard(), m_output.constData());

        // Install: Enter is "Install & Continue →"; configure: Enter is "Continue".
        QTest::qWait(400);
        QVERIFY(keys({QStringLiteral("Return")}));
        QVERIFY2(reachedScreen(3), m_output.constData());
        QVERIFY2(m_output.contains("Quorvane: local model runtime not installed: "), m_output.constData());
        QTest::qWait(400);
        QVERIFY(keys({QStringLiteral("Return")}));
        QVERIFY2(reachedScreen(5), m_output.constData());
        QCOMPARE(m_output.count("Quorvane: wizard screen 2"), 1);
        QVERIFY(QFile::exists(home.filePath(QStringLiteral(".quorvane/machine/machine.json"))));
        stopApp();
    }

private:
    bool startApp(const TestHome& home, BackendProcess& backend, const QString& scenario)
    {
        const QString app = qEnvironmentVariable("QUORVANE_BUILD_DIR") + QStringLiteral("/bin/quorvane-app");
        if (!QFile::exists(app) || !m_tools.isValid() || !m_runtime.isValid()) {
            qWarning("no program at %s or no temporary folders", qPrintable(app));
            return false;
        }
        // The browser: follows the sign-in page to its quorvane: callback and opens
        // that with the program, as the scheme handler would.
        const QString browser = m_tools.filePath(QStringLiteral("browser"));
        QFile script(browser);
        if (!script.open(QIODevice::WriteOnly))
            return false;
        script.write("#!/bin/sh\n"
                     "callback=$(curl -s -o /dev/null -w '%{redirect_url}' \"$1\")\n"
                     "exec \"$QUORVANE_TEST_APP\" \"$callback\"\n");
        script.close();
        script.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);

        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QUORVANE_API_BASE_URL"), backend.url().toString());
        environment.insert(QStringLiteral("QUORVANE_WEB_BASE_URL"), backend.url().toString());
        environment.insert(QStringLiteral("QUORVANE_CREDENTIAL_STORE"), QStringLiteral("file"));
        environment.insert(QStringLiteral("QUORVANE_REPORT_PENDING"), QStringLiteral("1"));
        if (!scenario.isEmpty())
            environment.insert(QStringLiteral("QUORVANE_CLI_SCENARIO"), scenario);
        environment.insert(QStringLiteral("QUORVANE_CLI_LOG"), m_tools.filePath(QStringLiteral("cli.log")));
        environment.insert(QStringLiteral("QUORVANE_TEST_APP"), app);
        // A build that pins the runtime's digest, on a machine where nobody answers
        // at the runtime's address (as without network).
        environment.insert(QStringLiteral("QUORVANE_OLLAMA_SHA256"), QString(64, QLatin1Char('0')));
        environment.insert(QStringLiteral("QUORVANE_OLLAMA_URL"),
            QStringLiteral("http://127.0.0.1:%1/ollama-linux-{arch}.tgz").arg(m_closedPort));
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtime.path());
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral(".config")));
        environment.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath(QStringLiteral(".local/share")));
        environment.insert(QStringLiteral("BROWSER"), browser);
        environment.remove(QStringLiteral("XDG_CURRENT_DESKTOP"));
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        m_output.clear();
        QFile::remove(m_tools.filePath(QStringLiteral("cli.log")));
        m_app.setProcessEnvironment(environment);
        // The program's log lines (standard error) are read too.
        m_app.setProcessChannelMode(QProcess::MergedChannels);
        m_app.start(app, {});
        if (!m_app.waitForStarted(processDeadlineMs)) {
            qWarning("the program did not start");
            return false;
        }
        const bool shown = QTest::qWaitFor([this] {
            m_windowId = programOutput(QStringLiteral("xdotool"), {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                                          QStringLiteral("--name"), QStringLiteral("^Quorvane$")})
                             .section(QLatin1Char('\n'), 0, 0);
            return !m_windowId.isEmpty();
        }, stepDeadlineMs);
        QTest::qWait(500); // the first frame
        if (!shown)
            qWarning("no wizard window appeared; the program %s (status %d): %s",
                     m_app.state() == QProcess::Running ? "runs" : "ended", m_app.exitCode(), m_output.constData());
        return shown;
    }

    void stopApp()
    {
        if (m_app.state() == QProcess::NotRunning)
            return;
        m_app.terminate();
        if (!m_app.waitForFinished(processDeadlineMs))
            m_app.kill();
    }

    // Welcome: Enter is "Get Started →". Sign-in: Enter is "Sign in with Google";
    // the browser comes back with the code and the install screen shows.
    bool signInWithTheKeyboard()
    {
        return keys({QStringLiteral("Return")}) && reachedScreen(1) && keys({QStringLiteral("Return")}) && reachedScreen(2);
    }

    // Presses the keys one by one on the wizard window, each given time to act.
    bool keys(const QStringList& names)
    {
        for (const QString& name : names) {
            if (!m_desktop.pressKeys(m_windowId, {name}))
                return false;
            QTest::qWait(150);
        }
        return true;
    }

    bool reachedScreen(int screen)
    {
        const QByteArray line = "Quorvane: wizard screen " + QByteArray::number(screen);
        if (QTest::qWaitFor([&] { return m_output.contains(line); }, stepDeadlineMs))
            return true;
        qWarning("screen %d not reached; the program %s (status %d)", screen,
                 m_app.state() == QProcess::Running ? "runs" : "ended", m_app.exitCode());
        return false;
    }

    VirtualDesktop m_desktop;
    QProcess m_app;
    QByteArray m_output;
    QString m_windowId;
    QTemporaryDir m_tools;
    QTemporaryDir m_runtime;
    quint16 m_closedPort = 0;
};

QTEST_GUILESS_MAIN(TestWizardOnDesktop)
#include "tst_WizardOnDesktop.moc"
