// The reference back-end as a real process on a free port, for what the
// companion's own tests could not notice if the back-end got it wrong: that it
// really verifies request signatures (against a signer written here on OpenSSL,
// independent of both the companion's and the back-end's code) and refuses
// replays, that sign-in sessions are checked, and the answers of the decision
// and trust-window endpoints the companion relies on.
#include "tests/support/BackendProcess.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonObject>
#include <QNetworkRequest>
#include <QSignalSpy>
#include <QUrlQuery>
#include <QWebSocket>
#include <QtTest>
#include <memory>
#include <openssl/evp.h>

using namespace Qt::StringLiterals;

namespace {

class TestSigner
{
public:
    QString publicKey() const
    {
        QByteArray raw(32, '\0');
        size_t length = 32;
        EVP_PKEY_get_raw_public_key(m_key.get(), reinterpret_cast<unsigned char*>(raw.data()), &length);
        return QString::fromLatin1(
            raw.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals));
    }
    QByteArray signature(const QByteArray& message) const
    {
        QByteArray signature(64, '\0');
        size_t length = 64;
        EVP_MD_CTX* ctx = EVP_MD_CTX_new();
        EVP_DigestSignInit(ctx, nullptr, nullptr, nullptr, m_key.get());
        EVP_DigestSign(ctx, reinterpret_cast<unsigned char*>(signature.data()), &length,
            reinterpret_cast<const unsigned char*>(message.constData()), size_t(message.size()));
        EVP_MD_CTX_free(ctx);
        return signature.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
    }

private:
    std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> m_key {
        EVP_PKEY_Q_keygen(nullptr, nullptr, "ED25519"), &EVP_PKEY_free
    };
};

// A read signs "id:time:METHOD target", a write "id:time:body", as the companion does.
QByteArray signedMessage(const QString& machineId, const QByteArray& method, const QByteArray& target,
    const QByteArray& body, qint64 ageMs = 0)
{
    const QByteArray time = QByteArray::number(QDateTime::currentMSecsSinceEpoch() - ageMs);
    const QByteArray prefix = machineId.toUtf8() + ':' + time + ':';
    if (method == "GET" || method == "DELETE")
        return prefix + method + ' ' + target;
    return prefix + body;
}

BackendProcess::Headers signedHeaders(const TestSigner& signer, const QString& machineId,
    const QByteArray& method, const QByteArray& target, const QByteArray& body = {})
{
    const QByteArray message = signedMessage(machineId, method, target, body);
    return { { "X-Machine-Id", machineId.toUtf8() }, { "X-Signature", signer.signature(message) },
        { "X-Signed-Message", message } };
}

QNetworkRequest streamRequest(const BackendProcess& backend, const TestSigner& signer,
    const QString& machineId, const QByteArray& path = "/ws/user")
{
    QUrl url = backend.url(u"/ws/user"_s);
    url.setScheme(u"ws"_s);
    QNetworkRequest request(url);
    for (const auto& [name, value] : signedHeaders(signer, machineId, "GET", path))
        request.setRawHeader(name, value);
    return request;
}

} // namespace

class tst_BackendServer : public QObject
{
    Q_OBJECT

    BackendProcess m_backend;

    QString registerMachine(const TestSigner& signer, const QString& email = u"dev@example.com"_s)
    {
        return m_backend.registerMachine(email, signer.publicKey(), u"LOCAL-"_s + email, u"devbox"_s);
    }
    int send(const TestSigner& signer, const QString& machineId, const QByteArray& method,
        const QByteArray& target, const QByteArray& body = {})
    {
        return m_backend.request(method, target, body, signedHeaders(signer, machineId, method, target, body))
            .status;
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY2(m_backend.isRunning(), qPrintable(m_backend.lastError())); }
    void init() { QVERIFY(m_backend.reset()); }

