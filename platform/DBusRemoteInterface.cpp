#include "platform/DBusRemoteInterface.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>

DBusRemoteInterface::DBusRemoteInterface(QDBusConnection bus, QString service, QString path, QString interface)
    : m_bus(std::move(bus))
    , m_service(std::move(service))
    , m_path(std::move(path))
    , m_interface(std::move(interface))
{
}

DBusRemoteInterface DBusRemoteInterface::object(const QString& path, const QString& interface) const
{
    return DBusRemoteInterface(m_bus, m_service, path, interface);
}

void DBusRemoteInterface::call(const QString& method, const QVariantList& arguments, QObject* receiver,
                               Answer answer) const
{
    QDBusMessage message = QDBusMessage::createMethodCall(m_service, m_path, m_interface, method);
    message.setArguments(arguments);
    const QDBusPendingCall pending = m_bus.asyncCall(message, callTimeoutMilliseconds);
    if (!answer)
        return;
    auto* watcher = new QDBusPendingCallWatcher(pending, receiver);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, receiver,
                     [watcher, answer = std::move(answer)] {
                         watcher->deleteLater();
                         answer(*watcher);
                     });
}

bool DBusRemoteInterface::subscribe(const QString& signal, QObject* receiver, const char* slot)
{
    return m_bus.connect(m_service, m_path, m_interface, signal, receiver, slot);
}

void DBusRemoteInterface::unsubscribe(const QString& signal, QObject* receiver, const char* slot)
{
    m_bus.disconnect(m_service, m_path, m_interface, signal, receiver, slot);
}
