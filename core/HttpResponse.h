#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// The outcome of one exchange with the back-end. Success is decided by the
// status alone; a transport failure (no HTTP answer at all) has no status.
struct HttpResponse
{
    int status = -1;
    QByteArray body;
    QString transportError; // set exactly when there was no HTTP answer
    // The answer's body was larger than the caller accepts: `body` is empty and
    // the answer counts as undecodable.
    bool bodyTooLarge = false;
    // Retry-After in whole seconds, when the answer carried one.
    std::optional<qint64> retryAfterSeconds;

    bool isHttp() const { return status >= 0; }
};
