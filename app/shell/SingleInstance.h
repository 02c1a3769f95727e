#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>

#include <optional>

class QLocalServer;
class QLocalSocket;

// One companion per user. The first process listens on a private local socket
// (in a 0700 folder under $XDG_RUNTIME_DIR, else in ~/.quorvane/run, never in
// a shared folder where another user could plant it); a later process hands
// its request to it and exits. The socket carries exactly two requests, one
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
        enum class Kind { open, reopen };
        Kind kind = Kind::reopen;
        QUrl url; // only for open
        bool operator==(const Message&) const = default;
    };

    // runtimeDirectory: where the private folder "quorvane" is made; empty
    // means $XDG_RUNTIME_DIR, else the folder is ~/.quorvane/run.
    explicit SingleInstance(const QString& runtimeDirectory = {}, QObject* parent = nullptr);
    ~SingleInstance() override;

    // Becomes the primary instance when no other one answers. False when
    // another instance is running (or the folder cannot be made private).
    bool listen();
    bool isListening() const;
    QString socketPath() const { return m_socketPath; }
    QString folderPath() const { return m_folderPath; }
    QString errorString() const { return m_error; }
    int openConnections() const { return m_openConnections; }
    void setConnectionDeadline(int milliseconds) { m_connectionDeadlineMs = milliseconds; }

    // Sends one request to the running instance; true when it was delivered.
    // Blocks for at most timeoutMs (called before the event loop runs).
    bool send(const Message& message, int timeoutMs = 2000);

    // Wire form and strict parser of one request.
    static QByteArray encode(const Message& message);
    static std::optional<Message> decode(const QByteArray& line);

Q_SIGNALS:
    void urlReceived(const QUrl& url);
    void reopenRequested();

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
};
