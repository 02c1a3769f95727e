#include "app/trust/PresenceConfirmation.h"
#include "platform/PolkitPresenceConfirmer.h"
#include "platform/StandInPresenceConfirmer.h"
#include "tests/support/LogCapture.h"

#include <QCoreApplication>
#include <QCoroTask>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QMap>
#include <QProcess>
#include <QTest>
#include <QTimer>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

// A polkit authority of our own on a private bus: answers CheckAuthorization
// as told and records what it was asked.
class FakeAuthority : public QDBusVirtualObject
{
    Q_OBJECT

public:
    enum class Answer { Grant, Dismissed, NoAgent, Refused, UnknownAction, Cancelled, Malformed, Silent };

    Answer answer = Answer::Grant;
    // Recorded from the last CheckAuthorization.
    int checks = 0;
    QString subjectKind;
    quint32 pid = 0;
    quint64 startTime = 0;
    QString actionId;
    QMap<QString, QString> details;
    quint32 flags = 0;
    QString cancellationId;
    QStringList cancelled; // ids of CancelCheckAuthorization calls

    QString introspect(const QString&) const override { return {}; }

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override
    {
        if (message.interface() != QLatin1String("org.freedesktop.PolicyKit1.Authority"))
            return false;
        if (message.member() == QLatin1String("CancelCheckAuthorization")) {
            cancelled << message.arguments().value(0).toString();
            connection.send(message.createReply());
            return true;
        }
        if (message.member() != QLatin1String("CheckAuthorization")
            || message.signature() != QLatin1String("(sa{sv})sa{ss}us"))
            return false;
        ++checks;
        const QList<QVariant> args = message.arguments();
        const QDBusArgument subject = args.at(0).value<QDBusArgument>();
        QVariantMap subjectDetails;
        subject.beginStructure();
        subject >> subjectKind >> subjectDetails;
        subject.endStructure();
        pid = subjectDetails.value(u"pid"_s).toUInt();
        startTime = subjectDetails.value(u"start-time"_s).toULongLong();
        actionId = args.at(1).toString();
        details = qdbus_cast<QMap<QString, QString>>(args.at(2));
        flags = args.at(3).toUInt();
        cancellationId = args.at(4).toString();

        if (answer != Answer::Silent) {
            QTimer::singleShot(
                0, this, [bus = connection, reply = buildReply(message)]() mutable { bus.send(reply); });
        }
        return true;
    }

private:
    static QVariant result(bool authorized, bool challenge, const QMap<QString, QString>& details = {})
    {
        QDBusArgument arg;
        arg.beginStructure();
        arg << authorized << challenge << details;
        arg.endStructure();
        return QVariant::fromValue(arg);
    }

    QDBusMessage buildReply(const QDBusMessage& message) const
    {
        switch (answer) {
        case Answer::Grant:
            return message.createReply(result(true, false));
        case Answer::Dismissed:
            return message.createReply(result(false, false, { { u"polkit.dismissed"_s, u"true"_s } }));
        case Answer::NoAgent:
            return message.createReply(result(false, true));
        case Answer::Refused:
            return message.createReply(result(false, false));
        case Answer::UnknownAction:
            return message.createErrorReply(u"org.freedesktop.PolicyKit1.Error.Failed"_s,
                u"Action org.quorvane.trust-window is not registered"_s);
        case Answer::Cancelled:
            return message.createErrorReply(
                u"org.freedesktop.PolicyKit1.Error.Cancelled"_s, u"The authorization check was cancelled"_s);
        case Answer::Malformed:
            return message.createReply(QVariantList { true, u"yes"_s });
        case Answer::Silent:
            break;
        }
        return {};
    }
};

} // namespace

// Presence confirmation over a real D-Bus exchange with a private bus daemon.
class TestPolkitPresenceConfirmer : public QObject
{
    Q_OBJECT

