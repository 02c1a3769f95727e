#pragma once

#include <QString>

// Why linkAgent failed. description() is the text shown to the person.
class LinkError
{
public:
    enum class Kind {
        duplicateName, // 409: an agent of that name is already linked to this machine
        apiError, // any other status than 200
        networkError, // no usable HTTP answer
        notConfigured, // no identity loaded; nothing was sent
        signFailed, // the signed request could not be built
        systemError, // a transfer or decoding failure, described by its own text
    };

    static LinkError duplicateName(const QString& message) { return { Kind::duplicateName, 0, message }; }
    static LinkError apiError(int status, const QString& message)
    {
        return { Kind::apiError, status, message };
    }
    static LinkError networkError(const QString& message) { return { Kind::networkError, 0, message }; }
    static LinkError notConfigured() { return { Kind::notConfigured, 0, {} }; }
    static LinkError signFailed() { return { Kind::signFailed, 0, {} }; }
    static LinkError systemError(const QString& description) { return { Kind::systemError, 0, description }; }

    Kind kind() const { return m_kind; }
    int status() const { return m_status; }
    QString message() const { return m_message; }
    QString description() const;

    bool operator==(const LinkError&) const = default;

private:
    LinkError(Kind kind, int status, QString message)
        : m_kind(kind)
        , m_status(status)
        , m_message(std::move(message))
    {
    }

    Kind m_kind;
    int m_status;
    QString m_message;
};
