#include "platform/FreedesktopNotifier.h"
#include "tests/support/StandInNotificationServer.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QSignalSpy>
#include <QTest>

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

    // Withdrawing closes the one shown; with nothing shown nothing is asked.
    notifier.withdrawAll();
    QTRY_COMPARE(server.closed, QList<uint>{42u});
    QCOMPARE(notifier.lastId(), 0u);
    notifier.withdrawAll();
    QTest::qWait(50);
    QCOMPARE(server.closed.size(), 1);
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
