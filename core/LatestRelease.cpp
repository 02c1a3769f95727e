#include "core/LatestRelease.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

namespace {

enum class Presence { required, optional };

// Reads one text member; false (with the reason) when it has the wrong shape.
bool readText(const QJsonObject& object, QLatin1String key, Presence presence, std::optional<QString>& out,
              QString& error)
{
    const auto it = object.constFind(key);
    if (it == object.constEnd() || it->isNull()) {
        if (presence == Presence::required) {
            error = QStringLiteral("LatestRelease: required key \"%1\" is missing").arg(key);
            return false;
        }
        out.reset();
        return true;
    }
    if (!it->isString()) {
        error = QStringLiteral("LatestRelease: key \"%1\" is not a string").arg(key);
        return false;
    }
    out = it->toString();
    return true;
}

// A positive whole number of bytes that a double holds exactly.
bool readSize(const QJsonObject& object, std::optional<qint64>& out, QString& error)
{
    constexpr double largestExact = 9007199254740992.0; // 2^53
    const auto it = object.constFind(QLatin1String("size"));
    if (it == object.constEnd() || it->isNull()) {
        out.reset();
        return true;
    }
    const double value = it->toDouble(-1);
    if (!it->isDouble() || value < 1 || value > largestExact || value != double(qint64(value))) {
        error = QStringLiteral("LatestRelease: key \"size\" is not a positive whole number");
        return false;
    }
    out = qint64(value);
    return true;
}

} // namespace

std::optional<LatestRelease> LatestRelease::fromJson(const QByteArray& json, QString* error)
{
    QString reason;
    const auto fail = [&]() -> std::optional<LatestRelease> {
        if (error)
            *error = reason;
        return std::nullopt;
    };

    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        reason = QStringLiteral("LatestRelease: invalid JSON at offset %1: %2")
                     .arg(parseError.offset)
                     .arg(parseError.errorString());
        return fail();
    }
    if (!document.isObject()) {
        reason = QStringLiteral("LatestRelease: the answer is not a JSON object");
        return fail();
    }
    const QJsonObject object = document.object();

    std::optional<QString> version, url, sha256, signature;
    std::optional<qint64> size;
    if (!readText(object, QLatin1String("version"), Presence::required, version, reason)
        || !readText(object, QLatin1String("url"), Presence::required, url, reason)
        || !readText(object, QLatin1String("sha256"), Presence::optional, sha256, reason)
        || !readText(object, QLatin1String("signature"), Presence::optional, signature, reason)
        || !readSize(object, size, reason))
        return fail();

    return LatestRelease{*version, *url, sha256, signature, size};
}

std::optional<QString> LatestRelease::hostAsWritten(const QString& url)
{
    const qsizetype schemeEnd = url.indexOf(QLatin1String("://"));
    if (schemeEnd <= 0)
        return std::nullopt;
    QStringView authority = QStringView(url).mid(schemeEnd + 3);
    for (qsizetype i = 0; i < authority.size(); ++i) {
        if (authority[i] == u'/' || authority[i] == u'?' || authority[i] == u'#') {
            authority = authority.left(i);
            break;
        }
    }
    if (const qsizetype at = authority.lastIndexOf(u'@'); at >= 0)
        authority = authority.mid(at + 1);
    QStringView host = authority;
    if (host.startsWith(u'[')) {
        const qsizetype close = host.indexOf(u']');
        if (close < 0)
            return std::nullopt;
        host = host.mid(1, close - 1);
    } else if (const qsizetype colon = host.indexOf(u':'); colon >= 0) {
        host = host.left(colon);
    }
    if (host.isEmpty())
        return std::nullopt;
    return host.toString();
}
