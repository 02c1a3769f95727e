#pragma once

#include <QString>
#include <QUrl>

// Back-end addresses: the API origin followed by a path. Values spliced into a
// path (action ids, machine ids) are percent-encoded as one segment, so that no
// value can change the path, the query or the host.
namespace ApiUrl {

// One path segment: everything but RFC 3986's unreserved characters is encoded.
QString pathSegment(const QString& value);

// CoreConstants::apiBaseURL() + path; an invalid URL when it does not parse or
// holds a dot segment ("." or ".."), which a server would resolve into another
// path (percent-encoding cannot hide them: "%2E" means ".").
QUrl endpoint(const QString& path);

} // namespace ApiUrl
