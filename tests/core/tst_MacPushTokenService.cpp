#include "tests/support/BackendMachine.h"
#include "tests/support/LogCapture.h"
#include "core/MacPushTokenService.h"
#include "core/MachineAuthService.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QTest>

#include <QCoroTask>

#include <chrono>

// Push token upload against the reference back-end on loopback, which checks
// every signature with its own verifier.
class TestMacPushTokenService : public QObject
{
    Q_OBJECT

    struct Fixture : BackendMachine
    {
        std::chrono::system_clock::time_point now = std::chrono::system_clock::now();
        MachineAuthService auth{store, [this] { return now; }};
        QNetworkAccessManager network;
        MacPushTokenService service{auth, network};

        explicit Fixture(bool registered = true)
            : BackendMachine(registered)
        {
            auth.reload();
            backend.clearRequests();
        }

        QList<QJsonObject> pushRequests()
        {
            QList<QJsonObject> found;
            for (const QJsonValue& value : backend.requests()) {
                const QJsonObject request = value.toObject();
                if (request.value(QLatin1String("target")).toString().endsWith(QLatin1String("/push-token")))
                    found.append(request);
            }
            return found;
        }
    };

private Q_SLOTS:
    void requestBody_data();
    void requestBody();
    void registers();
    void uploadsTwice();
    void unregisteredMachineSendsNothing();
    void failures_data();
    void failures();
};

void TestMacPushTokenService::requestBody_data()
{
    QTest::addColumn<QString>("token");
    QTest::addColumn<QByteArray>("body");
    QTest::newRow("hex token") << QStringLiteral("0a1b2c3d4e5f")
                               << QByteArray(R"({"push_token":"0a1b2c3d4e5f","platform":"apns-macos"})");
    QTest::newRow("empty") << QString() << QByteArray(R"({"push_token":"","platform":"apns-macos"})");
    QTest::newRow("quote and backslash") << QStringLiteral("a\"b\\c")
                                         << QByteArray(R"({"push_token":"a\"b\\c","platform":"apns-macos"})");
    QTest::newRow("injection attempt") << QStringLiteral("x\",\"platform\":\"evil")
                                       << QByteArray(R"({"push_token":"x\",\"platform\":\"evil","platform":"apns-macos"})");
}

void TestMacPushTokenService::requestBody()
{
    QFETCH(QString, token);
    QFETCH(QByteArray, body);
    const QByteArray built = MacPushTokenService::requestBody(token);
    QCOMPARE(built, body);
    const QJsonObject parsed = QJsonDocument::fromJson(built).object();
    QCOMPARE(parsed.size(), 2);
    QCOMPARE(parsed.value(QLatin1String("push_token")).toString(), token);
    QCOMPARE(parsed.value(QLatin1String("platform")).toString(), QStringLiteral("apns-macos"));

    // Control characters too stay inside one valid JSON string.
    const QString odd = QStringLiteral("line\nbreak\ttab\x01");
    QCOMPARE(QJsonDocument::fromJson(MacPushTokenService::requestBody(odd)).object().value(QLatin1String("push_token"))
                 .toString(),
             odd);
}

void TestMacPushTokenService::registers()
{
    Fixture f;
    QVERIFY2(f.machine, qPrintable(f.backend.lastError()));
    LogCapture log;
    QCoro::waitFor(f.service.updatePushToken(QStringLiteral("00ff10ab")));
    QCOMPARE(log.lines(), QStringList{QStringLiteral("Quorvane: push token registered")});

    const QList<QJsonObject> requests = f.pushRequests();
    QCOMPARE(requests.size(), 1);
    QCOMPARE(requests[0].value(QLatin1String("method")).toString(), QStringLiteral("PUT"));
    QCOMPARE(requests[0].value(QLatin1String("target")).toString(),
             QStringLiteral("/machines/") + f.machine->config.id + QStringLiteral("/push-token"));
    QCOMPARE(requests[0].value(QLatin1String("body")).toString(),
             QStringLiteral(R"({"push_token":"00ff10ab","platform":"apns-macos"})"));
    QVERIFY(requests[0].value(QLatin1String("verified")).toBool());
    QCOMPARE(requests[0].value(QLatin1String("status")).toInt(), 200);

    // An odd token still arrives as one well-formed value.
    log.clear();
    const QString odd = QStringLiteral("ab\"cd\\ef");
    QCoro::waitFor(f.service.updatePushToken(odd));
    QCOMPARE(log.lines(), QStringList{QStringLiteral("Quorvane: push token registered")});
    const QJsonObject stored =
        QJsonDocument::fromJson(f.pushRequests().last().value(QLatin1String("body")).toString().toUtf8()).object();
    QCOMPARE(stored.value(QLatin1String("push_token")).toString(), odd);
}

