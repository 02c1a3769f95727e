#include "app/panel/ApprovalsPanel.h"

#include "core/LifetimeGuard.h"
#include "core/AssignAndNotify.h"
#include "core/ApprovalSyncService.h"
#include "app/panel/PanelPresentation.h"
#include "app/trust/TrustWindowState.h"
#include "core/UpdateCheckService.h"


#include <algorithm>

namespace {
const QString actionsTab = QStringLiteral("actions");
const QString pauseTab = QStringLiteral("pause");
const QString approvedDecision = QStringLiteral("approved");
const QString deniedDecision = QStringLiteral("denied");
} // namespace

ApprovalsPanel::ApprovalsPanel(ApprovalSyncService& sync, UpdateCheckService& updates, TrustWindowState& trust,
                               QObject* parent)
    : QObject(parent)
    , m_sync(sync)
    , m_trust(trust)
    , m_actions(new PendingActionsModel(this))
    , m_detail(new ActionDetailState(this))
    , m_updateBanner(new UpdateBannerState(updates, this))
    , m_freeze(new FreezeAll(sync, trust, this))
    , m_connection(new ConnectionStatus(sync, this))
    , m_quitOffer(new QuitOffer(this))
{
    m_ticker.setInterval(1000);
    connect(&m_ticker, &QTimer::timeout, this, &ApprovalsPanel::tick);
    connect(&sync, &ApprovalSyncService::pendingActionsChanged, this, &ApprovalsPanel::onPendingActionsChanged);
    connect(&sync, &ApprovalSyncService::identityRefusedChanged, this, &ApprovalsPanel::identityRefusedTextChanged);
    m_actions->setActions(sync.pendingActions());
    keepHighlightInList();
    connect(m_freeze, &FreezeAll::stateChanged, this, &ApprovalsPanel::holdsPopoverChanged);
    connect(m_detail, &ActionDetailState::approveRequested, this,
            [this] { decide(m_selectedActionId, approvedDecision, true); });
    connect(m_detail, &ActionDetailState::denyRequested, this,
            [this] { decide(m_selectedActionId, deniedDecision, true); });
    // Explanations come with later refreshes of the list: while none gets
    // through, "Explain this request" is offered only where one is at hand.
    connect(&sync, &ApprovalSyncService::isOfflineChanged, m_actions,
            [this](bool offline) { m_actions->setExplanationsExpected(!offline); });
    m_announcedCount = pendingCount();
    m_lastContent = content();
}

ApprovalsPanel::~ApprovalsPanel() = default;

QUrl ApprovalsPanel::viewUrl()
{
    return QUrl(QStringLiteral("qrc:/qt/qml/Quorvane/Panel/ApprovalsPanelView.qml"));
}

QString ApprovalsPanel::actionsTabLabel() const
{
    return PanelPresentation::actionsTabLabel(pendingCount());
}

int ApprovalsPanel::pendingCount() const
{
    // The list keeps a bounded number of actions; the count is the back-end's.
    return int(m_sync.pendingCount());
}

QString ApprovalsPanel::identityRefusedText() const
{
    if (!m_sync.identityRefused())
        return {};
    return tr("The server refused this machine's identity. Open Quorvane and set this machine up again.");
}

QString ApprovalsPanel::content() const
{
    if (m_selectedTab == pauseTab)
        return QStringLiteral("pause");
    if (m_detail->action())
        return QStringLiteral("detail");
    if (m_actions->count() > 0)
        return QStringLiteral("list");
    return QStringLiteral("empty");
}

void ApprovalsPanel::announceContent()
{
    assignAndNotify(m_lastContent, content(), this, &ApprovalsPanel::contentChanged);
}

void ApprovalsPanel::setSelectedTab(const QString& tab)
{
    if (tab != actionsTab && tab != pauseTab)
        return;
    if (tab == m_selectedTab)
        return;
    m_selectedTab = tab;
    setSelectedActionId(QString());
    if (m_isShown && tab == pauseTab)
        m_trust.resetSchedule();
    Q_EMIT selectedTabChanged();
    announceContent();
}

