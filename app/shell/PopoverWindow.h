#pragma once

#include "app/shell/PopoverHost.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>
#include <QUrl>
#include <QVariantMap>
#include <QWindow>

#include <chrono>
#include <functional>
#include <memory>

class OutsideClickCatcher;
class ViewFactory;

// The popover: a frameless 360-pixel-wide Qt Quick window hosting the root QML
// given at construction with its initial properties. The window and its QML
// engine are made on every show (by the views library, loaded the first time)
// and destroyed again when it is hidden, so a companion idling in the tray
// holds no scene graph. It is placed at the tray icon (PopoverPlacement) and
// closes when it loses focus. Its height follows the root's implicit height,
// no taller than the screen leaves room for (the root scrolls the rest), and
// it is placed again on every change. On XWayland, where the compositor takes
// the focus back at once, a transparent window under it catches the click
// elsewhere that closes it. Without any system tray it is an
// ordinary window in the middle of the screen instead.
class PopoverWindow : public PopoverHost
{
    Q_OBJECT

public:
    static constexpr int width = 360;
    static constexpr int defaultHeight = 520;
    // How long after start-up or closing, with no popover shown, the process
    // gives back the memory it held for them (IdleMemory).
    static constexpr std::chrono::seconds idleReleaseDelay{30};

    // properties: the root's initial (required) properties.
    PopoverWindow(QUrl rootUrl, QVariantMap properties, QObject* parent = nullptr);
    ~PopoverWindow() override;

    bool isShown() const override;
    void show(const QRect& trayGeometry) override;
    void close() override;

    // Tests and the offscreen platform: override whether a tray exists.
    void setTrayAvailable(std::function<bool()> available) { m_trayAvailable = std::move(available); }
    // Tests: where the windows come from (default: the views library).
    void setViews(std::function<ViewFactory*()> views) { m_views = std::move(views); }

    // The window while the popover is shown (a QQuickView), else nullptr.
    QWindow* window() const { return m_window.data(); }
    QString errorString() const { return m_error; }
    bool closedByFocusLossRecently() const override;

Q_SIGNALS:
    // The first frame after show() is on screen, `milliseconds` after show()
    // was asked (start-up measurements).
    void firstFrameShown(qint64 milliseconds);

private:
    bool trayAvailable() const;
    bool create();
    // Sizes the window for the root's implicit size and places it.
    void fit(QSize implicitSize);
    void destroy();
    void onActiveChanged();
    void closeOnOutsideClick();

    QUrl m_rootUrl;
    QVariantMap m_properties;
    QPointer<QWindow> m_window;
    std::unique_ptr<OutsideClickCatcher> m_outsideClicks;
    std::function<bool()> m_trayAvailable;
    std::function<ViewFactory*()> m_views;
    QString m_error;
    QElapsedTimer m_opening;
    QElapsedTimer m_focusLossClose;
    QTimer m_idleRelease;
    QRect m_trayGeometry;
    QPoint m_cursorAtOpening;
    QSize m_implicitSize;
    bool m_shown = false;
};
