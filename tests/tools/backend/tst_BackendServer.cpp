// The reference back-end as a real process on a free port: request signing
// (checked against a signer written here on OpenSSL, independent of both the
// companion's and the back-end's code), a whole escalation over HTTP and the
// user stream, trust windows, sign-in, error injection, releases and the HTTP
// framing (keep-alive, pipelining, chunked bodies, malformed input).
#include "BackendProcess.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkRequest>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QWebSocket>
#include <QtTest>

#include <openssl/evp.h>

#include <memory>

namespace {

// An Ed25519 key made and used with OpenSSL directly.
class TestSigner
{
public:
    TestSigner()
    {
        EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new_id(EVP_PKEY_ED25519, nullptr);
        EVP_PKEY* key = nullptr;
        if (ctx && EVP_PKEY_keygen_init(ctx) == 1)
            EVP_PKEY_keygen(ctx, &key);
        EVP_PKEY_CTX_free(ctx);
        m_key.reset(key);
    }
    bool isValid() const { return bool(m_key); }
    QByteArray publicKey() const
    {
        QByteArray raw(32, '\0');
        size_t len = 32;
        EVP_PKEY_get_raw_public_key(m_key.get(), reinterpret_cast<unsigned char*>(raw.data()), &len);
        return raw;
    }
    QString publicKeyBase64url() const
    {
        return QString::fromLatin1(publicKey().toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals));
    }
    QByteArray sign(const QByteArray& message) const
    {
        QByteArray sig(64, '\0');
        size_t len = 64;
        EVP_MD_CTX* ctx = EVP_MD_CTX_new();
        EVP_DigestSignInit(ctx, nullptr, nullptr, nullptr, m_key.get());
        EVP_DigestSign(ctx, reinterpret_cast<unsigned char*>(sig.data()), &len,
                       reinterpret_cast<const unsigned char*>(message.constData()), size_t(message.size()));
        EVP_MD_CTX_free(ctx);
        return sig;
    }
    QByteArray signature(const QByteArray& message) const
    {
        return sign(message).toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
    }

private:
    struct Free
    {
        void operator()(EVP_PKEY* k) const { EVP_PKEY_free(k); }
    };
    std::unique_ptr<EVP_PKEY, Free> m_key;
};

QByteArray nowMs()
{
    return QByteArray::number(QDateTime::currentMSecsSinceEpoch());
}

// Headers of a request signed the way the companion signs it.
BackendProcess::Headers signedHeaders(const TestSigner& signer, const QString& machineId, const QByteArray& method,
                                      const QByteArray& target, const QByteArray& body)
{
    const QByteArray id = machineId.toUtf8();
    const QByteArray message = (method == "GET" || method == "DELETE")
        ? QByteArray(id + ':' + nowMs() + ':' + method + ' ' + QByteArray::fromPercentEncoding(target))
        : QByteArray(id + ':' + nowMs() + ':' + body);
    BackendProcess::Headers h;
    if (!body.isEmpty())
        h.append({QByteArray("Content-Type"), QByteArray("application/json")});
    h.append({QByteArray("X-Machine-Id"), id});
    h.append({QByteArray("X-Signature"), signer.signature(message)});
    h.append({QByteArray("X-Signed-Message"), message});
    return h;
}

QNetworkRequest streamRequest(const BackendProcess& backend, const TestSigner& signer, const QString& machineId)
{
    QUrl url = backend.url(QStringLiteral("/ws/user"));
    url.setScheme(QStringLiteral("ws"));
    QNetworkRequest request(url);
    for (const auto& h : signedHeaders(signer, machineId, "GET", "/ws/user", {}))
        request.setRawHeader(h.first, h.second);
    // The companion adds this header itself as well.
    request.setRawHeader("Upgrade", "websocket");
    return request;
}

QJsonObject parse(const QString& text)
{
    return QJsonDocument::fromJson(text.toUtf8()).object();
}

} // namespace

class tst_BackendServer : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void signatures_data();
    void signatures();
    void escalation();
    void streamHandshake();
    void trustWindow();
    void signIn();
    void linking();
    void machineEndpoints();
    void injection();
    void releases();
    void httpFraming();
    void controlValidation();
    void demoScenario();

private:
    QString registerMachine(const TestSigner& signer, const QString& email = QStringLiteral("dev@example.com"),
                            const QString& local = QStringLiteral("LOCAL-1"));
    BackendProcess::Reply signedRequest(const TestSigner& signer, const QString& machineId, const QByteArray& method,
                                        const QByteArray& target, const QByteArray& body = {});

    std::unique_ptr<BackendProcess> m_backend;
};

void tst_BackendServer::initTestCase()
{
    m_backend = std::make_unique<BackendProcess>();
    QVERIFY2(m_backend->isRunning(), qPrintable(m_backend->lastError()));
    QVERIFY(m_backend->url().host() == QLatin1String("127.0.0.1"));
}

void tst_BackendServer::init()
{
    QVERIFY(m_backend->reset());
}

QString tst_BackendServer::registerMachine(const TestSigner& signer, const QString& email, const QString& local)
{
    return m_backend->registerMachine(email, signer.publicKeyBase64url(), local, QStringLiteral("devbox"));
}

BackendProcess::Reply tst_BackendServer::signedRequest(const TestSigner& signer, const QString& machineId,
                                                       const QByteArray& method, const QByteArray& target,
                                                       const QByteArray& body)
{
    return m_backend->request(method, target, body, signedHeaders(signer, machineId, method, target, body));
}

