#include "tests/app/wizard/InstallPhaseFixture.h"

#include <QDirIterator>
#include <QJsonDocument>
#include <QUrlQuery>

using Screen = WizardState::WizardScreen;

// The wizard's model: its steps and rules, and the sign-in through the browser
// and the code exchange, against the reference back-end.
class TestWizardState : public QObject, private InstallPhaseFixture
{
    Q_OBJECT

    QList<QUrl> m_opened; // what the model asked the browser to open

    // What a browser does with the sign-in page it was opened at: follow it to the callback URL.
    QUrl signInInBrowser(const QByteArray& extraQuery = {})
    {
        const QByteArray query = m_opened.isEmpty() ? "platform=macos" : m_opened.last().query().toUtf8();
        const BackendProcess::Reply reply = m_machine->backend.request("GET", "/auth/login?" + query + extraQuery);
        return reply.status == 302 ? QUrl::fromEncoded(reply.header("Location")) : QUrl();
    }
    // A callback carrying the state of the current attempt.
    QUrl callback(const QString& text) const
    {
        const QString state = QUrlQuery(m_opened.last()).queryItemValue(u"state"_s);
        return QUrl(text + (text.contains(u'?') ? u"&state="_s : u"?state="_s) + state);
    }
    // The "code" the companion sent in its exchanges, oldest first.
    QStringList exchangedCodes()
    {
        QStringList codes;
        for (const QJsonValue& value : m_machine->backend.requests()) {
            const QJsonObject request = value.toObject();
            if (request.value(u"target"_s).toString() == u"/auth/exchange-code"_s)
                codes << QJsonDocument::fromJson(request.value(u"body"_s).toString().toUtf8())
                             .object()
                             .value(u"code"_s)
                             .toString();
        }
        return codes;
    }

private Q_SLOTS:
    // The reference back-end as the web origin, and a browser that only records.
    void init()
    {
        setUp();
        qputenv("QUORVANE_WEB_BASE_URL", m_machine->backend.url().toString().toUtf8());
        m_opened.clear();
        m_state->setBrowserOpener([this](const QUrl& url) {
            m_opened << url;
            return true;
        });
        m_state->setCurrentScreen(Screen::signIn);
    }

    void cleanup()
    {
        qunsetenv("QUORVANE_WEB_BASE_URL");
        tearDown();
    }

    // The step under way for each screen; the bar's dots follow it (the screens test).
    void steps()
    {
        QCOMPARE(WizardState::activeStepOf(int(Screen::welcome)), -1);
        QCOMPARE(WizardState::activeStepOf(int(Screen::signIn)), 0);
        QCOMPARE(WizardState::activeStepOf(int(Screen::settingUp)), 3);
        QCOMPARE(WizardState::activeStepOf(int(Screen::done)), 4);
        QCOMPARE(WizardState::activeStepOf(99), -1);
        QCOMPARE(WizardState::activeStepOf(-3), -1);
        WizardState state;
        state.getStarted();
        QCOMPARE(state.currentScreen(), Screen::signIn);
        state.setCurrentScreen(Screen::install);
        state.getStarted(); // only from the welcome screen
        QCOMPARE(state.currentScreen(), Screen::install);
    }

    void approverOnlyTurnsOffModelAndScan()
    {
        WizardState state;
        state.setApproverOnly(true);
        QVERIFY(!state.installLLM() && !state.discoverMcpServers());
        // Turning it off does not bring them back; they can be chosen again,
        // and the rule applies after every change.
        state.setApproverOnly(false);
        QVERIFY(!state.installLLM() && !state.discoverMcpServers());
        state.setInstallLLM(true);
        state.setDiscoverMcpServers(true);
        state.setApproverOnly(true);
        QVERIFY(!state.installLLM() && !state.discoverMcpServers());
    }

