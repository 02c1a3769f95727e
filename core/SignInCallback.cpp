#include "core/SignInCallback.h"

#include "core/CoreConstants.h"

#include <QRandomGenerator>
#include <QUrlQuery>

#include <array>

namespace SignInCallback {

namespace {

std::optional<QString> firstItem(const QUrl& url, QLatin1String wanted)
{
    if (!url.isValid() || !url.hasQuery() || url.toEncoded().size() > maximumLength)
        return std::nullopt;
    const QList<QPair<QString, QString>> items = QUrlQuery(url).queryItems(QUrl::FullyDecoded);
    for (const auto& [name, value] : items) {
        if (name == wanted)
            return value.isEmpty() ? std::nullopt : std::optional<QString>(value);
    }
    return std::nullopt;
}

} // namespace

bool hasOurScheme(const QUrl& url)
{
    return url.scheme() == QLatin1String(CoreConstants::urlScheme);
}

std::optional<QString> code(const QUrl& url)
{
    return firstItem(url, QLatin1String("code"));
}

std::optional<QString> state(const QUrl& url)
{
    return firstItem(url, QLatin1String("state"));
}

QString newState()
{
    // The system generator reads the kernel's random source (getrandom).
    std::array<quint32, 8> words{};
    QRandomGenerator::system()->generate(words.begin(), words.end());
    const QByteArray bytes(reinterpret_cast<const char*>(words.data()), qsizetype(sizeof words));
    return QString::fromLatin1(bytes.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals));
}

} // namespace SignInCallback
