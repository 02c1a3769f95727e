#pragma once

#include "platform/PresenceConfirmer.h"

#include <QDBusConnection>
#include <QDBusMessage>

// Presence confirmation through the polkit authority: CheckAuthorization for
// our own action "org.quorvane.trust-window" (auth_self), with user interaction
// allowed, for this process as the subject. The authentication agent of the
// session shows the prompt (password, or fingerprint where it is set up).
class PolkitPresenceConfirmer : public PresenceConfirmer
{
    Q_OBJECT

public:
    static constexpr const char* actionId = "org.quorvane.trust-window";
    static constexpr const char* service = "org.freedesktop.PolicyKit1";
    static constexpr const char* path = "/org/freedesktop/PolicyKit1/Authority";
    static constexpr const char* interface = "org.freedesktop.PolicyKit1.Authority";
    // A person may take a while at the prompt; the bus's default of 25 s is
    // far too short.
    static constexpr int defaultTimeoutMilliseconds = 5 * 60 * 1000;

    // `bus` is where the authority lives (the system bus in the program, a
    // private bus in tests); `pid` is the subject process.
    explicit PolkitPresenceConfirmer(QDBusConnection bus, qint64 pid, QObject* parent = nullptr);
    // This process on the system bus.
    explicit PolkitPresenceConfirmer(QObject* parent = nullptr);

    void setTimeout(int milliseconds) { m_timeoutMilliseconds = milliseconds; }

    QCoro::Task<std::optional<PresenceError>> confirm(QString reason) override;

    // The start time of a process in clock ticks since boot (field 22 of
    // /proc/<pid>/stat), as polkit identifies processes; 0 when unknown.
    static quint64 processStartTime(qint64 pid);
    // Field 22 of a /proc/<pid>/stat line; nothing when the line is malformed.
    static std::optional<quint64> startTimeFromStat(const QByteArray& statLine);

    // The outcome of a CheckAuthorization reply (or error) message.
    static std::optional<PresenceError> outcomeOf(const QDBusMessage& reply);

private:
    QDBusMessage checkAuthorizationCall(const QString& reason, const QString& cancellationId) const;
    void cancelCheck(const QString& cancellationId);

    QDBusConnection m_bus;
    qint64 m_pid;
    int m_timeoutMilliseconds = defaultTimeoutMilliseconds;
    quint64 m_calls = 0;
};
