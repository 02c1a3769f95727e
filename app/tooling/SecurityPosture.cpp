#include "app/tooling/SecurityPosture.h"

#include <QCoreApplication>

namespace SecurityPostures {

namespace {

// The label and the description are translated where they are shown.
struct PostureTexts
{
    const char* rawValue;
    const char* description;
    const char* templateName;
};

PostureTexts textsOf(SecurityPosture posture)
{
    switch (posture) {
    case SecurityPosture::personal:
        return {QT_TRANSLATE_NOOP("SecurityPosture", "Personal Assistant"),
                QT_TRANSLATE_NOOP("SecurityPosture",
                    "Permissive on reads and drafts. Strict on sending emails, posting, and external actions."),
                "personal-assistant"};
    case SecurityPosture::restrictive:
        return {QT_TRANSLATE_NOOP("SecurityPosture", "Restrictive"),
                QT_TRANSLATE_NOOP("SecurityPosture", "Everything except reading files requires your approval."),
                "restrictive"};
    case SecurityPosture::developer:
        break;
    }
    return {QT_TRANSLATE_NOOP("SecurityPosture", "Developer Workstation"),
            QT_TRANSLATE_NOOP("SecurityPosture", "Permissive on dev tools. Strict on deploy, publish, and install."),
            "developer-workstation"};
}

} // namespace

QList<SecurityPosture> all()
{
    return {SecurityPosture::developer, SecurityPosture::personal, SecurityPosture::restrictive};
}

QString rawValue(SecurityPosture posture)
{
    return QString::fromLatin1(textsOf(posture).rawValue);
}

QString label(SecurityPosture posture)
{
    return QCoreApplication::translate("SecurityPosture", textsOf(posture).rawValue);
}

QString description(SecurityPosture posture)
{
    return QCoreApplication::translate("SecurityPosture", textsOf(posture).description);
}

QString templateName(SecurityPosture posture)
{
    return QString::fromLatin1(textsOf(posture).templateName);
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

} // namespace SecurityPostures