void tst_BackendServer::signatures_data()
{
    QTest::addColumn<QString>("tamper");
    QTest::addColumn<QByteArray>("method");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("reason");

    QTest::newRow("GET signed correctly") << QString() << QByteArray("GET") << 200 << QString();
    QTest::newRow("PUT signed correctly") << QString() << QByteArray("PUT") << 200 << QString();
    QTest::newRow("other key") << QStringLiteral("key") << QByteArray("GET") << 401 << QStringLiteral("bad signature");
    QTest::newRow("body changed") << QStringLiteral("body") << QByteArray("PUT") << 401
                                  << QStringLiteral("signed message does not match the body");
    QTest::newRow("path changed") << QStringLiteral("path") << QByteArray("GET") << 401
                                  << QStringLiteral("signed message does not match the request");
    QTest::newRow("old timestamp") << QStringLiteral("old") << QByteArray("GET") << 401
                                   << QStringLiteral("timestamp out of range");
    QTest::newRow("malformed signature") << QStringLiteral("malformed") << QByteArray("GET") << 401
                                         << QStringLiteral("malformed signature");
    QTest::newRow("signature of another message") << QStringLiteral("swap") << QByteArray("GET") << 401
                                                  << QStringLiteral("bad signature");
    QTest::newRow("no signature") << QStringLiteral("missing") << QByteArray("GET") << 401
                                  << QStringLiteral("missing signature headers");
    QTest::newRow("unknown machine") << QStringLiteral("machine") << QByteArray("GET") << 401
                                     << QStringLiteral("unknown machine");
}

void tst_BackendServer::signatures()
{
    QFETCH(QString, tamper);
    QFETCH(QByteArray, method);
    QFETCH(int, status);
    QFETCH(QString, reason);

    TestSigner signer, other;
    QVERIFY(signer.isValid() && other.isValid());
    const QString machineId = registerMachine(signer);
    QVERIFY2(!machineId.isEmpty(), qPrintable(m_backend->lastError()));
    QVERIFY(m_backend->clearRequests());

    QByteArray target = method == "GET" ? QByteArray("/actions/pending") : QByteArray("/users/preferences");
    QByteArray body = method == "GET" ? QByteArray() : QByteArray("{\"mcp_llm_summary\":true}");
    QString claimedId = machineId;
    QByteArray message = (method == "GET") ? QByteArray(machineId.toUtf8() + ':' + nowMs() + ":GET " + target)
                                           : QByteArray(machineId.toUtf8() + ':' + nowMs() + ':' + body);
    QByteArray signature = signer.signature(message);

    if (tamper == QLatin1String("key"))
        signature = other.signature(message);
    if (tamper == QLatin1String("body"))
        body = "{\"mcp_llm_summary\":false}";
    if (tamper == QLatin1String("path"))
        target = "/actions/pending?all=1";
    if (tamper == QLatin1String("old")) {
        message = machineId.toUtf8() + ':' + QByteArray::number(QDateTime::currentMSecsSinceEpoch() - 6 * 60 * 1000)
            + ":GET " + target;
        signature = signer.signature(message);
    }
    if (tamper == QLatin1String("malformed"))
        signature = "not+base64/url==";
    if (tamper == QLatin1String("swap"))
        signature = signer.signature(message + 'x');
    if (tamper == QLatin1String("machine")) {
        claimedId = QStringLiteral("m-unknown");
        message = "m-unknown:" + nowMs() + ":GET " + target;
        signature = signer.signature(message);
    }

    BackendProcess::Headers headers;
    if (tamper != QLatin1String("missing"))
        headers = {{"X-Machine-Id", claimedId.toUtf8()}, {"X-Signature", signature}, {"X-Signed-Message", message}};
    const auto reply = m_backend->request(method, target, body, headers);
    QCOMPARE(reply.status, status);

    const QJsonArray log = m_backend->requests();
    QCOMPARE(log.size(), 1);
    const QJsonObject entry = log.first().toObject();
    QCOMPARE(entry.value(QStringLiteral("status")).toInt(), status);
    QCOMPARE(entry.value(QStringLiteral("verified")).toBool(), status == 200);
    QCOMPARE(entry.value(QStringLiteral("reason")).toString(), reason);
    QCOMPARE(entry.value(QStringLiteral("target")).toString(), QString::fromUtf8(target));
    if (status == 200 && method == "PUT") {
        QCOMPARE(reply.object().value(QStringLiteral("mcp_llm_summary")).toBool(), true);
        QCOMPARE(m_backend->state()
                     .value(QStringLiteral("preferences"))
                     .toObject()
                     .value(QStringLiteral("dev@example.com"))
                     .toObject()
                     .value(QStringLiteral("mcp_llm_summary")),
                 QJsonValue(true));
    }
    if (status == 401)
        QVERIFY(!reply.object().value(QStringLiteral("error")).toString().isEmpty());
}

