#include "tests/support/StandInStatusNotifierWatcher.h"

#include <QDBusVariant>

namespace {

constexpr QLatin1String connectionName("stand-in-status-notifier-watcher");
constexpr QLatin1String objectPath("/StatusNotifierWatcher");
constexpr QLatin1String serviceName("org.kde.StatusNotifierWatcher");

} // namespace

StandInStatusNotifierWatcher::StandInStatusNotifierWatcher()
    : m_bus(QDBusConnection::connectToBus(QDBusConnection::SessionBus, connectionName))
{
}

StandInStatusNotifierWatcher::~StandInStatusNotifierWatcher()
{
    stop();
    QDBusConnection::disconnectFromBus(connectionName);
}

bool StandInStatusNotifierWatcher::start()
{
    return m_bus.registerObject(objectPath, this,
                                QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllProperties
                                    | QDBusConnection::ExportAllSignals)
        && m_bus.registerService(serviceName);
}

void StandInStatusNotifierWatcher::stop()
{
    m_bus.unregisterService(serviceName);
    m_bus.unregisterObject(objectPath);
}

void StandInStatusNotifierWatcher::RegisterStatusNotifierItem(const QString& service)
{
    registered.append(service);
    Q_EMIT StatusNotifierItemRegistered(service);
}

QDBusMessage StandInStatusNotifierWatcher::callItem(const QString& service, const QString& path,
                                                    const QString& interface, const QString& method,
                                                    const QVariantList& arguments)
{
    QDBusMessage call = QDBusMessage::createMethodCall(service, path, interface, method);
    call.setArguments(arguments);
    // The item may live in this very thread: its answer needs our event loop.
    return m_bus.call(call, QDBus::BlockWithGui, 5000);
}

QVariant StandInStatusNotifierWatcher::itemProperty(const QString& service, const QString& name)
{
    const QDBusMessage reply
        = callItem(service, QStringLiteral("/StatusNotifierItem"), QStringLiteral("org.freedesktop.DBus.Properties"),
                   QStringLiteral("Get"), {QStringLiteral("org.kde.StatusNotifierItem"), name});
    return reply.arguments().isEmpty() ? QVariant() : reply.arguments().first().value<QDBusVariant>().variant();
}
