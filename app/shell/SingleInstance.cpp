#include "app/shell/SingleInstance.h"

#include "core/CoreConstants.h"
#include "core/PrivateFiles.h"
#include "core/LogCategories.h"

#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>

#include <cerrno>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// The per-user runtime directory, when the session has one.
QString sessionRuntimeDirectory()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return QDir::isAbsolutePath(runtime) ? runtime : QString();
}

bool peerIsSameUser(const QLocalSocket* socket)
{
    struct ucred credentials {};
    socklen_t length = sizeof credentials;
    const int fd = int(socket->socketDescriptor());
    if (fd < 0 || getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &length) != 0)
        return false;
    return credentials.uid == getuid();
}

} // namespace

SingleInstance::SingleInstance(const QString& runtimeDirectory, QObject* parent)
    : QObject(parent)
{
    const QString base = runtimeDirectory.isEmpty() ? sessionRuntimeDirectory() : runtimeDirectory;
    const QString homeFolder = CoreConstants::quorvaneDirectory() + QStringLiteral("/run");
    // The runtime folder only when it is usable: ours, 0700, not a link,
    // and short enough for a socket address. Every instance of the user
    // decides the same way, so all of them meet at the same socket.
    const QString runtimeFolder = base.isEmpty() ? QString() : QDir(base).filePath(QStringLiteral("quorvane"));
    if (!runtimeFolder.isEmpty() && socketPathFits(runtimeFolder) && folderIsUsable(runtimeFolder)) {
        m_folderPath = runtimeFolder;
    } else {
        if (!runtimeFolder.isEmpty())
            qCWarning(lcShell).noquote() << QStringLiteral("Quorvane: %1 is not usable for the local socket; using %2")
                                                .arg(runtimeFolder, homeFolder);
        m_folderPath = homeFolder;
    }
    m_socketPath = QDir(m_folderPath).filePath(QString::fromLatin1(socketName));
}

bool SingleInstance::socketPathFits(const QString& folder)
{
    const QByteArray path = QFile::encodeName(QDir(folder).filePath(QString::fromLatin1(socketName)));
    return path.size() < qsizetype(sizeof(sockaddr_un::sun_path));
}

bool SingleInstance::folderIsUsable(const QString& folder)
{
    struct stat info {};
    // Missing: made 0700 by listen(). lstat: a link is never followed.
    if (::lstat(QFile::encodeName(folder).constData(), &info) != 0)
        return errno == ENOENT;
    // A folder others could write to may hold what they planted.
    return S_ISDIR(info.st_mode) && info.st_uid == ::getuid() && (info.st_mode & 0777) == 0700;
}

SingleInstance::~SingleInstance()
{
    if (m_server)
        m_server->close();
}

bool SingleInstance::isListening() const
{
    return m_server && m_server->isListening();
}