    void signatures_data()
    {
        QTest::addColumn<QString>("tamper");
        QTest::addColumn<QByteArray>("method");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("reason");

        QTest::newRow("other key") << u"key"_s << "GET"_ba << 401 << u"bad signature"_s;
        QTest::newRow("body changed")
            << u"body"_s << "PUT"_ba << 401 << u"signed message does not match the body"_s;
        QTest::newRow("path changed")
            << u"path"_s << "GET"_ba << 401 << u"signed message does not match the request"_s;
        QTest::newRow("method changed")
            << u"method"_s << "DELETE"_ba << 401 << u"signed message does not match the request"_s;
        QTest::newRow("old timestamp") << u"old"_s << "GET"_ba << 401 << u"timestamp out of range"_s;
        QTest::newRow("other machine named")
            << u"named"_s << "GET"_ba << 401 << u"signed message does not name the machine"_s;
        QTest::newRow("no signature") << u"missing"_s << "GET"_ba << 401 << u"missing signature headers"_s;
        QTest::newRow("unknown machine") << u"machine"_s << "GET"_ba << 401 << u"unknown machine"_s;
        QTest::newRow("write sent again") << u"replay"_s << "PUT"_ba << 401 << u"replayed request"_s;
        QTest::newRow("read sent again") << u"replay"_s << "GET"_ba << 200 << QString();
    }

    void signatures()
    {
        QFETCH(QString, tamper);
        QFETCH(QByteArray, method);
        QFETCH(int, status);
        QFETCH(QString, reason);

        TestSigner signer, other;
        const QString machineId = registerMachine(signer);
        QVERIFY2(!machineId.isEmpty(), qPrintable(m_backend.lastError()));
        const QString otherId = registerMachine(other, u"other@example.com"_s);

        QByteArray target = method == "PUT" ? "/users/preferences"_ba
            : method == "DELETE"            ? "/trust-window"_ba
                                            : "/actions/pending"_ba;
        QByteArray body = method == "PUT" ? "{\"mcp_llm_summary\":true}"_ba : QByteArray();
        const QByteArray signedMethod = tamper == "method"_L1 ? "GET"_ba : method;
        QString claimedId = tamper == "machine"_L1 ? u"m-unknown"_s : machineId;
        const QString namedId = tamper == "named"_L1 ? otherId : claimedId;
        const QByteArray message
            = signedMessage(namedId, signedMethod, target, body, tamper == "old"_L1 ? 6 * 60 * 1000 : 0);
        const QByteArray signature = (tamper == "key"_L1 ? other : signer).signature(message);
        if (tamper == "body"_L1)
            body = "{\"mcp_llm_summary\":false}";
        if (tamper == "path"_L1)
            target = "/actions/pending?all=1";

        BackendProcess::Headers headers;
        if (tamper != "missing"_L1)
            headers = { { "X-Machine-Id", claimedId.toUtf8() }, { "X-Signature", signature },
                { "X-Signed-Message", message } };
        if (tamper == "replay"_L1)
            QCOMPARE(m_backend.request(method, target, body, headers).status, 200);
        QVERIFY(m_backend.clearRequests());
        const auto reply = m_backend.request(method, target, body, headers);
        QCOMPARE(reply.status, status);

        const QJsonArray log = m_backend.requests();
        QCOMPARE(log.size(), 1);
        const QJsonObject entry = log.first().toObject();
        QCOMPARE(entry.value(u"verified"_s).toBool(), status == 200);
        QCOMPARE(entry.value(u"reason"_s).toString(), reason);
        QVERIFY(status == 200 || !reply.object().value(u"error"_s).toString().isEmpty());
    }

    // The sign-in code is single-use, and only a real session registers a machine.
    void signInSessions()
    {
        const auto login
            = m_backend.request("GET", "/auth/login?platform=macos&login_hint=sam%40example.com");
        QCOMPARE(login.status, 302);
        const QUrl callback(QString::fromUtf8(login.header("Location")));
        QCOMPARE(callback.toString(QUrl::RemoveQuery), u"quorvane://auth/callback"_s);
        const QByteArray code = QUrlQuery(callback).queryItemValue(u"code"_s).toUtf8();
        const QByteArray exchangeBody = "{\"code\":\"" + code + "\"}";
        const auto exchange = m_backend.request("POST", "/auth/exchange-code", exchangeBody);
        QCOMPARE(exchange.status, 200);
        QCOMPARE(exchange.object().value(u"email"_s).toString(), u"sam@example.com"_s);
        QCOMPARE(m_backend.request("POST", "/auth/exchange-code", exchangeBody).status, 401);

        TestSigner signer;
        const QByteArray registration = "{\"public_key\":\"" + signer.publicKey().toUtf8()
            + "\",\"machine_id_local\":\"U-1\",\"name\":\"box\"}";
        const QByteArray session = exchange.object().value(u"session"_s).toString().toUtf8();
        const BackendProcess::Headers cookie = { { "Cookie", "theme=dark; quorvane_session=" + session } };
        const auto first = m_backend.request("POST", "/machines/register", registration, cookie);
        QCOMPARE(first.status, 201);
        QCOMPARE(first.object().value(u"user_id"_s).toString(), u"sam@example.com"_s);
        QCOMPARE(m_backend.request("POST", "/machines/register", registration).status, 401);
        QCOMPARE(m_backend
                     .request("POST", "/machines/register", registration,
                         { { "Cookie", "quorvane_session=forged" } })
                     .status,
            401);
    }

