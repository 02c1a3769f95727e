#include "FreedesktopNotifier.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QSignalSpy>
#include <QTest>

// A notification server on the test's private session bus, on a connection of
// its own: records each Notify call and hands out ids as servers do.
class StandInNotificationServer : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    struct Call
    {
        QString appName;
        uint replacesId = 0;
        QString summary;
        QString body;
        QStringList actions;
        QVariantMap hints;
    };

    StandInNotificationServer()
        : m_bus(QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("notification-server")))
    {
    }
    ~StandInNotificationServer() override
    {
        m_bus.unregisterObject(QStringLiteral("/org/freedesktop/Notifications"));
        m_bus.unregisterService(QStringLiteral("org.freedesktop.Notifications"));
        QDBusConnection::disconnectFromBus(QStringLiteral("notification-server"));
    }

    bool registerOnBus()
    {
        return m_bus.registerObject(QStringLiteral("/org/freedesktop/Notifications"), this,
                                    QDBusConnection::ExportAllSlots)
            && m_bus.registerService(QStringLiteral("org.freedesktop.Notifications"));
    }

    // What a server sends when the person clicks (or dismisses) a notification.
    void emitSignal(const QString& name, const QVariantList& arguments)
    {
        QDBusMessage signal = QDBusMessage::createSignal(QStringLiteral("/org/freedesktop/Notifications"),
                                                         QStringLiteral("org.freedesktop.Notifications"), name);
        signal.setArguments(arguments);
        m_bus.send(signal);
    }

    QList<Call> calls;

public Q_SLOTS:
    uint Notify(const QString& appName, uint replacesId, const QString& /*appIcon*/, const QString& summary,
                const QString& body, const QStringList& actions, const QVariantMap& hints, int /*timeout*/)
    {
        calls.append({appName, replacesId, summary, body, actions, hints});
        return replacesId != 0 ? replacesId : ++m_nextId;
    }
    QStringList GetCapabilities() { return {QStringLiteral("actions"), QStringLiteral("body")}; }

private:
    QDBusConnection m_bus;
    uint m_nextId = 40;
};

class TestFreedesktopNotifier : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void notifiesAndReportsTheClick();
    void withoutAServerNothingHappens();
};

void TestFreedesktopNotifier::initTestCase()
{
    QVERIFY2(QDBusConnection::sessionBus().isConnected(), "run inside scripts/with-test-session");
}

void TestFreedesktopNotifier::notifiesAndReportsTheClick()
{
    StandInNotificationServer server;
    QVERIFY(server.registerOnBus());
    FreedesktopNotifier notifier;
    QSignalSpy activated(&notifier, &DesktopNotifier::activated);

    notifier.notify(QStringLiteral("Approval needed"), QStringLiteral("An agent is waiting."));
    QTRY_COMPARE(notifier.lastId(), 41u);
    QCOMPARE(server.calls.size(), 1);
    const StandInNotificationServer::Call first = server.calls.first();
    QCOMPARE(first.appName, QStringLiteral("Quorvane"));
    QCOMPARE(first.replacesId, 0u);
    QCOMPARE(first.summary, QStringLiteral("Approval needed"));
    QCOMPARE(first.body, QStringLiteral("An agent is waiting."));
    QCOMPARE(first.actions, QStringList({QStringLiteral("default"), QStringLiteral("Open")}));
    QCOMPARE(first.hints.value(QStringLiteral("desktop-entry")).toString(), QStringLiteral("quorvane"));

    // A second one replaces the first rather than stacking up.
    notifier.notify(QStringLiteral("Approval needed"), QString(5000, QLatin1Char('x')));
    QTRY_COMPARE(server.calls.size(), 2);
    QCOMPARE(server.calls.last().replacesId, 41u);
    QVERIFY(server.calls.last().body.size() <= 1000);

    // Clicks on another program's notification, or other actions, are not ours.
    server.emitSignal(QStringLiteral("ActionInvoked"), {7u, QStringLiteral("default")});
    server.emitSignal(QStringLiteral("ActionInvoked"), {41u, QStringLiteral("other")});
    // The click on ours.
    server.emitSignal(QStringLiteral("ActionInvoked"), {41u, QStringLiteral("default")});
    QTRY_COMPARE(activated.size(), 1);
    QTest::qWait(50);
    QCOMPARE(activated.size(), 1);

    // Once it is closed, the next one is a new notification.
    server.emitSignal(QStringLiteral("NotificationClosed"), {41u, 2u});
    QTRY_COMPARE(notifier.lastId(), 0u);
    notifier.notify(QStringLiteral("Approval needed"), QStringLiteral("Again."));
    QTRY_COMPARE(server.calls.size(), 3);
    QCOMPARE(server.calls.last().replacesId, 0u);
    QTRY_COMPARE(notifier.lastId(), 42u);
}

void TestFreedesktopNotifier::withoutAServerNothingHappens()
{
    QVERIFY(!QDBusConnection::sessionBus().interface()->isServiceRegistered(QStringLiteral("org.freedesktop.Notifications")));
    FreedesktopNotifier notifier;
    notifier.notify(QStringLiteral("Approval needed"), QStringLiteral("Nobody listens."));
    QTest::qWait(200);
    QCOMPARE(notifier.lastId(), 0u);

    FreedesktopNotifier disconnected(QDBusConnection(QStringLiteral("no such connection")));
    disconnected.notify(QStringLiteral("Approval needed"), QString());
    QCOMPARE(disconnected.lastId(), 0u);
}

QTEST_GUILESS_MAIN(TestFreedesktopNotifier)
#include "tst_FreedesktopNotifier.moc"
