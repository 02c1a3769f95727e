#pragma once

#include "app/views/ViewFactory.h"

// Qt Quick windows for the program's QML: one QQuickView and QML engine per
// window, drawn by Qt Quick's software renderer.
class QuickViewFactory final : public ViewFactory
{
public:
    QuickViewFactory();

    View createView(const QUrl& source, const QVariantMap& properties) override;
    void afterNextFrame(QWindow* window, QObject* context, std::function<void()> done) override;
    void followImplicitSize(QWindow* window, QObject* context, std::function<void(QSize)> changed) override;
    void setDarkAppearance(bool dark) override;
};
