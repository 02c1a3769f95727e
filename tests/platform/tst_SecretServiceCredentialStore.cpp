#include "platform/SecretServiceCredentialStore.h"
#include "tests/support/LogCapture.h"

#include <QProcess>
#include <QRandomGenerator>
#include <QTest>

// Runs against the Secret Service of the session bus (a private gnome-keyring
// under scripts/with-test-session). Every test uses service names of its own
// and removes its items again.
class TestSecretServiceCredentialStore : public QObject
{
    Q_OBJECT

private:
    SecretServiceCredentialStore m_store;
    QString m_service;
    QString m_otherService;
    const QString m_group = QStringLiteral("TEAMID0001.org.quorvane-test");

private Q_SLOTS:
    void initTestCase()
    {
        if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
            QSKIP("No D-Bus session bus: run these tests through scripts/with-test-session");
    }

    void init()
    {
        const QString suffix = QString::number(QRandomGenerator::global()->generate64(), 36);
        m_service = QStringLiteral("org.quorvane-test-") + suffix + QStringLiteral(".machine");
        m_otherService = QStringLiteral("org.quorvane-other-") + suffix + QStringLiteral(".machine");
    }

    void cleanup()
    {
        m_store.removeAll(m_service, m_group);
        m_store.removeAll(m_otherService, m_group);
    }

    void roundTripsAndReplaces()
    {
        LogCapture log;
        const QString account = QStringLiteral("5A1B2C3D-0000-4000-8000-00000000ABCD");
        QVERIFY(!m_store.read(m_service, account, m_group));

        QCOMPARE(m_store.add(m_service, account, m_group, "first"), 0);
        QCOMPARE(m_store.read(m_service, account, m_group), std::optional<QByteArray>("first"));
        // Another access group or account is another item.
        QVERIFY(!m_store.read(m_service, account, QStringLiteral("OTHERTEAM1.org.other")));
        QVERIFY(!m_store.read(m_service, account + QLatin1Char('x'), m_group));

        // Adding again deletes the old item first: one item, the new secret.
        const QByteArray second("second");
        QCOMPARE(m_store.add(m_service, account, m_group, second), 0);
        QCOMPARE(m_store.read(m_service, account, m_group), std::optional<QByteArray>(second));

        // Removing it leaves nothing behind (no older duplicate resurfaces).
        m_store.remove(m_service, account, m_group);
        QVERIFY(!m_store.read(m_service, account, m_group));
        QVERIFY(log.lines().isEmpty());
    }

    void removeAllDeletesEveryAccountOfOneServiceOnly()
    {
        const QString a = QStringLiteral("ACCOUNT-A");
        const QString b = QStringLiteral("ACCOUNT-B");
        QCOMPARE(m_store.add(m_service, a, m_group, "a"), 0);
        QCOMPARE(m_store.add(m_service, b, m_group, "b"), 0);
        QCOMPARE(m_store.add(m_otherService, a, m_group, "other"), 0);

        m_store.remove(m_service, b, m_group);
        QVERIFY(!m_store.read(m_service, b, m_group));
        QCOMPARE(m_store.read(m_service, a, m_group), std::optional<QByteArray>("a"));

        QCOMPARE(m_store.add(m_service, b, m_group, "b"), 0);
        m_store.removeAll(m_service, m_group);
        QVERIFY(!m_store.read(m_service, a, m_group));
        QVERIFY(!m_store.read(m_service, b, m_group));
        QCOMPARE(m_store.read(m_otherService, a, m_group), std::optional<QByteArray>("other"));
    }

    // The command-line tool finds the key with the documented attributes alone.
    void anotherProgramReadsTheItemByItsAttributes()
    {
        const QString account = QStringLiteral("CLI-ACCOUNT");
        const QByteArray secret(
            "nWGxne_9WmC6hEr0kuwsxERJxWl7MmkZcDusAxyuf2DXWpgBgrEKt9VL_tPJZAc6DuFy89qmIyWvAhpo9wdRGg");
        QCOMPARE(m_store.add(m_service, account, m_group, secret), 0);
        QProcess tool;
        tool.start(QStringLiteral("secret-tool"),
            { QStringLiteral("lookup"), QStringLiteral("service"), m_service, QStringLiteral("account"),
                account, QStringLiteral("access-group"), m_group });
        if (!tool.waitForStarted())
            QSKIP("secret-tool is not installed");
        QVERIFY(tool.waitForFinished());
        QCOMPARE(tool.exitCode(), 0);
        QCOMPARE(tool.readAllStandardOutput().trimmed(), secret);
    }
};

QTEST_GUILESS_MAIN(TestSecretServiceCredentialStore)
#include "tst_SecretServiceCredentialStore.moc"
