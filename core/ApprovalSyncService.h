#pragma once

#include "PendingAction.h"
#include "RuleScope.h"
#include "WebSocketSubscriber.h"

#include <QList>
#include <QObject>
#include <QTimer>

#include <QCoroTask>

#include <optional>

class MachineAuthService;
class QNetworkAccessManager;

// Keeps the program's copy of the pending actions in step with the back-end and
// sends the person's decisions. It learns of changes from the event stream, a
// 15-second poll, and fetches asked for from outside (push notifications).
class ApprovalSyncService : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool isActive READ isActive NOTIFY isActiveChanged)

public:
    ApprovalSyncService(MachineAuthService& auth, QNetworkAccessManager& network, QObject* parent = nullptr);

    const QList<PendingAction>& pendingActions() const { return m_pendingActions; }
    bool isActive() const { return m_isActive; }
    WebSocketSubscriber& subscriber() { return m_subscriber; }

    void setPollInterval(int milliseconds) { m_pollTimer.setInterval(milliseconds); }

    void start();
    void stop();
    void fetchPendingFromPush();

    // Sends "approved" or "denied", optionally with a rule scope (only an
    // approval creates a rule). True when the back-end took the decision, or
    // answered 409 because it was decided elsewhere.
    QCoro::Task<bool> respondToAction(QString id, QString decision, std::optional<RuleScope> ruleScope);

    // The exact body of a decision request.
    static QByteArray decisionBody(const QString& decision, std::optional<RuleScope> ruleScope);

Q_SIGNALS:
    // Every assignment of the list, including one of an equal list.
    void pendingActionsChanged();
    void isActiveChanged(bool isActive);
    void newEscalationArrived();
    void trustWindowChanged(bool active);

private:
    QCoro::Task<> fetchPending();
    void applyPending(QList<PendingAction> actions);
    void onStreamEvent(const UserEvent& event);
    void onStreamConnected(bool connected);
    void removeAction(const QString& id);

    MachineAuthService& m_auth;
    QNetworkAccessManager& m_network;
    WebSocketSubscriber m_subscriber;
    QTimer m_pollTimer;
    QList<PendingAction> m_pendingActions;
    QList<QMetaObject::Connection> m_subscriptions;
    bool m_isActive = false;
};
