#pragma once

#include "core/Http.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QNetworkRequest>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QUrl>

#include <QCoroTask>

class QAbstractSocket;

// One HTTP/1.1 connection to one back-end, kept open between requests and
// served on the calling thread. The pending-list poll runs through it: Qt's
// network manager would wake its own thread and then this one several times
// for every answer, which an idle tray program pays for every 15 seconds.
// Requests take turns; the same deadline and body cap hold as for Http::send.
class HttpConnection : public QObject
{
    Q_OBJECT

public:
    explicit HttpConnection(QObject* parent = nullptr);
    ~HttpConnection() override;

    QCoro::Task<HttpResponse> send(QNetworkRequest request, QByteArray method, QByteArray body = {},
                                   Http::Limits limits = {});
    QCoro::Task<HttpResponse> send(const SignedRequest& request, Http::Limits limits = {});

    // Closed when unused this long: the 15-s poll keeps it, an occasional
    // request does not hold a socket for ever.
    static constexpr int idleCloseMs = 30 * 1000;

Q_SIGNALS:
    // The connection is free for the next request.
    void turnFreed();

private:
    struct Attempt;

    QCoro::Task<bool> connectTo(const QUrl& url, QDeadlineTimer deadline, QString& error);
    QCoro::Task<Attempt> exchange(const QByteArray& head, const QByteArray& body, bool answersHead,
                                  const Http::Limits& limits, QDeadlineTimer deadline);
    // Resumes when the socket has news (bytes, a state change, an error) or at the deadline.
    QCoro::Task<bool> waitForSocket(QDeadlineTimer deadline);
    void drop();
    bool isOpenTo(const QUrl& url) const;

    QPointer<QAbstractSocket> m_socket;
    QString m_origin; // scheme://host:port the socket goes to
    QTimer m_idleClose;
    bool m_busy = false;
};