    QProcess m_daemon;
    QString m_address;
    std::unique_ptr<FakeAuthority> m_authority;

    QDBusConnection clientBus() { return QDBusConnection(u"client"_s); }

private Q_SLOTS:
    void initTestCase()
    {
        m_daemon.start(u"dbus-daemon"_s, { u"--session"_s, u"--nofork"_s, u"--print-address=1"_s });
        QVERIFY2(m_daemon.waitForStarted(10000), "dbus-daemon is needed (package dbus)");
        while (!m_daemon.canReadLine())
            QVERIFY(m_daemon.waitForReadyRead(10000));
        m_address = QString::fromUtf8(m_daemon.readLine().trimmed());

        QDBusConnection authority = QDBusConnection::connectToBus(m_address, u"authority"_s);
        QVERIFY(authority.isConnected());
        m_authority = std::make_unique<FakeAuthority>();
        QVERIFY(
            authority.registerVirtualObject(QLatin1String(PolkitPresenceConfirmer::path), m_authority.get()));
        QVERIFY(authority.registerService(QLatin1String(PolkitPresenceConfirmer::service)));
        QVERIFY(QDBusConnection::connectToBus(m_address, u"client"_s).isConnected());
    }

    void cleanupTestCase()
    {
        QDBusConnection::disconnectFromBus(u"client"_s);
        QDBusConnection::disconnectFromBus(u"authority"_s);
        m_authority.reset();
        m_daemon.terminate();
        m_daemon.waitForFinished(5000);
    }

    void init()
    {
        m_authority->answer = FakeAuthority::Answer::Grant;
        m_authority->cancelled.clear();
    }

    // Every answer of the authority and what the person gets from it.
    void outcomes_data()
    {
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("cancelled");
        QTest::addColumn<QString>("description");

        using A = FakeAuthority::Answer;
        QTest::newRow("authorized") << int(A::Grant) << false << QString();
        QTest::newRow("dismissed") << int(A::Dismissed) << true << u"Authentication cancelled"_s;
        QTest::newRow("no authentication agent")
            << int(A::NoAgent) << false << u"No authentication agent is running to confirm your presence"_s;
        QTest::newRow("not authorized")
            << int(A::Refused) << false << u"Not authorized to activate a trust window"_s;
        QTest::newRow("unknown action")
            << int(A::UnknownAction) << false
            << u"Presence confirmation failed: Action org.quorvane.trust-window is not registered"_s;
        QTest::newRow("cancelled by the authority")
            << int(A::Cancelled) << true << u"Authentication cancelled"_s;
        QTest::newRow("malformed answer")
            << int(A::Malformed) << false << u"Presence confirmation failed: unexpected answer from polkit"_s;
    }

    void outcomes()
    {
        QFETCH(int, answer);
        QFETCH(bool, cancelled);
        QFETCH(QString, description);
        m_authority->answer = FakeAuthority::Answer(answer);
        const int checksBefore = m_authority->checks;

        PolkitPresenceConfirmer confirmer(clientBus(), QCoreApplication::applicationPid());
        PresenceConfirmation biometric(confirmer);
        const std::optional<PresenceError> error
            = QCoro::waitFor(biometric.authenticate(u"Activate trust window"_s));

        QCOMPARE(m_authority->checks, checksBefore + 1);
        QCOMPARE(!error.has_value(), description.isEmpty());
        if (error) {
            QCOMPARE(error->isCancelled(), cancelled);
            QCOMPARE(error->description(), description);
        }

        // What the authority was asked.
        QCOMPARE(m_authority->subjectKind, u"unix-process"_s);
        QCOMPARE(qint64(m_authority->pid), QCoreApplication::applicationPid());
        QCOMPARE(m_authority->startTime,
            PolkitPresenceConfirmer::processStartTime(QCoreApplication::applicationPid()));
        QVERIFY(m_authority->startTime > 0);
        QCOMPARE(m_authority->actionId, u"org.quorvane.trust-window"_s);
        QCOMPARE(m_authority->details.value(u"polkit.message"_s), u"Activate trust window"_s);
        QCOMPARE(m_authority->flags, 1u);
        QVERIFY(!m_authority->cancellationId.isEmpty());
    }