void tst_BackendServer::escalation()
{
    TestSigner signer, stranger;
    const QString machineId = registerMachine(signer);
    const QString strangerId = registerMachine(stranger, QStringLiteral("other@example.com"), QStringLiteral("L-2"));
    QVERIFY(!machineId.isEmpty() && !strangerId.isEmpty());

    QWebSocket socket;
    QStringList frames;
    connect(&socket, &QWebSocket::textMessageReceived, this, [&](const QString& t) { frames << t; });
    QSignalSpy connected(&socket, &QWebSocket::connected);
    socket.open(streamRequest(*m_backend, signer, machineId));
    QVERIFY(connected.wait(5000));
    QTRY_COMPARE(m_backend->state().value(QStringLiteral("streams")).toArray().size(), 1);

    // Added for the owner: the stream announces it, the signed list holds it.
    const QJsonObject stored = m_backend->addAction(
        {{QStringLiteral("agent_id"), QStringLiteral("agt-1")},
         {QStringLiteral("agent_name"), QStringLiteral("coder")},
         {QStringLiteral("tool_name"), QStringLiteral("Bash")},
         {QStringLiteral("machine_id"), machineId},
         {QStringLiteral("odd_member"), QJsonArray{1, 2}},
         {QStringLiteral("tool_input"), QJsonObject{{QStringLiteral("command"), QStringLiteral("ls")}}}});
    const QString id = stored.value(QStringLiteral("id")).toString();
    QVERIFY(!id.isEmpty());
    QVERIFY(!stored.contains(QStringLiteral("machine_id")));
    const QDateTime expires = QDateTime::fromString(stored.value(QStringLiteral("expires_at")).toString(), Qt::ISODateWithMs);
    QVERIFY(stored.value(QStringLiteral("expires_at")).toString().endsWith(QLatin1Char('Z')));
    QVERIFY(expires > QDateTime::currentDateTimeUtc().addSecs(200));
    QTRY_COMPARE(frames.size(), 1);
    QCOMPARE(frames.first(), QStringLiteral("{\"type\":\"action_pending\",\"actionId\":\"%1\"}").arg(id));

    // An expired one and one of another account are not listed.
    m_backend->addAction({{QStringLiteral("id"), QStringLiteral("old-1")},
                          {QStringLiteral("expires_in_seconds"), -1},
                          {QStringLiteral("machine_id"), machineId}});
    m_backend->addAction({{QStringLiteral("id"), QStringLiteral("theirs")}, {QStringLiteral("machine_id"), strangerId}});

    auto list = signedRequest(signer, machineId, "GET", "/actions/pending");
    QCOMPARE(list.status, 200);
    const QJsonArray actions = list.object().value(QStringLiteral("actions")).toArray();
    QCOMPARE(actions.size(), 1);
    QCOMPARE(actions.first().toObject(), stored); // served verbatim, odd members included

    // Respond: 200 removes it and records the decision and the rule.
    const QByteArray decision = "{\"decision\":\"approved\",\"create_rule\":{\"scope\":\"machine\"}}";
    QCOMPARE(signedRequest(signer, machineId, "POST", "/approvals/" + id.toUtf8() + "/respond", decision).status, 200);
    list = signedRequest(signer, machineId, "GET", "/actions/pending");
    QCOMPARE(list.object().value(QStringLiteral("actions")).toArray().size(), 0);
    QTRY_COMPARE(frames.size(), 2);
    QCOMPARE(parse(frames.last()).value(QStringLiteral("type")).toString(), QStringLiteral("rules_changed"));
    QVERIFY(parse(frames.last()).value(QStringLiteral("version")).isString());

    const QJsonObject state = m_backend->state();
    const QJsonObject recorded = state.value(QStringLiteral("decisions")).toArray().first().toObject();
    QCOMPARE(recorded.value(QStringLiteral("action_id")).toString(), id);
    QCOMPARE(recorded.value(QStringLiteral("decision")).toString(), QStringLiteral("approved"));
    QCOMPARE(recorded.value(QStringLiteral("rule_scope")).toString(), QStringLiteral("machine"));
    QCOMPARE(state.value(QStringLiteral("rules")).toArray().size(), 1);
    QCOMPARE(m_backend->actionStatus(id).value(QStringLiteral("status")).toString(), QStringLiteral("approved"));

    // Decided already: 409; unknown: 404; another account's action: 404; bad bodies: 400.
    QCOMPARE(signedRequest(signer, machineId, "POST", "/approvals/" + id.toUtf8() + "/respond",
                           "{\"decision\":\"denied\"}").status,
             409);
    QCOMPARE(signedRequest(signer, machineId, "POST", "/approvals/nope/respond", "{\"decision\":\"denied\"}").status, 404);
    QCOMPARE(signedRequest(signer, machineId, "POST", "/approvals/theirs/respond", "{\"decision\":\"denied\"}").status, 404);
    QCOMPARE(signedRequest(signer, machineId, "POST", "/approvals/a%2Fb/respond", "{\"decision\":\"denied\"}").status, 404);
    QCOMPARE(signedRequest(signer, machineId, "POST", "/approvals/a/b/respond", "{\"decision\":\"denied\"}").status, 404);
    QCOMPARE(signedRequest(stranger, strangerId, "POST", "/approvals/theirs/respond", "{\"decision\":\"maybe\"}").status, 400);
    QCOMPARE(signedRequest(signer, strangerId, "POST", "/approvals/theirs/respond", "[1]").status, 401); // wrong key
    QCOMPARE(signedRequest(stranger, strangerId, "POST", "/approvals/theirs/respond", "[1]").status, 400);
    QCOMPARE(signedRequest(stranger, strangerId, "POST", "/approvals/theirs/respond",
                           "{\"decision\":\"approved\",\"create_rule\":{\"scope\":\"planet\"}}").status,
             400);
    // A denial with a scope makes no rule; neither does an approved unregister request.
    QCOMPARE(signedRequest(stranger, strangerId, "POST", "/approvals/theirs/respond",
                           "{\"decision\":\"denied\",\"create_rule\":{\"scope\":\"global\"}}").status,
             200);
    m_backend->addAction({{QStringLiteral("id"), QStringLiteral("unreg")},
                          {QStringLiteral("tool_name"), QStringLiteral("quorvane:unregister")},
                          {QStringLiteral("machine_id"), machineId}});
    QTRY_COMPARE(frames.last(), QStringLiteral("{\"type\":\"action_pending\",\"actionId\":\"unreg\"}"));
    QCOMPARE(signedRequest(signer, machineId, "POST", "/approvals/unreg/respond",
                           "{\"decision\":\"approved\",\"create_rule\":{\"scope\":\"global\"}}").status,
             200);
    QCOMPARE(m_backend->state().value(QStringLiteral("rules")).toArray().size(), 1);

    // "notify": false adds silently; frames reach only the owner's streams.
    const qsizetype before = frames.size();
    m_backend->addAction({{QStringLiteral("machine_id"), machineId}, {QStringLiteral("notify"), false}});
    QCOMPARE(m_backend->sendFrame("{\"type\":\"x\"}", QStringLiteral("other@example.com")), 0);
    QCOMPARE(m_backend->sendFrame("not json"), 1);
    QTRY_COMPARE(frames.size(), before + 1);
    QCOMPARE(frames.last(), QStringLiteral("not json"));
    QSignalSpy binary(&socket, &QWebSocket::binaryMessageReceived);
    QCOMPARE(m_backend->sendBinaryFrame(QByteArray("\x00\x01", 2)), 1);
    QVERIFY(binary.wait(5000));
    QCOMPARE(binary.first().first().toByteArray(), QByteArray("\x00\x01", 2));
}

