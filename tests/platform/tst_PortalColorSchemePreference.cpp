#include "platform/PortalColorSchemePreference.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QSignalSpy>
#include <QTest>

// A settings portal on the test's private session bus, on a connection of its
// own: answers ReadOne (or, as portals before version 2, only Read) for the
// appearance namespace and announces changes.
class StandInSettingsPortal : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Settings")

public:
    explicit StandInSettingsPortal(bool hasReadOne)
        : m_hasReadOne(hasReadOne)
        , m_bus(QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("portal-stand-in")))
    {
    }
    ~StandInSettingsPortal() override
    {
        m_bus.unregisterObject(QStringLiteral("/org/freedesktop/portal/desktop"));
        m_bus.unregisterService(QStringLiteral("org.freedesktop.portal.Desktop"));
        QDBusConnection::disconnectFromBus(QStringLiteral("portal-stand-in"));
    }

    bool registerOnBus()
    {
        return m_bus.registerObject(QStringLiteral("/org/freedesktop/portal/desktop"), this,
                                    QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals)
            && m_bus.registerService(QStringLiteral("org.freedesktop.portal.Desktop"));
    }

    void change(uint value)
    {
        m_value = value;
        QDBusMessage signal = QDBusMessage::createSignal(QStringLiteral("/org/freedesktop/portal/desktop"),
                                                         QStringLiteral("org.freedesktop.portal.Settings"),
                                                         QStringLiteral("SettingChanged"));
        signal << QStringLiteral("org.freedesktop.appearance") << QStringLiteral("color-scheme")
               << QVariant::fromValue(QDBusVariant(QVariant::fromValue(value)));
        m_bus.send(signal);
    }

    uint m_value = 1;
    int reads = 0;

public Q_SLOTS:
    QDBusVariant ReadOne(const QString& nameSpace, const QString& key, const QDBusMessage& message)
    {
        ++reads;
        if (!m_hasReadOne) {
            message.setDelayedReply(true);
            m_bus.send(message.createErrorReply(QDBusError::UnknownMethod, QStringLiteral("no ReadOne")));
            return {};
        }
        return answer(nameSpace, key, message);
    }
    // The older call wraps the value in one more variant.
    QDBusVariant Read(const QString& nameSpace, const QString& key, const QDBusMessage& message)
    {
        ++reads;
        return QDBusVariant(QVariant::fromValue(answer(nameSpace, key, message)));
    }

private:
    QDBusVariant answer(const QString& nameSpace, const QString& key, const QDBusMessage& message)
    {
        if (nameSpace != QLatin1String("org.freedesktop.appearance") || key != QLatin1String("color-scheme")) {
            message.setDelayedReply(true);
            m_bus.send(message.createErrorReply(QStringLiteral("org.freedesktop.portal.Error.NotFound"),
                                                QStringLiteral("Requested setting not found")));
            return {};
        }
        return QDBusVariant(QVariant::fromValue(m_value));
    }

    bool m_hasReadOne;
    QDBusConnection m_bus;
};

class TestPortalColorSchemePreference : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void readsAndFollowsThePortal_data();
    void readsAndFollowsThePortal();
    void withoutAPortalThereIsNoPreference();
    void valuesFromTheWire();
};

void TestPortalColorSchemePreference::initTestCase()
{
    QVERIFY2(QDBusConnection::sessionBus().isConnected(), "run inside scripts/with-test-session");
}

void TestPortalColorSchemePreference::readsAndFollowsThePortal_data()
{
    QTest::addColumn<bool>("hasReadOne");
    QTest::newRow("ReadOne") << true;
    QTest::newRow("older portal: Read only") << false;
}

void TestPortalColorSchemePreference::readsAndFollowsThePortal()
{
    QFETCH(bool, hasReadOne);
    StandInSettingsPortal portal(hasReadOne);
    QVERIFY(portal.registerOnBus());

    PortalColorSchemePreference preference;
    QSignalSpy changed(&preference, &ColorSchemePreference::schemeChanged);
    QCOMPARE(preference.scheme(), ColorSchemePreference::Scheme::noPreference); // not blocking on the answer
    QTRY_COMPARE(preference.scheme(), ColorSchemePreference::Scheme::preferDark);
    QCOMPARE(portal.reads, hasReadOne ? 1 : 2);

    portal.change(2);
    QTRY_COMPARE(preference.scheme(), ColorSchemePreference::Scheme::preferLight);
    portal.change(0);
    QTRY_COMPARE(preference.scheme(), ColorSchemePreference::Scheme::noPreference);
    QCOMPARE(changed.size(), 3);
}

void TestPortalColorSchemePreference::withoutAPortalThereIsNoPreference()
{
    QVERIFY(!QDBusConnection::sessionBus().interface()->isServiceRegistered(QStringLiteral("org.freedesktop.portal.Desktop")));
    PortalColorSchemePreference preference;
    QSignalSpy changed(&preference, &ColorSchemePreference::schemeChanged);
    QTest::qWait(200);
    QCOMPARE(preference.scheme(), ColorSchemePreference::Scheme::noPreference);
    QCOMPARE(changed.size(), 0);

    PortalColorSchemePreference disconnected(QDBusConnection(QStringLiteral("no such connection")));
    QCOMPARE(disconnected.scheme(), ColorSchemePreference::Scheme::noPreference);
}

void TestPortalColorSchemePreference::valuesFromTheWire()
{
    using Scheme = ColorSchemePreference::Scheme;
    const auto wrapped = [](const QVariant& value) { return QVariant::fromValue(QDBusVariant(value)); };
    // Unknown numbers, other types and endless wrapping are no preference.
    QCOMPARE(PortalColorSchemePreference::fromValue(QVariant::fromValue(7u)), Scheme::noPreference);
    QCOMPARE(PortalColorSchemePreference::fromValue(QVariant(QStringLiteral("dark"))), Scheme::noPreference);
    QVariant deep = QVariant::fromValue(1u);
    for (int i = 0; i < 10; ++i)
        deep = wrapped(deep);
    QCOMPARE(PortalColorSchemePreference::fromValue(deep), Scheme::noPreference);
}

QTEST_GUILESS_MAIN(TestPortalColorSchemePreference)
#include "tst_PortalColorSchemePreference.moc"
