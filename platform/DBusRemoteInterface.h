#pragma once

#include <QDBusConnection>
#include <QDBusPendingCall>
#include <QString>
#include <QVariantList>

#include <functional>

class QObject;

// One interface of an object on a bus, as the desktop services are spoken to:
// calls that never block, each with a deadline, whose answer comes back on the
// receiver's thread, and bus signals delivered to a receiver's slot.
class DBusRemoteInterface
{
public:
    using Answer = std::function<void(const QDBusPendingCall& answer)>;

    // A missing service is reported by the bus at once; a hung one must not
    // hold a call open for long.
    static constexpr int callTimeoutMilliseconds = 5000;

    DBusRemoteInterface(QDBusConnection bus, QString service, QString path, QString interface);

    bool isConnected() const { return m_bus.isConnected(); }
    const QDBusConnection& bus() const { return m_bus; }
    // The same service's object at path, with its interface.
    DBusRemoteInterface object(const QString& path, const QString& interface) const;

    // Calls method. Its reply, its error or the deadline's error reaches
    // answer (when given) while receiver lives.
    void call(const QString& method, const QVariantList& arguments, QObject* receiver, Answer answer = {}) const;

    // QtDBus matches a bus signal to the slot by the slot's signature.
    bool subscribe(const QString& signal, QObject* receiver, const char* slot);
    void unsubscribe(const QString& signal, QObject* receiver, const char* slot);

private:
    QDBusConnection m_bus;
    QString m_service;
    QString m_path;
    QString m_interface;
};
