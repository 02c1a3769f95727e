#include "platform/FreedesktopNotifier.h"
#include "platform/PortalColorSchemePreference.h"
#include "platform/PortalGlobalShortcut.h"
#include "tests/support/StandInNotificationServer.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QSignalSpy>
#include <QTest>
#include <optional>

using namespace Qt::StringLiterals;
using Scheme = ColorSchemePreference::Scheme;

const QString portalPath = u"/org/freedesktop/portal/desktop"_s;

// A portal stand-in on the test's private session bus, on a connection of its
// own, gone from the bus with the object.
class StandInPortal : public QDBusVirtualObject
{
public:
    explicit StandInPortal(const QString& connection)
        : m_bus(QDBusConnection::connectToBus(QDBusConnection::SessionBus, connection))
    {
    }
    ~StandInPortal() override
    {
        m_bus.unregisterObject(portalPath);
        m_bus.unregisterService(u"org.freedesktop.portal.Desktop"_s);
        QDBusConnection::disconnectFromBus(m_bus.name());
    }
    bool registerOnBus()
    {
        return m_bus.registerVirtualObject(portalPath, this)
            && m_bus.registerService(u"org.freedesktop.portal.Desktop"_s);
    }
    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection&) override
    {
        const std::optional<QDBusMessage> reply = answer(message);
        if (reply)
            m_bus.send(*reply);
        return reply.has_value();
    }

protected:
    virtual std::optional<QDBusMessage> answer(const QDBusMessage& message) = 0;
    void emitSignal(const QString& interface, const QString& name, const QVariantList& arguments)
    {
        QDBusMessage signal = QDBusMessage::createSignal(portalPath, interface, name);
        signal.setArguments(arguments);
        m_bus.send(signal);
    }

    QDBusConnection m_bus;
};

// The settings portal: answers ReadOne (or, as portals before version 2, only
// Read) for the appearance namespace and announces changes.
class StandInSettingsPortal : public StandInPortal
{
public:
    explicit StandInSettingsPortal(bool hasReadOne)
        : StandInPortal(u"portal-stand-in"_s)
        , m_hasReadOne(hasReadOne)
    {
    }

    void change(uint value)
    {
        m_value = value;
        emitSignal(u"org.freedesktop.portal.Settings"_s, u"SettingChanged"_s,
            { u"org.freedesktop.appearance"_s, u"color-scheme"_s, QVariant::fromValue(QDBusVariant(value)) });
    }

    int reads = 0;

private:
    std::optional<QDBusMessage> answer(const QDBusMessage& message) override
    {
        const bool readOne = message.member() == "ReadOne"_L1;
        if (message.interface() != "org.freedesktop.portal.Settings"_L1
            || (!readOne && message.member() != "Read"_L1))
            return std::nullopt;
        ++reads;
        if (readOne && !m_hasReadOne)
            return message.createErrorReply(QDBusError::UnknownMethod, u"no ReadOne"_s);
        if (message.arguments() != QVariantList { u"org.freedesktop.appearance"_s, u"color-scheme"_s })
            return message.createErrorReply(
                u"org.freedesktop.portal.Error.NotFound"_s, u"Requested setting not found"_s);
        // The older call wraps the value in one more variant.
        const QVariant value = QVariant::fromValue(QDBusVariant(m_value));
        return message.createReply(readOne ? value : QVariant::fromValue(QDBusVariant(value)));
    }

    bool m_hasReadOne;
    uint m_value = 1;
};

// The GlobalShortcuts portal: answers CreateSession and BindShortcuts through
// the Response signal of the request object the caller's handle token names,
// records the shortcuts asked for, and presses one when told to.
class StandInShortcutsPortal : public StandInPortal
{
public:
    explicit StandInShortcutsPortal(uint bindAnswer)
        : StandInPortal(u"shortcuts-stand-in"_s)
        , m_bindAnswer(bindAnswer)
    {
    }

    void press(const QString& session, const QString& id)
    {
        emitSignal(u"org.freedesktop.portal.GlobalShortcuts"_s, u"Activated"_s,
            { QVariant::fromValue(QDBusObjectPath(session)), id, qulonglong(1), QVariantMap() });
    }

    QString session;
    QStringList shortcutIds;
    QStringList triggers;

private:
    std::optional<QDBusMessage> answer(const QDBusMessage& message) override
    {
        const QVariantList args = message.arguments();
        if (message.interface() != "org.freedesktop.portal.GlobalShortcuts"_L1)
            return std::nullopt;
        if (message.member() == "CreateSession"_L1) {
            const QVariantMap options = qdbus_cast<QVariantMap>(args.value(0));
            session = u"/org/freedesktop/portal/desktop/session/%1/%2"_s.arg(
                sender(message), options.value(u"session_handle_token"_s).toString());
            return respond(message, options, 0, { { u"session_handle"_s, session } });
        }
        if (message.member() != "BindShortcuts"_L1 || message.signature() != "oa(sa{sv})sa{sv}"_L1)
            return std::nullopt;
        // a(sa{sv}): each shortcut's id and properties.
        const QDBusArgument shortcuts = args.at(1).value<QDBusArgument>();
        shortcuts.beginArray();
        while (!shortcuts.atEnd()) {
            QString id;
            QVariantMap properties;
            shortcuts.beginStructure();
            shortcuts >> id >> properties;
            shortcuts.endStructure();
            shortcutIds << id;
            triggers << properties.value(u"preferred_trigger"_s).toString();
        }
        shortcuts.endArray();
        const bool ours = args.at(0).value<QDBusObjectPath>().path() == session;
        return respond(message, qdbus_cast<QVariantMap>(args.at(3)), ours ? m_bindAnswer : 2, {});
    }

