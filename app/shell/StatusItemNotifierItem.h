#pragma once

#include "app/shell/StatusItem.h"
#include "platform/StatusNotifierItem.h"

#include <QColor>
#include <QMenu>
#include <QPoint>
#include <memory>
#include <optional>

// The status item as our own StatusNotifierItem: the icon drawn for the dark
// bars of today's desktops, "NeedsAttention" while actions wait, and the point
// the host reports with a click kept as the icon's place, for the popover.
class StatusItemNotifierItem : public StatusItem
{
    Q_OBJECT

public:
    // A typical icon's size: the place of a click is taken as the middle of one.
    static constexpr int iconSize = 24;

    explicit StatusItemNotifierItem(QDBusConnection bus = QDBusConnection::sessionBus(), QObject* parent = nullptr);
    ~StatusItemNotifierItem() override;

    void setIcon(const StatusItemIcon& icon) override;
    void setColorScheme(ColorSchemePreference::Scheme scheme) override;
    void setMenu(const QList<MenuEntry>& entries) override;
    // An icon-sized square around the point where the host last said the
    // icon was clicked; invalid before the first click.
    QRect geometry() const override;
    bool isInTray() const override { return m_item.isInTray(); }

    const StatusNotifierItem& item() const { return m_item; }

private:
    void redraw();
    void onActivated(const QPoint& point);
    void showOwnMenu(const QPoint& point);

    StatusNotifierItem m_item;
    QList<MenuEntry> m_entries;
    // For hosts that draw no menu of their own and ask us with ContextMenu.
    std::unique_ptr<QMenu> m_ownMenu;
    StatusItemIcon m_icon;
    QColor m_labelColour;
    std::optional<QPoint> m_clickPoint;
    bool m_hasIcon = false;
};
