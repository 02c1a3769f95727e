#pragma once

#include "app/shell/StatusItem.h"
#include "app/shell/TrayLabelShade.h"

#include <QMenu>
#include <QSystemTrayIcon>

#include <memory>

// The status item as a QSystemTrayIcon (StatusNotifierItem or XEmbed).
class StatusItemTray : public StatusItem
{
    Q_OBJECT

public:
    // shade: the panel's, as the desktop's palette told it at start-up.
    explicit StatusItemTray(const TrayLabelShade& shade, QObject* parent = nullptr);
    ~StatusItemTray() override;

    void setIcon(const StatusItemIcon& icon) override;
    void setColorScheme(ColorSchemePreference::Scheme scheme) override;
    void setMenu(const QList<MenuEntry>& entries) override;
    QRect geometry() const override;
    bool isInTray() const override;
    void show();

private:
    void onActivated(QSystemTrayIcon::ActivationReason reason);

    void setLabelColour(const QColor& colour);

    TrayLabelShade m_shade;
    std::unique_ptr<QMenu> m_menu;
    QSystemTrayIcon m_tray;
    StatusItemIcon m_icon;
    QColor m_labelColour;
    bool m_hasIcon = false;
};
