#include "tools/backend/BackendRequestParser.h"

namespace {

bool isTokenChar(char c)
{
    if (c >= 'a' && c <= 'z') return true;
    if (c >= 'A' && c <= 'Z') return true;
    if (c >= '0' && c <= '9') return true;
    return QByteArrayView("!#$%&'*+-.^_`|~").contains(c);
}

bool isToken(QByteArrayView s)
{
    if (s.isEmpty())
        return false;
    for (char c : s) {
        if (!isTokenChar(c))
            return false;
    }
    return true;
}

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
    const QList<QByteArray> lines = head.toByteArray().split('\n');
    if (lines.isEmpty())
        return false;
    auto stripCr = [](QByteArray line) {
        if (line.endsWith('\r'))
            line.chop(1);
        return line;
    };
    const QByteArray requestLine = stripCr(lines.first());
    const QList<QByteArray> parts = requestLine.split(' ');
    if (parts.size() != 3) {
        result.error = "malformed request line";
        return false;
    }
    request.method = parts[0];
    request.target = parts[1];
    request.version = parts[2];
    if (!isToken(request.method)) {
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
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray line = stripCr(lines[i]);
        if (line.isEmpty())
            continue; // the blank line that ends the head
        if (line.startsWith(' ') || line.startsWith('\t')) {
            result.error = "folded header lines are not accepted";
            return false;
        }
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0 || !isToken(QByteArrayView(line).first(colon))) {
            result.error = "malformed header line";
            return false;
        }
        const QByteArray value = line.mid(colon + 1).trimmed();
        for (char c : value) {
            if ((c >= 0 && c < 0x20 && c != '\t') || c == 0x7f) {
                result.error = "control character in header value";
                return false;
            }
        }
        request.headers.append({line.left(colon), value});
    }
    return true;
}

qsizetype BackendRequestParser::parseChunked(QByteArrayView data, qsizetype maxBody, QByteArray& body, Result& result)
{
    qsizetype pos = 0;
    for (;;) {
        const qsizetype eol = data.indexOf(QByteArrayView("\r\n"), pos);
        if (eol < 0)
        {
            if (data.size() - pos <= 1024)
                return 0;
            result.error = "chunk size line too long";
            return -1;
        }
        QByteArrayView sizeText = data.sliced(pos, eol - pos);
        const qsizetype semicolon = sizeText.indexOf(';');
        if (semicolon >= 0)
            sizeText = sizeText.first(semicolon);
        sizeText = sizeText.trimmed();
        if (sizeText.isEmpty() || sizeText.size() > 8) {
            result.error = "malformed chunk size";
            return -1;
        }
        bool ok = false;
        const qsizetype size = sizeText.toByteArray().toLongLong(&ok, 16);
        if (!ok || size < 0) {
            result.error = "malformed chunk size";
            return -1;
        }
        pos = eol + 2;
        if (size == 0) {
            // Trailer fields (ignored) up to an empty line.
            for (;;) {
                const qsizetype end = data.indexOf(QByteArrayView("\r\n"), pos);
                if (end < 0)
                    return 0;
                const bool blank = end == pos;
                pos = end + 2;
                if (blank)
                    return pos;
            }
        }
        if (body.size() + size > maxBody) {
            result.errorStatus = 413;
            result.error = "body too large";
            return -1;
        }
        if (data.size() - pos < size + 2)
            return 0;
        body.append(data.sliced(pos, size));
        pos += size;
        if (data.sliced(pos, 2) != QByteArrayView("\r\n")) {
            result.error = "chunk not terminated";
            return -1;
        }
        pos += 2;
    }
}

BackendRequestParser::Result BackendRequestParser::parse(QByteArrayView data, const Limits& limits)
{
    Result result;
    const qsizetype headEnd = data.indexOf(QByteArrayView("\r\n\r\n"));
    if (headEnd < 0) {
        if (data.size() > limits.maxHeadBytes)
            return invalid(result, 431, "request head too large");
        return result;
    }
    if (headEnd + 4 > limits.maxHeadBytes)
        return invalid(result, 431, "request head too large");

    BackendRequest request;
    if (!parseHead(data.first(headEnd), request, result))
        return invalid(result, 400, result.error.constData());
    result.headComplete = true;
    const qsizetype bodyStart = headEnd + 4;

    const bool chunked = request.hasHeader("Transfer-Encoding");
    if (chunked) {
        const QByteArray te = request.header("Transfer-Encoding").trimmed().toLower();
        if (te != "chunked")
            return invalid(result, 501, "unsupported transfer encoding");
        if (request.hasHeader("Content-Length"))
            return invalid(result, 400, "both Content-Length and Transfer-Encoding");
        QByteArray body;
        const qsizetype used = parseChunked(data.sliced(bodyStart), limits.maxBodyBytes, body, result);
        if (used < 0)
            return invalid(result, result.errorStatus ? result.errorStatus : 400, result.error.constData());
        if (used == 0) {
            result.expectsContinue = request.headerHasToken("Expect", "100-continue");
            result.request = request;
            return result;
        }
        request.body = body;
        result.consumed = bodyStart + used;
    } else {
        qsizetype length = 0;
        bool seen = false;
        for (const auto& h : std::as_const(request.headers)) {
            if (h.first.compare("Content-Length", Qt::CaseInsensitive) != 0)
                continue;
            const QByteArray& v = h.second;
            bool ok = !v.isEmpty() && v.size() <= 18;
            for (char c : v)
                ok = ok && c >= '0' && c <= '9';
            const qsizetype n = ok ? v.toLongLong(&ok) : -1;
            if (!ok || (seen && n != length))
                return invalid(result, 400, "malformed Content-Length");
            length = n;
            seen = true;
        }
        if (length > limits.maxBodyBytes)
            return invalid(result, 413, "body too large");
        if (data.size() - bodyStart < length) {
            result.expectsContinue = request.headerHasToken("Expect", "100-continue");
            result.request = request;
            return result;
        }
        request.body = data.sliced(bodyStart, length).toByteArray();
        result.consumed = bodyStart + length;
    }
    result.outcome = Outcome::Complete;
    result.request = request;
    return result;
}
