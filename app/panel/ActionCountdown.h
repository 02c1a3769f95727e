#pragma once

#include "core/PendingAction.h"

#include <QDateTime>
#include <QObject>

#include <functional>
#include <optional>
#include <QtQmlIntegration/qqmlintegration.h>

// The time left to decide on the detail page's action, read from the clock
// again on every refresh (the panel's ticker), and what depends on it.
class ActionCountdown : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("owned by ActionDetailState")

    Q_PROPERTY(QString text READ text NOTIFY changed)
    Q_PROPERTY(QString colorName READ colorName NOTIFY changed)
    // What a screen reader says after a decision button's label.
    Q_PROPERTY(QString spokenSummary READ spokenSummary NOTIFY changed)
    // No decision can be made on the page once the action has expired.
    Q_PROPERTY(bool showsButtons READ showsButtons NOTIFY changed)

public:
    using Clock = std::function<QDateTime()>;

    explicit ActionCountdown(QObject* parent);

    QString text() const;
    QString colorName() const;
    QString spokenSummary() const;
    bool showsButtons() const { return m_action && remainingSeconds() > 0.0; }

    void setClock(Clock clock);
    // Re-reads the clock; announces the countdown.
    void refresh();

Q_SIGNALS:
    void changed();

private:
    friend class ActionDetailState;
    void present(const std::optional<PendingAction>& action, const QString& title);
    double remainingSeconds() const;

    std::optional<PendingAction> m_action;
    std::optional<QDateTime> m_expiresDate;
    QString m_title;
    Clock m_clock;
};
