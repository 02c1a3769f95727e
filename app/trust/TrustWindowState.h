#pragma once

#include "core/VisibleText.h"

#include <QDateTime>
#include <QList>
#include <QLocale>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <QCoroTask>
#include <QtQmlIntegration/qqmlintegration.h>

#include <functional>
#include <optional>

class ApprovalSyncService;
class PresenceConfirmation;
class MachineAuthService;
class QNetworkAccessManager;
class ReceiptLog;
struct SignedRequest;

// The trust window of the "Pause" tab: a period during which the back-end
// approves escalations by itself. Opens it (quick or scheduled) after the
// person confirms presence, closes it, and follows its end: the local
// expiry, the banner's "Cancel" and the back-end's end signal.
class TrustWindowState : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("Created with the approvals panel")

    Q_PROPERTY(Mode mode READ mode WRITE setMode NOTIFY modeChanged)
    Q_PROPERTY(int selectedDuration READ selectedDuration WRITE setSelectedDuration NOTIFY selectedDurationChanged)
    Q_PROPERTY(QDateTime scheduledStart READ scheduledStart WRITE setScheduledStart NOTIFY scheduledStartChanged)
    Q_PROPERTY(QDateTime scheduledEnd READ scheduledEnd WRITE setScheduledEnd NOTIFY scheduledEndChanged)
    Q_PROPERTY(bool isActivating READ isActivating NOTIFY isActivatingChanged)
    Q_PROPERTY(bool isActive READ isActive NOTIFY isActiveChanged)
    // Invalid when absent.
    Q_PROPERTY(QDateTime activeUntil READ activeUntil NOTIFY activeUntilChanged)
    // The banner is shown while a window is active and its end is known.
    Q_PROPERTY(bool showsBanner READ showsBanner NOTIFY showsBannerChanged)
    // errorMessage is absent unless hasErrorMessage; an empty text may be present
    // (a refusal with an empty body).
    Q_PROPERTY(QString errorMessage READ errorMessage NOTIFY errorMessageChanged)
    Q_PROPERTY(bool hasErrorMessage READ hasErrorMessage NOTIFY errorMessageChanged)
    Q_PROPERTY(QList<int> durations READ durations CONSTANT)
    // The polkit policy's state (a PresencePolicyState), or null when nobody watches it.
    Q_PROPERTY(QObject* policy READ policy CONSTANT)

