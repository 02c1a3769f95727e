#include "core/MachineRegistrationError.h"

QString MachineRegistrationError::apiErrorText(int status, const QString& message)
{
    return QStringLiteral("API error (") + QString::number(status) + QStringLiteral("): ") + message;
}

QString MachineRegistrationError::networkErrorText(const QString& message)
{
    return QStringLiteral("Network error: ") + message;
}

QString MachineRegistrationError::description() const
{
    switch (m_kind) {
    case Kind::apiError:
        return apiErrorText(m_code, m_message);
    case Kind::networkError:
        return networkErrorText(m_message);
    case Kind::keychainWriteFailed:
        return QStringLiteral("Keychain write failed: ") + QString::number(m_code);
    case Kind::fileWriteFailed:
        return QStringLiteral("File write failed: ") + m_message;
    case Kind::alreadyRegistered:
        return QStringLiteral("Machine is already registered");
    case Kind::systemError:
        return m_message;
    }
    return m_message;
}
