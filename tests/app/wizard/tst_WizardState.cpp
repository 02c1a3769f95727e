#include "core/SignInCallback.h"
#include "tests/app/wizard/InstallPhaseFixture.h"

#include <QDirIterator>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QSet>
#include <QUrlQuery>

namespace {

using Screen = WizardState::WizardScreen;
const QString ignoredLine = u"Quorvane: ignored a sign-in link: its state is not the current sign-in's"_s;

QString stateOf(const QUrl& url)
{
    return QUrlQuery(url).queryItemValue(u"state"_s, QUrl::FullyDecoded);
}

} // namespace

// The wizard's model: its steps and rules, and the sign-in through the browser
// and the code exchange, against the reference back-end. Each sign-in attempt has
// a random state that the web sign-in carries back; only the callback with the
// current attempt's state is exchanged, once.
class TestWizardState : public QObject, private InstallPhaseFixture
{
    Q_OBJECT

    QList<QUrl> m_opened; // what the model asked the browser to open

    // What a browser does with the sign-in page it was opened at: follow it to the callback URL.
    QUrl signInInBrowser(const QByteArray& extraQuery = {})
    {
        const QByteArray query = m_opened.isEmpty() ? "platform=macos" : m_opened.last().query().toUtf8();
        const BackendProcess::Reply reply
            = m_machine->backend.request("GET", "/auth/login?" + query + extraQuery);
        return reply.status == 302 ? QUrl::fromEncoded(reply.header("Location")) : QUrl();
    }
    // A callback carrying the state of the current attempt.
    QUrl callback(const QString& text) const
    {
        return QUrl(text + (text.contains(u'?') ? u"&state="_s : u"?state="_s) + stateOf(m_opened.last()));
    }
    QStringList exchangedCodes()
    {
        QStringList codes;
        for (const QJsonObject& request : m_machine->requestsTo(u"/auth/exchange-code"_s))
            codes << QJsonDocument::fromJson(request.value(u"body"_s).toString().toUtf8())
                         .object()
                         .value(u"code"_s)
                         .toString();
        return codes;
    }

private Q_SLOTS:
    // The reference back-end as the web origin, and a browser that only records.
    void init()
    {
        setUp();
        qputenv("QUORVANE_WEB_BASE_URL", m_machine->backend.url().toString().toUtf8());
        m_opened.clear();
        m_state->account()->setBrowserOpener([this](const QUrl& url) {
            m_opened << url;
            return true;
        });
        WizardTestAccess::show(*m_state, Screen::signIn);
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
        WizardTestAccess::show(state, Screen::install);
        state.getStarted(); // only from the welcome screen
        QCOMPARE(state.currentScreen(), Screen::install);
    }

