#pragma once

#include <QByteArray>
#include <QString>

// Request bodies of the back-end contract are fixed texts with values spliced
// in. These helpers keep them valid JSON for any value while leaving ordinary
// values byte for byte as they are.
namespace JsonText {

// The value as the body of a JSON string (without the surrounding quotes):
// '"', '\' and control characters are escaped, everything else is kept.
QByteArray escaped(const QString& value);

} // namespace JsonText
