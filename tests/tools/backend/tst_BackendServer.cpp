// The reference back-end as a real process on a free port: request signing
// (checked against the independent signer of BackendServerCases.h), a whole
// escalation over HTTP and the user stream, trust windows and error injection.
#include "tests/tools/backend/BackendServerCases.h"

using namespace Qt::StringLiterals;

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

    QTest::newRow("GET signed correctly") << QString() << "GET"_ba << 200 << QString();
    QTest::newRow("PUT signed correctly") << QString() << "PUT"_ba << 200 << QString();
    QTest::newRow("other key") << u"key"_s << "GET"_ba << 401 << u"bad signature"_s;
    QTest::newRow("body changed") << u"body"_s << "PUT"_ba << 401
                                  << u"signed message does not match the body"_s;
    QTest::newRow("path changed") << u"path"_s << "GET"_ba << 401
                                  << u"signed message does not match the request"_s;
    QTest::newRow("old timestamp") << u"old"_s << "GET"_ba << 401 << u"timestamp out of range"_s;
    QTest::newRow("malformed signature") << u"malformed"_s << "GET"_ba << 401 << u"malformed signature"_s;
    QTest::newRow("no signature") << u"missing"_s << "GET"_ba << 401 << u"missing signature headers"_s;
    QTest::newRow("unknown machine") << u"machine"_s << "GET"_ba << 401 << u"unknown machine"_s;
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

    QByteArray target = method == "GET" ? "/actions/pending"_ba : "/users/preferences"_ba;
    QByteArray body = method == "GET" ? QByteArray() : "{\"mcp_llm_summary\":true}"_ba;
    QString claimedId = machineId;
    QByteArray message = (method == "GET") ? QByteArray(machineId.toUtf8() + ':' + nowMs() + ":GET " + target)
                                           : QByteArray(machineId.toUtf8() + ':' + nowMs() + ':' + body);
    QByteArray signature = signer.signature(message);

    if (tamper == "key"_L1)
        signature = other.signature(message);
    if (tamper == "body"_L1)
        body = "{\"mcp_llm_summary\":false}";
    if (tamper == "path"_L1)
        target = "/actions/pending?all=1";
    if (tamper == "old"_L1) {
        message = machineId.toUtf8() + ':' + QByteArray::number(QDateTime::currentMSecsSinceEpoch() - 6 * 60 * 1000)
            + ":GET " + target;
        signature = signer.signature(message);
    }
    if (tamper == "malformed"_L1)
        signature = "not+base64/url==";
    if (tamper == "swap"_L1)
        signature = signer.signature(message + 'x');
    if (tamper == "machine"_L1) {
        claimedId = u"m-unknown"_s;
        message = "m-unknown:" + nowMs() + ":GET " + target;
        signature = signer.signature(message);
    }

    BackendProcess::Headers headers;
    if (tamper != "missing"_L1)
        headers = {{"X-Machine-Id", claimedId.toUtf8()}, {"X-Signature", signature}, {"X-Signed-Message", message}};
    const auto reply = m_backend->request(method, target, body, headers);
    QCOMPARE(reply.status, status);

    const QJsonArray log = m_backend->requests();
    QCOMPARE(log.size(), 1);
    const QJsonObject entry = log.first().toObject();
    QCOMPARE(entry.value(u"status"_s).toInt(), status);
    QCOMPARE(entry.value(u"verified"_s).toBool(), status == 200);
    QCOMPARE(entry.value(u"reason"_s).toString(), reason);
    QCOMPARE(entry.value(u"target"_s).toString(), QString::fromUtf8(target));
    if (status == 200 && method == "PUT") {
        QCOMPARE(reply.object().value(u"mcp_llm_summary"_s).toBool(), true);
        QCOMPARE(m_backend->state()
                     .value(u"preferences"_s)
                     .toObject()
                     .value(u"dev@example.com"_s)
                     .toObject()
                     .value(u"mcp_llm_summary"_s),
            QJsonValue(true));
    }
    if (status == 401)
        QVERIFY(!reply.object().value(u"error"_s).toString().isEmpty());
}

