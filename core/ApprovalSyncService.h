#pragma once

#include "core/Http.h"
#include "core/HttpConnection.h"
#include "core/PendingAction.h"
#include "core/RuleScope.h"
#include "core/WebSocketSubscriber.h"

#include <QDeadlineTimer>
#include <QList>
#include <QNetworkAccessManager>
#include <QObject>
#include <QTimer>

#include <QCoroTask>

#include <optional>

class MachineAuthService;
class ReceiptLog;

// Keeps the program's copy of the pending actions in step with the back-end and
// sends the person's decisions. It learns of changes from the event stream, a
// 15-second poll, and fetches asked for from outside (push notifications).
//
// Fetches are coalesced: at most one is in flight, and any number of requests
// made meanwhile lead to one more fetch after it, so a flood of stream events
// costs a handful of requests. Decisions go over a connection of their own
// (decisionNetwork()), never queued behind a stalled poll.
class ApprovalSyncService : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool isActive READ isActive NOTIFY isActiveChanged)
    Q_PROPERTY(bool identityRefused READ identityRefused NOTIFY identityRefusedChanged)
    // Neither the last fetch of the list nor the stream reached the back-end.
    Q_PROPERTY(bool isOffline READ isOffline NOTIFY isOfflineChanged)

public:
    static constexpr int defaultPollIntervalMs = 15 * 1000;
    static constexpr qint64 maximumPendingListSize = 8 * 1024 * 1024;
    // The list keeps this many actions; pendingCount() still tells how many there are.
    static constexpr qsizetype maximumKeptActions = 5000;
    // A 401 this many times in a row (stream handshake or pending list) means
    // the back-end no longer knows this machine's key.
    static constexpr int refusalsBeforeIdentityRefused = 3;
    static constexpr qint64 maximumRetryAfterSeconds = 5 * 60;

    // receipts: every decision sent leaves a receipt in this log (none when null).
    ApprovalSyncService(MachineAuthService& auth, ReceiptLog* receipts = nullptr,
                        QObject* parent = nullptr);

    const QList<PendingAction>& pendingActions() const { return m_pendingActions; }
    // How many actions the back-end listed, also beyond the kept ones.
    qsizetype pendingCount() const { return m_pendingCount; }
    bool isActive() const { return m_isActive; }
    bool identityRefused() const { return m_identityRefused; }
    bool isOffline() const { return m_isOffline; }
    // Why the last fetch failed ("no answer: Connection refused", "HTTP 503");
    // empty while online.
    QString offlineReason() const { return m_isOffline ? m_fetchFailure : QString(); }
    // When the next fetch of the list is due, in milliseconds (-1 when stopped).
    int nextFetchInMs() const { return m_pollTimer.isActive() ? m_pollTimer.remainingTime() : -1; }
    WebSocketSubscriber& subscriber() { return m_subscriber; }
    // The connection pool of decisions and trust-window requests.
    QNetworkAccessManager& decisionNetwork() { return m_decisionNetwork; }

    int pollInterval() const { return m_pollTimer.interval(); }
    void setPollInterval(int milliseconds);
    // The total deadline of every request (tests shorten it).
    void setRequestDeadline(int milliseconds) { m_requestDeadlineMs = milliseconds; }
    // The total deadline of a decision, from sending to the answer (tests shorten it).
    void setDecisionDeadline(int milliseconds) { m_decisionDeadlineMs = milliseconds; }
    int decisionDeadline() const { return m_decisionDeadlineMs; }
    // How long fetches still wait because the back-end answered 429.
    qint64 fetchPauseRemainingMs() const { return m_fetchPause.remainingTime(); }

    void start();
    void stop();
    void fetchPendingFromPush();

    // Sends "approved" or "denied", optionally with a rule scope (only an
    // approval creates a rule). True when the back-end took the decision, or
    // answered 409 because it was decided elsewhere. Each call is a new signed
    // request, so a retry after a failure is one too.
    QCoro::Task<bool> respondToAction(QString id, QString decision, std::optional<RuleScope> ruleScope);
    // As respondToAction, with the back-end's status: 0 when no answer came,
    // -1 when the request could not be made. 200 and 409 drop the action from
    // the list, and so does 404 (the back-end no longer has it).
    QCoro::Task<int> sendDecision(QString id, QString decision, std::optional<RuleScope> ruleScope);

    // The exact body of a decision request; it names the action it decides,
    // so that its signature cannot be replayed onto another action.
    static QByteArray decisionBody(const QString& actionId, const QString& decision,
                                   std::optional<RuleScope> ruleScope);

Q_SIGNALS:
    // Every assignment of the list, including one of an equal list.
    void pendingActionsChanged();
    void isActiveChanged(bool isActive);
    void isOfflineChanged(bool isOffline);
    void identityRefusedChanged(bool identityRefused);
    // An action the list did not hold before (the first of them when several came).
    void newEscalationArrived(const QString& actionId);
    void trustWindowChanged(bool active);

private:
    void requestFetch();
    QCoro::Task<> runFetches();
    QCoro::Task<> fetchPendingOnce();
    void applyPending(QList<PendingAction> actions, qsizetype count);
    void onStreamEvent(const UserEvent& event);
    void onStreamConnected(bool connected);
    void noteAuthorization(int status);
    void noteFetchResult(const HttpResponse& response);
    void updateOffline();
    void removeAction(const QString& id);
    void recordReceipt(const QString& id, const QString& decision, std::optional<RuleScope> ruleScope,
                       const SignedRequest& request, int status);

    MachineAuthService& m_auth;
    ReceiptLog* m_receiptLog = nullptr;
    // The poll's own kept connection: one GET every 15 s wakes this thread alone.
    HttpConnection m_pollConnection;
    QNetworkAccessManager m_decisionNetwork;
    WebSocketSubscriber m_subscriber;
    QTimer m_pollTimer;
    QList<PendingAction> m_pendingActions;
    qsizetype m_pendingCount = 0;
    QList<QMetaObject::Connection> m_subscriptions;
    QDeadlineTimer m_fetchPause{0};
    int m_requestDeadlineMs = Http::requestDeadlineMs;
    int m_decisionDeadlineMs = Http::requestDeadlineMs;
    QString m_fetchFailure; // empty after a fetch that the back-end answered
    bool m_isOffline = false;
    int m_refusalsInARow = 0;
    bool m_identityRefused = false;
    bool m_fetchRunning = false;
    bool m_fetchQueued = false;
    bool m_isActive = false;
};