    // A machine acts on its own account only.
    void otherAccounts()
    {
        TestSigner signer, other;
        const QString machineId = registerMachine(signer);
        const QString otherId = registerMachine(other, u"other@example.com"_s);
        QCOMPARE(send(signer, machineId, "POST", "/trust-window",
                     "{\"duration_minutes\":5,\"machine_id\":\"" + otherId.toUtf8() + "\"}"),
            400);
        QCOMPARE(send(signer, machineId, "DELETE", "/machines/" + otherId.toUtf8()), 403);
        QCOMPARE(send(signer, machineId, "DELETE", "/machines/" + machineId.toUtf8()), 200);
        QCOMPARE(send(signer, machineId, "GET", "/actions/pending"), 401);
    }

    // The stream is opened only with a signature for its own path.
    void streamHandshake()
    {
        TestSigner signer, other;
        const QString machineId = registerMachine(signer);
        QUrl url = m_backend.url(u"/ws/user"_s);
        url.setScheme(u"ws"_s);
        for (const QNetworkRequest& request :
            { QNetworkRequest(url), streamRequest(m_backend, other, machineId),
                streamRequest(m_backend, signer, machineId, "/ws/other") }) {
            QWebSocket socket;
            QSignalSpy error(&socket, QOverload<QAbstractSocket::SocketError>::of(&QWebSocket::error));
            QSignalSpy connected(&socket, &QWebSocket::connected);
            socket.open(request);
            QVERIFY(error.wait(5000));
            QCOMPARE(connected.size(), 0);
            QCOMPARE(m_backend.requests().last().toObject().value(u"status"_s).toInt(), 401);
        }
        QWebSocket socket;
        QSignalSpy connected(&socket, &QWebSocket::connected);
        socket.open(streamRequest(m_backend, signer, machineId));
        QVERIFY(connected.wait(5000));
    }

    void decisions()
    {
        TestSigner signer, stranger;
        const QString machineId = registerMachine(signer);
        const QString strangerId = registerMachine(stranger, u"other@example.com"_s);
        const QJsonObject stored = m_backend.addAction({ { u"tool_name"_s, u"Bash"_s },
            { u"machine_id"_s, machineId }, { u"odd_member"_s, QJsonArray { 1, 2 } } });
        const QByteArray id = stored.value(u"id"_s).toString().toUtf8();
        QVERIFY(!id.isEmpty() && stored.value(u"expires_at"_s).toString().endsWith(u'Z'));
        // Expired ones and another account's are not listed.
        m_backend.addAction(
            { { u"id"_s, u"old-1"_s }, { u"expires_in_seconds"_s, -1 }, { u"machine_id"_s, machineId } });
        m_backend.addAction({ { u"id"_s, u"theirs"_s }, { u"machine_id"_s, strangerId } });
        const auto list = m_backend.request(
            "GET", "/actions/pending", {}, signedHeaders(signer, machineId, "GET", "/actions/pending"));
        QCOMPARE(list.object().value(u"actions"_s).toArray(), QJsonArray { stored }); // served verbatim

        const auto respond = [&](const TestSigner& who, const QString& as, const QByteArray& action,
                                 const QByteArray& rest) {
            const QByteArray body = "{\"action_id\":\"" + action + "\"," + rest + "}";
            return send(who, as, "POST", "/approvals/" + action + "/respond", body);
        };
        QCOMPARE(respond(signer, machineId, id, R"("decision":"approved","create_rule":{"scope":"machine"})"),
            200);
        const QJsonObject state = m_backend.state();
        const QJsonObject recorded = state.value(u"decisions"_s).toArray().first().toObject();
        QCOMPARE(recorded.value(u"decision"_s).toString(), u"approved"_s);
        QCOMPARE(recorded.value(u"rule_scope"_s).toString(), u"machine"_s);
        QCOMPARE(state.value(u"rules"_s).toArray().size(), 1);
        QCOMPARE(m_backend.actionStatus(QString::fromUtf8(id)).value(u"status"_s).toString(), u"approved"_s);

        // 409: decided already; 404: unknown or another account's; 400: a body that does not fit.
        QCOMPARE(respond(signer, machineId, id, R"("decision":"denied")"), 409);
        QCOMPARE(respond(signer, machineId, "nope", R"("decision":"denied")"), 404);
        QCOMPARE(respond(signer, machineId, "theirs", R"("decision":"denied")"), 404);
        for (const QByteArray& body :
            { R"({"decision":"denied"})"_ba, R"({"action_id":"x","decision":"denied"})"_ba })
            QCOMPARE(send(stranger, strangerId, "POST", "/approvals/theirs/respond", body), 400);
        QCOMPARE(respond(stranger, strangerId, "theirs", R"("decision":"maybe")"), 400);
        QCOMPARE(respond(stranger, strangerId, "theirs",
                     R"("decision":"approved","create_rule":{"scope":"planet"})"),
            400);
        // A denial with a scope makes no rule.
        QCOMPARE(respond(stranger, strangerId, "theirs",
                     R"("decision":"denied","create_rule":{"scope":"global"})"),
            200);
        QCOMPARE(m_backend.state().value(u"rules"_s).toArray().size(), 1);
    }