void tst_BackendServer::streamHandshake()
{
    TestSigner signer, other;
    const QString machineId = registerMachine(signer);
    QVERIFY(m_backend->clearRequests());

    // Unsigned, wrongly signed, and signed for another path: refused with 401.
    const QList<QNetworkRequest> refused = [&] {
        QUrl url = m_backend->url(QStringLiteral("/ws/user"));
        url.setScheme(QStringLiteral("ws"));
        QNetworkRequest unsigned_(url);
        QNetworkRequest wrongKey = streamRequest(*m_backend, other, machineId);
        QNetworkRequest wrongPath(url);
        for (const auto& h : signedHeaders(signer, machineId, "GET", "/ws/other", {}))
            wrongPath.setRawHeader(h.first, h.second);
        return QList<QNetworkRequest>{unsigned_, wrongKey, wrongPath};
    }();
    for (const QNetworkRequest& request : refused) {
        QWebSocket socket;
        QSignalSpy error(&socket, QOverload<QAbstractSocket::SocketError>::of(&QWebSocket::error));
        QSignalSpy connected(&socket, &QWebSocket::connected);
        socket.open(request);
        QVERIFY(error.wait(5000));
        QCOMPARE(connected.size(), 0);
    }
    QJsonArray log = m_backend->requests();
    QCOMPARE(log.size(), 3);
    for (const auto& entry : log)
        QCOMPARE(entry.toObject().value(QStringLiteral("status")).toInt(), 401);

    // Refusing for a while answers 503; drop-sockets closes open streams.
    QVERIFY(m_backend->refuseWebSocket(30));
    {
        QWebSocket socket;
        QSignalSpy error(&socket, QOverload<QAbstractSocket::SocketError>::of(&QWebSocket::error));
        socket.open(streamRequest(*m_backend, signer, machineId));
        QVERIFY(error.wait(5000));
        QCOMPARE(m_backend->requests().last().toObject().value(QStringLiteral("status")).toInt(), 503);
    }
    QVERIFY(m_backend->refuseWebSocket(0));
    QWebSocket first, second;
    QSignalSpy c1(&first, &QWebSocket::connected), c2(&second, &QWebSocket::connected);
    first.open(streamRequest(*m_backend, signer, machineId));
    second.open(streamRequest(*m_backend, signer, machineId));
    QVERIFY(c1.wait(5000) || c1.size() == 1);
    QTRY_COMPARE(c2.size(), 1);
    QTRY_COMPARE(m_backend->state().value(QStringLiteral("streams")).toArray().size(), 2);
    QSignalSpy d1(&first, &QWebSocket::disconnected), d2(&second, &QWebSocket::disconnected);
    QCOMPARE(m_backend->dropSockets(), 2);
    QTRY_COMPARE(d1.size(), 1);
    QTRY_COMPARE(d2.size(), 1);

    // Deleting the machine closes its stream too.
    QWebSocket third;
    QSignalSpy c3(&third, &QWebSocket::connected), d3(&third, &QWebSocket::disconnected);
    third.open(streamRequest(*m_backend, signer, machineId));
    QVERIFY(c3.wait(5000));
    QCOMPARE(signedRequest(signer, machineId, "DELETE", "/machines/" + machineId.toUtf8()).status, 200);
    QTRY_COMPARE(d3.size(), 1);
}

void tst_BackendServer::trustWindow()
{
    TestSigner signer;
    const QString machineId = registerMachine(signer);
    QWebSocket socket;
    QStringList frames;
    connect(&socket, &QWebSocket::textMessageReceived, this, [&](const QString& t) { frames << t; });
    QSignalSpy connected(&socket, &QWebSocket::connected);
    socket.open(streamRequest(*m_backend, signer, machineId));
    QVERIFY(connected.wait(5000));
    const QString on = QStringLiteral("{\"type\":\"trust_window_changed\",\"active\":true}");
    const QString off = QStringLiteral("{\"type\":\"trust_window_changed\",\"active\":false}");

    // Quick window: open, then closed by the companion.
    auto reply = signedRequest(signer, machineId, "POST", "/trust-window", "{\"duration_minutes\":30}");
    QCOMPARE(reply.status, 200);
    QTRY_COMPARE(frames, QStringList{on});
    // While it is open, escalations are approved on the person's behalf.
    const QString auto_ = m_backend->addAction({{QStringLiteral("machine_id"), machineId}}).value(QStringLiteral("id")).toString();
    QCOMPARE(m_backend->actionStatus(auto_).value(QStringLiteral("status")).toString(), QStringLiteral("approved"));
    QCOMPARE(signedRequest(signer, machineId, "GET", "/actions/pending").object().value(QStringLiteral("actions")).toArray().size(), 0);
    QCOMPARE(signedRequest(signer, machineId, "DELETE", "/trust-window").status, 200);
    QTRY_COMPARE(frames, (QStringList{on, off}));
    QCOMPARE(m_backend->state().value(QStringLiteral("trust_windows")).toArray().size(), 0);

    // Scheduled window already running: open at once; ended through the control API.
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const QByteArray scheduled = "{\"starts_at\":\"" + now.addSecs(-60).toString(Qt::ISODate).toUtf8() + "\",\"ends_at\":\""
        + now.addSecs(3600).toString(Qt::ISODate).toUtf8() + "\"}";
    QCOMPARE(signedRequest(signer, machineId, "POST", "/trust-window", scheduled).status, 200);
    QTRY_COMPARE(frames.size(), 3);
    QCOMPARE(frames.last(), on);
    QVERIFY(m_backend->expireTrustWindow());
    QTRY_COMPARE(frames.size(), 4);
    QCOMPARE(frames.last(), off);

    // A scheduled window in the future is stored but not announced yet.
    const QByteArray later = "{\"starts_at\":\"" + now.addSecs(3600).toString(Qt::ISODate).toUtf8() + "\",\"ends_at\":\""
        + now.addSecs(7200).toString(Qt::ISODate).toUtf8() + "\"}";
    reply = signedRequest(signer, machineId, "POST", "/trust-window", later);
    QCOMPARE(reply.status, 200);
    QCOMPARE(reply.object().value(QStringLiteral("active")).toBool(), false);
    QCOMPARE(m_backend->state().value(QStringLiteral("trust_windows")).toArray().size(), 1);

    // Bodies the back-end refuses.
    const QList<QByteArray> bad = {
        "{\"duration_minutes\":0}",
        "{\"duration_minutes\":\"30\"}",
        "{\"duration_minutes\":2.5}",
        "{\"duration_minutes\":100000}",
        "{\"starts_at\":\"2026-12-05T14:00:00Z\"}",
        "{\"starts_at\":\"yesterday\",\"ends_at\":\"tomorrow\"}",
        "{\"starts_at\":\"2030-12-05T14:00:00\",\"ends_at\":\"2030-12-05T15:00:00\"}", // no zone
        "{\"starts_at\":\"2030-12-05T15:00:00Z\",\"ends_at\":\"2030-12-05T14:00:00Z\"}",
        "{\"starts_at\":\"2000-12-05T14:00:00Z\",\"ends_at\":\"2000-12-05T15:00:00Z\"}",
        "[]",
        "{",
    };
    for (const QByteArray& body : bad)
        QVERIFY2(signedRequest(signer, machineId, "POST", "/trust-window", body).status == 400, body.constData());
}

