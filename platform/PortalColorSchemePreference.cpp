#include "platform/PortalColorSchemePreference.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

namespace {

constexpr QLatin1String portalService("org.freedesktop.portal.Desktop");
constexpr QLatin1String portalPath("/org/freedesktop/portal/desktop");
constexpr QLatin1String settingsInterface("org.freedesktop.portal.Settings");
constexpr QLatin1String appearanceNamespace("org.freedesktop.appearance");
constexpr QLatin1String colorSchemeKey("color-scheme");

// The portal answers within milliseconds; a missing one is reported by the
// bus at once, a hung one must not keep a call open for long.
constexpr int readTimeoutMilliseconds = 5000;
// Read wraps the value in up to two variants; deeper nesting is not a value.
constexpr int maximumVariantDepth = 3;

} // namespace

PortalColorSchemePreference::PortalColorSchemePreference(QDBusConnection bus, QObject* parent)
    : ColorSchemePreference(parent)
    , m_bus(std::move(bus))
{
    if (!m_bus.isConnected())
        return;
    // QtDBus connects bus signals by the slot's signature, which it finds
    // through the type names: QDBusVariant's must be known before the first use.
    qRegisterMetaType<QDBusVariant>();
    m_bus.connect(portalService, portalPath, settingsInterface, QStringLiteral("SettingChanged"), this,
                  SLOT(onSettingChanged(QString, QString, QDBusVariant)));
    read(QStringLiteral("ReadOne"));
}

ColorSchemePreference::Scheme PortalColorSchemePreference::fromValue(const QVariant& value)
{
    QVariant inner = value;
    for (int depth = 0; depth < maximumVariantDepth && inner.metaType() == QMetaType::fromType<QDBusVariant>(); ++depth)
        inner = inner.value<QDBusVariant>().variant();
    if (inner.metaType() != QMetaType::fromType<uint>() && inner.metaType() != QMetaType::fromType<int>())
        return Scheme::noPreference;
    switch (inner.toUInt()) {
    case 1:
        return Scheme::preferDark;
    case 2:
        return Scheme::preferLight;
    default:
        return Scheme::noPreference;
    }
}

void PortalColorSchemePreference::read(const QString& method)
{
    QDBusMessage call = QDBusMessage::createMethodCall(portalService, portalPath, settingsInterface, method);
    call << appearanceNamespace << colorSchemeKey;
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call, readTimeoutMilliseconds), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher, method] {
        watcher->deleteLater();
        const QDBusPendingReply<QDBusVariant> reply = *watcher;
        if (reply.isError()) {
            // Portals before version 2 only have Read.
            if (method == QLatin1String("ReadOne") && reply.error().type() == QDBusError::UnknownMethod)
                read(QStringLiteral("Read"));
            return;
        }
        setScheme(fromValue(QVariant::fromValue(reply.value())));
    });
}

void PortalColorSchemePreference::onSettingChanged(const QString& nameSpace, const QString& key,
                                                   const QDBusVariant& value)
{
    if (nameSpace == appearanceNamespace && key == colorSchemeKey)
        setScheme(fromValue(QVariant::fromValue(value)));
}

void PortalColorSchemePreference::setScheme(Scheme scheme)
{
    if (scheme == m_scheme)
        return;
    m_scheme = scheme;
    Q_EMIT schemeChanged(scheme);
}
