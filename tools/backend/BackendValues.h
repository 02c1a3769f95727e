#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QString>

#include <optional>

// Values the reference back-end makes and reads: ids, tokens, times and JSON
// strings.
namespace BackendValues {

// The prefix and 16 random hex digits ("m-…", "act-…").
QString newId(const char* prefix);
// 64 random hex digits.
QString newToken();
// UTC, ISO 8601 with milliseconds.
QString iso(const QDateTime& t);
// `s` as a JSON string literal, quotes included.
QByteArray jsonString(const QString& s);
// ISO 8601 date-time with a zone ("Z" or a numeric offset), with or without
// fractional seconds. A time without a zone is refused rather than guessed.
std::optional<QDateTime> parseZonedTime(const QString& text);
// A request body that is one JSON object, or nothing.
std::optional<QJsonObject> parseObject(const QByteArray& body);

} // namespace BackendValues
