#pragma once

#include "platform/DBusRemoteInterface.h"
#include "platform/DesktopNotifier.h"

#include <QDBusConnection>

// Notifications over the freedesktop Notifications service
// (org.freedesktop.Notifications on the session bus). Each one carries the
// "default" action, which notification servers run when the notification is
// clicked; its ActionInvoked signal for our notification becomes activated(),
// for one of the notification's own actions actionInvoked(key). Only the
// notification server's own signals count: QtDBus takes those of the name's
// owner only.
// Without a notification server the call fails and nothing is shown.
class FreedesktopNotifier : public DesktopNotifier
{
    Q_OBJECT

public:
    explicit FreedesktopNotifier(QDBusConnection bus = QDBusConnection::sessionBus(), QObject* parent = nullptr);

    void notify(const QString& summary, const QString& body, const QList<Action>& actions) override;
    // Closes the notification shown last (each one replaces the one before).
    void withdrawAll() override;

    // The server's id of the notification shown last; 0 before the first answer.
    uint lastId() const { return m_lastId; }

private Q_SLOTS:
    void onActionInvoked(uint id, const QString& actionKey);
    void onNotificationClosed(uint id, uint reason);

private:
    DBusRemoteInterface m_notifications;
    uint m_lastId = 0;
    QStringList m_actionKeys; // those of the notification shown last
    bool m_bodyIsMarkup = true; // until the server says otherwise: most read markup
};
