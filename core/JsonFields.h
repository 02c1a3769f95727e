#pragma once

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

} // namespace JsonFields
