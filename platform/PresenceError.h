#pragma once

#include <QCoreApplication>
#include <QString>

// Why a presence confirmation did not succeed: the person dismissed the prompt
// (`cancelled`), or it failed with a message to show (`failed`).
struct PresenceError
{
    enum class Kind { Failed, Cancelled };

    Kind kind = Kind::Failed;
    QString message; // only for Failed

    static PresenceError failed(const QString& message) { return {Kind::Failed, message}; }
    static PresenceError cancelled() { return {Kind::Cancelled, {}}; }

    bool isCancelled() const { return kind == Kind::Cancelled; }
    // The text shown to the person.
    QString description() const
    {
        return kind == Kind::Cancelled
            ? QCoreApplication::translate("PresenceConfirmer", "Authentication cancelled")
            : message;
    }

    bool operator==(const PresenceError&) const = default;
};
