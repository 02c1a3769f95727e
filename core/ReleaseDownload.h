#pragma once

#include <QNetworkRequest>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>

#include <QCoroTask>

#include <chrono>
#include <functional>
#include <optional>

class QNetworkAccessManager;
class QNetworkReply;

// One large download (a release archive, the model runtime), streamed chunk by
// chunk into a new private file (mode 0600, never through a link) so the body
// is never held in memory. It ends with an error when the body grows past the
// byte limit, when the whole download takes longer than the deadline, and on
// any write failure (a full disk says so). A failed download may leave a
// partial file behind; the caller removes it.
class ReleaseDownload : public QObject
{
    Q_OBJECT
public:
    struct Failure
    {
        enum class Kind { tooLarge, timedOut, writeFailed, transport, aborted, badStatus };
        QString logLine;
        QString message;
        Kind kind = Kind::transport;
        QString reason; // the system's text for writeFailed and transport
    };
    using ProgressHandler = std::function<void(double fraction)>;

    ReleaseDownload(QNetworkAccessManager* network, const QUrl& url, const QString& destination, qint64 byteLimit,
                    std::chrono::milliseconds deadline, QObject* parent = nullptr);

    // Redirects that are followed: by default only within the origin.
    void setRedirectPolicy(QNetworkRequest::RedirectPolicy policy) { m_redirectPolicy = policy; }

    // Resolves when the file is complete (nothing) or the download failed.
    // Progress is reported only when the server announces the size.
    QCoro::Task<std::optional<Failure>> run(ProgressHandler onProgress);
    // Ends the download; run() then fails with Kind::aborted.
    void abort();
    // The final answer's HTTP status, once run() has resolved (0: none).
    int status() const { return m_status; }

private:
    void stop(Failure failure);
    bool writeChunk(const QByteArray& chunk);

    QNetworkAccessManager* m_network;
    QUrl m_url;
    QString m_destination;
    qint64 m_byteLimit;
    std::chrono::milliseconds m_deadline;
    QNetworkRequest::RedirectPolicy m_redirectPolicy = QNetworkRequest::SameOriginRedirectPolicy;
    int m_status = 0;
    QPointer<QNetworkReply> m_reply;
    int m_fd = -1;
    qint64 m_received = 0;
    std::optional<Failure> m_failure;
};
