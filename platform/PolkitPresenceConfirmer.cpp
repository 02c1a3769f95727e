#include "platform/PolkitPresenceConfirmer.h"

#include "core/LifetimeGuard.h"
#include "core/LogCategories.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusError>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <QFile>
#include <QMap>

#include <qcoro/qcorodbuspendingcall.h>

namespace {

constexpr quint32 allowUserInteraction = 0x1;

QString fromLatin(const char* text)
{
    return QString::fromLatin1(text);
}

} // namespace

PolkitPresenceConfirmer::PolkitPresenceConfirmer(QDBusConnection bus, qint64 pid, QObject* parent)
    : PresenceConfirmer(parent)
    , m_bus(std::move(bus))
    , m_pid(pid)
{
}

PolkitPresenceConfirmer::PolkitPresenceConfirmer(QObject* parent)
    : PolkitPresenceConfirmer(QDBusConnection::systemBus(), QCoreApplication::applicationPid(), parent)
{
}

std::optional<quint64> PolkitPresenceConfirmer::startTimeFromStat(const QByteArray& statLine)
{
    // The command name (field 2) is in parentheses and may itself hold spaces
    // and parentheses: the fields after it start after the last ')'.
    const qsizetype close = statLine.lastIndexOf(')');
    if (close < 0)
        return std::nullopt;
    const QList<QByteArray> fields = statLine.mid(close + 1).simplified().split(' ');
    // fields[0] is field 3 (state); field 22 is fields[19].
    if (fields.size() < 20)
        return std::nullopt;
    bool ok = false;
    const quint64 value = fields.at(19).toULongLong(&ok);
    if (!ok)
        return std::nullopt;
    return value;
}

quint64 PolkitPresenceConfirmer::processStartTime(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return 0;
    return startTimeFromStat(stat.read(4096)).value_or(0);
}

QDBusMessage PolkitPresenceConfirmer::checkAuthorizationCall(const QString& reason, const QString& cancellationId) const
{
    QDBusMessage call = QDBusMessage::createMethodCall(fromLatin(service), fromLatin(path), fromLatin(interface),
                                                       QStringLiteral("CheckAuthorization"));

    // Subject (sa{sv}): this process, identified by pid and start time so that
    // a recycled pid cannot stand in for it.
    QDBusArgument subject;
    subject.beginStructure();
    subject << QStringLiteral("unix-process");
    subject.beginMap(QMetaType::fromType<QString>(), QMetaType::fromType<QDBusVariant>());
    subject.beginMapEntry();
    subject << QStringLiteral("pid") << QDBusVariant(QVariant::fromValue(quint32(m_pid)));
    subject.endMapEntry();
    subject.beginMapEntry();
    subject << QStringLiteral("start-time") << QDBusVariant(QVariant::fromValue(processStartTime(m_pid)));
    subject.endMapEntry();
    subject.endMap();
    subject.endStructure();

    QDBusArgument details;
    details.beginMap(QMetaType::fromType<QString>(), QMetaType::fromType<QString>());
    details.beginMapEntry();
    details << QStringLiteral("polkit.message") << reason;
    details.endMapEntry();
    details.endMap();

    call << QVariant::fromValue(subject) << fromLatin(actionId) << QVariant::fromValue(details)
         << QVariant::fromValue(allowUserInteraction) << cancellationId;
    return call;
}

void PolkitPresenceConfirmer::cancelCheck(const QString& cancellationId)
{
    QDBusMessage cancel = QDBusMessage::createMethodCall(fromLatin(service), fromLatin(path), fromLatin(interface),
                                                         QStringLiteral("CancelCheckAuthorization"));
    cancel << cancellationId;
    m_bus.send(cancel);
}