    void setupLogReplacesOnlyTheLastLine()
    {
        SetupLogModel log;
        // Nothing to replace in an empty log, and a header is never replaced.
        log.updateLastLog(u"lost"_s, LogStyle::done);
        QCOMPARE(log.count(), 0);
        log.addSection(u"AGENTS"_s);
        log.updateLastLog(u"lost"_s, LogStyle::done);
        QCOMPARE(log.entries().last().text, u"AGENTS"_s);
        QCOMPARE(log.entries().last().section, u"AGENTS"_s);

        log.appendLog(u"Registering"_s, LogStyle::active);
        const QUuid runningId = log.entries().last().id;
        QSignalSpy changed(&log, &QAbstractItemModel::dataChanged);
        log.updateLastLog(u"Registered"_s, LogStyle::done);
        QCOMPARE(log.count(), 2);
        QCOMPARE(log.entries().last().text, u"Registered"_s);
        QCOMPARE(log.entries().last().style, LogStyle::done);
        QVERIFY(log.entries().last().id != runningId);
        QCOMPARE(changed.size(), 1);
        QCOMPARE(changed.first().at(0).toModelIndex().row(), 1);
    }

    void signInThroughTheBrowserReachesTheInstallScreen()
    {
        QVERIFY2(m_machine->backend.isRunning(), qPrintable(m_machine->backend.lastError()));
        QSignalSpy activations(m_state.get(), &WizardState::activationRequested);
        m_state->setErrorMessage(u"an old error"_s);
        m_state->startSignIn();
        QVERIFY(m_state->isLoading());
        QVERIFY(m_state->errorMessage().isEmpty());
        QCOMPARE(m_opened.size(), 1);
        QCOMPARE(m_opened.first().adjusted(QUrl::RemoveQuery), m_machine->backend.url(u"/auth/login"_s));
        QCOMPARE(QUrlQuery(m_opened.first()).queryItemValue(u"platform"_s), u"macos"_s);
        QCOMPARE(QUrlQuery(m_opened.first()).queryItemValue(u"state"_s).size(), 43);

        const QUrl callback = signInInBrowser();
        QCOMPARE(callback.scheme(), u"quorvane"_s);
        QVERIFY(m_state->handleCallbackURL(callback));
        QTRY_COMPARE(m_state->currentScreen(), Screen::install);
        QVERIFY(!m_state->isLoading());
        QVERIFY(m_state->errorMessage().isEmpty());
        QCOMPARE(m_state->signedInEmail(), u"person@example.com"_s);
        QVERIFY(!m_state->sessionToken().isEmpty());
        QCOMPARE(activations.size(), 1);
        QVERIFY(!m_state->isWaitingForBrowser());

        // The token lives only in memory: no file of the home holds it.
        QDirIterator files(m_machine->home.path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (files.hasNext()) {
            QFile file(files.next());
            QVERIFY(file.open(QIODevice::ReadOnly));
            QVERIFY(!file.readAll().contains(m_state->sessionToken().toUtf8()));
        }
    }

    void callbacksWithoutAUsableCode()
    {
        // Opened through the application without a running sign-in: ignored.
        QVERIFY(m_state->handleCallbackURL(QUrl(u"quorvane://auth/callback?code="_s)));
        QVERIFY(m_state->handleCallbackURL(QUrl(u"quorvane://auth/callback?state=1"_s)));
        QVERIFY(!m_state->handleCallbackURL(QUrl(u"https://example.com/cb?code=abc"_s)));
        QVERIFY(m_state->errorMessage().isEmpty());
        QVERIFY(!m_state->isLoading());

        // Ending the running sign-in: an error to retry from.
        m_state->startSignIn();
        QVERIFY(!m_state->handleCallbackURL(QUrl(u"other://auth/callback?code=abc"_s)));
        QVERIFY(m_state->isLoading());
        QVERIFY(m_state->handleCallbackURL(callback(u"quorvane://auth/callback?code=&code=late"_s)));
        QVERIFY(!m_state->isLoading());
        QCOMPARE(m_state->errorMessage(), u"Invalid authentication response"_s);
        m_state->startSignIn();
        QVERIFY(m_state->handleCallbackURL(callback(u"quorvane://auth/callback"_s)));
        QCOMPARE(m_state->errorMessage(), u"Invalid authentication response"_s);
        QCOMPARE(m_state->currentScreen(), Screen::signIn);
        QVERIFY(exchangedCodes().isEmpty());
    }

    void stoppingTheWaitStillAcceptsALateCodeTheFirstOfTwo()
    {
        m_state->startSignIn();
        QVERIFY(m_state->isWaitingForBrowser());
        m_state->stopWaitingForSignIn();
        QVERIFY(!m_state->isLoading());
        QVERIFY(m_state->errorMessage().isEmpty());
        QVERIFY(!m_state->isWaitingForBrowser());

        const QString code = QUrlQuery(signInInBrowser("&login_hint=late%40example.com")).queryItemValue(u"code"_s);
        const QUrl doubled = callback(u"quorvane://auth/callback?code="_s + code + u"&code=second"_s);
        QVERIFY(m_state->handleCallbackURL(doubled));
        QTRY_COMPARE(m_state->currentScreen(), Screen::install);
        QCOMPARE(m_state->signedInEmail(), u"late@example.com"_s);
        QCOMPARE(exchangedCodes(), QStringList({ code }));
    }

    void exchangeFailures_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("error");
        QTest::addColumn<QString>("email");
        const QString failed = u"Authentication failed. Please try again."_s;
        QTest::newRow("401") << 401 << QByteArray(R"({"error":"invalid code"})") << failed << QString();
        QTest::newRow("500 with a session") << 500 << QByteArray(R"({"session":"t"})") << failed << QString();
        QTest::newRow("empty session")
            << 200 << QByteArray(R"({"session":"","email":"a@b"})") << failed << QString();
        QTest::newRow("session not text") << 200 << QByteArray(R"({"session":7})") << failed << QString();
        QTest::newRow("not JSON") << 200 << QByteArray("<html>") << failed << QString();
        QTest::newRow("no email") << 200 << QByteArray(R"({"session":"t"})") << QString() << QString();
        QTest::newRow("email not text")
            << 200 << QByteArray(R"({"session":"t","email":1})") << QString() << QString();
        QTest::newRow("email") << 200 << QByteArray(R"({"session":"t","email":"a@b"})") << QString()
                               << u"a@b"_s;
    }

