#include "platform/PortalGlobalShortcut.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMetaType>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QSignalSpy>
#include <QTest>

// One shortcut of BindShortcuts' a(sa{sv}), as the portal reads it.
struct RequestedShortcut
{
    QString id;
    QVariantMap properties;
};
Q_DECLARE_METATYPE(RequestedShortcut)

QDBusArgument& operator<<(QDBusArgument& argument, const RequestedShortcut& shortcut)
{
    argument.beginStructure();
    argument << shortcut.id << shortcut.properties;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, RequestedShortcut& shortcut)
{
    argument.beginStructure();
    argument >> shortcut.id >> shortcut.properties;
    argument.endStructure();
    return argument;
}

// A GlobalShortcuts portal on the test's private session bus, on a connection
// of its own: answers CreateSession and BindShortcuts through the Response
// signal of the request object the caller's handle token names, records the
// shortcuts asked for, and presses one when told to.
class StandInShortcutsPortal : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.GlobalShortcuts")

public:
    explicit StandInShortcutsPortal(uint bindAnswer)
        : m_bindAnswer(bindAnswer)
        , m_bus(QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("shortcuts-stand-in")))
    {
    }
    ~StandInShortcutsPortal() override
    {
        m_bus.unregisterObject(QStringLiteral("/org/freedesktop/portal/desktop"));
        m_bus.unregisterService(QStringLiteral("org.freedesktop.portal.Desktop"));
        QDBusConnection::disconnectFromBus(QStringLiteral("shortcuts-stand-in"));
    }

    bool registerOnBus()
    {
        qDBusRegisterMetaType<RequestedShortcut>();
        qDBusRegisterMetaType<QList<RequestedShortcut>>();
        return m_bus.registerObject(QStringLiteral("/org/freedesktop/portal/desktop"), this,
                                    QDBusConnection::ExportAllSlots)
            && m_bus.registerService(QStringLiteral("org.freedesktop.portal.Desktop"));
    }

    void press(const QString& session, const QString& id)
    {
        QDBusMessage signal = QDBusMessage::createSignal(QStringLiteral("/org/freedesktop/portal/desktop"),
                                                         QStringLiteral("org.freedesktop.portal.GlobalShortcuts"),
                                                         QStringLiteral("Activated"));
        signal << QVariant::fromValue(QDBusObjectPath(session)) << id << qulonglong(1) << QVariantMap();
        m_bus.send(signal);
    }

    QString session;
    QStringList shortcutIds;
    QStringList triggers;

public Q_SLOTS:
    QDBusObjectPath CreateSession(const QVariantMap& options, const QDBusMessage& message)
    {
        session = QStringLiteral("/org/freedesktop/portal/desktop/session/%1/%2")
                      .arg(sender(message), options.value(QStringLiteral("session_handle_token")).toString());
        return respond(message, options, 0, {{QStringLiteral("session_handle"), session}});
    }
    QDBusObjectPath BindShortcuts(const QDBusObjectPath& sessionPath, const QList<RequestedShortcut>& shortcuts,
                                  const QString& parentWindow, const QVariantMap& options, const QDBusMessage& message)
    {
        Q_UNUSED(parentWindow);
        for (const RequestedShortcut& shortcut : shortcuts) {
            shortcutIds << shortcut.id;
            triggers << shortcut.properties.value(QStringLiteral("preferred_trigger")).toString();
        }
        return respond(message, options, sessionPath.path() == session ? m_bindAnswer : 2, {});
    }

private:
    static QString sender(const QDBusMessage& message)
    {
        QString name = message.service().mid(1);
        name.replace(u'.', u'_');
        return name;
    }
    QDBusObjectPath respond(const QDBusMessage& message, const QVariantMap& options, uint answer,
                            const QVariantMap& results)
    {
        const QString path = QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2")
                                 .arg(sender(message), options.value(QStringLiteral("handle_token")).toString());
        QDBusMessage response = QDBusMessage::createSignal(path, QStringLiteral("org.freedesktop.portal.Request"),
                                                           QStringLiteral("Response"));
        response << answer << results;
        m_bus.send(response);
        return QDBusObjectPath(path);
    }

    uint m_bindAnswer;
    QDBusConnection m_bus;
};

class TestPortalGlobalShortcut : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void bindsAndOpensThroughThePortal()
    {
        StandInShortcutsPortal portal(0);
        QVERIFY(portal.registerOnBus());
        PortalGlobalShortcut shortcut;
        QSignalSpy bound(&shortcut, &GlobalShortcut::isBoundChanged);
        QSignalSpy activated(&shortcut, &GlobalShortcut::activated);
        shortcut.bind();
        QTRY_VERIFY(shortcut.isBound());
        QCOMPARE(bound.size(), 1);
        QCOMPARE(portal.shortcutIds, QStringList{PortalGlobalShortcut::shortcutId});
        QCOMPARE(portal.triggers, QStringList{PortalGlobalShortcut::preferredTrigger});
        // Binding again asks nothing more.
        shortcut.bind();

        portal.press(portal.session, QStringLiteral("something-else"));
        portal.press(QStringLiteral("/org/freedesktop/portal/desktop/session/other/x"), PortalGlobalShortcut::shortcutId);
        portal.press(portal.session, PortalGlobalShortcut::shortcutId);
        QTRY_COMPARE(activated.size(), 1);
        QTest::qWait(100);
        QCOMPARE(activated.size(), 1);
        QCOMPARE(portal.shortcutIds.size(), 1);
    }

    void declinedOrAbsentStaysQuiet()
    {
        {
            // The person declines in the portal's dialog.
            StandInShortcutsPortal portal(1);
            QVERIFY(portal.registerOnBus());
            PortalGlobalShortcut shortcut;
            shortcut.bind();
            QTRY_COMPARE(portal.shortcutIds.size(), 1);
            QTest::qWait(100);
            QVERIFY(!shortcut.isBound());
            QSignalSpy activated(&shortcut, &GlobalShortcut::activated);
            portal.press(portal.session, PortalGlobalShortcut::shortcutId);
            QTest::qWait(100);
            QCOMPARE(activated.size(), 0);
        }
        // No portal on the bus at all.
        PortalGlobalShortcut shortcut;
        QSignalSpy bound(&shortcut, &GlobalShortcut::isBoundChanged);
        shortcut.bind();
        QTest::qWait(300);
        QVERIFY(!shortcut.isBound());
        QCOMPARE(bound.size(), 0);
    }
};

QTEST_GUILESS_MAIN(TestPortalGlobalShortcut)
#include "tst_PortalGlobalShortcut.moc"