std::optional<PresenceError> PolkitPresenceConfirmer::outcomeOf(const QDBusMessage& reply)
{
    if (reply.type() == QDBusMessage::ErrorMessage) {
        const QString name = reply.errorName();
        if (name == QLatin1String("org.freedesktop.PolicyKit1.Error.Cancelled"))
            return PresenceError::cancelled();
        if (name == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown")
            || name == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner"))
            return PresenceError::failed(QCoreApplication::translate("PresenceConfirmer",
                "Presence confirmation is unavailable: the system's authorization service "
                "(polkit) is not running"));
        if (name == QLatin1String("org.freedesktop.DBus.Error.NoReply")
            || name == QLatin1String("org.freedesktop.DBus.Error.Timeout"))
            return PresenceError::failed(
                QCoreApplication::translate("PresenceConfirmer", "Presence confirmation timed out"));
        if (name == QLatin1String("org.freedesktop.DBus.Error.Disconnected"))
            return PresenceError::failed(QCoreApplication::translate("PresenceConfirmer",
                "Presence confirmation is unavailable: the system bus is not reachable"));
        const QString detail = reply.errorMessage().isEmpty() ? name : reply.errorMessage();
        return PresenceError::failed(
            QCoreApplication::translate("PresenceConfirmer", "Presence confirmation failed: %1").arg(detail));
    }
    if (reply.type() != QDBusMessage::ReplyMessage)
        return PresenceError::failed(QCoreApplication::translate(
            "PresenceConfirmer", "Presence confirmation failed: no answer from polkit"));

    if (reply.signature() != QLatin1String("(bba{ss})") || reply.arguments().size() != 1)
        return PresenceError::failed(QCoreApplication::translate(
            "PresenceConfirmer", "Presence confirmation failed: unexpected answer from polkit"));

    const QDBusArgument result = reply.arguments().constFirst().value<QDBusArgument>();
    bool isAuthorized = false;
    bool isChallenge = false;
    QMap<QString, QString> details;
    result.beginStructure();
    result >> isAuthorized >> isChallenge;
    result.beginMap();
    while (!result.atEnd()) {
        QString key;
        QString value;
        result.beginMapEntry();
        result >> key >> value;
        result.endMapEntry();
        details.insert(key, value);
    }
    result.endMap();
    result.endStructure();

    if (isAuthorized)
        return std::nullopt;
    if (details.contains(QStringLiteral("polkit.dismissed")))
        return PresenceError::cancelled();
    if (isChallenge)
        return PresenceError::failed(QCoreApplication::translate(
            "PresenceConfirmer", "No authentication agent is running to confirm your presence"));
    return PresenceError::failed(
        QCoreApplication::translate("PresenceConfirmer", "Not authorized to activate a trust window"));
}

QCoro::Task<std::optional<PresenceError>> PolkitPresenceConfirmer::confirm(QString reason)
{
    if (!m_bus.isConnected()) {
        const QString why = m_bus.lastError().message();
        co_return PresenceError::failed(why.isEmpty()
                ? QCoreApplication::translate("PresenceConfirmer",
                    "Presence confirmation is unavailable: the system bus is not reachable")
                : QCoreApplication::translate("PresenceConfirmer",
                    "Presence confirmation is unavailable: the system bus is not reachable (%1)")
                      .arg(why));
    }

    const QString cancellationId =
        QStringLiteral("quorvane-%1-%2").arg(QCoreApplication::applicationPid()).arg(++m_calls);
    const LifetimeGuard guard(this);
    const QDBusPendingCall pending = m_bus.asyncCall(checkAuthorizationCall(reason, cancellationId), m_timeoutMilliseconds);
    const QDBusMessage reply = co_await pending;

    std::optional<PresenceError> outcome = outcomeOf(reply);
    if (reply.type() == QDBusMessage::ErrorMessage) {
        qCWarning(lcTrust).noquote() << QStringLiteral("Quorvane: presence confirmation error: %1 %2")
                                            .arg(reply.errorName(), reply.errorMessage());
        // The prompt may still be up when the call timed out: take it down.
        if (guard.alive() && reply.errorName() == QLatin1String("org.freedesktop.DBus.Error.NoReply"))
            cancelCheck(cancellationId);
    }
    co_return outcome;
}
