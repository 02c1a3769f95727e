#include "core/CoreConstants.h"
#include "core/OriginCheck.h"
#include "tests/support/TestHome.h"

#include <QTest>

#include <pwd.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

class TestCoreConstants : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void originsAcceptOnlyHttpsOrLoopbackHttp_data()
    {
        QTest::addColumn<QString>("origin");
        QTest::addColumn<bool>("acceptable");
        QTest::newRow("https host") << u"https://api.example.com"_s << true;
        QTest::newRow("loopback v4") << u"http://127.0.0.1:4000"_s << true;
        QTest::newRow("loopback v6") << u"http://[::1]:4000"_s << true;
        QTest::newRow("localhost") << u"http://localhost:4000"_s << true;
        QTest::newRow("plain http remote") << u"http://api.example.com"_s << false;
        QTest::newRow("private range") << u"http://192.168.1.10"_s << false;
        QTest::newRow("lookalike host") << u"http://127.0.0.1.evil.com"_s << false;
        QTest::newRow("user info") << u"https://user@api.example.com"_s << false;
        QTest::newRow("path") << u"https://api.example.com/v1"_s << false;
        QTest::newRow("query") << u"https://api.example.com?x=1"_s << false;
        QTest::newRow("other scheme") << u"ftp://api.example.com"_s << false;
        QTest::newRow("empty") << QString() << false;
    }
    void originsAcceptOnlyHttpsOrLoopbackHttp()
    {
        QFETCH(QString, origin);
        QFETCH(bool, acceptable);
        QCOMPARE(OriginCheck::isAcceptable(origin), acceptable);
    }

    void devOverridesReplaceOriginsAndHome()
    {
        qputenv("QUORVANE_API_BASE_URL", "http://127.0.0.1:4567/");
        QCOMPARE(CoreConstants::apiBaseURL(), u"http://127.0.0.1:4567"_s);
        QCOMPARE(CoreConstants::webSocketBaseURL(), u"ws://127.0.0.1:4567"_s);

        qputenv("QUORVANE_API_BASE_URL", "https://api.example.com");
        QCOMPARE(CoreConstants::webSocketBaseURL(), u"wss://api.example.com"_s);

        // A remote plain-http origin is ignored: the compiled-in https origin stays.
        qputenv("QUORVANE_API_BASE_URL", "http://api.example.com");
        QVERIFY(CoreConstants::apiBaseURL().startsWith("https://"_L1));
        qunsetenv("QUORVANE_API_BASE_URL");

        {
            TestHome home;
            QCOMPARE(CoreConstants::homeDirectory(), home.path());
            QCOMPARE(CoreConstants::machineConfigPath(), home.path() + u"/.quorvane/machine/machine.json"_s);
            QCOMPARE(CoreConstants::updateCheckLogPath(), home.path() + u"/.quorvane/update-check.log"_s);
        }
        // Without the override the home comes from the account database, not $HOME.
        qputenv("HOME", "/nonexistent-home");
        QCOMPARE(CoreConstants::homeDirectory(), QString::fromLocal8Bit(getpwuid(getuid())->pw_dir));
    }
};

QTEST_GUILESS_MAIN(TestCoreConstants)
#include "tst_CoreConstants.moc"
