#include "tests/app/wizard/InstallPhaseFixture.h"
#include "tests/app/wizard/WizardWindowFixture.h"

using namespace InstallPhaseRows;
using namespace Qt::StringLiterals;

// A failed machine registration stops the install phase on its screen with the
// error and a Retry: neither the configure screen nor the done screen's
// "ready to approve" follows without a machine identity.
class TestInstallRegistrationFailure : public QObject, private InstallPhaseFixture
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(QFileInfo(StandInTool::executablePath()).isExecutable(),
            qPrintable(StandInTool::executablePath()));
    }
    void failureStopsOnTheInstallScreen_data();
    void failureStopsOnTheInstallScreen();
    void theButtonSaysRetryAfterAFailure();
};

void TestInstallRegistrationFailure::failureStopsOnTheInstallScreen_data()
{
    QTest::addColumn<int>("status"); // 0: the session is refused, nothing injected
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<bool>("approver");
    QTest::addColumn<bool>("setUp"); // another account's identity is loaded before
    QTest::newRow("500, approval device") << 500 << R"({"error":"down"})"_ba << true << false;
    QTest::newRow("500, set up for another account") << 500 << R"({"error":"down"})"_ba << false << true;
    QTest::newRow("1 MiB error body") << 500 << QByteArray(1024 * 1024, 'x') << true << true;
    QTest::newRow("no user_id") << 200 << R"({"machine_id":"m-9"})"_ba << true << false;
    QTest::newRow("empty machine_id") << 200 << R"({"machine_id":"","user_id":"u"})"_ba << false << false;
    QTest::newRow("refused session") << 0 << QByteArray() << true << true;
}

void TestInstallRegistrationFailure::failureStopsOnTheInstallScreen()
{
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(bool, approver);
    QFETCH(bool, setUp);
    InstallPhaseFixture::setUp();
    const auto cleanup = qScopeGuard([this] { tearDown(); });
    std::optional<QString> previousId;
    if (setUp) {
        const QString other = u"carol@example.com"_s;
        const QString token = m_machine->backend.createUser(other).value("session_token"_L1).toString();
        QVERIFY(!QCoro::waitFor(m_auth->registerMachine(token, other)));
        previousId = m_auth->machineId();
    }
    signIn();
    if (status)
        QVERIFY(m_machine->backend.inject("POST", u"/machines/register"_s, status, body));
    else
        m_state->setSessionToken(u"not-a-session"_s);
    m_state->setApproverOnly(approver);
    m_state->setInstallLLM(false);

    QVERIFY(runInstall());
    QCOMPARE(m_state->currentScreen(), WizardState::WizardScreen::install);
    QCOMPARE(m_state->machineStatus().kind(), DependencyStatus::Kind::failed);
    const QString shown = m_state->errorMessage();
    QVERIFY(!shown.isEmpty());
    QVERIFY2(shown.size() < 600, qPrintable(shown.left(100)));
    QCOMPARE(m_state->machineStatus().message(), shown);
    QVERIFY(!m_state->isApproverOnly());
    QVERIFY(!QFile::exists(CoreConstants::approverOnlyPath()));
    QVERIFY(!m_loginItem->isRegistered());
    QCOMPARE(invocations().size(), 1); // the preparation only: no scan
    // Whatever was loaded before is still loaded.
    QCOMPARE(m_auth->isConfigured(), setUp);
    QCOMPARE(m_auth->machineId(), previousId);
    if (!status)
        return;

    // Retry runs the phase again; the back-end answers this time.
    m_state->runInstall();
    QVERIFY(m_state->isLoading());
    QCOMPARE(m_state->errorMessage(), QString());
    QTRY_VERIFY_WITH_TIMEOUT(!m_state->isLoading(), 20000);
    QCOMPARE(m_state->errorMessage(), QString());
    QCOMPARE(m_state->machineStatus(), DependencyStatus::installed());
    QVERIFY(m_auth->isConfigured());
    QCOMPARE(*m_auth->userId(), email);
    QCOMPARE(m_state->currentScreen(),
        approver ? WizardState::WizardScreen::done : WizardState::WizardScreen::configure);
    QCOMPARE(m_state->isApproverOnly(), approver);
    QCOMPARE(QFile::exists(CoreConstants::approverOnlyPath()), approver);
}

void TestInstallRegistrationFailure::theButtonSaysRetryAfterAFailure()
{
    WizardWindowFixture f;
    QVERIFY(f.show(WizardState::WizardScreen::install, u"installScreen"_s));
    QCOMPARE(f.text(u"installButton"_s), u"Install & Continue →"_s);
    f.state.setMachineStatus(DependencyStatus::failed(u"API error (500): down"_s));
    f.state.setErrorMessage(u"API error (500): down"_s);
    QTRY_COMPARE(f.text(u"installButton"_s), u"Retry"_s);
    QCOMPARE(f.text(u"installError"_s), u"API error (500): down"_s);
    QVERIFY(f.find(u"installButton"_s)->isEnabled());
    // A new run clears the error, and the button reads as before.
    f.state.setErrorMessage(QString());
    QTRY_COMPARE(f.text(u"installButton"_s), u"Install & Continue →"_s);
}

QTEST_MAIN(TestInstallRegistrationFailure)
#include "tst_InstallRegistrationFailure.moc"
