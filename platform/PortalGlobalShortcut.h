#pragma once

#include "platform/DBusRemoteInterface.h"
#include "platform/GlobalShortcut.h"

#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QString>
#include <QVariantMap>

// The shortcut that opens the popover, through the freedesktop
// GlobalShortcuts portal: a session is created (CreateSession), the one
// shortcut "open-popover" is bound in it with a preferred trigger
// (BindShortcuts), and each Activated signal of that session raises
// activated(). Each portal request answers through its Response signal on a
// request object whose path follows from our handle token. Without the
// portal, or when the person declines, the shortcut simply stays unbound.
class PortalGlobalShortcut : public GlobalShortcut
{
    Q_OBJECT

public:
    static inline const QString shortcutId = QStringLiteral("open-popover");
    static inline const QString preferredTrigger = QStringLiteral("CTRL+ALT+Q");

    explicit PortalGlobalShortcut(QDBusConnection bus = QDBusConnection::sessionBus(), QObject* parent = nullptr);

    void bind() override;
    bool isBound() const override { return m_bound; }

private Q_SLOTS:
    void onSessionResponse(uint response, const QVariantMap& results);
    void onBindResponse(uint response, const QVariantMap& results);
    void onActivated(const QDBusObjectPath& session, const QString& id, qulonglong timestamp,
                     const QVariantMap& options);

private:
    // The request object a call with this handle token answers on.
    DBusRemoteInterface request(const QString& token) const;
    bool call(const QString& method, const QVariantList& arguments, const QString& token, const char* responseSlot);

    DBusRemoteInterface m_shortcuts;
    QString m_session;
    bool m_binding = false;
    bool m_bound = false;
};
