#include "core/SignInCallback.h"

#include "core/CoreConstants.h"

#include <QUrlQuery>

namespace SignInCallback {

bool hasOurScheme(const QUrl& url)
{
    return url.scheme() == QLatin1String(CoreConstants::urlScheme);
}

std::optional<QString> code(const QUrl& url)
{
    if (!url.isValid() || !url.hasQuery() || url.toEncoded().size() > maximumLength)
        return std::nullopt;
    const QList<QPair<QString, QString>> items = QUrlQuery(url).queryItems(QUrl::FullyDecoded);
    for (const auto& [name, value] : items) {
        if (name == QLatin1String("code"))
            return value.isEmpty() ? std::nullopt : std::optional<QString>(value);
    }
    return std::nullopt;
}

} // namespace SignInCallback
