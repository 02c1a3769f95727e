// Feeds arbitrary values to the builder of back-end addresses: a value spliced
// into a path stays one segment of that path, on the API origin, and decodes
// back to itself; it can never change the host, the query or the route.
#include "core/ApiUrl.h"
#include "core/CoreConstants.h"

#include <QStringList>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString value = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    const QString segment = ApiUrl::pathSegment(value);
    const QUrl url = ApiUrl::endpoint(QStringLiteral("/approvals/") + segment + QStringLiteral("/respond"));
    if (!url.isValid())
        return 0; // refused, e.g. a dot segment
    const QUrl origin(CoreConstants::apiBaseURL());
    if (url.scheme() != origin.scheme() || url.host() != origin.host() || url.port() != origin.port()
        || url.hasQuery() || url.hasFragment())
        __builtin_trap();
    const QStringList segments = url.path(QUrl::FullyEncoded).split(u'/');
    if (segments.size() != 4 || segments.at(1) != QLatin1String("approvals") || segments.at(3) != QLatin1String("respond"))
        __builtin_trap();
    if (QUrl::fromPercentEncoding(segments.at(2).toLatin1()) != value && value.isValidUtf16())
        __builtin_trap();
    return 0;
}
