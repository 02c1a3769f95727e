#include "core/MacPushTokenService.h"
#include "core/MachineAuthService.h"
#include "tests/support/BackendMachine.h"
#include "tests/support/LogCapture.h"

#include <QCoroTask>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QTest>
#include <chrono>

using namespace Qt::StringLiterals;

// Push token upload against the reference back-end on loopback, which checks every signature
// with its own verifier.
class TestMacPushTokenService : public QObject
{
    Q_OBJECT

    struct Fixture : BackendMachine
    {
        std::chrono::system_clock::time_point now = std::chrono::system_clock::now();
        MachineAuthService auth { store, [this] { return now; } };
        QNetworkAccessManager network;
        MacPushTokenService service { auth, network };
        LogCapture log;

        explicit Fixture(bool registered = true)
            : BackendMachine(registered)
        {
            auth.reload();
            backend.clearRequests();
            log.clear();
        }

        QList<QJsonObject> pushRequests()
        {
            QList<QJsonObject> found;
            for (const QJsonValue& value : backend.requests()) {
                if (value["target"_L1].toString().endsWith("/push-token"_L1))
                    found.append(value.toObject());
            }
            return found;
        }
    };

private Q_SLOTS:
    void requestBody_data()
    {
        QTest::addColumn<QString>("token");
        QTest::addColumn<QByteArray>("body");
        QTest::newRow("hex token") << u"0a1b2c3d4e5f"_s
                                   << "{\"push_token\":\"0a1b2c3d4e5f\",\"platform\":\"apns-macos\"}"_ba;
        QTest::newRow("empty") << QString() << "{\"push_token\":\"\",\"platform\":\"apns-macos\"}"_ba;
        QTest::newRow("quote and backslash")
            << u"a\"b\\c"_s << "{\"push_token\":\"a\\\"b\\\\c\",\"platform\":\"apns-macos\"}"_ba;
        QTest::newRow("injection attempt")
            << u"x\",\"platform\":\"evil"_s
            << "{\"push_token\":\"x\\\",\\\"platform\\\":\\\"evil\",\"platform\":\"apns-macos\"}"_ba;
        QTest::newRow("control characters") << u"line\nbreak\ttab\x01"_s << QByteArray();
    }
    void requestBody()
    {
        QFETCH(QString, token);
        QFETCH(QByteArray, body);
        const QByteArray built = MacPushTokenService::requestBody(token);
        if (!body.isEmpty())
            QCOMPARE(built, body);
        const QJsonObject parsed = QJsonDocument::fromJson(built).object();
        QCOMPARE(parsed.size(), 2);
        QCOMPARE(parsed.value("push_token"_L1).toString(), token);
        QCOMPARE(parsed.value("platform"_L1).toString(), u"apns-macos"_s);
    }

    // Each upload is signed afresh, so a second one of the same token is no replay.
    void uploadsSignedRequests()
    {
        Fixture f;
        QVERIFY2(f.machine, qPrintable(f.backend.lastError()));
        QCoro::waitFor(f.service.updatePushToken(u"00ff10ab"_s));
        f.now += std::chrono::seconds(5);
        QCoro::waitFor(f.service.updatePushToken(u"00ff10ab"_s));
        QCOMPARE(f.log.lines(), QStringList(2, u"Quorvane: push token registered"_s));

        const QList<QJsonObject> requests = f.pushRequests();
        QCOMPARE(requests.size(), 2);
        for (const QJsonObject& request : requests) {
            QCOMPARE(request["method"_L1].toString(), u"PUT"_s);
            QCOMPARE(request["target"_L1].toString(), u"/machines/%1/push-token"_s.arg(f.machine->config.id));
            QCOMPARE(request["body"_L1].toString(),
                u"{\"push_token\":\"00ff10ab\",\"platform\":\"apns-macos\"}"_s);
            QVERIFY(request["verified"_L1].toBool());
            QCOMPARE(request["status"_L1].toInt(), 200);
        }
        const auto header = [&requests](int index, QLatin1String name) {
            const QJsonObject headers = requests[index]["headers"_L1].toObject();
            for (auto it = headers.constBegin(); it != headers.constEnd(); ++it) {
                if (it.key().compare(name, Qt::CaseInsensitive) == 0)
                    return it->toString();
            }
            return QString();
        };
        QCOMPARE(header(0, "X-Machine-Id"_L1), header(1, "X-Machine-Id"_L1));
        QVERIFY(!header(0, "X-Signature"_L1).isEmpty());
        QVERIFY(header(0, "X-Signature"_L1) != header(1, "X-Signature"_L1));
        QVERIFY(header(0, "X-Signed-Message"_L1) != header(1, "X-Signed-Message"_L1));
    }

    void unregisteredMachineSendsNothing()
    {
        Fixture f(false);
        QVERIFY(!f.auth.config());
        QCoro::waitFor(f.service.updatePushToken(u"abcdef"_s));
        QVERIFY(f.log.lines().isEmpty());
        QVERIFY(f.pushRequests().isEmpty());
    }

    void failures_data()
    {
        QTest::addColumn<int>("status"); // 0: the connection is closed without an answer
        QTest::addColumn<QString>("line"); // for 0: the start of the line
        QTest::newRow("204 is not success") << 204 << u"Quorvane: push token update failed: HTTP 204"_s;
        QTest::newRow("201 is not success") << 201 << u"Quorvane: push token update failed: HTTP 201"_s;
        QTest::newRow("server error") << 500 << u"Quorvane: push token update failed: HTTP 500"_s;
        QTest::newRow("no answer") << 0 << u"Quorvane: push token update error: "_s;
    }
    void failures()
    {
        QFETCH(int, status);
        QFETCH(QString, line);
        Fixture f;
        QVERIFY2(f.machine, qPrintable(f.backend.lastError()));
        const QString path = u"/machines/%1/push-token"_s.arg(f.machine->config.id);
        QVERIFY(status == 0 ? f.backend.closeEveryConnection("PUT", path)
                            : f.backend.inject("PUT", path, status));
        QCoro::waitFor(f.service.updatePushToken(u"abcdef"_s));
        QCOMPARE(f.log.lines().size(), 1);
        const QString logged = f.log.lines().first();
        QVERIFY2(status == 0 ? logged.startsWith(line) && logged.size() > line.size() : logged == line,
            qPrintable(logged));
    }
};

QTEST_GUILESS_MAIN(TestMacPushTokenService)
#include "tst_MacPushTokenService.moc"
