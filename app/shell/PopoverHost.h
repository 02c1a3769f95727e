#pragma once

#include <QObject>
#include <QRect>

// What the tray shell needs of the popover: open it at the tray icon, close it,
// and whether it is shown. PopoverWindow is the real one.
class PopoverHost : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    virtual bool isShown() const = 0;
    // trayGeometry: the tray icon's place; invalid when the tray does not tell.
    virtual void show(const QRect& trayGeometry) = 0;
    virtual void close() = 0;
    // Whether the last close came from focus loss just now: a tray click that
    // took the focus away must not reopen the popover at once.
    virtual bool closedByFocusLossRecently() const = 0;

Q_SIGNALS:
    void shownChanged(bool shown);
};
