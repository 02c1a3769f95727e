#include "platform/PortalColorSchemePreference.h"

#include <QDBusPendingReply>

namespace {

constexpr QLatin1String portalService("org.freedesktop.portal.Desktop");
constexpr QLatin1String portalPath("/org/freedesktop/portal/desktop");
constexpr QLatin1String settingsInterface("org.freedesktop.portal.Settings");
constexpr QLatin1String appearanceNamespace("org.freedesktop.appearance");
constexpr QLatin1String colorSchemeKey("color-scheme");

// Read wraps the value in up to two variants; deeper nesting is not a value.
constexpr int maximumVariantDepth = 3;

} // namespace

PortalColorSchemePreference::PortalColorSchemePreference(QDBusConnection bus, QObject* parent)
    : ColorSchemePreference(parent)
    , m_settings(std::move(bus), portalService, portalPath, settingsInterface)
{
    if (!m_settings.isConnected())
        return;
    // QtDBus connects bus signals by the slot's signature, which it finds
    // through the type names: QDBusVariant's must be known before the first use.
    qRegisterMetaType<QDBusVariant>();
    m_settings.subscribe(QStringLiteral("SettingChanged"), this,
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
    const QVariantList arguments{QString(appearanceNamespace), QString(colorSchemeKey)};
    m_settings.call(method, arguments, this, [this, method](const QDBusPendingCall& answer) {
        const QDBusPendingReply<QDBusVariant> reply = answer;
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
