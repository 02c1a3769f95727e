#include "core/HttpConnection.h"

#include "core/HttpResponseParser.h"
#include "core/HttpWireFormat.h"
#include "core/LifetimeGuard.h"
#include "core/SignedRequest.h"

#include <QSslSocket>
#include <QTcpSocket>

#include <QCoroSignal>
#include <QCoroTimer>

namespace {

bool isSecure(const QUrl& url)
{
    return url.scheme() == QLatin1String("https");
}

QString originOf(const QUrl& url)
{
    return QStringLiteral("%1://%2:%3").arg(url.scheme(), url.host()).arg(url.port(isSecure(url) ? 443 : 80));
}

// The request head, or empty when a header is not a valid header line (a
// line break in it would end the header early and add others).
QByteArray requestHead(const QNetworkRequest& request, const QByteArray& method, const QByteArray& body)
{
    const QUrl url = request.url();
    QByteArray target = url.toEncoded(QUrl::RemoveScheme | QUrl::RemoveAuthority | QUrl::RemoveFragment);
    if (target.isEmpty())
        target = "/";
    QByteArray host = QUrl::toAce(url.host());
    if (url.port() != -1)
        host += ':' + QByteArray::number(url.port());
    QByteArray head = method + ' ' + target + " HTTP/1.1\r\nHost: " + host + "\r\n";
    for (const QByteArray& name : request.rawHeaderList()) {
        const QByteArray value = request.rawHeader(name);
        if (!HttpWireFormat::isToken(name) || !HttpWireFormat::isFieldValue(value))
            return {};
        head += name + ": " + value + "\r\n";
    }
    const QVariant contentType = request.header(QNetworkRequest::ContentTypeHeader);
    if (contentType.isValid() && !request.hasRawHeader("Content-Type"))
        head += "Content-Type: " + contentType.toByteArray() + "\r\n";
    if (!body.isEmpty() || method == "POST" || method == "PUT")
        head += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    return head + "\r\n";
}

} // namespace

// What one round trip on the socket ended in.
struct HttpConnection::Attempt
{
    HttpResponseParser::Result answer;
    bool received = false;   // any byte of an answer came back
    bool pastDeadline = false;
    QString transportError;  // no usable answer: closed, refused, malformed
};

HttpConnection::HttpConnection(QObject* parent)
    : QObject(parent)
{
    m_idleClose.setSingleShot(true);
    m_idleClose.setTimerType(Qt::VeryCoarseTimer);
    connect(&m_idleClose, &QTimer::timeout, this, &HttpConnection::drop);
}

HttpConnection::~HttpConnection()
{
    drop();
}

QCoro::Task<HttpResponse> HttpConnection::send(const SignedRequest& request, Http::Limits limits)
{
    return send(request.request, request.method, request.body, limits);
}

QCoro::Task<HttpResponse> HttpConnection::send(QNetworkRequest request, QByteArray method, QByteArray body,
                                               Http::Limits limits)
{
    const LifetimeGuard guard(this);
    const QDeadlineTimer deadline(limits.deadlineMs);
    HttpResponse response;
    // One request at a time on one connection; the next waits for its turn.
    while (m_busy) {
        co_await qCoro(this, &HttpConnection::turnFreed);
        if (!guard.alive()) {
            response.transportError = QStringLiteral("request cancelled");
            co_return response;
        }
    }
    m_busy = true;
    m_idleClose.stop();

    const QUrl url = request.url();
    const QByteArray head = requestHead(request, method, body);
    Attempt attempt;
    if (head.isEmpty()) {
        attempt.transportError = QStringLiteral("a header of the request is not a valid header line");
    } else {
        // A kept connection the server closed meanwhile fails before any
        // answer: a request that is safe to repeat goes once more, on a new connection.
        const int rounds = method == "GET" || method == "HEAD" ? 2 : 1;
        for (int round = 0; round < rounds; ++round) {
            const bool reused = isOpenTo(url);
            if (!reused) {
                drop();
                QString error;
                const bool connected = co_await connectTo(url, deadline, error);
                if (!guard.alive())
                    co_return response;
                if (!connected) {
                    attempt = Attempt{};
                    attempt.transportError = error;
                    attempt.pastDeadline = deadline.hasExpired();
                    break;
                }
            }
            attempt = co_await exchange(head, body, method == "HEAD", limits, deadline);
            if (!guard.alive())
                co_return response;
            if (!reused || attempt.received || attempt.pastDeadline)
                break;
        }
    }

    if (attempt.answer.outcome != HttpResponseParser::Outcome::Complete || !attempt.answer.keepAlive)
        drop();
    else
        m_idleClose.start(idleCloseMs);
    m_busy = false;
    Q_EMIT turnFreed();

    const HttpResponseParser::Result& answer = attempt.answer;
    if (attempt.pastDeadline) {
        response.transportError = Http::pastDeadlineText(limits.deadlineMs);
    } else if (answer.outcome == HttpResponseParser::Outcome::Complete) {
        response.status = answer.status;
        response.body = answer.body;
        response.retryAfterSeconds = Http::retryAfterSeconds(answer.header("Retry-After"));
    } else if (answer.outcome == HttpResponseParser::Outcome::TooLarge && answer.status > 0) {
        response.status = answer.status;
        response.bodyTooLarge = true;
        Http::logOversizedOnce(url, limits.maximumBodySize);
    } else {
        response.transportError = !attempt.transportError.isEmpty() ? attempt.transportError
                                                                     : QString::fromUtf8(answer.error);
    }
    co_return response;
}