    void approverOnlyTurnsOffModelAndScan()
    {
        WizardState state;
        InstallPhase& install = *state.install();
        install.chooseApproverOnly(true);
        QVERIFY(!install.installLLM() && !install.discoverMcpServers());
        // Turning it off does not bring them back; they can be chosen again,
        // and the rule applies after every change.
        install.chooseApproverOnly(false);
        QVERIFY(!install.installLLM() && !install.discoverMcpServers());
        install.chooseInstallLLM(true);
        install.chooseDiscoverMcpServers(true);
        install.chooseApproverOnly(true);
        QVERIFY(!install.installLLM() && !install.discoverMcpServers());
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
        WizardTestAccess::setError(*m_state->account(), u"an old error"_s);
        m_state->account()->start();
        QVERIFY(m_state->account()->isWaiting());
        QVERIFY(m_state->account()->errorMessage().isEmpty());
        QCOMPARE(m_opened.size(), 1);
        QCOMPARE(m_opened.first().adjusted(QUrl::RemoveQuery), m_machine->backend.url(u"/auth/login"_s));
        QCOMPARE(QUrlQuery(m_opened.first()).queryItemValue(u"platform"_s), u"macos"_s);
        const QString current = stateOf(m_opened.first());
        QVERIFY2(QRegularExpression(u"^[A-Za-z0-9_-]{43}$"_s).match(current).hasMatch(), qPrintable(current));

        // 300 links from another program, each with a real code of the back-end:
        // without the state, with a wrong one, with an empty one.
        LogCapture log;
        const QString forged
            = QUrlQuery(signInInBrowser("&login_hint=mallory%40example.com")).queryItemValue(u"code"_s);
        QVERIFY(!forged.isEmpty());
        for (int i = 0; i < 300; ++i) {
            const QString state = i % 3 == 0
                ? QString()
                : u"&state="_s + (i % 3 == 1 ? SignInCallback::newState() : QString());
            QVERIFY(m_state->handleCallbackURL(QUrl(u"quorvane://auth/callback?code="_s + forged + state)));
        }
        QCOMPARE(log.lines().filter(ignoredLine).size(), 300);
        QVERIFY(m_state->account()->isWaitingForBrowser());

        // The real sign-in: the back-end carries the state back; only its code is exchanged.
        const QUrl callback = signInInBrowser();
        QCOMPARE(stateOf(callback), current);
        QVERIFY(m_state->handleCallbackURL(callback));
        QTRY_COMPARE(m_state->currentScreen(), Screen::install);
        QCOMPARE(exchangedCodes(), QStringList({ QUrlQuery(callback).queryItemValue(u"code"_s) }));
        QVERIFY(!m_state->account()->isWaiting());
        QVERIFY(m_state->account()->errorMessage().isEmpty());
        QCOMPARE(m_state->account()->email(), u"person@example.com"_s);
        QVERIFY(!m_state->account()->sessionToken().isEmpty());
        QCOMPARE(activations.size(), 1);
        QVERIFY(!m_state->account()->isWaitingForBrowser());

        // The token lives only in memory: no file of the home holds it.
        QDirIterator files(m_machine->home.path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (files.hasNext()) {
            QFile file(files.next());
            QVERIFY(file.open(QIODevice::ReadOnly));
            QVERIFY(!file.readAll().contains(m_state->account()->sessionToken().toUtf8()));
        }

        // Replayed on the sign-in screen, the same link is ignored: the attempt is used up.
        WizardTestAccess::show(*m_state, Screen::signIn);
        QVERIFY(m_state->handleCallbackURL(callback));
        QCOMPARE(log.lines().filter(ignoredLine).size(), 301);
    }

    void callbacksWithoutAUsableCode()
    {
        // The back-end hands the state back decoded, none when none was sent, and refuses a long one.
        QCOMPARE(stateOf(signInInBrowser("&state=a%2Bb%26c%3D")), u"a+b&c="_s);
        QVERIFY(!QUrlQuery(signInInBrowser()).hasQueryItem(u"state"_s));
        QCOMPARE(m_machine->backend.request("GET", "/auth/login?platform=macos&state=" + QByteArray(257, 's'))
                     .status,
            400);

        // Opened through the application without a running sign-in: ignored.
        QVERIFY(m_state->handleCallbackURL(QUrl(u"quorvane://auth/callback?code="_s)));
        QVERIFY(m_state->handleCallbackURL(QUrl(u"quorvane://auth/callback?state=1"_s)));
        QVERIFY(!m_state->handleCallbackURL(QUrl(u"https://example.com/cb?code=abc"_s)));
        QVERIFY(m_state->account()->errorMessage().isEmpty());
        QVERIFY(!m_state->account()->isWaiting());

        // Ending the running sign-in: an error to retry from.
        m_state->account()->start();
        QVERIFY(!m_state->handleCallbackURL(QUrl(u"other://auth/callback?code=abc"_s)));
        QVERIFY(m_state->account()->isWaiting());
        QVERIFY(m_state->handleCallbackURL(callback(u"quorvane://auth/callback?code=&code=late"_s)));
        QVERIFY(!m_state->account()->isWaiting());
        QCOMPARE(m_state->account()->errorMessage(), u"Invalid authentication response"_s);
        m_state->account()->start();
        QVERIFY(m_state->handleCallbackURL(callback(u"quorvane://auth/callback"_s)));
        QCOMPARE(m_state->account()->errorMessage(), u"Invalid authentication response"_s);
        QCOMPARE(m_state->currentScreen(), Screen::signIn);
        QVERIFY(exchangedCodes().isEmpty());
    }

    // "Retry" retires the earlier attempt's state; "Stop waiting" still accepts a late
    // callback of the current attempt, the first of two codes.
    void aRetryRetiresTheEarlierStateAndAStoppedWaitTakesALateCode()
    {
        QSet<QString> states;
        for (int i = 0; i < 64; ++i)
            states.insert(SignInCallback::newState());
        QCOMPARE(states.size(), 64);
        m_state->account()->start();
        const QUrl first = signInInBrowser();
        m_state->account()->start();
        QCOMPARE(m_opened.size(), 2);
        QVERIFY(stateOf(m_opened[0]) != stateOf(m_opened[1]));
        QVERIFY(m_state->handleCallbackURL(first));
        QVERIFY(m_state->account()->isWaitingForBrowser());
        m_state->account()->stopWaiting();
        QVERIFY(!m_state->account()->isWaiting());
        QVERIFY(m_state->account()->errorMessage().isEmpty());
        QVERIFY(!m_state->account()->isWaitingForBrowser());

        const QString code
            = QUrlQuery(signInInBrowser("&login_hint=late%40example.com")).queryItemValue(u"code"_s);
        const QUrl doubled = callback(u"quorvane://auth/callback?code="_s + code + u"&code=second"_s);
        QVERIFY(m_state->handleCallbackURL(doubled));
        QTRY_COMPARE(m_state->currentScreen(), Screen::install);
        QCOMPARE(m_state->account()->email(), u"late@example.com"_s);
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
        m_state->account()->start();
        QVERIFY(m_state->handleCallbackURL(callback(u"quorvane://auth/callback?code=abc"_s)));
        QTRY_VERIFY(!m_state->account()->isWaiting());
        QCOMPARE(m_state->account()->errorMessage(), error);
        QCOMPARE(m_state->currentScreen(), error.isEmpty() ? Screen::install : Screen::signIn);
        QCOMPARE(m_state->account()->sessionToken(), error.isEmpty() ? u"t"_s : QString());
        QCOMPARE(m_state->account()->email(), email);
    }

    void transportAndBrowserFailures()
    {
        // No answer at all: the transfer's own text.
        QVERIFY(m_machine->backend.closeEveryConnection("POST", u"/auth/exchange-code"_s));
        m_state->account()->start();
        m_state->account()->stopWaiting();
        QVERIFY(m_state->handleCallbackURL(callback(u"quorvane://auth/callback?code=abc"_s)));
        QVERIFY(m_state->account()->isWaiting());
        QTRY_VERIFY(!m_state->account()->isWaiting());
        QVERIFY(!m_state->account()->errorMessage().isEmpty());
        QCOMPARE(m_state->currentScreen(), Screen::signIn);

        // A browser that cannot be opened ends the sign-in at once.
        m_state->account()->setBrowserOpener([](const QUrl&) { return false; });
        m_state->account()->start();
        QVERIFY(!m_state->account()->isWaiting());
        QCOMPARE(m_state->account()->errorMessage(), u"Could not open the web browser"_s);
        QVERIFY(!m_state->account()->isWaitingForBrowser());
    }
};

QTEST_MAIN(TestWizardState)
#include "tst_WizardState.moc"
