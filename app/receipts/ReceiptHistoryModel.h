#pragma once

#include "core/Receipt.h"

#include "core/VisibleText.h"

#include <QAbstractListModel>
#include <QHash>
#include <QList>
#include <QStringList>
#include <QtQmlIntegration/qqmlintegration.h>

#include <functional>
#include <optional>

class ReceiptLog;

// The "History" view's list: the receipts of the log, newest first, filtered
// by agent, by decision and by a search text, each of which can be checked
// against the machine's public key.
class ReceiptHistoryModel : public QAbstractListModel
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("constructed by the application")
    Q_PROPERTY(int count READ count NOTIFY countChanged)
    // Empty: every agent / every decision.
    Q_PROPERTY(QString agentFilter READ agentFilter WRITE setAgentFilter NOTIFY filtersChanged)
    Q_PROPERTY(QString decisionFilter READ decisionFilter WRITE setDecisionFilter NOTIFY filtersChanged)
    Q_PROPERTY(QString searchText READ searchText WRITE setSearchText NOTIFY filtersChanged)
    // The agents and decisions found in the log, for the filter pickers.
    Q_PROPERTY(QStringList agents READ agents NOTIFY countChanged)
    // The same agents as the filter picker shows them.
    Q_PROPERTY(QStringList agentLabels READ agentLabels NOTIFY countChanged)
    Q_PROPERTY(QStringList decisions READ decisions NOTIFY countChanged)
    // One line per decision whose receipt could not be written since start,
    // newest first: "A receipt could not be written (<decision> <action>, <time>): <reason>".
    Q_PROPERTY(QStringList writeFailures READ writeFailures NOTIFY writeFailuresChanged)

public:
    enum Role {
        TimeRole = Qt::UserRole + 1,
        ActionIdRole,
        AgentRole,
        ToolRole,
        SummaryRole,
        DecisionRole,
        DecisionTextRole, // "Approved", "Denied", "Trust window started"...
        ScopeRole,
        StatusRole,
        StatusTextRole, // the back-end's answer in words: "accepted", "already decided", "no answer"...
        VerificationRole, // "" until checked, then "verified", "signature invalid" or "content mismatch"
        LocalTimeRole, // "2026-12-07 14:03:07" in local time
        OutcomeTextRole, // what became of it: "Approved · confirmed 14:03:07", "Not confirmed — ..."
        OutcomeColorNameRole, // a colour of the style: green, red, amber or secondaryLabel
        RequestedTextRole, // "You chose: Approve" when the back-end did not confirm it; else empty
        SettledTextRole, // for one not confirmed, what a later attempt for the same action ended in
    };
    Q_ENUM(Role)

    // The decision filter that takes the trust window's openings and closings.
    static constexpr QLatin1String trustWindowFilter{"trust_window"};

    using PublicKeySource = std::function<std::optional<QByteArray>()>;

    // An empty key source means the machine's public-key file.
    explicit ReceiptHistoryModel(ReceiptLog& log, PublicKeySource publicKey = {}, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QHash<int, QByteArray> roleNames() const override;

    int count() const { return int(m_shown.size()); }
    QString agentFilter() const { return m_agentFilter; }
    void setAgentFilter(const QString& agent);
    QString decisionFilter() const { return m_decisionFilter; }
    void setDecisionFilter(const QString& decision);
    QString searchText() const { return m_searchText; }
    void setSearchText(const QString& text);
    QStringList agents() const;
    QStringList agentLabels() const { return visibleText(agents()); }
    QStringList decisions() const;
    QStringList writeFailures() const;

    // Reads the log (again); until the first call the list is empty.
    Q_INVOKABLE void reload();
    // Checks the receipt of this row; the result shows in its VerificationRole.
    Q_INVOKABLE void verify(int row);

    static QString decisionText(const QString& decision);
    // The headline of a receipt: the back-end's outcome first, never a
    // decision it did not accept.
    static QString outcomeText(const Receipt& receipt);
    static QString outcomeColorName(const Receipt& receipt);
    static QString statusText(int status);
    // Local time to the second ("2026-12-07 14:03:07"), or the text as stored
    // when it is not a time.
    static QString localTime(const QString& isoTime);
    static QString verificationText(Receipt::Verification verification);

Q_SIGNALS:
    void countChanged();
    void filtersChanged();
    void writeFailuresChanged();

private:
    bool matches(const Receipt& receipt) const;
    QString settledText(qsizetype index) const;
    void applyFilters();

    ReceiptLog& m_log;
    PublicKeySource m_publicKey;
    QList<Receipt> m_all;
    QList<qsizetype> m_shown; // indexes into m_all
    QHash<QString, QString> m_verifications; // by signature
    QString m_agentFilter;
    QString m_decisionFilter;
    QString m_searchText;
    bool m_loaded = false;
};
