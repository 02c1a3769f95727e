#include "core/ApiUrl.h"

#include "core/CoreConstants.h"

#include <QStringList>

namespace ApiUrl {

QString pathSegment(const QString& value)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(value));
}

QUrl endpoint(const QString& path)
{
    const QUrl url(CoreConstants::apiBaseURL() + path, QUrl::StrictMode);
    const QStringList segments = url.path(QUrl::FullyEncoded).split(u'/');
    if (segments.contains(QLatin1String(".")) || segments.contains(QLatin1String("..")))
        return {};
    return url;
}

} // namespace ApiUrl
