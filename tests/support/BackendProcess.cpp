#include "tests/support/BackendProcess.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFileInfo>
#include <QTcpSocket>

QByteArray BackendProcess::Reply::header(QByteArrayView name) const
{
    for (const auto& h : headers) {
        if (h.first.compare(name, Qt::CaseInsensitive) == 0)
            return h.second;
    }
    return {};
}

QString BackendProcess::executablePath()
{
    const QString buildDir = qEnvironmentVariable("QUORVANE_BUILD_DIR");
    const QString appDir = QCoreApplication::applicationDirPath();
    for (const QString& c : QStringList{buildDir.isEmpty() ? QString() : buildDir + QStringLiteral("/bin/quorvane-backend"),
                                        appDir + QStringLiteral("/../bin/quorvane-backend"),
                                        appDir + QStringLiteral("/quorvane-backend")}) {
        const QFileInfo info(c);
        if (info.isFile() && info.isExecutable())
            return info.absoluteFilePath();
    }
    return {};
}

BackendProcess::BackendProcess(const QStringList& extraArguments)
{
    const QString program = executablePath();
    if (program.isEmpty()) {
        m_error = QStringLiteral("quorvane-backend not found (QUORVANE_BUILD_DIR=%1)")
                      .arg(qEnvironmentVariable("QUORVANE_BUILD_DIR"));
        return;
    }
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(program, QStringList{QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--quiet")}
                                 + extraArguments);
    if (!m_process.waitForStarted(10000)) {
        m_error = QStringLiteral("quorvane-backend did not start: ") + m_process.errorString();
        return;
    }
    const QDeadlineTimer deadline(10000);
    while (!m_process.canReadLine() && !deadline.hasExpired()) {
        if (!m_process.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime()))))
            break;
    }
    if (!m_process.canReadLine()) {
        m_error = QStringLiteral("quorvane-backend printed no URL");
        return;
    }
    const QString line = QString::fromUtf8(m_process.readLine()).trimmed();
    const QUrl url(line);
    if (!url.isValid() || url.scheme() != QLatin1String("http") || url.port() <= 0) {
        m_error = QStringLiteral("quorvane-backend printed an unexpected line: ") + line;
        return;
    }
    m_url = url;
}

BackendProcess::~BackendProcess()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(3000)) {
        m_process.kill();
        m_process.waitForFinished(3000);
    }
}

BackendProcess::Reply BackendProcess::request(const QByteArray& method, const QByteArray& target,
                                              const QByteArray& body, const Headers& headers, int timeoutMs)
{
    Reply reply;
    if (!m_url.isValid()) {
        m_error = QStringLiteral("back-end not running");
        return reply;
    }
    QTcpSocket socket;
    socket.connectToHost(QStringLiteral("127.0.0.1"), port());
    if (!socket.waitForConnected(timeoutMs)) {
        m_error = socket.errorString();
        return reply;
    }
    QByteArray out = method + ' ' + target + " HTTP/1.1\r\nHost: 127.0.0.1:" + QByteArray::number(port()) + "\r\n";
    for (const auto& h : headers)
        out += h.first + ": " + h.second + "\r\n";
    out += "Content-Length: " + QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
    socket.write(out);

    // The back-end closes after answering a "Connection: close" request.
    QByteArray in;
    const QDeadlineTimer deadline(timeoutMs);
    while (socket.state() == QAbstractSocket::ConnectedState && !deadline.hasExpired()) {
        socket.waitForReadyRead(int(qMax<qint64>(1, qMin<qint64>(deadline.remainingTime(), 200))));
        in += socket.readAll();
    }
    in += socket.readAll();

    const qsizetype headEnd = in.indexOf("\r\n\r\n");
    if (headEnd < 0) {
        m_error = QStringLiteral("no answer to %1 %2").arg(QString::fromLatin1(method), QString::fromUtf8(target));
        return reply;
    }
    const QList<QByteArray> lines = in.left(headEnd).split('\n');
    const QList<QByteArray> statusLine = lines.first().trimmed().split(' ');
    reply.status = statusLine.size() >= 2 ? statusLine[1].toInt() : 0;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const qsizetype colon = lines[i].indexOf(':');
        if (colon > 0)
            reply.headers.append({lines[i].left(colon).trimmed(), lines[i].mid(colon + 1).trimmed()});
    }
    reply.body = in.mid(headEnd + 4);
    const QByteArray length = reply.header("Content-Length");
    if (!length.isEmpty())
        reply.body.truncate(length.toLongLong());
    return reply;
}