QCoro::Task<bool> HttpConnection::connectTo(const QUrl& url, QDeadlineTimer deadline, QString& error)
{
    const LifetimeGuard guard(this);
    const bool secure = isSecure(url);
    QAbstractSocket* socket = secure ? new QSslSocket(this) : new QTcpSocket(this);
    m_socket = socket;
    m_origin = originOf(url);
    const quint16 port = quint16(url.port(secure ? 443 : 80));
    if (secure)
        static_cast<QSslSocket*>(socket)->connectToHostEncrypted(url.host(), port);
    else
        socket->connectToHost(url.host(), port);
    const auto ready = [socket, secure] {
        return socket->state() == QAbstractSocket::ConnectedState
            && (!secure || static_cast<QSslSocket*>(socket)->isEncrypted());
    };
    while (!ready()) {
        if (socket->state() == QAbstractSocket::UnconnectedState || deadline.hasExpired())
            break;
        co_await waitForSocket(deadline);
        if (!guard.alive())
            co_return false;
    }
    if (ready())
        co_return true;
    error = deadline.hasExpired() ? QStringLiteral("no connection within the deadline") : socket->errorString();
    drop();
    co_return false;
}

QCoro::Task<HttpConnection::Attempt> HttpConnection::exchange(const QByteArray& head, const QByteArray& body,
                                                              bool answersHead, const Http::Limits& limits,
                                                              QDeadlineTimer deadline)
{
    const LifetimeGuard guard(this);
    Attempt attempt;
    QAbstractSocket* socket = m_socket;
    socket->write(head);
    if (!body.isEmpty())
        socket->write(body);

    // The head has the parser's own cap: a server cannot send an endless head.
    HttpResponseParser::Limits parseLimits;
    parseLimits.maximumBodySize = limits.maximumBodySize;
    QByteArray buffer;
    for (;;) {
        buffer += socket->readAll();
        attempt.received = attempt.received || !buffer.isEmpty();
        const bool closed = socket->state() != QAbstractSocket::ConnectedState && socket->bytesAvailable() == 0;
        attempt.answer = HttpResponseParser::parse(buffer, closed, parseLimits, answersHead);
        if (attempt.answer.outcome != HttpResponseParser::Outcome::Incomplete)
            break;
        if (closed) {
            attempt.transportError = socket->error() == QAbstractSocket::RemoteHostClosedError || buffer.isEmpty()
                ? QStringLiteral("the connection closed before an answer")
                : socket->errorString();
            break;
        }
        if (deadline.hasExpired()) {
            attempt.pastDeadline = true;
            break;
        }
        co_await waitForSocket(deadline);
        if (!guard.alive() || !m_socket) {
            attempt.transportError = QStringLiteral("request cancelled");
            break;
        }
    }
    // Bytes after the answer were never asked for: the connection is not trusted again.
    if (attempt.answer.outcome == HttpResponseParser::Outcome::Complete && attempt.answer.consumed != buffer.size())
        attempt.answer.keepAlive = false;
    co_return attempt;
}

QCoro::Task<bool> HttpConnection::waitForSocket(QDeadlineTimer deadline)
{
    QTimer wake;
    wake.setSingleShot(true);
    bool news = false;
    const auto onNews = [&wake, &news] {
        news = true;
        wake.start(0);
    };
    QAbstractSocket* socket = m_socket;
    connect(socket, &QIODevice::readyRead, &wake, onNews);
    connect(socket, &QAbstractSocket::stateChanged, &wake, onNews);
    connect(socket, &QAbstractSocket::errorOccurred, &wake, onNews);
    if (auto* secure = qobject_cast<QSslSocket*>(socket))
        connect(secure, &QSslSocket::encrypted, &wake, onNews);
    connect(socket, &QObject::destroyed, &wake, onNews);
    wake.start(int(std::max<qint64>(0, deadline.remainingTime())));
    auto timeout = qCoro(wake);
    co_await timeout.waitForTimeout();
    co_return news;
}

bool HttpConnection::isOpenTo(const QUrl& url) const
{
    return m_socket && m_socket->state() == QAbstractSocket::ConnectedState && m_socket->bytesAvailable() == 0
        && m_origin == originOf(url);
}

void HttpConnection::drop()
{
    m_idleClose.stop();
    if (!m_socket)
        return;
    QAbstractSocket* socket = m_socket;
    m_socket.clear();
    socket->disconnect(this);
    socket->abort();
    socket->deleteLater();
}
