#include "core/HttpWireFormat.h"

namespace HttpWireFormat {

namespace {

constexpr QByteArrayView lineEnd("\r\n");
constexpr qsizetype maximumChunkSizeLine = 1024;

bool isTokenChar(char c)
{
    if (c >= 'a' && c <= 'z')
        return true;
    if (c >= 'A' && c <= 'Z')
        return true;
    if (c >= '0' && c <= '9')
        return true;
    return QByteArrayView("!#$%&'*+-.^_`|~").contains(c);
}

// The value of one to eight hex digits, or -1.
qsizetype chunkSize(QByteArrayView text)
{
    if (text.isEmpty() || text.size() > 8)
        return -1;
    qsizetype size = 0;
    for (char c : text) {
        if (c >= '0' && c <= '9')
            size = size * 16 + (c - '0');
        else if (c >= 'a' && c <= 'f')
            size = size * 16 + (c - 'a' + 10);
        else if (c >= 'A' && c <= 'F')
            size = size * 16 + (c - 'A' + 10);
        else
            return -1;
    }
    return size;
}

QByteArrayView withoutCarriageReturn(QByteArrayView line)
{
    return line.endsWith('\r') ? line.chopped(1) : line;
}

ChunkedBody failed(ChunkedBody::Status status, const char* error)
{
    ChunkedBody result;
    result.status = status;
    result.error = error;
    return result;
}

// Reads the trailer fields from data[pos] to their empty line.
ChunkedBody skipTrailer(QByteArrayView data, qsizetype pos, qsizetype maximumTrailerSize, ChunkedBody result)
{
    const qsizetype start = pos;
    for (;;) {
        const qsizetype end = data.indexOf(lineEnd, pos);
        const qsizetype reach = end < 0 ? data.size() : end + lineEnd.size();
        if (reach - start > maximumTrailerSize)
            return failed(ChunkedBody::Status::TooLarge, "trailer fields too large");
        if (end < 0)
            return {};
        const bool blank = end == pos;
        pos = reach;
        if (blank) {
            result.status = ChunkedBody::Status::Complete;
            result.used = pos;
            return result;
        }
    }
}

} // namespace

bool isToken(QByteArrayView text)
{
    if (text.isEmpty())
        return false;
    for (char c : text) {
        if (!isTokenChar(c))
            return false;
    }
    return true;
}

bool isFieldValue(QByteArrayView text)
{
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte < 0x20 && byte != '\t') || byte == 0x7f)
            return false;
    }
    return true;
}

qsizetype headSize(QByteArrayView data, qsizetype maximumHeadSize)
{
    // A blank line past the limit makes the head too large wherever it is, so
    // the search stops there.
    const QByteArrayView window = data.first(qMin(data.size(), qMax<qsizetype>(maximumHeadSize, 0)));
    const qsizetype end = window.indexOf(QByteArrayView("\r\n\r\n"));
    if (end >= 0)
        return end + 4;
    return data.size() >= maximumHeadSize ? -1 : 0;
}

QPair<QByteArrayView, QByteArrayView> splitStartLine(QByteArrayView head)
{
    const qsizetype end = head.indexOf('\n');
    if (end < 0)
        return {withoutCarriageReturn(head), {}};
    return {withoutCarriageReturn(head.first(end)), head.sliced(end + 1)};
}

bool parseHeaderLines(QByteArrayView lines, Headers& headers, QByteArray& error)
{
    qsizetype pos = 0;
    while (pos < lines.size()) {
        qsizetype end = lines.indexOf('\n', pos);
        if (end < 0)
            end = lines.size();
        const QByteArrayView line = withoutCarriageReturn(lines.sliced(pos, end - pos));
        pos = end + 1;
        if (line.isEmpty())
            continue; // the blank line that ends the head
        if (line.startsWith(' ') || line.startsWith('\t')) {
            error = "folded header lines are not accepted";
            return false;
        }
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0 || !isToken(line.first(colon))) {
            error = "malformed header line";
            return false;
        }
        const QByteArrayView value = line.sliced(colon + 1).trimmed();
        if (!isFieldValue(value)) {
            error = "control character in header value";
            return false;
        }
        headers.append({line.first(colon).toByteArray(), value.toByteArray()});
    }
    return true;
}

