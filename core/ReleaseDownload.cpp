#include "core/ReleaseDownload.h"

#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

#include <QCoroNetworkReply>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr std::chrono::milliseconds inactivityTimeout{std::chrono::seconds(60)};

QString errnoText(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

ReleaseDownload::Failure writeFailure(const QString& reason)
{
    return {QStringLiteral("download move failed: ") + reason, QStringLiteral("Update failed: ") + reason,
            ReleaseDownload::Failure::Kind::writeFailed, reason};
}

} // namespace

ReleaseDownload::ReleaseDownload(QNetworkAccessManager* network, const QUrl& url, const QString& destination,
                                 qint64 byteLimit, std::chrono::milliseconds deadline, QObject* parent)
    : QObject(parent)
    , m_network(network)
    , m_url(url)
    , m_destination(destination)
    , m_byteLimit(byteLimit)
    , m_deadline(deadline)
{
}

void ReleaseDownload::abort()
{
    if (m_reply)
        m_reply->abort();
}

void ReleaseDownload::stop(Failure failure)
{
    if (!m_failure)
        m_failure = std::move(failure);
    abort();
}

bool ReleaseDownload::writeChunk(const QByteArray& chunk)
{
    m_received += chunk.size();
    if (m_received > m_byteLimit) {
        stop({QStringLiteral("download error: more than the announced %1 bytes").arg(m_byteLimit),
              QStringLiteral("Download failed: the download is larger than announced"), Failure::Kind::tooLarge, {}});
        return false;
    }
    for (qsizetype done = 0; done < chunk.size();) {
        const ssize_t count = ::write(m_fd, chunk.constData() + done, size_t(chunk.size() - done));
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0) {
            const QString reason = errnoText(count < 0 ? errno : ENOSPC);
            stop(writeFailure(reason));
            return false;
        }
        done += count;
    }
    return true;
}

QCoro::Task<std::optional<ReleaseDownload::Failure>> ReleaseDownload::run(ProgressHandler onProgress)
{
    m_fd = ::open(QFile::encodeName(m_destination).constData(),
                  O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (m_fd < 0)
        co_return writeFailure(errnoText(errno));

    QNetworkRequest request(m_url);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, m_redirectPolicy);
    request.setTransferTimeout(int(inactivityTimeout.count()));
    QNetworkReply* reply = m_network->get(request);
    m_reply = reply;
    // Chunks go to disk as they come; the reply buffers little.
    reply->setReadBufferSize(256 * 1024);

    QTimer deadline;
    deadline.setSingleShot(true);
    connect(&deadline, &QTimer::timeout, this, [this] {
        const qint64 seconds = std::chrono::duration_cast<std::chrono::seconds>(m_deadline).count();
        stop({QStringLiteral("download error: not complete after %1 s").arg(seconds),
              QStringLiteral("Download failed: timed out after %1 s").arg(seconds), Failure::Kind::timedOut, {}});
    });
    deadline.start(m_deadline);
    connect(reply, &QNetworkReply::metaDataChanged, this, [this, reply] {
        const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
        if (length.isValid() && length.toLongLong() > m_byteLimit)
            stop({QStringLiteral("download error: the server announces %1 bytes, more than the announced %2")
                      .arg(length.toLongLong())
                      .arg(m_byteLimit),
                  QStringLiteral("Download failed: the download is larger than announced"), Failure::Kind::tooLarge,
                  {}});
    });
    connect(reply, &QNetworkReply::readyRead, this, [this, reply] {
        if (!m_failure)
            writeChunk(reply->readAll());
    });
    // Qt makes up a total at the end of a download of unknown size; only a
    // size the server announced counts.
    connect(reply, &QNetworkReply::downloadProgress, this, [onProgress, reply](qint64 received, qint64 total) {
        if (total >= 1 && onProgress && reply->header(QNetworkRequest::ContentLengthHeader).isValid())
            onProgress(double(received) / double(total));
    });

    co_await qCoro(reply).waitForFinished();
    deadline.stop();
    disconnect(reply, nullptr, this, nullptr);
    reply->deleteLater();
    m_reply = nullptr;
    m_status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (!m_failure && reply->error() == QNetworkReply::NoError)
        writeChunk(reply->readAll());
    if (!m_failure && ::fsync(m_fd) != 0)
        m_failure = writeFailure(errnoText(errno));
    ::close(m_fd);
    m_fd = -1;
    if (m_failure)
        co_return m_failure;

    const QString badStatus = QString::number(m_status);
    if (reply->error() == QNetworkReply::OperationCanceledError)
        co_return Failure{QStringLiteral("download error: aborted"), QStringLiteral("Download failed: aborted"),
                          Failure::Kind::aborted, reply->errorString()};
    if (reply->error() != QNetworkReply::NoError)
        co_return Failure{QStringLiteral("download error: ") + reply->errorString(),
                          QStringLiteral("Download failed: ") + reply->errorString(), Failure::Kind::transport,
                          reply->errorString()};
    if (m_status < 200 || m_status > 299) // e.g. a redirect that is not followed
        co_return Failure{QStringLiteral("download error: bad status ") + badStatus,
                          QStringLiteral("Download failed: the server answered with status ") + badStatus,
                          Failure::Kind::badStatus, {}};
    co_return std::nullopt;
}