void TestMacPushTokenService::uploadsTwice()
{
    Fixture f;
    QVERIFY2(f.machine, qPrintable(f.backend.lastError()));
    LogCapture log;
    QCoro::waitFor(f.service.updatePushToken(QStringLiteral("abcdef")));
    f.now += std::chrono::seconds(5);
    QCoro::waitFor(f.service.updatePushToken(QStringLiteral("abcdef")));
    QCOMPARE(log.lines(), (QStringList{QStringLiteral("Quorvane: push token registered"),
                                       QStringLiteral("Quorvane: push token registered")}));

    const QList<QJsonObject> requests = f.pushRequests();
    QCOMPARE(requests.size(), 2);
    QCOMPARE(requests[0].value(QLatin1String("target")), requests[1].value(QLatin1String("target")));
    QCOMPARE(requests[0].value(QLatin1String("body")), requests[1].value(QLatin1String("body")));
    const QJsonObject first = requests[0].value(QLatin1String("headers")).toObject();
    const QJsonObject second = requests[1].value(QLatin1String("headers")).toObject();
    const auto header = [](const QJsonObject& headers, const char* name) {
        for (auto it = headers.constBegin(); it != headers.constEnd(); ++it) {
            if (it.key().compare(QLatin1String(name), Qt::CaseInsensitive) == 0)
                return it->toString();
        }
        return QString();
    };
    QCOMPARE(header(first, "X-Machine-Id"), header(second, "X-Machine-Id"));
    QVERIFY(!header(first, "X-Signature").isEmpty());
    QVERIFY(header(first, "X-Signature") != header(second, "X-Signature"));
    QVERIFY(header(first, "X-Signed-Message") != header(second, "X-Signed-Message"));
}

void TestMacPushTokenService::unregisteredMachineSendsNothing()
{
    Fixture f(false);
    QVERIFY(!f.auth.config());
    LogCapture log;
    QCoro::waitFor(f.service.updatePushToken(QStringLiteral("abcdef")));
    QVERIFY(log.lines().isEmpty());
    QVERIFY(f.pushRequests().isEmpty());
}

void TestMacPushTokenService::failures_data()
{
    QTest::addColumn<int>("status"); // 0: the connection is closed without an answer
    QTest::addColumn<QString>("line");
    QTest::newRow("204 is not success") << 204 << QStringLiteral("Quorvane: push token update failed: HTTP 204");
    QTest::newRow("201 is not success") << 201 << QStringLiteral("Quorvane: push token update failed: HTTP 201");
    QTest::newRow("server error") << 500 << QStringLiteral("Quorvane: push token update failed: HTTP 500");
    QTest::newRow("no answer") << 0 << QStringLiteral("Quorvane: push token update error: ");
}

void TestMacPushTokenService::failures()
{
    QFETCH(int, status);
    QFETCH(QString, line);
    Fixture f;
    QVERIFY2(f.machine, qPrintable(f.backend.lastError()));
    const QString path = QStringLiteral("/machines/") + f.machine->config.id + QStringLiteral("/push-token");
    QVERIFY(status == 0 ? f.backend.closeEveryConnection("PUT", path) : f.backend.inject("PUT", path, status));
    LogCapture log;
    QCoro::waitFor(f.service.updatePushToken(QStringLiteral("abcdef")));
    QCOMPARE(log.lines().size(), 1);
    if (status == 0)
        QVERIFY2(log.lines().first().startsWith(line) && log.lines().first().size() > line.size(),
                 qPrintable(log.lines().first()));
    else
        QCOMPARE(log.lines().first(), line);
}

QTEST_GUILESS_MAIN(TestMacPushTokenService)
#include "tst_MacPushTokenService.moc"