    void exchangeFailures()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QString, error);
        QFETCH(QString, email);
        QVERIFY(m_machine->backend.inject("POST", u"/auth/exchange-code"_s, status, body));
        m_state->startSignIn();
        QVERIFY(m_state->handleCallbackURL(callback(u"quorvane://auth/callback?code=abc"_s)));
        QTRY_VERIFY(!m_state->isLoading());
        QCOMPARE(m_state->errorMessage(), error);
        QCOMPARE(m_state->currentScreen(), error.isEmpty() ? Screen::install : Screen::signIn);
        QCOMPARE(m_state->sessionToken(), error.isEmpty() ? u"t"_s : QString());
        QCOMPARE(m_state->signedInEmail(), email);
    }

    void transportAndBrowserFailures()
    {
        // No answer at all: the transfer's own text.
        QVERIFY(m_machine->backend.closeEveryConnection("POST", u"/auth/exchange-code"_s));
        m_state->startSignIn();
        m_state->stopWaitingForSignIn();
        QVERIFY(m_state->handleCallbackURL(callback(u"quorvane://auth/callback?code=abc"_s)));
        QVERIFY(m_state->isLoading());
        QTRY_VERIFY(!m_state->isLoading());
        QVERIFY(!m_state->errorMessage().isEmpty());
        QCOMPARE(m_state->currentScreen(), Screen::signIn);

        // A browser that cannot be opened ends the sign-in at once.
        m_state->setBrowserOpener([](const QUrl&) { return false; });
        m_state->startSignIn();
        QVERIFY(!m_state->isLoading());
        QCOMPARE(m_state->errorMessage(), u"Could not open the web browser"_s);
        QVERIFY(!m_state->isWaitingForBrowser());
    }
};

QTEST_MAIN(TestWizardState)
#include "tst_WizardState.moc"
