#include "tools/backend/BackendRequestParser.h"

#include "core/HttpWireFormat.h"

namespace {

bool isTargetChar(char c)
{
    // Visible ASCII only: no spaces, controls or bytes above 0x7e.
    return c > 0x20 && c < 0x7f;
}

BackendRequestParser::Result invalid(BackendRequestParser::Result r, int status, const char* why)
{
    r.outcome = BackendRequestParser::Outcome::Invalid;
    r.errorStatus = status;
    r.error = why;
    return r;
}

} // namespace

bool BackendRequestParser::parseHead(QByteArrayView head, BackendRequest& request, Result& result)
{
    const auto [requestLine, headerLines] = HttpWireFormat::splitStartLine(head);
    const QList<QByteArray> parts = requestLine.toByteArray().split(' ');
    if (parts.size() != 3) {
        result.error = "malformed request line";
        return false;
    }
    request.method = parts[0];
    request.target = parts[1];
    request.version = parts[2];
    if (!HttpWireFormat::isToken(request.method)) {
        result.error = "malformed method";
        return false;
    }
    if (request.version != "HTTP/1.1" && request.version != "HTTP/1.0") {
        result.error = "unsupported HTTP version";
        return false;
    }
    if (!request.target.startsWith('/')) {
        result.error = "request target must be a path";
        return false;
    }
    for (char c : std::as_const(request.target)) {
        if (!isTargetChar(c)) {
            result.error = "malformed request target";
            return false;
        }
    }
    return HttpWireFormat::parseHeaderLines(headerLines, request.headers, result.error);
}

BackendRequestParser::Result BackendRequestParser::parse(QByteArrayView data, const Limits& limits)
{
    Result result;
    const qsizetype headSize = HttpWireFormat::headSize(data, limits.maxHeadBytes);
    if (headSize < 0)
        return invalid(result, 431, "request head too large");
    if (headSize == 0)
        return result;

    BackendRequest request;
    if (!parseHead(data.first(headSize - 4), request, result))
        return invalid(result, 400, result.error.constData());
    result.headComplete = true;
    const qsizetype bodyStart = headSize;
    auto awaitBody = [&] {
        result.expectsContinue = request.headerHasToken("Expect", "100-continue");
        result.request = request;
        return result;
    };

    if (request.hasHeader("Transfer-Encoding")) {
        if (!HttpWireFormat::isChunkedOnly(request.headers))
            return invalid(result, 501, "unsupported transfer encoding");
        if (request.hasHeader("Content-Length"))
            return invalid(result, 400, "both Content-Length and Transfer-Encoding");
        HttpWireFormat::ChunkedBody decoded
            = HttpWireFormat::decodeChunked(data.sliced(bodyStart), limits.maxBodyBytes, limits.maxHeadBytes);
        using Status = HttpWireFormat::ChunkedBody::Status;
        if (decoded.status == Status::TooLarge)
            return invalid(result, 413, decoded.error.constData());
        if (decoded.status == Status::Malformed)
            return invalid(result, 400, decoded.error.constData());
        if (decoded.status == Status::Incomplete)
            return awaitBody();
        request.body = std::move(decoded.body);
        result.consumed = bodyStart + decoded.used;
    } else {
        const HttpWireFormat::ContentLength length = HttpWireFormat::contentLength(request.headers);
        if (!length.valid)
            return invalid(result, 400, "malformed Content-Length");
        if (length.length > limits.maxBodyBytes)
            return invalid(result, 413, "body too large");
        if (data.size() - bodyStart < length.length)
            return awaitBody();
        request.body = data.sliced(bodyStart, length.length).toByteArray();
        result.consumed = bodyStart + length.length;
    }
    result.outcome = Outcome::Complete;
    result.request = request;
    return result;
}
