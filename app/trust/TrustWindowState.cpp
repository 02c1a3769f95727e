#include "app/trust/TrustWindowState.h"

#include "core/LifetimeGuard.h"
#include "core/AssignAndNotify.h"
#include "core/ApiUrl.h"
#include "core/ApprovalSyncService.h"
#include "app/trust/PresenceConfirmation.h"
#include "core/Http.h"
#include "core/JsonText.h"
#include "core/MachineAuthService.h"
#include "core/LogCategories.h"
#include "core/ReceiptLog.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>

#include <cmath>

QString TrustWindowState::refusalText(const QByteArray& body)
{
    const QString text = QString::fromUtf8(body);
    // Invalid sequences become replacement characters: the text no longer
    // gives back the same bytes.
    if (text.toUtf8() != body)
        return tr("Unknown error");
    return text;
}

TrustWindowState::TrustWindowState(MachineAuthService& auth, QNetworkAccessManager& network,
                                   PresenceConfirmation& biometric, ApprovalSyncService* sync, ReceiptLog* receipts,
                                   QObject* policy, Clock clock, QObject* parent)
    : QObject(parent)
    , m_auth(auth)
    , m_receiptLog(receipts)
    , m_network(network)
    , m_biometric(biometric)
    , m_clock(std::move(clock))
    , m_policy(policy)
{
    resetSchedule();

    m_expirationTimer.setInterval(expirationCheckMilliseconds);
    m_expirationTimer.setTimerType(Qt::CoarseTimer);
    connect(&m_expirationTimer, &QTimer::timeout, this, &TrustWindowState::checkExpiration);

    if (sync) {
        // Only the end of a window matters here; one opened elsewhere is not
        // shown. Queued: the stream's delivery finishes before the state changes.
        connect(
            sync, &ApprovalSyncService::trustWindowChanged, this,
            [this](bool active) {
                if (!active)
                    endLocally();
            },
            Qt::QueuedConnection);
    }
}

void TrustWindowState::resetSchedule()
{
    const QDateTime start = now();
    setScheduledStart(start.addSecs(3600));
    setScheduledEnd(start.addSecs(32400));
}

QDateTime TrustWindowState::now() const
{
    return m_clock ? m_clock() : QDateTime::currentDateTimeUtc();
}

void TrustWindowState::setMode(Mode mode)
{
    assignAndNotify(m_mode, mode, this, &TrustWindowState::modeChanged);
}

void TrustWindowState::setSelectedDuration(int minutes)
{
    assignAndNotify(m_selectedDuration, minutes, this, &TrustWindowState::selectedDurationChanged);
}

void TrustWindowState::setScheduledStart(const QDateTime& start)
{
    assignAndNotify(m_scheduledStart, start, this, &TrustWindowState::scheduledStartChanged);
}

void TrustWindowState::setScheduledEnd(const QDateTime& end)
{
    assignAndNotify(m_scheduledEnd, end, this, &TrustWindowState::scheduledEndChanged);
}

void TrustWindowState::setActivating(bool activating)
{
    assignAndNotify(m_isActivating, activating, this, &TrustWindowState::isActivatingChanged);
}

void TrustWindowState::setActive(bool active, const QDateTime& until)
{
    const bool bannerBefore = showsBanner();
    assignAndNotify(m_isActive, active, this, &TrustWindowState::isActiveChanged);
    assignAndNotify(m_activeUntil, until, this, &TrustWindowState::activeUntilChanged);
    if (bannerBefore != showsBanner())
        Q_EMIT showsBannerChanged();
}

void TrustWindowState::setErrorMessage(std::optional<QString> message)
{
    assignAndNotify(m_errorMessage, std::move(message), this, &TrustWindowState::errorMessageChanged);
}

void TrustWindowState::endLocally()
{
    m_expirationTimer.stop();
    setActive(false, QDateTime());
}

QString TrustWindowState::chipLabel(int minutes)
{
    if (minutes < 60)
        return tr("%1m", "minutes").arg(minutes);
    return tr("%1h", "hours").arg(minutes / 60);
}

