#include "core/ApprovalSyncService.h"
#include "tests/support/BackendProcess.h"
#include "platform/FileCredentialStore.h"
#include "core/MachineAuthService.h"
#include "platform/MachineIdentifier.h"
#include "tests/support/TestHome.h"
#include "tests/support/TestMachine.h"

#include <QCoroTask>

#include <QDir>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QNetworkAccessManager>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

// The companion as a real process (offscreen) against the reference back-end
// and a prepared home: escalations reach it, decisions reach the back-end.
class TestAppEndToEnd : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void escalationReachesTheAppAndADecisionRemovesIt();
    void secondStartHandsOverAndExits();

private:
    QString appPath() const;
    QList<int> counts() const;

    std::unique_ptr<BackendProcess> m_backend;
    std::unique_ptr<TestHome> m_home;
    QTemporaryDir m_runtime;
    QProcess m_app;
    QByteArray m_output;
    std::optional<TestMachine> m_machine;
};

QString TestAppEndToEnd::appPath() const
{
    return qEnvironmentVariable("QUORVANE_BUILD_DIR") + QStringLiteral("/bin/quorvane-app");
}

QList<int> TestAppEndToEnd::counts() const
{
    QList<int> result;
    for (const QByteArray& line : m_output.split('\n')) {
        if (line.startsWith("Quorvane: pending count "))
            result.append(line.mid(24).toInt());
    }
    return result;
}

void TestAppEndToEnd::initTestCase()
{
    QVERIFY2(QFile::exists(appPath()), qPrintable(appPath()));
    m_backend = std::make_unique<BackendProcess>();
    QVERIFY2(m_backend->isRunning(), qPrintable(m_backend->lastError()));
    m_home = std::make_unique<TestHome>();
    qputenv("QUORVANE_API_BASE_URL", m_backend->url().toString().toUtf8());
    qputenv("QUORVANE_WEB_BASE_URL", m_backend->url().toString().toUtf8());
    qputenv("QUORVANE_CREDENTIAL_STORE", "file");
    FileCredentialStore store;
    m_machine = TestMachine::provision(*m_backend, store);
    QVERIFY(m_machine.has_value());
    // The key item's account is this computer's app-specific machine id.
    QCOMPARE(m_machine->config.machineIdLocal, MachineIdentifier::localMachineIdentifier());
    QVERIFY(m_home->write(QStringLiteral(".quorvane/agents/demo/config.json"),
                          "{\"name\":\"demo\",\"machine\":\"test-host\",\"machineId\":\"x\",\"publicKey\":\"k\","
                          "\"createdAt\":\"2025-01-01T00:00:00Z\",\"apiUrl\":\"http://127.0.0.1\"}"));

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QUORVANE_REPORT_PENDING"), QStringLiteral("1"));
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtime.path());
    environment.insert(QStringLiteral("QUORVANE_CLI"), m_home->filePath(QStringLiteral("no-cli")));
    m_app.setProcessEnvironment(environment);
    m_app.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    connect(&m_app, &QProcess::readyReadStandardOutput, this, [this] { m_output += m_app.readAllStandardOutput(); });
    m_app.start(appPath(), {});
    QVERIFY(m_app.waitForStarted());
    // Set up already: straight to the tray, the count 0 shown first.
    QTRY_VERIFY_WITH_TIMEOUT(!counts().isEmpty(), 15000);
    QCOMPARE(counts().first(), 0);
}

void TestAppEndToEnd::cleanupTestCase()
{
    if (m_app.state() != QProcess::NotRunning) {
        m_app.terminate();
        if (!m_app.waitForFinished(5000))
            m_app.kill();
    }
}

void TestAppEndToEnd::escalationReachesTheAppAndADecisionRemovesIt()
{
    // Wait until the app holds the stream, so the announcement reaches it.
    QTRY_VERIFY_WITH_TIMEOUT(m_backend->state().value(QLatin1String("streams")).toArray().size() >= 1
                                 || m_backend->state().value(QLatin1String("streams")).toInt() >= 1,
                             15000);
    const QJsonObject action = m_backend->addAction({{QStringLiteral("agent_id"), QStringLiteral("agent-1")},
                                                     {QStringLiteral("agent_name"), QStringLiteral("demo")},
                                                     {QStringLiteral("tool_name"), QStringLiteral("Bash")},
                                                     {QStringLiteral("tool_input_summary"), QStringLiteral("rm -rf build")}});
    const QString id = action.value(QLatin1String("id")).toString();
    QVERIFY(!id.isEmpty());
    QTRY_VERIFY_WITH_TIMEOUT(counts().contains(1), 5000);

    // The decision, signed with the machine's key, as the panel sends it.
    FileCredentialStore store;
    MachineAuthService auth(store);
    QVERIFY(auth.isConfigured());
    QNetworkAccessManager network;
    ApprovalSyncService sync(auth, network);
    const bool accepted = QCoro::waitFor(sync.respondToAction(id, QStringLiteral("approved"), std::nullopt));
    QVERIFY(accepted);
    const QJsonObject status = m_backend->actionStatus(id);
    QCOMPARE(status.value(QLatin1String("status")).toString(), QStringLiteral("approved"));
    bool signedDecision = false;
    for (const QJsonValue& request : m_backend->requests()) {
        const QJsonObject object = request.toObject();
        if (object.value(QLatin1String("target")).toString() == QStringLiteral("/approvals/%1/respond").arg(id))
            signedDecision = object.value(QLatin1String("verified")).toBool();
    }
    QVERIFY(signedDecision);

    // The next announcement makes the app fetch again: the row is gone.
    QVERIFY(m_backend->sendFrame(QByteArrayLiteral("{\"type\":\"action_pending\",\"actionId\":\"other\"}")) >= 1);
    QTRY_VERIFY_WITH_TIMEOUT(counts().size() >= 3 && counts().last() == 0, 10000);
    QCOMPARE(counts(), QList<int>({0, 1, 0}));
}

void TestAppEndToEnd::secondStartHandsOverAndExits()
{
    QProcess second;
    QProcessEnvironment environment = m_app.processEnvironment();
    second.setProcessEnvironment(environment);
    second.start(appPath(), {QStringLiteral("quorvane://auth/callback?code=abc")});
    QVERIFY(second.waitForFinished(15000));
    QCOMPARE(second.exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.exitCode(), 0);
    QVERIFY(m_app.state() == QProcess::Running);
}

QTEST_GUILESS_MAIN(TestAppEndToEnd)
#include "tst_AppEndToEnd.moc"
