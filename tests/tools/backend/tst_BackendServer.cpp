// The reference back-end as a real process on a free port: request signing
// (checked against the independent signer of BackendServerCases.h), a whole
// escalation over HTTP and the user stream, trust windows and error injection.
#include "tests/tools/backend/BackendServerCases.h"

class tst_BackendServer : public QObject, private BackendServerCases
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { startBackend(); }
    void init() { QVERIFY(m_backend->reset()); }
    void signatures_data();
    void signatures();
    void escalation();
    void streamHandshake();
    void trustWindow();
    void injection();
};

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
    const QByteArray decision = "{\"action_id\":\"" + id.toUtf8() + "\",\"decision\":\"approved\",\"create_rule\":{\"scope\":\"machine\"}}";
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
                           "{\"action_id\":\"" + id.toUtf8() + "\",\"decision\":\"denied\"}").status,
             409);
    // A body that names no action, or another one, decides nothing.
    QCOMPARE(signedRequest(stranger, strangerId, "POST", "/approvals/theirs/respond", "{\"decision\":\"denied\"}").status, 400);
    QCOMPARE(signedRequest(stranger, strangerId, "POST", "/approvals/theirs/respond",
                           "{\"action_id\":\"other\",\"decision\":\"denied\"}").status,
             400);
    QCOMPARE(signedRequest(signer, machineId, "POST", "/approvals/nope/respond", "{\"action_id\":\"nope\",\"decision\":\"denied\"}").status, 404);
    QCOMPARE(signedRequest(signer, machineId, "POST", "/approvals/theirs/respond", "{\"action_id\":\"theirs\",\"decision\":\"denied\"}").status, 404);
    QCOMPARE(signedRequest(signer, machineId, "POST", "/approvals/a%2Fb/respond", "{\"decision\":\"denied\"}").status, 404);
    QCOMPARE(signedRequest(signer, machineId, "POST", "/approvals/a/b/respond", "{\"decision\":\"denied\"}").status, 404);
    QCOMPARE(signedRequest(stranger, strangerId, "POST", "/approvals/theirs/respond", "{\"action_id\":\"theirs\",\"decision\":\"maybe\"}").status, 400);
    QCOMPARE(signedRequest(signer, strangerId, "POST", "/approvals/theirs/respond", "[1]").status, 401); // wrong key
    QCOMPARE(signedRequest(stranger, strangerId, "POST", "/approvals/theirs/respond", "[1]").status, 400);
    QCOMPARE(signedRequest(stranger, strangerId, "POST", "/approvals/theirs/respond", "{\"action_id\":\"theirs\",\"decision\":\"approved\",\"create_rule\":{\"scope\":\"planet\"}}").status,
             400);
    // A denial with a scope makes no rule; neither does an approved unregister request.
    QCOMPARE(signedRequest(stranger, strangerId, "POST", "/approvals/theirs/respond", "{\"action_id\":\"theirs\",\"decision\":\"denied\",\"create_rule\":{\"scope\":\"global\"}}").status,
             200);
    m_backend->addAction({{QStringLiteral("id"), QStringLiteral("unreg")},
                          {QStringLiteral("tool_name"), QStringLiteral("quorvane:unregister")},
                          {QStringLiteral("machine_id"), machineId}});
    QTRY_COMPARE(frames.last(), QStringLiteral("{\"type\":\"action_pending\",\"actionId\":\"unreg\"}"));
    QCOMPARE(signedRequest(signer, machineId, "POST", "/approvals/unreg/respond", "{\"action_id\":\"unreg\",\"decision\":\"approved\",\"create_rule\":{\"scope\":\"global\"}}").status,
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

QTEST_MAIN(tst_BackendServer)
#include "tst_BackendServer.moc"
