#include "app/receipts/ReceiptHistoryModel.h"

#include "core/ReceiptLog.h"
#include "core/VisibleText.h"


#include <QDateTime>

ReceiptHistoryModel::ReceiptHistoryModel(ReceiptLog& log, PublicKeySource publicKey, QObject* parent)
    : QAbstractListModel(parent)
    , m_log(log)
    , m_publicKey(publicKey ? std::move(publicKey) : PublicKeySource(&Receipt::machinePublicKey))
{
    // The log is read when the view first asks, not at start-up.
    connect(&m_log, &ReceiptLog::appended, this, [this] {
        if (m_loaded)
            reload();
    });
    connect(&m_log, &ReceiptLog::failed, this, &ReceiptHistoryModel::writeFailuresChanged);
}

int ReceiptHistoryModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : count();
}

QHash<int, QByteArray> ReceiptHistoryModel::roleNames() const
{
    return {
        {TimeRole, "time"},
        {ActionIdRole, "actionId"},
        {AgentRole, "agent"},
        {ToolRole, "tool"},
        {SummaryRole, "summary"},
        {DecisionRole, "decision"},
        {DecisionTextRole, "decisionText"},
        {ScopeRole, "scope"},
        {StatusRole, "status"},
        {StatusTextRole, "statusText"},
        {VerificationRole, "verification"},
        {LocalTimeRole, "localTime"},
        {OutcomeTextRole, "outcomeText"},
        {OutcomeColorNameRole, "outcomeColorName"},
        {RequestedTextRole, "requestedText"},
        {SettledTextRole, "settledText"},
    };
}

QVariant ReceiptHistoryModel::data(const QModelIndex& index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const Receipt& receipt = m_all.at(m_shown.at(index.row()));
    switch (role) {
    case TimeRole:
        return receipt.time;
    case ActionIdRole:
        return receipt.actionId;
    case AgentRole:
        return visibleText(receipt.agent);
    case ToolRole:
        return visibleText(receipt.tool);
    case Qt::DisplayRole:
    case SummaryRole:
        return visibleText(receipt.summary);
    case DecisionRole:
        return receipt.decision;
    case DecisionTextRole:
        return visibleText(decisionText(receipt.decision));
    case ScopeRole:
        return visibleText(receipt.scope);
    case StatusRole:
        return receipt.status;
    case VerificationRole:
        return m_verifications.value(receipt.signature);
    case StatusTextRole:
        return statusText(receipt.status);
    case LocalTimeRole:
        return localTime(receipt.time);
    case OutcomeTextRole:
        return outcomeText(receipt);
    case OutcomeColorNameRole:
        return outcomeColorName(receipt);
    case RequestedTextRole:
        return receipt.effectiveOutcome() == Receipt::confirmed
            ? QString()
            : tr("You chose: %1").arg(decisionText(receipt.decision));
    case SettledTextRole:
        return settledText(m_shown.at(index.row()));
    default:
        return {};
    }
}

QString ReceiptHistoryModel::decisionText(const QString& decision)
{
    if (decision == QLatin1String("approved"))
        return tr("Approved");
    if (decision == QLatin1String("denied"))
        return tr("Denied");
    if (decision == Receipt::trustWindowStarted)
        return tr("Trust window started");
    if (decision == Receipt::trustWindowEnded)
        return tr("Trust window ended");
    return decision;
}

QString ReceiptHistoryModel::localTime(const QString& isoTime)
{
    const QDateTime time = QDateTime::fromString(isoTime, Qt::ISODateWithMs);
    return time.isValid() ? time.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) : isoTime;
}

QString ReceiptHistoryModel::outcomeText(const Receipt& receipt)
{
    const QString outcome = receipt.effectiveOutcome();
    const QString clock = localTime(receipt.time).section(u' ', 1);
    if (outcome == Receipt::confirmed)
        return tr("%1 · confirmed %2").arg(decisionText(receipt.decision), clock);
    if (outcome == Receipt::alreadyDecided)
        return tr("Already decided elsewhere · %1").arg(clock);
    if (outcome == Receipt::gone)
        return tr("Not recorded — the action was gone");
    if (outcome == Receipt::refused)
        return tr("Not recorded — the server refused it");
    if (receipt.status == 0)
        return tr("Not confirmed — the server never answered");
    return tr("Not confirmed — the server had an error");
}

QString ReceiptHistoryModel::statusText(int status)
{
    const QString outcome = Receipt::outcomeOf(status);
    if (outcome == Receipt::confirmed)
        return tr("accepted");
    if (outcome == Receipt::alreadyDecided)
        return tr("already decided");
    if (outcome == Receipt::gone)
        return tr("action gone");
    if (outcome == Receipt::refused)
        return tr("refused");
    return status == 0 ? tr("no answer") : tr("server error");
}

