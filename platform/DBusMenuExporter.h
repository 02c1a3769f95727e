#pragma once

#include "app/shell/StatusItem.h"

#include <QDBusConnection>
#include <QObject>

// The tray menu over com.canonical.dbusmenu, for StatusNotifierItem hosts that
// draw the menu themselves: a flat list of entries, ids 1..n under the root 0.
class DBusMenuExporter : public QObject
{
    Q_OBJECT

public:
    static constexpr QLatin1String objectPath{"/MenuBar"};

    // Exports the menu on bus at objectPath; false when the path is taken.
    explicit DBusMenuExporter(QDBusConnection bus, QObject* parent = nullptr);
    ~DBusMenuExporter() override;

    bool isExported() const { return m_exported; }
    void setEntries(const QList<StatusItem::MenuEntry>& entries);
    const QList<StatusItem::MenuEntry>& entries() const { return m_entries; }
    uint revision() const { return m_revision; }

    // A host reports a click on item id; ids outside the list are ignored.
    void activate(int id);

Q_SIGNALS:
    void triggered(StatusItem::MenuAction action);
    void layoutUpdated(uint revision, int parentId);

private:
    QDBusConnection m_bus;
    QList<StatusItem::MenuEntry> m_entries;
    uint m_revision = 1;
    bool m_exported = false;
};
