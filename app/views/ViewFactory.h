#pragma once

#include <QSize>
#include <QString>
#include <QUrl>
#include <QVariantMap>

#include <functional>

class QObject;
class QWindow;

// The Qt Quick side of the program. It lives in a library of its own
// (libquorvane-views.so) that ViewsLibrary loads the first time a window is
// needed, so a companion idling in the tray never maps Qt Quick and QML.
class ViewFactory
{
public:
    struct View
    {
        // Hidden, owned by the caller; its QML engine is destroyed with it.
        QWindow* window = nullptr;
        // The root item's implicit size; empty when the root has none.
        QSize implicitSize;
        // Why the QML did not load (the window is then empty); empty on success.
        QString errorString;
    };

    virtual ~ViewFactory() = default;

    // A window with a QML engine of its own, showing `source` (our modules
    // live under qrc:/qt/qml) with `properties` as the root's initial, required
    // properties, on the window background of the current palette.
    virtual View createView(const QUrl& source, const QVariantMap& properties) = 0;
    // Calls `done` once, when the next frame of a window made here is on
    // screen; never after `context` is gone.
    virtual void afterNextFrame(QWindow* window, QObject* context, std::function<void()> done) = 0;
    // Calls `changed` with the root item's implicit size each time it changes
    // (content added or removed, another page shown), until `context` is gone.
    virtual void followImplicitSize(QWindow* window, QObject* context, std::function<void(QSize)> changed) = 0;
    // Draws every window, those shown and those to come, in the dark or the light palette.
    virtual void setDarkAppearance(bool dark) = 0;
};

// What the views library exports, by this C name.
using ViewFactoryEntry = ViewFactory* (*)();
inline constexpr char viewFactoryEntryName[] = "quorvaneViewFactory";
