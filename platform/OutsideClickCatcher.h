#pragma once

#include <QObject>

#include <memory>

struct xcb_connection_t;
class QSocketNotifier;

// A transparent X11 window, unmanaged, over the whole X screen, that reports
// the first button press on it. A Wayland compositor does not keep the focus
// on an X11 window it does not manage, so a popover there never learns from
// focus loss that the user clicked elsewhere; mapped just before the popover,
// this window lies under it and takes that click. It talks to the X server on
// a connection of its own, and its pixels live in the server.
class OutsideClickCatcher : public QObject
{
    Q_OBJECT

public:
    // A catcher over the screen of $DISPLAY, or nullptr where no X display
    // with a 32-bit visual answers.
    static std::unique_ptr<OutsideClickCatcher> cover();
    ~OutsideClickCatcher() override;

Q_SIGNALS:
    void clicked();

private:
    OutsideClickCatcher(xcb_connection_t* connection, quint32 window);
    void readEvents();

    xcb_connection_t* m_connection;
    quint32 m_window;
    QSocketNotifier* m_notifier;
};
