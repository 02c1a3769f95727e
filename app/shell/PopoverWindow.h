#pragma once

#include "PopoverHost.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QQmlEngine>
#include <QQuickView>
#include <QUrl>
#include <QVariantMap>

#include <functional>


// The popover: a frameless 360-pixel-wide Qt Quick window hosting the root QML
// given at construction with its initial properties. The window and its QML
// engine are made on the first show and destroyed again when it is hidden, so
// a companion idling in the tray holds no scene graph. It is placed at the tray
// icon (PopoverPlacement) and closes when it loses focus. Without any system
// tray it is an ordinary window instead.
class PopoverWindow : public PopoverHost
{
    Q_OBJECT

public:
    static constexpr int width = 360;
    static constexpr int defaultHeight = 520;

    // properties: the root's initial (required) properties.
    PopoverWindow(QUrl rootUrl, QVariantMap properties, QObject* parent = nullptr);
    ~PopoverWindow() override;

    bool isShown() const override;
    void show(const QRect& trayGeometry) override;
    void close() override;

    // Tests and the offscreen platform: override whether a tray exists.
    void setTrayAvailable(std::function<bool()> available) { m_trayAvailable = std::move(available); }
    // Things the QML engine needs before the root loads (import paths).
    void setEngineSetup(std::function<void(QQmlEngine&)> setup) { m_engineSetup = std::move(setup); }

    QQuickView* view() const { return m_view.data(); }
    bool hasEngine() const { return !m_engine.isNull(); }
    QString errorString() const { return m_error; }
    // Whether the last close came from focus loss just now (a tray click that
    // stole the focus must not reopen the popover at once).
    bool closedByFocusLossRecently() const;

Q_SIGNALS:
    // The first frame after show() is on screen, `milliseconds` after show()
    // was asked (start-up measurements).
    void firstFrameShown(qint64 milliseconds);

private:
    void create();
    void destroy();
    void onActiveChanged();

    QUrl m_rootUrl;
    QVariantMap m_properties;
    QPointer<QQmlEngine> m_engine;
    QPointer<QQuickView> m_view;
    std::function<bool()> m_trayAvailable;
    std::function<void(QQmlEngine&)> m_engineSetup;
    QString m_error;
    QElapsedTimer m_focusLossClose;
    bool m_shown = false;
};
