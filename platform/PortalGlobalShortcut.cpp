#include "platform/PortalGlobalShortcut.h"

#include "core/LogCategories.h"

#include <QDBusArgument>
#include <QDBusMetaType>
#include <QDBusPendingCall>

namespace {

constexpr QLatin1String portalService("org.freedesktop.portal.Desktop");
constexpr QLatin1String portalPath("/org/freedesktop/portal/desktop");
constexpr QLatin1String shortcutsInterface("org.freedesktop.portal.GlobalShortcuts");
constexpr QLatin1String requestInterface("org.freedesktop.portal.Request");
constexpr QLatin1String sessionToken("quorvane_shortcuts");
constexpr QLatin1String createToken("quorvane_shortcuts_session");
constexpr QLatin1String bindToken("quorvane_shortcuts_bind");

// One entry of BindShortcuts' a(sa{sv}).
struct PortalShortcut
{
    QString id;
    QVariantMap properties;
};

QDBusArgument& operator<<(QDBusArgument& argument, const PortalShortcut& shortcut)
{
    argument.beginStructure();
    argument << shortcut.id << shortcut.properties;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, PortalShortcut& shortcut)
{
    argument.beginStructure();
    argument >> shortcut.id >> shortcut.properties;
    argument.endStructure();
    return argument;
}

} // namespace

Q_DECLARE_METATYPE(PortalShortcut)

PortalGlobalShortcut::PortalGlobalShortcut(QDBusConnection bus, QObject* parent)
    : GlobalShortcut(parent)
    , m_shortcuts(std::move(bus), portalService, portalPath, shortcutsInterface)
{
    qDBusRegisterMetaType<PortalShortcut>();
    qDBusRegisterMetaType<QList<PortalShortcut>>();
}

DBusRemoteInterface PortalGlobalShortcut::request(const QString& token) const
{
    // The sender's unique name without its leading ':' and with '.' as '_'.
    QString sender = m_shortcuts.bus().baseService().mid(1);
    sender.replace(u'.', u'_');
    return m_shortcuts.object(QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2").arg(sender, token),
                              requestInterface);
}

bool PortalGlobalShortcut::call(const QString& method, const QVariantList& arguments, const QString& token,
                                const char* responseSlot)
{
    // Listening before the call: the answer may come before the call returns.
    if (!request(token).subscribe(QStringLiteral("Response"), this, responseSlot))
        return false;
    m_shortcuts.call(method, arguments, this, [this, method](const QDBusPendingCall& answer) {
        if (answer.isError()) {
            // No portal, or one without global shortcuts: nothing to offer.
            m_binding = false;
            qCInfo(lcPlatform).noquote() << QStringLiteral("Quorvane: no global shortcut: %1 failed: %2")
                                                .arg(method, answer.error().name());
        }
    });
    return true;
}

void PortalGlobalShortcut::bind()
{
    if (m_binding || m_bound || !m_shortcuts.isConnected())
        return;
    m_binding = true;
    const QVariantMap options{{QStringLiteral("handle_token"), QString(createToken)},
                              {QStringLiteral("session_handle_token"), QString(sessionToken)}};
    if (!call(QStringLiteral("CreateSession"), {options}, createToken, SLOT(onSessionResponse(uint, QVariantMap))))
        m_binding = false;
}

void PortalGlobalShortcut::onSessionResponse(uint response, const QVariantMap& results)
{
    request(createToken).unsubscribe(QStringLiteral("Response"), this, SLOT(onSessionResponse(uint, QVariantMap)));
    m_session = results.value(QStringLiteral("session_handle")).toString();
    if (response != 0 || m_session.isEmpty()) {
        m_binding = false;
        return;
    }
    m_shortcuts.subscribe(QStringLiteral("Activated"), this,
                          SLOT(onActivated(QDBusObjectPath, QString, qulonglong, QVariantMap)));
    const QList<PortalShortcut> shortcuts{
        {shortcutId,
         {{QStringLiteral("description"), tr("Open the Quorvane approvals popover")},
          {QStringLiteral("preferred_trigger"), preferredTrigger}}}};
    const QVariantMap options{{QStringLiteral("handle_token"), QString(bindToken)}};
    if (!call(QStringLiteral("BindShortcuts"),
              {QVariant::fromValue(QDBusObjectPath(m_session)), QVariant::fromValue(shortcuts), QString(), options},
              bindToken, SLOT(onBindResponse(uint, QVariantMap))))
        m_binding = false;
}

void PortalGlobalShortcut::onBindResponse(uint response, const QVariantMap&)
{
    request(bindToken).unsubscribe(QStringLiteral("Response"), this, SLOT(onBindResponse(uint, QVariantMap)));
    m_binding = false;
    if (response != 0)
        return;
    m_bound = true;
    Q_EMIT isBoundChanged(true);
}

void PortalGlobalShortcut::onActivated(const QDBusObjectPath& session, const QString& id, qulonglong,
                                       const QVariantMap&)
{
    if (m_bound && session.path() == m_session && id == shortcutId)
        Q_EMIT activated();
}
