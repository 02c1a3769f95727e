#include "ApprovalSyncService.h"

#include "ApiUrl.h"
#include "HttpResponse.h"
#include "JsonText.h"
#include "MachineAuthService.h"
#include "PendingActionsResponse.h"
#include "SystemLog.h"

#include <QNetworkAccessManager>
#include <QPointer>
#include <QSet>

ApprovalSyncService::ApprovalSyncService(MachineAuthService& auth, QNetworkAccessManager& network, QObject* parent)
    : QObject(parent)
    , m_auth(auth)
    , m_network(network)
    , m_subscriber(auth)
{
    m_pollTimer.setInterval(15000);
    connect(&m_pollTimer, &QTimer::timeout, this, [this] { fetchPending(); });
}

void ApprovalSyncService::start()
{
    if (m_isActive)
        return;
    if (!m_auth.isConfigured()) {
        SystemLog::write(QStringLiteral("Quorvane: ApprovalSyncService not starting — auth not configured"));
        return;
    }
    SystemLog::write(QStringLiteral("Quorvane: ApprovalSyncService starting (machine=%1…)").arg(m_auth.machineId().value_or(QString()).left(8)));
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
    fetchPending();
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
}

void ApprovalSyncService::fetchPendingFromPush()
{
    fetchPending();
}

void ApprovalSyncService::onStreamEvent(const UserEvent& event)
{
    switch (event.kind) {
    case UserEvent::Kind::actionPending:
        fetchPending();
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
    if (connected)
        fetchPending();
}

QCoro::Task<> ApprovalSyncService::fetchPending()
{
    const std::optional<SignedRequest> request = m_auth.signedGETRequest(ApiUrl::endpoint(QStringLiteral("/actions/pending")));
    if (!request)
        co_return;
    QPointer<ApprovalSyncService> self(this);
    const HttpResponse response = co_await Http::send(m_network, *request);
    if (!self || response.status != 200)
        co_return;
    std::optional<PendingActionsResponse> decoded = PendingActionsResponse::fromJson(response.body);
    if (!decoded)
        co_return;
    applyPending(std::move(decoded->actions));
}

void ApprovalSyncService::applyPending(QList<PendingAction> actions)
{
    QSet<QString> known;
    known.reserve(m_pendingActions.size());
    for (const PendingAction& action : std::as_const(m_pendingActions))
        known.insert(action.id);
    const bool hasNew = std::any_of(actions.cbegin(), actions.cend(),
                                    [&known](const PendingAction& action) { return !known.contains(action.id); });
    m_pendingActions = std::move(actions);
    Q_EMIT pendingActionsChanged();
    if (hasNew)
        Q_EMIT newEscalationArrived();
}

QByteArray ApprovalSyncService::decisionBody(const QString& decision, std::optional<RuleScope> ruleScope)
{
    const QByteArray decisionText = JsonText::escaped(decision);
    if (ruleScope && decision == QLatin1String("approved"))
        return "{\"decision\":\"" + decisionText + "\",\"create_rule\":{\"scope\":\""
            + ruleScope->rawValue().toUtf8() + "\"}}";
    return "{\"decision\":\"" + decisionText + "\"}";
}

QCoro::Task<bool> ApprovalSyncService::respondToAction(QString id, QString decision,
                                                        std::optional<RuleScope> ruleScope)
{
    const QUrl url = ApiUrl::endpoint(QStringLiteral("/approvals/") + ApiUrl::pathSegment(id) + QStringLiteral("/respond"));
    if (!url.isValid())
        co_return false;
    const std::optional<SignedRequest> request = m_auth.signedPOSTRequest(url, decisionBody(decision, ruleScope));
    if (!request)
        co_return false;

    QPointer<ApprovalSyncService> self(this);
    const HttpResponse response = co_await Http::send(m_network, *request);
    if (!response.isHttp()) {
        SystemLog::write(QStringLiteral("Quorvane: approval respond error: %1").arg(response.transportError));
        co_return false;
    }
    if (response.status == 200 || response.status == 409) {
        if (self)
            self->removeAction(id);
        co_return true;
    }
    SystemLog::write(QStringLiteral("Quorvane: approval respond failed: HTTP %1").arg(response.status));
    co_return false;
}

void ApprovalSyncService::removeAction(const QString& id)
{
    m_pendingActions.removeIf([&id](const PendingAction& action) { return action.id == id; });
    Q_EMIT pendingActionsChanged();
}
