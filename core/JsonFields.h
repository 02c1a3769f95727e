#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QLatin1String>
#include <QString>

#include <optional>

// Reading members of JSON objects written by our peers (the back-end, the
// product CLI), with one rule for optional text everywhere.
namespace JsonFields {

// An optional text member: absent or null leaves `out` empty and succeeds; a
// string fills `out`; any other type fails (false), so the caller can refuse
// the whole record.
bool readOptionalText(const QJsonObject& object, QLatin1String key, std::optional<QString>& out);

// The JSON object a body of at most `limit` bytes holds; nothing for a larger
// body, malformed JSON or another top-level value.
std::optional<QJsonObject> parseObject(const QByteArray& json, qsizetype limit);

} // namespace JsonFields
