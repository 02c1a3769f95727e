#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QStringList>
#include <QVariantMap>

// A freedesktop notification server on the test's private session bus
// (scripts/with-test-session), on a connection of its own so that the code
// under test talks to it over the bus: records each Notify call, hands out ids
// from 41 as servers do, and sends the signals a server sends when the person
// clicks or dismisses a notification.
class StandInNotificationServer : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    struct Call
    {
        QString appName;
        uint replacesId = 0;
        QString summary;
        QString body;
        QStringList actions;
        QVariantMap hints;
    };

    StandInNotificationServer();
    ~StandInNotificationServer() override;

    // Takes the service name; false when the bus refuses.
    bool registerOnBus();
    void emitSignal(const QString& name, const QVariantList& arguments);
    // ActionInvoked(id, "default"): the click on the notification.
    void click(uint id) { emitSignal(QStringLiteral("ActionInvoked"), {id, QStringLiteral("default")}); }
    // The same signal sent by another program on the bus, not by the server.
    static void forgeSignal(const QString& name, const QVariantList& arguments);

    QList<Call> calls;
    QList<uint> closed; // ids asked to close

public Q_SLOTS:
    QStringList GetCapabilities() { return {QStringLiteral("actions"), QStringLiteral("body"), QStringLiteral("body-markup")}; }
    uint Notify(const QString& appName, uint replacesId, const QString& appIcon, const QString& summary,
                const QString& body, const QStringList& actions, const QVariantMap& hints, int timeout);
    void CloseNotification(uint id) { closed.append(id); }

private:
    QDBusConnection m_bus;
    uint m_nextId = 40;
};
