#include "core/LinkError.h"

#include "core/MachineRegistrationError.h"

QString LinkError::description() const
{
    switch (m_kind) {
    case Kind::duplicateName:
    case Kind::systemError:
        return m_message;
    case Kind::apiError:
        return MachineRegistrationError::apiErrorText(m_status, m_message);
    case Kind::networkError:
        return MachineRegistrationError::networkErrorText(m_message);
    case Kind::notConfigured:
        return QStringLiteral("Machine not configured");
    case Kind::signFailed:
        return QStringLiteral("Failed to create signed request");
    }
    return m_message;
}