public:
    enum class Mode { AdHoc, Scheduled };
    Q_ENUM(Mode)

    using Clock = std::function<QDateTime()>;

    static constexpr int expirationCheckMilliseconds = 1000;
    static inline const QString reason = QStringLiteral("Activate trust window");

    // The sync service may be absent (no end signal then). Every opening and
    // closing sent leaves a receipt in `receipts` (none when null). policy: see
    // the property. An empty clock is the system clock.
    TrustWindowState(MachineAuthService& auth, QNetworkAccessManager& network, PresenceConfirmation& biometric,
                     ApprovalSyncService* sync = nullptr, ReceiptLog* receipts = nullptr, QObject* policy = nullptr,
                     Clock clock = {}, QObject* parent = nullptr);
    QObject* policy() const { return m_policy; }

    Mode mode() const { return m_mode; }
    void setMode(Mode mode);
    int selectedDuration() const { return m_selectedDuration; }
    void setSelectedDuration(int minutes);
    QDateTime scheduledStart() const { return m_scheduledStart; }
    void setScheduledStart(const QDateTime& start);
    QDateTime scheduledEnd() const { return m_scheduledEnd; }
    void setScheduledEnd(const QDateTime& end);
    // The schedule's defaults from the clock's now: start in an hour, end in
    // nine. Run each time the "Pause" tab comes into view, so a program that
    // has been running for days never offers a window in the past.
    void resetSchedule();
    bool isActivating() const { return m_isActivating; }
    bool isActive() const { return m_isActive; }
    QDateTime activeUntil() const { return m_activeUntil; }
    bool showsBanner() const { return m_isActive && m_activeUntil.isValid(); }
    QString errorMessage() const { return visibleText(m_errorMessage.value_or(QString())); }
    bool hasErrorMessage() const { return m_errorMessage.has_value(); }
    bool isExpirationTimerRunning() const { return m_expirationTimer.isActive(); }

    // The quick durations offered, in minutes, and a chip's label for one.
    static QList<int> durations() { return {15, 30, 60, 120, 240}; }
    static QString chipLabel(int minutes);
    Q_INVOKABLE QString durationLabel(int minutes) const { return chipLabel(minutes); }

    // Confirms presence, then opens the window on the back-end.
    QCoro::Task<> activate();
    // Closes the window on the back-end and here; true when the back-end
    // confirmed (here it ends whatever the answer, once the request was made).
    QCoro::Task<bool> deactivate();
    // What ending "any trust window" came to: the back-end ends whichever is
    // active, also one opened by another client, and says whether there was one.
    enum class EndResult { ended, noneActive, failed };
    QCoro::Task<EndResult> endAnyWindow();
    // For buttons: start the coroutines and return at once.
    Q_INVOKABLE void startActivate();
    Q_INVOKABLE void startDeactivate();

    // Why the current choice cannot be opened ("The end must be in the
    // future"...), or nothing when it can.
    std::optional<QString> scheduleProblem() const;
    // The exact body of the opening request for the current mode.
    QByteArray requestBody() const;
    // The body of a refusal as the person sees it: the text, or "Unknown error"
    // when it is not UTF-8.
    static QString refusalText(const QByteArray& body);
    // ISO 8601 in UTC with whole seconds: 2026-12-05T14:00:00Z.
    static QString isoTime(const QDateTime& time);

    // The banner's time text for a window ending at `endsAt`, seen at `now`:
    // "ends " and the short local time while more than an hour is left, else
    // minutes and two-digit seconds ("12:05", "0:09"), never below 0:00.
    static QString bannerTimeText(const QDateTime& now, const QDateTime& endsAt, const QLocale& locale = QLocale());
    // The same at the state's clock.
    Q_INVOKABLE QString timeText(const QDateTime& endsAt) const;

    // Helpers of the date-and-time pickers, in local time: days from today,
    // a time composed of a day offset, hour and minute, and a day's label.
    Q_INVOKABLE int dayOffset(const QDateTime& time) const;
    Q_INVOKABLE QDateTime composeTime(int dayOffset, int hour, int minute) const;
    Q_INVOKABLE QString dayLabel(int dayOffset) const;

    void setExpirationCheckInterval(int milliseconds) { m_expirationTimer.setInterval(milliseconds); }
    // One tick of the expiration timer.
    void checkExpiration();

Q_SIGNALS:
    void modeChanged();
    void selectedDurationChanged();
    void scheduledStartChanged();
    void scheduledEndChanged();
    void isActivatingChanged();
    void isActiveChanged();
    void activeUntilChanged();
    void showsBannerChanged();
    void errorMessageChanged();

private:
    QDateTime now() const;
    void setActivating(bool activating);
    void setActive(bool active, const QDateTime& until);
    void setErrorMessage(std::optional<QString> message);
    void endLocally();
    void recordReceipt(const QString& decision, const QString& summary, const SignedRequest& request, int status);

    MachineAuthService& m_auth;
    ReceiptLog* m_receiptLog = nullptr;
    QNetworkAccessManager& m_network;
    PresenceConfirmation& m_biometric;
    Clock m_clock;
    QTimer m_expirationTimer;

    Mode m_mode = Mode::AdHoc;
    int m_selectedDuration = 30;
    QDateTime m_scheduledStart;
    QDateTime m_scheduledEnd;
    bool m_isActivating = false;
    bool m_isActive = false;
    QDateTime m_activeUntil;
    std::optional<QString> m_errorMessage;
    // Covers the whole activation, the presence prompt included, so that a
    // second tap cannot open a second prompt and a second window.
    bool m_activationRunning = false;
    QObject* m_policy = nullptr;
};
