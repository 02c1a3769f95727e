#include "core/HttpResponseParser.h"

#include "core/HttpWireFormat.h"

namespace {

using Outcome = HttpResponseParser::Outcome;
using Result = HttpResponseParser::Result;

constexpr const char* closedEarly = "connection closed before the answer ended";

Result& fail(Result& result, Outcome outcome, const QByteArray& error)
{
    result.outcome = outcome;
    result.error = error;
    result.keepAlive = false;
    return result;
}

// "HTTP/1.1 200 OK" or "HTTP/1.0 204"; the status, or 0 when malformed.
int parseStatusLine(QByteArrayView line, QByteArrayView& version)
{
    version = line.first(qMin<qsizetype>(line.size(), 8));
    if (version != QByteArrayView("HTTP/1.1") && version != QByteArrayView("HTTP/1.0"))
        return 0;
    const QByteArrayView rest = line.sliced(version.size());
    if (rest.size() < 4 || rest[0] != ' ' || (rest.size() > 4 && rest[4] != ' '))
        return 0;
    const QByteArrayView code = rest.sliced(1, 3);
    if (code[0] < '1' || code[0] > '5' || code[1] < '0' || code[1] > '9' || code[2] < '0' || code[2] > '9')
        return 0;
    for (char c : rest.sliced(4)) {
        if ((c >= 0 && c < 0x20 && c != '\t') || c == 0x7f)
            return 0;
    }
    return code.toInt();
}

void complete(Result& result, QByteArray body, qsizetype consumed)
{
    result.outcome = Outcome::Complete;
    result.body = std::move(body);
    result.consumed = consumed;
}

void readChunked(QByteArrayView data, qsizetype bodyStart, bool endOfStream,
    const HttpResponseParser::Limits& limits, Result& result)
{
    if (HttpWireFormat::hasHeader(result.headers, "Content-Length")) {
        fail(result, Outcome::Invalid, "both Content-Length and Transfer-Encoding");
        return;
    }
    if (!HttpWireFormat::isChunkedOnly(result.headers)) {
        fail(result, Outcome::Invalid, "unsupported transfer encoding");
        return;
    }
    // The trailer fields are header fields sent after the body, so the head's limit holds them.
    HttpWireFormat::ChunkedBody decoded
        = HttpWireFormat::decodeChunked(data.sliced(bodyStart), limits.maximumBodySize, limits.maximumHeadSize);
    using Status = HttpWireFormat::ChunkedBody::Status;
    if (decoded.status == Status::Malformed)
        fail(result, Outcome::Invalid, decoded.error);
    else if (decoded.status == Status::TooLarge)
        fail(result, Outcome::TooLarge, decoded.error);
    else if (decoded.status == Status::Complete)
        complete(result, std::move(decoded.body), bodyStart + decoded.used);
    else if (endOfStream)
        fail(result, Outcome::Invalid, closedEarly);
}

void readLength(QByteArrayView data, qsizetype bodyStart, bool endOfStream,
    const HttpResponseParser::Limits& limits, const HttpWireFormat::ContentLength& length, Result& result)
{
    if (!length.valid)
        fail(result, Outcome::Invalid, "malformed Content-Length");
    else if (length.length > limits.maximumBodySize)
        fail(result, Outcome::TooLarge, "body too large");
    else if (data.size() - bodyStart >= length.length)
        complete(result, data.sliced(bodyStart, length.length).toByteArray(), bodyStart + length.length);
    else if (endOfStream)
        fail(result, Outcome::Invalid, closedEarly);
}

// Neither a length nor chunks: the body runs to the close, which ends the connection too.
void readToClose(QByteArrayView data, qsizetype bodyStart, bool endOfStream,
    const HttpResponseParser::Limits& limits, Result& result)
{
    result.keepAlive = false;
    if (data.size() - bodyStart > limits.maximumBodySize)
        fail(result, Outcome::TooLarge, "body too large");
    else if (endOfStream)
        complete(result, data.sliced(bodyStart).toByteArray(), data.size());
}

void readBody(QByteArrayView data, qsizetype bodyStart, bool endOfStream, const HttpResponseParser::Limits& limits,
    Result& result)
{
    const HttpWireFormat::ContentLength length = HttpWireFormat::contentLength(result.headers);
    if (HttpWireFormat::hasHeader(result.headers, "Transfer-Encoding"))
        readChunked(data, bodyStart, endOfStream, limits, result);
    else if (length.present || !length.valid)
        readLength(data, bodyStart, endOfStream, limits, length, result);
    else
        readToClose(data, bodyStart, endOfStream, limits, result);
}

} // namespace

QByteArray HttpResponseParser::Result::header(QByteArrayView name) const
{
    return HttpWireFormat::headerValue(headers, name);
}

HttpResponseParser::Result HttpResponseParser::parse(QByteArrayView data, bool endOfStream, const Limits& limits,
    bool answersHead)
{
    Result result;
    // Interim answers count towards the head's limit, so that a stream of them
    // cannot grow the buffer for ever.
    qsizetype start = 0;
    for (;;) {
        const QByteArrayView rest = data.sliced(start);
        const qsizetype headSize = HttpWireFormat::headSize(rest, limits.maximumHeadSize - start);
        if (headSize < 0)
            return fail(result, Outcome::TooLarge, "answer head too large");
        if (headSize == 0)
            return endOfStream ? fail(result, Outcome::Invalid, closedEarly) : result;

        const auto [statusLine, headerLines] = HttpWireFormat::splitStartLine(rest.first(headSize - 4));
        QByteArrayView version;
        const int status = parseStatusLine(statusLine, version);
        if (status == 0)
            return fail(result, Outcome::Invalid, "malformed status line");
        HttpWireFormat::Headers headers;
        QByteArray error;
        if (!HttpWireFormat::parseHeaderLines(headerLines, headers, error))
            return fail(result, Outcome::Invalid, error);
        const qsizetype bodyStart = start + headSize;
        if (status < 200 && status != 101) {
            start = bodyStart;
            continue;
        }

        result.status = status;
        result.headers = std::move(headers);
        // After 101 the connection no longer speaks HTTP.
        result.keepAlive = status != 101 && HttpWireFormat::keepsAlive(version, result.headers);
        if (answersHead || status == 101 || status == 204 || status == 304)
            complete(result, {}, bodyStart);
        else
            readBody(data, bodyStart, endOfStream, limits, result);
        return result;
    }
}
