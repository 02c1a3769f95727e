#include "platform/FreedesktopNotifier.h"

#include <QDBusPendingReply>
#include <QVariantMap>

#include <utility>

namespace {

constexpr QLatin1String serviceName("org.freedesktop.Notifications");
constexpr QLatin1String objectPath("/org/freedesktop/Notifications");
constexpr QLatin1String interfaceName("org.freedesktop.Notifications");
constexpr QLatin1String defaultAction("default");

// Summary and body as the person reads them; servers cut longer texts anyway.
constexpr qsizetype maximumTextLength = 1000;

} // namespace

FreedesktopNotifier::FreedesktopNotifier(QDBusConnection bus, QObject* parent)
    : DesktopNotifier(parent)
    , m_notifications(std::move(bus), serviceName, objectPath, interfaceName)
{
    if (!m_notifications.isConnected())
        return;
    m_notifications.subscribe(QStringLiteral("ActionInvoked"), this, SLOT(onActionInvoked(uint, QString)));
    m_notifications.subscribe(QStringLiteral("NotificationClosed"), this, SLOT(onNotificationClosed(uint, uint)));
    m_notifications.call(QStringLiteral("GetCapabilities"), {}, this, [this](const QDBusPendingCall& answer) {
        const QDBusPendingReply<QStringList> reply = answer;
        if (!reply.isError())
            m_bodyIsMarkup = reply.value().contains(QStringLiteral("body-markup"));
    });
}

void FreedesktopNotifier::notify(const QString& summary, const QString& body, const QList<Action>& actions)
{
    if (!m_notifications.isConnected())
        return;
    QStringList actionList{defaultAction, QStringLiteral("Open")};
    m_actionKeys.clear();
    for (const Action& action : actions) {
        actionList << action.key << action.label;
        m_actionKeys << action.key;
    }
    // A server with "body-markup" would read tags in the text: escaped for it.
    QString shownBody = body.left(maximumTextLength);
    if (m_bodyIsMarkup)
        shownBody.replace(u'&', QLatin1String("&amp;")).replace(u'<', QLatin1String("&lt;")).replace(u'>', QLatin1String("&gt;"));
    // app_name, replaces_id, app_icon (our desktop icon's name), summary, body,
    // actions (key, label pairs), hints, expire_timeout (-1: the server's default).
    const QVariantList arguments{
        QStringLiteral("Quorvane"), QVariant::fromValue(m_lastId), QStringLiteral("quorvane"),
        summary.left(maximumTextLength), shownBody, actionList,
        QVariantMap{{QStringLiteral("desktop-entry"), QStringLiteral("quorvane")},
                    {QStringLiteral("urgency"), QVariant::fromValue(uchar(2))}},
        int(-1)};
    m_notifications.call(QStringLiteral("Notify"), arguments, this, [this](const QDBusPendingCall& answer) {
        const QDBusPendingReply<uint> reply = answer;
        if (!reply.isError())
            m_lastId = reply.value();
    });
}

void FreedesktopNotifier::withdrawAll()
{
    if (!m_notifications.isConnected() || m_lastId == 0)
        return;
    m_notifications.call(QStringLiteral("CloseNotification"), {QVariant::fromValue(std::exchange(m_lastId, 0u))}, this);
}

void FreedesktopNotifier::onActionInvoked(uint id, const QString& actionKey)
{
    if (id == 0 || id != m_lastId)
        return;
    if (actionKey == defaultAction)
        Q_EMIT activated();
    else if (m_actionKeys.contains(actionKey))
        Q_EMIT actionInvoked(actionKey);
}

void FreedesktopNotifier::onNotificationClosed(uint id, uint /*reason*/)
{
    // Gone: the next one is new rather than a replacement.
    if (id == m_lastId)
        m_lastId = 0;
}
