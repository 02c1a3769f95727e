#pragma once

#include "app/panel/ApprovalsPanel.h"
#include "app/style/QuorvaneStyle.h"
#include "tests/support/QmlTestSupport.h"

#include <QDir>
#include <QImage>
#include <QPointer>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTest>
#include <cmath>
#include <memory>

// The panel's real view, or another of the program's views, in an offscreen
// window.
struct PanelView
{
    QmlWarningGuard guard;
    QQmlEngine engine;
    QQuickWindow window;
    std::unique_ptr<QObject> root;
    QQuickItem* item = nullptr;

    // Once per program, before any window: software rendering, dark style.
    static void prepareApplication()
    {
        QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
        QuorvaneStyle::applyDarkAppearance();
    }

    explicit PanelView(ApprovalsPanel& panel)
        : PanelView(ApprovalsPanel::viewUrl(), { { u"panel"_qs, QVariant::fromValue(&panel) } })
    {
    }
    // A view with its initial properties; with a size, the view fills a window of that size.
    PanelView(const QUrl& url, const QVariantMap& properties, QSize fill = {})
    {
        QmlWarningGuard::prepare(engine);
        QQmlComponent component(&engine, url);
        root.reset(component.createWithInitialProperties(properties));
        if (!root) {
            qWarning("%s", qPrintable(component.errorString()));
            return;
        }
        item = qobject_cast<QQuickItem*>(root.get());
        item->setParentItem(window.contentItem());
        window.resize(fill.isValid() ? fill : QSize(360, 900));
        if (fill.isValid())
            item->setSize(fill);
        window.setColor(QuorvaneStyle::windowBackground());
        window.show();
    }

    bool ok() { return item && QTest::qWaitForWindowExposed(&window); }

    // Every visible item of that name.
    QList<QQuickItem*> all(const QString& name) const { return QmlItems::visible(item, name); }
    QQuickItem* find(const QString& name) const { return inside(item, name); }
    QString text(const QString& name) const { return textIn(item, name); }
    static QString textIn(QQuickItem* row, const QString& name)
    {
        QQuickItem* found = inside(row, name);
        return found ? found->property("text").toString() : u"<missing %1>"_qs.arg(name);
    }
    // The item of that name inside `row`.
    static QQuickItem* inside(QQuickItem* row, const QString& name)
    {
        const QList<QQuickItem*> found = QmlItems::visible(row, name);
        return found.isEmpty() ? nullptr : found.first();
    }
    // The point is inside every clipping ancestor (a growing section clips
    // its content until it has its full height).
    static bool unclipped(QQuickItem* target, QPoint point)
    {
        for (QQuickItem* ancestor = target->parentItem(); ancestor; ancestor = ancestor->parentItem()) {
            if (ancestor->clip() && !ancestor->mapRectToScene(ancestor->boundingRect()).contains(point))
                return false;
        }
        return true;
    }

    // Clicks the item's centre once the layout has settled (its place stays
    // the same across a rendered frame).
    void click(QQuickItem* target)
    {
        QPointer<QQuickItem> guarded(target);
        const auto centre = [&] {
            return guarded->mapToScene(QPointF(guarded->width() / 2, guarded->height() / 2)).toPoint();
        };
        QPoint last = centre();
        int steady = 0;
        for (int i = 0; i < 100 && guarded && steady < 3; ++i) {
            window.requestUpdate();
            QTest::qWait(15);
            if (!guarded)
                break;
            const QPoint now = centre();
            steady = now == last && guarded->width() > 0 && unclipped(guarded, now) ? steady + 1 : 0;
            last = now;
        }
        if (guarded)
            QTest::mouseClick(&window, Qt::LeftButton, {}, centre());
    }
    QStringList warnings() const { return guard.warnings(); }

    // Writes the window to $QUORVANE_SCREENSHOT_DIR/<name>.png when set.
    void screenshot(const QString& name)
    {
        const QString dir = qEnvironmentVariable("QUORVANE_SCREENSHOT_DIR");
        if (dir.isEmpty())
            return;
        QDir().mkpath(dir);
        QTest::qWait(250); // the fade-in of the tab content
        const int height = qMin(int(std::ceil(item->height())), window.height());
        const QImage image = window.grabWindow().copy(0, 0, window.width(), height);
        if (!image.save(QDir(dir).filePath(name + u".png"_qs)))
            qWarning("screenshot %s not written", qPrintable(name));
    }
};

#define VERIFY_NO_WARNINGS(view)                                                                             \
    QVERIFY2((view).warnings().isEmpty(), qPrintable((view).warnings().join(u'\n')))
