#include "core/CoreConstants.h"
#include "core/OriginCheck.h"
#include "tests/support/TestHome.h"

#include <QTest>

#include <pwd.h>
#include <unistd.h>

class TestCoreConstants : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void originsAcceptOnlyHttpsOrLoopbackHttp_data()
    {
        QTest::addColumn<QString>("origin");
        QTest::addColumn<bool>("acceptable");
        QTest::newRow("https host") << QStringLiteral("https://api.example.com") << true;
        QTest::newRow("https with port") << QStringLiteral("https://api.example.com:8443") << true;
        QTest::newRow("loopback v4") << QStringLiteral("http://127.0.0.1:4000") << true;
        QTest::newRow("loopback range") << QStringLiteral("http://127.8.0.1:4000") << true;
        QTest::newRow("loopback v6") << QStringLiteral("http://[::1]:4000") << true;
        QTest::newRow("localhost") << QStringLiteral("http://localhost:4000") << true;
        QTest::newRow("plain http remote") << QStringLiteral("http://api.example.com") << false;
        QTest::newRow("private range") << QStringLiteral("http://192.168.1.10") << false;
        QTest::newRow("lookalike host") << QStringLiteral("http://127.0.0.1.evil.com") << false;
        QTest::newRow("user info") << QStringLiteral("https://user@api.example.com") << false;
        QTest::newRow("path") << QStringLiteral("https://api.example.com/v1") << false;
        QTest::newRow("query") << QStringLiteral("https://api.example.com?x=1") << false;
        QTest::newRow("other scheme") << QStringLiteral("ftp://api.example.com") << false;
        QTest::newRow("garbage") << QStringLiteral("not a url") << false;
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
        QCOMPARE(CoreConstants::apiBaseURL(), QStringLiteral("http://127.0.0.1:4567"));
        QCOMPARE(CoreConstants::webSocketBaseURL(), QStringLiteral("ws://127.0.0.1:4567"));

        qputenv("QUORVANE_API_BASE_URL", "https://api.example.com");
        QCOMPARE(CoreConstants::webSocketBaseURL(), QStringLiteral("wss://api.example.com"));

        // A remote plain-http origin is ignored: the compiled-in https origin stays.
        qputenv("QUORVANE_API_BASE_URL", "http://api.example.com");
        QVERIFY(CoreConstants::apiBaseURL().startsWith(QLatin1String("https://")));
        qunsetenv("QUORVANE_API_BASE_URL");

        {
            TestHome home;
            QCOMPARE(CoreConstants::homeDirectory(), home.path());
            QCOMPARE(CoreConstants::machineConfigPath(), home.path() + QStringLiteral("/.quorvane/machine/machine.json"));
            QCOMPARE(CoreConstants::updateCheckLogPath(), home.path() + QStringLiteral("/.quorvane/update-check.log"));
        }
        // Without the override the home comes from the account database, not $HOME.
        qputenv("HOME", "/nonexistent-home");
        QCOMPARE(CoreConstants::homeDirectory(), QString::fromLocal8Bit(getpwuid(getuid())->pw_dir));
    }

    void keychainNamesHaveTheirForms()
    {
        QVERIFY(CoreConstants::keychainService().endsWith(QLatin1String(".machine")));
        QCOMPARE(CoreConstants::keychainService().count(u'.'), 2);
        const QString group = CoreConstants::keychainAccessGroup();
        QCOMPARE(group.indexOf(u'.'), 10);
        QCOMPARE(group.mid(11) + QStringLiteral(".machine"), CoreConstants::keychainService());
        QCOMPARE(QString::fromLatin1(CoreConstants::urlScheme), QStringLiteral("quorvane"));
    }
};

QTEST_GUILESS_MAIN(TestCoreConstants)
#include "tst_CoreConstants.moc"
