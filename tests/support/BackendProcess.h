#pragma once

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QPair>
#include <QProcess>
#include <QString>
#include <QUrl>

// The reference back-end (quorvane-backend) as a real child process on a free
// loopback port, with synchronous helpers for its control interface.
//
// The helpers talk HTTP over a blocking socket: they wait without running an
// event loop, so nothing else of the test runs while they wait. Failures are
// reported by an empty result and lastError(), never by an exception.
class BackendProcess
{
public:
    using Headers = QList<QPair<QByteArray, QByteArray>>;

    struct Reply
    {
        int status = 0; // 0: no answer (connection failed or closed)
        Headers headers;
        QByteArray body;
        QByteArray header(QByteArrayView name) const;
        QJsonObject object() const { return QJsonDocument::fromJson(body).object(); }
    };

    // Starts the back-end with --port 0 --quiet and the extra arguments, and
    // waits (at most 10 s) for the line with its URL.
    explicit BackendProcess(const QStringList& extraArguments = {});
    ~BackendProcess();
    BackendProcess(const BackendProcess&) = delete;
    BackendProcess& operator=(const BackendProcess&) = delete;

    // Where the executable is looked for: $QUORVANE_BUILD_DIR/bin, then next to
    // the test program's folder (../bin), then the test program's folder.
    static QString executablePath();

    bool isRunning() const { return m_url.isValid() && m_process.state() == QProcess::Running; }
    // The back-end's process id (tests stop and continue it with signals).
    qint64 processId() const { return m_process.processId(); }
    QString lastError() const { return m_error; }
    QUrl url() const { return m_url; }
    // The back-end's origin followed by pathAndQuery (which begins with "/").
    QUrl url(const QString& pathAndQuery) const { return QUrl(m_url.toString(QUrl::RemovePath) + pathAndQuery); }
    quint16 port() const { return quint16(m_url.port()); }

    // One raw request; the target is sent as given (no normalisation), with
    // Host, Content-Length and Connection: close added.
    Reply request(const QByteArray& method, const QByteArray& target, const QByteArray& body = {},
                  const Headers& headers = {}, int timeoutMs = 10000);

    // Control interface (see tools/backend/README.md).
    // {"user_id", "session_token"}
    QJsonObject createUser(const QString& email) { return control("POST", "users", {{QStringLiteral("email"), email}}); }
    // /_control/users, then POST /machines/register with the session cookie;
    // returns the machine id, or an empty text.
    QString registerMachine(const QString& email, const QString& publicKeyBase64url, const QString& machineIdLocal,
                            const QString& name);
    // The stored action.
    QJsonObject addAction(const QJsonObject& action) { return control("POST", "actions", action); }
    QString addAgent(const QString& name, const QString& agentType, const QString& machineId = {},
                     const QString& userId = {});
    QJsonObject actionStatus(const QString& actionId) { return control("GET", "actions/" + QUrl::toPercentEncoding(actionId)); }
    // Sends the frame `repeat` times to each stream; returns the streams reached.
    int sendFrame(const QByteArray& text, const QString& userId = {}, int repeat = 1);
    int dropSockets() { return control("POST", "drop-sockets").value(QStringLiteral("dropped")).toInt(-1); }
    bool refuseWebSocket(int seconds);
    // The next count requests of method and path (any method when empty) are
    // answered with status and body; status 0 closes the connection instead;
    // delayMs holds the answer back first; headers are added to the answer.
    bool inject(const QByteArray& method, const QString& path, int status, const QByteArray& body = {}, int count = 1,
                int delayMs = 0, const QJsonObject& headers = {});
    // The next count matching requests are only delayed, then served normally.
    bool injectDelay(const QByteArray& method, const QString& path, int delayMs, int count = 1);
    // Every request of method and path has its connection closed without an
    // answer until clearInjections(). Qt resends such a request up to three
    // times, so closing a fixed number of them lets a late resend through.
    bool closeEveryConnection(const QByteArray& method, const QString& path) { return inject(method, path, 0, {}, 1000); }
    bool clearInjections() { return !control("DELETE", "inject").isEmpty(); }
    QJsonArray requests() { return QJsonDocument::fromJson(request("GET", "/_control/requests").body).array(); }
    bool clearRequests() { return !control("DELETE", "requests").isEmpty(); }
    QJsonObject state() { return control("GET", "state"); }
    bool expireTrustWindow() { return !control("POST", "trust-window/expire").isEmpty(); }
    bool reset() { return !control("POST", "reset").isEmpty(); }

private:
    QJsonObject control(const QByteArray& method, const QByteArray& path, const QJsonObject& body = {});

    QProcess m_process;
    QUrl m_url;
    QString m_error;
};