void tst_BackendServer::signIn()
{
    // With a hint: the account of that address; the code is single-use.
    auto login = m_backend->request("GET", "/auth/login?platform=macos&login_hint=sam%40example.com");
    QCOMPARE(login.status, 302);
    const QUrl callback(QString::fromUtf8(login.header("Location")));
    QCOMPARE(callback.scheme(), QStringLiteral("quorvane"));
    QCOMPARE(callback.host(), QStringLiteral("auth"));
    QCOMPARE(callback.path(), QStringLiteral("/callback"));
    const QString code = QUrlQuery(callback).queryItemValue(QStringLiteral("code"));
    QVERIFY(!code.isEmpty());

    const QByteArray body = "{\"code\":\"" + code.toUtf8() + "\"}";
    auto exchange = m_backend->request("POST", "/auth/exchange-code", body, {{"Content-Type", "application/json"}});
    QCOMPARE(exchange.status, 200);
    const QString session = exchange.object().value(QStringLiteral("session")).toString();
    QVERIFY(!session.isEmpty());
    QCOMPARE(exchange.object().value(QStringLiteral("email")).toString(), QStringLiteral("sam@example.com"));
    QCOMPARE(m_backend->request("POST", "/auth/exchange-code", body).status, 401);

    // Without a hint: the default account.
    login = m_backend->request("GET", "/auth/login?platform=macos");
    const QString code2 = QUrlQuery(QUrl(QString::fromUtf8(login.header("Location")))).queryItemValue(QStringLiteral("code"));
    exchange = m_backend->request("POST", "/auth/exchange-code", "{\"code\":\"" + code2.toUtf8() + "\"}");
    QCOMPARE(exchange.object().value(QStringLiteral("email")).toString(), QStringLiteral("person@example.com"));

    // Malformed exchanges and hints.
    QCOMPARE(m_backend->request("POST", "/auth/exchange-code", "{\"code\":5}").status, 400);
    QCOMPARE(m_backend->request("POST", "/auth/exchange-code", "nonsense").status, 400);
    QCOMPARE(m_backend->request("POST", "/auth/exchange-code", "{\"code\":\"made-up\"}").status, 401);
    QCOMPARE(m_backend->request("GET", "/auth/login?platform=macos&login_hint=no%20address").status, 400);

    // The session registers a machine (201), again for the same machine (200, same id).
    TestSigner signer;
    const QByteArray reg = "{\"public_key\":\"" + signer.publicKeyBase64url().toUtf8()
        + "\",\"machine_id_local\":\"UUID-1\",\"name\":\"box\"}";
    const BackendProcess::Headers cookie = {{"Content-Type", "application/json"},
                                            {"Cookie", "theme=dark; quorvane_session=" + session.toUtf8()}};
    auto first = m_backend->request("POST", "/machines/register", reg, cookie);
    QCOMPARE(first.status, 201);
    QCOMPARE(first.object().value(QStringLiteral("user_id")).toString(), QStringLiteral("sam@example.com"));
    auto again = m_backend->request("POST", "/machines/register", reg, cookie);
    QCOMPARE(again.status, 200);
    QCOMPARE(again.object().value(QStringLiteral("machine_id")), first.object().value(QStringLiteral("machine_id")));

    // Registration refusals.
    QCOMPARE(m_backend->request("POST", "/machines/register", reg).status, 401);
    QCOMPARE(m_backend->request("POST", "/machines/register", reg, {{"Cookie", "quorvane_session=forged"}}).status, 401);
    const QList<QByteArray> badBodies = {
        "{\"public_key\":\"abc\",\"machine_id_local\":\"U\",\"name\":\"n\"}",
        "{\"public_key\":\"" + signer.publicKeyBase64url().toUtf8() + "\",\"machine_id_local\":7,\"name\":\"n\"}",
        "{\"public_key\":\"" + signer.publicKeyBase64url().toUtf8() + "\",\"name\":\"n\"}",
        "[\"x\"]",
    };
    for (const QByteArray& b : badBodies)
        QCOMPARE(m_backend->request("POST", "/machines/register", b, cookie).status, 400);
}

