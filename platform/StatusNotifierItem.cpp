#include "app/shell/StatusNotifierItem.h"

#include "core/LogCategories.h"

#include <QCoreApplication>
#include <QDBusAbstractAdaptor>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>

using StatusNotifierTypes::PixmapList;
using StatusNotifierTypes::ToolTip;

namespace {

constexpr QLatin1String watcherPath("/StatusNotifierWatcher");
constexpr QLatin1String watcherInterface("org.kde.StatusNotifierWatcher");
// The watcher is a local peer; a hung one must not hold a call for long.
constexpr int watcherTimeoutMilliseconds = 5000;

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
    ToolTip toolTip() const { return m_item->toolTip(); }
    bool itemIsMenu() const { return false; }
    QDBusObjectPath menu() const { return QDBusObjectPath(DBusMenuExporter::objectPath); }

public Q_SLOTS:
    void Activate(int x, int y) { m_item->activate({x, y}); }
    void SecondaryActivate(int x, int y) { m_item->activate({x, y}); }
    void ContextMenu(int x, int y) { m_item->showOwnMenu({x, y}); }
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
    : StatusItem(parent)
    , m_bus(std::move(bus))
    , m_serviceName(QStringLiteral("org.kde.StatusNotifierItem-%1-1").arg(QCoreApplication::applicationPid()))
    , m_menu(m_bus)
    , m_ownMenu(std::make_unique<QMenu>())
    , m_watcherWatcher(watcherService, m_bus, QDBusServiceWatcher::WatchForOwnerChange)
{
    StatusNotifierTypes::registerTypes();
    m_adaptor = new StatusNotifierItemAdaptor(this);
    connect(&m_menu, &DBusMenuExporter::triggered, this, &StatusItem::menuTriggered);
    if (!m_bus.isConnected())
        return;
    if (!m_bus.registerObject(objectPath, this, QDBusConnection::ExportAdaptors) || !m_bus.registerService(m_serviceName)) {
        qCWarning(lcShell).noquote() << QStringLiteral("Quorvane: the tray item could not be put on the session bus");
        return;
    }
    connect(&m_watcherWatcher, &QDBusServiceWatcher::serviceOwnerChanged, this,
            [this](const QString&, const QString&, const QString& newOwner) {
                if (newOwner.isEmpty())
                    onWatcherGone();
                else
                    registerWithWatcher();
            });
    m_bus.connect(watcherService, watcherPath, watcherInterface, QStringLiteral("StatusNotifierHostRegistered"), this,
                  SLOT(readHostPresence()));
    m_bus.connect(watcherService, watcherPath, watcherInterface, QStringLiteral("StatusNotifierHostUnregistered"),
                  this, SLOT(readHostPresence()));
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
    QDBusMessage call = QDBusMessage::createMethodCall(watcherService, watcherPath, watcherInterface,
                                                       QStringLiteral("RegisterStatusNotifierItem"));
    call << m_serviceName;
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call, watcherTimeoutMilliseconds), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher] {
        watcher->deleteLater();
        const bool registered = !watcher->isError();
        if (!registered)
            qCWarning(lcShell).noquote()
                << QStringLiteral("Quorvane: the tray did not take our item: ") + watcher->error().message();
        if (registered != m_registered) {
            m_registered = registered;
            Q_EMIT registeredChanged();
        }
        if (registered)
            readHostPresence();
    });
}

void StatusNotifierItem::readHostPresence()
{
    QDBusMessage call = QDBusMessage::createMethodCall(watcherService, watcherPath,
                                                       QStringLiteral("org.freedesktop.DBus.Properties"),
                                                       QStringLiteral("Get"));
    call << QString(watcherInterface) << QStringLiteral("IsStatusNotifierHostRegistered");
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call, watcherTimeoutMilliseconds), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher] {
        watcher->deleteLater();
        const QDBusPendingReply<QDBusVariant> reply = *watcher;
        // A watcher that cannot say is taken to have a host: it exists for one.
        m_hostPresent = reply.isError() || reply.value().variant().toBool();
    });
}

void StatusNotifierItem::onWatcherGone()
{
    m_hostPresent = false;
    if (m_registered) {
        m_registered = false;
        Q_EMIT registeredChanged();
    }
}

void StatusNotifierItem::setIcon(const StatusItemIcon& icon)
{
    if (icon == m_icon && !m_pixmaps.isEmpty())
        return;
    const QString oldStatus = status();
    m_icon = icon;
    redraw();
    Q_EMIT m_adaptor->NewToolTip();
    if (status() != oldStatus)
        Q_EMIT m_adaptor->NewStatus(status());
}

void StatusNotifierItem::setColorScheme(ColorSchemePreference::Scheme scheme)
{
    setLabelColour(TrayIconRenderer::barLabelColour(scheme));
}

void StatusNotifierItem::setLabelColour(const QColor& colour)
{
    if (colour == m_labelColour)
        return;
    m_labelColour = colour;
    if (!m_pixmaps.isEmpty())
        redraw();
}

void StatusNotifierItem::redraw()
{
    m_pixmaps.clear();
    for (const int size : TrayIconRenderer::sizes)
        m_pixmaps.append(StatusNotifierTypes::Pixmap::fromImage(TrayIconRenderer::render(m_icon, size, m_labelColour)));
    Q_EMIT m_adaptor->NewIcon();
    Q_EMIT m_adaptor->NewAttentionIcon();
}

void StatusNotifierItem::setMenu(const QList<MenuEntry>& entries)
{
    m_menu.setEntries(entries);
    m_ownMenu->clear();
    for (const MenuEntry& entry : entries) {
        const MenuAction which = entry.action;
        connect(m_ownMenu->addAction(entry.text), &QAction::triggered, this, [this, which] { Q_EMIT menuTriggered(which); });
    }
}

QRect StatusNotifierItem::geometry() const
{
    // Hosts report the point clicked, about the icon's middle: an icon of the
    // usual size around it keeps the popover off a bar of the usual height.
    constexpr int iconSize = 24;
    return m_clickPoint ? QRect(*m_clickPoint - QPoint(iconSize / 2, iconSize / 2), QSize(iconSize, iconSize)) : QRect();
}

bool StatusNotifierItem::isInTray() const
{
    return m_registered && m_hostPresent;
}

void StatusNotifierItem::activate(const QPoint& point)
{
    // Hosts that do not know where the icon is send (0, 0).
    if (!point.isNull())
        m_clickPoint = point;
    Q_EMIT clicked(Click::left);
}

void StatusNotifierItem::showOwnMenu(const QPoint& point)
{
    if (!point.isNull())
        m_clickPoint = point;
    m_ownMenu->popup(point);
}

QString StatusNotifierItem::status() const
{
    return m_icon.count > 0 && !m_icon.greyed ? QStringLiteral("NeedsAttention") : QStringLiteral("Active");
}

ToolTip StatusNotifierItem::toolTip() const
{
    ToolTip tip;
    const QString full = m_icon.toolTip();
    const qsizetype lineBreak = full.indexOf(u'\n');
    tip.title = lineBreak < 0 ? full : full.left(lineBreak);
    tip.text = lineBreak < 0 ? QString() : full.mid(lineBreak + 1);
    return tip;
}

#include "StatusNotifierItem.moc"
