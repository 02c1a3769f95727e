#include "app/wizard/WizardState.h"
#include "tests/support/BackendProcess.h"
#include "tests/support/TestHome.h"

#include <QDirIterator>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QSignalSpy>
#include <QTest>
#include <QUrlQuery>

using namespace Qt::StringLiterals;

namespace {

using Screen = WizardState::WizardScreen;

// The reference back-end as the web origin, and a wizard model whose browser
// only records what it was asked to open.
struct Fixture
{
    TestHome home;
    BackendProcess backend;
    QNetworkAccessManager network;
    WizardState state;
    QList<QUrl> opened;

    Fixture()
    {
        qputenv("QUORVANE_WEB_BASE_URL", backend.url().toString().toUtf8());
        state.setNetwork(&network);
        state.setBrowserOpener([this](const QUrl& url) {
            opened << url;
            return true;
        });
        state.setCurrentScreen(Screen::signIn);
    }
    ~Fixture() { qunsetenv("QUORVANE_WEB_BASE_URL"); }

    // What a browser does with the sign-in page: follow it to the callback URL.
    QUrl signInInBrowser(const QByteArray& query = "platform=macos")
    {
        const BackendProcess::Reply reply = backend.request("GET", "/auth/login?" + query);
        return reply.status == 302 ? QUrl::fromEncoded(reply.header("Location")) : QUrl();
    }
    // The "code" the companion sent in its exchanges, oldest first.
    QStringList exchangedCodes()
    {
        QStringList codes;
        for (const QJsonValue& value : backend.requests()) {
            const QJsonObject request = value.toObject();
            if (request.value(u"target"_s).toString() == u"/auth/exchange-code"_s)
                codes << QJsonDocument::fromJson(request.value(u"body"_s).toString().toUtf8())
                             .object()
                             .value(u"code"_s)
                             .toString();
        }
        return codes;
    }
};

} // namespace

// The wizard's model: its steps and rules, and the sign-in through the browser
// and the code exchange, against the reference back-end.
class TestWizardState : public QObject
{
    Q_OBJECT

private Q_SLOTS:
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
        Fixture f;
        QVERIFY2(f.backend.isRunning(), qPrintable(f.backend.lastError()));
        QSignalSpy activations(&f.state, &WizardState::activationRequested);
        f.state.setErrorMessage(u"an old error"_s);
        f.state.startSignIn();
        QVERIFY(f.state.isLoading());
        QVERIFY(f.state.errorMessage().isEmpty());
        QCOMPARE(f.opened, QList<QUrl>({ f.backend.url(u"/auth/login?platform=macos"_s) }));

        const QUrl callback = f.signInInBrowser();
        QCOMPARE(callback.scheme(), u"quorvane"_s);
        QVERIFY(f.state.handleCallbackURL(callback));
        QTRY_COMPARE(f.state.currentScreen(), Screen::install);
        QVERIFY(!f.state.isLoading());
        QVERIFY(f.state.errorMessage().isEmpty());
        QCOMPARE(f.state.signedInEmail(), u"person@example.com"_s);
        QVERIFY(!f.state.sessionToken().isEmpty());
        QCOMPARE(activations.size(), 1);
        QVERIFY(!f.state.isWaitingForBrowser());

        // The token lives only in memory: no file of the home holds it.
        QDirIterator files(f.home.path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (files.hasNext()) {
            QFile file(files.next());
            QVERIFY(file.open(QIODevice::ReadOnly));
            QVERIFY(!file.readAll().contains(f.state.sessionToken().toUtf8()));
        }
    }

