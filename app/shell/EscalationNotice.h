#pragma once

#include <QCoroTask>
#include <QObject>
#include <QString>

class ApprovalSyncService;
class DesktopNotifier;
struct PendingAction;

// The desktop notification for a new escalation where no tray shows our icon:
// who asks for what, with "Review" (opens the popover), "Deny", and "Approve"
// when the risk is below high and the whole request fits the notification. A
// decision taken there is sent as one from the popover is; when it does not
// reach the back-end, a second notification says so.
class EscalationNotice : public QObject
{
    Q_OBJECT

public:
    static constexpr QLatin1String reviewKey{"review"};
    static constexpr QLatin1String denyKey{"deny"};
    static constexpr QLatin1String approveKey{"approve"};
    // Longer requests are not approved from a notification: servers cut them.
    static constexpr qsizetype longestApprovableRequest = 300;

    // Both must outlive the notice.
    EscalationNotice(DesktopNotifier& notifier, ApprovalSyncService& sync, QObject* parent = nullptr);

    void announce(const QString& actionId);
    // What the notification shows of an action: "agent (tool): request".
    static QString describe(const PendingAction& action);
    static bool approvableFromNotification(const PendingAction& action);

Q_SIGNALS:
    void reviewRequested();

private:
    void onActionInvoked(const QString& key);
    QCoro::Task<> decide(QString actionId, QString decision);

    DesktopNotifier& m_notifier;
    ApprovalSyncService& m_sync;
    QString m_actionId; // the action of the notification shown last
};
