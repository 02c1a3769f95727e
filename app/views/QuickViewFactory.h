#pragma once

#include "app/views/ViewFactory.h"

class QQmlEngine;

// Qt Quick windows for the program's QML: one QQuickView per window, all of
// them on one QML engine, drawn by Qt Quick's software renderer.
class QuickViewFactory final : public ViewFactory
{
public:
    QuickViewFactory();

    View createView(const QUrl& source, const QVariantMap& properties) override;
    void afterNextFrame(QWindow* window, QObject* context, std::function<void()> done) override;
    void followImplicitSize(QWindow* window, QObject* context, std::function<void(QSize)> changed) override;
    void setDarkAppearance(bool dark) override;

private:
    QQmlEngine* engine();

    QQmlEngine* m_engine = nullptr;
};