void tst_BackendServer::linking()
{
    TestSigner signer;
    const QString machineId = registerMachine(signer);
    const QString agent = m_backend->addAgent(QStringLiteral("vega"), QStringLiteral("claude-code"), machineId);
    QVERIFY(!agent.isEmpty());

    auto linked = signedRequest(signer, machineId, "POST", "/agents/link-machine", "{\"agent_id\":\"" + agent.toUtf8() + "\"}");
    QCOMPARE(linked.status, 200);
    const QJsonObject result = linked.object();
    QCOMPARE(result.value(QStringLiteral("linked")), QJsonValue(true));
    QCOMPARE(result.value(QStringLiteral("agent_id")).toString(), agent);
    QVERIFY(result.value(QStringLiteral("seeded")).isBool());
    QVERIFY(result.value(QStringLiteral("rules_count")).isDouble());
    QCOMPARE(result.value(QStringLiteral("has_other_machines")), QJsonValue(false));

    // Another agent of the same name on this machine: 409 with the text as body.
    const QString twin = m_backend->addAgent(QStringLiteral("vega"), QStringLiteral("cursor"), machineId);
    auto duplicate = signedRequest(signer, machineId, "POST", "/agents/link-machine", "{\"agent_id\":\"" + twin.toUtf8() + "\"}");
    QCOMPARE(duplicate.status, 409);
    QCOMPARE(duplicate.body, QByteArray("duplicate name"));
    QCOMPARE(signedRequest(signer, machineId, "POST", "/agents/link-machine", "{\"agent_id\":\"ghost\"}").status, 404);
    QCOMPARE(signedRequest(signer, machineId, "POST", "/agents/link-machine", "{\"agent\":1}").status, 400);

    // Linking with the session token (bearer) seeds the template's rules once.
    const QString token = m_backend->createUser(QStringLiteral("dev@example.com")).value(QStringLiteral("session_token")).toString();
    QByteArray spec = "{\"name\":\"atlas\",\"agent_type\":\"claude-code\",\"template\":\"developer-workstation\",\"machine_id\":\""
        + machineId.toUtf8() + "\"}";
    const QString atlas = m_backend->request("POST", "/_control/agents", spec).object().value(QStringLiteral("agent_id")).toString();
    QVERIFY(!atlas.isEmpty());
    const QByteArray body = "{\"agent_id\":\"" + atlas.toUtf8() + "\"}";
    const BackendProcess::Headers bearer = {{"Content-Type", "application/json"}, {"Authorization", "Bearer " + token.toUtf8()}};
    auto session = m_backend->request("POST", "/agents/link-session", body, bearer);
    QCOMPARE(session.status, 200);
    QCOMPARE(session.object().value(QStringLiteral("seeded")), QJsonValue(true));
    QCOMPARE(session.object().value(QStringLiteral("rules_count")).toInt(), 12);
    session = m_backend->request("POST", "/agents/link-session", body, bearer);
    QCOMPARE(session.object().value(QStringLiteral("seeded")), QJsonValue(false));
    QCOMPARE(session.object().value(QStringLiteral("rules_count")).toInt(), 12);

    auto refused = m_backend->request("POST", "/agents/link-session", body, {{"Authorization", "Bearer nope"}});
    QCOMPARE(refused.status, 401);
    QVERIFY(!refused.object().value(QStringLiteral("error")).toString().isEmpty());
    const QString strangerToken = m_backend->createUser(QStringLiteral("x@example.com")).value(QStringLiteral("session_token")).toString();
    refused = m_backend->request("POST", "/agents/link-session", body, {{"Authorization", "Bearer " + strangerToken.toUtf8()}});
    QCOMPARE(refused.status, 403);
    QVERIFY(!refused.object().value(QStringLiteral("error")).toString().isEmpty());
}

void tst_BackendServer::machineEndpoints()
{
    TestSigner signer, other;
    const QString machineId = registerMachine(signer);
    const QString otherId = registerMachine(other, QStringLiteral("x@example.com"), QStringLiteral("L-9"));
    const QByteArray mine = "/machines/" + machineId.toUtf8();

    QCOMPARE(signedRequest(signer, machineId, "PUT", mine + "/push-token",
                           "{\"push_token\":\"ab01\",\"platform\":\"apns-macos\"}").status,
             200);
    QCOMPARE(signedRequest(signer, machineId, "PUT", "/machines/" + otherId.toUtf8() + "/push-token",
                           "{\"push_token\":\"ab01\",\"platform\":\"apns-macos\"}").status,
             403);
    QCOMPARE(signedRequest(signer, machineId, "PUT", mine + "/push-token", "{\"push_token\":1}").status, 400);
    QCOMPARE(signedRequest(signer, machineId, "POST", "/mcp-servers/sync",
                           "{\"servers\":[{\"name\":\"github\",\"tools\":3}]}").status,
             200);
    QCOMPARE(signedRequest(signer, machineId, "POST", "/mcp-servers/sync", "{\"servers\":{}}").status, 400);
    QCOMPARE(signedRequest(signer, machineId, "PUT", "/users/preferences", "{\"mcp_llm_summary\":\"yes\"}").status, 400);

    QJsonObject state = m_backend->state();
    const QJsonObject token = state.value(QStringLiteral("push_tokens")).toArray().first().toObject();
    QCOMPARE(token.value(QStringLiteral("push_token")).toString(), QStringLiteral("ab01"));
    QCOMPARE(token.value(QStringLiteral("platform")).toString(), QStringLiteral("apns-macos"));
    QCOMPARE(token.value(QStringLiteral("machine_id")).toString(), machineId);
    QCOMPARE(state.value(QStringLiteral("mcp_servers")).toObject().value(machineId).toArray().size(), 1);
    bool found = false;
    for (const auto& m : state.value(QStringLiteral("machines")).toArray()) {
        const QJsonObject o = m.toObject();
        if (o.value(QStringLiteral("id")).toString() == machineId) {
            found = true;
            QCOMPARE(o.value(QStringLiteral("public_key")).toString(), signer.publicKeyBase64url());
            QCOMPARE(o.value(QStringLiteral("machine_id_local")).toString(), QStringLiteral("LOCAL-1"));
            QCOMPARE(o.value(QStringLiteral("user_id")).toString(), QStringLiteral("dev@example.com"));
        }
    }
    QVERIFY(found);

    // Another account's machine cannot be deleted; our own can, and its key stops working.
    QCOMPARE(signedRequest(signer, machineId, "DELETE", "/machines/" + otherId.toUtf8()).status, 403);
    QCOMPARE(signedRequest(signer, machineId, "DELETE", "/machines/unknown").status, 404);
    QCOMPARE(signedRequest(signer, machineId, "DELETE", mine).status, 200);
    QCOMPARE(signedRequest(signer, machineId, "GET", "/actions/pending").status, 401);

    // Known paths with other methods: 405; unknown paths: 404.
    QCOMPARE(m_backend->request("GET", "/trust-window").status, 405);
    QCOMPARE(m_backend->request("GET", "/nothing/here").status, 404);
    QCOMPARE(m_backend->request("GET", "/ws/user").status, 400);
}

