#pragma once

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

// One release archive download, streamed chunk by chunk into a new private
// file (mode 0600, never through a link) so the body is never held in memory.
// It ends with an error when the body grows past the byte limit, when the
// whole download takes longer than the deadline, and on any write failure
// (a full disk says so).
class ReleaseDownload : public QObject
{
    Q_OBJECT
public:
    struct Failure
    {
        QString logLine;
        QString message;
    };
    using ProgressHandler = std::function<void(double fraction)>;

    ReleaseDownload(QNetworkAccessManager* network, const QUrl& url, const QString& destination, qint64 byteLimit,
                    std::chrono::milliseconds deadline, QObject* parent = nullptr);

    // Resolves when the file is complete (nothing) or the download failed.
    QCoro::Task<std::optional<Failure>> run(ProgressHandler onProgress);
    void abort();

private:
    void stop(Failure failure);
    bool writeChunk(const QByteArray& chunk);

    QNetworkAccessManager* m_network;
    QUrl m_url;
    QString m_destination;
    qint64 m_byteLimit;
    std::chrono::milliseconds m_deadline;
    QPointer<QNetworkReply> m_reply;
    int m_fd = -1;
    qint64 m_received = 0;
    std::optional<Failure> m_failure;
};
