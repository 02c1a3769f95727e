#pragma once

#include "platform/DBusMenuExporter.h"
#include "platform/DBusRemoteInterface.h"
#include "platform/StatusNotifierTypes.h"

#include <QDBusConnection>
#include <QDBusServiceWatcher>
#include <QObject>
#include <QPoint>

class StatusNotifierItemAdaptor;

// An item of the freedesktop StatusNotifierItem tray, on the session bus: the
// trays of today's desktops (Plasma, waybar and swaybar, GNOME with the
// AppIndicator extension) show it. Unlike Qt's tray icon it reports the point
// a host sends with Activate, so that a window can open next to the icon even
// where nothing else says where the icon is. Its menu goes over dbusmenu.
// Registers with the watcher, and again whenever the watcher (re)starts.
class StatusNotifierItem : public QObject
{
    Q_OBJECT

public:
    static constexpr QLatin1String watcherService{"org.kde.StatusNotifierWatcher"};
    static constexpr QLatin1String objectPath{"/StatusNotifierItem"};

    // Whether a watcher runs on bus, so that a host may show an item.
    static bool watcherPresent(const QDBusConnection& bus = QDBusConnection::sessionBus());

    explicit StatusNotifierItem(QDBusConnection bus = QDBusConnection::sessionBus(), QObject* parent = nullptr);
    ~StatusNotifierItem() override;

    // The icon at the sizes a host may pick from.
    void setIcon(const StatusNotifierTypes::PixmapList& sizes);
    void setToolTip(const QString& title, const QString& text);
    // "NeedsAttention" rather than "Active".
    void setNeedsAttention(bool needsAttention);
    void setMenu(const QStringList& labels);

    // Registered with a watcher that has a host to show it.
    bool isInTray() const { return m_registered && m_hostPresent; }
    // The bus name the item is exported under ("org.kde.StatusNotifierItem-<pid>-1").
    QString serviceName() const { return m_serviceName; }

Q_SIGNALS:
    // A click on the icon (Activate or SecondaryActivate) at point, in the
    // desktop's coordinates; (0, 0) from hosts that do not know it.
    void activated(const QPoint& point);
    // A host without a menu of its own asks the item to show one at point.
    void contextMenuRequested(const QPoint& point);
    // The entry at index of the menu was chosen.
    void menuEntryChosen(int index);

private Q_SLOTS:
    // The watcher's host-presence signals.
    void readHostPresence();

private:
    friend class StatusNotifierItemAdaptor;

    void registerWithWatcher();
    void onWatcherGone();
    QString status() const;

    QDBusConnection m_bus;
    QString m_serviceName;
    StatusNotifierItemAdaptor* m_adaptor = nullptr;
    DBusMenuExporter m_menu;
    DBusRemoteInterface m_watcher;
    QDBusServiceWatcher m_watcherWatcher;
    StatusNotifierTypes::PixmapList m_pixmaps;
    StatusNotifierTypes::ToolTip m_toolTip;
    bool m_needsAttention = false;
    bool m_registered = false;
    bool m_hostPresent = false;
};