void tst_BackendServer::injection()
{
    TestSigner signer;
    const QString machineId = registerMachine(signer);
    QVERIFY(m_backend->clearRequests());

    QVERIFY(m_backend->inject("GET", QStringLiteral("/actions/pending"), 500, "{\"error\":\"boom\"}", 2));
    for (int i = 0; i < 2; ++i) {
        const auto reply = signedRequest(signer, machineId, "GET", "/actions/pending");
        QCOMPARE(reply.status, 500);
        QCOMPARE(reply.body, QByteArray("{\"error\":\"boom\"}"));
    }
    QCOMPARE(signedRequest(signer, machineId, "GET", "/actions/pending").status, 200);

    // Another method on the path is not affected.
    QVERIFY(m_backend->inject("POST", QStringLiteral("/trust-window"), 503));
    QCOMPARE(signedRequest(signer, machineId, "DELETE", "/trust-window").status, 200);
    QCOMPARE(signedRequest(signer, machineId, "POST", "/trust-window", "{\"duration_minutes\":5}").status, 503);

    // Status 0: the connection closes without an answer.
    QVERIFY(m_backend->inject("GET", QStringLiteral("/releases/latest"), 0));
    QCOMPARE(m_backend->request("GET", "/releases/latest").status, 0);
    QCOMPARE(m_backend->request("GET", "/releases/latest").status, 404);

    // A delay alone leaves the answer as it would be.
    QVERIFY(m_backend->injectDelay("GET", QStringLiteral("/actions/pending"), 200));
    QCOMPARE(signedRequest(signer, machineId, "GET", "/actions/pending").status, 200);

    // The handshake can be injected too.
    QVERIFY(m_backend->inject("GET", QStringLiteral("/ws/user"), 502));
    QWebSocket socket;
    QSignalSpy error(&socket, QOverload<QAbstractSocket::SocketError>::of(&QWebSocket::error));
    socket.open(streamRequest(*m_backend, signer, machineId));
    QVERIFY(error.wait(5000));

    const QJsonArray log = m_backend->requests();
    QList<int> injected;
    for (const auto& e : log) {
        if (e.toObject().value(QStringLiteral("reason")).toString() == QLatin1String("injected"))
            injected << e.toObject().value(QStringLiteral("status")).toInt();
    }
    QCOMPARE(injected, (QList<int>{500, 500, 503, 0, 502}));
    QCOMPARE(log.size(), 9);
}

void tst_BackendServer::releases()
{
    QTemporaryDir root;
    QVERIFY(QDir(root.path()).mkpath(QStringLiteral("releases")));
    const QString dir = root.filePath(QStringLiteral("releases"));
    auto write = [](const QString& path, const QByteArray& data) {
        QFile f(path);
        return f.open(QIODevice::WriteOnly) && f.write(data) == data.size();
    };
    QVERIFY(write(dir + QStringLiteral("/latest.json"), "{\"version\":\"1.2.0\",\"url\":\"x\",\"sha256\":\"ab\"}"));
    QVERIFY(write(dir + QStringLiteral("/quorvane-1.2.0.tar.gz"), QByteArray("\x1f\x8b payload", 10)));
    QVERIFY(write(root.filePath(QStringLiteral("secret")), "do not serve"));
    QVERIFY(QFile::link(root.filePath(QStringLiteral("secret")), dir + QStringLiteral("/escape")));

    BackendProcess backend({QStringLiteral("--releases"), dir});
    QVERIFY2(backend.isRunning(), qPrintable(backend.lastError()));
    auto latest = backend.request("GET", "/releases/latest");
    QCOMPARE(latest.status, 200);
    QCOMPARE(latest.object().value(QStringLiteral("version")).toString(), QStringLiteral("1.2.0"));
    auto file = backend.request("GET", "/releases/files/quorvane-1.2.0.tar.gz");
    QCOMPARE(file.status, 200);
    QCOMPARE(file.body, QByteArray("\x1f\x8b payload", 10));

    const QList<QPair<QByteArray, int>> refused = {
        {"/releases/files/..%2Fsecret", 404},      // decoded "/" matches no route
        {"/releases/files/%2E%2E", 400},
        {"/releases/files/..", 400},
        {"/releases/files/../secret", 404},
        {"/releases/files/a..b", 400},
        {"/releases/files/escape", 400},           // symbolic link out of the folder
        {"/releases/files/.hidden", 400},
        {"/releases/files/missing.tar.gz", 404},
        {"/releases/files/", 404},
    };
    for (const auto& [target, status] : refused) {
        const auto reply = backend.request("GET", target);
        QVERIFY2(reply.status == status, target.constData());
        QVERIFY(!reply.body.contains("do not serve"));
    }
    // Without --releases there is nothing to serve.
    QCOMPARE(m_backend->request("GET", "/releases/latest").status, 404);
}

