#include "core/ApprovalSyncService.h"

#include "core/LifetimeGuard.h"
#include "core/ApiUrl.h"
#include "core/Http.h"
#include "core/JsonText.h"
#include "core/MachineAuthService.h"
#include "core/PendingActionsResponse.h"
#include "core/ReceiptLog.h"
#include "core/LogCategories.h"

#include <QSet>

ApprovalSyncService::ApprovalSyncService(MachineAuthService& auth, ReceiptLog* receipts, QObject* parent)
    : QObject(parent)
    , m_auth(auth)
    , m_receiptLog(receipts)
    , m_subscriber(auth)
{
    m_decisionNetwork.setTransferTimeout(MachineAuthService::requestTimeoutMilliseconds);
    setPollInterval(defaultPollIntervalMs);
    connect(&m_pollTimer, &QTimer::timeout, this, &ApprovalSyncService::requestFetch);
    connect(&m_subscriber, &WebSocketSubscriber::handshakeRefused, this, &ApprovalSyncService::noteAuthorization);
}

void ApprovalSyncService::setPollInterval(int milliseconds)
{
    // Whole seconds are precise enough for a poll of seconds, and let the
    // stream's keep-alive share its wake-up.
    m_pollTimer.setTimerType(milliseconds >= 10 * 1000 ? Qt::VeryCoarseTimer : Qt::CoarseTimer);
    m_pollTimer.setInterval(milliseconds);
}

void ApprovalSyncService::start()
{
    if (m_isActive)
        return;
    if (!m_auth.isConfigured()) {
        qCWarning(lcSync).noquote()
            << QStringLiteral("Quorvane: ApprovalSyncService not starting — auth not configured");
        return;
    }
    qCInfo(lcSync).noquote()
        << QStringLiteral("Quorvane: ApprovalSyncService starting (machine=%1…)").arg(m_auth.machineId().value_or(QString()).left(8));
    m_isActive = true;
    Q_EMIT isActiveChanged(true);

    m_subscriptions = {
        connect(&m_subscriber, &WebSocketSubscriber::eventReceived, this, &ApprovalSyncService::onStreamEvent),
        connect(&m_subscriber, &WebSocketSubscriber::isConnectedChanged, this,
                &ApprovalSyncService::onStreamConnected),
    };
    // The connected flag is observed from its current value on.
    onStreamConnected(m_subscriber.isConnected());
    m_subscriber.start();
    m_pollTimer.start();
    requestFetch();
}

void ApprovalSyncService::stop()
{
    m_subscriber.stop();
    m_pollTimer.stop();
    for (const QMetaObject::Connection& subscription : std::as_const(m_subscriptions))
        disconnect(subscription);
    m_subscriptions.clear();
    if (m_isActive) {
        m_isActive = false;
        Q_EMIT isActiveChanged(false);
    }
    m_fetchFailure.clear();
    updateOffline();
}

void ApprovalSyncService::fetchPendingFromPush()
{
    requestFetch();
}

void ApprovalSyncService::onStreamEvent(const UserEvent& event)
{
    switch (event.kind) {
    case UserEvent::Kind::actionPending:
        requestFetch();
        break;
    case UserEvent::Kind::trustWindowChanged:
        Q_EMIT trustWindowChanged(event.active);
        break;
    case UserEvent::Kind::rulesChanged:
    case UserEvent::Kind::unknown:
        break;
    }
}

void ApprovalSyncService::onStreamConnected(bool connected)
{
    // A freshly opened stream may have missed events while it was down.
    if (connected) {
        noteAuthorization(200);
        requestFetch();
    }
    updateOffline();
}

void ApprovalSyncService::noteFetchResult(const HttpResponse& response)
{
    if (!response.isHttp())
        m_fetchFailure = QStringLiteral("no answer: %1").arg(response.transportError);
    else if (response.status >= 500)
        m_fetchFailure = QStringLiteral("HTTP %1").arg(response.status);
    else
        m_fetchFailure.clear();
    updateOffline();
}

void ApprovalSyncService::updateOffline()
{
    const bool offline = m_isActive && !m_fetchFailure.isEmpty() && !m_subscriber.isConnected();
    if (offline == m_isOffline)
        return;
    m_isOffline = offline;
    qCInfo(lcSync).noquote() << (offline ? QStringLiteral("Quorvane: offline (%1)").arg(m_fetchFailure)
                                         : QStringLiteral("Quorvane: back online"));
    Q_EMIT isOfflineChanged(offline);
}

void ApprovalSyncService::requestFetch()
{
    if (!m_fetchPause.hasExpired())
        return;
    if (m_fetchRunning) {
        m_fetchQueued = true;
        return;
    }
    runFetches();
}

QCoro::Task<> ApprovalSyncService::runFetches()
{
    const LifetimeGuard guard(this);
    m_fetchRunning = true;
    do {
        m_fetchQueued = false;
        co_await fetchPendingOnce();
        if (!guard.alive())
            co_return;
    } while (m_fetchQueued && m_fetchPause.hasExpired());
    m_fetchQueued = false;
    m_fetchRunning = false;
}

