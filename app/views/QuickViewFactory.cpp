#include "app/views/QuickViewFactory.h"

#include "app/style/QuorvaneStyle.h"

#include <QGuiApplication>
#include <QPointer>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickView>
#include <QQuickWindow>
#include <QtQml/qqmlextensionplugin.h>

Q_IMPORT_QML_PLUGIN(Quorvane_StylePlugin)
Q_IMPORT_QML_PLUGIN(Quorvane_TrustPlugin)
Q_IMPORT_QML_PLUGIN(Quorvane_PanelPlugin)
Q_IMPORT_QML_PLUGIN(Quorvane_ReceiptsPlugin)
Q_IMPORT_QML_PLUGIN(Quorvane_DashboardPlugin)
Q_IMPORT_QML_PLUGIN(Quorvane_WizardPlugin)

QuickViewFactory::QuickViewFactory()
{
    // Our windows draw little: the software renderer keeps the process tens of
    // megabytes smaller than a GL driver, which stays mapped after the window
    // is gone. QT_QUICK_BACKEND still wins.
    if (qEnvironmentVariableIsEmpty("QT_QUICK_BACKEND"))
        QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
    // Before the first engine: the controls take the dark palette and the
    // style our own components are drawn for (ViewsLibrary switches to light
    // right after when the desktop prefers it).
    QuorvaneStyle::applyDarkAppearance();
}

ViewFactory::View QuickViewFactory::createView(const QUrl& source, const QVariantMap& properties)
{
    auto* view = new QQuickView(engine(), nullptr);
    view->setColor(QuorvaneStyle::windowBackground());
    view->setResizeMode(QQuickView::SizeRootObjectToView);
    view->setInitialProperties(properties);
    view->setSource(source);
    // A model can go before its window's deferred delete has run (at quit the
    // models end first): the QML goes with it at once, before its bindings
    // read the model as null.
    for (const QVariant& value : properties) {
        if (QObject* model = value.value<QObject*>())
            QObject::connect(model, &QObject::destroyed, view, [view] { view->setSource(QUrl()); });
    }

    View made{view, {}, {}};
    if (view->status() == QQuickView::Error) {
        QStringList errors;
        for (const QQmlError& error : view->errors())
            errors.append(error.toString());
        made.errorString = errors.join(QLatin1Char('\n'));
    }
    if (const QQuickItem* root = view->rootObject())
        made.implicitSize = QSize(qRound(root->implicitWidth()), qRound(root->implicitHeight()));
    return made;
}

// One engine for every window, kept from the first: its compiled types make
// a later popover appear in half the time, for about 2 MB.
QQmlEngine* QuickViewFactory::engine()
{
    if (!m_engine) {
        m_engine = new QQmlEngine(QCoreApplication::instance());
        // Where qt_add_qml_module puts our modules inside the resources.
        m_engine->addImportPath(QStringLiteral("qrc:/qt/qml"));
    }
    return m_engine;
}

void QuickViewFactory::afterNextFrame(QWindow* window, QObject* context, std::function<void()> done)
{
    if (auto* quick = qobject_cast<QQuickWindow*>(window))
        QObject::connect(quick, &QQuickWindow::frameSwapped, context, std::move(done), Qt::SingleShotConnection);
}

void QuickViewFactory::followImplicitSize(QWindow* window, QObject* context, std::function<void(QSize)> changed)
{
    auto* view = qobject_cast<QQuickView*>(window);
    QQuickItem* root = view ? view->rootObject() : nullptr;
    if (!root)
        return;
    QPointer<QQuickItem> guard(root);
    auto report = [guard, changed = std::move(changed)] {
        if (guard)
            changed(QSize(qRound(guard->implicitWidth()), qRound(guard->implicitHeight())));
    };
    QObject::connect(root, &QQuickItem::implicitWidthChanged, context, report);
    QObject::connect(root, &QQuickItem::implicitHeightChanged, context, report);
}

void QuickViewFactory::setDarkAppearance(bool dark)
{
    QuorvaneStyle::setDark(dark);
    // Every Qt Quick window of the process is one of ours.
    for (QWindow* window : QGuiApplication::topLevelWindows()) {
        if (auto* quick = qobject_cast<QQuickWindow*>(window))
            quick->setColor(QuorvaneStyle::windowBackground());
    }
}

extern "C" Q_DECL_EXPORT ViewFactory* quorvaneViewFactory()
{
    static QuickViewFactory factory;
    return &factory;
}