void tst_BackendServer::httpFraming()
{
    QTcpSocket socket;
    socket.connectToHost(QStringLiteral("127.0.0.1"), m_backend->port());
    QVERIFY(socket.waitForConnected(5000));
    // Two pipelined requests, the second with a chunked body, on one connection.
    socket.write("GET /releases/latest HTTP/1.1\r\nHost: x\r\n\r\n"
                 "POST /_control/users HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\n\r\n"
                 "a\r\n{\"email\":\"\r\nb\r\nc@example.o\r\n4\r\nrg\"}\r\n0\r\n\r\n");
    QByteArray in;
    QTRY_VERIFY((in += socket.readAll()).count("HTTP/1.1 ") == 2 && in.contains("session_token"));
    QVERIFY(in.startsWith("HTTP/1.1 404 "));
    QVERIFY(in.contains("\"user_id\":\"c@example.org\""));
    QVERIFY(in.contains("Connection: keep-alive"));
    QCOMPARE(socket.state(), QAbstractSocket::ConnectedState);

    // A body sent in pieces is waited for.
    in.clear();
    socket.write("POST /_control/users HTTP/1.1\r\nContent-Length: 25\r\n\r\n{\"email\":");
    QTest::qWait(50);
    socket.write("\"d@example.org\"}");
    QTRY_VERIFY((in += socket.readAll()).contains("d@example.org"));

    // Malformed input: 400 and the connection closes.
    in.clear();
    socket.write("BROKEN\r\n\r\n");
    QTRY_VERIFY((in += socket.readAll()).startsWith("HTTP/1.1 400 "));
    QTRY_COMPARE(socket.state(), QAbstractSocket::UnconnectedState);

    // An oversized body is refused before it is sent.
    const auto big = m_backend->request("POST", "/auth/exchange-code", {},
                                        {{"Content-Length", "999999999999"}});
    QVERIFY(big.status == 413 || big.status == 400);
    // The server still answers afterwards.
    QCOMPARE(m_backend->request("GET", "/releases/latest").status, 404);
}

void tst_BackendServer::controlValidation()
{
    QCOMPARE(m_backend->request("POST", "/_control/actions", "not json").status, 400);
    QCOMPARE(m_backend->request("POST", "/_control/actions", "{\"machine_id\":\"none\"}").status, 400);
    QCOMPARE(m_backend->request("POST", "/_control/inject", "{\"path\":\"x\",\"status\":500}").status, 400);
    QCOMPARE(m_backend->request("POST", "/_control/inject", "{\"path\":\"/x\",\"status\":42}").status, 400);
    QCOMPARE(m_backend->request("POST", "/_control/inject", "{\"path\":\"/x\"}").status, 400);
    QCOMPARE(m_backend->request("POST", "/_control/frames", "{\"binary\":\"***\"}").status, 400);
    QCOMPARE(m_backend->request("POST", "/_control/frames", "{}").status, 400);
    QCOMPARE(m_backend->request("POST", "/_control/agents", "{\"agent_type\":\"x\"}").status, 400);
    QCOMPARE(m_backend->request("POST", "/_control/refuse-websocket", "{\"seconds\":\"ten\"}").status, 400);
    QCOMPARE(m_backend->request("GET", "/_control/nothing").status, 404);
    // Control requests are not in the request log.
    QCOMPARE(m_backend->requests().size(), 0);

    // Odd shapes are stored and served as given (a number in tool_input, an
    // unreadable expiry, special tool names).
    TestSigner signer;
    const QString machineId = registerMachine(signer);
    const QJsonObject odd{{QStringLiteral("id"), QStringLiteral("odd-1")},
                          {QStringLiteral("machine_id"), machineId},
                          {QStringLiteral("tool_name"), QStringLiteral("quorvane:link")},
                          {QStringLiteral("tool_input"), QJsonObject{{QStringLiteral("n"), 5}}},
                          {QStringLiteral("expires_at"), QStringLiteral("soon")},
                          {QStringLiteral("machine_agent_count"), QStringLiteral("two")}};
    m_backend->addAction(odd);
    const QJsonArray listed = signedRequest(signer, machineId, "GET", "/actions/pending").object().value(QStringLiteral("actions")).toArray();
    QCOMPARE(listed.size(), 1);
    QCOMPARE(listed.first().toObject().value(QStringLiteral("expires_at")).toString(), QStringLiteral("soon"));
    QCOMPARE(listed.first().toObject().value(QStringLiteral("tool_input")).toObject().value(QStringLiteral("n")).toInt(), 5);
    QCOMPARE(listed.first().toObject().value(QStringLiteral("machine_agent_count")).toString(), QStringLiteral("two"));
}

void tst_BackendServer::demoScenario()
{
    // The demo account gets escalations without anyone registering.
    BackendProcess demo({QStringLiteral("--scenario"), QStringLiteral("demo")});
    QVERIFY2(demo.isRunning(), qPrintable(demo.lastError()));
    QTRY_VERIFY_WITH_TIMEOUT(!demo.state().value(QStringLiteral("pending_actions")).toArray().isEmpty(), 15000);
    const QJsonObject first = demo.state().value(QStringLiteral("pending_actions")).toArray().first().toObject();
    QCOMPARE(first.value(QStringLiteral("user_id")).toString(), QStringLiteral("person@example.com"));
    QVERIFY(first.value(QStringLiteral("tool_input")).toObject().contains(QStringLiteral("detail_segments")));

    BackendProcess wrong({QStringLiteral("--scenario"), QStringLiteral("nope")});
    QVERIFY(!wrong.isRunning());
}

QTEST_GUILESS_MAIN(tst_BackendServer)
#include "tst_BackendServer.moc"
