#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QPair>

// Reads one HTTP/1.1 response from the front of a byte buffer. Stateless: the
// connection keeps the unread bytes and asks again when more arrive.
class HttpResponseParser
{
public:
    enum class Outcome {
        Incomplete, // more bytes needed
        Complete,
        Invalid,  // not HTTP/1.x, or malformed; the connection cannot be used again
        TooLarge, // the head or the body passes its limit; known as soon as it is announced or seen
    };

    struct Limits
    {
        qsizetype maximumHeadSize = 64 * 1024; // with any interim answers before it
        qsizetype maximumBodySize = 1024 * 1024;
    };

    struct Result
    {
        Outcome outcome = Outcome::Incomplete;
        int status = 0;                                  // once the head is complete
        QList<QPair<QByteArray, QByteArray>> headers;    // names as sent, values trimmed
        QByteArray body;                                 // complete when outcome is Complete
        qsizetype consumed = 0;                          // bytes of the buffer that belong to this response
        bool keepAlive = false;                          // the connection may carry another request
        QByteArray error;                                // why, when Invalid or TooLarge

        // The first header of that name (case-insensitive), or empty.
        QByteArray header(QByteArrayView name) const;

        bool operator==(const Result&) const = default;
    };

    // `endOfStream`: the peer has closed, so a body delimited by the close
    // ends here. Interim 1xx answers are skipped. An answer to HEAD, and
    // 204 and 304, have no body whatever their headers say.
    static Result parse(QByteArrayView data, bool endOfStream, const Limits& limits, bool answersHead = false);
};