void ApprovalsPanel::onPendingActionsChanged()
{
    m_actions->setActions(m_sync.pendingActions());
    keepHighlightInList();
    // An open detail page whose action left the list returns to the list;
    // one whose action was refreshed shows the new values.
    m_sentDecisions.removeIf([this](const auto& entry) { return m_actions->indexOf(entry.key()) < 0; });
    if (!m_selectedActionId.isEmpty() && m_actions->indexOf(m_selectedActionId) < 0)
        setSelectedActionId(QString());
    else
        syncDetail();
    if (pendingCount() != m_announcedCount) {
        m_announcedCount = pendingCount();
        Q_EMIT pendingCountChanged();
    }
    updateTicker();
    announceContent();
}

void ApprovalsPanel::showDetail(const QString& id)
{
    if (m_selectedTab != actionsTab || m_actions->indexOf(id) < 0)
        return;
    setSelectedActionId(id);
    announceContent();
}

void ApprovalsPanel::back()
{
    setSelectedActionId(QString());
    announceContent();
}

void ApprovalsPanel::setSelectedActionId(const QString& id)
{
    if (id == m_selectedActionId)
        return;
    m_selectedActionId = id;
    syncDetail();
    Q_EMIT selectedActionIdChanged();
    Q_EMIT selectedDecisionStatusChanged();
}

void ApprovalsPanel::syncDetail()
{
    const PendingAction* action = m_selectedActionId.isEmpty() ? nullptr : m_actions->action(m_selectedActionId);
    m_detail->show(action ? std::optional<PendingAction>(*action) : std::nullopt,
                   action && m_responding.contains(action->id));
}

void ApprovalsPanel::setResponding(const QString& id, bool responding)
{
    if (responding)
        m_responding.insert(id);
    else
        m_responding.remove(id);
    m_actions->setResponding(id, responding);
    if (m_selectedActionId == id)
        syncDetail();
}

void ApprovalsPanel::approve(const QString& id)
{
    decide(id, approvedDecision, false);
}

void ApprovalsPanel::deny(const QString& id)
{
    decide(id, deniedDecision, false);
}

QCoro::Task<bool> ApprovalsPanel::decide(QString id, QString decision, bool fromDetail)
{
    if (id.isEmpty() || (decision != approvedDecision && decision != deniedDecision))
        co_return false;
    if (m_responding.contains(id) || m_actions->indexOf(id) < 0)
        co_return false;
    std::optional<RuleScope> scope;
    if (fromDetail) {
        // The page refuses decisions once its action has expired.
        if (m_detail->shown()->id() != id || !m_detail->countdown()->showsButtons())
            co_return false;
        if (decision == approvedDecision)
            scope = m_detail->rule()->scopeForApproval();
    }
    auto sending = send(id, decision, scope, fromDetail);
    const int status = co_await std::move(sending);
    co_return status == 200 || status == 409;
}

void ApprovalsPanel::retry(const QString& id)
{
    const auto sent = m_sentDecisions.constFind(id);
    if (sent == m_sentDecisions.cend() || m_responding.contains(id) || m_actions->indexOf(id) < 0)
        return;
    const SentDecision again = *sent;
    QCoro::connect(send(id, again.decision, again.scope, again.fromDetail), this, [](int) {});
}

QCoro::Task<int> ApprovalsPanel::send(
    QString id, QString decision, std::optional<RuleScope> scope, bool fromDetail)
{
    const PendingAction* action = m_actions->action(id);
    const QString name = action ? action->displayName() : id;
    m_sentDecisions.insert(id, SentDecision{decision, scope, fromDetail});
    setNotice(QString());
    setResponding(id, true);
    setDecisionStatus(id, PanelPresentation::decisionSendingText(decision, m_sync.isOffline()), false);
    const LifetimeGuard guard(this);
    auto sending = m_sync.sendDecision(id, decision, scope);
    const int status = co_await std::move(sending);
    if (!guard.alive())
        co_return status;
    setResponding(id, false);
    switch (status) {
    case 200:
        break;
    case 409:
        setNotice(tr("Already decided: “%1” had a decision before this one arrived.").arg(name));
        break;
    case 404:
        setNotice(tr("“%1” is gone: it expired or was withdrawn, so nothing was decided.").arg(name));
        break;
    default:
        // The row stays, says why and offers "Retry".
        setDecisionStatus(id, PanelPresentation::decisionFailureText(status), true);
        co_return status;
    }
    m_sentDecisions.remove(id);
    setDecisionStatus(id, QString(), false);
    // On success the sync service has dropped the action, which already took
    // the page back to the list; a page opened on another action meanwhile
    // stays open.
    if (fromDetail && m_selectedActionId == id)
        back();
    co_return status;
}

