#include "platform/FreedesktopNotifier.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>

#include <utility>

namespace {

constexpr QLatin1String serviceName("org.freedesktop.Notifications");
constexpr QLatin1String objectPath("/org/freedesktop/Notifications");
constexpr QLatin1String interfaceName("org.freedesktop.Notifications");
constexpr QLatin1String defaultAction("default");

// A server answers Notify at once; a hung one must not hold a call for long.
constexpr int notifyTimeoutMilliseconds = 5000;
// Summary and body as the person reads them; servers cut longer texts anyway.
constexpr qsizetype maximumTextLength = 1000;

} // namespace

FreedesktopNotifier::FreedesktopNotifier(QDBusConnection bus, QObject* parent)
    : DesktopNotifier(parent)
    , m_bus(std::move(bus))
{
    if (!m_bus.isConnected())
        return;
    // QtDBus connects bus signals by the slot's signature.
    m_bus.connect(serviceName, objectPath, interfaceName, QStringLiteral("ActionInvoked"), this,
                  SLOT(onActionInvoked(uint, QString)));
    m_bus.connect(serviceName, objectPath, interfaceName, QStringLiteral("NotificationClosed"), this,
                  SLOT(onNotificationClosed(uint, uint)));
}

void FreedesktopNotifier::notify(const QString& summary, const QString& body)
{
    if (!m_bus.isConnected())
        return;
    QDBusMessage call = QDBusMessage::createMethodCall(serviceName, objectPath, interfaceName, QStringLiteral("Notify"));
    // app_name, replaces_id, app_icon (our desktop icon's name), summary, body,
    // actions (key, label pairs), hints, expire_timeout (-1: the server's default).
    call << QStringLiteral("Quorvane") << m_lastId << QStringLiteral("quorvane") << summary.left(maximumTextLength)
         << body.left(maximumTextLength) << QStringList{defaultAction, QStringLiteral("Open")}
         << QVariantMap{{QStringLiteral("desktop-entry"), QStringLiteral("quorvane")},
                        {QStringLiteral("urgency"), QVariant::fromValue(uchar(2))}}
         << int(-1);
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call, notifyTimeoutMilliseconds), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher] {
        watcher->deleteLater();
        const QDBusPendingReply<uint> reply = *watcher;
        if (!reply.isError())
            m_lastId = reply.value();
    });
}

void FreedesktopNotifier::withdrawAll()
{
    if (!m_bus.isConnected() || m_lastId == 0)
        return;
    QDBusMessage call
        = QDBusMessage::createMethodCall(serviceName, objectPath, interfaceName, QStringLiteral("CloseNotification"));
    call << std::exchange(m_lastId, 0u);
    m_bus.asyncCall(call, notifyTimeoutMilliseconds);
}

void FreedesktopNotifier::onActionInvoked(uint id, const QString& actionKey)
{
    if (id != 0 && id == m_lastId && actionKey == defaultAction)
        Q_EMIT activated();
}

void FreedesktopNotifier::onNotificationClosed(uint id, uint /*reason*/)
{
    // Gone: the next one is new rather than a replacement.
    if (id == m_lastId)
        m_lastId = 0;
}
