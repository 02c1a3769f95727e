#include "tests/support/BackendProcess.h"
#include "tests/support/TestHome.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QUrlQuery>

// The companion as a real process in a home that is not set up: the browser's
// part of the sign-in is played by following the sign-in page's redirect, and
// the callback URL reaches the running companion through a second start. No
// sign-in was started (the wizard shows its welcome screen), so the link is
// ignored. (The wizard taking a callback on its sign-in screen is driven with
// the keyboard in tst_WizardOnDesktop.)
class TestSignInEndToEnd : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void callbackBeforeASignInIsIgnored()
    {
        const QString app = qEnvironmentVariable("QUORVANE_BUILD_DIR") + QStringLiteral("/bin/quorvane-app");
        QVERIFY2(QFile::exists(app), qPrintable(app));
        BackendProcess backend;
        QVERIFY2(backend.isRunning(), qPrintable(backend.lastError()));
        TestHome home;
        QTemporaryDir runtime;

        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QUORVANE_API_BASE_URL"), backend.url().toString());
        environment.insert(QStringLiteral("QUORVANE_WEB_BASE_URL"), backend.url().toString());
        environment.insert(QStringLiteral("QUORVANE_CREDENTIAL_STORE"), QStringLiteral("file"));
        environment.insert(QStringLiteral("QUORVANE_REPORT_PENDING"), QStringLiteral("1"));
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
        environment.insert(QStringLiteral("QUORVANE_CLI"), home.filePath(QStringLiteral("no-cli")));

        QProcess first;
        QByteArray output;
        first.setProcessEnvironment(environment);
        first.setProcessChannelMode(QProcess::MergedChannels);
        connect(&first, &QProcess::readyReadStandardOutput, this,
            [&] { output += first.readAllStandardOutput(); });
        first.start(app, {});
        QVERIFY(first.waitForStarted());
        // The first process listens once its private socket exists.
        QTRY_VERIFY_WITH_TIMEOUT(
            !QDir(runtime.path()).entryList(QDir::Dirs | QDir::NoDotAndDotDot).isEmpty(), 15000);

        // The browser: the sign-in page redirects to our scheme with a code.
        const BackendProcess::Reply page = backend.request("GET", "/auth/login?platform=macos");
        QCOMPARE(page.status, 302);
        const QUrl callback = QUrl::fromEncoded(page.header("Location"));
        QCOMPARE(callback.scheme(), QStringLiteral("quorvane"));
        const QString code = QUrlQuery(callback).queryItemValue(QStringLiteral("code"));
        QVERIFY(!code.isEmpty());

        // The desktop's scheme handler starts the program with the URL; it hands over and exits.
        QProcess second;
        second.setProcessEnvironment(environment);
        second.start(app, { callback.toString(QUrl::FullyEncoded) });
        QVERIFY(second.waitForFinished(15000));
        QCOMPARE(second.exitCode(), 0);

        // The running companion ignored it with one line: no exchange, the
        // welcome screen stays, and the code is still unused.
        QTRY_VERIFY_WITH_TIMEOUT(
            output.contains("Quorvane: ignored a sign-in link: no sign-in is waiting for one"), 15000);
        QVERIFY2(!output.contains("Quorvane: wizard screen"), output.constData());
        for (const QJsonValue& value : backend.requests())
            QVERIFY(value.toObject().value(QLatin1String("target")).toString()
                != QLatin1String("/auth/exchange-code"));
        const BackendProcess::Reply unused = backend.request("POST", "/auth/exchange-code",
            "{\"code\":\"" + code.toUtf8() + "\"}", { { "Content-Type", "application/json" } });
        QCOMPARE(unused.status, 200);

        first.terminate();
        if (!first.waitForFinished(5000))
            first.kill();
    }
};

QTEST_GUILESS_MAIN(TestSignInEndToEnd)
#include "tst_SignInEndToEnd.moc"
