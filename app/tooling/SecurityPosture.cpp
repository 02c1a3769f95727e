#include "app/tooling/SecurityPosture.h"

namespace SecurityPostures {

namespace {

struct PostureTexts
{
    QString rawValue;
    QString description;
    QString templateName;
};

PostureTexts textsOf(SecurityPosture posture)
{
    switch (posture) {
    case SecurityPosture::personal:
        return {QStringLiteral("Personal Assistant"),
                QStringLiteral(
                    "Permissive on reads and drafts. Strict on sending emails, posting, and external actions."),
                QStringLiteral("personal-assistant")};
    case SecurityPosture::restrictive:
        return {QStringLiteral("Restrictive"),
                QStringLiteral("Everything except reading files requires your approval."),
                QStringLiteral("restrictive")};
    case SecurityPosture::developer:
        break;
    }
    return {QStringLiteral("Developer Workstation"),
            QStringLiteral("Permissive on dev tools. Strict on deploy, publish, and install."),
            QStringLiteral("developer-workstation")};
}

} // namespace

QList<SecurityPosture> all()
{
    return {SecurityPosture::developer, SecurityPosture::personal, SecurityPosture::restrictive};
}

QString rawValue(SecurityPosture posture)
{
    return textsOf(posture).rawValue;
}

QString description(SecurityPosture posture)
{
    return textsOf(posture).description;
}

QString templateName(SecurityPosture posture)
{
    return textsOf(posture).templateName;
}

bool isRecommended(SecurityPosture posture)
{
    return posture == SecurityPosture::developer;
}

std::optional<SecurityPosture> fromRawValue(const QString& text)
{
    for (const SecurityPosture posture : all()) {
        if (rawValue(posture) == text)
            return posture;
    }
    return std::nullopt;
}

SecurityPosture fromSetting(const QString& setting)
{
    if (const std::optional<SecurityPosture> posture = fromRawValue(setting))
        return *posture;
    if (setting == QLatin1String("personal"))
        return SecurityPosture::personal;
    if (setting == QLatin1String("restrictive"))
        return SecurityPosture::restrictive;
    return SecurityPosture::developer;
}

} // namespace SecurityPostures
