#pragma once

#include <QObject>

// A key combination that reaches the program wherever the focus is, where the
// desktop offers such a thing (PortalGlobalShortcut on Linux). Where it does
// not, nothing happens and nothing is reported to the person.
class GlobalShortcut : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    // Asks the desktop for the shortcut; it may ask the person to confirm or
    // choose the keys. Returns at once.
    virtual void bind() = 0;
    // Whether the desktop has taken the shortcut.
    virtual bool isBound() const = 0;

Q_SIGNALS:
    void activated();
    void isBoundChanged(bool bound);
};