    static QString sender(const QDBusMessage& message)
    {
        return message.service().mid(1).replace(u'.', u'_');
    }
    QDBusMessage respond(
        const QDBusMessage& message, const QVariantMap& options, uint answer, const QVariantMap& results)
    {
        const QString path = u"/org/freedesktop/portal/desktop/request/%1/%2"_s.arg(
            sender(message), options.value(u"handle_token"_s).toString());
        QDBusMessage response
            = QDBusMessage::createSignal(path, u"org.freedesktop.portal.Request"_s, u"Response"_s);
        response << answer << results;
        m_bus.send(response);
        return message.createReply(QVariant::fromValue(QDBusObjectPath(path)));
    }

    uint m_bindAnswer;
};

// The desktop's services over the test session's private bus, each against a
// stand-in: notifications, and the portal's settings (the colour scheme) and
// global shortcuts.
class TestDesktopServices : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(QDBusConnection::sessionBus().isConnected(), "run inside scripts/with-test-session");
    }

    void notifiesAndReportsTheClick()
    {
        StandInNotificationServer server;
        QVERIFY(server.registerOnBus());
        FreedesktopNotifier notifier;
        QSignalSpy activated(&notifier, &DesktopNotifier::activated);
        QSignalSpy chosen(&notifier, &DesktopNotifier::actionInvoked);

        notifier.notify(u"Approval needed"_s, u"claude: rm -rf <b>build</b> & more"_s,
            { { u"review"_s, u"Review"_s }, { u"deny"_s, u"Deny"_s } });
        QTRY_COMPARE(notifier.lastId(), 41u);
        QCOMPARE(server.calls.size(), 1);
        const StandInNotificationServer::Call first = server.calls.first();
        QCOMPARE(first.appName, u"Quorvane"_s);
        QCOMPARE(first.replacesId, 0u);
        QCOMPARE(first.summary, u"Approval needed"_s);
        // The server reads markup in bodies: the text's own tags are escaped for it.
        QCOMPARE(first.body, u"claude: rm -rf &lt;b&gt;build&lt;/b&gt; &amp; more"_s);
        QCOMPARE(first.actions,
            QStringList({ u"default"_s, u"Open"_s, u"review"_s, u"Review"_s, u"deny"_s, u"Deny"_s }));
        QCOMPARE(first.hints.value(u"desktop-entry"_s).toString(), u"quorvane"_s);

        // A second one replaces the first rather than stacking up.
        notifier.notify(u"Approval needed"_s, QString(5000, QLatin1Char('x')), { { u"deny"_s, u"Deny"_s } });
        QTRY_COMPARE(server.calls.size(), 2);
        QCOMPARE(server.calls.last().replacesId, 41u);
        QVERIFY(server.calls.last().body.size() <= 1000);

        // Clicks on another program's notification, actions it does not
        // offer (any more), and signals another program forges are not ours.
        server.emitSignal(u"ActionInvoked"_s, { 7u, u"default"_s });
        server.emitSignal(u"ActionInvoked"_s, { 41u, u"other"_s });
        server.emitSignal(u"ActionInvoked"_s, { 41u, u"review"_s });
        StandInNotificationServer::forgeSignal(u"ActionInvoked"_s, { 41u, u"deny"_s });
        StandInNotificationServer::forgeSignal(u"ActionInvoked"_s, { 41u, u"default"_s });
        server.emitSignal(u"ActionInvoked"_s, { 41u, u"default"_s });
        server.emitSignal(u"ActionInvoked"_s, { 41u, u"deny"_s });
        QTRY_COMPARE(chosen.size(), 1);
        QCOMPARE(chosen.first().first().toString(), u"deny"_s);
        QTest::qWait(50);
        QCOMPARE(activated.size(), 1);
        QCOMPARE(chosen.size(), 1);

        // Once it is closed, the next one is a new notification.
        server.emitSignal(u"NotificationClosed"_s, { 41u, 2u });
        QTRY_COMPARE(notifier.lastId(), 0u);
        notifier.notify(u"Approval needed"_s, u"Again."_s, {});
        QTRY_COMPARE(server.calls.size(), 3);
        QCOMPARE(server.calls.last().replacesId, 0u);
        QTRY_COMPARE(notifier.lastId(), 42u);

        // Withdrawing closes the one shown; with nothing shown nothing is asked.
        notifier.withdrawAll();
        QTRY_COMPARE(server.closed, QList<uint> { 42u });
        QCOMPARE(notifier.lastId(), 0u);
        notifier.withdrawAll();
        QTest::qWait(50);
        QCOMPARE(server.closed.size(), 1);
    }

    void colorScheme_data()
    {
        QTest::addColumn<bool>("hasReadOne");
        QTest::newRow("ReadOne") << true;
        QTest::newRow("older portal: Read only") << false;
    }

    void colorScheme()
    {
        QFETCH(bool, hasReadOne);
        StandInSettingsPortal portal(hasReadOne);
        QVERIFY(portal.registerOnBus());

        PortalColorSchemePreference preference;
        QSignalSpy changed(&preference, &ColorSchemePreference::schemeChanged);
        QCOMPARE(preference.scheme(), Scheme::noPreference); // not blocking on the answer
        QTRY_COMPARE(preference.scheme(), Scheme::preferDark);
        QCOMPARE(portal.reads, hasReadOne ? 1 : 2);

        portal.change(2);
        QTRY_COMPARE(preference.scheme(), Scheme::preferLight);
        portal.change(0);
        QTRY_COMPARE(preference.scheme(), Scheme::noPreference);
        QCOMPARE(changed.size(), 3);

        // Unknown numbers, other types and endless wrapping are no preference.
        QCOMPARE(PortalColorSchemePreference::fromValue(QVariant::fromValue(7u)), Scheme::noPreference);
        QCOMPARE(PortalColorSchemePreference::fromValue(QVariant(u"dark"_s)), Scheme::noPreference);
        QVariant deep = QVariant::fromValue(1u);
        for (int i = 0; i < 10; ++i)
            deep = QVariant::fromValue(QDBusVariant(deep));
        QCOMPARE(PortalColorSchemePreference::fromValue(deep), Scheme::noPreference);
    }

    void globalShortcut_data()
    {
        QTest::addColumn<uint>("answer");
        QTest::newRow("bound") << 0u;
        QTest::newRow("declined in the portal's dialog") << 1u;
    }

    void globalShortcut()
    {
        QFETCH(uint, answer);
        StandInShortcutsPortal portal(answer);
        QVERIFY(portal.registerOnBus());
        PortalGlobalShortcut shortcut;
        QSignalSpy bound(&shortcut, &GlobalShortcut::isBoundChanged);
        QSignalSpy activated(&shortcut, &GlobalShortcut::activated);
        shortcut.bind();
        QTRY_COMPARE(portal.shortcutIds, QStringList { PortalGlobalShortcut::shortcutId });
        QCOMPARE(portal.triggers, QStringList { PortalGlobalShortcut::preferredTrigger });
        QTRY_COMPARE(bound.size(), answer == 0 ? 1 : 0);
        QCOMPARE(shortcut.isBound(), answer == 0);
        // Binding again asks nothing more.
        if (shortcut.isBound())
            shortcut.bind();

        portal.press(portal.session, u"something-else"_s);
        portal.press(u"/org/freedesktop/portal/desktop/session/other/x"_s, PortalGlobalShortcut::shortcutId);
        portal.press(portal.session, PortalGlobalShortcut::shortcutId);
        QTRY_COMPARE(activated.size(), answer == 0 ? 1 : 0);
        QTest::qWait(100);
        QCOMPARE(activated.size(), answer == 0 ? 1 : 0);
        QCOMPARE(portal.shortcutIds.size(), 1);
    }

    // Without the services on the bus, or without a bus, nothing happens.
    void withoutTheServicesNothingHappens()
    {
        const QDBusConnectionInterface* bus = QDBusConnection::sessionBus().interface();
        QVERIFY(!bus->isServiceRegistered(u"org.freedesktop.Notifications"_s));
        QVERIFY(!bus->isServiceRegistered(u"org.freedesktop.portal.Desktop"_s));
        FreedesktopNotifier notifier;
        notifier.notify(u"Approval needed"_s, u"Nobody listens."_s, {});
        PortalColorSchemePreference preference;
        QSignalSpy schemeChanged(&preference, &ColorSchemePreference::schemeChanged);
        PortalGlobalShortcut shortcut;
        QSignalSpy bound(&shortcut, &GlobalShortcut::isBoundChanged);
        shortcut.bind();
        QTest::qWait(300);
        QCOMPARE(notifier.lastId(), 0u);
        QCOMPARE(preference.scheme(), Scheme::noPreference);
        QCOMPARE(schemeChanged.size(), 0);
        QCOMPARE(bound.size(), 0);

        const QDBusConnection none(u"no such connection"_s);
        FreedesktopNotifier disconnected(none);
        disconnected.notify(u"Approval needed"_s, QString(), {});
        QCOMPARE(disconnected.lastId(), 0u);
        QCOMPARE(PortalColorSchemePreference(none).scheme(), Scheme::noPreference);
    }
};

QTEST_GUILESS_MAIN(TestDesktopServices)
#include "tst_DesktopServices.moc"
