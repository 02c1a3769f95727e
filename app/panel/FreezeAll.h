#pragma once

#include <QObject>
#include <QString>

#include <QCoroTask>
#include <QtQmlIntegration/qqmlintegration.h>

class ApprovalSyncService;
class TrustWindowState;

// "Freeze all": for the moment something looks wrong. After one confirmation
// it pauses the popover's automatic opening, denies every pending action
// (never with a rule) and asks the back-end to end any active trust window
// (also one opened by another client), then reports what it did and what
// failed. An action the back-end answers 409 for was decided
// elsewhere: that is no failure.
class FreezeAll : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("owned by ApprovalsPanel")
    Q_PROPERTY(bool isConfirming READ isConfirming NOTIFY stateChanged)
    Q_PROPERTY(bool isRunning READ isRunning NOTIFY stateChanged)
    // The report of the last freeze until it is dismissed; empty otherwise.
    Q_PROPERTY(QString report READ report NOTIFY stateChanged)
    Q_PROPERTY(QString confirmationText READ confirmationText NOTIFY stateChanged)
    // The last freeze left something undone: its report offers "Retry".
    Q_PROPERTY(bool canRetry READ canRetry NOTIFY stateChanged)

public:
    struct Outcome
    {
        enum class TrustWindow { notActive, ended, failed };
        int denied = 0;
        int alreadyDecided = 0;
        int failed = 0;
        TrustWindow trustWindow = TrustWindow::notActive;

        // "Denied 4 actions, ended the trust window", and what failed.
        QString text() const;
    };

    FreezeAll(ApprovalSyncService& sync, TrustWindowState& trust, QObject* parent = nullptr);

    bool isConfirming() const { return m_isConfirming; }
    bool isRunning() const { return m_isRunning; }
    bool canRetry() const { return m_canRetry; }
    // Something of the freeze is on screen (question, progress or report):
    // the popover stays open for it even when the list empties.
    bool isShowing() const { return m_isConfirming || m_isRunning || !m_report.isEmpty(); }
    QString report() const { return m_report; }
    QString confirmationText() const;

    // "Freeze all": asks for the confirmation.
    Q_INVOKABLE void requestConfirmation();
    Q_INVOKABLE void cancel();
    // The confirmation's "Freeze": starts the freeze and returns at once.
    Q_INVOKABLE void confirm();
    Q_INVOKABLE void dismissReport();
    // "Retry" on a report with failures: the whole freeze again.
    Q_INVOKABLE void retry();

    // The whole freeze, awaited (confirm() starts it); nothing is done while
    // one is already running.
    QCoro::Task<Outcome> run();

Q_SIGNALS:
    void stateChanged();
    // The popover should stop opening by itself for new escalations.
    void autoOpenPaused();
    // A freeze ended with this report (for a desktop without a tray).
    void finished(const QString& report);

private:
    void setState(bool confirming, bool running, QString report);

    ApprovalSyncService& m_sync;
    TrustWindowState& m_trust;
    QString m_report;
    bool m_isConfirming = false;
    bool m_isRunning = false;
    bool m_canRetry = false;
};