    // An authority that never answers: the check times out, and the prompt is
    // taken down.
    void timeout()
    {
        LogCapture log;
        m_authority->answer = FakeAuthority::Answer::Silent;
        PolkitPresenceConfirmer confirmer(clientBus(), QCoreApplication::applicationPid());
        confirmer.setTimeout(300);
        const std::optional<PresenceError> error = QCoro::waitFor(confirmer.confirm(u"x"_s));
        QVERIFY(error);
        QCOMPARE(error->description(), u"Presence confirmation timed out"_s);
        QTRY_COMPARE(m_authority->cancelled, QStringList { m_authority->cancellationId });
        QCOMPARE(log.lines().size(), 1);
        QVERIFY(log.lines().first().startsWith(QLatin1String("Quorvane: presence confirmation error: ")));
    }

    // No authority on the bus, and no bus at all.
    void unavailable()
    {
        QDBusConnection bare = QDBusConnection::connectToBus(m_address, u"bare"_s);
        QVERIFY(bare.isConnected());
        {
            // A name nobody owns on a live bus.
            QDBusConnection authority(u"authority"_s);
            QVERIFY(authority.unregisterService(QLatin1String(PolkitPresenceConfirmer::service)));
            PolkitPresenceConfirmer confirmer(bare, QCoreApplication::applicationPid());
            const std::optional<PresenceError> error = QCoro::waitFor(confirmer.confirm(u"x"_s));
            QVERIFY(authority.registerService(QLatin1String(PolkitPresenceConfirmer::service)));
            QVERIFY(error && !error->isCancelled());
            QCOMPARE(error->description(),
                QStringLiteral("Presence confirmation is unavailable: the system's authorization service "
                               "(polkit) is not running"));
        }
        QDBusConnection::disconnectFromBus(u"bare"_s);

        QDBusConnection dead
            = QDBusConnection::connectToBus(u"unix:path=/nonexistent/quorvane-bus"_s, u"dead"_s);
        QVERIFY(!dead.isConnected());
        PolkitPresenceConfirmer confirmer(dead, QCoreApplication::applicationPid());
        const std::optional<PresenceError> error = QCoro::waitFor(confirmer.confirm(u"x"_s));
        QVERIFY(error && !error->isCancelled());
        QVERIFY2(error->description().startsWith(
                     QLatin1String("Presence confirmation is unavailable: the system bus is not reachable")),
            qPrintable(error->description()));
        QDBusConnection::disconnectFromBus(u"dead"_s);
    }

    // The start time is field 22 of /proc/<pid>/stat, counted after the name's last parenthesis.
    void startTimeFromStat()
    {
        const QByteArray tail = " S 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 987654 20 21\n";
        QCOMPARE(PolkitPresenceConfirmer::startTimeFromStat("123 (a) (b c))" + tail), 987654u);
        QVERIFY(!PolkitPresenceConfirmer::startTimeFromStat("123 (x) S 1 2 3"));
        QVERIFY(!PolkitPresenceConfirmer::startTimeFromStat(
            "123 (x) S 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 zz 20"));
    }

    void confirmerGone()
    {
        auto confirmer = std::make_unique<StandInPresenceConfirmer>(StandInPresenceConfirmer::Outcome::Grant);
        PresenceConfirmation biometric(*confirmer);
        confirmer.reset();
        const std::optional<PresenceError> error = QCoro::waitFor(biometric.authenticate(u"x"_s));
        QVERIFY(error && !error->isCancelled() && !error->description().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestPolkitPresenceConfirmer)
#include "tst_PolkitPresenceConfirmer.moc"
