#pragma once

#include "app/shell/StatusItem.h"

#include <QMenu>
#include <QSystemTrayIcon>

#include <memory>

// The status item as a QSystemTrayIcon (StatusNotifierItem or XEmbed).
class StatusItemTray : public StatusItem
{
    Q_OBJECT

public:
    explicit StatusItemTray(QObject* parent = nullptr);
    ~StatusItemTray() override;

    void setIcon(const StatusItemIcon& icon) override;
    void setMenu(const QList<MenuEntry>& entries) override;
    QRect geometry() const override;
    bool isInTray() const override;
    void show();
    // The symbol's colour (TrayIconRenderer::labelColour); the icon is drawn again.
    void setLabelColour(const QColor& colour);

private:
    void onActivated(QSystemTrayIcon::ActivationReason reason);

    std::unique_ptr<QMenu> m_menu;
    QSystemTrayIcon m_tray;
    StatusItemIcon m_icon;
    QColor m_labelColour;
    bool m_hasIcon = false;
};
