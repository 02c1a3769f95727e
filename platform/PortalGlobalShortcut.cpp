#include "platform/PortalGlobalShortcut.h"

#include "core/LogCategories.h"

#include <QDBusArgument>
#include <QDBusMetaType>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

namespace {

constexpr QLatin1String portalService("org.freedesktop.portal.Desktop");
constexpr QLatin1String portalPath("/org/freedesktop/portal/desktop");
constexpr QLatin1String shortcutsInterface("org.freedesktop.portal.GlobalShortcuts");
constexpr QLatin1String requestInterface("org.freedesktop.portal.Request");
constexpr QLatin1String sessionToken("quorvane_shortcuts");
constexpr QLatin1String createToken("quorvane_shortcuts_session");
constexpr QLatin1String bindToken("quorvane_shortcuts_bind");
// A missing portal is reported at once; a hung one must not hold a call open.
constexpr int callTimeoutMilliseconds = 5000;

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
    , m_bus(std::move(bus))
{
    qDBusRegisterMetaType<PortalShortcut>();
    qDBusRegisterMetaType<QList<PortalShortcut>>();
}

QString PortalGlobalShortcut::requestPath(const QString& token) const
{
    // The sender's unique name without its leading ':' and with '.' as '_'.
    QString sender = m_bus.baseService().mid(1);
    sender.replace(u'.', u'_');
    return QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2").arg(sender, token);
}

bool PortalGlobalShortcut::call(const QString& method, const QVariantList& arguments, const QString& token,
                                const char* responseSlot)
{
    // Listening before the call: the answer may come before the call returns.
    if (!m_bus.connect(portalService, requestPath(token), requestInterface, QStringLiteral("Response"), this,
                       responseSlot))
        return false;
    QDBusMessage message = QDBusMessage::createMethodCall(portalService, portalPath, shortcutsInterface, method);
    message.setArguments(arguments);
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(message, callTimeoutMilliseconds), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher, method] {
        watcher->deleteLater();
        if (watcher->isError()) {
            // No portal, or one without global shortcuts: nothing to offer.
            m_binding = false;
            qCInfo(lcPlatform).noquote() << QStringLiteral("Quorvane: no global shortcut: %1 failed: %2")
                                                .arg(method, watcher->error().name());
        }
    });
    return true;
}

void PortalGlobalShortcut::bind()
{
    if (m_binding || m_bound || !m_bus.isConnected())
        return;
    m_binding = true;
    const QVariantMap options{{QStringLiteral("handle_token"), QString(createToken)},
                              {QStringLiteral("session_handle_token"), QString(sessionToken)}};
    if (!call(QStringLiteral("CreateSession"), {options}, createToken, SLOT(onSessionResponse(uint, QVariantMap))))
        m_binding = false;
}

void PortalGlobalShortcut::onSessionResponse(uint response, const QVariantMap& results)
{
    m_bus.disconnect(portalService, requestPath(createToken), requestInterface, QStringLiteral("Response"), this,
                     SLOT(onSessionResponse(uint, QVariantMap)));
    m_session = results.value(QStringLiteral("session_handle")).toString();
    if (response != 0 || m_session.isEmpty()) {
        m_binding = false;
        return;
    }
    m_bus.connect(portalService, portalPath, shortcutsInterface, QStringLiteral("Activated"), this,
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
    m_bus.disconnect(portalService, requestPath(bindToken), requestInterface, QStringLiteral("Response"), this,
                     SLOT(onBindResponse(uint, QVariantMap)));
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
