#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>

#include <optional>

class QLocalServer;
class QLocalSocket;

// One companion per user. The first process listens on a private local socket
// (in the 0700 folder "quorvane" under $XDG_RUNTIME_DIR when that folder is
// missing or a real 0700 folder of this user and the socket's path fits a socket
// address, else in ~/.quorvane/run; never in a folder another user could
// plant); a later process hands its request to it, once it has checked that
// the listener runs as its own user, and exits. The socket carries exactly two requests, one
// line each:
//   "open <quorvane: URL>\n"   the sign-in callback opened through the desktop entry
//   "reopen\n"                 show the dashboard
// Anything else, or more than maximumMessageSize bytes, closes the connection
// unread. Connections from another user id are refused, as is a connection
// that has sent no whole request within 5 seconds or that would go beyond
// maximumConnections open at once.
class SingleInstance : public QObject
{
    Q_OBJECT

public:
    static constexpr qint64 maximumMessageSize = 4096;
    static constexpr int maximumConnections = 8;
    static constexpr int defaultConnectionDeadlineMs = 5000;

    struct Message
    {
        enum class Kind { open, reopen, showPending };
        Kind kind = Kind::reopen;
        QUrl url; // only for open
        bool operator==(const Message&) const = default;
    };

    // runtimeDirectory: where the private folder "quorvane" is made; empty
    // means $XDG_RUNTIME_DIR, else the folder is ~/.quorvane/run.
    explicit SingleInstance(const QString& runtimeDirectory = {}, QObject* parent = nullptr);
    ~SingleInstance() override;

    // Becomes the primary instance when no other one answers. False when
    // another instance is running (anotherInstanceRuns()), or the folder
    // cannot be made private or the socket not made (errorString()).
    bool listen();
    // After a failed listen(): an instance of this user answers at the socket.
    bool anotherInstanceRuns() const { return m_anotherInstanceRuns; }
    bool isListening() const;
    QString socketPath() const { return m_socketPath; }
    QString folderPath() const { return m_folderPath; }
    QString errorString() const { return m_error; }
    int openConnections() const { return m_openConnections; }
    void setConnectionDeadline(int milliseconds) { m_connectionDeadlineMs = milliseconds; }

    // Sends one request to the running instance; true when it was delivered.
    // Nothing is sent when the listener's user id (SO_PEERCRED) is not ours.
    // Blocks for at most timeoutMs (called before the event loop runs).
    bool send(const Message& message, int timeoutMs = 2000);

    // Wire form and strict parser of one request.
    static QByteArray encode(const Message& message);
    static std::optional<Message> decode(const QByteArray& line);

    static constexpr const char* socketName = "app.socket";
    // Whether <folder>/app.socket fits a socket address (sun_path with its NUL).
    static bool socketPathFits(const QString& folder);
    // A missing folder, or a real folder (not a link) of this user with mode 0700.
    static bool folderIsUsable(const QString& folder);

Q_SIGNALS:
    void urlReceived(const QUrl& url);
    void reopenRequested();
    void showPendingRequested();

private:
    bool prepareFolder();
    void onNewConnection();
    void onReadyRead(QLocalSocket* socket);

    QString m_folderPath;
    QString m_socketPath;
    QString m_error;
    QPointer<QLocalServer> m_server;
    int m_openConnections = 0;
    int m_connectionDeadlineMs = defaultConnectionDeadlineMs;
    bool m_anotherInstanceRuns = false;
};
