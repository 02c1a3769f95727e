#include "tests/support/StandInNotificationServer.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>

namespace {

constexpr QLatin1String connectionName("stand-in-notification-server");
constexpr QLatin1String objectPath("/org/freedesktop/Notifications");
constexpr QLatin1String serviceName("org.freedesktop.Notifications");

} // namespace

StandInNotificationServer::StandInNotificationServer()
    : m_bus(QDBusConnection::connectToBus(QDBusConnection::SessionBus, connectionName))
{
}

StandInNotificationServer::~StandInNotificationServer()
{
    m_bus.unregisterObject(objectPath);
    m_bus.unregisterService(serviceName);
    QDBusConnection::disconnectFromBus(connectionName);
}

bool StandInNotificationServer::registerOnBus()
{
    return m_bus.registerObject(objectPath, this, QDBusConnection::ExportAllSlots) && m_bus.registerService(serviceName);
}

void StandInNotificationServer::emitSignal(const QString& name, const QVariantList& arguments)
{
    QDBusMessage signal = QDBusMessage::createSignal(objectPath, serviceName, name);
    signal.setArguments(arguments);
    m_bus.send(signal);
}

void StandInNotificationServer::forgeSignal(const QString& name, const QVariantList& arguments)
{
    const QString forger = QStringLiteral("notification-forger");
    {
        QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, forger);
        QDBusMessage signal = QDBusMessage::createSignal(objectPath, serviceName, name);
        signal.setArguments(arguments);
        bus.send(signal);
        bus.interface()->call(QStringLiteral("GetId")); // the signal has left once the bus answers
    }
    QDBusConnection::disconnectFromBus(forger);
}

uint StandInNotificationServer::Notify(const QString& appName, uint replacesId, const QString& /*appIcon*/,
                                       const QString& summary, const QString& body, const QStringList& actions,
                                       const QVariantMap& hints, int /*timeout*/)
{
    calls.append({appName, replacesId, summary, body, actions, hints});
    return replacesId != 0 ? replacesId : ++m_nextId;
}
