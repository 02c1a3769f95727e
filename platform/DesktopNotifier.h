#pragma once

#include <QObject>
#include <QString>

// Announces something to the person through the desktop's own notifications.
// FreedesktopNotifier is the Linux one.
class DesktopNotifier : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    // Shows a notification, replacing the one shown before (a burst of
    // announcements leaves one notification, not a stack).
    virtual void notify(const QString& summary, const QString& body) = 0;
    // Takes back every notification of ours still shown.
    virtual void withdrawAll() = 0;

Q_SIGNALS:
    // The person clicked the notification (its default action).
    void activated();
};
