#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QStringList>

// A menu over com.canonical.dbusmenu, for StatusNotifierItem hosts that draw
// the menu themselves: a flat list of entries, ids 1..n under the root 0.
class DBusMenuExporter : public QObject
{
    Q_OBJECT

public:
    static constexpr QLatin1String objectPath{"/MenuBar"};

    // Exports the menu on bus at objectPath.
    explicit DBusMenuExporter(QDBusConnection bus, QObject* parent = nullptr);
    ~DBusMenuExporter() override;

    void setLabels(const QStringList& labels);
    const QStringList& labels() const { return m_labels; }
    uint revision() const { return m_revision; }

    // A host reports a click on item id; ids outside the list are ignored.
    void activate(int id);

Q_SIGNALS:
    // The entry at index was chosen.
    void chosen(int index);
    void layoutUpdated(uint revision, int parentId);

private:
    QDBusConnection m_bus;
    QStringList m_labels;
    uint m_revision = 1;
    bool m_exported = false;
};