    void trustWindow()
    {
        TestSigner signer;
        const QString machineId = registerMachine(signer);
        const auto post = [&](const QByteArray& body) {
            return m_backend.request("POST", "/trust-window", body,
                signedHeaders(signer, machineId, "POST", "/trust-window", body));
        };
        const auto window = [](const QDateTime& start, const QDateTime& end) -> QByteArray {
            return "{\"starts_at\":\"" + start.toString(Qt::ISODate).toUtf8() + "\",\"ends_at\":\""
                + end.toString(Qt::ISODate).toUtf8() + "\"}";
        };
        QCOMPARE(post("{\"duration_minutes\":30}").object().value(u"active"_s), QJsonValue(true));
        // While it is open, escalations are approved on the person's behalf.
        const QString approved
            = m_backend.addAction({ { u"machine_id"_s, machineId } }).value(u"id"_s).toString();
        QCOMPARE(m_backend.actionStatus(approved).value(u"status"_s).toString(), u"approved"_s);
        QCOMPARE(send(signer, machineId, "DELETE", "/trust-window"), 200);
        QCOMPARE(m_backend.state().value(u"trust_windows"_s).toArray().size(), 0);

        // A scheduled window already running is open at once; one in the future is stored, not open yet.
        const QDateTime now = QDateTime::currentDateTimeUtc();
        QCOMPARE(
            post(window(now.addSecs(-60), now.addSecs(3600))).object().value(u"active"_s), QJsonValue(true));
        QVERIFY(m_backend.expireTrustWindow());
        const auto later = post(window(now.addSecs(3600), now.addSecs(7200)));
        QCOMPARE(later.status, 200);
        QCOMPARE(later.object().value(u"active"_s), QJsonValue(false));
        QCOMPARE(m_backend.state().value(u"trust_windows"_s).toArray().size(), 1);

        for (const QByteArray& body : {
                 "{\"duration_minutes\":0}"_ba,
                 "{\"duration_minutes\":100000}"_ba,
                 "{\"starts_at\":\"2026-12-05T14:00:00Z\"}"_ba,
                 "{\"starts_at\":\"2030-12-05T14:00:00\",\"ends_at\":\"2030-12-05T15:00:00\"}"_ba, // no zone
                 "{\"starts_at\":\"2030-12-05T15:00:00Z\",\"ends_at\":\"2030-12-05T14:00:00Z\"}"_ba,
                 "{\"starts_at\":\"2000-12-05T14:00:00Z\",\"ends_at\":\"2000-12-05T15:00:00Z\"}"_ba,
                 "{"_ba,
             })
            QVERIFY2(send(signer, machineId, "POST", "/trust-window", body) == 400, body.constData());
    }
};

QTEST_MAIN(tst_BackendServer)
#include "tst_BackendServer.moc"
