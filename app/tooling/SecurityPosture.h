#pragma once

#include <QList>
#include <QObject>
#include <QString>

#include <optional>

namespace SecurityPostures {
Q_NAMESPACE

// The baseline rule set new agents start from. The raw value is the English
// label; label() is what the chooser shows; the template name is what the
// product tool expects.
enum class SecurityPosture { developer, personal, restrictive };
Q_ENUM_NS(SecurityPosture)

// In the order the chooser lists them.
QList<SecurityPosture> all();
QString rawValue(SecurityPosture posture);
QString label(SecurityPosture posture);
QString description(SecurityPosture posture);
QString templateName(SecurityPosture posture);
// Only the developer posture is marked "Recommended".
bool isRecommended(SecurityPosture posture);
// Exact match of a raw value; any other text gives none.
std::optional<SecurityPosture> fromRawValue(const QString& rawValue);

} // namespace SecurityPostures

using SecurityPosture = SecurityPostures::SecurityPosture;
