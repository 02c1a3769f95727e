#pragma once

#include <QString>

#include <optional>

// Starting the program when the person logs in. XdgAutostartLoginItem is the
// Linux one (an autostart desktop entry).
class LoginItem
{
public:
    virtual ~LoginItem() = default;

    // The program starts at the next log-in; otherwise the failure's description.
    virtual std::optional<QString> registerItem() = 0;
    // The program no longer starts at log-in; otherwise the failure's description.
    // Nothing registered is not a failure.
    virtual std::optional<QString> unregisterItem() = 0;
    virtual bool isRegistered() const = 0;
};
