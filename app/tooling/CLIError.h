#pragma once

#include <QMetaType>
#include <QString>

#include <concepts>
#include <optional>
#include <utility>
#include <variant>

// Why a run of the product tool, an administrator command or a runtime install
// step failed. description() is the text shown to the person.
class CLIError
{
public:
    enum class Kind {
        nonZeroExit, // the tool exited with a status other than 0
        installFailed, // an install step failed; the message is shown as is
        launchFailed, // the process could not be started (the system's launch error)
        cancelled, // the caller cancelled the operation
        systemError, // a network or file error, described by the system's text
        timedOut, // the tool was stopped at its deadline (the status carries the seconds)
        outputTooLarge, // the tool printed more than a run may (a line or in all); it was stopped
    };

    static CLIError nonZeroExit(int status) { return CLIError(Kind::nonZeroExit, status, {}); }
    static CLIError installFailed(const QString& message) { return CLIError(Kind::installFailed, 0, message); }
    static CLIError launchFailed(const QString& description) { return CLIError(Kind::launchFailed, 0, description); }
    static CLIError cancelled() { return CLIError(Kind::cancelled, 0, QStringLiteral("Cancelled")); }
    static CLIError systemError(const QString& description) { return CLIError(Kind::systemError, 0, description); }
    static CLIError timedOut(int seconds) { return CLIError(Kind::timedOut, seconds, {}); }
    static CLIError outputTooLarge()
    {
        return CLIError(Kind::outputTooLarge, 0, QStringLiteral("CLI output exceeded the size limit"));
    }

    Kind kind() const { return m_kind; }
    // The exit status carried by nonZeroExit (0 otherwise).
    int exitStatus() const { return m_status; }
    // "CLI exited with code N" for nonZeroExit, "CLI did not finish within N
    // seconds" for timedOut, the carried text otherwise.
    QString description() const;

    bool operator==(const CLIError& other) const = default;

private:
    CLIError(Kind kind, int status, QString text) : m_kind(kind), m_status(status), m_text(std::move(text)) {}

    Kind m_kind;
    int m_status;
    QString m_text;
};

// A value or the CLIError that prevented it. CLIResult<void> carries only the error.
template <typename T>
class CLIResult
{
public:
    // A default value (QCoro::waitFor needs one to exist).
    CLIResult()
        requires std::default_initializable<T>
    = default;
    CLIResult(T value) : m_data(std::in_place_index<0>, std::move(value)) {}
    CLIResult(CLIError error) : m_data(std::in_place_index<1>, std::move(error)) {}

    bool ok() const { return m_data.index() == 0; }
    explicit operator bool() const { return ok(); }
    const T& value() const { return std::get<0>(m_data); }
    T& value() { return std::get<0>(m_data); }
    const CLIError& error() const { return std::get<1>(m_data); }

private:
    std::variant<T, CLIError> m_data;
};

template <>
class CLIResult<void>
{
public:
    CLIResult() = default;
    CLIResult(CLIError error) : m_error(std::move(error)) {}

    bool ok() const { return !m_error.has_value(); }
    explicit operator bool() const { return ok(); }
    const CLIError& error() const { return *m_error; }

private:
    std::optional<CLIError> m_error;
};
