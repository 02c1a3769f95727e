#include "platform/StatusNotifierItem.h"

#include "core/LogCategories.h"

#include <QCoreApplication>
#include <QDBusAbstractAdaptor>
#include <QDBusConnectionInterface>
#include <QDBusObjectPath>
#include <QDBusPendingReply>
#include <QDBusVariant>

using StatusNotifierTypes::PixmapList;
using StatusNotifierTypes::ToolTip;

namespace {

constexpr QLatin1String watcherPath("/StatusNotifierWatcher");
constexpr QLatin1String watcherInterface("org.kde.StatusNotifierWatcher");

} // namespace

// The org.kde.StatusNotifierItem interface of the item.
class StatusNotifierItemAdaptor : public QDBusAbstractAdaptor
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierItem")
    Q_PROPERTY(QString Category READ category)
    Q_PROPERTY(QString Id READ id)
    Q_PROPERTY(QString Title READ title)
    Q_PROPERTY(QString Status READ status)
    Q_PROPERTY(int WindowId READ windowId)
    Q_PROPERTY(QString IconThemePath READ emptyText)
    Q_PROPERTY(QString IconName READ emptyText)
    Q_PROPERTY(StatusNotifierTypes::PixmapList IconPixmap READ pixmaps)
    Q_PROPERTY(QString OverlayIconName READ emptyText)
    Q_PROPERTY(StatusNotifierTypes::PixmapList OverlayIconPixmap READ noPixmaps)
    Q_PROPERTY(QString AttentionIconName READ emptyText)
    Q_PROPERTY(StatusNotifierTypes::PixmapList AttentionIconPixmap READ pixmaps)
    Q_PROPERTY(QString AttentionMovieName READ emptyText)
    Q_PROPERTY(StatusNotifierTypes::ToolTip ToolTip READ toolTip)
    Q_PROPERTY(bool ItemIsMenu READ itemIsMenu)
    Q_PROPERTY(QDBusObjectPath Menu READ menu)

public:
    explicit StatusNotifierItemAdaptor(StatusNotifierItem* item)
        : QDBusAbstractAdaptor(item)
        , m_item(item)
    {
    }

    QString category() const { return QStringLiteral("ApplicationStatus"); }
    QString id() const { return QStringLiteral("quorvane"); }
    QString title() const { return QStringLiteral("Quorvane"); }
    QString status() const { return m_item->status(); }
    int windowId() const { return 0; }
    QString emptyText() const { return {}; }
    PixmapList pixmaps() const { return m_item->m_pixmaps; }
    PixmapList noPixmaps() const { return {}; }
    ToolTip toolTip() const { return m_item->m_toolTip; }
    bool itemIsMenu() const { return false; }
    QDBusObjectPath menu() const { return QDBusObjectPath(DBusMenuExporter::objectPath); }

public Q_SLOTS:
    void Activate(int x, int y) { Q_EMIT m_item->activated({x, y}); }
    void SecondaryActivate(int x, int y) { Q_EMIT m_item->activated({x, y}); }
    void ContextMenu(int x, int y) { Q_EMIT m_item->contextMenuRequested({x, y}); }
    void Scroll(int /*delta*/, const QString& /*orientation*/) { }

Q_SIGNALS:
    void NewTitle();
    void NewIcon();
    void NewAttentionIcon();
    void NewOverlayIcon();
    void NewToolTip();
    void NewStatus(const QString& status);

private:
    StatusNotifierItem* m_item;
};

bool StatusNotifierItem::watcherPresent(const QDBusConnection& bus)
{
    return bus.isConnected() && bus.interface()->isServiceRegistered(watcherService).value();
}

