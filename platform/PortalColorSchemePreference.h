#pragma once

#include "platform/ColorSchemePreference.h"
#include "platform/DBusRemoteInterface.h"

#include <QDBusConnection>
#include <QDBusVariant>

// The colour-scheme preference from the freedesktop settings portal
// (org.freedesktop.portal.Settings, namespace "org.freedesktop.appearance",
// key "color-scheme"): read once without blocking, then followed through the
// portal's SettingChanged signal. Without a portal it stays noPreference.
class PortalColorSchemePreference : public ColorSchemePreference
{
    Q_OBJECT

public:
    explicit PortalColorSchemePreference(QDBusConnection bus = QDBusConnection::sessionBus(), QObject* parent = nullptr);

    Scheme scheme() const override { return m_scheme; }

    // A "color-scheme" value as the portal sends it (a uint32, possibly
    // wrapped in further variants by the older Read call); anything else is
    // noPreference.
    static Scheme fromValue(const QVariant& value);

private Q_SLOTS:
    void onSettingChanged(const QString& nameSpace, const QString& key, const QDBusVariant& value);

private:
    void read(const QString& method);
    void setScheme(Scheme scheme);

    DBusRemoteInterface m_settings;
    Scheme m_scheme = Scheme::noPreference;
};