QJsonObject BackendProcess::control(const QByteArray& method, const QByteArray& path, const QJsonObject& body)
{
    const QByteArray payload = method == "GET" ? QByteArray() : QJsonDocument(body).toJson(QJsonDocument::Compact);
    const Reply reply = request(method, "/_control/" + path, payload, {{"Content-Type", "application/json"}});
    if (reply.status != 200) {
        m_error = QStringLiteral("control %1 %2 answered %3: %4")
                      .arg(QString::fromLatin1(method), QString::fromLatin1(path))
                      .arg(reply.status)
                      .arg(QString::fromUtf8(reply.body));
        return {};
    }
    return reply.object();
}

QString BackendProcess::registerMachine(const QString& email, const QString& publicKeyBase64url,
                                        const QString& machineIdLocal, const QString& name)
{
    const QString token = createUser(email).value(QStringLiteral("session_token")).toString();
    if (token.isEmpty())
        return {};
    const QJsonObject body{{QStringLiteral("public_key"), publicKeyBase64url},
                           {QStringLiteral("machine_id_local"), machineIdLocal},
                           {QStringLiteral("name"), name}};
    const Reply reply = request("POST", "/machines/register", QJsonDocument(body).toJson(QJsonDocument::Compact),
                                {{"Content-Type", "application/json"}, {"Cookie", "quorvane_session=" + token.toUtf8()}});
    if (reply.status != 200 && reply.status != 201) {
        m_error = QStringLiteral("register answered %1: %2").arg(reply.status).arg(QString::fromUtf8(reply.body));
        return {};
    }
    return reply.object().value(QStringLiteral("machine_id")).toString();
}

QString BackendProcess::addAgent(const QString& name, const QString& agentType, const QString& machineId,
                                 const QString& userId)
{
    QJsonObject body{{QStringLiteral("name"), name}, {QStringLiteral("agent_type"), agentType}};
    if (!machineId.isEmpty())
        body.insert(QStringLiteral("machine_id"), machineId);
    if (!userId.isEmpty())
        body.insert(QStringLiteral("user_id"), userId);
    return control("POST", "agents", body).value(QStringLiteral("agent_id")).toString();
}

int BackendProcess::sendFrame(const QByteArray& text, const QString& userId, int repeat)
{
    QJsonObject body{{QStringLiteral("text"), QString::fromUtf8(text)}, {QStringLiteral("repeat"), repeat}};
    if (!userId.isEmpty())
        body.insert(QStringLiteral("user_id"), userId);
    return control("POST", "frames", body).value(QStringLiteral("sent")).toInt(-1);
}

bool BackendProcess::refuseWebSocket(int seconds)
{
    return !control("POST", "refuse-websocket", {{QStringLiteral("seconds"), seconds}}).isEmpty();
}

bool BackendProcess::inject(const QByteArray& method, const QString& path, int status, const QByteArray& body,
                            int count, int delayMs, const QJsonObject& headers)
{
    return !control("POST", "inject",
                    {{QStringLiteral("method"), QString::fromLatin1(method)},
                     {QStringLiteral("path"), path},
                     {QStringLiteral("status"), status},
                     {QStringLiteral("body"), QString::fromUtf8(body)},
                     {QStringLiteral("headers"), headers},
                     {QStringLiteral("count"), count},
                     {QStringLiteral("delay_ms"), delayMs}})
                .isEmpty();
}

bool BackendProcess::injectDelay(const QByteArray& method, const QString& path, int delayMs, int count)
{
    return !control("POST", "inject",
                    {{QStringLiteral("method"), QString::fromLatin1(method)},
                     {QStringLiteral("path"), path},
                     {QStringLiteral("count"), count},
                     {QStringLiteral("delay_ms"), delayMs}})
                .isEmpty();
}