QString TrustWindowState::isoTime(const QDateTime& time)
{
    return time.toUTC().toString(Qt::ISODate);
}

QByteArray TrustWindowState::requestBody() const
{
    // The machine it is opened from is named, so that the signed body means
    // nothing when replayed for another machine.
    const QByteArray machine = ",\"machine_id\":\"" + JsonText::escaped(m_auth.machineId().value_or(QString())) + "\"}";
    if (m_mode == Mode::AdHoc)
        return "{\"duration_minutes\":" + QByteArray::number(m_selectedDuration) + machine;
    return "{\"starts_at\":\"" + isoTime(m_scheduledStart).toUtf8() + "\",\"ends_at\":\""
        + isoTime(m_scheduledEnd).toUtf8() + '"' + machine;
}

std::optional<QString> TrustWindowState::scheduleProblem() const
{
    if (m_mode == Mode::AdHoc) {
        if (m_selectedDuration <= 0)
            return tr("Choose a duration");
        return std::nullopt;
    }
    if (!m_scheduledStart.isValid() || !m_scheduledEnd.isValid())
        return tr("Choose a start and an end");
    if (m_scheduledEnd <= m_scheduledStart)
        return tr("The end must be after the start");
    if (m_scheduledEnd <= now())
        return tr("The end must be in the future");
    return std::nullopt;
}

QCoro::Task<> TrustWindowState::activate()
{
    if (m_activationRunning || m_isActivating)
        co_return;
    // A window that cannot be opened is refused before anyone is asked.
    if (const auto problem = scheduleProblem()) {
        setErrorMessage(*problem);
        co_return;
    }

    const LifetimeGuard guard(this);
    m_activationRunning = true;
    const std::optional<PresenceError> refused = co_await m_biometric.authenticate(reason);
    if (!guard.alive())
        co_return;
    if (refused) {
        m_activationRunning = false;
        if (!refused->isCancelled())
            setErrorMessage(refused->description());
        co_return;
    }

    setActivating(true);
    const auto finish = [this](std::optional<QString> error) {
        if (error)
            setErrorMessage(std::move(error));
        setActivating(false);
        m_activationRunning = false;
    };

    const QUrl url = ApiUrl::endpoint(QStringLiteral("/trust-window"));
    if (!url.isValid()) {
        finish(std::nullopt);
        co_return;
    }
    // The body is built from the values at this moment; later edits of the
    // pickers do not change the window being opened.
    const Mode mode = m_mode;
    const int duration = m_selectedDuration;
    const QDateTime scheduledEnd = m_scheduledEnd;
    const std::optional<SignedRequest> request = m_auth.signedPOSTRequest(url, requestBody());
    if (!request) {
        finish(tr("Failed to sign request"));
        co_return;
    }

    const HttpResponse response = co_await Http::send(m_network, *request);
    if (!guard.alive())
        co_return;
    const QString summary = mode == Mode::Scheduled
        ? tr("Trust window from %1 to %2").arg(isoTime(m_scheduledStart), isoTime(scheduledEnd))
        : tr("Trust window for %1 minutes").arg(duration);
    recordReceipt(Receipt::trustWindowStarted, summary, *request, response.isHttp() ? response.status : 0);
    if (!response.isHttp()) {
        finish(response.transportError);
        co_return;
    }
    if (response.status != 200) {
        finish(refusalText(response.body));
        co_return;
    }

    const QDateTime until = mode == Mode::Scheduled ? scheduledEnd : now().addSecs(qint64(duration) * 60);
    setActive(true, until);
    setErrorMessage(std::nullopt);
    m_expirationTimer.start();
    finish(std::nullopt);
}

QCoro::Task<bool> TrustWindowState::deactivate()
{
    const EndResult result = co_await endAnyWindow();
    co_return result != EndResult::failed;
}

