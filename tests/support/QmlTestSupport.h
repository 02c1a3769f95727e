#pragma once

#include <QList>
#include <QMutex>
#include <QQmlEngine>
#include <QQuickItem>
#include <QStringList>
#include <QtGlobal>

// Collects every warning (and worse) that Qt reports while it is alive, so a
// view test fails on any QML warning, and prepares engines for our modules.
// Our own diagnostic lines (the quorvane.* categories) and the offscreen
// platform's notes are not such warnings.
class QmlWarningGuard
{
public:
    QmlWarningGuard()
    {
        s_current = this;
        m_previous = qInstallMessageHandler(&QmlWarningGuard::handler);
    }
    ~QmlWarningGuard()
    {
        qInstallMessageHandler(m_previous);
        s_current = nullptr;
    }
    QmlWarningGuard(const QmlWarningGuard&) = delete;
    QmlWarningGuard& operator=(const QmlWarningGuard&) = delete;

    QStringList warnings() const
    {
        QMutexLocker lock(&m_mutex);
        return m_warnings;
    }

    // Where qt_add_qml_module puts our modules inside the resources.
    static void prepare(QQmlEngine& engine) { engine.addImportPath(QStringLiteral("qrc:/qt/qml")); }

private:
    static void handler(QtMsgType type, const QMessageLogContext& context, const QString& message)
    {
        QmlWarningGuard* guard = s_current;
        const bool ours = context.category && qstrncmp(context.category, "quorvane.", 9) == 0;
        // The offscreen platform's notes on what it cannot do (raise a window,
        // pass size hints) say nothing about our views.
        const bool platformNote = message.startsWith(QLatin1String("This plugin does not support "));
        if (guard && type != QtDebugMsg && type != QtInfoMsg && !ours && !platformNote) {
            QMutexLocker lock(&guard->m_mutex);
            guard->m_warnings.append(message);
        }
        if (guard && guard->m_previous)
            guard->m_previous(type, context, message);
    }

    inline static QmlWarningGuard* s_current = nullptr;
    QtMessageHandler m_previous = nullptr;
    mutable QMutex m_mutex;
    QStringList m_warnings;
};

// Items made by a Repeater, a ListView or a StackView are found through the
// visual tree, not through QObject children.
namespace QmlItems {

inline void collect(QQuickItem* item, const QString& name, QList<QQuickItem*>& found)
{
    if (!item)
        return;
    if (item->objectName() == name)
        found.append(item);
    const QList<QQuickItem*> children = item->childItems();
    for (QQuickItem* child : children)
        collect(child, name, found);
}

// Every visible item of that name under `root`, depth first.
inline QList<QQuickItem*> visible(QQuickItem* root, const QString& name)
{
    QList<QQuickItem*> found;
    collect(root, name, found);
    found.removeIf([](const QQuickItem* item) { return !item->isVisible(); });
    return found;
}

// The first item of that name under `root`, shown or not.
inline QQuickItem* find(QQuickItem* root, const QString& name)
{
    QList<QQuickItem*> found;
    collect(root, name, found);
    return found.isEmpty() ? nullptr : found.first();
}

} // namespace QmlItems
