#pragma once

#include "app/shell/DBusMenuExporter.h"
#include "app/shell/StatusItem.h"
#include "app/shell/StatusNotifierTypes.h"
#include "app/shell/TrayIconRenderer.h"

#include <QColor>
#include <QDBusConnection>
#include <QDBusServiceWatcher>
#include <QMenu>
#include <QPoint>
#include <memory>
#include <optional>

class StatusNotifierItemAdaptor;

// The status item as our own StatusNotifierItem on the session bus, for the
// trays of today's desktops (Plasma, waybar and swaybar, GNOME with the
// AppIndicator extension). Unlike Qt's tray icon it keeps the point the host
// reports with Activate, so that the popover opens next to the icon even where
// the tray cannot say where the icon is. Registers again whenever the watcher
// (re)starts.
class StatusNotifierItem : public StatusItem
{
    Q_OBJECT

public:
    static constexpr QLatin1String watcherService{"org.kde.StatusNotifierWatcher"};
    static constexpr QLatin1String objectPath{"/StatusNotifierItem"};

    // Whether a watcher runs on bus, so that a host may show an item.
    static bool watcherPresent(const QDBusConnection& bus);

    explicit StatusNotifierItem(QDBusConnection bus, QObject* parent = nullptr);
    ~StatusNotifierItem() override;

    void setIcon(const StatusItemIcon& icon) override;
    void setMenu(const QList<MenuEntry>& entries) override;
    // Around the point where the host last said the icon was clicked;
    // invalid before the first click.
    QRect geometry() const override;
    // Registered with a watcher that has a host to show us.
    bool isInTray() const override;
    void setColorScheme(ColorSchemePreference::Scheme scheme) override;

    // The bus name the item is exported under ("org.kde.StatusNotifierItem-<pid>-1").
    QString serviceName() const { return m_serviceName; }

Q_SIGNALS:
    void registeredChanged();

private Q_SLOTS:
    // The watcher's host-presence signals.
    void readHostPresence();

private:
    friend class StatusNotifierItemAdaptor;

    void registerWithWatcher();
    void onWatcherGone();
    void activate(const QPoint& point);
    void showOwnMenu(const QPoint& point);
    void redraw();
    void setLabelColour(const QColor& colour);
    StatusNotifierTypes::PixmapList pixmaps() const;
    QString status() const;
    StatusNotifierTypes::ToolTip toolTip() const;

    QDBusConnection m_bus;
    QString m_serviceName;
    StatusNotifierItemAdaptor* m_adaptor = nullptr;
    DBusMenuExporter m_menu;
    // For hosts that draw no menu of their own and ask us with ContextMenu.
    std::unique_ptr<QMenu> m_ownMenu;
    QDBusServiceWatcher m_watcherWatcher;
    StatusItemIcon m_icon;
    QColor m_labelColour = TrayIconRenderer::barLabelColour(ColorSchemePreference::Scheme::noPreference);
    StatusNotifierTypes::PixmapList m_pixmaps;
    std::optional<QPoint> m_clickPoint;
    bool m_registered = false;
    bool m_hostPresent = false;
};
