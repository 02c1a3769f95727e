#pragma once

#include "app/panel/ActionDetailState.h"
#include "app/panel/ConnectionStatus.h"
#include "app/panel/FreezeAll.h"
#include "app/panel/PendingActionsModel.h"
#include "app/trust/TrustWindowState.h"
#include "app/panel/UpdateBannerState.h"
#include "core/QuitOffer.h"

#include <QDateTime>
#include <QObject>
#include <QSet>
#include <QTimer>
#include <QUrl>

#include <QCoroTask>
#include <QtQmlIntegration/qqmlintegration.h>

#include <functional>

class ApprovalSyncService;
class UpdateCheckService;

// The content of the tray popover: the pending actions and their decisions,
// the detail page with its rule section, the "Pause" tab, the update banner
// and the way to the dashboard.
//
// The popover window is destroyed whenever it is hidden, so every piece of
// navigation and in-flight state lives here: the selected tab, the selected
// action, which actions have a decision on the way, and which rows show their
// explanation. One 1-second ticker drives every countdown, and only while the
// panel is shown.
class ApprovalsPanel : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("constructed by the application")

    Q_PROPERTY(PendingActionsModel* actions READ actions CONSTANT)
    Q_PROPERTY(ActionDetailState* detail READ detail CONSTANT)
    Q_PROPERTY(UpdateBannerState* updateBanner READ updateBanner CONSTANT)
    Q_PROPERTY(TrustWindowState* trust READ trust CONSTANT)
    Q_PROPERTY(FreezeAll* freeze READ freeze CONSTANT)
    Q_PROPERTY(ConnectionStatus* connection READ connection CONSTANT)
    Q_PROPERTY(QuitOffer* quitOffer READ quitOffer CONSTANT)
    // What became of a decision whose row is gone ("already decided", "gone");
    // empty once dismissed or when the next decision starts.
    Q_PROPERTY(QString notice READ notice NOTIFY noticeChanged)
    // The detail page's decision line, as a row's (see PendingActionsModel).
    Q_PROPERTY(
        QString selectedDecisionStatus READ selectedDecisionStatus NOTIFY selectedDecisionStatusChanged)
    Q_PROPERTY(bool selectedDecisionFailed READ selectedDecisionFailed NOTIFY selectedDecisionStatusChanged)
    // The popover no longer opens by itself (after a freeze, or muted): "Resume" is offered.
    Q_PROPERTY(bool autoOpenPaused READ autoOpenPaused NOTIFY autoOpenPausedChanged)
    Q_PROPERTY(QString selectedTab READ selectedTab WRITE setSelectedTab NOTIFY selectedTabChanged)
        Q_PROPERTY(QString selectedActionId READ selectedActionId NOTIFY selectedActionIdChanged)
            Q_PROPERTY(int pendingCount READ pendingCount NOTIFY pendingCountChanged)
                Q_PROPERTY(QString actionsTabLabel READ actionsTabLabel NOTIFY pendingCountChanged)
        // What the tab area shows: "pause", "detail", "list" or "empty".
        Q_PROPERTY(QString content READ content NOTIFY contentChanged)
            Q_PROPERTY(bool isShown READ isShown NOTIFY isShownChanged)
        // The keyboard's place in the list: the action Enter, A and D act on.
        Q_PROPERTY(QString highlightedActionId READ highlightedActionId NOTIFY highlightedActionIdChanged)
            Q_PROPERTY(int highlightedIndex READ highlightedIndex NOTIFY highlightedActionIdChanged)
        // What to tell when the back-end keeps refusing this machine's key; empty otherwise.
        Q_PROPERTY(QString identityRefusedText READ identityRefusedText NOTIFY identityRefusedTextChanged)

            public : using Clock = std::function<QDateTime()>;

    ApprovalsPanel(ApprovalSyncService& sync, UpdateCheckService& updates, TrustWindowState& trust,
                   QObject* parent = nullptr);
    ~ApprovalsPanel() override;

    // The root view; its required property `panel` receives this object.
    static QUrl viewUrl();

    PendingActionsModel* actions() const { return m_actions; }
    ActionDetailState* detail() const { return m_detail; }
    UpdateBannerState* updateBanner() const { return m_updateBanner; }
    TrustWindowState* trust() const { return &m_trust; }
    FreezeAll* freeze() const { return m_freeze; }
    ConnectionStatus* connection() const { return m_connection; }
    QuitOffer* quitOffer() const { return m_quitOffer; }
    bool autoOpenPaused() const { return m_autoOpenPaused; }
    void setAutoOpenPaused(bool paused);
    // Something on the popover waits to be read (a freeze, a decision's
    // notice): it should not close because the list emptied.
    bool holdsPopover() const { return m_freeze->isShowing() || !m_notice.isEmpty(); }
    QString notice() const { return m_notice; }
    QString selectedDecisionStatus() const { return m_actions->decisionStatus(m_selectedActionId); }
    bool selectedDecisionFailed() const { return m_actions->decisionFailed(m_selectedActionId); }

    QString selectedTab() const { return m_selectedTab; }
    // "actions" or "pause"; anything else is ignored. A change of tab closes
    // the detail page.
    void setSelectedTab(const QString& tab);
    QString selectedActionId() const { return m_selectedActionId; }
    int pendingCount() const;
    QString identityRefusedText() const;
    QString actionsTabLabel() const;
    QString content() const;

    // The popover tells when it is shown: the ticker runs only then, and the
    // countdowns are refreshed at once when it appears.
    void setShown(bool shown);
    bool isShown() const { return m_isShown; }
    bool isTickerRunning() const { return m_ticker.isActive(); }
    void setTickInterval(int milliseconds) { m_ticker.setInterval(milliseconds); }

    // The clock every countdown reads (tests fix it).
    void setClock(Clock clock);

    bool isResponding(const QString& id) const { return m_responding.contains(id); }

    QString highlightedActionId() const { return m_highlightedActionId; }
    int highlightedIndex() const { return m_actions->indexOf(m_highlightedActionId); }
    // A key that no control of the popover took (Qt::Key values): Up and Down
    // move through the list, Enter opens the details, A approves and D denies
    // (as the buttons do, without a rule from the list), Escape goes back from
    // the details (or from the freeze's question) and otherwise asks to
    // close. Keys held with Ctrl, Alt or Meta are not ours. True when used.
    Q_INVOKABLE bool pressKey(int key, int modifiers = 0);

    // Opens the detail page of an action in the list (ignored otherwise).
    Q_INVOKABLE void showDetail(const QString& id);
    // Back from the detail page to the list.
    Q_INVOKABLE void back();
    // Row buttons: a decision without rule.
    Q_INVOKABLE void approve(const QString& id);
    Q_INVOKABLE void deny(const QString& id);
    // "Retry" on a row (or the detail page) whose decision failed: the same
    // decision again, as a new signed request.
    Q_INVOKABLE void retry(const QString& id);
    Q_INVOKABLE void dismissNotice();
    Q_INVOKABLE void resume();
    // "Set up this machine again" when the back-end refuses this machine's key.
    Q_INVOKABLE void setUpAgain();
    // "Explain this request" on a row.
    Q_INVOKABLE void showExplanation(const QString& id);
    // "Open Quorvane".
    Q_INVOKABLE void openDashboard();

    // One decision, awaited: fromDetail takes the scope from the detail page
    // and returns to the list on success. False when refused before sending
    // (unknown action, one already in flight, an expired action on the detail
    // page) or when the back-end did not take it.
    QCoro::Task<bool> decide(QString id, QString decision, bool fromDetail);
    // The status of the last attempt for an action (see ApprovalSyncService::sendDecision).
    QCoro::Task<int> send(QString id, QString decision, std::optional<RuleScope> scope, bool fromDetail);