QString ReceiptHistoryModel::outcomeColorName(const Receipt& receipt)
{
    if (receipt.effectiveOutcome() != Receipt::confirmed)
        return QStringLiteral("secondaryLabel");
    if (receipt.decision == QLatin1String("approved"))
        return QStringLiteral("green");
    if (receipt.decision == QLatin1String("denied"))
        return QStringLiteral("red");
    return QStringLiteral("amber");
}

QString ReceiptHistoryModel::settledText(qsizetype index) const
{
    const Receipt& receipt = m_all.at(index);
    if (receipt.actionId.isEmpty() || receipt.effectiveOutcome() != Receipt::notConfirmed)
        return {};
    // The list is newest first: the closest later attempt that got an answer.
    for (qsizetype later = index - 1; later >= 0; --later) {
        const Receipt& next = m_all.at(later);
        if (next.actionId == receipt.actionId && next.effectiveOutcome() != Receipt::notConfirmed)
            return tr("Then: %1").arg(outcomeText(next));
    }
    return {};
}

QStringList ReceiptHistoryModel::writeFailures() const
{
    QStringList lines;
    for (const ReceiptLog::Failure& failure : m_log.failures()) {
        const QString what = failure.actionId.isEmpty()
            ? decisionText(failure.decision)
            : decisionText(failure.decision) + u' ' + failure.actionId;
        lines.append(
            tr("A receipt could not be written (%1, %2): %3").arg(what, localTime(failure.time), failure.reason));
    }
    return lines;
}

QString ReceiptHistoryModel::verificationText(Receipt::Verification verification)
{
    switch (verification) {
    case Receipt::Verification::verified:
        return tr("verified");
    case Receipt::Verification::signatureInvalid:
        return tr("signature invalid");
    case Receipt::Verification::contentMismatch:
        return tr("content mismatch");
    case Receipt::Verification::incomplete:
        return tr("cut to fit the log, cannot be checked");
    }
    return {};
}

void ReceiptHistoryModel::setAgentFilter(const QString& agent)
{
    if (agent == m_agentFilter)
        return;
    m_agentFilter = agent;
    applyFilters();
}

void ReceiptHistoryModel::setDecisionFilter(const QString& decision)
{
    if (decision == m_decisionFilter)
        return;
    m_decisionFilter = decision;
    applyFilters();
}

void ReceiptHistoryModel::setSearchText(const QString& text)
{
    if (text == m_searchText)
        return;
    m_searchText = text;
    applyFilters();
}

QStringList ReceiptHistoryModel::agents() const
{
    QStringList names;
    for (const Receipt& receipt : m_all) {
        if (!receipt.agent.isEmpty() && !names.contains(receipt.agent))
            names << receipt.agent;
    }
    names.sort(Qt::CaseInsensitive);
    return names;
}

QStringList ReceiptHistoryModel::decisions() const
{
    QStringList found;
    for (const Receipt& receipt : m_all) {
        if (!found.contains(receipt.decision))
            found << receipt.decision;
    }
    return found;
}

void ReceiptHistoryModel::reload()
{
    m_loaded = true;
    m_all = m_log.readAll();
    applyFilters();
}

void ReceiptHistoryModel::verify(int row)
{
    if (row < 0 || row >= count())
        return;
    const Receipt& receipt = m_all.at(m_shown.at(row));
    const std::optional<QByteArray> key = m_publicKey();
    m_verifications.insert(receipt.signature, key ? verificationText(receipt.verify(*key))
                                                  : tr("no public key on this machine"));
    Q_EMIT dataChanged(index(row), index(row), {VerificationRole});
}

bool ReceiptHistoryModel::matches(const Receipt& receipt) const
{
    if (!m_agentFilter.isEmpty() && receipt.agent != m_agentFilter)
        return false;
    if (!m_decisionFilter.isEmpty() && receipt.decision != m_decisionFilter
        && !(m_decisionFilter == trustWindowFilter && receipt.decision.startsWith(trustWindowFilter + u'_')))
        return false;
    if (m_searchText.trimmed().isEmpty())
        return true;
    const QString needle = m_searchText.trimmed();
    for (const QString& field : {receipt.summary, receipt.agent, receipt.tool, receipt.actionId, receipt.time}) {
        if (field.contains(needle, Qt::CaseInsensitive))
            return true;
    }
    return false;
}

void ReceiptHistoryModel::applyFilters()
{
    beginResetModel();
    m_shown.clear();
    for (qsizetype index = 0; index < m_all.size(); ++index) {
        if (matches(m_all.at(index)))
            m_shown.append(index);
    }
    endResetModel();
    Q_EMIT filtersChanged();
    Q_EMIT countChanged();
}
