#pragma once

#include <QList>
#include <QObject>
#include <QString>

// Announces something to the person through the desktop's own notifications.
// FreedesktopNotifier is the Linux one.
class DesktopNotifier : public QObject
{
    Q_OBJECT

public:
    // A button of the notification: actionInvoked(key) when chosen.
    struct Action
    {
        QString key;
        QString label;
        bool operator==(const Action&) const = default;
    };

    using QObject::QObject;

    // Shows a notification, replacing the one shown before (a burst of
    // announcements leaves one notification, not a stack). The body is plain
    // text, whatever the server makes of markup.
    virtual void notify(const QString& summary, const QString& body, const QList<Action>& actions) = 0;
    // Takes back every notification of ours still shown.
    virtual void withdrawAll() = 0;

Q_SIGNALS:
    // The person clicked the notification (its default action).
    void activated();
    // The person chose one of the actions of the notification shown last.
    void actionInvoked(const QString& key);
};