void tst_BackendServer::escalation()
{
    TestSigner signer, stranger;
    const QString machineId = registerMachine(signer);
    const QString strangerId = registerMachine(stranger, u"other@example.com"_s, u"L-2"_s);
    QVERIFY(!machineId.isEmpty() && !strangerId.isEmpty());

    QWebSocket socket;
    QStringList frames;
    connect(&socket, &QWebSocket::textMessageReceived, this, [&](const QString& t) { frames << t; });
    QSignalSpy connected(&socket, &QWebSocket::connected);
    socket.open(streamRequest(*m_backend, signer, machineId));
    QVERIFY(connected.wait(5000));
    QTRY_COMPARE(m_backend->state().value(u"streams"_s).toArray().size(), 1);

    // Added for the owner: the stream announces it, the signed list holds it.
    const QJsonObject stored = m_backend->addAction(
        { { u"agent_id"_s, u"agt-1"_s }, { u"agent_name"_s, u"coder"_s }, { u"tool_name"_s, u"Bash"_s },
            { u"machine_id"_s, machineId }, { u"odd_member"_s, QJsonArray { 1, 2 } },
            { u"tool_input"_s, QJsonObject { { u"command"_s, u"ls"_s } } } });
    const QString id = stored.value(u"id"_s).toString();
    QVERIFY(!id.isEmpty());
    QVERIFY(!stored.contains(u"machine_id"_s));
    const QDateTime expires
        = QDateTime::fromString(stored.value(u"expires_at"_s).toString(), Qt::ISODateWithMs);
    QVERIFY(stored.value(u"expires_at"_s).toString().endsWith(QLatin1Char('Z')));
    QVERIFY(expires > QDateTime::currentDateTimeUtc().addSecs(200));
    QTRY_COMPARE(frames.size(), 1);
    QCOMPARE(frames.first(), u"{\"type\":\"action_pending\",\"actionId\":\"%1\"}"_s.arg(id));

    // An expired one and one of another account are not listed.
    m_backend->addAction(
        { { u"id"_s, u"old-1"_s }, { u"expires_in_seconds"_s, -1 }, { u"machine_id"_s, machineId } });
    m_backend->addAction({ { u"id"_s, u"theirs"_s }, { u"machine_id"_s, strangerId } });

    auto list = signedRequest(signer, machineId, "GET", "/actions/pending");
    QCOMPARE(list.status, 200);
    const QJsonArray actions = list.object().value(u"actions"_s).toArray();
    QCOMPARE(actions.size(), 1);
    QCOMPARE(actions.first().toObject(), stored); // served verbatim, odd members included

    // Respond: 200 removes it and records the decision and the rule.
    const QByteArray decision = "{\"action_id\":\"" + id.toUtf8() + "\",\"decision\":\"approved\",\"create_rule\":{\"scope\":\"machine\"}}";
    QCOMPARE(signedRequest(signer, machineId, "POST", "/approvals/" + id.toUtf8() + "/respond", decision).status, 200);
    list = signedRequest(signer, machineId, "GET", "/actions/pending");
    QCOMPARE(list.object().value(u"actions"_s).toArray().size(), 0);
    QTRY_COMPARE(frames.size(), 2);
    QCOMPARE(parse(frames.last()).value(u"type"_s).toString(), u"rules_changed"_s);
    QVERIFY(parse(frames.last()).value(u"version"_s).isString());

    const QJsonObject state = m_backend->state();
    const QJsonObject recorded = state.value(u"decisions"_s).toArray().first().toObject();
    QCOMPARE(recorded.value(u"action_id"_s).toString(), id);
    QCOMPARE(recorded.value(u"decision"_s).toString(), u"approved"_s);
    QCOMPARE(recorded.value(u"rule_scope"_s).toString(), u"machine"_s);
    QCOMPARE(state.value(u"rules"_s).toArray().size(), 1);
    QCOMPARE(m_backend->actionStatus(id).value(u"status"_s).toString(), u"approved"_s);

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
    QCOMPARE(signedRequest(signer, machineId, "POST", "/approvals/theirs/respond",
                 "{\"action_id\":\"theirs\",\"decision\":\"denied\"}")
                 .status,
        404);
    QCOMPARE(signedRequest(stranger, strangerId, "POST", "/approvals/theirs/respond", "{\"action_id\":\"theirs\",\"decision\":\"maybe\"}").status, 400);
    QCOMPARE(signedRequest(signer, strangerId, "POST", "/approvals/theirs/respond", "[1]").status,
        401); // wrong key
    QCOMPARE(signedRequest(stranger, strangerId, "POST", "/approvals/theirs/respond", "{\"action_id\":\"theirs\",\"decision\":\"approved\",\"create_rule\":{\"scope\":\"planet\"}}").status,
             400);
    // A denial with a scope makes no rule; neither does an approved unregister request.
    QCOMPARE(signedRequest(stranger, strangerId, "POST", "/approvals/theirs/respond", "{\"action_id\":\"theirs\",\"decision\":\"denied\",\"create_rule\":{\"scope\":\"global\"}}").status,
             200);
    m_backend->addAction({ { u"id"_s, u"unreg"_s }, { u"tool_name"_s, u"quorvane:unregister"_s },
        { u"machine_id"_s, machineId } });
    QTRY_COMPARE(frames.last(), u"{\"type\":\"action_pending\",\"actionId\":\"unreg\"}"_s);
    QCOMPARE(signedRequest(signer, machineId, "POST", "/approvals/unreg/respond", "{\"action_id\":\"unreg\",\"decision\":\"approved\",\"create_rule\":{\"scope\":\"global\"}}").status,
             200);
    QCOMPARE(m_backend->state().value(u"rules"_s).toArray().size(), 1);

    // "notify": false adds silently; frames reach only the owner's streams.
    const qsizetype before = frames.size();
    m_backend->addAction({ { u"machine_id"_s, machineId }, { u"notify"_s, false } });
    QCOMPARE(m_backend->sendFrame("{\"type\":\"x\"}", u"other@example.com"_s), 0);
    QCOMPARE(m_backend->sendFrame("not json"), 1);
    QTRY_COMPARE(frames.size(), before + 1);
    QCOMPARE(frames.last(), u"not json"_s);
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
        QUrl url = m_backend->url(u"/ws/user"_s);
        url.setScheme(u"ws"_s);
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
        QCOMPARE(entry.toObject().value(u"status"_s).toInt(), 401);

    // Refusing for a while answers 503; drop-sockets closes open streams.
    QVERIFY(m_backend->refuseWebSocket(30));
    {
        QWebSocket socket;
        QSignalSpy error(&socket, QOverload<QAbstractSocket::SocketError>::of(&QWebSocket::error));
        socket.open(streamRequest(*m_backend, signer, machineId));
        QVERIFY(error.wait(5000));
        QCOMPARE(m_backend->requests().last().toObject().value(u"status"_s).toInt(), 503);
    }
    QVERIFY(m_backend->refuseWebSocket(0));
    QWebSocket first, second;
    QSignalSpy c1(&first, &QWebSocket::connected), c2(&second, &QWebSocket::connected);
    first.open(streamRequest(*m_backend, signer, machineId));
    second.open(streamRequest(*m_backend, signer, machineId));
    QVERIFY(c1.wait(5000) || c1.size() == 1);
    QTRY_COMPARE(c2.size(), 1);
    QTRY_COMPARE(m_backend->state().value(u"streams"_s).toArray().size(), 2);
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
    const QString on = u"{\"type\":\"trust_window_changed\",\"active\":true}"_s;
    const QString off = u"{\"type\":\"trust_window_changed\",\"active\":false}"_s;

    // Quick window: open, then closed by the companion.
    auto reply = signedRequest(signer, machineId, "POST", "/trust-window", "{\"duration_minutes\":30}");
    QCOMPARE(reply.status, 200);
    QTRY_COMPARE(frames, QStringList{on});
    // While it is open, escalations are approved on the person's behalf.
    const QString auto_ = m_backend->addAction({ { u"machine_id"_s, machineId } }).value(u"id"_s).toString();
    QCOMPARE(m_backend->actionStatus(auto_).value(u"status"_s).toString(), u"approved"_s);
    QCOMPARE(signedRequest(signer, machineId, "GET", "/actions/pending")
                 .object()
                 .value(u"actions"_s)
                 .toArray()
                 .size(),
        0);
    QCOMPARE(signedRequest(signer, machineId, "DELETE", "/trust-window").status, 200);
    QTRY_COMPARE(frames, (QStringList{on, off}));
    QCOMPARE(m_backend->state().value(u"trust_windows"_s).toArray().size(), 0);

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
    QCOMPARE(reply.object().value(u"active"_s).toBool(), false);
    QCOMPARE(m_backend->state().value(u"trust_windows"_s).toArray().size(), 1);

    // Bodies the back-end refuses.
    const QList<QByteArray> bad = {
        "{\"duration_minutes\":0}",
        "{\"duration_minutes\":100000}",
        "{\"starts_at\":\"2026-12-05T14:00:00Z\"}",
        "{\"starts_at\":\"2030-12-05T14:00:00\",\"ends_at\":\"2030-12-05T15:00:00\"}", // no zone
        "{\"starts_at\":\"2030-12-05T15:00:00Z\",\"ends_at\":\"2030-12-05T14:00:00Z\"}",
        "{\"starts_at\":\"2000-12-05T14:00:00Z\",\"ends_at\":\"2000-12-05T15:00:00Z\"}",
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

    QVERIFY(m_backend->inject("GET", u"/actions/pending"_s, 500, "{\"error\":\"boom\"}", 2));
    for (int i = 0; i < 2; ++i) {
        const auto reply = signedRequest(signer, machineId, "GET", "/actions/pending");
        QCOMPARE(reply.status, 500);
        QCOMPARE(reply.body, "{\"error\":\"boom\"}"_ba);
    }
    QCOMPARE(signedRequest(signer, machineId, "GET", "/actions/pending").status, 200);

    // Another method on the path is not affected.
    QVERIFY(m_backend->inject("POST", u"/trust-window"_s, 503));
    QCOMPARE(signedRequest(signer, machineId, "DELETE", "/trust-window").status, 200);
    QCOMPARE(signedRequest(signer, machineId, "POST", "/trust-window", "{\"duration_minutes\":5}").status, 503);

    // Status 0: the connection closes without an answer.
    QVERIFY(m_backend->inject("GET", u"/releases/latest"_s, 0));
    QCOMPARE(m_backend->request("GET", "/releases/latest").status, 0);
    QCOMPARE(m_backend->request("GET", "/releases/latest").status, 404);

    // A delay alone leaves the answer as it would be.
    QVERIFY(m_backend->injectDelay("GET", u"/actions/pending"_s, 200));
    QCOMPARE(signedRequest(signer, machineId, "GET", "/actions/pending").status, 200);

    // The handshake can be injected too.
    QVERIFY(m_backend->inject("GET", u"/ws/user"_s, 502));
    QWebSocket socket;
    QSignalSpy error(&socket, QOverload<QAbstractSocket::SocketError>::of(&QWebSocket::error));
    socket.open(streamRequest(*m_backend, signer, machineId));
    QVERIFY(error.wait(5000));

    const QJsonArray log = m_backend->requests();
    QList<int> injected;
    for (const auto& e : log) {
        if (e.toObject().value(u"reason"_s).toString() == "injected"_L1)
            injected << e.toObject().value(u"status"_s).toInt();
    }
    QCOMPARE(injected, (QList<int>{500, 500, 503, 0, 502}));
    QCOMPARE(log.size(), 9);
}

QTEST_MAIN(tst_BackendServer)
#include "tst_BackendServer.moc"
