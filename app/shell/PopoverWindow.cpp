#include "app/shell/PopoverWindow.h"

#include "app/shell/PopoverPlacement.h"
#include "core/LogCategories.h"
#include "app/views/ViewFactory.h"
#include "app/views/ViewsLibrary.h"
#include "platform/IdleMemory.h"
#include "platform/OutsideClickCatcher.h"

#include <algorithm>

#include <QCursor>
#include <QPoint>
#include <QGuiApplication>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QTimer>

namespace {

// An X11 window on a Wayland desktop: the compositor, not the client, places
// X11 windows (sway centres them), except those that bypass the window manager.
bool onXWayland()
{
    return QGuiApplication::platformName() == QLatin1String("xcb") && !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

} // namespace

PopoverWindow::PopoverWindow(QUrl rootUrl, QVariantMap properties, QObject* parent)
    : PopoverHost(parent)
    , m_rootUrl(std::move(rootUrl))
    , m_properties(std::move(properties))
    , m_trayAvailable([] { return QSystemTrayIcon::isSystemTrayAvailable(); })
    , m_views(&ViewsLibrary::factory)
{
    m_idleRelease.setSingleShot(true);
    m_idleRelease.setInterval(idleReleaseDelay);
    // Qt Quick's pages stay: later openings would fault them back in.
    connect(&m_idleRelease, &QTimer::timeout, this, [] { IdleMemory::release(ViewsLibrary::mappedFiles()); });
    // Start-up's code, like a closed popover's, is not needed in the tray.
    m_idleRelease.start();
}

PopoverWindow::~PopoverWindow()
{
    destroy();
}

bool PopoverWindow::isShown() const
{
    return m_shown;
}

bool PopoverWindow::trayAvailable() const
{
    return m_trayAvailable && m_trayAvailable();
}

bool PopoverWindow::closedByFocusLossRecently() const
{
    return m_focusLossClose.isValid() && m_focusLossClose.elapsed() < 400;
}

bool PopoverWindow::create()
{
    ViewFactory* views = m_views ? m_views() : nullptr;
    if (!views)
        return false;
    const ViewFactory::View view = views->createView(m_rootUrl, m_properties);
    m_window = view.window;
    m_error = view.errorString;
    if (!m_error.isEmpty())
        qCWarning(lcShell).noquote() << QStringLiteral("Quorvane: popover failed to load: %1").arg(m_error);
    const bool tray = trayAvailable();
    if (tray) {
        // Beside the icon rather than where the compositor would put it; not
        // a tool window there, which the compositor would not give the focus.
        m_window->setFlags(onXWayland()
                               ? Qt::Window | Qt::FramelessWindowHint | Qt::X11BypassWindowManagerHint
                               : Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    } else
        m_window->setTitle(QStringLiteral("Quorvane"));
    m_implicitSize = view.implicitSize;
    views->followImplicitSize(m_window, this, [this](QSize implicitSize) {
        m_implicitSize = implicitSize;
        if (m_shown)
            fit(implicitSize);
    });
    connect(m_window, &QWindow::activeChanged, this, &PopoverWindow::onActiveChanged);
    connect(m_window, &QWindow::visibleChanged, this, [this](bool visible) {
        // The window manager closed it (Escape, the close button of the normal window).
        if (!visible && m_shown)
            close();
    });
    views->afterNextFrame(m_window, this, [this] { Q_EMIT firstFrameShown(m_opening.elapsed()); });
    return true;
}

void PopoverWindow::destroy()
{
    if (!m_window)
        return;
    QWindow* window = m_window;
    m_window.clear();
    m_outsideClicks.reset();
    window->disconnect(this);
    window->hide();
    window->deleteLater();
    // The scene graph and the QML engine free tens of megabytes once the
    // deferred delete has run: a while later, when no popover came back, the
    // free heap goes back to the system.
    m_idleRelease.start();
}

void PopoverWindow::show(const QRect& trayGeometry)
{
    if (m_shown)
        return;
    m_opening.start();
    m_idleRelease.stop();
    if (!m_window && !create())
        return;
    m_trayGeometry = trayGeometry;
    m_cursorAtOpening = QCursor::pos();
    fit(m_implicitSize);
    m_shown = true;
    const bool unmanaged = trayAvailable() && onXWayland();
    if (unmanaged)
        closeOnOutsideClick();
    m_window->show();
    m_window->raise();
    // The compositor gives an unmanaged X11 window no input focus, and takes
    // back the focus it sets itself (which would leave Qt Quick without a
    // focused item): as a menu does, it holds the keyboard while open instead.
    if (!unmanaged)
        m_window->requestActivate();
    else if (!m_window->setKeyboardGrabEnabled(true))
        qCWarning(lcShell) << "Quorvane: the popover could not take the keyboard; Escape and the arrows will not reach it";
    Q_EMIT shownChanged(true);
}

void PopoverWindow::fit(QSize implicitSize)
{
    if (!m_window)
        return;
    QList<PopoverPlacement::Screen> screens;
    for (QScreen* screen : QGuiApplication::screens())
        screens.append({screen->geometry(), screen->availableGeometry()});
    const QSize wanted(width, implicitSize.height() > 0 ? implicitSize.height() : defaultHeight);
    QRect placed;
    if (trayAvailable()) {
        const int tallest = PopoverPlacement::maximumHeight(m_trayGeometry, m_cursorAtOpening, screens);
        const QSize size(wanted.width(), tallest > 0 ? std::min(wanted.height(), tallest) : wanted.height());
        placed = PopoverPlacement::place(size, m_trayGeometry, m_cursorAtOpening, screens);
    } else {
        placed = PopoverPlacement::centred(wanted, m_cursorAtOpening, screens);
    }
    if (placed.size().isEmpty())
        return;
    // A window of fixed size floats on tiling desktops (sway) instead of
    // being stretched over the screen; its size follows the content anyway.
    m_window->setMinimumSize(placed.size());
    m_window->setMaximumSize(placed.size());
    m_window->setGeometry(placed);
}

void PopoverWindow::close()
{
    if (!m_shown)
        return;
    m_shown = false;
    destroy();
    Q_EMIT shownChanged(false);
}

// Mapped before the popover, so the compositor stacks it under the popover.
void PopoverWindow::closeOnOutsideClick()
{
    m_outsideClicks = OutsideClickCatcher::cover();
    if (!m_outsideClicks) {
        qCWarning(lcShell) << "Quorvane: no transparent X11 window for the popover; a click elsewhere leaves it open";
        return;
    }
    connect(m_outsideClicks.get(), &OutsideClickCatcher::clicked, this, [this] {
        m_focusLossClose.start();
        close();
    });
}

void PopoverWindow::onActiveChanged()
{
    if (!m_window || !m_shown)
        return;
    const bool tray = trayAvailable();
    // A popover closes when the focus leaves it; an ordinary window stays.
    // A Wayland compositor takes the focus back from an X11 window it does not
    // manage at once: there the catcher under it tells of a click elsewhere.
    if (tray && !m_window->isActive() && !onXWayland()) {
        m_focusLossClose.start();
        close();
    }
}
