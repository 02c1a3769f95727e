#pragma once

#include <QString>

// Which web origins the program talks to.
namespace OriginCheck {

// Whether an origin is acceptable: https with a host, or plain http only for a
// loopback host; no path beyond "/", no query, no user info.
bool isAcceptable(const QString& origin);

} // namespace OriginCheck
