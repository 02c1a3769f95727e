#pragma once

#include <QString>
#include <cstdint>

// Why registerMachine failed. description() is the text shown to the person.
class MachineRegistrationError
{
public:
    enum class Kind {
        apiError, // the back-end answered with a status other than 200 or 201
        networkError, // no usable HTTP answer
        keychainWriteFailed, // the credential store refused the key item
        fileWriteFailed, // machine.json or public-key could not be written
        alreadyRegistered,
        systemError, // a transfer or decoding failure, described by its own text
    };

    static MachineRegistrationError apiError(int status, const QString& message)
    {
        return { Kind::apiError, status, message };
    }
    static MachineRegistrationError networkError(const QString& message)
    {
        return { Kind::networkError, 0, message };
    }
    static MachineRegistrationError keychainWriteFailed(std::int32_t status)
    {
        return { Kind::keychainWriteFailed, status, {} };
    }
    static MachineRegistrationError fileWriteFailed(const QString& message)
    {
        return { Kind::fileWriteFailed, 0, message };
    }
    static MachineRegistrationError alreadyRegistered() { return { Kind::alreadyRegistered, 0, {} }; }
    static MachineRegistrationError systemError(const QString& description)
    {
        return { Kind::systemError, 0, description };
    }

    Kind kind() const { return m_kind; }
    // The HTTP status of apiError, the store's status of keychainWriteFailed.
    int code() const { return m_code; }
    QString message() const { return m_message; }
    QString description() const;

    // The texts both registration and linking show for these two failures.
    static QString apiErrorText(int status, const QString& message);
    static QString networkErrorText(const QString& message);

    bool operator==(const MachineRegistrationError&) const = default;

private:
    MachineRegistrationError(Kind kind, int code, QString message)
        : m_kind(kind)
        , m_code(code)
        , m_message(std::move(message))
    {
    }

    Kind m_kind;
    int m_code;
    QString m_message;
};