QCoro::Task<> ApprovalSyncService::fetchPendingOnce()
{
    const std::optional<SignedRequest> request = m_auth.signedGETRequest(ApiUrl::endpoint(QStringLiteral("/actions/pending")));
    if (!request)
        co_return;
    const LifetimeGuard guard(this);
    const HttpResponse response
        = co_await m_pollConnection.send(*request, Http::Limits{maximumPendingListSize, m_requestDeadlineMs});
    if (!guard.alive())
        co_return;
    noteFetchResult(response);
    if (!response.isHttp())
        co_return;
    noteAuthorization(response.status);
    if (response.status == 429) {
        const qint64 seconds = std::min(response.retryAfterSeconds.value_or(0), maximumRetryAfterSeconds);
        m_fetchPause.setRemainingTime(seconds * 1000);
        co_return;
    }
    if (response.status != 200 || response.bodyTooLarge)
        co_return;
    std::optional<PendingActionsResponse> decoded = PendingActionsResponse::fromJson(response.body);
    if (!decoded)
        co_return;
    const qsizetype count = decoded->actions.size();
    if (count > maximumKeptActions)
        decoded->actions.resize(maximumKeptActions);
    applyPending(std::move(decoded->actions), count);
}

void ApprovalSyncService::noteAuthorization(int status)
{
    if (status == 401)
        ++m_refusalsInARow;
    else if (status >= 200 && status < 300)
        m_refusalsInARow = 0;
    else
        return;
    const bool refused = m_refusalsInARow >= refusalsBeforeIdentityRefused;
    if (refused == m_identityRefused)
        return;
    m_identityRefused = refused;
    if (refused)
        qCWarning(lcSync).noquote()
            << QStringLiteral("Quorvane: the back-end refused this machine's identity %1 times in a row")
                   .arg(m_refusalsInARow);
    Q_EMIT identityRefusedChanged(refused);
}

void ApprovalSyncService::applyPending(QList<PendingAction> actions, qsizetype count)
{
    m_pendingCount = count;
    QSet<QString> known;
    known.reserve(m_pendingActions.size());
    for (const PendingAction& action : std::as_const(m_pendingActions))
        known.insert(action.id);
    const auto firstNew = std::find_if(actions.cbegin(), actions.cend(),
                                       [&known](const PendingAction& action) { return !known.contains(action.id); });
    const QString newId = firstNew == actions.cend() ? QString() : firstNew->id;
    m_pendingActions = std::move(actions);
    Q_EMIT pendingActionsChanged();
    if (!newId.isNull())
        Q_EMIT newEscalationArrived(newId);
}

QByteArray ApprovalSyncService::decisionBody(const QString& actionId, const QString& decision,
                                             std::optional<RuleScope> ruleScope)
{
    const QByteArray head = "{\"action_id\":\"" + JsonText::escaped(actionId) + "\",\"decision\":\""
        + JsonText::escaped(decision) + '"';
    if (ruleScope && decision == QLatin1String("approved"))
        return head + ",\"create_rule\":{\"scope\":\"" + ruleScope->rawValue().toUtf8() + "\"}}";
    return head + '}';
}

QCoro::Task<bool> ApprovalSyncService::respondToAction(QString id, QString decision,
                                                        std::optional<RuleScope> ruleScope)
{
    const int status = co_await sendDecision(std::move(id), std::move(decision), ruleScope);
    co_return status == 200 || status == 409;
}

QCoro::Task<int> ApprovalSyncService::sendDecision(QString id, QString decision, std::optional<RuleScope> ruleScope)
{
    const QUrl url = ApiUrl::endpoint(QStringLiteral("/approvals/") + ApiUrl::pathSegment(id) + QStringLiteral("/respond"));
    if (!url.isValid())
        co_return -1;
    const std::optional<SignedRequest> request = m_auth.signedPOSTRequest(url, decisionBody(id, decision, ruleScope));
    if (!request)
        co_return -1;

    const LifetimeGuard guard(this);
    const HttpResponse response
        = co_await Http::send(m_decisionNetwork, *request, Http::Limits{Http::defaultMaximumBodySize, m_decisionDeadlineMs});
    const int status = response.isHttp() ? response.status : 0;
    if (guard.alive())
        recordReceipt(id, decision, ruleScope, *request, status);
    if (!response.isHttp()) {
        qCWarning(lcSync).noquote()
            << QStringLiteral("Quorvane: approval respond error: %1").arg(response.transportError);
        co_return status;
    }
    // 409: decided elsewhere (or by an earlier attempt whose answer was lost).
    if (status == 200 || status == 409) {
        if (guard.alive())
            removeAction(id);
        co_return status;
    }
    qCWarning(lcSync).noquote() << QStringLiteral("Quorvane: approval respond failed: HTTP %1").arg(status);
    // 404: the back-end no longer has the action, so it waits no more here either.
    if (status == 404 && guard.alive())
        removeAction(id);
    co_return status;
}

void ApprovalSyncService::recordReceipt(const QString& id, const QString& decision, std::optional<RuleScope> ruleScope,
                                        const SignedRequest& request, int status)
{
    if (!m_receiptLog)
        return;
    Receipt receipt;
    receipt.actionId = id;
    receipt.decision = decision;
    if (ruleScope && decision == QLatin1String("approved"))
        receipt.scope = ruleScope->rawValue();
    const auto action = std::find_if(m_pendingActions.cbegin(), m_pendingActions.cend(),
                                     [&id](const PendingAction& pending) { return pending.id == id; });
    if (action != m_pendingActions.cend()) {
        receipt.agent = action->agentName;
        receipt.tool = action->toolName;
        receipt.summary = action->displaySummary();
    }
    m_receiptLog->record(std::move(receipt), request, status);
}

void ApprovalSyncService::removeAction(const QString& id)
{
    m_pendingCount -= m_pendingActions.removeIf([&id](const PendingAction& action) { return action.id == id; });
    Q_EMIT pendingActionsChanged();
}