QCoro::Task<TrustWindowState::EndResult> TrustWindowState::endAnyWindow()
{
    const QUrl url = ApiUrl::endpoint(QStringLiteral("/trust-window"));
    const std::optional<SignedRequest> request =
        url.isValid() ? m_auth.signedDELETERequest(url) : std::optional<SignedRequest>();
    if (!request) {
        // Without a signed request the back-end cannot be told, and its window
        // goes on approving: keep showing it (the expiry still ends it).
        setErrorMessage(tr("Failed to sign request"));
        qCWarning(lcTrust).noquote()
            << QStringLiteral("Quorvane: trust window close not sent: cannot sign the request");
        co_return EndResult::failed;
    }

    m_expirationTimer.stop();
    const LifetimeGuard guard(this);
    const bool wasActiveHere = m_isActive;
    const HttpResponse response = co_await Http::send(m_network, *request);
    if (!guard.alive())
        co_return EndResult::failed;
    recordReceipt(Receipt::trustWindowEnded, tr("Trust window ended"), *request, response.isHttp() ? response.status : 0);
    if (!response.isHttp())
        qCWarning(lcTrust).noquote()
            << QStringLiteral("Quorvane: trust window close failed: %1").arg(response.transportError);
    else if (response.status != 200)
        qCWarning(lcTrust).noquote()
            << QStringLiteral("Quorvane: trust window close failed: HTTP %1").arg(response.status);
    // Closed here whatever the answer, but a failure is told: the back-end's
    // window may still be approving.
    endLocally();
    if (!response.isHttp() || response.status != 200) {
        setErrorMessage(response.isHttp()
                ? tr("Quorvane did not confirm the end of the trust window (HTTP %1)").arg(response.status)
                : tr("Couldn't reach Quorvane — the trust window may still be active"));
        co_return EndResult::failed;
    }
    // The back-end tells whether a window was active; without that member,
    // only a window known here counts.
    const QJsonValue ended = QJsonDocument::fromJson(response.body).object().value(QStringLiteral("ended"));
    co_return ended.isBool() ? (ended.toBool() ? EndResult::ended : EndResult::noneActive)
                             : (wasActiveHere ? EndResult::ended : EndResult::noneActive);
}

void TrustWindowState::recordReceipt(const QString& decision, const QString& summary, const SignedRequest& request,
                                     int status)
{
    if (!m_receiptLog)
        return;
    Receipt receipt;
    receipt.decision = decision;
    receipt.summary = summary;
    m_receiptLog->record(std::move(receipt), request, status);
}

void TrustWindowState::startActivate()
{
    QCoro::connect(activate(), this, [] {});
}

void TrustWindowState::startDeactivate()
{
    QCoro::connect(deactivate(), this, [](bool) {});
}

void TrustWindowState::checkExpiration()
{
    if (m_activeUntil.isValid() && m_activeUntil <= now())
        endLocally();
}

QString TrustWindowState::bannerTimeText(const QDateTime& now, const QDateTime& endsAt, const QLocale& locale)
{
    const qint64 remainingMs = std::max<qint64>(0, now.msecsTo(endsAt));
    if (remainingMs > 3600 * 1000)
        return tr("ends %1").arg(locale.toString(endsAt.toLocalTime().time(), QLocale::ShortFormat));
    // Whole seconds still to run: a window of exactly an hour starts at 60:00.
    const qint64 seconds = (remainingMs + 999) / 1000;
    return QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

QString TrustWindowState::timeText(const QDateTime& endsAt) const
{
    if (!endsAt.isValid())
        return QString();
    return bannerTimeText(now(), endsAt);
}

int TrustWindowState::dayOffset(const QDateTime& time) const
{
    if (!time.isValid())
        return 0;
    return int(now().toLocalTime().date().daysTo(time.toLocalTime().date()));
}

QDateTime TrustWindowState::composeTime(int dayOffset, int hour, int minute) const
{
    const QDate day = now().toLocalTime().date().addDays(dayOffset);
    const QTime time(std::clamp(hour, 0, 23), std::clamp(minute, 0, 59));
    return QDateTime(day, time, Qt::LocalTime);
}

QString TrustWindowState::dayLabel(int dayOffset) const
{
    if (dayOffset == 0)
        return tr("Today");
    if (dayOffset == 1)
        return tr("Tomorrow");
    const QDate day = now().toLocalTime().date().addDays(dayOffset);
    return QLocale().toString(day, QStringLiteral("ddd d MMM"));
}
