#pragma once

#include <QString>
#include <QUrl>
#include <optional>

// The URL the web sign-in sends back through our "quorvane" scheme: the one-time
// code is the value of its first query item named "code", and the value of its
// first "state" item is the one the sign-in page was opened with; the path and
// other items mean nothing.
namespace SignInCallback {

// Longest callback URL that is looked at (the local hand-over carries 4 KiB at most).
inline constexpr qsizetype maximumLength = 4096;

// Whether the URL uses our scheme, exactly "quorvane".
bool hasOurScheme(const QUrl& url);

// The value of the first "code" item; nothing when the URL is invalid or too
// long, has no query, no such item, or the value is empty.
std::optional<QString> code(const QUrl& url);

// The value of the first "state" item, under the same rules as code().
std::optional<QString> state(const QUrl& url);

// A fresh value for one sign-in attempt: 32 bytes from the system's secure
// random source as base64url without padding (43 characters).
QString newState();

} // namespace SignInCallback
