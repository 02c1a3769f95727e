#include "app/wizard/WizardState.h"
#include "core/SignInCallback.h"
#include "tests/support/BackendProcess.h"
#include "tests/support/LogCapture.h"
#include "tests/support/TestHome.h"

#include <QJsonArray>
#include <QNetworkAccessManager>
#include <QRegularExpression>
#include <QSet>
#include <QTest>
#include <QUrlQuery>

using namespace Qt::StringLiterals;

namespace {

using Screen = WizardState::WizardScreen;

// The reference back-end as the web origin, a wizard on its sign-in screen and
// a browser that records what it was asked to open.
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

    // The browser follows a sign-in page to the callback the back-end makes.
    QUrl follow(const QByteArray& query)
    {
        const BackendProcess::Reply reply = backend.request("GET", "/auth/login?" + query);
        return reply.status == 302 ? QUrl::fromEncoded(reply.header("Location")) : QUrl();
    }
    QUrl followOpened() { return follow(opened.last().query(QUrl::FullyEncoded).toUtf8()); }
    int exchanges()
    {
        int count = 0;
        for (const QJsonValue& value : backend.requests())
            count += value.toObject().value("target"_L1).toString() == "/auth/exchange-code"_L1 ? 1 : 0;
        return count;
    }
};

QString stateOf(const QUrl& url)
{
    return QUrlQuery(url).queryItemValue(u"state"_s, QUrl::FullyDecoded);
}

const QString ignoredLine = u"Quorvane: ignored a sign-in link: its state is not the current sign-in's"_s;

} // namespace

// Each sign-in attempt has a random state that the web sign-in carries back;
// only the callback with the current attempt's state is exchanged, once.
class TestSignInState : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void everyAttemptHasAFreshState()
    {
        QSet<QString> seen;
        const QRegularExpression base64url(u"^[A-Za-z0-9_-]{43}$"_s);
        for (int i = 0; i < 64; ++i) {
            const QString state = SignInCallback::newState();
            QVERIFY2(base64url.match(state).hasMatch(), qPrintable(state));
            seen.insert(state);
        }
        QCOMPARE(seen.size(), 64);
    }

    void forgedCallbacksExchangeNothing()
    {
        Fixture f;
        QVERIFY2(f.backend.isRunning(), qPrintable(f.backend.lastError()));
        f.state.startSignIn();
        QCOMPARE(f.opened.size(), 1);
        const QString current = stateOf(f.opened.last());

        // 300 links from another program, each with a real code of the
        // back-end: without the state, with a wrong one, with an empty one.
        LogCapture log;
        const QUrl real = f.follow("platform=macos&login_hint=mallory%40example.com");
        const QString code = QUrlQuery(real).queryItemValue(u"code"_s);
        QVERIFY(!code.isEmpty());
        for (int i = 0; i < 300; ++i) {
            QString link = u"quorvane://auth/callback?code="_s + code;
            if (i % 3 == 1)
                link += u"&state="_s + SignInCallback::newState();
            else if (i % 3 == 2)
                link += u"&state="_s;
            QVERIFY(f.state.handleCallbackURL(QUrl(link)));
        }
        QTest::qWait(200);
        QCOMPARE(f.exchanges(), 0);
        QCOMPARE(log.lines().filter(ignoredLine).size(), 300);
        QVERIFY(f.state.isWaitingForBrowser());
        QCOMPARE(f.state.currentScreen(), Screen::signIn);
        QCOMPARE(current.size(), 43);

        // The real sign-in: the back-end carries the state back; it is taken once.
        const QUrl callback = f.followOpened();
        QCOMPARE(stateOf(callback), current);
        QVERIFY(f.state.handleCallbackURL(callback));
        QTRY_COMPARE(f.state.currentScreen(), Screen::install);
        QCOMPARE(f.state.signedInEmail(), u"person@example.com"_s);
        QCOMPARE(f.exchanges(), 1);

        // Replayed on the sign-in screen, the same link is ignored: the attempt is used up.
        f.state.setCurrentScreen(Screen::signIn);
        QVERIFY(f.state.handleCallbackURL(f.followOpened()));
        QTest::qWait(100);
        QCOMPARE(f.exchanges(), 1);
        QCOMPARE(log.lines().filter(ignoredLine).size(), 301);
    }

    void aRetryRetiresTheEarlierState()
    {
        Fixture f;
        f.state.startSignIn();
        const QUrl first = f.followOpened();
        f.state.startSignIn(); // "Retry"
        QCOMPARE(f.opened.size(), 2);
        QVERIFY(stateOf(f.opened[0]) != stateOf(f.opened[1]));

        // The first attempt's callback arrives late: ignored, still waiting.
        QVERIFY(f.state.handleCallbackURL(first));
        QTest::qWait(100);
        QCOMPARE(f.exchanges(), 0);
        QVERIFY(f.state.isWaitingForBrowser());

        // The second one signs in, also after "Stop waiting".
        f.state.stopWaitingForSignIn();
        QVERIFY(f.state.handleCallbackURL(f.followOpened()));
        QTRY_COMPARE(f.state.currentScreen(), Screen::install);
        QCOMPARE(f.exchanges(), 1);
    }

    void theBackendCarriesTheStateBack()
    {
        Fixture f;
        const QUrl callback = f.follow("platform=macos&state=a%2Bb%26c%3D");
        QCOMPARE(stateOf(callback), u"a+b&c="_s);
        QVERIFY(!QUrlQuery(callback).queryItemValue(u"code"_s).isEmpty());
        QVERIFY(!QUrlQuery(f.follow("platform=macos")).hasQueryItem(u"state"_s));
        QCOMPARE(f.backend.request("GET", "/auth/login?platform=macos&state=" + QByteArray(257, 's')).status, 400);
    }
};

QTEST_MAIN(TestSignInState)
#include "tst_SignInState.moc"
