#include "app/panel/FreezeAll.h"

#include "core/LifetimeGuard.h"
#include "app/trust/TrustWindowState.h"
#include "core/ApprovalSyncService.h"
#include "core/LogCategories.h"

#include <QStringList>

namespace {

const QString deniedDecision = QStringLiteral("denied");

} // namespace

QString FreezeAll::Outcome::text() const
{
    QStringList done;
    if (denied > 0)
        done << (denied == 1 ? FreezeAll::tr("Denied 1 action") : FreezeAll::tr("Denied %1 actions").arg(denied));
    if (alreadyDecided > 0)
        done << FreezeAll::tr("%1 already decided elsewhere").arg(alreadyDecided);
    if (trustWindow == TrustWindow::ended)
        done << FreezeAll::tr("ended the trust window");
    QString text = done.isEmpty() ? FreezeAll::tr("Nothing was pending") : done.join(QStringLiteral(", "));
    QStringList failures;
    if (failed > 0)
        failures << (failed == 1 ? FreezeAll::tr("1 action could not be denied")
                                 : FreezeAll::tr("%1 actions could not be denied").arg(failed));
    if (trustWindow == TrustWindow::failed)
        failures << FreezeAll::tr("the back-end did not confirm the end of the trust window");
    if (!failures.isEmpty())
        text += FreezeAll::tr(". Failed: %1").arg(failures.join(QStringLiteral(", ")));
    return text;
}

FreezeAll::FreezeAll(ApprovalSyncService& sync, TrustWindowState& trust, QObject* parent)
    : QObject(parent)
    , m_sync(sync)
    , m_trust(trust)
{
    // The confirmation names how many actions it will deny.
    connect(&m_sync, &ApprovalSyncService::pendingActionsChanged, this, &FreezeAll::stateChanged);
}

QString FreezeAll::confirmationText() const
{
    const qsizetype count = m_sync.pendingActions().size();
    const QString actions = count == 1 ? tr("the pending action") : tr("all %1 pending actions").arg(count);
    return tr("Deny %1, end any trust window and stop opening for new requests?").arg(actions);
}

void FreezeAll::requestConfirmation()
{
    if (!m_isRunning)
        setState(true, false, QString());
}

void FreezeAll::cancel()
{
    if (m_isConfirming)
        setState(false, false, m_report);
}

void FreezeAll::confirm()
{
    if (m_isConfirming)
        QCoro::connect(run(), this, [](const Outcome&) {});
}

void FreezeAll::dismissReport()
{
    if (!m_isRunning)
        setState(false, false, QString());
}

void FreezeAll::retry()
{
    if (m_canRetry && !m_isRunning)
        QCoro::connect(run(), this, [](const Outcome&) {});
}

QCoro::Task<FreezeAll::Outcome> FreezeAll::run()
{
    if (m_isRunning)
        co_return Outcome{};
    setState(false, true, QString());
    Q_EMIT autoOpenPaused();
    qCInfo(lcPanel).noquote()
        << QStringLiteral("Quorvane: freeze: denying %1 pending actions").arg(m_sync.pendingActions().size());

    const LifetimeGuard guard(this);
    Outcome outcome;
    QStringList ids;
    for (const PendingAction& action : m_sync.pendingActions())
        ids << action.id;
    for (const QString& id : std::as_const(ids)) {
        const int status = co_await m_sync.sendDecision(id, deniedDecision, std::nullopt);
        if (!guard.alive())
            co_return outcome;
        if (status == 200)
            ++outcome.denied;
        else if (status == 409)
            ++outcome.alreadyDecided;
        else
            ++outcome.failed;
    }
    // The back-end knows of windows other clients opened; this one only of its own.
    const TrustWindowState::EndResult ended = co_await m_trust.endAnyWindow();
    if (!guard.alive())
        co_return outcome;
    if (ended == TrustWindowState::EndResult::ended)
        outcome.trustWindow = Outcome::TrustWindow::ended;
    else if (ended == TrustWindowState::EndResult::failed)
        outcome.trustWindow = Outcome::TrustWindow::failed;
    const QString report = outcome.text();
    qCInfo(lcPanel).noquote() << QStringLiteral("Quorvane: freeze: %1").arg(report);
    m_canRetry = outcome.failed > 0 || outcome.trustWindow == Outcome::TrustWindow::failed;
    setState(false, false, report);
    Q_EMIT finished(report);
    co_return outcome;
}

void FreezeAll::setState(bool confirming, bool running, QString report)
{
    if (report.isEmpty())
        m_canRetry = false;
    m_isConfirming = confirming;
    m_isRunning = running;
    m_report = std::move(report);
    Q_EMIT stateChanged();
}
