#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QPair>

// The pieces of HTTP/1.1 framing that requests and responses share: the head's
// end, header lines, the announced body length and the chunked coding. Both
// the back-end's request parser and the program's response parser read the
// wire through these, so both are equally strict.
namespace HttpWireFormat {

using Headers = QList<QPair<QByteArray, QByteArray>>; // names as sent, values trimmed

bool isToken(QByteArrayView text);
// Whether a text can travel as a header value: no control characters other
// than the horizontal tab (a line break would end the header early).
bool isFieldValue(QByteArrayView text);

// The length of the head up to and including its blank line; 0 while the
// blank line has not arrived, -1 once the head cannot fit in `maximumHeadSize`.
qsizetype headSize(QByteArrayView data, qsizetype maximumHeadSize);

// The first line of a head, without its line end, and the header lines after it.
QPair<QByteArrayView, QByteArrayView> splitStartLine(QByteArrayView head);

// Appends the header lines of a head; false with `error` set on a folded line,
// a name that is not a token or a control character in a value.
bool parseHeaderLines(QByteArrayView lines, Headers& headers, QByteArray& error);

// The first header of that name (case-insensitive), or an empty array.
QByteArray headerValue(const Headers& headers, QByteArrayView name);
bool hasHeader(const Headers& headers, QByteArrayView name);
// Whether a comma-separated header holds the token (case-insensitive).
bool headerHasToken(const Headers& headers, QByteArrayView name, QByteArrayView token);

// HTTP/1.1 keeps the connection unless "Connection: close"; HTTP/1.0 only with
// "Connection: keep-alive".
bool keepsAlive(QByteArrayView version, const Headers& headers);

// Whether Transfer-Encoding, all its fields together, names exactly "chunked".
bool isChunkedOnly(const Headers& headers);

struct ContentLength
{
    bool present = false;
    bool valid = true; // digits only, and every repeated field the same
    qsizetype length = 0;
};
ContentLength contentLength(const Headers& headers);

struct ChunkedBody
{
    enum class Status { Incomplete, Complete, Malformed, TooLarge };
    Status status = Status::Incomplete;
    QByteArray body;    // complete when status is Complete
    qsizetype used = 0; // bytes of the data the coded body takes, trailer fields included
    QByteArray error;
};

// Decodes a chunked body from data[0]. The body is too large as soon as a chunk
// size announces more than `maximumBodySize` in all; the trailer fields (read
// and dropped) may take `maximumTrailerSize`.
ChunkedBody decodeChunked(QByteArrayView data, qsizetype maximumBodySize, qsizetype maximumTrailerSize);

} // namespace HttpWireFormat