    void callbacksWithoutAUsableCode()
    {
        Fixture f;
        // Opened through the application without a running sign-in: ignored.
        QVERIFY(!f.state.handleCallbackURL(QUrl(u"quorvane://auth/callback?code="_s)));
        QVERIFY(!f.state.handleCallbackURL(QUrl(u"quorvane://auth/callback?state=1"_s)));
        QVERIFY(!f.state.handleCallbackURL(QUrl(u"https://example.com/cb?code=abc"_s)));
        QVERIFY(f.state.errorMessage().isEmpty());
        QVERIFY(!f.state.isLoading());

        // Ending the running sign-in: an error to retry from.
        f.state.startSignIn();
        QVERIFY(!f.state.handleCallbackURL(QUrl(u"other://auth/callback?code=abc"_s)));
        QVERIFY(f.state.isLoading());
        QVERIFY(f.state.handleCallbackURL(QUrl(u"quorvane://auth/callback?code=&code=late"_s)));
        QVERIFY(!f.state.isLoading());
        QCOMPARE(f.state.errorMessage(), u"Invalid authentication response"_s);
        f.state.startSignIn();
        QVERIFY(f.state.handleCallbackURL(QUrl(u"quorvane://auth/callback"_s)));
        QCOMPARE(f.state.errorMessage(), u"Invalid authentication response"_s);
        QCOMPARE(f.state.currentScreen(), Screen::signIn);
        QVERIFY(f.exchangedCodes().isEmpty());
    }

    void stoppingTheWaitStillAcceptsALateCodeTheFirstOfTwo()
    {
        Fixture f;
        f.state.startSignIn();
        QVERIFY(f.state.isWaitingForBrowser());
        f.state.stopWaitingForSignIn();
        QVERIFY(!f.state.isLoading());
        QVERIFY(f.state.errorMessage().isEmpty());
        QVERIFY(!f.state.isWaitingForBrowser());

        const QUrl callback = f.signInInBrowser("platform=macos&login_hint=late%40example.com");
        const QString code = QUrlQuery(callback).queryItemValue(u"code"_s);
        QUrl doubled(callback);
        doubled.setQuery(u"code="_s + code + u"&code=second"_s);
        QVERIFY(f.state.handleCallbackURL(doubled));
        QTRY_COMPARE(f.state.currentScreen(), Screen::install);
        QCOMPARE(f.state.signedInEmail(), u"late@example.com"_s);
        QCOMPARE(f.exchangedCodes(), QStringList({ code }));
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
        Fixture f;
        QVERIFY(f.backend.inject("POST", u"/auth/exchange-code"_s, status, body));
        f.state.startSignIn();
        QVERIFY(f.state.handleCallbackURL(QUrl(u"quorvane://auth/callback?code=abc"_s)));
        QTRY_VERIFY(!f.state.isLoading());
        QCOMPARE(f.state.errorMessage(), error);
        QCOMPARE(f.state.currentScreen(), error.isEmpty() ? Screen::install : Screen::signIn);
        QCOMPARE(f.state.sessionToken(), error.isEmpty() ? u"t"_s : QString());
        QCOMPARE(f.state.signedInEmail(), email);
    }

    void transportAndBrowserFailures()
    {
        Fixture f;
        // No answer at all: the transfer's own text.
        QVERIFY(f.backend.closeEveryConnection("POST", u"/auth/exchange-code"_s));
        QVERIFY(f.state.handleCallbackURL(QUrl(u"quorvane://auth/callback?code=abc"_s)));
        QVERIFY(f.state.isLoading());
        QTRY_VERIFY(!f.state.isLoading());
        QVERIFY(!f.state.errorMessage().isEmpty());
        QCOMPARE(f.state.currentScreen(), Screen::signIn);

        // A browser that cannot be opened ends the sign-in at once.
        f.state.setBrowserOpener([](const QUrl&) { return false; });
        f.state.startSignIn();
        QVERIFY(!f.state.isLoading());
        QCOMPARE(f.state.errorMessage(), u"Could not open the web browser"_s);
        QVERIFY(!f.state.isWaitingForBrowser());
    }
};

QTEST_MAIN(TestWizardState)
#include "tst_WizardState.moc"
