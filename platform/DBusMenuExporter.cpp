#include "platform/DBusMenuExporter.h"

#include "platform/StatusNotifierTypes.h"

#include <QDBusAbstractAdaptor>
#include <QDBusVariant>

using StatusNotifierTypes::MenuItem;
using StatusNotifierTypes::MenuItemProperties;
using StatusNotifierTypes::MenuItemPropertiesList;

namespace {

QVariantMap propertiesOf(const QString& label)
{
    return {{QStringLiteral("label"), label}, {QStringLiteral("enabled"), true},
            {QStringLiteral("visible"), true}};
}

QVariantMap rootProperties()
{
    return {{QStringLiteral("children-display"), QStringLiteral("submenu")}};
}

} // namespace

// The com.canonical.dbusmenu interface (protocol version 3) of the exporter.
class DBusMenuAdaptor : public QDBusAbstractAdaptor
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.canonical.dbusmenu")
    Q_PROPERTY(uint Version READ version)
    Q_PROPERTY(QString TextDirection READ textDirection)
    Q_PROPERTY(QString Status READ status)
    Q_PROPERTY(QStringList IconThemePath READ iconThemePath)

public:
    explicit DBusMenuAdaptor(DBusMenuExporter* menu)
        : QDBusAbstractAdaptor(menu)
        , m_menu(menu)
    {
        connect(menu, &DBusMenuExporter::layoutUpdated, this, &DBusMenuAdaptor::LayoutUpdated);
    }

    uint version() const { return 3; }
    QString textDirection() const { return QStringLiteral("ltr"); }
    QString status() const { return QStringLiteral("normal"); }
    QStringList iconThemePath() const { return {}; }

public Q_SLOTS:
    // QtDBus finds the types of slot parameters by their names as written: qualified.
    uint GetLayout(int parentId, int recursionDepth, const QStringList& /*propertyNames*/,
                   StatusNotifierTypes::MenuItem& layout)
    {
        layout = {};
        layout.id = parentId;
        if (parentId == 0) {
            layout.properties = rootProperties();
            if (recursionDepth != 0) {
                for (int id = 1; id <= m_menu->labels().size(); ++id)
                    layout.children.append({id, propertiesOf(m_menu->labels().at(id - 1)), {}});
            }
        } else if (parentId > 0 && parentId <= m_menu->labels().size()) {
            layout.properties = propertiesOf(m_menu->labels().at(parentId - 1));
        }
        return m_menu->revision();
    }

    QList<StatusNotifierTypes::MenuItemProperties> GetGroupProperties(const QList<int>& ids,
                                                                  const QStringList& /*propertyNames*/)
    {
        MenuItemPropertiesList found;
        for (const int id : ids) {
            if (id == 0)
                found.append({0, rootProperties()});
            else if (id > 0 && id <= m_menu->labels().size())
                found.append({id, propertiesOf(m_menu->labels().at(id - 1))});
        }
        return found;
    }

    QDBusVariant GetProperty(int id, const QString& name)
    {
        const QVariantMap properties = id == 0 ? rootProperties()
            : id > 0 && id <= m_menu->labels().size() ? propertiesOf(m_menu->labels().at(id - 1))
                                                        : QVariantMap{};
        return QDBusVariant(properties.value(name));
    }

    void Event(int id, const QString& eventId, const QDBusVariant& /*data*/, uint /*timestamp*/)
    {
        if (eventId == QLatin1String("clicked"))
            m_menu->activate(id);
    }

    bool AboutToShow(int /*id*/) { return false; }

Q_SIGNALS:
    void LayoutUpdated(uint revision, int parent);

private:
    DBusMenuExporter* m_menu;
};

DBusMenuExporter::DBusMenuExporter(QDBusConnection bus, QObject* parent)
    : QObject(parent)
    , m_bus(std::move(bus))
{
    StatusNotifierTypes::registerTypes();
    new DBusMenuAdaptor(this);
    m_exported = m_bus.isConnected() && m_bus.registerObject(objectPath, this, QDBusConnection::ExportAdaptors);
}

DBusMenuExporter::~DBusMenuExporter()
{
    if (m_exported)
        m_bus.unregisterObject(objectPath);
}

void DBusMenuExporter::setLabels(const QStringList& labels)
{
    if (labels == m_labels)
        return;
    m_labels = labels;
    ++m_revision;
    Q_EMIT layoutUpdated(m_revision, 0);
}

void DBusMenuExporter::activate(int id)
{
    if (id > 0 && id <= m_labels.size())
        Q_EMIT chosen(id - 1);
}

#include "DBusMenuExporter.moc"