Q_SIGNALS:
    void openDashboardRequested();
    void setUpAgainRequested();
    void resumeRequested();
    void autoOpenPausedChanged();
    void holdsPopoverChanged();
    void noticeChanged();
    void selectedDecisionStatusChanged();
    // Escape on the list or the "Pause" tab: the popover should close.
    void closeRequested();
    void highlightedActionIdChanged();
    void selectedTabChanged();
    void selectedActionIdChanged();
    void pendingCountChanged();
    void contentChanged();
    void isShownChanged();
    void identityRefusedTextChanged();

private:
    void onPendingActionsChanged();
    void setSelectedActionId(const QString& id);
    void syncDetail();
    void setResponding(const QString& id, bool responding);
    void setDecisionStatus(const QString& id, const QString& text, bool failed);
    void setNotice(const QString& notice);
    void updateTicker();
    void tick();
    void announceContent();
    void setHighlightedActionId(const QString& id);
    void keepHighlightInList();
    void moveHighlight(int step);

    ApprovalSyncService& m_sync;
    TrustWindowState& m_trust;
    PendingActionsModel* m_actions = nullptr;
    ActionDetailState* m_detail = nullptr;
    UpdateBannerState* m_updateBanner = nullptr;
    FreezeAll* m_freeze = nullptr;
    ConnectionStatus* m_connection = nullptr;
    QuitOffer* m_quitOffer = nullptr;
    struct SentDecision
    {
        QString decision;
        std::optional<RuleScope> scope;
        bool fromDetail = false;
    };
    QHash<QString, SentDecision> m_sentDecisions; // the last one of each action, for "Retry"
    QString m_notice;
    bool m_autoOpenPaused = false;
    QTimer m_ticker;
    QString m_selectedTab = QStringLiteral("actions");
    QString m_selectedActionId;
    QString m_lastContent;
    QString m_highlightedActionId;
    int m_highlightedRow = 0;
    QSet<QString> m_responding;
    int m_announcedCount = 0;
    bool m_isShown = false;
};
