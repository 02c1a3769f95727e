#include "PopoverWindow.h"

#include "PopoverPlacement.h"
#include "SystemLog.h"

#include <QCursor>
#include <QGuiApplication>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickView>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QTimer>

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace {

void releaseFreeHeap()
{
#ifdef __GLIBC__
    ::malloc_trim(0);
#endif
}

} // namespace

PopoverWindow::PopoverWindow(QUrl rootUrl, QVariantMap properties, QObject* parent)
    : PopoverHost(parent)
    , m_rootUrl(std::move(rootUrl))
    , m_properties(std::move(properties))
    , m_trayAvailable([] { return QSystemTrayIcon::isSystemTrayAvailable(); })
{
}

PopoverWindow::~PopoverWindow()
{
    destroy();
}

bool PopoverWindow::isShown() const
{
    return m_shown;
}

bool PopoverWindow::closedByFocusLossRecently() const
{
    return m_focusLossClose.isValid() && m_focusLossClose.elapsed() < 400;
}

void PopoverWindow::create()
{
    m_engine = new QQmlEngine(this);
    if (m_engineSetup)
        m_engineSetup(*m_engine);
    auto* view = new QQuickView(m_engine, nullptr);
    m_view = view;
    const bool tray = m_trayAvailable && m_trayAvailable();
    if (tray)
        view->setFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    else
        view->setTitle(QStringLiteral("Quorvane"));
    view->setColor(QColor(0x1c, 0x1c, 0x1e));
    view->setResizeMode(QQuickView::SizeRootObjectToView);
    view->setInitialProperties(m_properties);
    view->setSource(m_rootUrl);
    if (view->status() == QQuickView::Error) {
        QStringList errors;
        for (const QQmlError& error : view->errors())
            errors.append(error.toString());
        m_error = errors.join(QLatin1Char('\n'));
        SystemLog::write(QStringLiteral("Quorvane: popover failed to load: %1").arg(m_error));
    }
    int height = defaultHeight;
    if (QQuickItem* root = view->rootObject(); root && root->implicitHeight() > 0)
        height = int(root->implicitHeight());
    view->resize(width, height);
    connect(view, &QWindow::activeChanged, this, &PopoverWindow::onActiveChanged);
    connect(view, &QWindow::visibleChanged, this, [this](bool visible) {
        // The window manager closed it (Escape, the close button of the normal window).
        if (!visible && m_shown)
            close();
    });
}

void PopoverWindow::destroy()
{
    if (m_view) {
        QQuickView* view = m_view;
        m_view.clear();
        view->disconnect(this);
        view->hide();
        view->deleteLater();
    }
    if (m_engine) {
        QQmlEngine* engine = m_engine;
        m_engine.clear();
        // After the view: the view's items belong to the engine's contexts.
        engine->deleteLater();
        // The scene graph and the engine free tens of megabytes; hand the free
        // heap back to the system once the deferred deletes have run.
        QTimer::singleShot(500, this, [] { releaseFreeHeap(); });
    }
}

void PopoverWindow::show(const QRect& trayGeometry)
{
    if (m_shown)
        return;
    QElapsedTimer opening;
    opening.start();
    if (!m_view)
        create();
    QQuickView* view = m_view;
    connect(
        view, &QQuickWindow::frameSwapped, this,
        [this, opening] { Q_EMIT firstFrameShown(opening.elapsed()); }, Qt::SingleShotConnection);
    const bool tray = m_trayAvailable && m_trayAvailable();
    if (tray) {
        QList<PopoverPlacement::Screen> screens;
        for (QScreen* screen : QGuiApplication::screens())
            screens.append({screen->geometry(), screen->availableGeometry()});
        const QRect placed = PopoverPlacement::place(view->size(), trayGeometry, QCursor::pos(), screens);
        view->setPosition(placed.topLeft());
    }
    m_shown = true;
    view->show();
    view->raise();
    view->requestActivate();
    Q_EMIT shownChanged(true);
}

void PopoverWindow::close()
{
    if (!m_shown)
        return;
    m_shown = false;
    destroy();
    Q_EMIT shownChanged(false);
}

void PopoverWindow::onActiveChanged()
{
    if (!m_view || !m_shown)
        return;
    const bool tray = m_trayAvailable && m_trayAvailable();
    // A popover closes when the focus leaves it; an ordinary window stays.
    if (tray && !m_view->isActive()) {
        m_focusLossClose.start();
        close();
    }
}