void ApprovalsPanel::setDecisionStatus(const QString& id, const QString& text, bool failed)
{
    m_actions->setDecisionStatus(id, text, failed);
    if (id == m_selectedActionId)
        Q_EMIT selectedDecisionStatusChanged();
}

void ApprovalsPanel::setNotice(const QString& notice)
{
    if (assignAndNotify(m_notice, notice, this, &ApprovalsPanel::noticeChanged))
        Q_EMIT holdsPopoverChanged();
}

void ApprovalsPanel::setAutoOpenPaused(bool paused)
{
    assignAndNotify(m_autoOpenPaused, paused, this, &ApprovalsPanel::autoOpenPausedChanged);
}

void ApprovalsPanel::resume()
{
    Q_EMIT resumeRequested();
}

void ApprovalsPanel::dismissNotice()
{
    setNotice(QString());
}

void ApprovalsPanel::setUpAgain()
{
    Q_EMIT setUpAgainRequested();
}

bool ApprovalsPanel::pressKey(int key, int modifiers)
{
    if (modifiers & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
        return false;
    const QString shown = content();
    if (key == Qt::Key_Escape) {
        if (m_freeze->isConfirming())
            m_freeze->cancel();
        else if (shown == QLatin1String("detail"))
            back();
        else
            Q_EMIT closeRequested();
        return true;
    }
    if (shown == QLatin1String("detail")) {
        if (key == Qt::Key_A)
            m_detail->approve();
        else if (key == Qt::Key_D)
            m_detail->deny();
        else
            return false;
        return true;
    }
    if (shown != QLatin1String("list"))
        return false;
    switch (key) {
    case Qt::Key_Up:
        moveHighlight(-1);
        return true;
    case Qt::Key_Down:
        moveHighlight(1);
        return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        showDetail(m_highlightedActionId);
        return true;
    case Qt::Key_A:
        approve(m_highlightedActionId);
        return true;
    case Qt::Key_D:
        deny(m_highlightedActionId);
        return true;
    default:
        return false;
    }
}

void ApprovalsPanel::moveHighlight(int step)
{
    const int row = std::clamp(highlightedIndex() + step, 0, std::max(m_actions->count() - 1, 0));
    m_highlightedRow = row;
    setHighlightedActionId(m_actions->idAt(row));
}

void ApprovalsPanel::keepHighlightInList()
{
    const int row = m_actions->indexOf(m_highlightedActionId);
    if (row >= 0) {
        if (row != m_highlightedRow) {
            m_highlightedRow = row;
            Q_EMIT highlightedActionIdChanged();
        }
        return;
    }
    // The highlighted action left: its place goes to the one that took it.
    m_highlightedRow = std::clamp(m_highlightedRow, 0, std::max(m_actions->count() - 1, 0));
    setHighlightedActionId(m_actions->idAt(m_highlightedRow));
}

void ApprovalsPanel::setHighlightedActionId(const QString& id)
{
    assignAndNotify(m_highlightedActionId, id, this, &ApprovalsPanel::highlightedActionIdChanged);
}

void ApprovalsPanel::showExplanation(const QString& id)
{
    m_actions->setShowExplanation(id, true);
}

void ApprovalsPanel::openDashboard()
{
    Q_EMIT openDashboardRequested();
}

void ApprovalsPanel::setShown(bool shown)
{
    if (shown == m_isShown)
        return;
    m_isShown = shown;
    if (shown && m_selectedTab == pauseTab)
        m_trust.resetSchedule();
    if (shown)
        tick();
    updateTicker();
    Q_EMIT isShownChanged();
}

void ApprovalsPanel::setClock(Clock clock)
{
    m_actions->setClock(clock);
    m_detail->countdown()->setClock(clock);
}

void ApprovalsPanel::updateTicker()
{
    const bool wanted = m_isShown && m_actions->count() > 0;
    if (wanted && !m_ticker.isActive())
        m_ticker.start();
    else if (!wanted && m_ticker.isActive())
        m_ticker.stop();
}

void ApprovalsPanel::tick()
{
    m_actions->refreshCountdowns();
    m_detail->countdown()->refresh();
}
