#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QStringList>

// A StatusNotifierWatcher with a host, as a tray bar runs it, on the test's
// private session bus and on a connection of its own, so that the item under
// test is reached over the bus: records the items that register, and plays
// the host's calls on them.
class StandInStatusNotifierWatcher : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ isHostRegistered)
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ registeredItems)
    Q_PROPERTY(int ProtocolVersion READ protocolVersion)

public:
    StandInStatusNotifierWatcher();
    ~StandInStatusNotifierWatcher() override;

    // Takes the watcher's name; false when the bus refuses.
    bool start();
    // Gives the name up, as a bar that quits does.
    void stop();

    bool isHostRegistered() const { return true; }
    QStringList registeredItems() const { return registered; }
    int protocolVersion() const { return 0; }

    // A call on the item registered as service, as the host makes it; the reply.
    QDBusMessage callItem(const QString& service, const QString& path, const QString& interface,
                          const QString& method, const QVariantList& arguments = {});
    QVariant itemProperty(const QString& service, const QString& name);

    QStringList registered;

public Q_SLOTS:
    void RegisterStatusNotifierItem(const QString& service);
    void RegisterStatusNotifierHost(const QString& /*service*/) { }

Q_SIGNALS:
    void StatusNotifierItemRegistered(const QString& service);
    void StatusNotifierHostRegistered();

private:
    QDBusConnection m_bus;
};