bool SingleInstance::prepareFolder()
{
    const QByteArray path = QFile::encodeName(m_folderPath);
    if (auto error = PrivateFiles::makePrivateDirectories(QFileInfo(m_folderPath).absolutePath())) {
        m_error = *error;
        return false;
    }
    if (::mkdir(path.constData(), 0700) != 0 && errno != EEXIST) {
        m_error = QStringLiteral("cannot create %1").arg(m_folderPath);
        return false;
    }
    struct stat info {};
    // lstat: a symbolic link planted in a shared temporary directory is refused.
    if (::lstat(path.constData(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != getuid()) {
        m_error = QStringLiteral("%1 is not a private folder of this user").arg(m_folderPath);
        return false;
    }
    if ((info.st_mode & 0077) != 0 && ::chmod(path.constData(), 0700) != 0) {
        m_error = QStringLiteral("cannot make %1 private").arg(m_folderPath);
        return false;
    }
    return true;
}

bool SingleInstance::listen()
{
    m_anotherInstanceRuns = false;
    if (isListening())
        return true;
    if (!prepareFolder())
        return false;

    {
        QLocalSocket probe;
        probe.connectToServer(m_socketPath);
        if (probe.waitForConnected(500)) {
            const bool ours = peerIsSameUser(&probe);
            probe.abort();
            m_error = ours ? QStringLiteral("another instance is running")
                           : QStringLiteral("the listener at %1 belongs to another user").arg(m_socketPath);
            m_anotherInstanceRuns = ours;
            return false;
        }
    }
    // Nobody answers: whatever is left at the path is a stale socket.
    QLocalServer::removeServer(m_socketPath);

    auto* server = new QLocalServer(this);
    server->setSocketOptions(QLocalServer::UserAccessOption);
    server->setMaxPendingConnections(4);
    if (!server->listen(m_socketPath)) {
        m_error = server->errorString();
        delete server;
        return false;
    }
    m_server = server;
    connect(server, &QLocalServer::newConnection, this, &SingleInstance::onNewConnection);
    return true;
}

void SingleInstance::onNewConnection()
{
    while (m_server && m_server->hasPendingConnections()) {
        QLocalSocket* socket = m_server->nextPendingConnection();
        if (!socket)
            return;
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        if (!peerIsSameUser(socket)) {
            qCWarning(lcShell).noquote() << QStringLiteral("Quorvane: refused a local connection from another user");
            socket->abort();
            continue;
        }
        if (m_openConnections >= maximumConnections) {
            socket->abort();
            continue;
        }
        ++m_openConnections;
        connect(socket, &QObject::destroyed, this, [this] { --m_openConnections; });
        // A connection that does not say what it wants in time is closed.
        QTimer::singleShot(m_connectionDeadlineMs, socket, [socket] { socket->abort(); });
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { onReadyRead(socket); });
        if (socket->bytesAvailable() > 0)
            onReadyRead(socket);
    }
}

void SingleInstance::onReadyRead(QLocalSocket* socket)
{
    if (socket->property("quorvaneDone").toBool())
        return;
    if (!socket->canReadLine()) {
        if (socket->bytesAvailable() > maximumMessageSize)
            socket->abort();
        return;
    }
    const QByteArray line = socket->readLine(maximumMessageSize + 1);
    socket->setProperty("quorvaneDone", true);
    const std::optional<Message> message = decode(line);
    if (!message) {
        qCWarning(lcShell).noquote() << QStringLiteral("Quorvane: ignored a malformed hand-over request");
        socket->abort();
        return;
    }
    socket->write("ok\n");
    socket->disconnectFromServer();
    switch (message->kind) {
    case Message::Kind::open:
        Q_EMIT urlReceived(message->url);
        break;
    case Message::Kind::reopen:
        Q_EMIT reopenRequested();
        break;
    case Message::Kind::showPending:
        Q_EMIT showPendingRequested();
        break;
    }
}

bool SingleInstance::send(const Message& message, int timeoutMs)
{
    const QByteArray data = encode(message);
    if (data.isEmpty() || data.size() > maximumMessageSize)
        return false;
    QLocalSocket socket;
    socket.connectToServer(m_socketPath);
    if (!socket.waitForConnected(timeoutMs)) {
        m_error = socket.errorString();
        return false;
    }
    // A callback carries a sign-in code: nothing goes to a listener of another user.
    if (!peerIsSameUser(&socket)) {
        m_error = QStringLiteral("the listener at %1 belongs to another user").arg(m_socketPath);
        qCWarning(lcShell).noquote() << QStringLiteral("Quorvane: sent nothing to a local listener of another user");
        socket.abort();
        return false;
    }
    socket.write(data);
    if (!socket.waitForBytesWritten(timeoutMs))
        return false;
    // The answer "ok" tells that the request was read and accepted.
    while (!socket.canReadLine()) {
        if (!socket.waitForReadyRead(timeoutMs))
            return false;
    }
    return socket.readLine(16) == "ok\n";
}

QByteArray SingleInstance::encode(const Message& message)
{
    if (message.kind == Message::Kind::reopen)
        return QByteArrayLiteral("reopen\n");
    if (message.kind == Message::Kind::showPending)
        return QByteArrayLiteral("show-pending\n");
    if (!decode("open " + message.url.toEncoded() + '\n'))
        return {};
    return "open " + message.url.toEncoded() + '\n';
}

std::optional<SingleInstance::Message> SingleInstance::decode(const QByteArray& line)
{
    if (line.size() > maximumMessageSize || !line.endsWith('\n'))
        return std::nullopt;
    const QByteArray body = line.chopped(1);
    if (body == "reopen")
        return Message{Message::Kind::reopen, {}};
    if (body == "show-pending")
        return Message{Message::Kind::showPending, {}};
    if (!body.startsWith("open "))
        return std::nullopt;
    const QByteArray encoded = body.mid(5);
    for (const char c : encoded) {
        // Encoded URLs are printable ASCII without spaces.
        if (c <= 0x20 || c >= 0x7f)
            return std::nullopt;
    }
    const QUrl url = QUrl::fromEncoded(encoded, QUrl::StrictMode);
    if (!url.isValid() || url.scheme() != QLatin1String("quorvane"))
        return std::nullopt;
    return Message{Message::Kind::open, url};
}
