// The reference back-end as a real process on a free port: sign-in, linking,
// the machine endpoints, releases, the HTTP framing (keep-alive, pipelining,
// chunked bodies, malformed input), the control interface's checks and the
// demo scenario.
#include "tests/tools/backend/BackendServerCases.h"

class tst_BackendServerEndpoints : public QObject, private BackendServerCases
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { startBackend(); }
    void init() { QVERIFY(m_backend->reset()); }
    void signIn();
    void linking();
    void machineEndpoints();
    void releases();
    void httpFraming();
    void controlValidation();
    void demoScenario();
};

void tst_BackendServerEndpoints::signIn()
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

void tst_BackendServerEndpoints::linking()
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

void tst_BackendServerEndpoints::machineEndpoints()
{
    TestSigner signer, other;
    const QString machineId = registerMachine(signer);
    const QString otherId = registerMachine(other, QStringLiteral("x@example.com"), QStringLiteral("L-9"));
    const QByteArray mine = "/machines/" + machineId.toUtf8();

    QCOMPARE(signedRequest(signer, machineId, "PUT", mine + "/push-token",
                           "{\"push_token\":\"ab01\",\"platform\":\"apns-macos\"}").status,
             200);
    // (Another body: the same body signed in the same millisecond would be
    // the same signature, refused as a replay.)
    QCOMPARE(signedRequest(signer, machineId, "PUT", "/machines/" + otherId.toUtf8() + "/push-token",
                           "{\"push_token\":\"ab02\",\"platform\":\"apns-macos\"}").status,
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

    // A state-changing request is taken once: sent again as it was, it is a
    // replay; a read may repeat. A body naming another machine is refused.
    const QByteArray trustBody = "{\"duration_minutes\":5,\"machine_id\":\"" + machineId.toUtf8() + "\"}";
    const BackendProcess::Headers once = signedHeaders(signer, machineId, "POST", "/trust-window", trustBody);
    QCOMPARE(m_backend->request("POST", "/trust-window", trustBody, once).status, 200);
    const BackendProcess::Reply replayed = m_backend->request("POST", "/trust-window", trustBody, once);
    QCOMPARE(replayed.status, 401);
    QCOMPARE(replayed.object().value(QStringLiteral("error")).toString(), QStringLiteral("replayed request"));
    QCOMPARE(signedRequest(signer, machineId, "DELETE", "/trust-window").status, 200); // later cases add actions
    const BackendProcess::Headers read = signedHeaders(signer, machineId, "GET", "/actions/pending", {});
    QCOMPARE(m_backend->request("GET", "/actions/pending", {}, read).status, 200);
    QCOMPARE(m_backend->request("GET", "/actions/pending", {}, read).status, 200);
    QCOMPARE(signedRequest(signer, machineId, "POST", "/trust-window",
                           "{\"duration_minutes\":5,\"machine_id\":\"" + otherId.toUtf8() + "\"}").status,
             400);
    QCOMPARE(signedRequest(signer, machineId, "POST", "/agents/link-machine",
                           "{\"agent_id\":\"ghost\",\"machine_id\":\"" + otherId.toUtf8() + "\"}").status,
             400);

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

void tst_BackendServerEndpoints::releases()
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

void tst_BackendServerEndpoints::httpFraming()
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

void tst_BackendServerEndpoints::controlValidation()
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

void tst_BackendServerEndpoints::demoScenario()
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

QTEST_MAIN(tst_BackendServerEndpoints)
#include "tst_BackendServerEndpoints.moc"
