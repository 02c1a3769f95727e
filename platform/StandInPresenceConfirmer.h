#pragma once

#include "platform/PresenceConfirmer.h"

// A confirmer that answers at once with a fixed outcome, for the demo and for
// tests; it asks nobody. It counts the calls and keeps the last reason.
class StandInPresenceConfirmer : public PresenceConfirmer
{
    Q_OBJECT

public:
    enum class Outcome { Grant, Deny, Cancel };

    explicit StandInPresenceConfirmer(Outcome outcome, QObject* parent = nullptr);

    // "grant", "deny" or "cancel"; nothing for any other text.
    static std::optional<Outcome> outcomeFromName(const QString& name);

    void setOutcome(Outcome outcome) { m_outcome = outcome; }
    int calls() const { return m_calls; }
    QString lastReason() const { return m_lastReason; }

    QCoro::Task<std::optional<PresenceError>> confirm(QString reason) override;

private:
    Outcome m_outcome;
    int m_calls = 0;
    QString m_lastReason;
};
