#include "app/shell/StatusItemTray.h"

#include "app/shell/TrayIconRenderer.h"

#include <QAction>

StatusItemTray::StatusItemTray(const TrayLabelShade& shade, QObject* parent)
    : StatusItem(parent)
    , m_shade(shade)
    , m_menu(std::make_unique<QMenu>())
    , m_labelColour(shade.colour(ColorSchemePreference::Scheme::noPreference))
{
    m_tray.setContextMenu(m_menu.get());
    connect(&m_tray, &QSystemTrayIcon::activated, this, &StatusItemTray::onActivated);
}

StatusItemTray::~StatusItemTray()
{
    m_tray.hide();
    m_tray.setContextMenu(nullptr);
}

void StatusItemTray::setIcon(const StatusItemIcon& icon)
{
    if (m_hasIcon && icon == m_icon)
        return;
    m_icon = icon;
    m_hasIcon = true;
    m_tray.setIcon(TrayIconRenderer::icon(icon, m_labelColour));
    m_tray.setToolTip(icon.toolTip());
}

void StatusItemTray::setColorScheme(ColorSchemePreference::Scheme scheme)
{
    setLabelColour(m_shade.colour(scheme));
}

void StatusItemTray::setLabelColour(const QColor& colour)
{
    if (colour == m_labelColour)
        return;
    m_labelColour = colour;
    if (m_hasIcon)
        m_tray.setIcon(TrayIconRenderer::icon(m_icon, m_labelColour));
}

void StatusItemTray::setMenu(const QList<MenuEntry>& entries)
{
    m_menu->clear();
    for (const MenuEntry& entry : entries) {
        QAction* action = m_menu->addAction(entry.text);
        const MenuAction which = entry.action;
        connect(action, &QAction::triggered, this, [this, which] { Q_EMIT menuTriggered(which); });
    }
}

QRect StatusItemTray::geometry() const
{
    return m_tray.geometry();
}

bool StatusItemTray::isInTray() const
{
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void StatusItemTray::show()
{
    m_tray.show();
}

void StatusItemTray::onActivated(QSystemTrayIcon::ActivationReason reason)
{
    switch (reason) {
    case QSystemTrayIcon::Trigger:
        Q_EMIT clicked(Click::left);
        break;
    case QSystemTrayIcon::Context:
        // The menu is the tray's context menu: the host shows it by itself.
        Q_EMIT clicked(Click::right);
        break;
    default:
        break;
    }
}