QByteArray headerValue(const Headers& headers, QByteArrayView name)
{
    for (const auto& header : headers) {
        if (header.first.compare(name, Qt::CaseInsensitive) == 0)
            return header.second;
    }
    return {};
}

bool hasHeader(const Headers& headers, QByteArrayView name)
{
    for (const auto& header : headers) {
        if (header.first.compare(name, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

bool headerHasToken(const Headers& headers, QByteArrayView name, QByteArrayView token)
{
    for (const auto& header : headers) {
        if (header.first.compare(name, Qt::CaseInsensitive) != 0)
            continue;
        const QList<QByteArray> parts = header.second.split(',');
        for (const QByteArray& part : parts) {
            if (part.trimmed().compare(token, Qt::CaseInsensitive) == 0)
                return true;
        }
    }
    return false;
}

bool keepsAlive(QByteArrayView version, const Headers& headers)
{
    if (headerHasToken(headers, "Connection", "close"))
        return false;
    if (version == QByteArrayView("HTTP/1.0"))
        return headerHasToken(headers, "Connection", "keep-alive");
    return true;
}

bool isChunkedOnly(const Headers& headers)
{
    qsizetype codings = 0;
    bool chunked = false;
    for (const auto& header : headers) {
        if (header.first.compare("Transfer-Encoding", Qt::CaseInsensitive) != 0)
            continue;
        const QList<QByteArray> parts = header.second.split(',');
        for (const QByteArray& part : parts) {
            ++codings;
            chunked = part.trimmed().compare("chunked", Qt::CaseInsensitive) == 0;
        }
    }
    return codings == 1 && chunked;
}

ContentLength contentLength(const Headers& headers)
{
    ContentLength result;
    for (const auto& header : headers) {
        if (header.first.compare("Content-Length", Qt::CaseInsensitive) != 0)
            continue;
        const QByteArray& value = header.second;
        bool ok = !value.isEmpty() && value.size() <= 18;
        for (char c : value)
            ok = ok && c >= '0' && c <= '9';
        const qsizetype length = ok ? value.toLongLong(&ok) : -1;
        if (!ok || (result.present && length != result.length)) {
            result.valid = false;
            return result;
        }
        result.present = true;
        result.length = length;
    }
    return result;
}

ChunkedBody decodeChunked(QByteArrayView data, qsizetype maximumBodySize, qsizetype maximumTrailerSize)
{
    ChunkedBody result;
    qsizetype pos = 0;
    for (;;) {
        // The line is too long whether or not its end has arrived, so that
        // the answer does not depend on how the bytes were split.
        const QByteArrayView sizeLine = data.sliced(pos).first(qMin(data.size() - pos, maximumChunkSizeLine + 2));
        const qsizetype eol = sizeLine.indexOf(lineEnd);
        if (eol < 0) {
            if (sizeLine.size() <= maximumChunkSizeLine + 1)
                return {};
            return failed(ChunkedBody::Status::Malformed, "chunk size line too long");
        }
        QByteArrayView sizeText = sizeLine.first(eol);
        const qsizetype semicolon = sizeText.indexOf(';');
        if (semicolon >= 0)
            sizeText = sizeText.first(semicolon);
        const qsizetype size = chunkSize(sizeText.trimmed());
        if (size < 0)
            return failed(ChunkedBody::Status::Malformed, "malformed chunk size");
        pos += eol + lineEnd.size();
        if (size == 0)
            return skipTrailer(data, pos, maximumTrailerSize, std::move(result));
        if (result.body.size() + size > maximumBodySize)
            return failed(ChunkedBody::Status::TooLarge, "body too large");
        if (data.size() - pos < size + lineEnd.size())
            return {};
        result.body.append(data.sliced(pos, size));
        pos += size;
        if (data.sliced(pos, lineEnd.size()) != lineEnd)
            return failed(ChunkedBody::Status::Malformed, "chunk not terminated");
        pos += lineEnd.size();
    }
}

} // namespace HttpWireFormat
