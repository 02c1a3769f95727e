#pragma once

#include "app/shell/StatusItemIcon.h"
#include "platform/ColorSchemePreference.h"

#include <QList>
#include <QObject>
#include <QRect>
#include <QString>

// The tray entry of the program, behind a small interface so that the
// shell's rules run in tests without a tray.
class StatusItem : public QObject
{
    Q_OBJECT

public:
    enum class Click { left, right };
    enum class MenuAction { toggleMute, freezeAll, openDashboard, quit };
    struct MenuEntry
    {
        QString text;
        MenuAction action;
        bool operator==(const MenuEntry&) const = default;
    };

    using QObject::QObject;

    virtual void setIcon(const StatusItemIcon& icon) = 0;
    // The desktop's light/dark preference: the icon is drawn to stand out on the panel.
    virtual void setColorScheme(ColorSchemePreference::Scheme scheme) = 0;
    // The context menu shown on a right click (the tray host pops it up itself).
    virtual void setMenu(const QList<MenuEntry>& entries) = 0;
    // The icon's place on the screen; invalid when the tray does not tell.
    virtual QRect geometry() const = 0;
    // Whether a tray shows the item at all (a StatusNotifierItem host or an
    // XEmbed tray is running); without one nobody can click it.
    virtual bool isInTray() const = 0;

Q_SIGNALS:
    void clicked(StatusItem::Click click);
    void menuTriggered(StatusItem::MenuAction action);
};