StatusNotifierItem::StatusNotifierItem(QDBusConnection bus, QObject* parent)
    : QObject(parent)
    , m_bus(std::move(bus))
    , m_serviceName(QStringLiteral("org.kde.StatusNotifierItem-%1-1").arg(QCoreApplication::applicationPid()))
    , m_menu(m_bus)
    , m_watcher(m_bus, watcherService, watcherPath, watcherInterface)
    , m_watcherWatcher(watcherService, m_bus, QDBusServiceWatcher::WatchForOwnerChange)
{
    StatusNotifierTypes::registerTypes();
    m_adaptor = new StatusNotifierItemAdaptor(this);
    connect(&m_menu, &DBusMenuExporter::chosen, this, &StatusNotifierItem::menuEntryChosen);
    if (!m_bus.isConnected())
        return;
    if (!m_bus.registerObject(objectPath, this, QDBusConnection::ExportAdaptors) || !m_bus.registerService(m_serviceName)) {
        qCWarning(lcPlatform).noquote() << QStringLiteral("Quorvane: the tray item could not be put on the session bus");
        return;
    }
    connect(&m_watcherWatcher, &QDBusServiceWatcher::serviceOwnerChanged, this,
            [this](const QString&, const QString&, const QString& newOwner) {
                if (newOwner.isEmpty())
                    onWatcherGone();
                else
                    registerWithWatcher();
            });
    m_watcher.subscribe(QStringLiteral("StatusNotifierHostRegistered"), this, SLOT(readHostPresence()));
    m_watcher.subscribe(QStringLiteral("StatusNotifierHostUnregistered"), this, SLOT(readHostPresence()));
    registerWithWatcher();
}

StatusNotifierItem::~StatusNotifierItem()
{
    if (m_bus.isConnected()) {
        m_bus.unregisterService(m_serviceName);
        m_bus.unregisterObject(objectPath);
    }
}

void StatusNotifierItem::registerWithWatcher()
{
    m_watcher.call(QStringLiteral("RegisterStatusNotifierItem"), {m_serviceName}, this,
                   [this](const QDBusPendingCall& answer) {
                       m_registered = !answer.isError();
                       if (!m_registered)
                           qCWarning(lcPlatform).noquote()
                               << QStringLiteral("Quorvane: the tray did not take our item: ") + answer.error().message();
                       else
                           readHostPresence();
                   });
}

void StatusNotifierItem::readHostPresence()
{
    const DBusRemoteInterface properties
        = m_watcher.object(watcherPath, QStringLiteral("org.freedesktop.DBus.Properties"));
    properties.call(QStringLiteral("Get"), {QString(watcherInterface), QStringLiteral("IsStatusNotifierHostRegistered")},
                    this, [this](const QDBusPendingCall& answer) {
                        const QDBusPendingReply<QDBusVariant> reply = answer;
                        // A watcher that cannot say is taken to have a host: it exists for one.
                        m_hostPresent = reply.isError() || reply.value().variant().toBool();
                    });
}

void StatusNotifierItem::onWatcherGone()
{
    m_registered = false;
    m_hostPresent = false;
}

void StatusNotifierItem::setIcon(const PixmapList& sizes)
{
    m_pixmaps = sizes;
    Q_EMIT m_adaptor->NewIcon();
    Q_EMIT m_adaptor->NewAttentionIcon();
}

void StatusNotifierItem::setToolTip(const QString& title, const QString& text)
{
    if (title == m_toolTip.title && text == m_toolTip.text)
        return;
    m_toolTip.title = title;
    m_toolTip.text = text;
    Q_EMIT m_adaptor->NewToolTip();
}

void StatusNotifierItem::setNeedsAttention(bool needsAttention)
{
    if (needsAttention == m_needsAttention)
        return;
    m_needsAttention = needsAttention;
    Q_EMIT m_adaptor->NewStatus(status());
}

void StatusNotifierItem::setMenu(const QStringList& labels)
{
    m_menu.setLabels(labels);
}

QString StatusNotifierItem::status() const
{
    return m_needsAttention ? QStringLiteral("NeedsAttention") : QStringLiteral("Active");
}

#include "StatusNotifierItem.moc"
