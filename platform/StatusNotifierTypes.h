#pragma once

#include <QDBusArgument>
#include <QList>
#include <QMetaType>
#include <QString>
#include <QVariantMap>

// The structures of the StatusNotifierItem and com.canonical.dbusmenu
// interfaces, with their D-Bus marshalling.
namespace StatusNotifierTypes {

// One size of an icon: ARGB32 pixels in network byte order, as a(iiay) wants them.
struct Pixmap
{
    int width = 0;
    int height = 0;
    QByteArray argb;

    bool operator==(const Pixmap&) const = default;
};
using PixmapList = QList<Pixmap>;

// (sa(iiay)ss): icon name, icon pixmaps, title, text.
struct ToolTip
{
    QString iconName;
    PixmapList pixmaps;
    QString title;
    QString text;
};

// (ia{sv}av): a menu item, its properties and its children (each a variant
// holding a MenuItem).
struct MenuItem
{
    int id = 0;
    QVariantMap properties;
    QList<MenuItem> children;
};

// (ia{sv}): the properties of one item, as GetGroupProperties answers.
struct MenuItemProperties
{
    int id = 0;
    QVariantMap properties;
};
using MenuItemPropertiesList = QList<MenuItemProperties>;

// Registers the types with QtDBus; call before exporting or reading them.
void registerTypes();

} // namespace StatusNotifierTypes

Q_DECLARE_METATYPE(StatusNotifierTypes::Pixmap)
Q_DECLARE_METATYPE(StatusNotifierTypes::ToolTip)
Q_DECLARE_METATYPE(StatusNotifierTypes::MenuItem)
Q_DECLARE_METATYPE(StatusNotifierTypes::MenuItemProperties)

QDBusArgument& operator<<(QDBusArgument& argument, const StatusNotifierTypes::Pixmap& pixmap);
const QDBusArgument& operator>>(const QDBusArgument& argument, StatusNotifierTypes::Pixmap& pixmap);
QDBusArgument& operator<<(QDBusArgument& argument, const StatusNotifierTypes::ToolTip& toolTip);
const QDBusArgument& operator>>(const QDBusArgument& argument, StatusNotifierTypes::ToolTip& toolTip);
QDBusArgument& operator<<(QDBusArgument& argument, const StatusNotifierTypes::MenuItem& item);
const QDBusArgument& operator>>(const QDBusArgument& argument, StatusNotifierTypes::MenuItem& item);
QDBusArgument& operator<<(QDBusArgument& argument, const StatusNotifierTypes::MenuItemProperties& item);
const QDBusArgument& operator>>(const QDBusArgument& argument, StatusNotifierTypes::MenuItemProperties& item);
